#include "document/hwpx.h"

#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "core/text.h"
#include "core/worker_pool.h"
#include "document/manifest.h"
#include "document/messages.h"
#include "document/picture_frames.h"
#include "document/zip_archive.h"
#include "picture/picture_processing.h"
#include "platform/platform.h"

namespace velmora {

namespace {

const char kManifestName[] = "Contents/content.hpf";
const char kItemOpen[] = "<opf:item ";
const char kMimeType[] = "application/hwp+zip";

// One item tag of the manifest and what becomes of it. The lines of an item are
// gathered in its own buffer while its picture is processed beside the others, and
// reach the process log in manifest order.
struct ManifestItem {
  size_t before = 0;  // where the text in front of the tag starts
  size_t start = 0;   // the tag's "<"
  size_t end = 0;     // its ">"
  ItemAttributes attributes;
  std::optional<PictureKind> kind;
  bool embedded = false;
  BufferedLog log;
  std::unique_ptr<TempFiles> files;  // the picture's own scope of temporary files
  EmbeddedPicture picture;
  PictureOutcome outcome;

  bool HasPicture() const { return attributes.filled == 4 && kind && embedded; }
};

// Context of one run over the manifest.
class HwpxRun {
 public:
  HwpxRun(const ShrinkOptions& options, ProcessLog& log, TempFiles& temp, JobHost* host,
          ZipArchive& zip, const PictureProcessor& processPicture, WorkerPool& pool,
          int64_t manifestTime)
      : options_(options), log_(log), temp_(temp), host_(host), zip_(zip),
        processPicture_(processPicture), pool_(pool), manifestTime_(manifestTime) {}

  // Walks the manifest's item tags; false when the archive could not be changed.
  bool RewriteManifest(const std::string& manifest, std::string& output);
  int ItemCount() const { return static_cast<int>(items_.size()); }

 private:
  void FindItems(const std::string& manifest);
  // Copies the item's picture out of the package for picture processing.
  void Extract(ManifestItem& item);
  void Process(ManifestItem& item);
  bool ReplaceEntry(const ItemAttributes& item, const PictureOutcome& outcome, bool selfClosing,
                    std::string& output);
  std::string FreeEntryName(int number, PictureKind kind);

  const ShrinkOptions& options_;
  ProcessLog& log_;
  TempFiles& temp_;
  JobHost* host_;
  ZipArchive& zip_;
  const PictureProcessor& processPicture_;
  WorkerPool& pool_;
  int64_t manifestTime_;
  std::vector<std::unique_ptr<ManifestItem>> items_;
  size_t tail_ = 0;  // where the text after the last item tag starts
  std::set<std::string> addedNames_;
};

void HwpxRun::FindItems(const std::string& manifest) {
  const auto length = static_cast<long long>(manifest.size());
  long long i = 0;
  while (i < length) {
    const long long w = FindBytes(manifest, kItemOpen, i);
    const long long e = w < 0 ? -1 : FindBytes(manifest, ">", w);
    if (w < 0 || e < 0) break;
    auto item = std::make_unique<ManifestItem>();
    item->before = static_cast<size_t>(i);
    item->start = static_cast<size_t>(w);
    item->end = static_cast<size_t>(e);
    const std::string_view tag(manifest.data() + w, static_cast<size_t>(e - w + 1));
    // The attributes start at the space after "<opf:item".
    item->attributes = SelectItemAttributes(ParseTagAttributes(tag.substr(9)));
    item->kind = MediaTypeKind(item->attributes.slots[kSlotMediaType]);
    item->embedded = IsEmbeddedFlag(item->attributes.slots[kSlotIsEmbeded]);
    items_.push_back(std::move(item));
    i = e + 1;
  }
  tail_ = static_cast<size_t>(i);
}

bool HwpxRun::RewriteManifest(const std::string& manifest, std::string& output) {
  FindItems(manifest);
  const int total = ItemCount();
  log_.Write(Format(document_text::kLogItemTags, total), true);
  ShowProgressState(host_, ProgressState::kRunning);

  int pictures = 0;
  for (const auto& item : items_) pictures += item->HasPicture() ? 1 : 0;
  ProgressReporter progress(host_, static_cast<uint64_t>(total) + 2, pictures);
  {
    // The package is read here, one picture after another; the pictures are
    // processed by the pool while the next ones are read.
    WorkerPool::Batch batch(pool_);
    int k = 0;
    for (const auto& owned : items_) {
      ManifestItem& item = *owned;
      item.log.Write("", false);
      item.log.Write(Format(document_text::kLogProcessing, ++k), true);
      const std::string_view tag(manifest.data() + item.start, item.end - item.start + 1);
      item.log.Write(Backquoted(BytesAsText(tag)), true);
      if (!item.HasPicture()) {
        progress.Step();
        continue;
      }
      Extract(item);
      batch.Add([this, &item, &progress] {
        Process(item);
        const int32_t after =
            item.outcome.Replaces() ? GetFileSize32(item.outcome.rewrittenPath) : 0;
        progress.PictureDone(item.outcome.Replaces() ? item.picture.originalSize - after : 0);
      });
    }
  }

  // Everything that changes the package happens here, in manifest order, so that the
  // target does not depend on which picture finished first.
  for (const auto& owned : items_) {
    ManifestItem& item = *owned;
    item.log.FlushTo(log_);
    output.append(manifest, item.before, item.start - item.before);
    const std::string_view tag(manifest.data() + item.start, item.end - item.start + 1);
    if (item.outcome.Replaces()) {
      const bool selfClosing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
      if (!ReplaceEntry(item.attributes, item.outcome, selfClosing, output)) return false;
    } else {
      log_.Write(document_text::kLogNothingToDo, true);
      output.append(tag);
    }
  }
  output.append(manifest, tail_, std::string::npos);
  return true;
}

void HwpxRun::Extract(ManifestItem& item) {
  const std::string extracted = temp_.NewName(ExtensionOf(*item.kind), false);
  temp_.Register(extracted);
  const std::string& href = item.attributes.slots[kSlotHref];
  if (std::optional<ZipEntry> entry = zip_.Find(href, false); entry && entry->IsFile()) {
    zip_.ExtractToFile(*entry, extracted, kMaxPictureBytes);
  }
  item.files = std::make_unique<TempFiles>(temp_, extracted);
  item.picture.number = TrailingNumber(item.attributes.slots[kSlotId]);
  item.picture.sourcePath = extracted;
  item.picture.originalSize = GetFileSize32(extracted);
  item.picture.item = item.attributes.slots[kSlotId];
}

// Runs on a worker: touches nothing but the item.
void HwpxRun::Process(ManifestItem& item) {
  PictureOutcome outcome = processPicture_(item.picture, options_, item.log, *item.files);
  // The size rule is checked again here, whatever picture processing decided.
  if (outcome.Replaces() &&
      IsSmallerThanOriginal(GetFileSize32(outcome.rewrittenPath), item.picture.originalSize)) {
    item.outcome = std::move(outcome);
  }
}

std::string HwpxRun::FreeEntryName(int number, PictureKind kind) {
  // A name that another entry of the package still uses takes the next free number,
  // so that replacing one picture never overwrites another.
  for (long long n = number;; ++n) {
    std::string name = Format("BinData/image%lld.%s", n, ExtensionOf(kind));
    if (!zip_.Find(name, false) && addedNames_.count(name) == 0) return name;
  }
}

bool HwpxRun::ReplaceEntry(const ItemAttributes& item, const PictureOutcome& outcome,
                           bool selfClosing, std::string& output) {
  const std::string& href = item.slots[kSlotHref];
  size_t dot = href.rfind('.');
  const int number = TrailingNumber(dot == std::string::npos ? std::string_view(href)
                                                             : std::string_view(href).substr(0, dot));
  std::optional<ZipEntry> old = zip_.Find(href, false);
  // The new entry carries the time of the one it replaces.
  const int64_t mtime = old ? old->mtime : manifestTime_;
  if (old && !zip_.Delete(*old)) {
    log_.Write(Format(document_text::kLogDeleteFailed, BytesAsText(href).c_str()), true);
    return false;
  }
  const std::string name = FreeEntryName(number, *outcome.replacement);
  if (!zip_.AddFile(name, outcome.rewrittenPath, mtime)) {
    log_.Write(Format(document_text::kLogAddFailed, name.c_str()), true);
    return false;
  }
  addedNames_.insert(name);
  // A tag that was not self-closing keeps its form so that its closing tag still
  // matches.
  output += Format("<opf:item id=\"%s\" href=\"%s\" media-type=\"%s\" isEmbeded=\"1\"%s",
                   item.slots[kSlotId].c_str(), name.c_str(), KindMediaType(*outcome.replacement),
                   selfClosing ? "/>" : ">");
  return true;
}

// The package's own checks: a zip archive with entries and the HWPX mime type.
std::optional<ProcessorResult> CheckPackage(ZipArchive& zip, const std::string& path) {
  if (!zip.OpenForUpdate(path)) return ProcessorResult{false, document_text::kHwpxNotZip};
  if (zip.EntryCount() <= 0) return ProcessorResult{false, document_text::kHwpxNoEntries};
  std::optional<ZipEntry> mime = zip.Find("mimetype", true);
  if (!mime || !mime->IsFile()) return ProcessorResult{false, document_text::kHwpxNoMime};
  std::optional<std::string> mimeBytes = zip.ReadWhole(*mime, 64);
  if (!mimeBytes || *mimeBytes != kMimeType) {
    return ProcessorResult{false, document_text::kHwpxWrongMime};
  }
  return std::nullopt;
}

// The manifest's bytes and the time of its entry.
std::optional<std::string> ReadManifest(ZipArchive& zip, ProcessLog& log, int64_t& mtime) {
  std::optional<ZipEntry> entry = zip.Find(kManifestName, false);
  std::optional<std::string> manifest;
  if (entry && entry->IsFile()) {
    manifest = zip.ReadWhole(*entry, kMaxManifestBytes);
    mtime = entry->mtime;
  }
  if (!manifest) log.Write(document_text::kLogNoManifest, true);
  return manifest;
}

void LogHeading(ProcessLog& log, const std::string& source, const std::string& target) {
  log.Write(document_text::kLogHeading, true);
  log.Write(document_text::kLogHwpxType, true);
  log.Write(document_text::kLogSource + Backquoted(source), true);
  log.Write(document_text::kLogTarget + Backquoted(target), true);
  log.Write("", false);
}

ProcessorResult WriteFailed(JobHost* host, const char* logLine, ProcessLog& log) {
  if (logLine != nullptr) log.Write(logLine, true);
  ShowProgressState(host, ProgressState::kHidden);
  return {false, document_text::kHwpxWriteFailed};
}

}  // namespace

ProcessorResult ShrinkHwpx(const std::string& source, const std::string& target,
                           const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                           JobHost* host, WorkerPool* pool) {
  return ShrinkHwpxWith(source, target, options, log, temp, host, StandardPictureProcessor(),
                        pool);
}

ProcessorResult ShrinkHwpxWith(const std::string& source, const std::string& target,
                               const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                               JobHost* host, const PictureProcessor& processPicture,
                               WorkerPool* pool) {
  const std::string workingCopy = temp.NewName("zip", false);
  temp.Register(workingCopy);
  if (!platform::CopyFileReplace(source, workingCopy) || GetFileSize32(workingCopy) <= 0) {
    return {false, document_text::kHwpxOpenFailed};
  }
  ZipArchive zip;
  if (auto failure = CheckPackage(zip, workingCopy)) return *failure;
  LogHeading(log, source, target);
  // New entries carry the manifest's time: the target depends on the document alone.
  int64_t manifestTime = 0;
  const std::optional<std::string> manifest = ReadManifest(zip, log, manifestTime);
  if (!manifest) return {false, document_text::kHwpxNoManifest};

  std::string output;
  output.reserve(manifest->size() * 3 + 10);
  // Whatever a picture throws stays with that picture: it keeps its bytes. Where the
  // pictures are shown is read only for a printing density.
  const PictureFrames frames = options.ppi > 0 ? ReadHwpxFrames(zip, *manifest) : PictureFrames();
  ResampleCounter resampled;
  const PictureProcessor isolated = CountingResampled(
      IsolatingFailures(WithPictureUses(processPicture, frames)), resampled);
  WorkerPool serial(1);
  HwpxRun run(options, log, temp, host, zip, isolated, pool != nullptr ? *pool : serial,
              manifestTime);
  if (!run.RewriteManifest(*manifest, output)) return WriteFailed(host, nullptr, log);

  const auto steps = static_cast<uint64_t>(run.ItemCount()) + 2;
  ShowProgress(host, steps - 1, steps);
  if (!zip.AddData(kManifestName, output.data(), output.size(), manifestTime)) {
    return WriteFailed(host, document_text::kLogManifestFailed, log);
  }
  if (!zip.Close()) return WriteFailed(host, document_text::kLogPackageFailed, log);
  ShowProgress(host, steps, steps);

  // The target is replaced only by a complete copy; a failure leaves an existing
  // target as it was.
  if (!platform::CopyFileAtomically(workingCopy, target)) {
    ShowProgressState(host, ProgressState::kHidden);
    return {false, document_text::kHwpxCopyFailed};
  }
  log.Write("", false);
  return {true, {}, resampled.Pictures(), resampled.SavedBytes()};
}

}  // namespace velmora
