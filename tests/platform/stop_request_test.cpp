// The process's stop request: the first SIGINT, SIGTERM or SIGHUP sets it and names
// itself; a second one ends the process at once. Each case runs in a child process,
// whose signal handlers the test process must not take on.

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "platform/platform.h"
#include "support/child_process.h"

namespace velmora {
namespace {

struct SignalCase {
  const char* name;
  int signal;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class StopSignals : public ::testing::TestWithParam<SignalCase> {};

TEST_P(StopSignals, FirstAsksSecondEndsAtOnce) {
  const int signal = GetParam().signal;
  const testing::ChildResult asked = testing::RunInChild({}, [signal](std::string& report) {
    platform::InstallStopSignals();
    if (platform::StopRequested()) return 2;
    std::raise(signal);
    report = std::to_string(platform::StopSignal());
    return platform::StopRequested() ? 0 : 3;
  });
  ASSERT_TRUE(asked.exited);
  EXPECT_EQ(asked.exitCode, 0);
  EXPECT_EQ(asked.report, std::to_string(signal));

  const testing::ChildResult ended = testing::RunInChild({}, [signal](std::string&) {
    platform::InstallStopSignals();
    std::raise(signal);
    std::raise(signal);
    return 0;  // not reached: the second signal ends the process
  });
  EXPECT_FALSE(ended.exited);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignals,
                         ::testing::Values(SignalCase{"Interrupt", SIGINT},
                                           SignalCase{"Terminate", SIGTERM},
                                           SignalCase{"HangUp", SIGHUP}),
                         [](const ::testing::TestParamInfo<SignalCase>& info) {
                           return std::string(info.param.name);
                         });

// A program started with a signal ignored (nohup) keeps ignoring it.
TEST(StopSignals, IgnoredAtTheStartStayIgnored) {
  const testing::ChildResult child = testing::RunInChild({}, [](std::string&) {
    std::signal(SIGHUP, SIG_IGN);
    platform::InstallStopSignals();
    std::raise(SIGHUP);
    return platform::StopRequested() ? 1 : 0;
  });
  EXPECT_TRUE(child.exited && child.exitCode == 0);
}

}  // namespace
}  // namespace velmora
