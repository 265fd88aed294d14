// The platform layer on Windows. Paths arrive as UTF-8 and are handed to the wide
// (UTF-16) functions of the system.

#include <windows.h>
#include <bcrypt.h>
#include <io.h>
#include <shlobj.h>

#include <chrono>
#include <ctime>
#include <vector>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace platform {

namespace windows {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
  return out;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), length,
                      nullptr, nullptr);
  return out;
}

}  // namespace windows

using windows::Utf8;
using windows::Wide;

void FileCloser::operator()(std::FILE* file) const noexcept {
  if (file != nullptr) std::fclose(file);
}

UniqueFile OpenFile(const std::string& path, const char* mode) {
  if (path.empty()) return nullptr;
  return UniqueFile(_wfopen(Wide(path).c_str(), Wide(mode).c_str()));
}

std::string TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  return length == 0 ? std::string(".") : Utf8(std::wstring(buffer, length));
}

std::string DesktopFolder() {
  wchar_t buffer[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_DESKTOPDIRECTORY, FALSE)) return {};
  return Utf8(buffer);
}

std::string ProgramFolder() {
  std::vector<wchar_t> buffer(1040);
  DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  return FolderOf(Utf8(std::wstring(buffer.data(), length)));
}

namespace {

bool Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return !path.empty() &&
         GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

}  // namespace

int64_t FileSize(const std::string& path) {
  if (path.empty()) return -1;
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER size{};
  BOOL ok = GetFileSizeEx(file, &size);
  CloseHandle(file);
  return ok ? static_cast<int64_t>(size.QuadPart) : -1;
}

bool IsRegularFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return Attributes(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsDirectory(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return Attributes(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return Attributes(path, data);
}

bool SameFile(const std::string& a, const std::string& b) {
  auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE file = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return ok != 0;
  };
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (a.empty() || b.empty() || !identity(a, ia) || !identity(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool IsExecutable(const std::string& path) { return IsRegularFile(path); }

SourceCheck CheckReadableFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!Attributes(path, data)) {
    const DWORD error = GetLastError();
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return {missing ? SourceState::kMissing : SourceState::kUnreadable, "cannot be found"};
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {SourceState::kFolder, "is a folder"};
  }
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const bool denied = GetLastError() == ERROR_ACCESS_DENIED;
    return {denied ? SourceState::kDenied : SourceState::kUnreadable, "cannot be opened"};
  }
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  if (type != FILE_TYPE_DISK) return {SourceState::kNotRegular, "not a regular file"};
  return {SourceState::kReadable, {}};
}

bool RemoveFile(const std::string& path) {
  return !path.empty() && DeleteFileW(Wide(path).c_str()) != 0;
}

bool RenameReplace(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool CopyFileReplace(const std::string& from, const std::string& to) {
  return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != 0;
}

CopyOutcome CopyFileReporting(const std::string& from, const std::string& to) {
  if (CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != 0) return {};
  const DWORD error = GetLastError();
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
    return {CopyResult::kNoSpace, "the disk is full"};
  }
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_SHARING_VIOLATION) {
    return {CopyResult::kReadFailed, "cannot be read"};
  }
  return {CopyResult::kWriteFailed, "cannot be written"};
}

CreateResult CreateExclusive(const std::string& path) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return CreateResult::kCreated;
  }
  DWORD error = GetLastError();
  return (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) ? CreateResult::kExists
                                                                        : CreateResult::kFailed;
}

bool RandomBytes(void* buffer, size_t length) {
  return BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(length),
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

LocalTime NowLocal() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

LocalTime ToLocalTime(int64_t secondsSinceEpoch) {
  std::tm tm{};
  time_t seconds = static_cast<time_t>(secondsSinceEpoch);
  localtime_s(&tm, &seconds);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
}

int64_t SecondsSinceEpoch() { return static_cast<int64_t>(std::time(nullptr)); }

double MonotonicMilliseconds() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::optional<std::string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool IsTerminal(std::FILE* stream) { return stream != nullptr && _isatty(_fileno(stream)) != 0; }

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}


bool AtomicFile::Open(const std::string& destination, const std::string& modeSource) {
  // Files here have no permission bits to carry over.
  (void)modeSource;
  Discard();
  destination_ = destination;
  failed_ = false;
  const std::string folder = FolderOf(destination);
  const std::string base = destination.substr(folder.size());
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint32_t random = 0;
    if (!RandomBytes(&random, sizeof random)) random = GetTickCount() + static_cast<uint32_t>(attempt);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random));
    std::string name = SiblingName(base, std::string(suffix) + ".part", MAX_PATH - 5);
    name[0] = '~';
    std::string candidate = folder + name;
    HANDLE handle = CreateFileW(Wide(candidate).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    CloseHandle(handle);
    file_ = OpenFile(candidate, "wb");
    if (!file_) {
      DeleteFileW(Wide(candidate).c_str());
      return false;
    }
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
  bool ok = std::fflush(stream) == 0 && _commit(_fileno(stream)) == 0;
  ok = (std::fclose(stream) == 0) && ok;
  if (ok) ok = RenameReplace(temporaryPath_, destination_);
  if (!ok) DeleteFileW(Wide(temporaryPath_).c_str());
  temporaryPath_.clear();
  return ok;
}



}  // namespace platform
