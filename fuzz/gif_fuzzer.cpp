// GIF reading: the content test and the reader on any bytes, read twice (the two
// readings must agree); with the option bit set, the composed picture is written as
// PNG and read back.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "image/gif_reader.h"
#include "picture_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  using namespace velmora::fuzz;
  if (size > kMaxPictureInput) return 0;
  const FuzzInput input(data, size, 1);
  const std::string path = WriteScratchFile("input.gif", input.Body());

  const bool recognised = IsGifFile(path);
  Picture gif;
  const ReadStatus status = ReadGif(path, gif);
  const bool read = HasPicture(status);
  CheckRead(gif, status, true);
  Require(!read || recognised, "only recognised GIF files are read");
  if (!read) return 0;
  Require(gif.bitsPerPixel == 32, "GIF pictures read as 32 bits");
  Require(gif.frames >= 1, "a read GIF has painted a frame");

  // A second read must give the same picture (for small screens: a large one would
  // cost the time of many other inputs).
  if (int64_t{gif.width} * gif.height > kMaxRoundTripPixels * 16) return 0;
  const size_t length = static_cast<size_t>(gif.width) * static_cast<size_t>(gif.height) * 4;
  PixelBuffer first = std::move(gif.pixels);
  const int32_t width = gif.width, height = gif.height;
  const int32_t frames = gif.frames;
  Require(ReadGif(path, gif) == status, "a second read gives the same status");
  Require(gif.width == width && gif.height == height && gif.frames == frames,
          "a second read gives the same picture size and frames");
  Require(std::memcmp(first.get(), gif.pixels.get(), length) == 0,
          "a second read gives the same pixels");
  if ((input.Option(0) & 1) != 0) RoundTripThroughPng(gif, path);
  return 0;
}
