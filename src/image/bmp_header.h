#pragma once
// The headers of a Windows bitmap as the reader takes them: the optional 14-byte file
// header and the info header (12-byte core form, 40, 64 or longer), with the rules that
// decide whether a file is a bitmap at all.

#include <cstdint>

#include "image/picture_file.h"

namespace velmora {

enum BmpCompression : uint32_t { kBmpRgb = 0, kBmpRle8 = 1, kBmpRle4 = 2, kBmpBitFields = 3 };

struct BmpHeader {
  int64_t dataOffset = 0;  // where the pixel data starts; 0 when the file has no file header
  uint32_t headerSize = 0;
  int32_t width = 0;
  int32_t height = 0;  // negative: rows stored top-down
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t imageSize = 0;
  int32_t xPelsPerMetre = 0;
  int32_t yPelsPerMetre = 0;
  uint32_t coloursUsed = 0;  // colour table entries in the file
  bool core = false;         // 12-byte header: colour table entries of 3 bytes instead of 4
};

// Bytes per stored row: bitCount × width bits padded to a multiple of 4 bytes.
int64_t BmpRowStride(int bitCount, int64_t width);

// Reads the headers from the start of the file and applies the acceptance rules. On
// success the file stands where the bit-field masks or the colour table begin.
bool ReadBmpHeader(PictureFile& file, BmpHeader& header);

}  // namespace velmora
