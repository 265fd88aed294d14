#pragma once
// The command line's two streams, shared by the jobs that run at once: whole lines
// only, never two jobs' text mixed in one line, and on a terminal one status line at
// the bottom with every running document's pictures done and bytes saved so far.

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "cli/messages.h"
#include "core/job_host.h"
#include "core/text.h"

namespace velmora::cli {

class Console {
 public:
  // showProgress: keep the status line (standard error is a terminal and the user
  // did not ask for quiet).
  Console(std::FILE* out, std::FILE* err, bool showProgress);

  // A line on standard output (results) or standard error (failures).
  void Line(const std::string& text, bool failure);
  // A line on standard error that is no failure (a skipped source, say).
  void Notice(const std::string& text);
  void Progress(int job, const std::string& name, const PictureTally& tally);
  void Done(int job);

  // The status line for these documents, at most width characters.
  static std::string StatusLine(const std::map<int, std::string>& parts, size_t width);
  // "850 B", "12.5 KB", "1.2 MB".
  static std::string ByteText(int64_t bytes);
  // "12/30 pictures, 1.2 MB saved" for a document's tally.
  static std::string TallyText(const std::string& name, const PictureTally& tally);

 private:
  void ClearStatus();
  void DrawStatus();

  std::FILE* out_;
  std::FILE* err_;
  bool showProgress_;
  std::mutex mutex_;
  std::map<int, std::string> status_;  // running document → its part of the line
  size_t shown_ = 0;                   // characters of the status line on screen
};

// The host of one document's job on the shared console.
class ConsoleJobHost : public JobHost {
 public:
  // label: the name the job's message is shown with when several documents run
  // (empty: the message alone).
  ConsoleJobHost(Console& console, int job, std::string name, bool quiet, std::string label = {})
      : console_(console), job_(job), name_(std::move(name)), quiet_(quiet),
        label_(std::move(label)) {}

  void ShowMessage(const std::string& text, bool failure) override {
    console_.Done(job_);
    if (failure || !quiet_) console_.Line(
          label_.empty() ? text : Format(cli_text::kNamedMessage, label_.c_str(), text.c_str()),
          failure);
  }
  void OnProgressState(ProgressState state) override {
    if (state == ProgressState::kHidden) console_.Done(job_);
  }
  void OnPictures(const PictureTally& tally) override { console_.Progress(job_, name_, tally); }

 private:
  Console& console_;
  int job_;
  std::string name_;
  bool quiet_;
  std::string label_;
};

}  // namespace velmora::cli
