#include "image/pixel_buffer.h"

#include <new>

namespace velmora {

bool PictureSizeAllowed(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxPictureDimension &&
         height <= kMaxPictureDimension && width * height <= kMaxPicturePixels;
}

PixelBuffer AllocatePixels(int64_t width, int64_t height, int bytesPerPixel) {
  if (!PictureSizeAllowed(width, height) || bytesPerPixel < 1 || bytesPerPixel > 8) return nullptr;
  const auto bytes = static_cast<size_t>(width * height * bytesPerPixel);
  return PixelBuffer(new (std::nothrow) uint8_t[bytes]());
}

}  // namespace velmora
