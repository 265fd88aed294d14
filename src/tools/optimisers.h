#pragma once
// The external optimisers: zopflipng for written PNG files and gifsicle for animated
// GIF pictures, run as child processes.

#include <string>
#include <vector>

#include "platform/process.h"


namespace velmora {

// Where the tools are looked for, in order: the program folder's own copy, then the
// directories of PATH. Computed once per process.
std::string ZopflipngPath();
std::string GifsiclePath();

// The first usable candidate, or the program folder's candidate (unusable) when none
// is: programFolder + relative, then every PATH directory joined with name.
std::string FindTool(const std::string& programFolder, const std::string& relative,
                     const std::vector<std::string>& pathCandidates);

// A tool is usable when it is a regular file of at least 512 bytes in this system's
// executable format that we may execute.
bool IsUsableTool(const std::string& path);

// Run the tools from input to output, each for at most timeLimitSeconds (<= 0: no
// limit). The caller judges the output: a tool's word counts for nothing, and the
// output of a tool that was ended is never used.
platform::RunResult RunZopflipng(const std::string& input, const std::string& output,
                                 double timeLimitSeconds);
platform::RunResult RunGifsicle(const std::string& tool, const std::string& input,
                                const std::string& output, double timeLimitSeconds);

// The arguments of the two tools after the program name.
std::vector<std::string> ZopflipngArguments(const std::string& input, const std::string& output);
std::vector<std::string> GifsicleArguments(const std::string& input, const std::string& output);

}  // namespace velmora
