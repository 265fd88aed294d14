#include "picture/optimiser_passes.h"

#include "picture/replacement_checks.h"
#include "platform/platform.h"
#include "tools/optimisers.h"

namespace velmora {

bool WantsPngOptimiser(bool extraOptimisers, size_t /*pixels*/) {
  return extraOptimisers && IsUsableTool(ZopflipngPath());
}

void OptimisePng(const std::string& pngPath, TempFiles& temp) {
  const std::string out = temp.NewName("png", false);
  temp.Register(out);
  // The tool asks before overwriting a file, and nobody answers: the reserved empty
  // file must go first.
  platform::RemoveFile(out);
  RunZopflipng(pngPath, out);
  // Only a complete picture that shows exactly what was written replaces it; a rename
  // keeps the PNG whole whatever happens.
  if (IsLosslessPngReplacement(pngPath, out)) platform::RenameReplace(out, pngPath);
}

}  // namespace velmora
