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

// zopflipng after the PNG writer saves 1 to 3.5 % of the written bytes at every size,
// but its time grows with the picture: on 195 pictures of the corpus (documents and
// loose files) those of at most a megapixel took a third of its time and gave two
// thirds of its saving; the seven larger ones took two thirds of the time, minutes
// each for big screenshots, for a third of the saving. Above a megapixel the picture
// keeps what the writer made.
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
