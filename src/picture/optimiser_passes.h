#pragma once
// The external optimisers' passes over a picture already written: each tool writes a
// new file, which is taken only when it is a sound replacement.

#include <string>

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

// True when zopflipng is wanted and usable.
bool WantsPngOptimiser(bool extraOptimisers);

// Recompresses a written PNG: zopflipng writes a new file, which replaces the PNG only
// when it decodes completely to the same pixels; otherwise the PNG stays as written,
// as it does when the tool spends its time budget or is stopped.
void OptimisePng(const std::string& pngPath, TempFiles& temp, const ToolBudget& budget = {});

}  // namespace velmora
