#include "cli/document_run.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/console.h"
#include "cli/document_plan.h"
#include "cli/messages.h"
#include "cli/report.h"
#include "core/text.h"
#include "core/worker_pool.h"
#include "job/shrink_job.h"
#include "platform/platform.h"

namespace velmora::cli {

namespace {

// SOURCE_DATE_EPOCH: a positive decimal number of seconds since the epoch.
std::optional<int64_t> SourceDateEpoch() {
  const std::optional<std::string> text = platform::Environment("SOURCE_DATE_EPOCH");
  if (!text || text->empty() || text->size() > 18) return std::nullopt;
  int64_t seconds = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + (c - '0');
  }
  return seconds > 0 ? std::optional<int64_t>(seconds) : std::nullopt;
}

// The conventional status of a program ended by a signal: 128 + its number.
int StoppedStatus() {
  const int signal = platform::StopSignal();
  return signal > 0 ? 128 + signal : kExitJobFailed;
}

DocumentStatus ReportedStatus(JobStatus status) {
  switch (status) {
    case JobStatus::kWritten: return DocumentStatus::kWritten;
    case JobStatus::kMeasured: return DocumentStatus::kDryRun;
    case JobStatus::kFailed: return DocumentStatus::kFailed;
  }
  return DocumentStatus::kFailed;
}

// One run over the planned documents: their jobs on one pool, one console, and the
// report's account of each.
class DocumentRun {
 public:
  DocumentRun(const CommandLine& line, const DocumentPlan& plan, Console& console)
      : line_(line), plan_(plan), console_(console), reports_(plan.documents.size()) {
    // With several documents every message says whose it is.
    named_ = plan.documents.size() > 1 || plan.anyFolder;
  }

  // Runs every document that may run; false when one failed.
  bool Documents(WorkerPool& pool) {
    std::vector<size_t> runnable;
    for (size_t i = 0; i < plan_.documents.size(); ++i) {
      if (!SetAside(i)) runnable.push_back(i);
    }
    const size_t runners = std::min<size_t>(runnable.size(), static_cast<size_t>(pool.Workers()));
    std::atomic<size_t> next{0};
    auto runner = [&] {
      for (size_t k = next++; k < runnable.size(); k = next++) {
        // A stop request ends the run: the jobs that saw it have cleaned up, and no
        // other starts.
        if (platform::StopRequested()) break;
        RunOne(runnable[k], pool);
      }
    };
    std::vector<std::thread> threads;
    for (size_t i = 1; i < runners; ++i) threads.emplace_back(runner);
    runner();
    for (std::thread& thread : threads) thread.join();
    return !failed_;
  }

  RunReport Report() const {
    RunReport report;
    report.dryRun = line_.options.dryRun;
    report.documents = reports_;
    report.unreadableFolders = plan_.unreadableFolders;
    return report;
  }

  // The line a dry run ends with: what the documents it measured would save together.
  std::string DryRunTotal() const {
    int documents = 0;
    int64_t before = 0, after = 0;
    for (const DocumentReport& report : reports_) {
      if (report.status != DocumentStatus::kDryRun) continue;
      ++documents;
      before += std::max<int64_t>(report.bytesBefore, 0);
      after += std::max<int64_t>(report.bytesAfter, 0);
    }
    const double saved =
        before > 0 ? static_cast<double>(before - after) * 100.0 / static_cast<double>(before) : 0;
    return Format(cli_text::kDryRunTotal, documents, Console::ByteText(before).c_str(),
                  Console::ByteText(after).c_str(), saved);
  }

 private:
  std::string Label(const std::string& source) const { return named_ ? source : std::string(); }

  // Notes a document that does not run; false when it runs.
  bool SetAside(size_t index) {
    const PlannedDocument& document = plan_.documents[index];
    DocumentReport& report = reports_[index];
    report.source = document.source;
    report.target = document.target;
    report.bytesBefore = platform::FileSize(document.source);
    if (document.step == PlanStep::kRun) return false;
    report.message = document.note;
    const std::string line =
        Format(cli_text::kSourceNote, document.source.c_str(), document.note.c_str());
    if (document.step == PlanStep::kSkip) {
      report.status = DocumentStatus::kSkipped;
      if (!line_.quiet) console_.Notice(line);
    } else {
      report.status = DocumentStatus::kFailed;
      failed_ = true;
      console_.Line(line, true);
    }
    return true;
  }

  void RunOne(size_t index, WorkerPool& pool) {
    const PlannedDocument& document = plan_.documents[index];
    if (line_.outputFolder && !line_.options.dryRun) {
      // The sub-folders of an output folder are made as their documents need them; a
      // folder that cannot be made fails the job, which says so in its own words.
      std::error_code ignored;
      std::filesystem::create_directories(
          std::filesystem::path(document.target).parent_path(), ignored);
    }
    ConsoleJobHost host(console_, static_cast<int>(index), document.source, line_.quiet,
                        Label(document.source));
    JobResult result =
        RunShrinkJobWithResult(document.source, document.target, line_.options, host, pool);
    if (line_.options.keepTempFiles && !host.revealLogPath.empty()) {
      console_.Line(Format(cli_text::kLogPath, host.revealLogPath.c_str()), false);
    }
    if (!result.Succeeded()) failed_ = true;
    DocumentReport& report = reports_[index];
    report.status = ReportedStatus(result.status);
    report.message = std::move(result.message);
    if (result.sourceBytes >= 0) report.bytesBefore = result.sourceBytes;
    report.bytesAfter = result.targetBytes;
    report.seconds = result.seconds;
    report.pictures = std::move(result.pictures);
  }

  const CommandLine& line_;
  const DocumentPlan& plan_;
  Console& console_;
  std::vector<DocumentReport> reports_;  // each written by the one thread that runs it
  std::atomic<bool> failed_{false};
  bool named_ = false;
};

// Where the report goes: a file written whole at the end, or standard output.
class ReportOutput {
 public:
  // False when the report's file cannot be made; checked before any job runs.
  bool Open(const std::optional<std::string>& path, std::FILE* out) {
    if (!path) return true;
    path_ = *path;
    if (path_ == "-") {
      stream_ = out;
      return true;
    }
    return file_.Open(path_);
  }
  bool ToStandardOutput() const { return stream_ != nullptr; }
  bool Write(const RunReport& report) {
    if (path_.empty()) return true;
    const std::string json = ReportJson(report);
    if (stream_ != nullptr) {
      return std::fwrite(json.data(), 1, json.size(), stream_) == json.size() &&
             std::fflush(stream_) == 0;
    }
    return file_.Write(json) && file_.Commit();
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::FILE* stream_ = nullptr;
  platform::AtomicFile file_;
};

}  // namespace

// With more than one worker several documents run at once on the one pool, and each
// summary appears as its document finishes.
int RunDocuments(const CommandLine& commandLine, std::FILE* out, std::FILE* err) {
  CommandLine line = commandLine;
  // The reproducible-builds convention: a fixed time for the dates written into
  // rewritten pictures, so that two runs give the same bytes.
  if (const std::optional<int64_t> epoch = SourceDateEpoch()) line.options.stampTime = *epoch;
  const DocumentPlan plan = PlanDocuments(line);
  if (!plan.usageError.empty()) {
    std::fprintf(err, cli_text::kUsageError, plan.usageError.c_str());
    return kExitUsage;
  }
  ReportOutput report;
  if (!report.Open(line.report, out)) {
    std::fprintf(err, cli_text::kReportFailed, report.Path().c_str());
    std::fputc('\n', err);
    return kExitJobFailed;
  }
  // Standard output carries the report alone; the summaries move to standard error.
  std::FILE* results = report.ToStandardOutput() ? err : out;
  Console console(results, err, !line.quiet && platform::IsTerminal(err));
  bool succeeded = true;
  for (const std::string& folder : plan.unreadableFolders) {
    console.Line(Format(cli_text::kUnreadableFolder, folder.c_str()), true);
    succeeded = false;
  }
  if (!line.quiet) {
    for (const std::string& folder : plan.emptyFolders) {
      console.Notice(Format(cli_text::kNoDocuments, folder.c_str()));
    }
  }
  WorkerPool pool(line.options.workers);
  DocumentRun run(line, plan, console);
  if (!run.Documents(pool)) succeeded = false;
  if (line.options.dryRun && !line.quiet) console.Line(run.DryRunTotal(), false);
  std::fflush(results);
  if (!report.Write(run.Report())) {
    console.Line(Format(cli_text::kReportFailed, report.Path().c_str()), true);
    succeeded = false;
  }
  if (platform::StopRequested()) return StoppedStatus();
  return succeeded ? kExitSuccess : kExitJobFailed;
}


}  // namespace velmora::cli
