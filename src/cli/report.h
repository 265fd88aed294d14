#pragma once
// The JSON report of a run (--report): every document with its sizes, time, status
// and message, and every embedded item of it with its kinds, sizes and the decision
// taken. docs/report.md describes the format, docs/report.schema.json checks it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "picture/embedded_picture.h"

namespace velmora::cli {

enum class DocumentStatus {
  kWritten,  // the target was written
  kDryRun,   // a dry run built the target, measured it and removed it
  kSkipped,  // the target exists and was left alone
  kFailed,   // no target; the message says why
};

struct DocumentReport {
  std::string source;
  std::string target;
  DocumentStatus status = DocumentStatus::kFailed;
  std::string message;
  int64_t bytesBefore = -1;  // -1: unknown, written as null
  int64_t bytesAfter = -1;
  double seconds = 0;
  std::vector<PictureRecord> pictures;
};

struct RunReport {
  bool dryRun = false;
  std::vector<DocumentReport> documents;      // in the order the sources were named
  std::vector<std::string> unreadableFolders;
};

// The report as JSON text, ending with a line end.
std::string ReportJson(const RunReport& report);

// The stable code of a decision, as the report writes it ("rewritten", "not_smaller"...).
const char* DecisionCode(PictureDecision decision);
// The text as a JSON string with its quotes. Names are bytes on this system: a byte
// sequence that is not UTF-8 becomes U+FFFD, so the report is always valid JSON.
std::string JsonString(std::string_view text);

}  // namespace velmora::cli
