#include "support/child_process.h"

#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <omp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace velmora::testing {

namespace {

constexpr int kUnsupported = 77;
constexpr uid_t kNobody = 65534;

// The palette quantiser's OpenMP worker threads do not survive a fork: a child that
// quantises after the parent already has waits for them forever. A test program that
// forks runs the quantiser on its calling thread, so that it can run every test in one
// process, in any order.
const bool kQuantiserOnCallingThread = [] {
  omp_set_num_threads(1);
  return true;
}();

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

// In the child: true when every limit is in place.
bool ApplyLimits(const ChildLimits& limits) {
  if (!limits.tmpfsFolder.empty()) {
    const std::string options = "size=" + std::to_string(limits.tmpfsBytes);
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", limits.tmpfsFolder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      return false;
    }
  }
  if (limits.unprivileged && ::geteuid() == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
      return false;
    }
    // A changed user makes the process undumpable, which hides /proc/self from the
    // sanitizers' runtime.
    ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
  }
  if (limits.fileSizeLimit >= 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(limits.fileSizeLimit),
                       static_cast<rlim_t>(limits.fileSizeLimit)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
  }
  return true;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0) Wait();
}

bool ChildProcess::Start(const ChildLimits& limits,
                         const std::function<int(std::string& report)>& body) {
  int fds[2];
  if (pid_ > 0 || ::pipe(fds) != 0) return false;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (pid == 0) {
    ::close(fds[0]);
    if (!ApplyLimits(limits)) ::_exit(kUnsupported);
    std::string report;
    const int code = body(report);
    WriteAll(fds[1], report);
    ::close(fds[1]);
    // No exit handlers: the child must not run the test framework's or the
    // sanitizers' end-of-process work that belongs to the parent.
    ::_exit(code);
  }
  ::close(fds[1]);
  pid_ = pid;
  reportFd_ = fds[0];
  return true;
}

ChildResult ChildProcess::Wait() {
  ChildResult result;
  if (pid_ <= 0) return result;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(reportFd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    result.report.append(buffer, static_cast<size_t>(got));
  }
  ::close(reportFd_);
  reportFd_ = -1;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  result.exited = WIFEXITED(status);
  result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
  result.unsupported = result.exited && result.exitCode == kUnsupported;
  return result;
}

ChildResult RunInChild(const ChildLimits& limits,
                       const std::function<int(std::string& report)>& body) {
  ChildProcess child;
  if (!child.Start(limits, body)) return {};
  return child.Wait();
}

}  // namespace velmora::testing
