#include "platform/platform.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

namespace platform {

void FileCloser::operator()(std::FILE* file) const noexcept {
  if (file != nullptr) std::fclose(file);
}

UniqueFile OpenFile(const std::string& path, const char* mode) {
  if (path.empty()) return nullptr;
  return UniqueFile(std::fopen(path.c_str(), mode));
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && *tmp != '\0') return tmp;
  return "/tmp";
}

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? std::string(home) : std::string();
}

// Reads XDG_DESKTOP_DIR="$HOME/..." from the user-dirs file, expanding $HOME.
std::string XdgDesktopFromUserDirs(const std::string& home) {
  std::string configHome;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
    configHome = xdg;
  } else if (!home.empty()) {
    configHome = home + "/.config";
  } else {
    return {};
  }
  std::ifstream in(configHome + "/user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_DESKTOP_DIR=";
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::string value = line.substr(start + key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    return value;
  }
  return {};
}

}  // namespace

std::string DesktopFolder() {
  if (const char* env = std::getenv("XDG_DESKTOP_DIR"); env != nullptr && *env != '\0') return env;
  const std::string home = HomeFolder();
  std::string fromFile = XdgDesktopFromUserDirs(home);
  if (!fromFile.empty()) return fromFile;
  if (home.empty()) return {};
  return home + "/Desktop";
}

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  std::string path(buffer.data(), static_cast<size_t>(length));
  return FolderOf(path);
}

int64_t FileSize(const std::string& path) {
  if (path.empty()) return -1;
  // Without blocking: opening a FIFO for reading would wait for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  int rc = ::fstat(fd, &st);
  ::close(fd);
  if (rc != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (a.empty() || b.empty()) return false;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool IsExecutable(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), X_OK) == 0;
}

SourceCheck CheckReadableFile(const std::string& path) {
  auto failed = [](int error) {
    SourceState state = SourceState::kUnreadable;
    if (error == ENOENT || error == ENOTDIR || error == ELOOP) state = SourceState::kMissing;
    if (error == EACCES || error == EPERM) state = SourceState::kDenied;
    if (error == EISDIR) state = SourceState::kFolder;
    return SourceCheck{state, std::strerror(error)};
  };
  if (path.empty()) return failed(ENOENT);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return failed(errno);
  if (S_ISDIR(st.st_mode)) return failed(EISDIR);
  if (!S_ISREG(st.st_mode)) {
    return {SourceState::kNotRegular, S_ISFIFO(st.st_mode) ? "a FIFO" : "not a regular file"};
  }
  // Opening proves the permission; O_NONBLOCK keeps a file that turned into a FIFO
  // since the stat from blocking.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return failed(errno);
  ::close(fd);
  return {SourceState::kReadable, {}};
}

bool RemoveFile(const std::string& path) {
  return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool RenameReplace(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

bool CopyStream(std::FILE* in, std::FILE* out) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    if (got > 0 && std::fwrite(buffer.data(), 1, got, out) != got) return false;
    if (got < buffer.size()) return std::ferror(in) == 0;
  }
}

}  // namespace

bool CopyFileReplace(const std::string& from, const std::string& to) {
  UniqueFile in = OpenFile(from, "rb");
  if (!in) return false;
  UniqueFile out = OpenFile(to, "wb");
  if (!out) return false;
  if (!CopyStream(in.get(), out.get())) return false;
  return std::fclose(out.release()) == 0;
}

CopyOutcome CopyFileReporting(const std::string& from, const std::string& to) {
  UniqueFile in = OpenFile(from, "rb");
  if (!in) return {CopyResult::kReadFailed, std::strerror(errno)};
  auto writeFailed = [](int error) {
    // A file-size limit (EFBIG) stops the copy as a full disk would.
    const bool full = error == ENOSPC || error == EDQUOT || error == EFBIG;
    return CopyOutcome{full ? CopyResult::kNoSpace : CopyResult::kWriteFailed,
                       std::strerror(error)};
  };
  UniqueFile out = OpenFile(to, "wb");
  if (!out) return writeFailed(errno);
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    errno = 0;
    if (got > 0 && std::fwrite(buffer.data(), 1, got, out.get()) != got) {
      return writeFailed(errno != 0 ? errno : EIO);
    }
    if (got < buffer.size()) {
      if (std::ferror(in.get()) != 0) return {CopyResult::kReadFailed, std::strerror(EIO)};
      break;
    }
  }
  errno = 0;
  if (std::fclose(out.release()) != 0) return writeFailed(errno != 0 ? errno : EIO);
  return {};
}

CreateResult CreateExclusive(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    return CreateResult::kCreated;
  }
  return errno == EEXIST ? CreateResult::kExists : CreateResult::kFailed;
}

bool RandomBytes(void* buffer, size_t length) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    ssize_t got = ::getrandom(out, length, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}

namespace {

LocalTime FromTm(const std::tm& tm, int millisecond) {
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                   tm.tm_min,         tm.tm_sec,     millisecond};
}

}  // namespace

LocalTime NowLocal() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm {};
  time_t seconds = ts.tv_sec;
  ::localtime_r(&seconds, &tm);
  return FromTm(tm, static_cast<int>(ts.tv_nsec / 1000000));
}

LocalTime ToLocalTime(int64_t secondsSinceEpoch) {
  std::tm tm {};
  time_t seconds = static_cast<time_t>(secondsSinceEpoch);
  ::localtime_r(&seconds, &tm);
  return FromTm(tm, 0);
}

int64_t SecondsSinceEpoch() { return static_cast<int64_t>(::time(nullptr)); }

double MonotonicMilliseconds() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int64_t PeakResidentBytes() {
  struct rusage usage {};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return -1;
  return static_cast<int64_t>(usage.ru_maxrss) * 1024;  // Linux counts kilobytes
}

std::optional<std::string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool IsTerminal(std::FILE* stream) { return stream != nullptr && ::isatty(::fileno(stream)) == 1; }

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind(kSeparator);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}


bool AtomicFile::Open(const std::string& destination, const std::string& modeSource) {
  Discard();
  destination_ = destination;
  failed_ = false;
  std::string folder = FolderOf(destination);
  std::string base = destination.substr(folder.size());
  // The longest name the folder's file system takes; the sibling's name is cut to it.
  long nameMax = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = 255;
  // A hidden sibling in the same folder, so that the final rename stays on one
  // file system and is atomic.
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint32_t random = 0;
    if (!RandomBytes(&random, sizeof random)) random = static_cast<uint32_t>(::getpid() + attempt);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", random);
    std::string candidate =
        folder + SiblingName(base, std::string(suffix) + ".part", static_cast<size_t>(nameMax));
    // The permissions a new file gets under the user's umask.
    int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    // A file that is replaced keeps its permissions: a private temporary picture stays
    // private, and a document the user made read-only for others stays so. A new file
    // takes no more than its source allows.
    struct stat existing;
    struct stat created;
    struct stat model;
    if (::stat(destination.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
      ::fchmod(fd, existing.st_mode & 0777);
    } else if (!modeSource.empty() && ::stat(modeSource.c_str(), &model) == 0 &&
               ::fstat(fd, &created) == 0) {
      ::fchmod(fd, created.st_mode & model.st_mode & 0777);
    }
    std::FILE* stream = ::fdopen(fd, "wb");
    if (stream == nullptr) {
      ::close(fd);
      ::unlink(candidate.c_str());
      return false;
    }
    file_.reset(stream);
    temporaryPath_ = candidate;
    return true;
  }
  return false;
}


bool AtomicFile::Commit() {
  if (!file_ || failed_) {
    Discard();
    return false;
  }
  std::FILE* stream = file_.release();
  bool ok = std::fflush(stream) == 0 && ::fsync(::fileno(stream)) == 0;
  ok = (std::fclose(stream) == 0) && ok;
  if (ok) ok = ::rename(temporaryPath_.c_str(), destination_.c_str()) == 0;
  if (!ok) ::unlink(temporaryPath_.c_str());
  temporaryPath_.clear();
  return ok;
}



}  // namespace platform
