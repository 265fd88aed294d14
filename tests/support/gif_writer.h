#pragma once
// A tiny GIF writer with its own LZW encoder, for reader tests: frames anywhere on the
// screen, local and global tables, transparency, interlace, and raw bytes where a test
// wants damaged data.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velmora::testing {

constexpr int kNoGraphicControl = -2;

struct GifFrameSpec {
  int left = 0;
  int top = 0;
  int width = 1;
  int height = 1;
  bool interlaced = false;
  std::vector<uint32_t> localTable;  // 0xRRGGBB entries; padded to a power of two
  std::vector<uint16_t> indices;     // width × height, top row first
  int minimumCodeSize = 0;           // 0: the smallest that holds every index (at least 2)
  int transparent = kNoGraphicControl;  // -1: a graphic control block without transparency
  std::string before;  // raw bytes written before the frame's blocks (extensions, damage)
  std::string data;    // when not empty: the image data as written, instead of encoding indices
};

struct GifSpec {
  int width = 1;
  int height = 1;
  std::vector<uint32_t> globalTable;  // none when empty
  std::vector<GifFrameSpec> frames;
  bool trailer = true;
};

std::string BuildGif(const GifSpec& layout);

// Image data for the indices: the minimum code size byte, LZW codes in sub-blocks of at
// most 255 bytes, and the empty sub-block that ends them.
std::string EncodeLzw(const std::vector<uint16_t>& indices, int minimumCodeSize);

// Image data made of the given codes (value, width in bits), packed least significant
// bit first, for streams no encoder would write.
std::string PackCodes(int minimumCodeSize, const std::vector<std::pair<int, int>>& codes);

}  // namespace velmora::testing
