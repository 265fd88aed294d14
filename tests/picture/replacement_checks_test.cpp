#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/gif_reader.h"
#include "picture/replacement_checks.h"
#include "support/png_builder.h"
#include "support/picture_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::PngLayout;
using testing::TempDir;
using testing::WriteFile;

// A 16 × 8 picture of four colours, stored in the given colour type (2 RGB, 3 palette,
// 6 RGBA with every alpha 255 but at pixel 5), with one sample changed on request.
std::string FourColours(int colourType, int changedPixel = -1, int alpha = 255) {
  const uint8_t colours[4][3] = {{200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {250, 250, 250}};
  PngLayout layout;
  layout.width = 16;
  layout.height = 8;
  layout.colourType = colourType;
  // Small PNGs are not taken for PNGs at all; the text makes this one long enough.
  layout.chunks.push_back({"tEXt", std::string("Comment\0", 8) + std::string(100, 'c')});
  if (colourType == 3) {
    std::string palette;
    for (const auto& c : colours) palette.append(reinterpret_cast<const char*>(c), 3);
    layout.chunks.push_back({"PLTE", palette});
  }
  for (int i = 0; i < 16 * 8; ++i) {
    const int index = (i / 3) % 4;
    if (colourType == 3) {
      layout.samples.push_back(static_cast<uint16_t>(index));
      continue;
    }
    for (int c = 0; c < 3; ++c) {
      const int value = colours[index][c] + (i == changedPixel && c == 0 ? 1 : 0);
      layout.samples.push_back(static_cast<uint16_t>(value));
    }
    if (colourType == 6) layout.samples.push_back(static_cast<uint16_t>(i == 5 ? alpha : 255));
  }
  return testing::EncodePng(layout);
}

TEST(IsCompletePng, OnlyAWholePictureCounts) {
  TempDir dir;
  const std::string whole = testing::GradientPng(64, 48, 9);
  struct Case {
    const char* name;
    std::string bytes;
    bool complete;
  } cases[] = {
      {"whole", whole, true},
      {"without its end chunk", whole.substr(0, whole.size() - 12), false},
      {"cut in the image data", whole.substr(0, whole.size() - 40), false},
      {"cut after the header probe", whole.substr(0, 120), false},
      {"no PNG", std::string(4096, 'Z'), false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    WriteFile(dir.File("p"), c.bytes);
    EXPECT_EQ(IsCompletePng(dir.File("p")), c.complete) << c.name;
  }
  EXPECT_FALSE(IsCompletePng(dir.File("missing")));
}

// An optimiser may store the picture differently, never show something else.
TEST(IsLosslessPngReplacement, SamePixelsInAnyFormAndNothingElse) {
  TempDir dir;
  WriteFile(dir.File("original"), FourColours(2));
  struct Case {
    const char* name;
    std::string candidate;
    bool taken;
  } cases[] = {
      {"same bytes", FourColours(2), true},
      {"as a palette", FourColours(3), true},
      {"with opaque alpha", FourColours(6), true},
      {"one sample differs", FourColours(2, 37), false},
      {"one pixel transparent", FourColours(6, -1, 0), false},
      {"cut in its image data", FourColours(2).substr(0, FourColours(2).size() - 20), false},
      {"another size", testing::GradientPng(16, 9, 9), false},
      {"nothing", "", false},
  };
  for (const Case& c : cases) {
    WriteFile(dir.File("candidate"), c.candidate);
    EXPECT_EQ(IsLosslessPngReplacement(dir.File("original"), dir.File("candidate")), c.taken)
        << c.name;
  }
  // An original that does not decode completely is never replaced.
  WriteFile(dir.File("candidate"), FourColours(2));
  WriteFile(dir.File("original"), FourColours(2).substr(0, FourColours(2).size() - 20));
  EXPECT_FALSE(IsLosslessPngReplacement(dir.File("original"), dir.File("candidate")));
}

TEST(IsCompleteGifLike, SameScreenAndFramesDecodedWhole) {
  TempDir dir;
  const std::string animation = testing::MovingSquareGif(32, 24, 4);
  WriteFile(dir.File("original"), animation);
  Picture original;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadGif, dir.File("original"), original, status));
  ASSERT_EQ(status, 0);
  ASSERT_EQ(original.frames, 4);
  struct Case {
    const char* name;
    std::string candidate;
    bool taken;
  } cases[] = {
      {"same", animation, true},
      {"cut in the last frame", animation.substr(0, animation.size() - 30), false},
      {"header only", animation.substr(0, 13), false},
      {"one frame fewer", testing::MovingSquareGif(32, 24, 3), false},
      {"other screen", testing::MovingSquareGif(32, 25, 4), false},
      {"no GIF", testing::GradientPng(32, 24, 9), false},
  };
  for (const Case& c : cases) {
    WriteFile(dir.File("candidate"), c.candidate);
    EXPECT_EQ(IsCompleteGifLike(dir.File("candidate"), original), c.taken) << c.name;
  }
}

}  // namespace
}  // namespace velmora
