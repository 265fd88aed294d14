// The process's stop request, in child processes whose signal handlers the test
// process must not take on: the first SIGINT, SIGTERM or SIGHUP sets it and names
// itself, a second one ends the process at once, and one ignored at the start (nohup)
// stays ignored.

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "platform/platform.h"
#include "support/child_process.h"

namespace velmora {
namespace {

struct SignalCase {
  int signal;
  bool ignoredAtStart;
  int raised;        // how often the child raises it
  bool survives;     // the child returns
  const char* report;  // the stop signal it saw
};

class StopSignals : public ::testing::TestWithParam<SignalCase> {};

TEST_P(StopSignals, AskOnceEndTwiceAndRespectAnIgnoredStart) {
  const SignalCase c = GetParam();
  const testing::ChildResult child = testing::RunInChild({}, [c](std::string& report) {
    if (c.ignoredAtStart) std::signal(c.signal, SIG_IGN);
    platform::InstallStopSignals();
    for (int i = 0; i < c.raised; ++i) std::raise(c.signal);
    report = std::to_string(platform::StopSignal());
    return 0;
  });
  EXPECT_EQ(child.exited, c.survives);
  if (c.survives) {
    EXPECT_EQ(child.report, c.report);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, StopSignals,
                         ::testing::Values(SignalCase{SIGINT, false, 1, true, "2"},
                                           SignalCase{SIGTERM, false, 1, true, "15"},
                                           SignalCase{SIGHUP, false, 1, true, "1"},
                                           SignalCase{SIGINT, false, 2, false, ""},
                                           SignalCase{SIGTERM, false, 2, false, ""},
                                           SignalCase{SIGHUP, true, 2, true, "0"}));

}  // namespace
}  // namespace velmora
