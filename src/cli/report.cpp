#include "cli/report.h"

#include "core/text.h"
#include "core/version.h"

namespace velmora::cli {

namespace {

constexpr int kReportFormat = 1;

const char* StatusCode(DocumentStatus status) {
  switch (status) {
    case DocumentStatus::kWritten: return "written";
    case DocumentStatus::kDryRun: return "dry_run";
    case DocumentStatus::kSkipped: return "skipped";
    case DocumentStatus::kFailed: return "failed";
  }
  return "failed";
}

// Lowercase names of the kinds, as media types and most tools write them.
std::string KindCode(const std::optional<PictureKind>& kind) {
  if (!kind) return "null";
  switch (*kind) {
    case PictureKind::kBmp: return "\"bmp\"";
    case PictureKind::kGif: return "\"gif\"";
    case PictureKind::kPng: return "\"png\"";
    case PictureKind::kJpeg: return "\"jpeg\"";
  }
  return "null";
}

std::string Bytes(int64_t bytes) {
  return bytes < 0 ? std::string("null") : Format("%lld", static_cast<long long>(bytes));
}

// Builds the text with two spaces per level, one member per line.
class JsonText {
 public:
  void Open(char bracket) {
    text_ += bracket;
    ++depth_;
    first_ = true;
  }
  void Close(char bracket) {
    --depth_;
    if (!first_) NewLine();
    text_ += bracket;
    first_ = false;
  }
  // A member of an object: "name": followed by the caller's value.
  JsonText& Key(const char* name) {
    Item();
    text_ += '"';
    text_ += name;
    text_ += "\": ";
    return *this;
  }
  // An element of an array.
  JsonText& Element() {
    Item();
    return *this;
  }
  void Raw(const std::string& value) { text_ += value; }
  void String(std::string_view value) { text_ += JsonString(value); }
  std::string Take() { return std::move(text_) + "\n"; }

 private:
  void Item() {
    if (!first_) text_ += ',';
    NewLine();
    first_ = false;
  }
  void NewLine() {
    text_ += '\n';
    text_.append(static_cast<size_t>(depth_) * 2, ' ');
  }

  std::string text_;
  int depth_ = 0;
  bool first_ = true;
};

void WritePicture(JsonText& json, const PictureRecord& picture) {
  json.Element().Open('{');
  json.Key("index").Raw(Format("%d", picture.index));
  json.Key("name").String(picture.name);
  json.Key("target_name").String(picture.targetName);
  json.Key("kind_in").Raw(KindCode(picture.kindIn));
  json.Key("kind_out").Raw(KindCode(picture.kindOut));
  json.Key("bytes_before").Raw(Bytes(picture.bytesBefore));
  json.Key("bytes_after").Raw(Bytes(picture.bytesAfter));
  json.Key("decision").String(DecisionCode(picture.decision));
  json.Close('}');
}

void WriteDocument(JsonText& json, const DocumentReport& document) {
  json.Element().Open('{');
  json.Key("source").String(document.source);
  json.Key("target").String(document.target);
  json.Key("status").String(StatusCode(document.status));
  json.Key("message").String(document.message);
  json.Key("bytes_before").Raw(Bytes(document.bytesBefore));
  json.Key("bytes_after").Raw(Bytes(document.bytesAfter));
  json.Key("seconds").Raw(Format("%.3f", document.seconds));
  json.Key("pictures").Open('[');
  for (const PictureRecord& picture : document.pictures) WritePicture(json, picture);
  json.Close(']');
  json.Close('}');
}

void WriteTotals(JsonText& json, const RunReport& report) {
  int succeeded = 0, skipped = 0, failed = 0;
  int64_t before = 0, after = 0;
  for (const DocumentReport& document : report.documents) {
    switch (document.status) {
      case DocumentStatus::kWritten:
      case DocumentStatus::kDryRun:
        ++succeeded;
        before += document.bytesBefore > 0 ? document.bytesBefore : 0;
        after += document.bytesAfter > 0 ? document.bytesAfter : 0;
        break;
      case DocumentStatus::kSkipped: ++skipped; break;
      case DocumentStatus::kFailed: ++failed; break;
    }
  }
  json.Key("totals").Open('{');
  json.Key("documents").Raw(Format("%zu", report.documents.size()));
  json.Key("succeeded").Raw(Format("%d", succeeded));
  json.Key("skipped").Raw(Format("%d", skipped));
  json.Key("failed").Raw(Format("%d", failed));
  json.Key("bytes_before").Raw(Bytes(before));
  json.Key("bytes_after").Raw(Bytes(after));
  json.Close('}');
}

}  // namespace

const char* DecisionCode(PictureDecision decision) {
  switch (decision) {
    case PictureDecision::kRewritten: return "rewritten";
    case PictureDecision::kNotSmaller: return "not_smaller";
    case PictureDecision::kUnreadable: return "unreadable";
    case PictureDecision::kAnimationKept: return "animation_kept";
    case PictureDecision::kToolOutputRejected: return "tool_output_rejected";
    case PictureDecision::kVerificationFailed: return "verification_failed";
    case PictureDecision::kProcessingFailed: return "processing_failed";
    case PictureDecision::kNotAPicture: return "not_a_picture";
    case PictureDecision::kDataOutside: return "data_outside";
    case PictureDecision::kDecodingFailed: return "decoding_failed";
    case PictureDecision::kInflationFailed: return "inflation_failed";
    case PictureDecision::kTooLarge: return "too_large";
    case PictureDecision::kEntryUnreadable: return "entry_unreadable";
    case PictureDecision::kOverMemoryBudget: return "over_memory_budget";
  }
  return "processing_failed";
}

std::string JsonString(std::string_view text) {
  // Through UTF-16 and back: every malformed sequence comes out as U+FFFD.
  const std::string valid = Utf16ToUtf8(Utf8ToUtf16(text));
  std::string out = "\"";
  for (const char c : valid) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          out += Format("\\u%04x", byte);
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string ReportJson(const RunReport& report) {
  JsonText json;
  json.Open('{');
  json.Key("report_format").Raw(Format("%d", kReportFormat));
  json.Key("program").String("velmora");
  json.Key("version").String(GetVersionText());
  json.Key("dry_run").Raw(report.dryRun ? "true" : "false");
  json.Key("documents").Open('[');
  for (const DocumentReport& document : report.documents) WriteDocument(json, document);
  json.Close(']');
  json.Key("unreadable_folders").Open('[');
  for (const std::string& folder : report.unreadableFolders) json.Element().String(folder);
  json.Close(']');
  WriteTotals(json, report);
  json.Close('}');
  return json.Take();
}

}  // namespace velmora::cli
