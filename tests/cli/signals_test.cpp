// SIGINT, SIGTERM and SIGHUP while the program waits for an optimiser: the tool is
// ended, the temporary files and the unfinished target are removed, an existing target
// stays as it was, and the program exits with 128 + the signal's number.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/hwpml_builder.h"
#include "support/picture_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::ShellQuote;
using testing::WriteFile;

struct SignalCase {
  const char* name;
  const char* form;
  const char* signal;
  int status;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class StopSignalsDuringAJob : public ::testing::TestWithParam<SignalCase> {};

TEST_P(StopSignalsDuringAJob, LeaveNothingBehindAndSaySoInTheStatus) {
  const SignalCase& c = GetParam();
  testing::TempDir dir;
  const std::string program = dir.File("bin/velmora");
  const std::string tool = dir.File("bin/tools/zopflipng/zopflipng");
  std::filesystem::create_directories(dir.File("bin/tools/zopflipng"));
  std::filesystem::create_directories(dir.File("tmp"));
  std::filesystem::create_directories(dir.File("out"));
  for (const auto& [from, to] : {std::pair{VELMORA_CLI_PATH, program}, {VELMORA_STANDIN_PATH, tool}}) {
    WriteFile(to, ReadFile(from));
    ::chmod(to.c_str(), 0755);
  }
  const std::string picture = testing::GradientPng(64, 48, 0);
  const std::string source = dir.File(std::string("doc.") + c.form);
  testing::HmlDocument hml;
  hml.items = {testing::ItemTag(1, "png")};
  hml.data = {testing::DataElement(1, picture)};
  if (std::string(c.form) == "hml") {
    WriteFile(source, hml.Build());
  } else {
    testing::WriteZip(source, testing::MakeHwpxItems({{"image1", "BinData/image1.png", "image/png", picture}}));
  }
  const std::string target = dir.File(std::string("out/target.") + c.form);
  WriteFile(target, "the previous target");
  // The hanging stand-in writes its arguments when it starts; the signal comes then.
  const std::string started = dir.File("started");
  // With job control on, a background job is not started with SIGINT ignored.
  const std::string script =
      "set -m; VELMORA_STANDIN_MODE=hang VELMORA_STANDIN_ARGS=" + ShellQuote(started) +
      " TMPDIR=" + ShellQuote(dir.File("tmp")) + " PATH=/nonexistent " + ShellQuote(program) +
      " -o " + ShellQuote(target) + " " + ShellQuote(source) + " & pid=$!; " +
      "for i in $(seq 600); do [ -e " + ShellQuote(started) + " ] && break; sleep 0.1; done; " +
      "kill -" + c.signal + " $pid; wait $pid; echo \"status $?\"; " +
      "pgrep -f " + ShellQuote("^" + tool + " ") + " >/dev/null && echo 'tool left running'";
  const testing::CommandResult result = testing::RunCommand("bash -c " + ShellQuote(script) + " 2>/dev/null");
  EXPECT_EQ(result.out, "status " + std::to_string(c.status) + "\n");
  EXPECT_EQ(testing::ListFolder(dir.File("tmp")), std::vector<std::string>{});
  EXPECT_EQ(testing::ListFolder(dir.File("out")), std::vector<std::string>{std::string("target.") + c.form});
  EXPECT_EQ(ReadFile(target), "the previous target");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopSignalsDuringAJob,
    ::testing::Values(SignalCase{"HwpxInterrupt", "hwpx", "INT", 130},
                      SignalCase{"HwpxTerminate", "hwpx", "TERM", 143},
                      SignalCase{"HwpxHangUp", "hwpx", "HUP", 129},
                      SignalCase{"HwpmlInterrupt", "hml", "INT", 130},
                      SignalCase{"HwpmlTerminate", "hml", "TERM", 143}),
    [](const ::testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
