// SIGINT, SIGTERM and SIGHUP while the program waits for an optimiser: the tool is
// ended, the temporary files and the unfinished target are removed, an existing target
// stays as it was, and the program exits with 128 + the signal's number.

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/hwpml_builder.h"
#include "support/picture_fixtures.h"
#include "support/test_support.h"

extern char** environ;

namespace velmora {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

void Install(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  WriteFile(to, ReadFile(from));
  ASSERT_EQ(::chmod(to.c_str(), 0755), 0);
}

// Processes whose program is the file at path (the stand-in, when it was left running).
int ProcessesRunning(const std::string& path) {
  int count = 0;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return 0;
  while (const dirent* entry = ::readdir(proc)) {
    const std::string name = entry->d_name;
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    char target[4096];
    const ssize_t length =
        ::readlink(("/proc/" + name + "/exe").c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<size_t>(length)) == path) ++count;
  }
  ::closedir(proc);
  return count;
}

struct SignalCase {
  const char* name;
  const char* form;
  int signal;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class StopSignalsDuringAJob : public ::testing::TestWithParam<SignalCase> {};

TEST_P(StopSignalsDuringAJob, LeaveNothingBehindAndSaySoInTheStatus) {
  const SignalCase& c = GetParam();
  TempDir dir;
  const std::string program = dir.File("bin/velmora");
  const std::string tool = dir.File("bin/tools/zopflipng/zopflipng");
  Install(VELMORA_CLI_PATH, program);
  Install(VELMORA_STANDIN_PATH, tool);
  std::filesystem::create_directories(dir.File("tmp"));
  std::filesystem::create_directories(dir.File("out"));
  const std::string picture = testing::GradientPng(64, 48, 0);
  const std::string source = dir.File(std::string("doc.") + c.form);
  if (std::string(c.form) == "hwpx") {
    testing::WriteZip(source, testing::MakeHwpxItems(
                                  {{"image1", "BinData/image1.png", "image/png", picture}}));
  } else {
    testing::HmlDocument document;
    document.items = {testing::ItemTag(1, "png")};
    document.data = {testing::DataElement(1, picture)};
    WriteFile(source, document.Build());
  }
  const std::string target = dir.File(std::string("out/target.") + c.form);
  WriteFile(target, "the previous target");
  const std::string started = dir.File("tool-started");

  std::vector<std::string> environment = {"VELMORA_STANDIN_MODE=hang",
                                          "VELMORA_STANDIN_ARGS=" + started,
                                          "TMPDIR=" + dir.File("tmp"), "PATH=/nonexistent"};
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::string(*variable).rfind("ASAN_OPTIONS=", 0) == 0 ||
        std::string(*variable).rfind("UBSAN_OPTIONS=", 0) == 0) {
      environment.push_back(*variable);
    }
  }
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments = {program, "-o", target, source};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);

  // The signal comes while the program waits for the hanging tool.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!testing::FileExists(started) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(testing::FileExists(started));
  ASSERT_EQ(::kill(pid, c.signal), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);

  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 128 + c.signal);
  EXPECT_EQ(testing::ListFolder(dir.File("tmp")), std::vector<std::string>{});
  EXPECT_EQ(testing::ListFolder(dir.File("out")), std::vector<std::string>{std::string("target.") + c.form});
  EXPECT_EQ(ReadFile(target), "the previous target");
  EXPECT_EQ(ProcessesRunning(tool), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopSignalsDuringAJob,
    ::testing::Values(SignalCase{"HwpxInterrupt", "hwpx", SIGINT},
                      SignalCase{"HwpxTerminate", "hwpx", SIGTERM},
                      SignalCase{"HwpxHangUp", "hwpx", SIGHUP},
                      SignalCase{"HwpmlInterrupt", "hml", SIGINT},
                      SignalCase{"HwpmlTerminate", "hml", SIGTERM}),
    [](const ::testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
