#include "tools/tool_process.h"

#include "platform/process.h"

namespace velmora {

ToolProcess::ToolProcess(std::string program, std::vector<std::string> arguments)
    : program_(std::move(program)), arguments_(std::move(arguments)) {}

bool ToolProcess::Run() {
  return platform::RunAndDrain(program_, arguments_, stopRequested_, pollMilliseconds_);
}

void ToolProcess::Stop() { stopRequested_.store(true); }

}  // namespace velmora
