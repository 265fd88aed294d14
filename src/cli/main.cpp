#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  // Ctrl-C, kill and a closed terminal stop the job cleanly: its tools are ended, its
  // files removed, and the status says which signal it was.
  platform::InstallStopSignals();
  return velmora::cli::RunGuarded(arguments, stdout, stderr);
}
