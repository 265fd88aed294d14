// PNG reading: the content tests and the reader on any bytes. Option bits: write the
// pixels again losslessly (with the input as the source of colour-space chunks) and
// read them back; write a palette PNG and read it back.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "image/png_codec.h"
#include "picture/replacement_checks.h"
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

  const bool recognised = IsPngFile(path);
  IsAnimatedPng(path);
  Picture png;
  const ReadStatus status = ReadPng(path, png);
  const bool read = HasPicture(status);
  CheckRead(png, status, false);
  // The row-by-row readers agree with the whole-picture reader.
  int32_t width = 0, height = 0;
  const ReadStatus scanned = ScanPng(path, width, height);
  Require(scanned == status, "a scan ends as a whole read does");
  Require(!read || (width == png.width && height == png.height), "a scan sees the same size");
  Require(IsCompletePng(path) == (status == ReadStatus::kComplete),
          "a complete PNG is one that reads completely");
  Require(SamePngPixels(path, path) == (status == ReadStatus::kComplete),
          "a complete PNG shows the same pixels as itself");
  // The reader takes short PNG files that the content test passes over.
  Require(!read || recognised || input.Body().size() < 112, "only recognised PNG files are read");
  if (!read) return 0;
  Require(png.bitsPerPixel == 24 || png.bitsPerPixel == 32, "PNG pictures read as 24 or 32 bits");
  CountColours(png.pixels.get(), png.PixelCount(), png.bitsPerPixel);

  if ((input.Option(0) & 2) != 0 && int64_t{png.width} * png.height <= kMaxQuantisedPixels) {
    const std::string output = ScratchFolder() + "/quantised.png";
    if (WriteQuantisedPng(output, png, path, 1)) {
      Picture again;
      Require(ReadPng(output, again) == ReadStatus::kComplete, "a palette PNG reads completely");
      Require(again.width == png.width && again.height == png.height,
              "a palette PNG keeps the picture's size");
    }
  }
  if ((input.Option(0) & 1) != 0) RoundTripThroughPng(png, path);
  return 0;
}
