#pragma once
// The operating-system layer. Everything the program needs from the OS beyond
// standard C++ and the C library's FILE streams goes through these functions, so
// that a port touches only this folder. Paths are UTF-8 byte strings.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Owner of a C stream; closes it on every path out of the scope.
struct FileCloser {
  void operator()(std::FILE* file) const noexcept;
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file with an fopen-style mode ("rb", "wb", "r+b", ...); null on failure.
UniqueFile OpenFile(const std::string& path, const char* mode);

// Folder separator of this system.
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// The system's folder for temporary files (TMPDIR, else /tmp), as configured.
std::string TempFolder();
// The user's desktop folder (XDG_DESKTOP_DIR from user-dirs.dirs, else ~/Desktop);
// empty when no home folder is known.
std::string DesktopFolder();
// Folder of the running executable, ending with a separator; empty when unknown.
std::string ProgramFolder();

// Size in bytes of a regular file that can be opened for reading, or -1.
int64_t FileSize(const std::string& path);
bool IsRegularFile(const std::string& path);
bool IsDirectory(const std::string& path);
bool PathExists(const std::string& path);
// True when both paths exist and name the same file (links and other spellings included).
bool SameFile(const std::string& a, const std::string& b);
// True when the file exists and this process may execute it.
bool IsExecutable(const std::string& path);

// What stands at a path that is to be read as a document. Only a regular file (or a
// link to one) is read: a FIFO or a device would block or never end.
enum class SourceState { kReadable, kMissing, kDenied, kFolder, kNotRegular, kUnreadable };
struct SourceCheck {
  SourceState state = SourceState::kUnreadable;
  std::string reason;  // the system's own words, for the log; empty when readable
};
// Looks at the path without blocking: a FIFO is never opened.
SourceCheck CheckReadableFile(const std::string& path);

bool RemoveFile(const std::string& path);
// Renames, replacing an existing file of the new name in one step.
bool RenameReplace(const std::string& from, const std::string& to);
// Copies a file's bytes, replacing the destination. Not atomic: used for files that
// nobody else reads (temporary files).
bool CopyFileReplace(const std::string& from, const std::string& to);

// The same, telling which side failed: the destination's file system full (or over
// its quota) is told apart from other write failures.
enum class CopyResult { kCopied, kReadFailed, kWriteFailed, kNoSpace };
struct CopyOutcome {
  CopyResult result = CopyResult::kCopied;
  std::string reason;  // the system's own words when something failed
};
CopyOutcome CopyFileReporting(const std::string& from, const std::string& to);

enum class CreateResult { kCreated, kExists, kFailed };
// Creates an empty file that must not exist yet; reserves a name across processes.
CreateResult CreateExclusive(const std::string& path);

// Fills the buffer from the system's random source; false when that is unavailable.
bool RandomBytes(void* buffer, size_t length);

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};
LocalTime NowLocal();
// Breaks seconds since the epoch into local time (milliseconds 0).
LocalTime ToLocalTime(int64_t secondsSinceEpoch);
int64_t SecondsSinceEpoch();
// A monotonic clock in milliseconds for measuring elapsed time.
double MonotonicMilliseconds();

// The largest resident memory this process has used so far, in bytes; -1 when unknown.
int64_t PeakResidentBytes();

// A stop request for the whole process, set by the handlers of InstallStopSignals or by
// RequestStop; long work (child tools, document loops) polls it and ends early,
// removing what it wrote. It is the one piece of process-wide state: a signal handler
// can reach nothing else.
//
// InstallStopSignals handles SIGINT, SIGTERM and SIGHUP (where the system has them):
// the first sets the request, a second one ends the process at once with the
// system's default action. A signal that was ignored when the program started stays
// ignored.
void InstallStopSignals();
void RequestStop();
bool StopRequested();
// The signal that asked for the stop; 0 when none did (also after RequestStop).
int StopSignal();
// Forgets a request; for a host that goes on after a stopped job (and for tests).
void ClearStopRequest();

// The value of an environment variable, nothing when it is not set.
std::optional<std::string> Environment(const char* name);

// True when the stream is attached to a terminal.
bool IsTerminal(std::FILE* stream);

// A whole file's bytes; nothing when it cannot be read or holds more than maxBytes.
std::optional<std::string> ReadFileBytes(const std::string& path,
                                         uint64_t maxBytes = UINT64_MAX);
// Creates or truncates the file and writes the bytes; false when any step fails.
bool WriteFileBytes(const std::string& path, std::string_view bytes);

// Folder part of a path including its last separator ("" when there is none).
std::string FolderOf(const std::string& path);

// Writes a new file beside its destination and moves it into place only on Commit,
// so that readers never see a half-written file and a failed write leaves an
// existing destination untouched. The destructor discards an uncommitted file.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the hidden sibling file. False when the destination folder is not writable.
  // The sibling's name keeps within the file system's limit on name length however
  // long the destination's name is. A destination that exists keeps its permission
  // bits; a new one gets those of modeSource (when given) as far as the user's
  // default for new files allows, so that a private source never becomes a target
  // that others may read.
  bool Open(const std::string& destination, const std::string& modeSource = {});
  bool Write(const void* data, size_t length);
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
  // Flushes to disk, closes and renames over the destination.
  bool Commit();
  // Removes the sibling file (also done by the destructor when not committed).
  void Discard();
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& TemporaryPath() const { return temporaryPath_; }

 private:
  UniqueFile file_;
  std::string destination_;
  std::string temporaryPath_;
  bool failed_ = false;
};

// Copies a file onto a destination through an AtomicFile; modeSource as for Open.
bool CopyFileAtomically(const std::string& from, const std::string& to,
                        const std::string& modeSource = {});

// The hidden sibling's name for a destination's file name: "." + base + suffix,
// with base cut (never inside a UTF-8 sequence) so that the whole is at most
// maxBytes long.
std::string SiblingName(const std::string& base, const std::string& suffix, size_t maxBytes);

}  // namespace platform
