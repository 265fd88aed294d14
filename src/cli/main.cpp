#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return velmora::cli::RunGuarded(arguments, stdout, stderr);
}
