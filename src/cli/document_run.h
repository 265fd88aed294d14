#pragma once
// Running the documents of a command line: the plan made from its sources, every job
// on one shared pool with its messages on one console, and the report at the end.

#include <cstdio>

#include "cli/command_line.h"

namespace velmora::cli {

// Plans and runs the documents; the summaries and results go to out (to err when the
// report takes standard output), failures and progress to err. Returns the exit status.
int RunDocuments(const CommandLine& line, std::FILE* out, std::FILE* err);

}  // namespace velmora::cli
