#include "cli/document_plan.h"

#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "cli/messages.h"
#include "core/text.h"
#include "job/document_walk.h"
#include "platform/platform.h"

namespace velmora::cli {

namespace {

namespace fs = std::filesystem;

// One spelling per file for comparing names: links and "." or ".." resolved as far as
// the path exists, the rest normalised as written.
std::string Comparable(const std::string& path) {
  std::error_code error;
  fs::path canonical = fs::weakly_canonical(fs::path(path), error);
  if (error) canonical = fs::absolute(fs::path(path), error).lexically_normal();
  return canonical.string();
}

std::string BaseName(const std::string& path) {
  return fs::path(path).filename().string();
}

// Where the target of a document named directly on the command line goes.
std::string DirectTarget(const CommandLine& line, const std::string& source) {
  if (line.target) return *line.target;
  if (line.outputFolder) return MirroredTarget(*line.outputFolder, BaseName(Trim(source)));
  return DefaultTargetName(source);
}

// Sets aside what must not run: a target that another document of the run also
// writes, or that is itself a source of the run (never change a source); then a
// target that exists, unless the user asked for it to be replaced.
void CheckTargets(const CommandLine& line, DocumentPlan& plan) {
  std::set<std::string> sources;
  for (const PlannedDocument& document : plan.documents) sources.insert(Comparable(document.source));
  std::map<std::string, size_t> targets;
  for (size_t i = 0; i < plan.documents.size(); ++i) {
    PlannedDocument& document = plan.documents[i];
    const std::string target = Comparable(document.target);
    if (!targets.emplace(target, i).second) {
      document.step = PlanStep::kRefuse;
      document.note = Format(cli_text::kTargetTwice, document.target.c_str());
    } else if (sources.count(target) != 0 && !line.target) {
      // An explicit -o that names the source is the job's to refuse, in its own words.
      document.step = PlanStep::kRefuse;
      document.note = Format(cli_text::kTargetIsSource, document.target.c_str());
    } else if (!line.force && !line.target && platform::PathExists(document.target)) {
      document.step = PlanStep::kSkip;
      document.note = Format(cli_text::kTargetExists, document.target.c_str());
    }
  }
}

}  // namespace

DocumentPlan PlanDocuments(const CommandLine& line) {
  DocumentPlan plan;
  const std::string skip = line.outputFolder.value_or(std::string());
  for (const std::string& source : line.sources) {
    if (!platform::IsDirectory(source)) {
      plan.documents.push_back({source, DirectTarget(line, source), PlanStep::kRun, {}});
      continue;
    }
    plan.anyFolder = true;
    if (line.target) {
      plan.usageError = cli_text::kOutputNeedsOneSource;
      return plan;
    }
    FolderWalk walk = FindDocuments(source, line.recursive, skip);
    if (walk.documents.empty() && walk.unreadable.empty()) plan.emptyFolders.push_back(source);
    for (std::string& folder : walk.unreadable) plan.unreadableFolders.push_back(std::move(folder));
    for (const FoundDocument& found : walk.documents) {
      const std::string target = line.outputFolder
                                     ? MirroredTarget(*line.outputFolder, found.relative)
                                     : DefaultTargetName(found.path);
      plan.documents.push_back({found.path, target, PlanStep::kRun, {}});
    }
  }
  CheckTargets(line, plan);
  return plan;
}

}  // namespace velmora::cli
