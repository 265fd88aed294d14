#include "image/bmp_header.h"

namespace velmora {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
// The 64-byte form adds 24 bytes of halftoning and colour encoding fields that the
// reader does not use.
constexpr uint32_t kLongCoreHeaderSize = 64;

bool SupportedBitCount(uint16_t bitCount) {
  switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
  }
}

}  // namespace

int64_t BmpRowStride(int bitCount, int64_t width) {
  return (static_cast<int64_t>(bitCount) * width + 31) / 32 * 4;
}

bool ReadBmpHeader(PictureFile& file, BmpHeader& header) {
  header = BmpHeader();
  file.Seek(0);
  uint8_t fileHeader[kFileHeaderSize];
  if (!file.ReadExact(fileHeader, sizeof fileHeader)) return false;
  int64_t infoStart = 0;
  if (fileHeader[0] == 'B' && fileHeader[1] == 'M') {
    header.dataOffset = LoadLe32(fileHeader + 10);
    infoStart = kFileHeaderSize;
  }
  // Without "BM" the data starts directly with the info header.
  file.Seek(infoStart);

  // The core form needs only its own 12 bytes: a small bitmap with it can be shorter
  // than the 40 bytes of the other forms.
  uint8_t info[kInfoHeaderSize] = {};
  const size_t got = file.Read(info, sizeof info);
  if (got < 4) return false;
  header.headerSize = LoadLe32(info);
  if (got < (header.headerSize == kCoreHeaderSize ? kCoreHeaderSize : kInfoHeaderSize)) {
    return false;
  }
  if (header.headerSize == kCoreHeaderSize) {
    header.core = true;
    header.width = LoadLe16(info + 4);
    header.height = LoadLe16(info + 6);
    header.planes = LoadLe16(info + 8);
    header.bitCount = LoadLe16(info + 10);
  } else {
    header.width = static_cast<int32_t>(LoadLe32(info + 4));
    header.height = static_cast<int32_t>(LoadLe32(info + 8));
    header.planes = LoadLe16(info + 12);
    header.bitCount = LoadLe16(info + 14);
    header.compression = LoadLe32(info + 16);
    header.imageSize = LoadLe32(info + 20);
    header.xPelsPerMetre = static_cast<int32_t>(LoadLe32(info + 24));
    header.yPelsPerMetre = static_cast<int32_t>(LoadLe32(info + 28));
    header.coloursUsed = LoadLe32(info + 32);
  }

  int64_t next = infoStart + header.headerSize;
  if (header.headerSize == kCoreHeaderSize || header.headerSize == kInfoHeaderSize ||
      header.headerSize == kLongCoreHeaderSize) {
    // Known layouts: nothing more to check.
  } else {
    // Other sizes are the later Windows headers, which always begin with the 40-byte
    // form. They are trusted only when the image size covers the rows, planes is 1
    // and the colour count is left to its default.
    if (header.headerSize <= kInfoHeaderSize || header.width <= 0) return false;
    const int64_t rows = header.height < 0 ? -static_cast<int64_t>(header.height) : header.height;
    // stride × rows > image size, without forming a product that can overflow.
    const int64_t stride = BmpRowStride(header.bitCount, header.width);
    if (rows > 0 && stride > static_cast<int64_t>(header.imageSize) / rows) return false;
    if (header.planes != 1 || header.coloursUsed != 0) return false;
    // These headers hold the bit-field masks at byte 40, so with bit fields the
    // masks are read from there; every other layout goes on after the whole header.
    if (header.compression == kBmpBitFields) next = infoStart + kInfoHeaderSize;
  }
  if (!SupportedBitCount(header.bitCount)) return false;
  if (header.coloursUsed == 0 && header.bitCount <= 8) header.coloursUsed = 1u << header.bitCount;
  file.Seek(next);
  return true;
}

}  // namespace velmora
