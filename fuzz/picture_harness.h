#pragma once
// The common part of the picture reader harnesses: read a file with a reader, hold
// the reader to its promises, and optionally hand the pixels to the PNG writer and
// read them back, as picture processing does with a decoded picture.

#include <cstring>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "image/picture.h"
#include "image/pixel_buffer.h"
#include "image/png_codec.h"

namespace velmora::fuzz {

// Largest input the reader harnesses take: enough for every structure the readers
// know, small enough to keep runs fast.
constexpr size_t kMaxPictureInput = 1 << 20;
// Pictures with more pixels are not written again: the writer's cost would dominate.
constexpr int64_t kMaxRoundTripPixels = 1 << 16;

// Checks what every reader promises: a picture of allowed size with a buffer of
// width × height × bytes per pixel, or no picture at all.
inline void CheckRead(const Picture& picture, ReadStatus status, bool emptyOnFailure) {
  if (!HasPicture(status)) {
    if (emptyOnFailure) Require(picture.pixels == nullptr, "a failed read holds no picture");
    return;
  }
  Require(PictureSizeAllowed(picture.width, picture.height), "a read picture has an allowed size");
  Require(picture.pixels != nullptr, "a read picture has pixels");
  Require(picture.bitsPerPixel == 8 || picture.bitsPerPixel == 24 || picture.bitsPerPixel == 32,
          "pixels are 8, 24 or 32 bits");
  TouchBytes(picture.pixels.get(), picture.ByteCount());
}

// Writes the read picture losslessly as PNG and reads the file back: the same size and
// the same samples must come out.
inline void RoundTripThroughPng(const Picture& picture, const std::string& source) {
  if (picture.bitsPerPixel != 24 && picture.bitsPerPixel != 32) return;
  if (int64_t{picture.width} * picture.height > kMaxRoundTripPixels) return;
  const std::string output = ScratchFolder() + "/round-trip.png";
  Require(WritePng(output, picture, source, 1), "the lossless writer takes a read picture");
  Picture again;
  Require(ReadPng(output, again) == ReadStatus::kComplete, "a written PNG reads completely");
  Require(again.width == picture.width && again.height == picture.height,
          "a written PNG keeps its size");
  // The stored form may differ (an opaque alpha dropped, a palette): the pixels may not.
  for (size_t i = 0; i < picture.PixelCount(); ++i) {
    const uint8_t* p = picture.pixels.get() + i * (picture.bitsPerPixel / 8);
    const uint8_t* q = again.pixels.get() + i * (again.bitsPerPixel / 8);
    const uint8_t alphaP = picture.bitsPerPixel == 32 ? p[3] : 255;
    const uint8_t alphaQ = again.bitsPerPixel == 32 ? q[3] : 255;
    Require(p[0] == q[0] && p[1] == q[1] && p[2] == q[2] && alphaP == alphaQ,
            "a written PNG keeps every pixel");
  }
}

}  // namespace velmora::fuzz
