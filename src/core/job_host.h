#pragma once
// What the caller of a job provides: a place for the job's message, a progress
// display, and the path of a kept log for the caller to reveal afterwards. The job
// driver and the document processors talk to the caller only through this.

#include <cstdint>
#include <string>

namespace velmora {

// Whether the caller's progress display is shown.
enum class ProgressState { kHidden, kRunning };

class JobHost {
 public:
  virtual ~JobHost() = default;
  // Shows the job's message and returns when the user has acknowledged it.
  // failure is true for a refusal or error, false for the summary.
  virtual void ShowMessage(const std::string& text, bool failure) = 0;
  virtual void OnProgressState(ProgressState /*state*/) {}
  virtual void OnProgress(uint64_t /*done*/, uint64_t /*total*/) {}

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

}  // namespace velmora
