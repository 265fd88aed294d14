#pragma once
// A tiny Windows bitmap writer for reader tests: every header layout, colour tables,
// masks and raw pixel data exactly as a test wants them, including wrong values.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::testing {

struct BmpLayout {
  uint32_t headerSize = 40;  // 12 writes the core form; longer sizes are zero-padded
  int32_t width = 1;
  int32_t height = 1;  // negative: top-down
  uint16_t planes = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  std::optional<uint32_t> imageSize;    // default: the size of data
  int32_t xPelsPerMetre = 0;
  int32_t yPelsPerMetre = 0;
  std::optional<uint32_t> coloursUsed;  // default: palette.size()
  std::vector<uint32_t> palette;        // 0xRRGGBB; 3-byte entries after a core header
  std::vector<uint32_t> masks;          // inside headers of 52 bytes or more, else after it
  std::string data;                     // the pixel data as stored
  bool fileHeader = true;
  std::optional<uint32_t> dataOffset;   // default: where data is written
};

std::string BuildBmp(const BmpLayout& layout);

// Packs rows of pixel values (top row first) into stored rows of 1, 4, 8, 16, 24 or 32
// bits, each padded to 4 bytes: palette indices, 16-bit words, or 0xAARRGGBB values
// (24 bits store blue, green, red; 32 bits store blue, green, red, alpha).
std::string PackRows(const std::vector<std::vector<uint32_t>>& rows, int bitCount, bool topDown);

}  // namespace velmora::testing
