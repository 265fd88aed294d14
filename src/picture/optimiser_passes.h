#pragma once
// The external optimisers' passes over a picture already written: each tool writes a
// new file, which is taken only when it is a sound replacement.

#include <cstddef>
#include <string>

#include "core/temp_files.h"

namespace velmora {

// True when zopflipng is wanted, usable, and likely to pay for its time on a picture
// of this many pixels (see the rule in optimiser_passes.cpp).
bool WantsPngOptimiser(bool extraOptimisers, size_t pixels);

// Recompresses a written PNG: zopflipng writes a new file, which replaces the PNG only
// when it decodes completely to the same pixels; otherwise the PNG stays as written.
void OptimisePng(const std::string& pngPath, TempFiles& temp);

}  // namespace velmora
