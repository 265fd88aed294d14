// GIF reading: the content test and the reader on any bytes, read twice with the same
// object (its decoder state is kept between reads); with the option bit set, the
// composed picture is written as PNG and read back.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "image/gif.h"
#include "picture_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  using namespace velmora::fuzz;
  if (size > kMaxPictureInput) return 0;
  const FuzzInput input(data, size, 1);
  const std::string path = WriteScratchFile("input.gif", input.Body());

  const bool recognised = CMyGIF::IsGIF(path);
  CMyGIF gif;
  int status = 2;
  const bool read = gif.Read(path, status);
  CheckRead(gif, read, status, true);
  Require(!read || recognised, "only recognised GIF files are read");
  if (!read) return 0;
  Require(gif.bitsPerPixel == 32, "GIF pictures read as 32 bits");
  Require(gif.frameCount >= 1, "a read GIF has painted a frame");

  // A second read with the kept decoder state must give the same picture (for small
  // screens: a large one would cost the time of many other inputs).
  if (int64_t{gif.width} * gif.height > kMaxRoundTripPixels * 16) return 0;
  const size_t length = static_cast<size_t>(gif.width) * static_cast<size_t>(gif.height) * 4;
  PixelBuffer first = std::move(gif.pixels);
  const int32_t width = gif.width, height = gif.height;
  const uint8_t frames = gif.frameCount;
  int again = 2;
  Require(gif.Read(path, again) && again == status, "a second read gives the same status");
  Require(gif.width == width && gif.height == height && gif.frameCount == frames,
          "a second read gives the same picture size and frames");
  Require(std::memcmp(first.get(), gif.pixels.get(), length) == 0,
          "a second read gives the same pixels");
  if ((input.Option(0) & 1) != 0) RoundTripThroughPng(gif, path);
  return 0;
}
