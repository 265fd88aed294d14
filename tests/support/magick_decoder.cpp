#include "support/magick_decoder.h"

#include <sstream>

#include "support/test_support.h"

namespace velmora::testing {

namespace {

// Reads "width height left top screenWidth screenHeight" lines, one per frame.
struct Geometry {
  int width = 0, height = 0, left = 0, top = 0, screenWidth = 0, screenHeight = 0;
};

std::optional<std::vector<Geometry>> Identify(const std::string& path) {
  CommandResult result = RunCommand("identify -format '%w %h %X %Y %W %H\\n' " + ShellQuote(path) +
                                    " 2>/dev/null");
  if (result.status != 0) return std::nullopt;
  std::vector<Geometry> frames;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    Geometry g;
    if (fields >> g.width >> g.height >> g.left >> g.top >> g.screenWidth >> g.screenHeight) {
      frames.push_back(g);
    }
  }
  if (frames.empty()) return std::nullopt;
  return frames;
}

}  // namespace

std::optional<DecodedPicture> DecodeWithMagick(const std::string& path) {
  auto geometry = Identify(path);
  if (!geometry) return std::nullopt;
  TempDir dir;
  const std::string raw = dir.File("pixels.rgba");
  CommandResult result = RunCommand("convert " + ShellQuote(path + "[0]") + " -depth 8 rgba:" +
                                    ShellQuote(raw) + " 2>/dev/null");
  if (result.status != 0) return std::nullopt;
  DecodedPicture picture;
  picture.width = (*geometry)[0].width;
  picture.height = (*geometry)[0].height;
  picture.frames = static_cast<int>(geometry->size());
  picture.rgba = ReadFile(raw);
  if (picture.rgba.size() != static_cast<size_t>(picture.width) * picture.height * 4) {
    return std::nullopt;
  }
  return picture;
}

std::optional<GifFrames> GifFramesWithMagick(const std::string& path) {
  auto geometry = Identify(path);
  if (!geometry) return std::nullopt;
  TempDir dir;
  CommandResult result = RunCommand("convert " + ShellQuote(path) + " -depth 8 +adjoin rgba:" +
                                    ShellQuote(dir.File("frame-%d.rgba")) + " 2>/dev/null");
  if (result.status != 0) return std::nullopt;
  GifFrames out;
  out.screenWidth = (*geometry)[0].screenWidth;
  out.screenHeight = (*geometry)[0].screenHeight;
  for (size_t i = 0; i < geometry->size(); ++i) {
    const Geometry& g = (*geometry)[i];
    GifFrame frame;
    frame.left = g.left;
    frame.top = g.top;
    frame.picture.width = g.width;
    frame.picture.height = g.height;
    frame.picture.rgba = ReadFile(dir.File("frame-" + std::to_string(i) + ".rgba"));
    if (frame.picture.rgba.size() != static_cast<size_t>(g.width) * g.height * 4) {
      return std::nullopt;
    }
    out.frames.push_back(std::move(frame));
  }
  return out;
}

}  // namespace velmora::testing
