// Child processes on Windows: the tool's command line goes into a one-line script file
// in the ANSI code page, which runs hidden with its output redirected into a pipe that
// is drained and discarded; when no script can be written, the tool is launched through
// the shell instead.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/process.h"
#include "platform/windows/windows_text.h"

namespace platform {

using windows::Utf8;
using windows::Wide;

namespace {

// Owner of a kernel handle.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  HANDLE Get() const { return handle_; }
  HANDLE* Out() { return &handle_; }
  void Reset(HANDLE handle = nullptr) {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_;
};

bool IsWow64() {
  using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  auto function = reinterpret_cast<IsWow64Function>(
      reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "IsWow64Process") : nullptr));
  BOOL wow64 = FALSE;
  if (function == nullptr || !function(GetCurrentProcess(), &wow64)) return false;
  return wow64 != FALSE;
}

std::wstring ScriptPath() {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring path = std::wstring(buffer, length) + L"\\temp.cmd";
  for (size_t at = path.find(L"\\\\"); at != std::wstring::npos; at = path.find(L"\\\\", at)) {
    path.erase(at, 1);
  }
  return path;
}

std::wstring Parameters(const std::vector<std::string>& arguments) {
  std::wstring text;
  for (const std::string& argument : arguments) {
    if (!text.empty()) text += L' ';
    // Options stay bare; paths are quoted as the tools' command lines are written.
    if (!argument.empty() && argument[0] == '-') {
      text += Wide(argument);
    } else {
      text += L'"' + Wide(argument) + L'"';
    }
  }
  return text;
}

// Runs a program (a script file here) hidden, at below-normal priority, with its output
// in a pipe that is read until the program has ended.
RunResult RunRedirected(const std::wstring& program, const std::atomic<bool>& stop, int poll,
                        double timeLimit) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  UniqueHandle readEnd, writeEnd;
  if (!CreatePipe(readEnd.Out(), writeEnd.Out(), &inherit, 0)) return RunResult::kNotStarted;
  SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = writeEnd.Get();
  startup.hStdError = writeEnd.Get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, TRUE, BELOW_NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &startup, &process)) {
    return RunResult::kNotStarted;
  }
  UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
  const double deadline = timeLimit > 0 ? MonotonicMilliseconds() + timeLimit : 0;
  RunResult result = RunResult::kFinished;
  std::vector<char> buffer(32768);
  for (;;) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &waiting, nullptr)) break;
    if (waiting > 0) {
      DWORD got = 0;
      if (!ReadFile(readEnd.Get(), buffer.data(), static_cast<DWORD>(buffer.size() - 1), &got, nullptr)) break;
      continue;
    }
    if (WaitForSingleObject(processHandle.Get(), 0) == WAIT_OBJECT_0) break;
    if (stop.load() || StopRequested()) result = RunResult::kStopped;
    if (deadline > 0 && MonotonicMilliseconds() >= deadline) result = RunResult::kTimedOut;
    if (result != RunResult::kFinished) {
      TerminateProcess(processHandle.Get(), 0);
      WaitForSingleObject(processHandle.Get(), INFINITE);
      break;
    }
    Sleep(static_cast<DWORD>(poll));
  }
  return result;
}

bool LaunchAndWait(const std::wstring& program, const std::wstring& parameters) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWDEFAULT;
  if (!ShellExecuteExW(&info) || info.hProcess == nullptr) return false;
  WaitForSingleObject(info.hProcess, INFINITE);
  CloseHandle(info.hProcess);
  return true;
}

}  // namespace

bool IsExecutableImage(const std::string& path) {
  UniqueFile file = OpenFile(path, "rb");
  if (!file) return false;
  char magic[2] = {};
  return std::fread(magic, 1, 2, file.get()) == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

std::string ZopflipngRelativePath() { return "tools\\zopflipng\\zopflipng.exe"; }

std::string GifsicleRelativePath() {
  return IsWow64() ? "tools\\giflossy\\gifsicle64.exe" : "giflossy\\gifsicle.exe";
}

std::string ExecutableName(const std::string& name) { return name + ".exe"; }

std::vector<std::string> PathCandidates(const std::string& name) {
  std::vector<std::string> candidates;
  DWORD length = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (length == 0) return candidates;
  std::wstring list(length, L'\0');
  list.resize(GetEnvironmentVariableW(L"PATH", list.data(), length));
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(L';', start);
    if (end == std::wstring::npos) end = list.size();
    if (end > start) candidates.push_back(Utf8(list.substr(start, end - start)) + "\\" + name);
    start = end + 1;
  }
  return candidates;
}

RunResult RunAndDrain(const std::string& program, const std::vector<std::string>& arguments,
                      const std::atomic<bool>& stop, int pollMilliseconds,
                      double timeLimitMilliseconds) {
  const std::wstring script = ScriptPath();
  const std::wstring line = L"\"" + Wide(program) + L"\" " + Parameters(arguments) + L"\r\n";
  RunResult result = RunResult::kNotStarted;
  HANDLE file = CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    // The command interpreter reads the script in the thread's ANSI code page.
    int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, line.data(), static_cast<int>(line.size()),
                                    nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, line.data(), static_cast<int>(line.size()), ansi.data(),
                        bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, ansi.data(), static_cast<DWORD>(ansi.size()), &written, nullptr);
    CloseHandle(file);
    result = RunRedirected(script, stop, pollMilliseconds, timeLimitMilliseconds);
  } else if (LaunchAndWait(Wide(program), Parameters(arguments))) {
    result = RunResult::kFinished;
  }
  DeleteFileW(script.c_str());
  return result;
}

}  // namespace platform
