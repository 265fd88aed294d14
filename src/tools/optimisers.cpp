#include "tools/optimisers.h"

#include "core/options.h"
#include "image/png_probe.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "tools/redirect.h"

namespace velmora {

namespace {

std::vector<std::string> Candidates(const char* name) {
  return platform::PathCandidates(platform::ExecutableName(name));
}

}  // namespace

std::string FindTool(const std::string& programFolder, const std::string& relative,
                     const std::vector<std::string>& pathCandidates) {
  const std::string own = programFolder + relative;
  if (IsExecutableFile(own)) return own;
  for (const std::string& candidate : pathCandidates) {
    if (IsExecutableFile(candidate)) return candidate;
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

bool IsExecutableFile(const std::string& path) {
  return platform::IsRegularFile(path) && GetFileSize32(path) >= 512 &&
         platform::IsExecutableImage(path);
}

std::vector<std::string> ZopflipngArguments(const std::string& input, const std::string& output) {
  return {"--keepchunks=cHRM,gAMA,iCCP,sBIT,sRGB,bKGD,hIST,pHYs,tIME,iTXt,tEXt,zTXt", input, output};
}

std::vector<std::string> GifsicleArguments(const std::string& input, const std::string& output) {
  return {"-O3", "-o", output, input};
}

void OptimisePng(const std::string& pngPath, CTempFiles& temp) {
  const std::string out = temp.NewName("png", false);
  temp.Register(out);
  // The tool asks before overwriting a file, and nobody answers: the reserved empty
  // file must go first.
  platform::RemoveFile(out);
  CRedirect runner(ZopflipngPath(), ZopflipngArguments(pngPath, out));
  runner.Run();
  // Only a complete picture that shows exactly what was written replaces it; a rename
  // keeps the PNG whole whatever happens.
  if (IsLosslessPngReplacement(pngPath, out)) platform::RenameReplace(out, pngPath);
}

void OptimiseGif(const std::string& tool, const std::string& input, const std::string& output) {
  CRedirect runner(tool, GifsicleArguments(input, output));
  runner.Run();
}

}  // namespace velmora
