#pragma once
// Runs a piece of a test in a forked child process under operating-system limits that
// the test process itself must not take on: a file-size limit (writes beyond it fail
// as on a full disk), an unprivileged user (permission bits count again, also when the
// tests run as root), or a private small file system mounted over a folder.
//
// Programs linking this run the palette quantiser on the calling thread: its worker
// threads would not survive a fork.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmora::testing {

struct ChildLimits {
  // Largest file the child may write, in bytes (RLIMIT_FSIZE, with SIGXFSZ ignored so
  // that writes fail with an error instead of ending the process); negative: none.
  int64_t fileSizeLimit = -1;
  // Runs as the unprivileged user nobody (65534) when the tests run as root.
  bool unprivileged = false;
  // When not empty: a tmpfs of tmpfsBytes is mounted over this folder in a mount
  // namespace of the child's own, so nothing outside the child sees it.
  std::string tmpfsFolder;
  int64_t tmpfsBytes = 0;
};

struct ChildResult {
  // The limits could not be set up here (no permission to change user or to mount);
  // the test should be skipped.
  bool unsupported = false;
  bool exited = false;  // the child ended by returning, not by a signal
  int exitCode = -1;
  std::string report;  // everything the body wrote through its report function
};

// Runs body in a child process under the limits. body returns the child's exit code
// and may append text to the report, which the parent receives whole.
ChildResult RunInChild(const ChildLimits& limits,
                       const std::function<int(std::string& report)>& body);

// The same in two steps, so that several children run at once: Start returns as soon
// as the child runs, Wait collects its report and its end. A started child that is
// never waited for is waited for by the destructor.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const ChildLimits& limits, const std::function<int(std::string& report)>& body);
  ChildResult Wait();

 private:
  int pid_ = -1;
  int reportFd_ = -1;
};

}  // namespace velmora::testing
