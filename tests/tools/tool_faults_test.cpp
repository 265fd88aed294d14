// External tools that fail: they crash, get killed half-way, write garbage or nothing,
// or hang (see the ToolProcess Stop test). Whatever they do, no broken picture may come out
// of the step that ran them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "core/temp_files.h"
#include "picture/png_output.h"
#include "image/png_codec.h"
#include "picture/verification.h"
#include "support/bmp_writer.h"
#include "support/child_process.h"
#include "support/gif_writer.h"
#include "support/test_support.h"
#include "tools/optimisers.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kStandIn = VELMORA_STANDIN_PATH;

std::string AnimatedGif() {
  testing::GifSpec layout;
  layout.width = 16;
  layout.height = 12;
  layout.globalTable = {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF};
  for (int f = 0; f < 4; ++f) {
    testing::GifFrameSpec frame;
    frame.width = 16;
    frame.height = 12;
    frame.transparent = -1;
    for (int i = 0; i < 16 * 12; ++i)
      frame.indices.push_back(static_cast<uint16_t>((i / 5 + f) % 4));
    layout.frames.push_back(frame);
  }
  return testing::BuildGif(layout);
}

struct ToolMode {
  const char* mode;
  // The step's result is a sound picture: for the GIF step, the tool's output; for the
  // PNG step, the PNG as written or as the tool rewrote it.
  bool usable;
};

void PrintTo(const ToolMode& m, std::ostream* os) { *os << m.mode; }

class GifOptimiserFaults : public ::testing::TestWithParam<ToolMode> {};

// The GIF step takes any file that starts like a GIF; verification is what stops a
// half-written one from replacing the animation.
TEST_P(GifOptimiserFaults, OnlyASoundResultPassesVerification) {
  TempDir dir;
  const std::string input = dir.File("in.gif");
  const std::string output = dir.File("out.gif");
  WriteFile(input, AnimatedGif());
  ::setenv("VELMORA_STANDIN_MODE", GetParam().mode, 1);
  RunGifsicle(kStandIn, input, output, 0);
  ::unsetenv("VELMORA_STANDIN_MODE");
  const Verification result = VerifyRewrittenPicture(input, output, PictureKind::kGif);
  EXPECT_EQ(result.passed, GetParam().usable) << result.reason;
}

INSTANTIATE_TEST_SUITE_P(Modes, GifOptimiserFaults,
                         ::testing::Values(ToolMode{"copy", true}, ToolMode{"nothing", false},
                                           ToolMode{"garbage", false}, ToolMode{"truncated", false},
                                           ToolMode{"killed", false}, ToolMode{"crash", false}),
                         [](const ::testing::TestParamInfo<ToolMode>& info) {
                           return std::string(info.param.mode);
                         });

class PngOptimiserFaults : public ::testing::TestWithParam<ToolMode> {};

// Samples with more distinct colours than a palette takes, so that the lossless writer
// runs: x, y and their sum.
uint8_t Sample(int x, int y, int channel) {
  return static_cast<uint8_t>(channel == 0 ? x * 6 : channel == 1 ? y * 8 : (x + y) * 3);
}

// The PNG output step with the optimiser wanted, in a child process whose PATH finds
// the stand-in under the optimiser's name (the tool's place is decided once per
// process). Whatever the tool did, the result either reads back whole with the
// picture's samples, or fails the verification that stands before every replacement;
// a sound tool's output must be taken. The tool's own output is not left behind.
TEST_P(PngOptimiserFaults, NoBrokenPngPassesVerification) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("bin"));
  std::filesystem::create_directories(dir.File("tmp"));
  const std::string tool = dir.File("bin/zopflipng");
  std::filesystem::copy_file(kStandIn, tool);
  ::chmod(tool.c_str(), 0755);
  const std::string output = dir.File("out.png");
  const std::string arguments = dir.File("arguments");
  constexpr int kWidth = 40, kHeight = 30;

  testing::ChildResult child = testing::RunInChild({}, [&](std::string& report) {
    ::setenv("PATH", dir.File("bin").c_str(), 1);
    ::setenv("VELMORA_STANDIN_MODE", GetParam().mode, 1);
    ::setenv("VELMORA_STANDIN_ARGS", arguments.c_str(), 1);
    TempFiles temp(true, dir.File("tmp"));
    Picture png;
    png.width = kWidth;
    png.height = kHeight;
    png.bitsPerPixel = 24;
    png.pixels = AllocatePixels(kWidth, kHeight, 3);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        for (int c = 0; c < 3; ++c) png.pixels[(y * kWidth + x) * 3 + c] = Sample(x, y, c);
      }
    }
    // A tool that hangs spends its time budget and is stopped.
    ProcessLog log;
    log.Open(dir.File("log.md"));
    report = SavePng(png, output, "", true, temp, false, ToolBudget{1.0, &log}) ? "saved"
                                                                                 : "not saved";
    return 0;
  });
  ASSERT_TRUE(child.exited && child.exitCode == 0);
  EXPECT_EQ(child.report, "saved");
  EXPECT_TRUE(testing::FileExists(arguments)) << "the tool did not run";
  EXPECT_TRUE(testing::ListFolder(dir.File("tmp")).empty());
  bool stoppedLine = false;
  for (const std::string& line : testing::ReadLogLines(dir.File("log.md"))) {
    stoppedLine |= testing::WithoutStamp(line) ==
                   "zopflipng stopped after its time budget of 1 s, the PNG written before it "
                   "is used";
  }
  EXPECT_EQ(stoppedLine, std::string(GetParam().mode) == "hang");

  testing::BmpLayout original;
  original.width = kWidth;
  original.height = kHeight;
  std::vector<std::vector<uint32_t>> rows(kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      rows[y].push_back((uint32_t{Sample(x, y, 0)} << 16) | (Sample(x, y, 1) << 8) |
                        Sample(x, y, 2));
    }
  }
  original.data = testing::PackRows(rows, 24, false);
  WriteFile(dir.File("original.bmp"), testing::BuildBmp(original));
  const Verification verdict = VerifyRewrittenPicture(dir.File("original.bmp"), output, PictureKind::kPng);

  Picture written;
  int status = -1;
  const bool whole = testing::ReadWithStatus(ReadPng, output, written, status) && status == 0;
  if (GetParam().usable || whole) {
    ASSERT_TRUE(whole);
    EXPECT_TRUE(verdict.passed) << verdict.reason;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        for (int c = 0; c < 3; ++c) {
          ASSERT_EQ(written.pixels[(y * kWidth + x) * 3 + c], Sample(x, y, c)) << x << "," << y;
        }
      }
    }
  } else {
    EXPECT_FALSE(verdict.passed);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, PngOptimiserFaults,
                         ::testing::Values(ToolMode{"copy", true}, ToolMode{"nothing", true},
                                           ToolMode{"garbage", true}, ToolMode{"truncated", false},
                                           ToolMode{"killed", false}, ToolMode{"crash", true},
                                           ToolMode{"hang", true}),
                         [](const ::testing::TestParamInfo<ToolMode>& info) {
                           return std::string(info.param.mode);
                         });

}  // namespace
}  // namespace velmora
