#include "job/shrink_job.h"

#include <optional>

#include "core/process_log.h"
#include "core/temp_files.h"
#include "core/text.h"
#include "document/hwpml.h"
#include "document/hwpx.h"
#include "document/messages.h"
#include "job/document_form.h"
#include "job/messages.h"
#include "job/summary.h"
#include "platform/platform.h"

namespace velmora {

namespace {

// True when both texts name the same document: the same text, or, when both exist,
// the same file under another spelling (a link, "./a" against "a", or another case
// where the file system ignores case, since there the other spelling finds the same
// file). Names that differ only in case are two files where the system tells case
// apart, and a target that does not exist yet cannot be the source.
bool IsSameDocument(const std::string& source, const std::string& target) {
  return source == target || platform::SameFile(source, target);
}

// The message for a source that cannot be read as a document, and the log line with
// the system's reason; nothing when it can be read.
std::optional<std::string> SourceProblem(const std::string& source, ProcessLog& log) {
  const platform::SourceCheck check = platform::CheckReadableFile(source);
  if (check.state == platform::SourceState::kReadable) return std::nullopt;
  log.Write(Format(job_text::kLogSourceProblem, source.c_str(), check.reason.c_str()), true);
  switch (check.state) {
    case platform::SourceState::kMissing: return job_text::kSourceMissing;
    case platform::SourceState::kDenied: return job_text::kSourceDenied;
    case platform::SourceState::kFolder: return job_text::kSourceIsFolder;
    case platform::SourceState::kNotRegular: return job_text::kSourceNotRegular;
    case platform::SourceState::kReadable:
    case platform::SourceState::kUnreadable: break;
  }
  return job_text::kSourceUnreadable;
}

}  // namespace

namespace {

// The file the processors write: the target, or in a dry run a temporary file of the
// same form that the job's temporary files remove at the end.
std::string WrittenPath(const std::string& target, bool hwpml, const ShrinkOptions& options,
                        TempFiles& temp) {
  if (!options.dryRun) return target;
  const std::string path = temp.NewName(hwpml ? "hml" : "hwpx", false);
  temp.Register(path);
  // Reserved as an empty file; the processors replace it whole, as any target.
  return path;
}

void ShrinkDocument(const std::string& source, const std::string& target,
                    const ShrinkOptions& options, JobHost& host, WorkerPool& pool, double start,
                    JobResult& result) {
  TempFiles temp(!options.keepTempFiles);
  // The log is released before the temporary files are removed.
  ProcessLog log;
  const std::string logPath = temp.NewName("log.md", false);
  log.Open(logPath);
  host.revealLogPath = options.keepTempFiles ? logPath : std::string();
  temp.Register(logPath);

  // Only a regular file is opened: a FIFO would block the job for ever.
  if (std::optional<std::string> problem = SourceProblem(source, log)) {
    result.message = *problem;
    return;
  }
  const DocumentForm form = DetectDocumentForm(source);
  if (!IsShrinkable(form)) {
    result.message =
        form != DocumentForm::kUnknown ? job_text::kBinaryDocument : job_text::kNotADocument;
    return;
  }

  int failedInflations = 0;
  const bool hwpml = form == DocumentForm::kHwpml;
  const std::string written = WrittenPath(target, hwpml, options, temp);
  ProcessorResult processed =
      hwpml ? ShrinkHwpml(source, written, options, log, temp, &host, failedInflations, &pool)
            : ShrinkHwpx(source, written, options, log, temp, &host, &pool);
  if (!processed.success) {
    // A stop request ends the job however far it got; nothing of it stays behind.
    result.message = platform::StopRequested() ? document_text::kStopped : processed.message;
    return;
  }

  const int64_t sourceSize = platform::FileSize(source);
  const int64_t targetSize = platform::FileSize(written);
  result.targetBytes = targetSize;
  result.pictures = std::move(processed.pictures);
  result.status = options.dryRun ? JobStatus::kMeasured : JobStatus::kWritten;
  if (processed.resampled > 0) {
    log.Write(Format(job_text::kLogResampled, processed.resampled, options.ppi,
                     static_cast<long long>(processed.resampledSaving)),
              true);
  }
  log.Write(hwpml ? job_text::kHwpmlFinished : job_text::kHwpxFinished, true);
  const double elapsed = platform::MonotonicMilliseconds() - start;
  const ResampleTally resampled{processed.resampled, processed.resampledSaving, options.ppi};
  result.message = FormatSummary(sourceSize, targetSize, failedInflations, elapsed, resampled);
}

void RunJob(const std::string& sourceText, const std::string& targetText,
            const ShrinkOptions& options, JobHost& host, WorkerPool& pool, double start,
            JobResult& result) {
  const std::string source = Trim(sourceText);
  const std::string target = Trim(targetText);
  if (IsSameDocument(source, target)) {
    result.message = job_text::kSamePaths;
    return;
  }
  result.sourceBytes = platform::FileSize(source);
  ShrinkDocument(source, target, options, host, pool, start, result);
}

}  // namespace

bool RunShrinkJob(const std::string& source, const std::string& target,
                  const ShrinkOptions& options, JobHost& host) {
  WorkerPool pool(options.workers);
  return RunShrinkJob(source, target, options, host, pool);
}

bool RunShrinkJob(const std::string& source, const std::string& target,
                  const ShrinkOptions& options, JobHost& host, WorkerPool& pool) {
  return RunShrinkJobWithResult(source, target, options, host, pool).Succeeded();
}

JobResult RunShrinkJobWithResult(const std::string& source, const std::string& target,
                                 const ShrinkOptions& givenOptions, JobHost& host,
                                 WorkerPool& pool) {
  const double start = platform::MonotonicMilliseconds();
  ShrinkOptions options = givenOptions;
  if (options.stampTime == 0) options.stampTime = platform::SecondsSinceEpoch();
  ShowProgressState(&host, ProgressState::kHidden);
  JobResult result;
  // Whatever escapes the job (memory exhausted outside any one picture, say) ends this
  // job with a message, never the program; the temporary files are gone by then.
  try {
    RunJob(source, target, options, host, pool, start, result);
  } catch (...) {
    result.status = JobStatus::kFailed;
    result.message = job_text::kUnexpectedFailure;
    result.pictures.clear();
  }
  result.seconds = (platform::MonotonicMilliseconds() - start) / 1000.0;
  host.ShowMessage(result.message, !result.Succeeded());
  if (result.Succeeded()) ShowProgressState(&host, ProgressState::kHidden);
  return result;
}

}  // namespace velmora
