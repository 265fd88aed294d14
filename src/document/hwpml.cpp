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
#include "image/deflate.h"
#include "picture/picture_processing.h"

namespace velmora {

namespace hwpml_detail {

namespace {

// Items are compressed again whole in memory, so only up to this size.
constexpr uint64_t kMaxRecompressedItem = 256ull << 20;

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


bool HwpmlRun::PrepareItem(size_t index) {
  ListItem& item = items_[index];
  const long long k = static_cast<long long>(index) + 1;
  item.log.Write("", false);
  item.log.Write(Format(document_text::kLogProcessing, static_cast<int>(k)), true);
  if (item.data < 0) {
    item.log.Write(Format(document_text::kLogDataOutside, k), true);
    item.outcome = PictureOutcome::Keep(PictureDecision::kDataOutside);
    return false;
  }
  const DataElement& data = data_[static_cast<size_t>(item.data)];
  const std::string decoded = temp_.NewName(DataExtension(item.listedKind), data.compressed);
  temp_.Register(decoded);
  int64_t stored = 0;
  if (!DecodeData(data, decoded, stored)) {
    item.log.Write(Format(document_text::kLogDecodingFailed, k), true);
    item.outcome = PictureOutcome::Keep(PictureDecision::kDecodingFailed);
    return false;
  }
  item.storedBytes = stored;
  if (data.size >= 0 && data.size != stored) {
    item.log.Write(Format(document_text::kLogSizeDiffers, k, static_cast<long long>(data.size),
                          static_cast<long long>(stored)),
                   true);
  }
  // Sizes travel as 32-bit numbers through picture processing.
  if (stored > kMaxInflatedBytes) {
    item.outcome = PictureOutcome::Keep(PictureDecision::kTooLarge);
    return false;
  }
  item.files = std::make_unique<TempFiles>(temp_, decoded);
  item.compressed = data.compressed;
  item.picture.number = static_cast<int>(index);
  item.picture.sourcePath = decoded;
  // The size the data has in the document, before inflation: that is what a
  // rewritten picture has to beat.
  item.picture.originalSize = static_cast<int32_t>(stored);
  if (options_.ppi > 0) item.picture.uses = UsesOf(index);
  return true;
}

PictureUses HwpmlRun::UsesOf(size_t index) const {
  // A picture names its item by the item's place in the list. An item whose own number
  // is another place could be meant by either name, so neither is trusted.
  const auto place = static_cast<int64_t>(index) + 1;
  const ListItem& item = items_[index];
  if (item.number && *item.number != place) {
    PictureUses uses;
    uses.problem = KeepReason::kOtherUse;
    uses.detail = Format("BINITEM BinData=\"%lld\" at place %lld",
                         static_cast<long long>(*item.number), static_cast<long long>(place));
    return uses;
  }
  return frames_.UsesOf(std::to_string(place));
}

void HwpmlRun::ProcessItem(ListItem& item, std::atomic<int>& failedInflations) {
  const long long k = item.picture.number + 1LL;
  std::string inflated;
  if (item.compressed) {
    inflated = item.files->NewName(DataExtension(item.listedKind), false);
    item.files->Register(inflated);
    if (!InflateFile(item.picture.sourcePath, inflated)) {
      ++failedInflations;
      item.outcome = PictureOutcome::Keep(PictureDecision::kInflationFailed);
      return;
    }
    item.picture.sourcePath = inflated;
  }
  item.kindIn = handlers_.detect(item.picture.sourcePath);
  if (!item.kindIn) {
    item.log.Write(Format(document_text::kLogUnknown, k), true);
    item.outcome = PictureOutcome::Keep(PictureDecision::kNotAPicture);
    CompressAgain(item, inflated);
    return;
  }
  PictureOutcome outcome = handlers_.process(item.picture, options_, item.log, *item.files);
  if (!outcome.Replaces()) {
    item.outcome = PictureOutcome::Keep(outcome.decision);
    CompressAgain(item, inflated);
    return;
  }
  // A bitmap is no output of picture processing, and the size rule is checked again
  // here, whatever picture processing decided.
  if (*outcome.replacement == PictureKind::kBmp || outcome.rewrittenPath.empty()) {
    item.outcome = PictureOutcome::Keep(PictureDecision::kVerificationFailed);
    CompressAgain(item, inflated);
    return;
  }
  if (!IsSmallerThanOriginal(GetFileSize32(outcome.rewrittenPath), item.picture.originalSize)) {
    item.outcome = PictureOutcome::Keep(PictureDecision::kNotSmaller);
    CompressAgain(item, inflated);
    return;
  }
  item.outcome = std::move(outcome);
}

void HwpmlRun::CompressAgain(ListItem& item, const std::string& inflated) {
  if (options_.classic || !item.compressed || inflated.empty()) return;
  const std::optional<std::string> content = platform::ReadFileBytes(inflated, kMaxRecompressedItem);
  if (!content) return;
  const std::optional<std::string> deflated =
      Deflate(*content, kStrongestDeflate, DeflateFormat::kRaw);
  if (!deflated || static_cast<int64_t>(deflated->size()) >= item.picture.originalSize ||
      !InflatesTo(*deflated, *content, DeflateFormat::kRaw)) {
    return;
  }
  const std::string path = item.files->NewName("bin", false);
  item.files->Register(path);
  if (!platform::WriteFileBytes(path, *deflated)) return;
  item.recompressedPath = path;
  item.recompressedSize = static_cast<int64_t>(deflated->size());
  item.log.Write(Format(document_text::kLogDeflatedAgain, item.picture.number + 1LL,
                        static_cast<long long>(item.picture.originalSize),
                        static_cast<long long>(item.recompressedSize)),
                 true);
}

bool HwpmlRun::ProcessItems() {
  int pictures = 0;
  for (const ListItem& item : items_) pictures += item.data >= 0 ? 1 : 0;
  ProgressReporter progress(host_, Total(), pictures);
  std::atomic<int> failedInflations{0};
  bool stopped = false;
  {
    // The document is read here, one item after another; the pictures are processed
    // by the pool while the next ones are read.
    WorkerPool::Batch batch(pool_);
    for (size_t i = 0; i < items_.size(); ++i) {
      // A stopped job reads no more items; those queued already give up at once.
      if (platform::StopRequested()) {
        stopped = true;
        break;
      }
      ListItem& item = items_[i];
      if (!PrepareItem(i)) {
        if (item.data >= 0) {
          progress.PictureDone(0);
        } else {
          progress.Step();
        }
        continue;
      }
      batch.Add([this, &item, &progress, &failedInflations] {
        if (!platform::StopRequested()) ProcessItem(item, failedInflations);
        const int64_t saved =
            item.outcome.Replaces()
                ? item.picture.originalSize - GetFileSize32(item.outcome.rewrittenPath)
                : 0;
        progress.PictureDone(saved);
      });
    }
  }
  failedInflations_ = failedInflations.load();
  // The items' lines reach the log in document order, whichever finished first.
  for (ListItem& item : items_) item.log.FlushTo(log_);
  if (stopped || platform::StopRequested()) return false;
  progress.StepTo(items_.size() + 1);
  return true;
}

std::vector<PictureRecord> HwpmlRun::Records() const {
  std::vector<PictureRecord> records;
  records.reserve(items_.size());
  for (size_t i = 0; i < items_.size(); ++i) {
    const ListItem& item = items_[i];
    PictureRecord record;
    record.index = static_cast<int>(i) + 1;
    // An item without a number is known by its place in the list.
    record.name = item.number ? item.numberText : Format("#%d", record.index);
    record.targetName = record.name;
    record.kindIn = item.kindIn;
    record.bytesBefore = item.storedBytes;
    RecordOutcome(item.outcome,
                  item.recompressedPath.empty() ? item.storedBytes : item.recompressedSize,
                  record);
    records.push_back(std::move(record));
  }
  return records;
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
  // Where the pictures are shown matters only for a printing density.
  if (options_.ppi > 0) frames_ = ReadHwpmlFrames(xml_);

  if (!ProcessItems()) return Fail(document_text::kLogStopped, document_text::kStopped, true);
  log_.Write("", false);
  ProcessorResult result = WriteTarget();
  if (result.success) result.pictures = Records();
  return result;
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
                                const PictureHandlers& handlers, WorkerPool* pool) {
  // Whatever a picture throws stays with that picture: it keeps its bytes.
  ResampleCounter resampled;
  const PictureHandlers isolated{
      handlers.detect, CountingResampled(IsolatingFailures(handlers.process), resampled)};
  WorkerPool serial(1);
  hwpml_detail::HwpmlRun run(source, target, options, log, temp, host, failedInflations, isolated,
                             pool != nullptr ? *pool : serial);
  ProcessorResult result = run.Run();
  result.resampled = resampled.Pictures();
  result.resampledSaving = resampled.SavedBytes();
  return result;
}

ProcessorResult ShrinkHwpml(const std::string& source, const std::string& target,
                            const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                            JobHost* host, int& failedInflations, WorkerPool* pool) {
  return ShrinkHwpmlWith(source, target, options, log, temp, host, failedInflations,
                         StandardPictureHandlers(), pool);
}


}  // namespace velmora
