#pragma once
// One run of an external tool: started with its console output drained into a buffer
// that is thrown away, and waited for until it ends or its time limit is spent. Stop,
// called from another thread, ends a running child, as does the process's stop request.

#include <atomic>
#include <string>
#include <vector>

#include "platform/process.h"

namespace velmora {

class ToolProcess {
 public:
  // timeLimitSeconds <= 0: no time limit.
  ToolProcess(std::string program, std::vector<std::string> arguments,
              double timeLimitSeconds = 0);
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  // Runs the program to its end (or until Stop or its time limit). The tool's exit
  // status is not looked at: its output files are judged instead.
  platform::RunResult Run();
  void Stop();

 private:
  std::atomic<bool> stopRequested_{false};
  int pollMilliseconds_ = 100;
  double timeLimitSeconds_ = 0;
  std::string program_;
  std::vector<std::string> arguments_;
};

}  // namespace velmora
