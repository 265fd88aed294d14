#pragma once
// From the sources on the command line to the documents of a run: folders walked,
// each document's target chosen, and the ones that must not run set aside before any
// job starts.

#include <string>
#include <vector>

#include "cli/command_line.h"

namespace velmora::cli {

enum class PlanStep {
  kRun,
  kSkip,    // the target exists and only --force or -o may replace it
  kRefuse,  // running it would overwrite a source or another document's target
};

struct PlannedDocument {
  std::string source;
  std::string target;
  PlanStep step = PlanStep::kRun;
  std::string note;  // why it is skipped or refused
};

struct DocumentPlan {
  std::vector<PlannedDocument> documents;  // in the order the sources were named
  std::vector<std::string> unreadableFolders;
  std::vector<std::string> emptyFolders;   // folders in which no document was found
  bool anyFolder = false;                  // some source named a folder
  std::string usageError;                  // set when the plan cannot be made
};

// Walks the folders among the sources and names every target; reads the file system
// but changes nothing.
DocumentPlan PlanDocuments(const CommandLine& line);

}  // namespace velmora::cli
