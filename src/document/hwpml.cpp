#include "document/hwpml.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

#include "core/text.h"
#include "document/base64.h"
#include "document/hwpml_run.h"
#include "document/messages.h"
#include "document/raw_inflate.h"
#include "picture/picture_processing.h"

namespace velmora {

namespace hwpml_detail {

namespace {

// The extension of an item's decoded data: its listed kind's, "tmp" for others.
const char* DataExtension(std::optional<PictureKind> kind) {
  return kind ? ExtensionOf(*kind) : "tmp";
}

}  // namespace

ProcessorResult HwpmlRun::Fail(const char* logLine, const char* message, bool clearProgress) {
  if (logLine != nullptr) log_.Write(logLine, true);
  if (clearProgress) ShowProgressState(host_, ProgressState::kHidden);
  return {false, message};
}


bool HwpmlRun::DecodeData(const DataElement& data, const std::string& path, int64_t& produced) {
  produced = 0;
  platform::UniqueFile file = platform::OpenFile(path, "wb");
  if (!file) return false;
  // The text is decoded in pieces straight into the file, so memory does not grow
  // with the item. Its length bounds the data, not the Size attribute: a missing or
  // too small Size must never cut an item's data.
  Base64Decoder decoder;
  constexpr int64_t kPiece = 65536;
  std::string bytes;
  for (int64_t offset = data.contentStart; offset < data.contentEnd && !decoder.Done();) {
    // An item of gigabytes takes a while; a stopped job gives it up.
    if (platform::StopRequested()) return false;
    const int64_t length = std::min(kPiece, data.contentEnd - offset);
    std::optional<std::string> text = xml_.ReadBytes(offset, length);
    if (!text || text->empty()) return false;
    bytes.clear();
    decoder.Feed(*text, bytes);
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
      return false;
    }
    offset += static_cast<int64_t>(text->size());
  }
  produced = decoder.Produced();
  return std::fclose(file.release()) == 0;
}


void HwpmlRun::ProcessItem(size_t index) {
  ListItem& item = items_[index];
  const long long k = static_cast<long long>(index) + 1;
  if (item.data < 0) {
    log_.Write(Format(document_text::kLogDataOutside, k), true);
    return;
  }
  const DataElement& data = data_[static_cast<size_t>(item.data)];
  const char* extension = DataExtension(item.listedKind);
  const std::string decoded = temp_.NewName(extension, data.compressed);
  temp_.Register(decoded);
  int64_t stored = 0;
  if (!DecodeData(data, decoded, stored)) {
    log_.Write(Format(document_text::kLogDecodingFailed, k), true);
    return;
  }
  if (data.size >= 0 && data.size != stored) {
    log_.Write(Format(document_text::kLogSizeDiffers, k,
                      static_cast<long long>(data.size), static_cast<long long>(stored)),
               true);
  }
  // Sizes travel as 32-bit numbers through picture processing.
  if (stored > kMaxInflatedBytes) return;

  std::string picturePath = decoded;
  if (data.compressed) {
    const std::string inflated = temp_.NewName(extension, false);
    temp_.Register(inflated);
    if (!InflateFile(decoded, inflated)) {
      ++failedInflations_;
      return;
    }
    picturePath = inflated;
  }
  if (!handlers_.detect(picturePath)) {
    log_.Write(Format(document_text::kLogUnknown, k), true);
    return;
  }
  EmbeddedPicture picture;
  picture.number = static_cast<int>(index);
  picture.sourcePath = picturePath;
  // The size the data has in the document, before inflation: that is what a
  // rewritten picture has to beat.
  picture.originalSize = static_cast<int32_t>(stored);
  PictureOutcome outcome = handlers_.process(picture, options_, log_, temp_);
  // A bitmap is no output of picture processing, and the size rule is checked again
  // here, whatever picture processing decided.
  if (!outcome.Replaces() || *outcome.replacement == PictureKind::kBmp ||
      outcome.rewrittenPath.empty() ||
      !IsSmallerThanOriginal(GetFileSize32(outcome.rewrittenPath), picture.originalSize)) {
    return;
  }
  item.outcome = std::move(outcome);
}


ProcessorResult HwpmlRun::Run() {
  if (auto failure = CheckDocument()) return *failure;

  log_.Write(document_text::kLogHeading, true);
  log_.Write(document_text::kLogHwpmlType, true);
  log_.Write(document_text::kLogSource + Backquoted(source_), true);
  log_.Write(document_text::kLogTarget + Backquoted(target_), true);

  if (auto failure = ReadList()) return *failure;
  ShowProgressState(host_, ProgressState::kRunning);
  if (auto failure = IndexStorage()) return *failure;
  if (auto failure = PairItems()) return *failure;
  if (!InOrder()) return Fail(document_text::kLogOrder, document_text::kHwpmlOrder, true);

  for (size_t i = 0; i < items_.size(); ++i) {
    if (platform::StopRequested()) {
      return Fail(document_text::kLogStopped, document_text::kStopped, true);
    }
    ShowProgress(host_, i + 1, Total());
    log_.Write("", false);
    log_.Write(Format(document_text::kLogProcessing, static_cast<int>(i + 1)), true);
    ProcessItem(i);
  }
  ShowProgress(host_, items_.size() + 1, Total());
  log_.Write("", false);
  return WriteTarget();
}


}  // namespace hwpml_detail

bool CopyRange(std::FILE* source, int64_t first, int64_t last, platform::AtomicFile& target) {
  if (last < first) return true;
  if (source == nullptr || first < 0 || first > static_cast<int64_t>(LONG_MAX) ||
      std::fseek(source, static_cast<long>(first), SEEK_SET) != 0) {
    return false;
  }
  std::vector<char> chunk(65536);
  int64_t remaining = last - first + 1;
  while (remaining > 0) {
    // A stopped job leaves no target: the caller's AtomicFile removes what was written.
    if (platform::StopRequested()) return false;
    const size_t want = static_cast<size_t>(std::min<int64_t>(remaining, 65536));
    const size_t got = std::fread(chunk.data(), 1, want, source);
    if (got == 0) return false;
    if (!target.Write(chunk.data(), got)) return false;
    remaining -= static_cast<int64_t>(got);
  }
  return true;
}

PictureHandlers StandardPictureHandlers() {
  return {DetectPictureKind, StandardPictureProcessor()};
}

ProcessorResult ShrinkHwpmlWith(const std::string& source, const std::string& target,
                                const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                                JobHost* host, int& failedInflations,
                                const PictureHandlers& handlers) {
  hwpml_detail::HwpmlRun run(source, target, options, log, temp, host, failedInflations, handlers);
  return run.Run();
}

ProcessorResult ShrinkHwpml(const std::string& source, const std::string& target,
                            const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                            JobHost* host, int& failedInflations) {
  return ShrinkHwpmlWith(source, target, options, log, temp, host, failedInflations,
                         StandardPictureHandlers());
}


}  // namespace velmora
