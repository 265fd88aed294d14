// Runs every picture of one or more folders through picture processing under each
// conversion rule, with the optimiser switch off and on, and reports per picture kind
// the bytes a document would hold before and after (kept originals counted at their
// own size) and the wall time taken.
//
//   velmora-bench-pictures FOLDER...

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "picture/picture_processing.h"
#include "platform/platform.h"
#include "tools/optimisers.h"

namespace {

using velmora::EmbeddedPicture;
using velmora::ShrinkOptions;

struct Totals {
  int files = 0;
  int rewritten = 0;
  long long before = 0;
  long long after = 0;
  double milliseconds = 0;
};


std::vector<std::string> Pictures(const std::vector<std::string>& folders) {
  std::vector<std::string> files;
  for (const std::string& folder : folders) {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
      if (entry.is_regular_file()) files.push_back(entry.path().string());
    }
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: velmora-bench-pictures FOLDER...\n");
    return 2;
  }
  const std::vector<std::string> files = Pictures(std::vector<std::string>(argv + 1, argv + argc));
  const std::string work = platform::TempFolder() + "/velmora-bench-pictures";
  std::error_code error;
  std::filesystem::create_directories(work, error);
  std::printf("zopflipng: %s (%s)\ngifsicle: %s (%s)\n", velmora::ZopflipngPath().c_str(),
              velmora::IsUsableTool(velmora::ZopflipngPath()) ? "usable" : "not usable",
              velmora::GifsiclePath().c_str(),
              velmora::IsUsableTool(velmora::GifsiclePath()) ? "usable" : "not usable");

  // (kind, rule, switch) → totals. JPEG and GIF pictures do not depend on the rule.
  std::map<std::tuple<velmora::PictureKind, int, bool>, Totals> totals;
  for (const std::string& file : files) {
    const std::optional<velmora::PictureKind> detected = velmora::DetectPictureKind(file);
    if (!detected) continue;
    const velmora::PictureKind kind = *detected;
    using velmora::PictureKind;
    for (int rule = 0; rule <= 2; ++rule) {
      if ((kind == PictureKind::kGif || kind == PictureKind::kJpeg) && rule > 0) continue;
      if (kind == PictureKind::kPng && rule == 1) continue;  // PNG pictures: rule 1 is rule 0
      for (bool optimisers : {false, true}) {
        if (kind == PictureKind::kJpeg && optimisers) continue;
        velmora::TempFiles temp(true, work);
        velmora::ProcessLog log;
        const std::string logPath = temp.NewName("md", false);
        temp.Register(logPath);
        log.Open(logPath);
        ShrinkOptions options;
        options.conversionRule = static_cast<velmora::ConversionRule>(rule);
        options.extraOptimisers = optimisers;
        EmbeddedPicture picture;
        picture.sourcePath = file;
        picture.originalSize = velmora::GetFileSize32(file);
        const double start = platform::MonotonicMilliseconds();
        const velmora::PictureOutcome outcome =
            velmora::ProcessPicture(picture, options, log, temp);
        const double elapsed = platform::MonotonicMilliseconds() - start;
        const int32_t size = velmora::GetFileSize32(outcome.rewrittenPath);
        const bool taken =
            outcome.Replaces() && velmora::IsSmallerThanOriginal(size, picture.originalSize);
        Totals& t = totals[{kind, rule, optimisers}];
        ++t.files;
        t.rewritten += taken ? 1 : 0;
        t.before += picture.originalSize;
        t.after += taken ? size : picture.originalSize;
        t.milliseconds += elapsed;
      }
    }
  }

  std::printf("%-5s %-5s %-11s %6s %10s %12s %12s %12s %7s %10s\n", "kind", "rule", "optimisers",
              "files", "rewritten", "before", "after", "saved", "saved%", "seconds");
  for (const auto& [key, t] : totals) {
    const auto& [kind, rule, optimisers] = key;
    const long long saved = t.before - t.after;
    std::printf("%-5s %-5d %-11s %6d %10d %12lld %12lld %12lld %6.2f%% %10.2f\n",
                velmora::NameOf(kind), rule, optimisers ? "on" : "off", t.files, t.rewritten, t.before,
                t.after, saved, t.before > 0 ? 100.0 * saved / t.before : 0.0,
                t.milliseconds / 1000.0);
  }
  std::filesystem::remove_all(work, error);
  return 0;
}
