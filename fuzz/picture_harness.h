#pragma once
// The common part of the picture reader harnesses: read a file with a reader, hold
// the reader to its promises, and optionally hand the pixels to the PNG writer and
// read them back, as picture processing does with a decoded picture.

#include <cstring>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "image/hand_over.h"
#include "image/pixel_buffer.h"
#include "image/png.h"

namespace velmora::fuzz {

// Largest input the reader harnesses take: enough for every structure the readers
// know, small enough to keep runs fast.
constexpr size_t kMaxPictureInput = 1 << 20;
// Pictures with more pixels are not written again: the writer's cost would dominate.
constexpr int64_t kMaxRoundTripPixels = 1 << 16;
// Shorter PNG files are not recognised as PNG by the content test.
constexpr size_t kMinRecognisedPng = 112;

// Checks what every reader promises after Read: a picture of allowed size with a
// buffer of width × height × bytes per pixel, or no success at all.
template <typename Reader>
void CheckRead(Reader& reader, bool read, int status, bool emptyOnFailure) {
  if (!read) {
    Require(status >= 2, "a failed read reports an unreadable status");
    if (emptyOnFailure) Require(reader.pixels == nullptr, "a failed read holds no picture");
    return;
  }
  Require(status == 0 || status == 1, "a successful read reports status 0 or 1");
  Require(PictureSizeAllowed(reader.width, reader.height), "a read picture has an allowed size");
  Require(reader.pixels != nullptr, "a read picture has pixels");
  Require(reader.bitsPerPixel == 8 || reader.bitsPerPixel == 24 || reader.bitsPerPixel == 32,
          "pixels are 8, 24 or 32 bits");
  const size_t length = static_cast<size_t>(reader.width) * static_cast<size_t>(reader.height) *
                        (reader.bitsPerPixel / 8);
  TouchBytes(reader.pixels.get(), length);
}

// Moves the reader's pixels into a PNG writer, writes them losslessly and reads the
// file back: the same size and the same samples must come out.
template <typename Reader>
void RoundTripThroughPng(Reader& reader, const std::string& source) {
  if (reader.bitsPerPixel != 24 && reader.bitsPerPixel != 32) return;
  if (int64_t{reader.width} * reader.height > kMaxRoundTripPixels) return;
  const size_t length = static_cast<size_t>(reader.width) * static_cast<size_t>(reader.height) *
                        (reader.bitsPerPixel / 8);
  CMyPNG writer;
  HandOver(reader, writer);
  const std::string output = ScratchFolder() + "/round-trip.png";
  Require(writer.WritePNG(output, source, 1), "the lossless writer takes a read picture");
  // The content test takes no PNG under its minimum length, however valid.
  if (ReadWholeFile(output).size() < kMinRecognisedPng) return;

  CMyPNG again;
  int status = 2;
  Require(again.Read(output, status) && status == 0, "a written PNG reads completely");
  Require(again.width == writer.width && again.height == writer.height,
          "a written PNG keeps its size");
  Require(again.bitsPerPixel == writer.bitsPerPixel, "a written PNG keeps its pixel form");
  Require(std::memcmp(again.pixels.get(), writer.pixels.get(), length) == 0,
          "a written PNG keeps every sample");
}

}  // namespace velmora::fuzz
