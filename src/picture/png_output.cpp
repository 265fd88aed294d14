#include "picture/png_output.h"

#include "image/png_codec.h"
#include "picture/optimiser_passes.h"

namespace velmora {

bool WritePngOutput(const Picture& picture, const std::string& output, const std::string& source,
                    bool forOptimiser, bool forceQuantisation) {
  // The external optimiser recompresses anyway, so zlib then only needs to be fast.
  const int zlibLevel = forOptimiser ? 1 : 9;
  bool written = false;
  if (forceQuantisation) {
    written = WriteQuantisedPng(output, picture, source, zlibLevel);
  } else if (picture.bitsPerPixel < 24) {
    written = WritePng(output, picture, source, zlibLevel);
  } else if (CountColours(picture.pixels.get(), picture.PixelCount(), picture.bitsPerPixel) >
             kMaxPaletteCandidateColours) {
    written = WritePng(output, picture, source, zlibLevel);
  } else {
    written = WriteQuantisedPng(output, picture, source, zlibLevel);
  }
  return written;
}

bool SavePng(const Picture& picture, const std::string& output, const std::string& source,
             bool extraOptimisers, TempFiles& temp, bool forceQuantisation,
             const ToolBudget& budget) {
  const bool optimise = WantsPngOptimiser(extraOptimisers);
  const bool written = WritePngOutput(picture, output, source, optimise, forceQuantisation);
  // A failed write has removed its output; there is nothing to optimise then.
  if (optimise && written) OptimisePng(output, temp, budget);
  return written;
}

}  // namespace velmora
