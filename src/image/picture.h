#pragma once
// The decoded picture that every reader fills and every writer takes, and what a
// reader says of the file it read.

#include <cstdint>

#include "image/pixel_buffer.h"

namespace velmora {

enum class ReadStatus {
  // The log shows a status as its number.
  kComplete = 0,  // the whole picture was decoded
  kPartial = 1,   // the file is damaged or cut short; what could be decoded is there
  kUnreadable = 2,  // no picture: not this kind, a broken header, too large, no memory
  kUnsupported = 3,  // a sound file of a form the program does not decode (CMYK JPEG)
};

// True for the statuses that leave a picture behind.
inline bool HasPicture(ReadStatus status) {
  return status == ReadStatus::kComplete || status == ReadStatus::kPartial;
}

struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  // 8 (grey, from JPEG only), 24 (RGB) or 32 (RGBA); see pixel_buffer.h.
  uint8_t bitsPerPixel = 0;
  // What the file stored: its bit count per pixel before widening (1..32).
  uint8_t sourceBitsPerPixel = 0;
  PixelBuffer pixels;
  // Dots per inch; 0 or less when the file gives none.
  float xResolution = 0;
  float yResolution = 0;
  // Frames painted into the pixels: more than one for an animated GIF.
  int32_t frames = 1;

  size_t PixelCount() const {
    return width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) : 0;
  }
  size_t ByteCount() const { return PixelCount() * (bitsPerPixel / 8); }
};

}  // namespace velmora
