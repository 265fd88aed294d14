#pragma once
// What the caller of a job provides: a place for the job's message, a progress
// display, and the path of a kept log for the caller to reveal afterwards. The job
// driver and the document processors talk to the caller only through this.

#include <cstdint>
#include <mutex>
#include <string>

namespace velmora {

// Whether the caller's progress display is shown.
enum class ProgressState { kHidden, kRunning };

// How far a document's pictures have come: how many of its pictures are done, how
// many it has, and the bytes the rewritten ones saved so far.
struct PictureTally {
  int done = 0;
  int total = 0;
  int64_t bytesSaved = 0;
};

class JobHost {
 public:
  virtual ~JobHost() = default;
  // Shows the job's message and returns when the user has acknowledged it.
  // failure is true for a refusal or error, false for the summary.
  virtual void ShowMessage(const std::string& text, bool failure) = 0;
  // The progress calls come from the job's threads, one at a time for one job: a
  // host that serves several jobs at once guards its display itself.
  virtual void OnProgressState(ProgressState /*state*/) {}
  virtual void OnProgress(uint64_t /*done*/, uint64_t /*total*/) {}
  virtual void OnPictures(const PictureTally& /*tally*/) {}

  // Set by the job to the kept log's path, or to empty; belongs to the caller.
  std::string revealLogPath;
};

// Progress calls for code that may run without a host; a null host is ignored.
inline void ShowProgressState(JobHost* host, ProgressState state) {
  if (host != nullptr) host->OnProgressState(state);
}
inline void ShowProgress(JobHost* host, uint64_t done, uint64_t total) {
  if (host != nullptr) host->OnProgress(done, total);
}

// A document's progress as its pictures finish on several threads: every report
// reaches the host one at a time, with counts that only grow.
class ProgressReporter {
 public:
  ProgressReporter(JobHost* host, uint64_t steps, int pictures)
      : host_(host), steps_(steps) {
    tally_.total = pictures;
  }

  // One more step of the document is done.
  void Step() {
    std::lock_guard<std::mutex> lock(mutex_);
    ShowProgress(host_, ++done_, steps_);
  }
  // One more picture is done, having saved the bytes; it is a step as well.
  void PictureDone(int64_t bytesSaved) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++tally_.done;
    tally_.bytesSaved += bytesSaved;
    if (host_ != nullptr) host_->OnPictures(tally_);
    ShowProgress(host_, ++done_, steps_);
  }
  // The steps after the pictures: the progress goes to the given step.
  void StepTo(uint64_t done) {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = done;
    ShowProgress(host_, done_, steps_);
  }
  PictureTally Tally() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tally_;
  }

 private:
  JobHost* host_;
  uint64_t steps_;
  uint64_t done_ = 0;
  PictureTally tally_;
  mutable std::mutex mutex_;
};

}  // namespace velmora
