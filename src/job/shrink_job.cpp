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

void ShrinkDocument(const std::string& source, const std::string& target, DocumentForm form,
                    const ShrinkOptions& options, JobHost& host, WorkerPool& pool, double start,
                    JobResult& result) {
  TempFiles temp(!options.keepTempFiles);
  // The log is released before the temporary files are removed.
  ProcessLog log;
  const std::string logPath = temp.NewName("log.md", false);
  log.Open(logPath);
  host.revealLogPath = options.keepTempFiles ? logPath : std::string();
  temp.Register(logPath);

  int failedInflations = 0;
  const bool hwpml = form == DocumentForm::kHwpml;
  const std::string written = WrittenPath(target, hwpml, options, temp);
  ProcessorResult processed =
      hwpml ? ShrinkHwpml(source, written, options, log, temp, &host, failedInflations, &pool)
            : ShrinkHwpx(source, written, options, log, temp, &host, &pool);
  if (!processed.success) {
    result.message = processed.message;
    return;
  }

  const int32_t sourceSize = GetFileSize32(source);
  const int32_t targetSize = GetFileSize32(written);
  result.targetBytes = platform::FileSize(written);
  result.pictures = std::move(processed.pictures);
  result.status = options.dryRun ? JobStatus::kMeasured : JobStatus::kWritten;
  log.Write(hwpml ? job_text::kHwpmlFinished : job_text::kHwpxFinished, true);
  const double elapsed = platform::MonotonicMilliseconds() - start;
  result.message = FormatSummary(sourceSize, targetSize, failedInflations, elapsed);
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
  const DocumentForm form = DetectDocumentForm(source);
  if (!IsShrinkable(form)) {
    result.message =
        form != DocumentForm::kUnknown ? job_text::kBinaryDocument : job_text::kNotADocument;
    return;
  }
  ShrinkDocument(source, target, form, options, host, pool, start, result);
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
