#include "picture/replacement_checks.h"

#include <cstddef>

#include "image/gif_reader.h"
#include "image/png_codec.h"

namespace velmora {

bool IsCompletePng(const std::string& path) {
  int32_t width = 0, height = 0;
  return ScanPng(path, width, height) == ReadStatus::kComplete;
}

bool IsLosslessPngReplacement(const std::string& original, const std::string& candidate) {
  // Row by row, so that the comparison holds no decoded picture.
  return SamePngPixels(original, candidate);
}

bool IsCompleteGifLike(const std::string& path, const Picture& original) {
  Picture candidate;
  return ReadGif(path, candidate) == ReadStatus::kComplete && candidate.width == original.width &&
         candidate.height == original.height && candidate.frames == original.frames;
}

}  // namespace velmora
