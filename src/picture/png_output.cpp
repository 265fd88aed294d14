#include "picture/png_output.h"

#include "image/png_codec.h"
#include "picture/optimiser_passes.h"

namespace velmora {

bool SavePng(const Picture& picture, const std::string& output, const std::string& source,
             bool extraOptimisers, TempFiles& temp, bool forceQuantisation) {
  // The external optimiser recompresses anyway, so zlib then only needs to be fast.
  const bool optimise = WantsPngOptimiser(extraOptimisers);
  const int zlibLevel = optimise ? 1 : 9;
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
  // A failed write has removed its output; there is nothing to optimise then.
  if (optimise && written) OptimisePng(output, temp);
  return written;
}

}  // namespace velmora
