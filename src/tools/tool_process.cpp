#include "tools/tool_process.h"

#include "platform/process.h"

namespace velmora {

ToolProcess::ToolProcess(std::string program, std::vector<std::string> arguments,
                         double timeLimitSeconds)
    : timeLimitSeconds_(timeLimitSeconds),
      program_(std::move(program)),
      arguments_(std::move(arguments)) {}

platform::RunResult ToolProcess::Run() {
  return platform::RunAndDrain(program_, arguments_, stopRequested_, pollMilliseconds_,
                               timeLimitSeconds_ * 1000.0);
}

void ToolProcess::Stop() { stopRequested_.store(true); }

}  // namespace velmora
