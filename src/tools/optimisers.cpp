#include "tools/optimisers.h"

#include "core/options.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "tools/tool_process.h"

namespace velmora {

namespace {

std::vector<std::string> Candidates(const char* name) {
  return platform::PathCandidates(platform::ExecutableName(name));
}

}  // namespace

std::string FindTool(const std::string& programFolder, const std::string& relative,
                     const std::vector<std::string>& pathCandidates) {
  const std::string own = programFolder + relative;
  if (IsUsableTool(own)) return own;
  for (const std::string& candidate : pathCandidates) {
    if (IsUsableTool(candidate)) return candidate;
  }
  return own;
}

std::string ZopflipngPath() {
  static const std::string path =
      FindTool(platform::ProgramFolder(), platform::ZopflipngRelativePath(), Candidates("zopflipng"));
  return path;
}

std::string GifsiclePath() {
  static const std::string path =
      FindTool(platform::ProgramFolder(), platform::GifsicleRelativePath(), Candidates("gifsicle"));
  return path;
}

bool IsUsableTool(const std::string& path) {
  return platform::IsRegularFile(path) && GetFileSize32(path) >= 512 &&
         platform::IsExecutableImage(path);
}

std::vector<std::string> ZopflipngArguments(const std::string& input, const std::string& output) {
  return {"--keepchunks=cHRM,gAMA,iCCP,sBIT,sRGB,bKGD,hIST,pHYs,tIME,iTXt,tEXt,zTXt", input, output};
}

std::vector<std::string> GifsicleArguments(const std::string& input, const std::string& output) {
  return {"-O3", "-o", output, input};
}

platform::RunResult RunZopflipng(const std::string& input, const std::string& output,
                                 double timeLimitSeconds) {
  ToolProcess tool(ZopflipngPath(), ZopflipngArguments(input, output), timeLimitSeconds);
  return tool.Run();
}

platform::RunResult RunGifsicle(const std::string& tool, const std::string& input,
                                const std::string& output, double timeLimitSeconds) {
  ToolProcess process(tool, GifsicleArguments(input, output), timeLimitSeconds);
  return process.Run();
}

}  // namespace velmora
