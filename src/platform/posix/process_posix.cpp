#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

extern char** environ;

namespace platform {

namespace {

// Owner of a file descriptor.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int Get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

struct SpawnActions {
  posix_spawn_file_actions_t actions;
  bool ready = posix_spawn_file_actions_init(&actions) == 0;
  ~SpawnActions() {
    if (ready) posix_spawn_file_actions_destroy(&actions);
  }
};

// Lower priority for the tool, like a background job: the desktop stays responsive
// while a slow optimiser runs.
constexpr int kNiceIncrement = 10;

}  // namespace

bool IsExecutableImage(const std::string& path) {
  if (path.empty() || ::access(path.c_str(), X_OK) != 0) return false;
  UniqueFile file = OpenFile(path, "rb");
  if (!file) return false;
  unsigned char magic[4] = {};
  return std::fread(magic, 1, 4, file.get()) == 4 && magic[0] == 0x7F && magic[1] == 'E' &&
         magic[2] == 'L' && magic[3] == 'F';
}

std::string ZopflipngRelativePath() { return "tools/zopflipng/zopflipng"; }
std::string GifsicleRelativePath() { return "tools/giflossy/gifsicle"; }
std::string ExecutableName(const std::string& name) { return name; }

std::vector<std::string> PathCandidates(const std::string& name) {
  std::vector<std::string> candidates;
  const char* path = std::getenv("PATH");
  if (path == nullptr) return candidates;
  std::string list = path;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    // An empty PATH element means the current folder.
    std::string directory = end > start ? list.substr(start, end - start) : std::string(".");
    directory += '/';
    directory += name;
    candidates.push_back(std::move(directory));
    start = end + 1;
  }
  return candidates;
}

RunResult RunAndDrain(const std::string& program, const std::vector<std::string>& arguments,
                      const std::atomic<bool>& stop, int pollMilliseconds,
                      double timeLimitMilliseconds) {
  constexpr RunResult kFailed = RunResult::kNotStarted;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return kFailed;
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);

  SpawnActions actions;
  if (!actions.ready ||
      posix_spawn_file_actions_addopen(&actions.actions, 0, "/dev/null", O_RDONLY, 0) != 0 ||
      posix_spawn_file_actions_adddup2(&actions.actions, writeEnd.Get(), 1) != 0 ||
      posix_spawn_file_actions_adddup2(&actions.actions, writeEnd.Get(), 2) != 0) {
    return kFailed;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions.actions, nullptr, argv.data(), environ) != 0) {
    return kFailed;
  }
  const double deadline = timeLimitMilliseconds > 0
                              ? MonotonicMilliseconds() + timeLimitMilliseconds
                              : 0;
  errno = 0;
  int current = ::getpriority(PRIO_PROCESS, 0);
  if (errno == 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), current + kNiceIncrement);
  // Only the child holds the write end now, so the pipe reports its end when the child
  // and anything it started have closed their output.
  writeEnd.Reset();

  char buffer[32768];
  bool outputOpen = true;
  RunResult result = RunResult::kFinished;
  for (;;) {
    if (result == RunResult::kFinished) {
      if (stop.load() || StopRequested()) {
        result = RunResult::kStopped;
      } else if (deadline > 0 && MonotonicMilliseconds() >= deadline) {
        result = RunResult::kTimedOut;
      }
      if (result != RunResult::kFinished) ::kill(pid, SIGKILL);
    }
    if (outputOpen) {
      pollfd entry{readEnd.Get(), POLLIN, 0};
      int ready = ::poll(&entry, 1, pollMilliseconds);
      if (ready > 0) {
        ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) outputOpen = false;
        continue;
      }
      if (ready < 0 && errno != EINTR) outputOpen = false;
    }
    int status = 0;
    // Never block in waitpid: a stop request must still end a child that has closed its
    // output but hangs.
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) break;
    if (!outputOpen && done == 0) ::usleep(static_cast<useconds_t>(pollMilliseconds) * 1000);
  }
  return result;
}

}  // namespace platform
