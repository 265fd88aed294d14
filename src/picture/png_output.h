#pragma once
// The PNG output step of picture processing: a palette PNG where that suits the
// picture, else a lossless true-colour PNG, then the external optimiser's pass.

#include <cstdint>
#include <string>

#include "core/temp_files.h"
#include "image/picture.h"
#include "picture/optimiser_passes.h"

namespace velmora {

// Pictures with at most this many colours are written as palette PNGs even when
// quantisation is not forced: the palette result is usually far smaller. Up to 256
// the palette holds every colour exactly.
constexpr uint32_t kMaxPaletteCandidateColours = 299;
constexpr uint32_t kMaxExactPaletteColours = 256;

// Writes the picture as PNG: through the quantiser when forced or when the picture
// has a few colours more than a palette holds, else losslessly in its smallest form
// (an exact palette up to 256 colours). Then the external optimiser's pass, when
// wanted and usable. Colour-space chunks come from source when it is a PNG. False when
// nothing was written (the output file is then removed).
bool SavePng(const Picture& picture, const std::string& output, const std::string& source,
             bool extraOptimisers, TempFiles& temp, bool forceQuantisation,
             const ToolBudget& budget = {});

// SavePng's writing step alone, at the strongest level whether the optimiser runs
// after it or not. The caller may free the pixels before it runs the optimiser.
bool WritePngOutput(const Picture& picture, const std::string& output, const std::string& source,
                    bool forceQuantisation);

}  // namespace velmora
