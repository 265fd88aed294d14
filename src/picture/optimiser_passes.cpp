#include "picture/optimiser_passes.h"

#include "core/text.h"
#include "core/worker_pool.h"
#include "picture/messages.h"
#include "picture/replacement_checks.h"
#include "platform/platform.h"
#include "tools/optimisers.h"

namespace velmora {

ToolBudget PictureToolBudget(const ShrinkOptions& options, uint64_t pixelCount, LogLines& log) {
  return {ToolTimeLimitSeconds(options.toolSecondsPerMegapixel, pixelCount, options.workers,
                               WorkerPool::CoreCount()),
          &log};
}

// zopflipng after the PNG writer saves 1 to 4 % of the written bytes, at a cost of
// seconds per picture. On the 107 PNGs of at most a megapixel that the writer makes of
// the corpus documents' pictures, those above a quarter megapixel (the page previews
// of 724 x 1024 among them) took 88 % of its time and gave half the bytes per second
// that smaller ones gave; above a megapixel, single screenshots took minutes. Pictures
// above a quarter megapixel keep what the writer made.
bool WantsPngOptimiser(bool extraOptimisers, size_t pixels) {
  return extraOptimisers && pixels <= kMaxOptimisedPixels && IsUsableTool(ZopflipngPath());
}

void OptimisePng(const std::string& pngPath, TempFiles& temp, const ToolBudget& budget) {
  const std::string out = temp.NewName("png", false);
  temp.Register(out);
  // The tool asks before overwriting a file, and nobody answers: the reserved empty
  // file must go first.
  platform::RemoveFile(out);
  const platform::RunResult run = RunZopflipng(pngPath, out, budget.seconds);
  // What a tool that was ended left behind is never looked at.
  if (run == platform::RunResult::kTimedOut && budget.log != nullptr) {
    budget.log->Write(Format(picture_text::kPngToolTimedOut, budget.seconds), true);
  }
  if (run != platform::RunResult::kFinished) return;
  // Only a complete picture that shows exactly what was written replaces it; a rename
  // keeps the PNG whole whatever happens.
  if (IsLosslessPngReplacement(pngPath, out)) platform::RenameReplace(out, pngPath);
}

}  // namespace velmora
