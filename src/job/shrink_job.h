#pragma once
// The job driver: one source document, one target document, one option set, one
// message for the user at the end.

#include <cstdint>
#include <string>

#include "core/options.h"

namespace velmora {

// What the caller of a job provides: a place for the job's message, a progress
// display, and the path of a kept log for the caller to reveal afterwards.
class JobHost {
 public:
  virtual ~JobHost() = default;
  // Shows the job's message and returns when the user has acknowledged it.
  // failure is true for a refusal or error, false for the summary.
  virtual void ShowMessage(const std::string& text, bool failure) = 0;
  // Progress display: state 0 no progress, 2 normal.
  virtual void OnTaskbarState(int /*state*/) {}
  virtual void OnTaskbarProgress(uint64_t /*done*/, uint64_t /*total*/) {}

  // Set by the job to the kept log's path, or to empty; belongs to the caller.
  std::string revealLogPath;
};

enum TaskbarState : int { kTaskbarNoProgress = 0, kTaskbarNormal = 2 };

// Progress helpers the document processors call; a null host is ignored.
void SetTaskbarState(JobHost* host, int state);
void SetTaskbarProgress(JobHost* host, uint64_t done, uint64_t total);

// Document forms by their first eight bytes.
enum DocumentFormNumber : int {
  kFormUnknown = 0,
  kFormHwpml = 1,
  kFormHwpx = 2,
  kFormHwpBinary = 3,
  kFormCompound = 4,
};
struct DocumentForm {
  bool accepted = false;
  int form = kFormUnknown;
};
DocumentForm DetectDocumentForm(const std::string& path);

// Result of a document processor: the target is written when success is true,
// otherwise message says why not.
struct ProcessorResult {
  bool success = false;
  std::string message;
};

// Runs one job. Every outcome reaches the user through host.ShowMessage; the return
// value says whether the target was written.
bool RunShrinkJob(const std::string& source, const std::string& target,
                  const ShrinkOptions& options, JobHost& host);

// Parts of the summary, exposed for the hosts and for testing.
std::string FormatSummary(int32_t sourceSize, int32_t targetSize, int failedInflations,
                          double elapsedMilliseconds);
std::string FormatElapsed(double elapsedMilliseconds);
// (source - target) / source in hundredths of a percent, cut toward zero.
double SavedPercent(int32_t sourceSize, int32_t targetSize);

// The refusal texts of the path checks.
extern const char kMessageSamePaths[];
extern const char kMessageNotADocument[];
extern const char kMessageBinaryDocument[];

}  // namespace velmora
