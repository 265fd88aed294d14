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
// quantisation is not forced: the palette result is usually far smaller.
constexpr uint32_t kMaxPaletteCandidateColours = 299;

// Writes the picture as PNG: a palette PNG when forced or when the picture has at
// most kMaxPaletteCandidateColours colours, else a lossless true-colour PNG. With the
// external optimiser wanted and usable, writes fast and lets the optimiser
// recompress. Colour-space chunks come from source when it is a PNG. False when
// nothing was written (the output file is then removed).
bool SavePng(const Picture& picture, const std::string& output, const std::string& source,
             bool extraOptimisers, TempFiles& temp, bool forceQuantisation,
             const ToolBudget& budget = {});

// SavePng's writing step alone: forOptimiser writes fast, for the optimiser to
// recompress. The caller may free the pixels before it runs the optimiser.
bool WritePngOutput(const Picture& picture, const std::string& output, const std::string& source,
                    bool forOptimiser, bool forceQuantisation);

}  // namespace velmora
