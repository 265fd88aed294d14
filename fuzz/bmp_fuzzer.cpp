// BMP reading: the content test and the reader on any bytes; with the option bit set,
// the decoded pixels are written as PNG and read back.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "image/bmp_reader.h"
#include "picture_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  using namespace velmora::fuzz;
  if (size > kMaxPictureInput) return 0;
  const FuzzInput input(data, size, 1);
  const std::string path = WriteScratchFile("input.bmp", input.Body());

  const bool recognised = IsBmpFile(path);
  Picture bmp;
  const ReadStatus status = ReadBmp(path, bmp);
  const bool read = HasPicture(status);
  CheckRead(bmp, status, true);
  Require(!read || recognised, "only recognised bitmaps are read");
  if (read) {
    Require(bmp.bitsPerPixel == 24 || bmp.bitsPerPixel == 32, "bitmaps read as 24 or 32 bits");
    if ((input.Option(0) & 1) != 0) RoundTripThroughPng(bmp, path);
  }
  return 0;
}
