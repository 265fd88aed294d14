#pragma once
// The in-memory picture form shared by every codec: 8-bit samples, red first,
// 3 bytes per pixel (RGB) or 4 (RGBA, alpha 255 opaque), rows top to bottom without
// padding. A buffer has exactly one owner; handing a decoded picture to a writer of
// another class moves the buffer, so it is freed exactly once.

#include <cstdint>
#include <memory>

namespace velmora {

using PixelBuffer = std::unique_ptr<uint8_t[]>;

// Pictures whose headers claim more than this are refused before any allocation: a
// few header bytes must not make the program allocate gigabytes (memory bombs).
constexpr int64_t kMaxPictureDimension = 65535;
constexpr int64_t kMaxPicturePixels = int64_t{1} << 27;

// True when width and height are both in 1..kMaxPictureDimension and their product
// is at most kMaxPicturePixels.
bool PictureSizeAllowed(int64_t width, int64_t height);

// A zero-filled buffer of width × height × bytesPerPixel bytes, or null when the size
// is not allowed or memory is short.
PixelBuffer AllocatePixels(int64_t width, int64_t height, int bytesPerPixel);

}  // namespace velmora
