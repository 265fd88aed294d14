#pragma once
// The external optimisers' passes over a picture already written: each tool writes a
// new file, which is taken only when it is a sound replacement.

#include <cstddef>
#include <string>

#include "core/options.h"
#include "core/process_log.h"
#include "core/temp_files.h"

namespace velmora {

// The time an optimiser may take over one picture (<= 0: no limit), and the lines of
// that picture, which hear of a tool that was stopped. Each picture has its own: a
// budget is never shared between pictures processed at once.
struct ToolBudget {
  double seconds = 0;
  LogLines* log = nullptr;
};

// The budget of a picture of pixelCount pixels under the options' time per megapixel,
// reporting to log.
ToolBudget PictureToolBudget(const ShrinkOptions& options, uint64_t pixelCount, LogLines& log);

// True when zopflipng is wanted, usable, and likely to pay for its time on a picture
// of this many pixels: at most kMaxOptimisedPixels (see optimiser_passes.cpp).
inline constexpr size_t kMaxOptimisedPixels = size_t{1} << 18;
bool WantsPngOptimiser(bool extraOptimisers, size_t pixels);

// Recompresses a written PNG: zopflipng writes a new file, which replaces the PNG only
// when it decodes completely to the same pixels; otherwise the PNG stays as written,
// as it does when the tool spends its time budget or is stopped.
void OptimisePng(const std::string& pngPath, TempFiles& temp, const ToolBudget& budget = {});

}  // namespace velmora
