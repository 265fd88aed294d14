#pragma once
// The child-process runner: starts a tool with its console output drained into a
// buffer that is thrown away, and waits for it without a time limit. Stop, called
// from another thread, ends a running child.

#include <atomic>
#include <string>
#include <vector>

namespace velmora {

class CRedirect {
 public:
  CRedirect(std::string program, std::vector<std::string> arguments);
  virtual ~CRedirect() = default;
  CRedirect(const CRedirect&) = delete;
  CRedirect& operator=(const CRedirect&) = delete;

  // Runs the program to its end (or until Stop); false when it could not be started.
  // The tool's exit status is not looked at: its output files are judged instead.
  virtual bool Run();
  virtual void Stop();

 private:
  std::atomic<bool> stopRequested_{false};
  unsigned pollInterval_ = 100;  // milliseconds
  std::string program_;
  std::vector<std::string> arguments_;
};

}  // namespace velmora
