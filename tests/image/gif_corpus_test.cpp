// Every GIF of the shared corpus against independent decoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "image/gif_reader.h"
#include "support/picture_compare.h"
#include "support/independent_decoder.h"
#include "support/magick_decoder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::DecodedPicture;

struct Exception {
  bool read;
  int status;
  bool samePixels;  // as the reference
  const char* reason;
};

// Files on which this reader parts with the reference on purpose.
const std::map<std::string, Exception>& Exceptions() {
  static const std::map<std::string, Exception> table = {
      {"pillow_Tests_images_hopper_zero_comment_subblocks.gif",
       {false, 2, false,
        "a comment extension must hold at least one data sub-block; one without ends the "
        "reading before the only frame, so nothing is decoded"}},
      {"pillow_Tests_images_decompression_bomb_extents.gif",
       {true, 1, true,
        "the second frame does not lie inside the screen: it is left out, as in the overlay, "
        "and the picture reads with status 1 so that the original is kept"}},
      {"pillow_Tests_images_test_extents_transparency.gif",
       {true, 1, true,
        "the second frame does not lie inside the screen: it is left out, as in the overlay, "
        "and the picture reads with status 1 so that the original is kept"}},
      {"pillow_Tests_images_no_palette_after_rgb.gif",
       {true, 0, false,
        "frames without a colour table keep the colours of the frame before them (here a "
        "local table); ImageMagick falls back to its own palette"}},
  };
  return table;
}

// The reference for a file of several frames: ImageMagick's frames as stored, painted
// over each other in file order without disposal, their transparent pixels leaving the
// canvas as it was. Frames that do not lie wholly inside the screen are left out, as
// the reader leaves them out.
DecodedPicture Overlay(const testing::GifFrames& frames) {
  DecodedPicture out;
  out.width = frames.screenWidth;
  out.height = frames.screenHeight;
  out.rgba.assign(static_cast<size_t>(out.width) * out.height * 4, '\0');
  for (const testing::GifFrame& frame : frames.frames) {
    const DecodedPicture& p = frame.picture;
    if (frame.left + p.width > out.width || frame.top + p.height > out.height) continue;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const char* pixel = p.rgba.data() + (static_cast<size_t>(y) * p.width + x) * 4;
        if (pixel[3] == 0) continue;
        const size_t at = (static_cast<size_t>(frame.top + y) * out.width + frame.left + x) * 4;
        std::memcpy(&out.rgba[at], pixel, 4);
      }
    }
  }
  return out;
}

std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

class GifCorpusTest : public ::testing::TestWithParam<std::string> {};

// Transparent pixels are compared by alpha only (see ComparePixels): the reader leaves
// transparent black, Pillow keeps the palette colour under alpha 0.
TEST_P(GifCorpusTest, MatchesIndependentDecoders) {
  const std::string& path = GetParam();
  if (path.empty()) GTEST_SKIP() << "corpus absent";
  Picture gif;
  int status = -1;
  const bool read = testing::ReadWithStatus(ReadGif, path, gif, status);
  const std::optional<DecodedPicture> pil = testing::DecodeWithPil(path);

  // One frame: Pillow. Several: the overlay of ImageMagick's frames.
  auto differenceFromReference = [&]() -> std::string {
    if (pil->frames == 1) {
      return testing::ComparePixels(gif.width, gif.height, 32, gif.pixels.get(), *pil);
    }
    const std::optional<testing::GifFrames> frames = testing::GifFramesWithMagick(path);
    if (!frames) return "ImageMagick refuses the file";
    return testing::ComparePixels(gif.width, gif.height, 32, gif.pixels.get(), Overlay(*frames));
  };

  const auto exception = Exceptions().find(Name(path));
  if (exception != Exceptions().end()) {
    const Exception& e = exception->second;
    SCOPED_TRACE(e.reason);
    ASSERT_EQ(read, e.read);
    EXPECT_EQ(status, e.status);
    if (read && pil) {
      EXPECT_EQ(differenceFromReference().empty(), e.samePixels);
    }
    return;
  }
  if (!pil) {
    EXPECT_TRUE(!read || status == 1) << "Pillow refuses this file";
    return;
  }
  ASSERT_TRUE(read);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(gif.bitsPerPixel, 32);
  if (pil->frames == 1) {
    EXPECT_EQ(gif.frames, 1);
  }
  EXPECT_EQ(differenceFromReference(), "");
}

INSTANTIATE_TEST_SUITE_P(Corpus, GifCorpusTest, ::testing::ValuesIn(testing::CorpusCases({{"img/gif", {".gif"}}})),
                         testing::CorpusCaseName);

}  // namespace
}  // namespace velmora
