// The process's stop request and the signal handlers that set it. The same on every
// system: the C library's signal function is enough for three signals.

#include <atomic>
#include <csignal>

#include "platform/platform.h"

namespace platform {

namespace {

// A handler may touch nothing but lock-free atomics.
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool> stopRequested{false};
std::atomic<int> stopSignal{0};

// The signals that ask the program to end: Ctrl-C, kill's default, a closed terminal.
constexpr int kStopSignals[] = {
    SIGINT, SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

extern "C" void OnStopSignal(int signal) {
  if (stopRequested.load()) {
    // The second request: the user does not want to wait for the clean-up.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  stopSignal.store(signal);
  stopRequested.store(true);
}

}  // namespace

void InstallStopSignals() {
  for (int signal : kStopSignals) {
    // A signal the program was started to ignore (nohup, a background job of a shell
    // without job control) stays ignored.
    if (std::signal(signal, OnStopSignal) == SIG_IGN) std::signal(signal, SIG_IGN);
  }
}

void RequestStop() { stopRequested.store(true); }

bool StopRequested() { return stopRequested.load(); }

int StopSignal() { return stopSignal.load(); }

void ClearStopRequest() {
  stopSignal.store(0);
  stopRequested.store(false);
}

}  // namespace platform
