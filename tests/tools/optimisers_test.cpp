#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/platform.h"
#include "support/test_support.h"
#include "tools/optimisers.h"
#include "tools/tool_process.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kStandIn = VELMORA_STANDIN_PATH;

void MakeExecutable(const std::string& path, mode_t mode = 0755) {
  ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

TEST(IsUsableTool, NeedsSizeFormatAndPermission) {
  TempDir dir;
  const std::string elf = ReadFile(kStandIn);
  ASSERT_GT(elf.size(), 512u);
  WriteFile(dir.File("good"), elf);
  MakeExecutable(dir.File("good"));
  EXPECT_TRUE(IsUsableTool(dir.File("good")));

  WriteFile(dir.File("short"), elf.substr(0, 511));
  MakeExecutable(dir.File("short"));
  EXPECT_FALSE(IsUsableTool(dir.File("short")));
  WriteFile(dir.File("exactly512"), elf.substr(0, 512));
  MakeExecutable(dir.File("exactly512"));
  EXPECT_TRUE(IsUsableTool(dir.File("exactly512")));

  WriteFile(dir.File("script"), "#!/bin/sh\n" + std::string(1 << 20, '#'));
  MakeExecutable(dir.File("script"));
  EXPECT_FALSE(IsUsableTool(dir.File("script")));

  WriteFile(dir.File("noexec"), elf);
  MakeExecutable(dir.File("noexec"), 0644);
  EXPECT_FALSE(IsUsableTool(dir.File("noexec")));

  EXPECT_FALSE(IsUsableTool(dir.File("missing")));
  EXPECT_FALSE(IsUsableTool(dir.path()));
  EXPECT_FALSE(IsUsableTool(""));
}

TEST(FindTool, ProgramFolderFirstThenPathInOrder) {
  TempDir dir;
  for (const char* folder : {"prog/tools/zopflipng", "bin1", "bin2"}) {
    std::filesystem::create_directories(dir.File(folder));
  }
  auto install = [&](const std::string& path) {
    WriteFile(path, ReadFile(kStandIn));
    MakeExecutable(path);
  };
  const std::string own = dir.File("prog/tools/zopflipng/zopflipng");
  const std::vector<std::string> path = {dir.File("bin1/zopflipng"), dir.File("bin2/zopflipng")};
  // Nothing usable anywhere: the program folder's candidate, which callers find unusable.
  EXPECT_EQ(FindTool(dir.File("prog/"), "tools/zopflipng/zopflipng", path), own);
  install(path[1]);
  EXPECT_EQ(FindTool(dir.File("prog/"), "tools/zopflipng/zopflipng", path), path[1]);
  install(path[0]);
  EXPECT_EQ(FindTool(dir.File("prog/"), "tools/zopflipng/zopflipng", path), path[0]);
  install(own);
  EXPECT_EQ(FindTool(dir.File("prog/"), "tools/zopflipng/zopflipng", path), own);
}

// Sets the stand-in's behaviour for the scope of a test.
class StandInMode {
 public:
  explicit StandInMode(const char* mode) { ::setenv("VELMORA_STANDIN_MODE", mode, 1); }
  ~StandInMode() { ::unsetenv("VELMORA_STANDIN_MODE"); }
};

// Tools run at a lower priority, so that the machine stays usable while they work.
TEST(ToolProcess, ToolRunsTenStepsNicer) {
  TempDir dir;
  WriteFile(dir.File("in.png"), "input bytes");
  StandInMode mode("nice");
  errno = 0;
  const int own = ::getpriority(PRIO_PROCESS, 0);
  ASSERT_EQ(errno, 0);
  ToolProcess runner(kStandIn, ZopflipngArguments(dir.File("in.png"), dir.File("out.png")));
  EXPECT_EQ(runner.Run(), platform::RunResult::kFinished);
  EXPECT_EQ(ReadFile(dir.File("out.png")), std::to_string(std::min(own + 10, 19)));
}

TEST(ToolProcess, DrainsMoreOutputThanThePipeHolds) {
  TempDir dir;
  WriteFile(dir.File("in.png"), "input bytes");
  StandInMode mode("noisy");
  ToolProcess runner(kStandIn, ZopflipngArguments(dir.File("in.png"), dir.File("out.png")));
  EXPECT_EQ(runner.Run(), platform::RunResult::kFinished);
  EXPECT_EQ(ReadFile(dir.File("out.png")), "input bytes");
}

TEST(ToolProcess, StopEndsAHangingTool) {
  TempDir dir;
  WriteFile(dir.File("in.gif"), "GIF89a");
  StandInMode mode("hang");
  ToolProcess runner(kStandIn, GifsicleArguments(dir.File("in.gif"), dir.File("out.gif")));
  std::thread stopper([&runner] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    runner.Stop();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(runner.Run(), platform::RunResult::kStopped);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// How a run ends: by itself, by its time limit, or by the process's stop request
// (which the signal handlers set); the limit never cuts a tool that finishes in time.
struct RunEnding {
  const char* name;
  const char* mode;
  double limitSeconds;
  bool processStop;
  platform::RunResult expected;
};

void PrintTo(const RunEnding& c, std::ostream* os) { *os << c.name; }

class ToolRunEndings : public ::testing::TestWithParam<RunEnding> {};

TEST_P(ToolRunEndings, EndAsTheirCauseSays) {
  TempDir dir;
  WriteFile(dir.File("in.gif"), "GIF89a");
  StandInMode mode(GetParam().mode);
  if (GetParam().processStop) platform::RequestStop();
  ToolProcess runner(kStandIn, GifsicleArguments(dir.File("in.gif"), dir.File("out.gif")),
                     GetParam().limitSeconds);
  const auto start = std::chrono::steady_clock::now();
  const platform::RunResult result = runner.Run();
  platform::ClearStopRequest();
  EXPECT_EQ(result, GetParam().expected);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToolRunEndings,
    ::testing::Values(RunEnding{"QuickToolWithinItsLimit", "copy", 5, false,
                                platform::RunResult::kFinished},
                      RunEnding{"HangingToolPastItsLimit", "hang", 0.5, false,
                                platform::RunResult::kTimedOut},
                      RunEnding{"HangingToolOnAStopRequest", "hang", 0, true,
                                platform::RunResult::kStopped}),
    [](const ::testing::TestParamInfo<RunEnding>& info) { return std::string(info.param.name); });

TEST(ToolProcess, CrashingAndMissingToolsReturn) {
  TempDir dir;
  WriteFile(dir.File("in.gif"), "GIF89a");
  {
    StandInMode mode("crash");
    ToolProcess runner(kStandIn, GifsicleArguments(dir.File("in.gif"), dir.File("out.gif")));
    EXPECT_EQ(runner.Run(), platform::RunResult::kFinished);
  }
  ToolProcess missing(dir.File("no-such-tool"), {});
  EXPECT_EQ(missing.Run(), platform::RunResult::kNotStarted);
}

TEST(ToolProcess, PathsReachTheToolUnchanged) {
  TempDir dir;
  const std::string folder = dir.File("한글 폴더 (1)");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string input = folder + "/그림 $HOME `x` 'q' \"d\".png";
  const std::string output = folder + "/결과 ;&|*.png";
  WriteFile(input, "bytes");
  ::setenv("VELMORA_STANDIN_ARGS", dir.File("args").c_str(), 1);
  ToolProcess runner(kStandIn, ZopflipngArguments(input, output));
  EXPECT_EQ(runner.Run(), platform::RunResult::kFinished);
  ::unsetenv("VELMORA_STANDIN_ARGS");
  EXPECT_EQ(ReadFile(dir.File("args")),
            "--keepchunks=cHRM,gAMA,iCCP,sBIT,sRGB,bKGD,hIST,pHYs,tIME,iTXt,tEXt,zTXt\n" + input +
                "\n" + output + "\n");
  EXPECT_EQ(ReadFile(output), "bytes");
}

TEST(ToolArguments, AreTheToolsCommandLines) {
  std::vector<std::string> gif = {"-O3", "-o", "out.gif", "in.gif"};
  EXPECT_EQ(GifsicleArguments("in.gif", "out.gif"), gif);
  EXPECT_EQ(ZopflipngArguments("in.png", "out.png")[1], "in.png");
  EXPECT_EQ(ZopflipngArguments("in.png", "out.png")[2], "out.png");
}

}  // namespace
}  // namespace velmora
