#include "picture/replacement_checks.h"

#include <cstddef>

#include "image/gif_reader.h"
#include "image/png_codec.h"

namespace velmora {

namespace {

bool ReadComplete(const std::string& path, Picture& png) {
  return ReadPng(path, png) == ReadStatus::kComplete;
}

// The pixels compared as RGBA; a 24-bit picture counts as opaque. The two may differ
// in form, since an optimiser is free to drop an alpha channel that is 255
// everywhere or to add one for a colour key.
bool SamePixels(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height || !a.pixels || !b.pixels) return false;
  const size_t count = a.PixelCount();
  const size_t stepA = a.bitsPerPixel / 8;
  const size_t stepB = b.bitsPerPixel / 8;
  if ((stepA != 3 && stepA != 4) || (stepB != 3 && stepB != 4)) return false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = a.pixels.get() + i * stepA;
    const uint8_t* q = b.pixels.get() + i * stepB;
    if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2]) return false;
    const uint8_t alphaA = stepA == 4 ? p[3] : 255;
    const uint8_t alphaB = stepB == 4 ? q[3] : 255;
    if (alphaA != alphaB) return false;
  }
  return true;
}

}  // namespace

bool IsCompletePng(const std::string& path) {
  Picture png;
  return ReadComplete(path, png);
}

bool IsLosslessPngReplacement(const std::string& original, const std::string& candidate) {
  Picture before;
  Picture after;
  return ReadComplete(candidate, after) && ReadComplete(original, before) &&
         SamePixels(before, after);
}

bool IsCompleteGifLike(const std::string& path, const Picture& original) {
  Picture candidate;
  return ReadGif(path, candidate) == ReadStatus::kComplete && candidate.width == original.width &&
         candidate.height == original.height && candidate.frames == original.frames;
}

}  // namespace velmora
