#include "document/hwpx.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "core/text.h"
#include "core/worker_pool.h"
#include "document/manifest.h"
#include "document/messages.h"
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
  // An earlier item names the same entry: its picture is processed once, for that
  // item, and this one follows what became of it.
  bool follower = false;
  BufferedLog log;
  std::unique_ptr<TempFiles> files;  // the picture's own scope of temporary files
  EmbeddedPicture picture;
  PictureOutcome outcome;

  bool HasPicture() const { return attributes.filled == 4 && kind && embedded; }
  const std::string& Href() const { return attributes.slots[kSlotHref]; }
};

// Context of one run over the manifest.
class HwpxRun {
 public:
  HwpxRun(const ShrinkOptions& options, ProcessLog& log, TempFiles& temp, JobHost* host,
          ZipArchive& zip, const PictureProcessor& processPicture, WorkerPool& pool)
      : options_(options), log_(log), temp_(temp), host_(host), zip_(zip),
        processPicture_(processPicture), pool_(pool) {}

  // Walks the manifest's item tags; false when the archive could not be changed, or
  // when the job was asked to stop (Stopped).
  bool RewriteManifest(const std::string& manifest, std::string& output);
  int ItemCount() const { return static_cast<int>(items_.size()); }
  // Removes the entries whose pictures were replaced, unless an item still names one.
  bool RemoveReplacedEntries();
  // True when some picture was replaced: the package then has to be written anew.
  bool Changed() const { return !replaced_.empty(); }
  bool Stopped() const { return stopped_; }

 private:
  // The new entry that took the place of a replaced one.
  struct Replacement {
    std::string name;
    PictureKind kind;
  };

  // Finds the item tags outside comments, CDATA sections and processing instructions:
  // tags inside those are text, copied with it.
  void FindItems(const std::string& manifest);
  // Reads the pictures out of the package and has the pool process them; false when
  // the job was asked to stop meanwhile.
  bool ProcessPictures(const std::string& manifest);
  // Copies the item's picture out of the package for picture processing.
  void Extract(ManifestItem& item);
  void Process(ManifestItem& item);
  bool ReplaceEntry(const ItemAttributes& item, const PictureOutcome& outcome, bool selfClosing,
                    std::string& output);
  std::string FreeEntryName(int number, PictureKind kind, const std::string& replacing);
  void AppendItemTag(const ItemAttributes& item, const Replacement& entry, bool selfClosing,
                     std::string& output);
  // The item lines not yet in the process log, in manifest order.
  void FlushItemLogs();

  const ShrinkOptions& options_;
  ProcessLog& log_;
  TempFiles& temp_;
  JobHost* host_;
  ZipArchive& zip_;
  const PictureProcessor& processPicture_;
  WorkerPool& pool_;
  std::vector<std::unique_ptr<ManifestItem>> items_;
  size_t tail_ = 0;  // where the text after the last item tag starts
  std::set<std::string> addedNames_;
  // Replaced entries by the href that named them: a later item naming the same entry
  // shares its replacement, so that every item still names an entry.
  std::map<std::string, Replacement> replaced_;
  // The old entries to remove once the walk is over, and the hrefs that item tags kept
  // as they were: an entry one of them names stays.
  std::vector<std::pair<std::string, ZipEntry>> oldEntries_;
  std::set<std::string> keptHrefs_;
  bool stopped_ = false;
};

void HwpxRun::FindItems(const std::string& manifest) {
  const auto length = static_cast<long long>(manifest.size());
  std::set<std::string> pictureHrefs;
  long long i = 0;
  while (i < length) {
    const long long w = FindMarkupOutsideComments(manifest, kItemOpen, i);
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
    item->follower = item->HasPicture() && !pictureHrefs.insert(item->Href()).second;
    items_.push_back(std::move(item));
    i = e + 1;
  }
  tail_ = static_cast<size_t>(i);
}

bool HwpxRun::ProcessPictures(const std::string& manifest) {
  int pictures = 0;
  for (const auto& item : items_) pictures += item->HasPicture() && !item->follower ? 1 : 0;
  ProgressReporter progress(host_, static_cast<uint64_t>(ItemCount()) + 2, pictures);
  // The package is read here, one picture after another; the pictures are processed
  // by the pool while the next ones are read. The batch waits for them at its end.
  WorkerPool::Batch batch(pool_);
  int k = 0;
  for (const auto& owned : items_) {
    // A stopped job reads no more pictures; those queued already give up at once.
    if (platform::StopRequested()) return false;
    ManifestItem& item = *owned;
    item.log.Write("", false);
    item.log.Write(Format(document_text::kLogProcessing, ++k), true);
    const std::string_view tag(manifest.data() + item.start, item.end - item.start + 1);
    item.log.Write(Backquoted(BytesAsText(tag)), true);
    if (!item.HasPicture() || item.follower) {
      progress.Step();
      continue;
    }
    Extract(item);
    batch.Add([this, &item, &progress] {
      if (!platform::StopRequested()) Process(item);
      const int32_t after = item.outcome.Replaces() ? GetFileSize32(item.outcome.rewrittenPath) : 0;
      progress.PictureDone(item.outcome.Replaces() ? item.picture.originalSize - after : 0);
    });
  }
  return true;
}

void HwpxRun::FlushItemLogs() {
  for (const auto& item : items_) item->log.FlushTo(log_);
}

bool HwpxRun::RewriteManifest(const std::string& manifest, std::string& output) {
  FindItems(manifest);
  log_.Write(Format(document_text::kLogItemTags, ItemCount()), true);
  ShowProgressState(host_, ProgressState::kRunning);

  // A stopped job writes nothing; the caller sees it and gives up the package.
  if (!ProcessPictures(manifest) || platform::StopRequested()) {
    FlushItemLogs();
    stopped_ = true;
    return false;
  }

  // Everything that changes the package happens here, in manifest order, so that the
  // target does not depend on which picture finished first.
  for (const auto& owned : items_) {
    ManifestItem& item = *owned;
    item.log.FlushTo(log_);
    output.append(manifest, item.before, item.start - item.before);
    const std::string_view tag(manifest.data() + item.start, item.end - item.start + 1);
    const bool selfClosing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
    // Only an item whose picture would be processed shares; any other keeps its tag
    // as it is.
    const auto shared = item.follower ? replaced_.find(item.Href()) : replaced_.end();
    if (shared != replaced_.end()) {
      // The entry was replaced for an earlier item: this one names the new entry too.
      log_.Write(Format(document_text::kLogSharedEntry, BytesAsText(shared->first).c_str(),
                        shared->second.name.c_str()),
                 true);
      AppendItemTag(item.attributes, shared->second, selfClosing, output);
    } else if (item.outcome.Replaces()) {
      if (!ReplaceEntry(item.attributes, item.outcome, selfClosing, output)) return false;
    } else {
      log_.Write(document_text::kLogNothingToDo, true);
      output.append(tag);
      keptHrefs_.insert(item.Href());
    }
  }
  output.append(manifest, tail_, std::string::npos);
  return true;
}

void HwpxRun::Extract(ManifestItem& item) {
  const std::string extracted = temp_.NewName(ExtensionOf(*item.kind), false);
  temp_.Register(extracted);
  if (std::optional<ZipEntry> entry = zip_.Find(item.Href(), false); entry && entry->IsFile()) {
    zip_.ExtractToFile(*entry, extracted, kMaxPictureBytes);
  }
  item.files = std::make_unique<TempFiles>(temp_, extracted);
  item.picture.number = TrailingNumber(item.attributes.slots[kSlotId]);
  item.picture.sourcePath = extracted;
  item.picture.originalSize = GetFileSize32(extracted);
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

std::string HwpxRun::FreeEntryName(int number, PictureKind kind, const std::string& replacing) {
  // A name that another entry of the package still uses takes the next free number,
  // so that replacing one picture never overwrites another; the replaced entry's own
  // name is free, and the new bytes then take its place.
  for (long long n = number;; ++n) {
    std::string name = Format("BinData/image%lld.%s", n, ExtensionOf(kind));
    if ((name == replacing || !zip_.Find(name, false)) && addedNames_.count(name) == 0) {
      return name;
    }
  }
}

void HwpxRun::AppendItemTag(const ItemAttributes& item, const Replacement& entry,
                            bool selfClosing, std::string& output) {
  // A tag that was not self-closing keeps its form so that its closing tag still
  // matches.
  output += Format("<opf:item id=\"%s\" href=\"%s\" media-type=\"%s\" isEmbeded=\"1\"%s",
                   item.slots[kSlotId].c_str(), entry.name.c_str(), KindMediaType(entry.kind),
                   selfClosing ? "/>" : ">");
}

bool HwpxRun::ReplaceEntry(const ItemAttributes& item, const PictureOutcome& outcome,
                           bool selfClosing, std::string& output) {
  const std::string& href = item.slots[kSlotHref];
  size_t dot = href.rfind('.');
  const int number = TrailingNumber(dot == std::string::npos ? std::string_view(href)
                                                             : std::string_view(href).substr(0, dot));
  std::optional<ZipEntry> old = zip_.Find(href, false);
  if (!old) return false;  // Extract hands on no picture without an entry
  // The new entry looks like the one it replaces: its attributes and its time, so
  // that the target depends on the document alone, not on when it was written.
  const std::string name = FreeEntryName(number, *outcome.replacement, old->name);
  if (!zip_.AddFileLike(name, outcome.rewrittenPath, *old)) {
    log_.Write(Format(document_text::kLogAddFailed, name.c_str()), true);
    return false;
  }
  addedNames_.insert(name);
  // The old entry goes only after the walk, when it is known that no item names it.
  if (name != old->name) oldEntries_.emplace_back(href, *old);
  const Replacement& entry =
      replaced_.insert_or_assign(href, Replacement{name, *outcome.replacement}).first->second;
  AppendItemTag(item, entry, selfClosing, output);
  return true;
}

bool HwpxRun::RemoveReplacedEntries() {
  for (const auto& [href, entry] : oldEntries_) {
    if (keptHrefs_.count(href) != 0) {
      log_.Write(Format(document_text::kLogEntryStillNamed, BytesAsText(href).c_str()), true);
      continue;
    }
    if (!zip_.Delete(entry)) {
      log_.Write(Format(document_text::kLogDeleteFailed, BytesAsText(href).c_str()), true);
      return false;
    }
  }
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

std::optional<std::string> ReadManifest(ZipArchive& zip, ProcessLog& log) {
  std::optional<ZipEntry> entry = zip.Find(kManifestName, false);
  std::optional<std::string> manifest;
  if (entry && entry->IsFile()) manifest = zip.ReadWhole(*entry, kMaxManifestBytes);
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

ProcessorResult Stopped(JobHost* host, ProcessLog& log) {
  log.Write(document_text::kLogStopped, true);
  ShowProgressState(host, ProgressState::kHidden);
  return {false, document_text::kStopped};
}

// The source copied into the working copy; the failure's message when that failed.
std::optional<ProcessorResult> CopySource(const std::string& source,
                                          const std::string& workingCopy, ProcessLog& log) {
  const platform::CopyOutcome copy = platform::CopyFileReporting(source, workingCopy);
  if (copy.result != platform::CopyResult::kCopied) {
    log.Write(Format(document_text::kLogWorkingCopyFailed, workingCopy.c_str(),
                     copy.reason.c_str()),
              true);
  }
  switch (copy.result) {
    case platform::CopyResult::kCopied: break;
    case platform::CopyResult::kReadFailed: return ProcessorResult{false, document_text::kHwpxOpenFailed};
    case platform::CopyResult::kNoSpace: return ProcessorResult{false, document_text::kTempFolderFull};
    case platform::CopyResult::kWriteFailed:
      return ProcessorResult{false, document_text::kTempFolderUnwritable};
  }
  if (GetFileSize32(workingCopy) <= 0) return ProcessorResult{false, document_text::kHwpxOpenFailed};
  return std::nullopt;
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
  if (auto failure = CopySource(source, workingCopy, log)) return *failure;
  ZipArchive zip;
  if (auto failure = CheckPackage(zip, workingCopy)) return *failure;
  LogHeading(log, source, target);
  // Readers take different ones of two entries with one name; no rewrite can keep
  // what each of them shows.
  if (std::optional<std::string> repeated = zip.RepeatedName()) {
    log.Write(Format(document_text::kLogRepeatedEntry, BytesAsText(*repeated).c_str()), true);
    return {false, document_text::kHwpxRepeatedEntry};
  }
  const std::optional<std::string> manifest = ReadManifest(zip, log);
  if (!manifest) return {false, document_text::kHwpxNoManifest};

  std::string output;
  output.reserve(manifest->size() * 3 + 10);
  // Whatever a picture throws stays with that picture: it keeps its bytes.
  const PictureProcessor isolated = IsolatingFailures(processPicture);
  WorkerPool serial(1);
  HwpxRun run(options, log, temp, host, zip, isolated, pool != nullptr ? *pool : serial);
  if (!run.RewriteManifest(*manifest, output)) {
    if (run.Stopped()) return Stopped(host, log);
    return WriteFailed(host, nullptr, log);
  }
  if (!run.RemoveReplacedEntries()) return WriteFailed(host, nullptr, log);

  const auto steps = static_cast<uint64_t>(run.ItemCount()) + 2;
  ShowProgress(host, steps - 1, steps);
  // With no picture replaced the package is not written again: the target gets the
  // source's bytes, never a larger copy of them.
  if (run.Changed()) {
    std::optional<ZipEntry> manifestEntry = zip.Find(kManifestName, false);
    if (!manifestEntry ||
        !zip.AddDataLike(kManifestName, output.data(), output.size(), *manifestEntry)) {
      return WriteFailed(host, document_text::kLogManifestFailed, log);
    }
    if (!zip.Close()) {
      if (platform::StopRequested()) return Stopped(host, log);
      return WriteFailed(host, document_text::kLogPackageFailed, log);
    }
  }
  ShowProgress(host, steps, steps);

  // The target is replaced only by a complete copy; a failure leaves an existing
  // target as it was. A new target gets no more permissions than the source has.
  if (!platform::CopyFileAtomically(workingCopy, target, source)) {
    ShowProgressState(host, ProgressState::kHidden);
    if (platform::StopRequested()) return Stopped(host, log);
    return {false, document_text::kHwpxCopyFailed};
  }
  log.Write("", false);
  return {true, {}};
}

}  // namespace velmora
