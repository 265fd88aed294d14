// Picture processing with the real optimisers, zopflipng and gifsicle, as installed
// on the system (the tests skip when they are not).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "image/bmp_reader.h"
#include "picture/picture_processing.h"
#include "image/gif_reader.h"
#include "image/png_codec.h"
#include "picture/optimiser_passes.h"
#include "picture/png_output.h"
#include "picture/processing_fixture.h"
#include "support/independent_decoder.h"
#include "support/picture_fixtures.h"
#include "support/test_support.h"
#include "tools/optimisers.h"

namespace velmora {
namespace {

using testing::PictureProcessing;
using testing::ReadFile;
using testing::WriteFile;

#define REQUIRE_TOOL(path)                                                       \
  do {                                                                           \
    if (!IsUsableTool(path)) GTEST_SKIP() << "optimiser not installed";      \
  } while (0)

// The gradient as a decoded picture, ready to be written.
void LoadGradient(Picture& png, const std::string& folder) {
  WriteFile(folder + "/gradient.bmp", testing::GradientBmp(96, 64, 24));
  Picture bmp;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadBmp, folder + "/gradient.bmp", bmp, status));
  png.width = bmp.width;
  png.height = bmp.height;
  png.bitsPerPixel = bmp.bitsPerPixel;
  png.pixels = std::move(bmp.pixels);
}

std::string Rgba(const std::string& path) {
  auto decoded = testing::DecodeWithPil(path);
  EXPECT_TRUE(decoded) << path;
  return decoded ? decoded->rgba : std::string();
}

// The PNG the output step writes for the optimiser (fast zlib level) comes back from
// it no larger and showing the same pixels, also from a folder with a Korean name
// and spaces.
// zopflipng runs on pictures up to a quarter megapixel, with the switch on, and never
// beyond: not on a page preview of 724 x 1024.
TEST(PngOptimiserRule, RunsUpToAQuarterMegapixelWithTheSwitchOn) {
  REQUIRE_TOOL(ZopflipngPath());
  struct Row {
    bool switchOn;
    size_t pixels;
    bool wanted;
  };
  const Row rows[] = {{true, 1, true},
                      {true, kMaxOptimisedPixels, true},
                      {true, kMaxOptimisedPixels + 1, false},
                      {true, size_t{724} * 1024, false},
                      {true, size_t{4032} * 3024, false},
                      {false, 1, false}};
  for (const Row& row : rows) {
    EXPECT_EQ(WantsPngOptimiser(row.switchOn, row.pixels), row.wanted) << row.pixels;
  }
}

TEST_F(PictureProcessing, ZopflipngShrinksTheFastPngWithoutChangingItsPixels) {
  REQUIRE_TOOL(ZopflipngPath());
  Picture png;
  LoadGradient(png, dir_.path());
  const std::string folder = dir_.File("그림 폴더 1");
  std::filesystem::create_directory(folder);
  for (bool palette : {false, true}) {
    const std::string fast = dir_.File("fast.png");
    ASSERT_TRUE(palette ? WriteQuantisedPng(fast, png, "", 1) : WritePng(fast, png, "", 1));
    const std::string optimised = folder + "/최적 그림.png";
    WriteFile(optimised, ReadFile(fast));
    OptimisePng(optimised, temp_);
    EXPECT_LE(ReadFile(optimised).size(), ReadFile(fast).size()) << palette;
    // The tool's file was taken: zopfli's deflate differs from zlib's fastest level.
    EXPECT_NE(ReadFile(optimised), ReadFile(fast)) << palette;
    EXPECT_EQ(Rgba(optimised), Rgba(fast)) << palette;
  }
}

TEST_F(PictureProcessing, SavePngWithTheSwitchOnIsSmallerThanWithoutAndShowsTheSame) {
  REQUIRE_TOOL(ZopflipngPath());
  Picture png;
  LoadGradient(png, dir_.path());
  ASSERT_TRUE(SavePng(png, dir_.File("on.png"), "", true, temp_, false));
  ASSERT_TRUE(SavePng(png, dir_.File("off.png"), "", false, temp_, false));
  EXPECT_LT(ReadFile(dir_.File("on.png")).size(), ReadFile(dir_.File("off.png")).size());
  const std::string rgb = testing::GradientRgb(96, 64);
  const std::string rgba = Rgba(dir_.File("on.png"));
  ASSERT_EQ(rgba.size(), size_t{96 * 64 * 4});
  for (size_t i = 0; i < 96 * 64; ++i) ASSERT_EQ(rgba.substr(i * 4, 3), rgb.substr(i * 3, 3)) << i;
}

TEST_F(PictureProcessing, PicturesWrittenAsPngGoThroughZopflipngWithTheSameLines) {
  REQUIRE_TOOL(ZopflipngPath());
  struct Case {
    std::string bytes;
    const char* kindLine;
    const char* branchLine;
  } cases[] = {{testing::GradientPng(96, 64, 0), "embedded 1 is PNG", "writing PNG..."},
               {testing::GradientBmp(96, 64, 24), "embedded 1 is BMP", "converting to PNG..."}};
  for (const Case& c : cases) {
    options_.extraOptimisers = false;
    ASSERT_EQ(Process(c.bytes), PictureKind::kPng);
    const size_t withoutTool = ReadFile(outcome_.rewrittenPath).size();
    const size_t before = Lines().size();
    options_.extraOptimisers = true;
    ASSERT_EQ(Process(c.bytes), PictureKind::kPng);
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
              (std::vector<std::string>{c.kindLine, c.branchLine, Finished(),
                                        "rewritten file is to be written"}));
    EXPECT_LT(ReadFile(outcome_.rewrittenPath).size(), withoutTool) << c.kindLine;
  }
}

TEST_F(PictureProcessing, AnimatedGifGoesThroughGifsicleAndIsTaken) {
  REQUIRE_TOOL(GifsiclePath());
  const std::string animation = testing::MovingSquareGif(64, 48, 6);
  EXPECT_EQ(Process(animation, 2), PictureKind::kGif);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"embedded 3 is GIF", "frame count > 1, trying GIFsicle",
                                      "rewritten file is to be written"}));
  ASSERT_EQ(outcome_.rewrittenPath.substr(outcome_.rewrittenPath.size() - 4), ".gif");
  EXPECT_EQ(temp_.Registered().back(), outcome_.rewrittenPath);
  EXPECT_LT(ReadFile(outcome_.rewrittenPath).size(), animation.size());
  Picture gif;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadGif, outcome_.rewrittenPath, gif, status));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(gif.frames, 6);
  auto decoded = testing::DecodeWithPil(outcome_.rewrittenPath);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->frames, 6);
  EXPECT_EQ(decoded->width, 64);
  EXPECT_EQ(decoded->height, 48);
}

}  // namespace
}  // namespace velmora
