#include "document/hwpx.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "core/text.h"
#include "core/worker_pool.h"
#include "document/manifest.h"
#include "document/messages.h"
#include "document/package_writer.h"
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
  int64_t entrySize = -1;  // uncompressed, as the package claims it; -1 without an entry
  bool extracted = false;
  std::optional<PictureKind> kindIn;  // of the extracted bytes
  BufferedLog log;
  std::unique_ptr<TempFiles> files;  // the picture's own scope of temporary files
  EmbeddedPicture picture;
  PictureOutcome outcome;
  std::string newName;  // of the entry that replaces the item's picture
  // The earlier item that names the same entry: the picture is processed once, for
  // that item, and this one follows what became of it.
  const ManifestItem* leader = nullptr;

  bool HasPicture() const { return attributes.filled == 4 && kind && embedded; }
  const std::string& Href() const { return attributes.slots[kSlotHref]; }
  // A follower whose leader's picture was replaced names the leader's new entry.
  bool Shares() const { return leader != nullptr && leader->outcome.Replaces(); }
  // The item's entry stays in the package as it is.
  bool KeepsEntry() const { return !outcome.Replaces() && !Shares(); }
};

// A picture entry that no manifest item names for the classic rules (the package's
// preview, for one): only the lossless passes touch it, and it keeps its name.
struct PackagePicture {
  StoredEntry entry;
  BufferedLog log;
  std::unique_ptr<TempFiles> files;
  EmbeddedPicture picture;
  PictureOutcome outcome;
};

bool HasPictureExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return false;
  const std::string extension = ToLowerAscii(name.substr(dot + 1));
  return extension == "png" || extension == "jpg" || extension == "jpeg" || extension == "gif";
}

// Context of one run over the manifest and the package's entries.
class HwpxRun {
 public:
  HwpxRun(const ShrinkOptions& options, ProcessLog& log, TempFiles& temp, JobHost* host,
          ZipArchive& zip, const std::vector<StoredEntry>& entries, const PictureFrames& frames,
          const PictureProcessor& processPicture, WorkerPool& pool)
      : options_(options), log_(log), temp_(temp), host_(host), zip_(zip), entries_(entries),
        frames_(frames), processPicture_(processPicture), pool_(pool) {}

  // Processes every picture and writes the manifest's new text into output; false when
  // the job was asked to stop meanwhile.
  bool RewriteManifest(const std::string& manifest, std::string& output);
  // What becomes of each entry of the package, in its order.
  std::vector<EntryPlan> Plans(const std::string& manifestText) const;
  std::vector<EntryPlan> ClassicPlans(const std::string& manifestText) const;
  int ItemCount() const { return static_cast<int>(items_.size()); }
  bool AnyItemReplaced() const;
  std::set<std::string> KeptItemNames() const;  // entries still named by unchanged items
  // Every picture item in manifest order, once RewriteManifest is done.
  std::vector<PictureRecord> TakeRecords() { return std::move(records_); }
  EntriesCompressedAhead& CompressedAhead() { return ahead_; }

 private:
  // Finds the item tags outside comments, CDATA sections and processing instructions:
  // tags inside those are text, copied with it.
  void FindItems(const std::string& manifest);
  void FindPackagePictures();
  // Reads the pictures out of the package and has the pool process them; false when
  // the job was asked to stop meanwhile.
  bool ProcessPictures(const std::string& manifest);
  void FlushLogs();
  // Copies a picture out of the package for picture processing; the entry's size as
  // the package claims it goes to entrySize (-1 without an entry).
  std::string Extract(const std::string& name, PictureKind kind, int64_t& entrySize,
                      bool& extracted);
  void Process(ManifestItem& item);
  void ProcessPackagePictures(WorkerPool::Batch& batch);
  // Queues the compression of the entries whose content stays whatever the pictures
  // become, so that it runs beside them.
  void CompressUnchangedEntries(WorkerPool::Batch& batch);
  // Whether the entry may be stored more compactly when its content stays.
  bool MayRecompress(const StoredEntry& entry) const;
  // The item's tag as the target's manifest has it, and the new entry's name.
  void WriteReplacedTag(ManifestItem& item, std::string_view tag, std::string& output);
  // A follower's tag naming its leader's new entry.
  void WriteSharedTag(ManifestItem& item, std::string_view tag, std::string& output);
  void AppendItemTag(const ManifestItem& item, PictureKind kind, std::string_view tag,
                     std::string& output) const;
  std::string FreeEntryName(int number, PictureKind kind);
  PictureRecord Record(const ManifestItem& item, int index) const;
  // Where the leader's picture is shown: by its own item and by every follower.
  PictureUses UsesOf(const ManifestItem& leader) const;

  const ShrinkOptions& options_;
  ProcessLog& log_;
  TempFiles& temp_;
  JobHost* host_;
  ZipArchive& zip_;
  const std::vector<StoredEntry>& entries_;
  const PictureFrames& frames_;  // read only for a printing density
  const PictureProcessor& processPicture_;
  WorkerPool& pool_;
  std::vector<std::unique_ptr<ManifestItem>> items_;
  std::vector<std::unique_ptr<PackagePicture>> packagePictures_;
  EntriesCompressedAhead ahead_;
  size_t tail_ = 0;  // where the text after the last item tag starts
  std::set<std::string> usedNames_;  // entry names of the target as they are taken
  std::set<std::string> releasedNames_;  // replaced entries whose names were given up
  std::vector<PictureRecord> records_;
};

void HwpxRun::FindItems(const std::string& manifest) {
  const auto length = static_cast<long long>(manifest.size());
  std::map<std::string, const ManifestItem*> leaders;
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
    item->kind = MediaTypeKind(item->attributes.slots[kSlotMediaType], !options_.classic);
    item->embedded = IsEmbeddedFlag(item->attributes.slots[kSlotIsEmbeded]);
    if (item->HasPicture()) {
      const auto [first, added] = leaders.emplace(item->Href(), item.get());
      if (!added) item->leader = first->second;
    }
    items_.push_back(std::move(item));
    i = e + 1;
  }
  tail_ = static_cast<size_t>(i);
}

void HwpxRun::FindPackagePictures() {
  if (options_.classic) return;
  std::set<std::string> named;
  for (const auto& item : items_) {
    if (item->HasPicture()) named.insert(item->attributes.slots[kSlotHref]);
  }
  for (const StoredEntry& entry : entries_) {
    const std::string& name = entry.header.name;
    if (entry.encrypted || name.empty() || name.back() == '/' || named.count(name) != 0 ||
        !HasPictureExtension(name) || entry.header.size > kMaxPictureBytes) {
      continue;
    }
    auto picture = std::make_unique<PackagePicture>();
    picture->entry = entry;
    packagePictures_.push_back(std::move(picture));
  }
}

std::string HwpxRun::Extract(const std::string& name, PictureKind kind, int64_t& entrySize,
                             bool& extracted) {
  const std::string path = temp_.NewName(ExtensionOf(kind), false);
  temp_.Register(path);
  if (std::optional<ZipEntry> entry = zip_.Find(name, false); entry && entry->IsFile()) {
    entrySize = static_cast<int64_t>(std::min<uint64_t>(entry->size, INT64_MAX));
    extracted = zip_.ExtractToFile(*entry, path, kMaxPictureBytes);
  }
  return path;
}

bool HwpxRun::ProcessPictures(const std::string& manifest) {
  int pictures = 0;
  for (const auto& item : items_) pictures += item->HasPicture() && !item->leader ? 1 : 0;
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
    if (!item.HasPicture() || item.leader != nullptr) {
      progress.Step();
      continue;
    }
    const std::string extracted = Extract(item.Href(), *item.kind, item.entrySize, item.extracted);
    item.files = std::make_unique<TempFiles>(temp_, extracted);
    item.picture.number = TrailingNumber(item.attributes.slots[kSlotId]);
    item.picture.sourcePath = extracted;
    item.picture.originalSize = GetFileSize32(extracted);
    if (options_.ppi > 0) item.picture.uses = UsesOf(item);
    batch.Add([this, &item, &progress] {
      if (!platform::StopRequested()) Process(item);
      const int32_t after = item.outcome.Replaces() ? GetFileSize32(item.outcome.rewrittenPath) : 0;
      progress.PictureDone(item.outcome.Replaces() ? item.picture.originalSize - after : 0);
    });
  }
  ProcessPackagePictures(batch);
  CompressUnchangedEntries(batch);
  return true;
}

void HwpxRun::FlushLogs() {
  for (const auto& item : items_) item->log.FlushTo(log_);
  for (const auto& picture : packagePictures_) picture->log.FlushTo(log_);
}

bool HwpxRun::RewriteManifest(const std::string& manifest, std::string& output) {
  FindItems(manifest);
  FindPackagePictures();
  log_.Write(Format(document_text::kLogItemTags, ItemCount()), true);
  ShowProgressState(host_, ProgressState::kRunning);
  // A stopped job writes nothing; the caller sees it and gives up the package.
  if (!ProcessPictures(manifest) || platform::StopRequested()) {
    FlushLogs();
    return false;
  }

  // The manifest's text and the new entries' names are made here, in manifest order,
  // so that the target does not depend on which picture finished first.
  for (const StoredEntry& entry : entries_) usedNames_.insert(entry.header.name);
  int index = 0;
  for (const auto& owned : items_) {
    ManifestItem& item = *owned;
    ++index;
    item.log.FlushTo(log_);
    output.append(manifest, item.before, item.start - item.before);
    const std::string_view tag(manifest.data() + item.start, item.end - item.start + 1);
    if (item.Shares()) {
      WriteSharedTag(item, tag, output);
    } else if (item.outcome.Replaces()) {
      WriteReplacedTag(item, tag, output);
    } else {
      log_.Write(document_text::kLogNothingToDo, true);
      output.append(tag);
    }
    if (item.HasPicture()) records_.push_back(Record(item, index));
  }
  output.append(manifest, tail_, std::string::npos);
  for (const auto& picture : packagePictures_) picture->log.FlushTo(log_);
  return true;
}

// Queues the package's other pictures for their lossless passes, on the running batch.
void HwpxRun::ProcessPackagePictures(WorkerPool::Batch& batch) {
  const PictureProcessor lossless = LosslessPictureProcessor();
  for (const auto& owned : packagePictures_) {
    PackagePicture& picture = *owned;
    const std::string& name = picture.entry.header.name;
    int64_t entrySize = -1;
    bool whole = false;
    const std::string extracted = Extract(name, PictureKind::kPng, entrySize, whole);
    picture.log.Write("", false);
    picture.log.Write(Format(document_text::kLogPackagePicture, BytesAsText(name).c_str()), true);
    picture.files = std::make_unique<TempFiles>(temp_, extracted);
    picture.picture.sourcePath = extracted;
    picture.picture.originalSize = GetFileSize32(extracted);
    batch.Add([this, &picture, lossless] {
      if (platform::StopRequested()) return;
      PictureOutcome outcome =
          lossless(picture.picture, options_, picture.log, *picture.files);
      if (outcome.Replaces() && IsSmallerThanOriginal(GetFileSize32(outcome.rewrittenPath),
                                                      picture.picture.originalSize)) {
        picture.outcome = std::move(outcome);
      }
    });
  }
}

bool HwpxRun::MayRecompress(const StoredEntry& entry) const {
  // A stored mimetype stays first and stored: readers take the package's type from its
  // bytes. The classic rules store every entry as it was.
  return !options_.classic && entry.header.name != "mimetype" && !entry.encrypted;
}

void HwpxRun::CompressUnchangedEntries(WorkerPool::Batch& batch) {
  std::set<std::string> pictures;
  for (const auto& item : items_) {
    if (item->HasPicture()) pictures.insert(item->Href());
  }
  for (const auto& picture : packagePictures_) pictures.insert(picture->entry.header.name);
  for (const StoredEntry& entry : entries_) {
    // The manifest is written anew.
    const std::string& name = entry.header.name;
    if (MayRecompress(entry) && name != kManifestName && pictures.count(name) == 0) {
      ahead_.Add(zip_, entry, batch);
    }
  }
}

// Runs on a worker: touches nothing but the item.
void HwpxRun::Process(ManifestItem& item) {
  item.kindIn = DetectPictureKind(item.picture.sourcePath);
  PictureOutcome outcome = processPicture_(item.picture, options_, item.log, *item.files);
  // The size rule is checked again here, whatever picture processing decided.
  if (outcome.Replaces() &&
      IsSmallerThanOriginal(GetFileSize32(outcome.rewrittenPath), item.picture.originalSize)) {
    item.outcome = std::move(outcome);
  } else if (!item.extracted) {
    item.outcome = PictureOutcome::Keep(PictureDecision::kEntryUnreadable);
  } else {
    item.outcome = PictureOutcome::Keep(outcome.Replaces() ? PictureDecision::kNotSmaller
                                                           : outcome.decision);
  }
}

PictureUses HwpxRun::UsesOf(const ManifestItem& leader) const {
  // The entry's bytes are one picture, whichever item names them: it takes the largest
  // need of all their frames, and keeps its resolution when any of them is used in a
  // way that is not understood.
  std::vector<std::string> ids;
  for (const auto& item : items_) {
    if (item.get() == &leader || item->leader == &leader) {
      ids.push_back(item->attributes.slots[kSlotId]);
    }
  }
  return frames_.UsesOf(ids);
}

PictureRecord HwpxRun::Record(const ManifestItem& named, int index) const {
  // A follower's picture is its leader's: it reports what became of that one.
  const ManifestItem& item = named.leader != nullptr ? *named.leader : named;
  PictureRecord record;
  record.index = index;
  record.name = named.Href();
  record.targetName = item.outcome.Replaces() ? item.newName : record.name;
  record.kindIn = item.kindIn;
  record.bytesBefore = item.entrySize;
  RecordOutcome(item.outcome, item.entrySize, record);
  return record;
}

std::string HwpxRun::FreeEntryName(int number, PictureKind kind) {
  // A name that another entry of the package still uses takes the next free number,
  // so that replacing one picture never overwrites another.
  for (long long n = number;; ++n) {
    std::string name = Format("BinData/image%lld.%s", n, ExtensionOf(kind));
    if (usedNames_.count(name) == 0) return name;
  }
}

void HwpxRun::WriteReplacedTag(ManifestItem& item, std::string_view tag, std::string& output) {
  const std::string& href = item.Href();
  const size_t dot = href.rfind('.');
  const int number = TrailingNumber(dot == std::string::npos ? std::string_view(href)
                                                             : std::string_view(href).substr(0, dot));
  // The replaced picture's name is free again once its entry goes, unless a kept item
  // still names it.
  if (releasedNames_.insert(href).second && KeptItemNames().count(href) == 0) {
    usedNames_.erase(href);
  }
  item.newName = FreeEntryName(number, *item.outcome.replacement);
  usedNames_.insert(item.newName);
  AppendItemTag(item, *item.outcome.replacement, tag, output);
}

void HwpxRun::WriteSharedTag(ManifestItem& item, std::string_view tag, std::string& output) {
  item.newName = item.leader->newName;
  log_.Write(Format(document_text::kLogSharedEntry, BytesAsText(item.Href()).c_str(),
                    item.newName.c_str()),
             true);
  AppendItemTag(item, *item.leader->outcome.replacement, tag, output);
}

void HwpxRun::AppendItemTag(const ManifestItem& item, PictureKind kind, std::string_view tag,
                            std::string& output) const {
  const ItemAttributes& attributes = item.attributes;
  // The item keeps its own spelling of the media type where the kind stays.
  const std::string mediaType = !options_.classic && kind == *item.kind
                                    ? attributes.slots[kSlotMediaType]
                                    : std::string(KindMediaType(kind));
  // A tag that was not self-closing keeps its form so that its closing tag still
  // matches.
  const bool selfClosing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
  output += Format("<opf:item id=\"%s\" href=\"%s\" media-type=\"%s\" isEmbeded=\"1\"%s",
                   attributes.slots[kSlotId].c_str(), item.newName.c_str(), mediaType.c_str(),
                   selfClosing ? "/>" : ">");
}

std::set<std::string> HwpxRun::KeptItemNames() const {
  std::set<std::string> names;
  for (const auto& item : items_) {
    if (item->KeepsEntry()) names.insert(item->Href());
  }
  return names;
}

bool HwpxRun::AnyItemReplaced() const {
  for (const auto& item : items_) {
    if (item->outcome.Replaces()) return true;
  }
  return false;
}

std::vector<EntryPlan> HwpxRun::Plans(const std::string& manifestText) const {
  // The first item that replaced an entry takes its place in the package; an item
  // whose entry another item already replaced adds its own at the end.
  // An entry that a kept item still names stays as it is, and every item that replaced
  // it adds its own entry.
  const std::set<std::string> stillNamed = KeptItemNames();
  std::map<std::string, const ManifestItem*> replacing;
  std::vector<const ManifestItem*> added;
  for (const auto& item : items_) {
    if (!item->outcome.Replaces()) continue;
    const std::string& href = item->attributes.slots[kSlotHref];
    if (stillNamed.count(href) != 0 || !replacing.emplace(href, item.get()).second) {
      added.push_back(item.get());
    }
  }
  std::map<std::string, const PackagePicture*> lossless;
  for (const auto& picture : packagePictures_) {
    if (picture->outcome.Replaces()) lossless.emplace(picture->entry.header.name, picture.get());
  }
  const bool manifestChanged = AnyItemReplaced();
  std::vector<EntryPlan> plans;
  for (const StoredEntry& entry : entries_) {
    EntryPlan plan;
    plan.source = entry;
    const std::string& name = entry.header.name;
    if (auto item = replacing.find(name); item != replacing.end()) {
      const ManifestItem* replacement = item->second;
      replacing.erase(item);
      plan.change = EntryPlan::Change::kReplace;
      plan.name = replacement->newName;
      plan.contentPath = replacement->outcome.rewrittenPath;
    } else if (auto picture = lossless.find(name); picture != lossless.end()) {
      plan.change = EntryPlan::Change::kReplace;
      plan.name = name;
      plan.contentPath = picture->second->outcome.rewrittenPath;
    } else if (name == kManifestName && manifestChanged) {
      plan.change = EntryPlan::Change::kReplace;
      plan.name = name;
      plan.contentBytes = manifestText;
    } else if (MayRecompress(entry)) {
      plan.change = EntryPlan::Change::kRecompress;
    }
    plans.push_back(std::move(plan));
  }
  // Replacements whose entry was not in the package, or was another item's already.
  for (const auto& [href, item] : replacing) added.push_back(item);
  for (const ManifestItem* item : added) {
    EntryPlan plan;
    plan.source.header.dosTime = plans.empty() ? 0 : plans.front().source.header.dosTime;
    plan.source.header.dosDate = plans.empty() ? 0x21 : plans.front().source.header.dosDate;
    plan.change = EntryPlan::Change::kReplace;
    plan.name = item->newName;
    plan.contentPath = item->outcome.rewrittenPath;
    plans.push_back(std::move(plan));
  }
  return plans;
}

// A folder entry for each folder of name that the target has no entry for yet.
void AddFolderEntries(const std::string& name, const ZipEntryHeader& time,
                      std::set<std::string>& names, std::vector<EntryPlan>& plans) {
  for (size_t slash = name.find('/'); slash != std::string::npos;
       slash = name.find('/', slash + 1)) {
    std::string folder = name.substr(0, slash + 1);
    if (!names.insert(folder).second) continue;
    EntryPlan plan;
    plan.source.header.dosTime = time.dosTime;
    plan.source.header.dosDate = time.dosDate;
    plan.source.header.madeBy = 3u << 8 | 20u;           // Unix attributes
    plan.source.header.externalAttributes = 040755u << 16 | 0x10u;  // a folder
    plan.change = EntryPlan::Change::kReplace;
    plan.name = std::move(folder);
    plans.push_back(std::move(plan));
  }
}

std::vector<EntryPlan> HwpxRun::ClassicPlans(const std::string& manifestText) const {
  // The classic package: a replaced entry leaves its place and its replacement comes at
  // the end, in manifest order, after a folder entry for each of its folders that the
  // package lacks; the manifest is written again in its own place (its folder entry,
  // when missing, after the pictures); every other entry is copied as stored.
  const std::set<std::string> stillNamed = KeptItemNames();
  std::set<std::string> leaving;
  for (const auto& item : items_) {
    const std::string& href = item->attributes.slots[kSlotHref];
    if (item->outcome.Replaces() && stillNamed.count(href) == 0) leaving.insert(href);
  }
  std::vector<EntryPlan> plans;
  std::set<std::string> names;
  ZipEntryHeader manifestTime;
  for (const StoredEntry& entry : entries_) {
    const std::string& name = entry.header.name;
    if (leaving.count(name) != 0) continue;
    names.insert(name);
    EntryPlan plan;
    plan.source = entry;
    if (name == kManifestName) {
      manifestTime = entry.header;
      plan.change = EntryPlan::Change::kReplace;
      plan.name = name;
      plan.contentBytes = manifestText;
    }
    plans.push_back(std::move(plan));
  }
  for (const auto& item : items_) {
    if (!item->outcome.Replaces()) continue;
    ZipEntryHeader time = manifestTime;
    for (const StoredEntry& entry : entries_) {
      if (entry.header.name == item->attributes.slots[kSlotHref]) time = entry.header;
    }
    AddFolderEntries(item->newName, time, names, plans);
    EntryPlan plan;
    plan.source.header.dosTime = time.dosTime;
    plan.source.header.dosDate = time.dosDate;
    plan.change = EntryPlan::Change::kReplace;
    plan.name = item->newName;
    plan.contentPath = item->outcome.rewrittenPath;
    names.insert(plan.name);
    plans.push_back(std::move(plan));
  }
  AddFolderEntries(kManifestName, manifestTime, names, plans);
  return plans;
}

// The package's own checks: a zip archive with entries and the HWPX mime type.
// The record of a picture whose package was given up for the source's bytes.
void KeptAsStored(PictureRecord& record) {
  if (record.decision != PictureDecision::kRewritten) return;
  record.decision = PictureDecision::kNotSmaller;
  record.targetName = record.name;
  record.kindOut = record.kindIn;
  record.bytesAfter = record.bytesBefore;
}

std::optional<ProcessorResult> CheckPackage(ZipArchive& zip, const std::string& path) {
  if (!zip.Open(path)) return ProcessorResult{false, document_text::kHwpxNotZip};
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
  // The job works on its own copy: a source changed or replaced meanwhile still gives
  // a target made of the document the job started on.
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
  const std::optional<std::vector<StoredEntry>> entries = zip.Entries();
  if (!entries) return WriteFailed(host, document_text::kLogPackageFailed, log);

  std::string output;
  output.reserve(manifest->size() * 3 + 10);
  // Where the pictures are shown is read only for a printing density.
  const PictureFrames frames =
      options.ppi > 0 ? ReadHwpxFrames(zip, *entries, *manifest) : PictureFrames();
  // Whatever a picture throws stays with that picture: it keeps its bytes.
  ResampleCounter resampled;
  const PictureProcessor isolated =
      CountingResampled(IsolatingFailures(processPicture), resampled);
  WorkerPool serial(1);
  WorkerPool& workers = pool != nullptr ? *pool : serial;
  HwpxRun run(options, log, temp, host, zip, *entries, frames, isolated, workers);
  if (!run.RewriteManifest(*manifest, output)) return Stopped(host, log);

  const auto steps = static_cast<uint64_t>(run.ItemCount()) + 2;
  ShowProgress(host, steps - 1, steps);
  // The classic rules leave a package in which they replaced nothing as it is: it is
  // not written again, the source's bytes are copied below.
  PackageWriteResult written;
  if (!options.classic || run.AnyItemReplaced()) {
    const std::vector<EntryPlan> plans =
        options.classic ? run.ClassicPlans(output) : run.Plans(output);
    // A new target gets no more permissions than the source has.
    written = WritePackage(zip, plans, target, workers, source, &run.CompressedAhead());
    if (platform::StopRequested()) return Stopped(host, log);
    if (written.targetRefused) {
      ShowProgressState(host, ProgressState::kHidden);
      return {false, document_text::kHwpxCopyFailed};
    }
    if (!written.written) return WriteFailed(host, document_text::kLogPackageFailed, log);
  }
  // Nothing of the package changed, or the target came out no smaller: the target is
  // the source's bytes. The classic rules write the package again whenever they
  // replaced a picture, whatever size that gives.
  const bool changed = run.AnyItemReplaced() || written.recompressed > 0;
  if (!options.classic) {
    log.Write(Format(document_text::kLogRecompressed, written.recompressed,
                     static_cast<int>(entries->size()),
                     static_cast<long long>(written.bytesSaved)),
              true);
  }
  const bool keptSource =
      !changed ||
      (!options.classic && platform::FileSize(target) >= platform::FileSize(workingCopy));
  if (keptSource) {
    if (changed) log.Write(document_text::kLogSourceKept, true);
    if (!platform::CopyFileAtomically(workingCopy, target, source)) {
      ShowProgressState(host, ProgressState::kHidden);
      if (platform::StopRequested()) return Stopped(host, log);
      return {false, document_text::kHwpxCopyFailed};
    }
  }
  ShowProgress(host, steps, steps);
  log.Write("", false);
  ProcessorResult done(true, {});
  done.pictures = run.TakeRecords();
  // A target that is the source's bytes holds every picture as it was, none resampled.
  if (keptSource) {
    for (PictureRecord& record : done.pictures) KeptAsStored(record);
  } else {
    done.resampled = resampled.Pictures();
    done.resampledSaving = resampled.SavedBytes();
  }
  return done;
}

}  // namespace velmora
