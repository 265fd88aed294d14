// JPEG reading: the content test, the reader and the ICC profile gathering on any
// bytes. With the option bit set, a small read picture is encoded again at the quality
// of the second option byte (carrying the input's ICC profile) and must read back
// completely at its size, as verified replacement demands of every rewritten JPEG.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "image/jpeg_codec.h"
#include "picture_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  using namespace velmora::fuzz;
  if (size > kMaxPictureInput) return 0;
  const FuzzInput input(data, size, 2);
  const std::string path = WriteScratchFile("input.jpg", input.Body());

  const bool recognised = IsJpegFile(path);
  const std::string profile = LoadIccProfile(path);
  Require(recognised || profile.empty(), "profiles come only from recognised JPEG files");
  Picture jpeg;
  const ReadStatus status = ReadJpeg(path, jpeg);
  const bool read = HasPicture(status);
  CheckRead(jpeg, status, false);
  Require(!read || recognised, "only recognised JPEG files are read");
  if (!read) return 0;
  Require(jpeg.bitsPerPixel == 8 || jpeg.bitsPerPixel == 24, "JPEG pictures read as 8 or 24 bits");

  if ((input.Option(0) & 1) != 0 && int64_t{jpeg.width} * jpeg.height <= kMaxRoundTripPixels) {
    const std::string output = ScratchFolder() + "/again.jpg";
    Require(WriteJpeg(output, jpeg, input.Option(1) % 101, path), "a read picture can be encoded");
    Picture again;
    Require(ReadJpeg(output, again) == ReadStatus::kComplete, "an encoded JPEG reads completely");
    Require(again.width == jpeg.width && again.height == jpeg.height,
            "an encoded JPEG keeps its size");
  }
  return 0;
}
