#include "document/hwpx.h"

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "core/text.h"
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

// Context of one run over the manifest.
class HwpxRun {
 public:
  HwpxRun(const ShrinkOptions& options, ProcessLog& log, TempFiles& temp, JobHost* host,
          ZipArchive& zip, const PictureProcessor& processPicture)
      : options_(options), log_(log), temp_(temp), host_(host), zip_(zip),
        processPicture_(processPicture) {}

  // Walks the manifest's total item tags; false when the archive could not be changed.
  bool RewriteManifest(const std::string& manifest, int total, std::string& output);
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

  PictureOutcome ShrinkItem(int pictureNumber, const std::string& href,
                            std::optional<PictureKind> kind, bool embedded);
  bool ReplaceEntry(const ItemAttributes& item, const PictureOutcome& outcome, bool selfClosing,
                    std::string& output);
  std::string FreeEntryName(int number, PictureKind kind, const std::string& replacing);
  void AppendItemTag(const ItemAttributes& item, const Replacement& entry, bool selfClosing,
                     std::string& output);

  const ShrinkOptions& options_;
  ProcessLog& log_;
  TempFiles& temp_;
  JobHost* host_;
  ZipArchive& zip_;
  const PictureProcessor& processPicture_;
  std::set<std::string> addedNames_;
  // Replaced entries by the href that named them: a second item naming the same entry
  // shares its replacement, so that every item still names an entry.
  std::map<std::string, Replacement> replaced_;
  // The old entries to remove once the walk is over, and the hrefs that item tags kept
  // as they were: an entry one of them names stays.
  std::vector<std::pair<std::string, ZipEntry>> oldEntries_;
  std::set<std::string> keptHrefs_;
  bool stopped_ = false;
};

int CountItemTags(const std::string& manifest) {
  int count = 0;
  long long offset = 0;
  const auto length = static_cast<long long>(manifest.size());
  while (offset < length) {
    long long w = FindMarkupOutsideComments(manifest, kItemOpen, offset);
    if (w < 0) break;
    long long e = FindBytes(manifest, ">", w);
    if (e < 0) break;
    ++count;
    offset = e + 1;
  }
  return count;
}

bool HwpxRun::RewriteManifest(const std::string& manifest, int total, std::string& output) {
  log_.Write(Format(document_text::kLogItemTags, total), true);
  ShowProgressState(host_, ProgressState::kRunning);

  const auto length = static_cast<long long>(manifest.size());
  long long i = 0;
  int k = 0;
  while (i < length) {
    // A stopped job writes nothing; the caller sees it and gives up the package.
    if (platform::StopRequested()) {
      stopped_ = true;
      return false;
    }
    // Item tags inside comments, CDATA sections and processing instructions are copied
    // with them as text.
    long long w = FindMarkupOutsideComments(manifest, kItemOpen, i);
    long long e = w < 0 ? -1 : FindBytes(manifest, ">", w);
    if (w < 0 || e < 0) {
      output.append(manifest, static_cast<size_t>(i), std::string::npos);
      break;
    }
    ++k;
    ShowProgress(host_, static_cast<uint64_t>(k), static_cast<uint64_t>(total) + 2);
    log_.Write("", false);
    log_.Write(Format(document_text::kLogProcessing, k), true);
    output.append(manifest, static_cast<size_t>(i), static_cast<size_t>(w - i));

    const std::string_view tag(manifest.data() + w, static_cast<size_t>(e - w + 1));
    // The attributes start at the space after "<opf:item".
    ItemAttributes item = SelectItemAttributes(ParseTagAttributes(tag.substr(9)));
    const std::optional<PictureKind> kind = MediaTypeKind(item.slots[kSlotMediaType]);
    const bool embedded = IsEmbeddedFlag(item.slots[kSlotIsEmbeded]);
    const int pictureNumber = TrailingNumber(item.slots[kSlotId]);
    log_.Write(Backquoted(BytesAsText(tag)), true);

    const bool selfClosing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
    // Only an item that would be processed shares; any other keeps its tag as it is.
    const bool candidate = item.filled == 4 && kind && embedded;
    const auto shared = candidate ? replaced_.find(item.slots[kSlotHref]) : replaced_.end();
    if (shared != replaced_.end()) {
      // The entry was replaced for an earlier item: this one names the new entry too.
      log_.Write(Format(document_text::kLogSharedEntry, BytesAsText(shared->first).c_str(),
                        shared->second.name.c_str()),
                 true);
      AppendItemTag(item, shared->second, selfClosing, output);
      i = e + 1;
      continue;
    }
    PictureOutcome outcome;
    if (item.filled == 4) {
      outcome = ShrinkItem(pictureNumber, item.slots[kSlotHref], kind, embedded);
    }
    if (outcome.Replaces()) {
      if (!ReplaceEntry(item, outcome, selfClosing, output)) return false;
    } else {
      log_.Write(document_text::kLogNothingToDo, true);
      output.append(tag);
      keptHrefs_.insert(item.slots[kSlotHref]);
    }
    i = e + 1;
  }
  return true;
}

PictureOutcome HwpxRun::ShrinkItem(int pictureNumber, const std::string& href,
                                   std::optional<PictureKind> kind, bool embedded) {
  if (!kind || !embedded) return PictureOutcome::Keep();

  const std::string extracted = temp_.NewName(ExtensionOf(*kind), false);
  temp_.Register(extracted);
  if (std::optional<ZipEntry> entry = zip_.Find(href, false); entry && entry->IsFile()) {
    zip_.ExtractToFile(*entry, extracted, kMaxPictureBytes);
  }
  const int32_t size = GetFileSize32(extracted);

  EmbeddedPicture picture;
  picture.number = pictureNumber;
  picture.sourcePath = extracted;
  picture.originalSize = size;
  PictureOutcome outcome = processPicture_(picture, options_, log_, temp_);
  // The size rule is checked again here, whatever picture processing decided.
  if (outcome.Replaces() && IsSmallerThanOriginal(GetFileSize32(outcome.rewrittenPath), size)) {
    return outcome;
  }
  return PictureOutcome::Keep();
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
  if (!old) return false;  // ShrinkItem hands on no picture without an entry
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
                           JobHost* host) {
  return ShrinkHwpxWith(source, target, options, log, temp, host, StandardPictureProcessor());
}

ProcessorResult ShrinkHwpxWith(const std::string& source, const std::string& target,
                               const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                               JobHost* host, const PictureProcessor& processPicture) {
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
  HwpxRun run(options, log, temp, host, zip, processPicture);
  const int total = CountItemTags(*manifest);
  if (!run.RewriteManifest(*manifest, total, output)) {
    if (run.Stopped()) return Stopped(host, log);
    return WriteFailed(host, nullptr, log);
  }
  if (!run.RemoveReplacedEntries()) return WriteFailed(host, nullptr, log);

  const auto steps = static_cast<uint64_t>(total) + 2;
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
