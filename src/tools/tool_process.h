#pragma once
// One run of an external tool: started with its console output drained into a buffer
// that is thrown away, and waited for without a time limit. Stop, called from another
// thread, ends a running child.

#include <atomic>
#include <string>
#include <vector>

namespace velmora {

class ToolProcess {
 public:
  ToolProcess(std::string program, std::vector<std::string> arguments);
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  // Runs the program to its end (or until Stop); false when it could not be started.
  // The tool's exit status is not looked at: its output files are judged instead.
  bool Run();
  void Stop();

 private:
  std::atomic<bool> stopRequested_{false};
  int pollMilliseconds_ = 100;
  std::string program_;
  std::vector<std::string> arguments_;
};

}  // namespace velmora
