#pragma once
// The command-line host of the job driver.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/options.h"

namespace velmora::cli {

// A run stopped by SIGINT, SIGTERM or SIGHUP ends with 128 + the signal's number (130,
// 143, 129), as shells report a program the signal ended.
enum ExitStatus : int { kExitSuccess = 0, kExitJobFailed = 1, kExitUsage = 2 };

// The bounds of the budget options.
inline constexpr unsigned kMaxToolSecondsPerMegapixel = 3600;
inline constexpr unsigned kMinMemoryBudgetMiB = 16;
inline constexpr unsigned kMaxMemoryBudgetMiB = 1u << 20;

struct CommandLine {
  ShrinkOptions options;
  std::vector<std::string> sources;
  std::optional<std::string> target;
  std::optional<std::string> outputFolder;  // -O: the targets go there
  bool recursive = false;                   // folders: their sub-folders too
  bool force = false;                       // replace targets that exist
  std::optional<std::string> report;        // the JSON report's file, "-" for stdout
  bool quiet = false;  // no progress line and no summaries; failures are still shown
  bool help = false;
  bool version = false;
};

struct ParseResult {
  std::optional<CommandLine> commandLine;  // empty on a usage error
  std::string error;                       // one-line description of the usage error
};

// GNU-style parsing: options and sources in any order, "--" ends the options.
ParseResult ParseCommandLine(const std::vector<std::string>& arguments);

// Runs the whole program on the arguments (without the program name); the summary
// and results go to out, failures and progress to err.
int Run(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);
// The same, with any exception that escapes turned into a failure message (exit 1).
int RunGuarded(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) noexcept;

}  // namespace velmora::cli
