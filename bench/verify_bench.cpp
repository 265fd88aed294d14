// The cost of verified replacement: shrinks every document in the given folders
// (*.hwpx, *.hml) once with the picture processing alone and once with verification
// around it, alternately, and reports the times and how many rewritten pictures the
// verification turned away. Loose pictures (*.jpg, *.png, *.bmp, *.gif) are processed
// as a document processor hands them over. The external optimisers stay off, so that
// only the program's own work is timed.
//
//   velmora-bench-verify [--rounds N] FOLDER...

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "document/hwpml.h"
#include "document/hwpx.h"
#include "picture/picture_processing.h"
#include "picture/verification.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;
using namespace velmora;

struct Run {
  double milliseconds = 0;
  bool written = false;
  int rejected = 0;  // pictures whose rewritten file failed verification
};

// Counts the verification lines in a log (UTF-16LE: the ASCII text has zero bytes
// between its letters).
int CountRejections(const std::string& logPath) {
  platform::UniqueFile file = platform::OpenFile(logPath, "rb");
  if (!file) return 0;
  std::string bytes;
  char buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
    bytes.append(buffer, got);
  }
  std::string ascii;
  for (size_t i = 0; i < bytes.size(); i += 2) ascii += bytes[i];
  int count = 0;
  for (size_t at = ascii.find("failed verification"); at != std::string::npos;
       at = ascii.find("failed verification", at + 1)) {
    ++count;
  }
  return count;
}

Run Shrink(const std::string& source, const std::string& work, bool verify) {
  fs::remove_all(work);
  fs::create_directories(work);
  Run run;
  TempFiles temp(true, work);
  ProcessLog log;
  log.Open(work + "/log.md");
  const PictureProcessor process =
      verify ? WithVerification(ProcessPicture) : PictureProcessor(ProcessPicture);
  ShrinkOptions options;
  options.extraOptimisers = false;
  const std::string extension = fs::path(source).extension().string();
  const bool hwpx = extension == ".hwpx";
  const std::string target = work + (hwpx ? "/target.hwpx" : "/target.hml");
  const double start = platform::MonotonicMilliseconds();
  if (extension != ".hwpx" && extension != ".hml") {
    EmbeddedPicture picture;
    picture.sourcePath = source;
    picture.originalSize = GetFileSize32(source);
    run.written = process(picture, options, log, temp).Replaces();
  } else if (hwpx) {
    run.written = ShrinkHwpxWith(source, target, options, log, temp, nullptr, process).success;
  } else {
    int failedInflations = 0;
    run.written = ShrinkHwpmlWith(source, target, options, log, temp, nullptr, failedInflations,
                                  {DetectPictureKind, process})
                      .success;
  }
  run.milliseconds = platform::MonotonicMilliseconds() - start;
  run.rejected = CountRejections(work + "/log.md");
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  std::vector<std::string> documents;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
      continue;
    }
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(argument, error)) {
      const std::string extension = entry.path().extension().string();
      for (const char* wanted : {".hwpx", ".hml", ".jpg", ".png", ".bmp", ".gif"}) {
        if (extension == wanted) documents.push_back(entry.path().string());
      }
    }
  }
  std::sort(documents.begin(), documents.end());
  if (documents.empty()) {
    std::fprintf(stderr, "usage: %s [--rounds N] FOLDER...\n", argv[0]);
    return 2;
  }
  const std::string work = platform::TempFolder() + "/velmora-bench-verify";

  double plainTotal = 0, verifiedTotal = 0;
  int rejectedTotal = 0;
  std::printf("%-52s %10s %10s %6s %8s\n", "document", "plain ms", "verify ms", "extra", "rejected");
  for (const std::string& document : documents) {
    // The fastest of the rounds, each pair run in turn, so that caches and other
    // processes on the machine weigh the same on both.
    double plain = 1e300, verified = 1e300;
    int rejected = 0;
    bool written = true;
    for (int round = 0; round < rounds; ++round) {
      const Run a = Shrink(document, work, false);
      const Run b = Shrink(document, work, true);
      plain = std::min(plain, a.milliseconds);
      verified = std::min(verified, b.milliseconds);
      rejected = b.rejected;
      written = written && a.written && b.written;
    }
    plainTotal += plain;
    verifiedTotal += verified;
    rejectedTotal += rejected;
    std::printf("%-52s %10.1f %10.1f %5.1f%% %8d%s\n",
                fs::path(document).filename().string().substr(0, 52).c_str(), plain, verified,
                plain > 0 ? 100.0 * (verified - plain) / plain : 0.0, rejected,
                written ? "" : "  (not written)");
  }
  std::printf("%-52s %10.1f %10.1f %5.1f%% %8d\n", "all documents", plainTotal, verifiedTotal,
              100.0 * (verifiedTotal - plainTotal) / plainTotal, rejectedTotal);
  fs::remove_all(work);
  return 0;
}
