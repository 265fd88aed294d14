// What the external PNG optimiser still adds to the project's own PNG writer: every
// picture given (BMP, GIF, PNG) is written as the PNG output step writes it without
// the optimiser, then zopflipng recompresses that file. One line per picture (pixels,
// bytes before and after the tool, the tool's share saved, both times), so that the
// rule for when the tool runs can be read off real pictures.
//
//   velmora-bench-png-optimiser PICTURE...

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "core/temp_files.h"
#include "picture/picture_kind.h"
#include "picture/png_output.h"
#include "picture/replacement_checks.h"
#include "platform/platform.h"
#include "tools/optimisers.h"

int main(int argc, char** argv) {
  using namespace velmora;
  if (!IsUsableTool(ZopflipngPath())) {
    std::fprintf(stderr, "zopflipng not found\n");
    return 1;
  }
  const std::string work = platform::TempFolder() + "/velmora-bench-png-optimiser";
  std::filesystem::create_directories(work);
  TempFiles temp(true, work);
  std::printf("%-60s %10s %10s %10s %7s %9s %9s\n", "picture", "pixels", "own", "tool", "saved%",
              "own_ms", "tool_ms");
  long long own = 0, tool = 0;
  double ownMs = 0, toolMs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string path = argv[i];
    const std::optional<PictureKind> kind = DetectPictureKind(path);
    if (!kind || *kind == PictureKind::kJpeg) continue;
    Picture picture;
    if (ReadPictureAs(path, *kind, picture) != ReadStatus::kComplete || picture.frames > 1) continue;
    const std::string written = work + "/own.png";
    double start = platform::MonotonicMilliseconds();
    if (!SavePng(picture, written, *kind == PictureKind::kPng ? path : "", false, temp, false)) {
      continue;
    }
    const double writeMs = platform::MonotonicMilliseconds() - start;
    const std::string optimised = work + "/tool.png";
    std::filesystem::remove(optimised);
    start = platform::MonotonicMilliseconds();
    // No time limit: the bench measures the tool's whole run.
    RunZopflipng(written, optimised, 0);
    const double runMs = platform::MonotonicMilliseconds() - start;
    const long long before = static_cast<long long>(std::filesystem::file_size(written));
    long long after = before;
    if (IsLosslessPngReplacement(written, optimised)) {
      after = std::min(after, static_cast<long long>(std::filesystem::file_size(optimised)));
    }
    own += before;
    tool += after;
    ownMs += writeMs;
    toolMs += runMs;
    std::printf("%-60s %10zu %10lld %10lld %6.2f%% %9.1f %9.1f\n",
                std::filesystem::path(path).filename().string().substr(0, 60).c_str(),
                picture.PixelCount(), before, after, 100.0 * (before - after) / before, writeMs,
                runMs);
  }
  std::printf("total own %lld, with tool %lld (%.2f%% saved), own %.1f s, tool %.1f s\n", own, tool,
              own > 0 ? 100.0 * (own - tool) / own : 0.0, ownMs / 1000, toolMs / 1000);
  std::filesystem::remove_all(work);
  return 0;
}
