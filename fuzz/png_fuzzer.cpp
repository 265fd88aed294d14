// PNG reading: the content tests and the reader on any bytes. Option bits: write the
// pixels again losslessly (with the input as the source of colour-space chunks) and
// read them back; write a palette PNG and read it back.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "image/png.h"
#include "image/png_probe.h"
#include "picture_harness.h"

namespace {

// Palette output costs a quantisation; small pictures are enough to reach its code.
constexpr int64_t kMaxQuantisedPixels = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  using namespace velmora::fuzz;
  if (size > kMaxPictureInput) return 0;
  const FuzzInput input(data, size, 1);
  const std::string path = WriteScratchFile("input.png", input.Body());

  const bool recognised = CMyPNG::IsPNG(path);
  IsCompletePng(path);
  CMyPNG png;
  int status = 2;
  const bool read = png.Read(path, status);
  CheckRead(png, read, status, false);
  Require(!read || recognised, "only recognised PNG files are read");
  if (!read) return 0;
  Require(png.bitsPerPixel == 24 || png.bitsPerPixel == 32, "PNG pictures read as 24 or 32 bits");
  CMyPNG::CountColours(png.pixels.get(), static_cast<size_t>(png.width) * png.height,
                       png.bitsPerPixel);

  if ((input.Option(0) & 2) != 0 && int64_t{png.width} * png.height <= kMaxQuantisedPixels) {
    const std::string output = ScratchFolder() + "/quantised.png";
    if (png.WritePNGquant(output, path, 1) && ReadWholeFile(output).size() >= kMinRecognisedPng) {
      CMyPNG again;
      int againStatus = 2;
      Require(again.Read(output, againStatus) && againStatus == 0,
              "a palette PNG reads completely");
      Require(again.width == png.width && again.height == png.height,
              "a palette PNG keeps the picture's size");
    }
  }
  if ((input.Option(0) & 1) != 0) RoundTripThroughPng(png, path);
  return 0;
}
