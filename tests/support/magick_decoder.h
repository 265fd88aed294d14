#pragma once
// Pictures decoded by ImageMagick, the second independent decoder of the reader tests:
// it reads some bitmap layouts that Debian's Pillow refuses, and it gives the frames of
// an animated GIF one by one, before any compositing.

#include <optional>
#include <string>
#include <vector>

#include "support/independent_decoder.h"

namespace velmora::testing {

// The first frame as ImageMagick decodes it; nullopt when it refuses the file.
std::optional<DecodedPicture> DecodeWithMagick(const std::string& path);

// One frame of a GIF as stored: its rectangle on the logical screen and its RGBA pixels
// (alpha 0 where the frame's own transparent index is).
struct GifFrame {
  int left = 0;
  int top = 0;
  DecodedPicture picture;
};
struct GifFrames {
  int screenWidth = 0;
  int screenHeight = 0;
  std::vector<GifFrame> frames;
};
std::optional<GifFrames> GifFramesWithMagick(const std::string& path);

}  // namespace velmora::testing
