#include "image/flatten.h"

#include <cstring>

namespace velmora {

PixelBuffer FlattenToRgb(const Picture& picture, Rgb background) {
  const uint8_t* pixels = picture.pixels.get();
  const int32_t width = picture.width;
  const int32_t height = picture.height;
  const uint8_t bitsPerPixel = picture.bitsPerPixel;
  if (pixels == nullptr || width <= 0 || height <= 0) return nullptr;
  if (bitsPerPixel != 24 && bitsPerPixel != 32) return nullptr;
  // The allocation is checked against the picture limits before it is made, so a
  // picture object with an absurd size cannot make this allocate without bound.
  PixelBuffer out = AllocatePixels(width, height, 4);
  if (!out) return nullptr;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);

  if (bitsPerPixel == 24) {
    std::memcpy(out.get(), pixels, count * 3);
    return out;
  }

  bool opaque = true;
  for (size_t i = 0; i < count && opaque; ++i) opaque = pixels[i * 4 + 3] == 255;

  const unsigned backgroundChannel[3] = {background.red, background.green, background.blue};
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* in = pixels + i * 4;
    uint8_t* rgb = out.get() + i * 3;
    const unsigned alpha = opaque ? 255 : in[3];
    for (int c = 0; c < 3; ++c) {
      if (alpha == 255) {
        rgb[c] = in[c];
      } else if (alpha == 0) {
        rgb[c] = static_cast<uint8_t>(backgroundChannel[c]);
      } else {
        rgb[c] = static_cast<uint8_t>((backgroundChannel[c] * (255 - alpha) + in[c] * alpha) / 255);
      }
    }
  }
  return out;
}

}  // namespace velmora
