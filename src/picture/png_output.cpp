#include "picture/png_output.h"

#include "image/deflate.h"
#include "image/png_codec.h"
#include "picture/optimiser_passes.h"

namespace velmora {

bool WritePngOutput(const Picture& picture, const std::string& output, const std::string& source,
                    bool forceQuantisation) {
  bool written = false;
  const uint32_t colours =
      forceQuantisation ? 0
                        : CountColours(picture.pixels.get(), picture.PixelCount(),
                                       picture.bitsPerPixel);
  // Up to 256 colours the lossless writer makes an exact palette itself; a few more
  // are brought down to 256 by the quantiser.
  if (forceQuantisation ||
      (colours > kMaxExactPaletteColours && colours <= kMaxPaletteCandidateColours)) {
    written = WriteQuantisedPng(output, picture, source, kStrongestDeflate);
  } else {
    written = WritePng(output, picture, source, kStrongestDeflate);
  }
  return written;
}

bool SavePng(const Picture& picture, const std::string& output, const std::string& source,
             bool extraOptimisers, TempFiles& temp, bool forceQuantisation,
             const ToolBudget& budget) {
  const bool optimise = WantsPngOptimiser(extraOptimisers, picture.PixelCount());
  const bool written = WritePngOutput(picture, output, source, forceQuantisation);
  // A failed write has removed its output; there is nothing to optimise then.
  if (optimise && written) OptimisePng(output, temp, budget);
  return written;
}

}  // namespace velmora
