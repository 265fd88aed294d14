#pragma once
// A picture whose pixels belong to someone else: the one place where transparency is
// flattened onto a background colour, for encoders that take no alpha (JPEG).

#include <cstdint>

#include "core/options.h"
#include "image/pixel_buffer.h"

namespace velmora {

class CMyPic {
 public:
  CMyPic() = default;
  CMyPic(int32_t width, int32_t height, uint8_t bitsPerPixel, const uint8_t* pixels)
      : width(width), height(height), bitsPerPixel(bitsPerPixel), pixels(pixels) {}
  virtual ~CMyPic() = default;
  CMyPic(const CMyPic&) = default;
  CMyPic& operator=(const CMyPic&) = default;

  // A new buffer of width × height pixels at 3 bytes each (red, green, blue). A 32-bit
  // picture is composed over the background (red in bits 0-7, green 8-15, blue 16-23);
  // a 24-bit one is copied. Null for an empty picture, an unknown pixel size or a size
  // beyond the picture limits. The borrowed pixels are left as they are.
  PixelBuffer ToRGB(ColourRef background) const;

  int32_t width = 0;
  int32_t height = 0;
  uint8_t bitsPerPixel = 0;
  const uint8_t* pixels = nullptr;  // borrowed: never freed here
};

}  // namespace velmora
