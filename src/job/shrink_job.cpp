#include "job/shrink_job.h"

#include "core/process_log.h"
#include "core/temp_files.h"
#include "core/text.h"
#include "document/hwpml.h"
#include "document/hwpx.h"
#include "job/document_form.h"
#include "job/messages.h"
#include "job/summary.h"
#include "platform/platform.h"

namespace velmora {

namespace {

// True when both texts name the same document: equal ignoring case, or, when both
// exist, the same file under another spelling (a link, "./a" against "a").
bool IsSameDocument(const std::string& source, const std::string& target) {
  return EqualsIgnoreCase(source, target) || platform::SameFile(source, target);
}

}  // namespace

namespace {

// What a job ends with: the one message the user is shown.
struct JobEnd {
  bool success = false;
  std::string message;
};

JobEnd ShrinkDocument(const std::string& source, const std::string& target,
                      DocumentForm form, const ShrinkOptions& options, JobHost& host,
                      WorkerPool& pool, double start) {
  TempFiles temp(!options.keepTempFiles);
  // The log is released before the temporary files are removed.
  ProcessLog log;
  const std::string logPath = temp.NewName("log.md", false);
  log.Open(logPath);
  host.revealLogPath = options.keepTempFiles ? logPath : std::string();
  temp.Register(logPath);

  int failedInflations = 0;
  const bool hwpml = form == DocumentForm::kHwpml;
  const ProcessorResult result =
      hwpml ? ShrinkHwpml(source, target, options, log, temp, &host, failedInflations, &pool)
            : ShrinkHwpx(source, target, options, log, temp, &host, &pool);
  if (!result.success) return {false, result.message};

  const int32_t sourceSize = GetFileSize32(source);
  const int32_t targetSize = GetFileSize32(target);
  if (result.resampled > 0) {
    log.Write(Format(job_text::kLogResampled, result.resampled, options.ppi,
                     static_cast<long long>(result.resampledSaving)),
              true);
  }
  log.Write(hwpml ? job_text::kHwpmlFinished : job_text::kHwpxFinished, true);
  const double elapsed = platform::MonotonicMilliseconds() - start;
  const ResampleTally resampled{result.resampled, result.resampledSaving, options.ppi};
  return {true, FormatSummary(sourceSize, targetSize, failedInflations, elapsed, resampled)};
}

JobEnd RunJob(const std::string& sourceText, const std::string& targetText,
              const ShrinkOptions& options, JobHost& host, WorkerPool& pool, double start) {
  const std::string source = Trim(sourceText);
  const std::string target = Trim(targetText);
  if (IsSameDocument(source, target)) return {false, job_text::kSamePaths};
  const DocumentForm form = DetectDocumentForm(source);
  if (!IsShrinkable(form)) {
    return {false, form != DocumentForm::kUnknown ? job_text::kBinaryDocument
                                                  : job_text::kNotADocument};
  }
  return ShrinkDocument(source, target, form, options, host, pool, start);
}

}  // namespace

bool RunShrinkJob(const std::string& source, const std::string& target,
                  const ShrinkOptions& options, JobHost& host) {
  WorkerPool pool(options.workers);
  return RunShrinkJob(source, target, options, host, pool);
}

bool RunShrinkJob(const std::string& source, const std::string& target,
                  const ShrinkOptions& givenOptions, JobHost& host, WorkerPool& pool) {
  const double start = platform::MonotonicMilliseconds();
  ShrinkOptions options = givenOptions;
  if (options.stampTime == 0) options.stampTime = platform::SecondsSinceEpoch();
  ShowProgressState(&host, ProgressState::kHidden);
  JobEnd end;
  // Whatever escapes the job (memory exhausted outside any one picture, say) ends this
  // job with a message, never the program; the temporary files are gone by then.
  try {
    end = RunJob(source, target, options, host, pool, start);
  } catch (...) {
    end = {false, job_text::kUnexpectedFailure};
  }
  host.ShowMessage(end.message, !end.success);
  if (end.success) ShowProgressState(&host, ProgressState::kHidden);
  return end.success;
}

}  // namespace velmora
