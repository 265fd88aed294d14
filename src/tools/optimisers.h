#pragma once
// The external optimisers: zopflipng for written PNG files and gifsicle for animated
// GIF pictures, run as child processes.

#include <string>

#include "core/temp_files.h"

namespace velmora {

// Paths of the tools, computed once per process; empty when no tool was found.
std::string ZopflipngPath();
std::string GifsiclePath();

// A tool is usable when it is a regular executable file of at least 512 bytes in
// this system's executable format.
bool IsExecutableFile(const std::string& path);

// Recompresses a written PNG in place when the tool's output is a valid PNG.
void OptimisePng(const std::string& pngPath, CTempFiles& temp);
// Runs the GIF optimiser from input to output; the caller judges the output.
void OptimiseGif(const std::string& tool, const std::string& input, const std::string& output);

}  // namespace velmora
