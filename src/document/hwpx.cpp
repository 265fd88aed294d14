#include "document/hwpx.h"

#include <optional>
#include <set>

#include "core/text.h"
#include "document/manifest.h"
#include "document/zip_archive.h"
#include "image/embedded_picture.h"
#include "image/verify.h"
#include "platform/platform.h"

namespace velmora {

namespace {

const char kManifestName[] = "Contents/content.hpf";
const char kItemOpen[] = "<opf:item ";
const char kMimeType[] = "application/hwp+zip";

const char kMessageOpenFailed[] = "HwpX 파일 열기 실패!";
const char kMessageNotZip[] = "HwpX 형식만 처리 가능!\n(zip 파일 아님)";
const char kMessageNoEntries[] = "HwpX 형식만 처리 가능!\n(데이터 없음)";
const char kMessageNoMime[] = "HwpX 형식만 처리 가능!\n(mime 정보 없음)";
const char kMessageWrongMime[] = "HwpX 형식만 처리 가능!";
const char kMessageNoManifest[] = "HwpX 형식만 처리 가능!\n(content 정보 없음)";
const char kMessageCopyFailed[] = "파일 복사 실패!";
const char kMessageWriteFailed[] = "HwpX 파일 쓰기 실패!\n(그림 교체 중 오류)";

// Context of one run over the manifest.
class HwpxRun {
 public:
  HwpxRun(const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp, JobHost* host,
          ZipArchive& zip, const PictureProcessor& processPicture)
      : options_(options), log_(log), temp_(temp), host_(host), zip_(zip),
        processPicture_(processPicture) {}

  // Walks the manifest's total item tags; false when the archive could not be changed.
  bool RewriteManifest(const std::string& manifest, int total, std::string& output);

 private:
  struct ItemOutcome {
    bool replaced = false;
    int kind = -1;
    std::string rewrittenPath;
  };

  ItemOutcome ShrinkItem(int pictureNumber, const std::string& href, int kind, bool embedded);
  bool ReplaceEntry(const ItemAttributes& item, const ItemOutcome& outcome, bool selfClosing,
                    std::string& output);
  std::string FreeEntryName(int number, int kind);

  const ShrinkOptions& options_;
  CCreateLog& log_;
  CTempFiles& temp_;
  JobHost* host_;
  ZipArchive& zip_;
  const PictureProcessor& processPicture_;
  std::set<std::string> addedNames_;
};

int CountItemTags(const std::string& manifest) {
  int count = 0;
  long long offset = 0;
  const auto length = static_cast<long long>(manifest.size());
  while (offset < length) {
    long long w = FindBytes(manifest, kItemOpen, offset);
    if (w < 0) break;
    long long e = FindBytes(manifest, ">", w);
    if (e < 0) break;
    ++count;
    offset = e + 1;
  }
  return count;
}

bool HwpxRun::RewriteManifest(const std::string& manifest, int total, std::string& output) {
  log_.Write(Format("*%d <opf:item> tag(s) found*", total), true);
  SetTaskbarState(host_, kTaskbarNormal);

  const auto length = static_cast<long long>(manifest.size());
  long long i = 0;
  int k = 0;
  while (i < length) {
    long long w = FindBytes(manifest, kItemOpen, i);
    long long e = w < 0 ? -1 : FindBytes(manifest, ">", w);
    if (w < 0 || e < 0) {
      output.append(manifest, static_cast<size_t>(i), std::string::npos);
      break;
    }
    ++k;
    SetTaskbarProgress(host_, static_cast<uint64_t>(k), static_cast<uint64_t>(total) + 2);
    log_.Write("", false);
    log_.Write(Format("*processing embedded #%d*", k), true);
    output.append(manifest, static_cast<size_t>(i), static_cast<size_t>(w - i));

    const std::string_view tag(manifest.data() + w, static_cast<size_t>(e - w + 1));
    // The attributes start at the space after "<opf:item".
    ItemAttributes item = SelectItemAttributes(ParseTagAttributes(tag.substr(9)));
    const int kind = MediaTypeKind(item.slots[kSlotMediaType]);
    const bool embedded = IsEmbeddedFlag(item.slots[kSlotIsEmbeded]);
    const int pictureNumber = TrailingNumber(item.slots[kSlotId]);
    log_.Write(Backquoted(BytesAsText(tag)), true);

    ItemOutcome outcome;
    if (item.filled == 4) {
      outcome = ShrinkItem(pictureNumber, item.slots[kSlotHref], kind, embedded);
    }
    if (outcome.replaced) {
      const bool selfClosing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
      if (!ReplaceEntry(item, outcome, selfClosing, output)) return false;
    } else {
      log_.Write("nothing to do", true);
      output.append(tag);
    }
    i = e + 1;
  }
  return true;
}

HwpxRun::ItemOutcome HwpxRun::ShrinkItem(int pictureNumber, const std::string& href, int kind,
                                         bool embedded) {
  ItemOutcome outcome;
  if (kind < 0 || !embedded) return outcome;

  const std::string extracted = temp_.NewName(PictureExtension(kind), false);
  temp_.Register(extracted);
  if (std::optional<ZipEntry> entry = zip_.Find(href, false); entry && entry->IsFile()) {
    zip_.ExtractToFile(*entry, extracted, kMaxPictureBytes);
  }
  const int32_t size = GetFileSize32(extracted);

  EmbeddedPicture picture;
  picture.number = pictureNumber;
  picture.sourcePath = extracted;
  picture.originalSize = size;
  const int outputKind = processPicture_(picture, options_, log_, temp_);
  // The size rule is checked again here, whatever picture processing decided.
  if (outputKind > 0 && IsSmallerThanOriginal(GetFileSize32(picture.outputPath), size)) {
    outcome.replaced = true;
    outcome.kind = outputKind;
    outcome.rewrittenPath = picture.outputPath;
  }
  return outcome;
}

std::string HwpxRun::FreeEntryName(int number, int kind) {
  // A name that another entry of the package still uses takes the next free number,
  // so that replacing one picture never overwrites another.
  for (long long n = number;; ++n) {
    std::string name = Format("BinData/image%lld.%s", n, PictureExtension(kind));
    if (!zip_.Find(name, false) && addedNames_.count(name) == 0) return name;
  }
}

bool HwpxRun::ReplaceEntry(const ItemAttributes& item, const ItemOutcome& outcome,
                           bool selfClosing, std::string& output) {
  const std::string& href = item.slots[kSlotHref];
  size_t dot = href.rfind('.');
  const int number = TrailingNumber(dot == std::string::npos ? std::string_view(href)
                                                             : std::string_view(href).substr(0, dot));
  std::optional<ZipEntry> old = zip_.Find(href, false);
  if (old && !zip_.Delete(*old)) {
    log_.Write(Format("deleting `%s` failed!", BytesAsText(href).c_str()), true);
    return false;
  }
  const std::string name = FreeEntryName(number, outcome.kind);
  if (!zip_.AddFile(name, outcome.rewrittenPath)) {
    log_.Write(Format("adding `%s` failed!", name.c_str()), true);
    return false;
  }
  addedNames_.insert(name);
  // A tag that was not self-closing keeps its form so that its closing tag still
  // matches.
  output += Format("<opf:item id=\"%s\" href=\"%s\" media-type=\"%s\" isEmbeded=\"1\"%s",
                   item.slots[kSlotId].c_str(), name.c_str(), KindMediaType(outcome.kind),
                   selfClosing ? "/>" : ">");
  return true;
}

}  // namespace

ProcessorResult ShrinkHwpx(const std::string& source, const std::string& target,
                           const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp,
                           JobHost* host) {
  // No rewritten picture enters the package before its own reader has read it back.
  return ShrinkHwpxWith(source, target, options, log, temp, host,
                        WithVerification(ProcessEmbeddedPicture));
}

ProcessorResult ShrinkHwpxWith(const std::string& source, const std::string& target,
                               const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp,
                               JobHost* host, const PictureProcessor& processPicture) {
  const std::string workingCopy = temp.NewName("zip", false);
  temp.Register(workingCopy);
  if (!platform::CopyFileReplace(source, workingCopy) || GetFileSize32(workingCopy) <= 0) {
    return {false, kMessageOpenFailed};
  }

  ZipArchive zip;
  if (!zip.OpenForUpdate(workingCopy)) return {false, kMessageNotZip};
  if (zip.EntryCount() <= 0) return {false, kMessageNoEntries};
  std::optional<ZipEntry> mime = zip.Find("mimetype", true);
  if (!mime || !mime->IsFile()) return {false, kMessageNoMime};
  std::optional<std::string> mimeBytes = zip.ReadWhole(*mime, 64);
  if (!mimeBytes || *mimeBytes != kMimeType) return {false, kMessageWrongMime};

  log.Write("**Velmora process LOG**", true);
  log.Write("file type: `HwpX`", true);
  log.Write("source: " + Backquoted(source), true);
  log.Write("target: " + Backquoted(target), true);
  log.Write("", false);

  std::optional<ZipEntry> manifestEntry = zip.Find(kManifestName, false);
  if (!manifestEntry || !manifestEntry->IsFile()) {
    log.Write("`Contents/content.hpf` not found", true);
    return {false, kMessageNoManifest};
  }
  std::optional<std::string> manifest = zip.ReadWhole(*manifestEntry, kMaxManifestBytes);
  if (!manifest) {
    log.Write("`Contents/content.hpf` not found", true);
    return {false, kMessageNoManifest};
  }

  std::string output;
  output.reserve(manifest->size() * 3 + 10);
  HwpxRun run(options, log, temp, host, zip, processPicture);
  const int total = CountItemTags(*manifest);
  if (!run.RewriteManifest(*manifest, total, output)) {
    SetTaskbarState(host, kTaskbarNoProgress);
    return {false, kMessageWriteFailed};
  }

  SetTaskbarProgress(host, static_cast<uint64_t>(total) + 1, static_cast<uint64_t>(total) + 2);
  if (!zip.AddData(kManifestName, output.data(), output.size())) {
    log.Write("writing `Contents/content.hpf` failed!", true);
    SetTaskbarState(host, kTaskbarNoProgress);
    return {false, kMessageWriteFailed};
  }
  if (!zip.Close()) {
    log.Write("writing the package failed!", true);
    SetTaskbarState(host, kTaskbarNoProgress);
    return {false, kMessageWriteFailed};
  }
  SetTaskbarProgress(host, static_cast<uint64_t>(total) + 2, static_cast<uint64_t>(total) + 2);

  // The target is replaced only by a complete copy; a failure leaves an existing
  // target as it was.
  if (!platform::CopyFileAtomically(workingCopy, target)) {
    SetTaskbarState(host, kTaskbarNoProgress);
    return {false, kMessageCopyFailed};
  }
  log.Write("", false);
  return {true, {}};
}

}  // namespace velmora
