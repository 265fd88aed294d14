#include "tools/redirect.h"

#include "platform/process.h"

namespace velmora {

CRedirect::CRedirect(std::string program, std::vector<std::string> arguments)
    : program_(std::move(program)), arguments_(std::move(arguments)) {}

bool CRedirect::Run() {
  return platform::RunAndDrain(program_, arguments_, stopRequested_, static_cast<int>(pollInterval_));
}

void CRedirect::Stop() { stopRequested_.store(true); }

}  // namespace velmora
