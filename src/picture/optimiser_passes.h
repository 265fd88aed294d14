#pragma once
// The external optimisers' passes over a picture already written: each tool writes a
// new file, which is taken only when it is a sound replacement.

#include <string>

#include "core/temp_files.h"

namespace velmora {

// True when zopflipng is wanted and usable.
bool WantsPngOptimiser(bool extraOptimisers);

// Recompresses a written PNG: zopflipng writes a new file, which replaces the PNG only
// when it decodes completely to the same pixels; otherwise the PNG stays as written.
void OptimisePng(const std::string& pngPath, TempFiles& temp);

}  // namespace velmora
