#pragma once
// The common part of the two document job harnesses: one job run by the real job
// driver with options from the input, and the promises every job keeps whatever the
// document held: the source is never changed, the target is either complete or
// absent, no temporary or partial file is left behind, exactly one message is shown,
// and a document the job wrote is one it can read again.

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "job/shrink_job.h"
#include "core/options.h"
#include "fuzz_support.h"

namespace velmora::fuzz {

class QuietHost : public JobHost {
 public:
  void ShowMessage(const std::string& text, bool failure) override {
    messages.push_back(text);
    failures.push_back(failure);
  }
  std::vector<std::string> messages;
  std::vector<bool> failures;
};

// Options from two option bytes. The external optimisers stay off: they are other
// programs, and far too slow for fuzzing. A small memory budget keeps pictures of
// millions of pixels (a few bytes of deflated zeros can claim them) from the PNG
// writer, whose every form and filter is far too slow for fuzzing as well; the
// budget's refusal is a path worth fuzzing too. Bit 6 of the rule byte asks for a
// printing density (96 to 351 ppi from the quality byte), which reads the document's
// layout.
inline ShrinkOptions JobOptions(uint8_t rule, uint8_t quality) {
  ShrinkOptions options;
  options.memoryBudgetMiB = 32;
  options.conversionRule = static_cast<ConversionRule>(rule % 3);
  options.jpegQuality = quality % 101;
  options.ppi = (rule & 0x40) != 0 ? 96 + quality : 0;
  options.backgroundText = (rule & 0x80) != 0 ? "00FF80" : "FFFFFF";
  options.keepTempFiles = false;
  options.extraOptimisers = false;
  return options;
}

// The folder the jobs take as the system's temporary folder; emptied before each job.
inline const std::string& JobTempFolder() {
  static const std::string folder = [] {
    const std::string path = ScratchFolder() + "/tmp";
    std::error_code error;
    std::filesystem::create_directories(path, error);
    Require(!error, "temporary folder made");
    ::setenv("TMPDIR", path.c_str(), 1);
    return path;
  }();
  return folder;
}

// Runs the job on bytes written as the source and checks every promise. Returns true
// when the job succeeded.
inline bool RunCheckedJob(const std::string& sourceBytes, const char* extension,
                          const ShrinkOptions& options, bool again) {
  const std::string temp = JobTempFolder();
  EmptyFolder(temp);
  const std::string folder = ScratchFolder() + "/job";
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  std::filesystem::create_directories(folder, error);
  Require(!error, "job folder made");
  const std::string source = folder + "/source." + extension;
  const std::string target = folder + "/target." + extension;
  {
    std::FILE* file = std::fopen(source.c_str(), "wb");
    Require(file != nullptr, "source written");
    std::fwrite(sourceBytes.data(), 1, sourceBytes.size(), file);
    Require(std::fclose(file) == 0, "source written");
  }
  QuietHost host;
  const bool success = RunShrinkJob(source, target, options, host);
  Require(host.messages.size() == 1, "a job shows exactly one message");
  Require(host.failures[0] == !success, "the message says failure exactly when the job failed");
  Require(ReadWholeFile(source) == sourceBytes, "the source is never changed");
  Require(CountEntries(temp) == 0, "no temporary file is left behind");
  Require(CountEntries(folder) == (success ? 2u : 1u),
          "the target exists exactly when the job succeeded, and nothing else appears");
  if (success && again) {
    const std::string written = ReadWholeFile(target);
    Require(!written.empty(), "a written target is not empty");
    if (written != sourceBytes) {
      const std::string second = folder + "/second." + extension;
      QuietHost secondHost;
      const bool read = RunShrinkJob(target, second, options, secondHost);
      Require(read, "a document the job wrote is one it can read again");
    }
  }
  return success;
}

}  // namespace velmora::fuzz
