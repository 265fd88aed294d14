#pragma once
// Palette quantisation through libimagequant: an RGBA picture becomes at most 256
// palette colours and one palette index per pixel.

#include <cstdint>

#include "image/pixel_buffer.h"

namespace velmora {

struct QuantiseSettings {
  int maxColours = 256;
  // 1 is the slowest and most thorough search; the pictures are few and small enough.
  int speed = 1;
  float dithering = 0.75f;
  // Quality bounds 0..100 of the library; with the minimum above 0 quantisation fails
  // when that quality cannot be reached. The default accepts any result.
  int minQuality = 0;
  int maxQuality = 100;
};

struct QuantisedPicture {
  PixelBuffer indices;   // width × height palette indices, rows top to bottom
  int paletteCount = 0;  // 1..256
  uint8_t triples[256 * 3] = {};
  uint8_t alpha[256] = {};
  bool transparent = false;  // some palette entry has alpha below 255
};

// Quantises width × height RGBA pixels. False when the library cannot take the
// picture, cannot reach the minimum quality or memory is short.
bool QuantiseRgba(const uint8_t* rgba, int32_t width, int32_t height,
                  const QuantiseSettings& settings, QuantisedPicture& out);

}  // namespace velmora
