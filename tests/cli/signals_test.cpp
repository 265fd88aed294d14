// SIGINT, SIGTERM and SIGHUP while the program waits for an optimiser: the tool is
// ended, the temporary files and the unfinished target are removed, an existing target
// stays as it was, and the program exits with 128 + the signal's number. With two
// workers on two documents of two pictures each, every job stops so.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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
  int documents;  // each of two pictures when there are more than one, run by two workers
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
  const bool many = c.documents > 1;
  for (const auto& [from, to] : {std::pair{VELMORA_CLI_PATH, program}, {VELMORA_STANDIN_PATH, tool}}) {
    WriteFile(to, ReadFile(from));
    ::chmod(to.c_str(), 0755);
  }
  std::vector<std::string> pictures = {testing::GradientPng(64, 48, 0)};
  if (many) pictures.push_back(testing::GradientPng(48, 64, 0));
  testing::HmlDocument hml;
  std::vector<testing::HwpxPicture> items;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const std::string name = "image" + std::to_string(i + 1);
    hml.items.push_back(testing::ItemTag(static_cast<int>(i + 1), "png"));
    hml.data.push_back(testing::DataElement(static_cast<int>(i + 1), pictures[i]));
    items.push_back({name, "BinData/" + name + ".png", "image/png", pictures[i]});
  }
  // Sources and targets in one folder: "doc1.hml" becomes "doc1(pack).hml", which
  // exists and is replaced (--force) once the job is done.
  std::string sources;
  std::vector<std::string> expected;
  for (int n = 1; n <= c.documents; ++n) {
    const std::string name = "doc" + std::to_string(n);
    const std::string source = dir.File("out/" + name + "." + c.form);
    if (std::string(c.form) == "hml") {
      WriteFile(source, hml.Build());
    } else {
      testing::WriteZip(source, testing::MakeHwpxItems(items));
    }
    WriteFile(dir.File("out/" + name + "(pack)." + c.form), "the previous target");
    sources += " " + ShellQuote(source);
    expected.push_back(name + "(pack)." + c.form);
    expected.push_back(name + "." + c.form);
  }
  std::sort(expected.begin(), expected.end());
  // The hanging stand-in writes its arguments when it starts; the signal comes then.
  const std::string started = dir.File("started");
  // With job control on, a background job is not started with SIGINT ignored.
  const std::string script =
      "set -m; VELMORA_STANDIN_MODE=hang VELMORA_STANDIN_ARGS=" + ShellQuote(started) +
      " TMPDIR=" + ShellQuote(dir.File("tmp")) + " PATH=/nonexistent " + ShellQuote(program) +
      (many ? " -j 2" : " -j 1") + " --force" + sources + " & pid=$!; " +
      "for i in $(seq 600); do [ -e " + ShellQuote(started) + " ] && break; sleep 0.1; done; " +
      "kill -" + c.signal + " $pid; wait $pid; echo \"status $?\"; " +
      "pgrep -f " + ShellQuote("^" + tool + " ") + " >/dev/null && echo 'tool left running'";
  const testing::CommandResult result = testing::RunCommand("bash -c " + ShellQuote(script) + " 2>/dev/null");
  EXPECT_EQ(result.out, "status " + std::to_string(c.status) + "\n");
  EXPECT_EQ(testing::ListFolder(dir.File("tmp")), std::vector<std::string>{});
  std::vector<std::string> left = testing::ListFolder(dir.File("out"));
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, expected);
  for (int n = 1; n <= c.documents; ++n) {
    const std::string target = "out/doc" + std::to_string(n) + "(pack)." + c.form;
    EXPECT_EQ(ReadFile(dir.File(target)), "the previous target") << target;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopSignalsDuringAJob,
    ::testing::Values(SignalCase{"HwpxInterrupt", "hwpx", "INT", 130, 1},
                      SignalCase{"HwpxTerminate", "hwpx", "TERM", 143, 1},
                      SignalCase{"HwpxHangUp", "hwpx", "HUP", 129, 1},
                      SignalCase{"HwpmlInterrupt", "hml", "INT", 130, 1},
                      SignalCase{"HwpmlTerminate", "hml", "TERM", 143, 1},
                      SignalCase{"TwoHwpxInParallel", "hwpx", "INT", 130, 2},
                      SignalCase{"TwoHwpmlInParallel", "hml", "TERM", 143, 2}),
    [](const ::testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
