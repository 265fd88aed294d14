#include "document/hwpml.h"

#include <algorithm>
#include <climits>
#include <map>
#include <optional>
#include <vector>

#include "core/text.h"
#include "document/base64.h"
#include "document/inflate.h"
#include "document/micro_xml.h"
#include "image/verify.h"

namespace velmora {

namespace {

const char kMessageOpenFailed[] = "HwpML 파일 열기 실패!";
const char kMessageFormatOnly[] = "HwpML 형식만 처리 가능!";
const char kMessageNotXml[] = "HwpML 형식만 처리 가능!\n(xml 파일 아님)";
const char kMessageNotHwpml[] = "HwpML 형식만 처리 가능!\n(xml 파일이나 HwpML은 아님)";
const char kMessageNoList[] = "첨부 파일 목록 없음!";
const char kMessageItemInfo[] = "첨부 파일 정보 읽기 오류!";
const char kMessageListClose[] = "첨부 파일 정보 닫기 태그 없음!";
const char kMessageNoData[] = "첨부 파일 데이터 없음!";
const char kMessageDataClose[] = "첨부 파일 데이터 끝 태그(</BINDATA>) 없음!";
const char kMessageStorageClose[] = "첨부 파일 데이터 닫기 태그 없음!";
const char kMessagePairing[] = "첨부 파일 목록과 데이터를 짝지을 수 없음!\n(번호가 없거나 중복됨)";
const char kMessageOrder[] = "첨부 파일 데이터 미확인 오류!";
const char kMessageReopen[] = "파일 복사 실패! (step#1 / 읽기)";
const char kMessageCreate[] = "파일 복사 실패! (step#1 / 쓰기)";
const char kMessageCopy1[] = "파일 복사 실패! (step#1)";
const char kMessageCopy2[] = "파일 복사 실패! (step#2)";
const char kMessageCopy3[] = "파일 복사 실패! (step#3)";
const char kMessageWriteFailed[] = "HwpML 파일 쓰기 실패!";

// Item format codes.
enum FormatCode : int { kCodeJpg = 0, kCodePng = 1, kCodeBmp = 2, kCodeGif = 3, kCodeOther = 4 };

int FormatCodeOf(std::string_view format) {
  for (const char* name : {"jpg", "jpeg", "jfif", "jpe"}) {
    if (EqualsIgnoreCase(format, name)) return kCodeJpg;
  }
  if (EqualsIgnoreCase(format, "png")) return kCodePng;
  if (EqualsIgnoreCase(format, "bmp")) return kCodeBmp;
  if (EqualsIgnoreCase(format, "gif")) return kCodeGif;
  return kCodeOther;
}

const char* CodeExtension(int code) {
  static const char* const kExtensions[] = {"jpg", "png", "bmp", "gif", "tmp"};
  return (code >= 0 && code <= kCodeOther) ? kExtensions[code] : "tmp";
}

// Output kinds of picture processing (1 GIF, 2 PNG, 3 JPEG) as format codes.
int OutputCode(int outputKind) {
  switch (outputKind) {
    case kKindGif: return kCodeGif;
    case kKindPng: return kCodePng;
    case kKindJpeg: return kCodeJpg;
    default: return kCodeOther;
  }
}

// An item number as the document writes it: decimal digits only. Anything else is
// no number, so that "1" and "1a" never pair by accident.
std::optional<int64_t> ItemNumber(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return ParseDecimal(text);
}

struct ListItem {
  TagRead tag;
  int listedCode = kCodeOther;
  std::string numberText;           // BinData as given, when it is a number
  std::optional<int64_t> number;
  bool linked = false;              // Type "Link": the data lives outside the document
  int data = -1;                    // index of its data element, -1 for none
  bool rewritten = false;
  int outputCode = kCodeOther;
  std::string rewrittenPath;
};

struct DataElement {
  TagRead tag;                      // the open tag
  int64_t contentStart = 0;         // first byte after the open tag
  int64_t contentEnd = 0;           // the "<" of "</BINDATA>" (== contentStart when empty)
  int64_t elementEnd = 0;           // the ">" that ends the element
  std::string idText;               // Id as given, when it is a number
  std::optional<int64_t> id;
  int64_t size = -1;                // Size attribute, -1 when absent
  bool compressed = false;
  int item = -1;                    // index of its list item, -1 for none
};

// Name of the tag [start, end] with the "/" of a closing tag kept ("/BINDATA").
std::optional<std::string> TagNameAt(CMicroXML& xml, int64_t start, int64_t end) {
  std::optional<std::string> text = xml.ReadTagText(start, end - start + 1);
  if (!text) return std::nullopt;
  size_t n = (!text->empty() && (*text)[0] == '/') ? 1 : 0;
  while (n < text->size() && (*text)[n] != ' ' && (*text)[n] != '\t' && (*text)[n] != '/' &&
         (*text)[n] != '\r' && (*text)[n] != '\n') {
    ++n;
  }
  text->resize(n);
  return text;
}

// One run over one document.
class HwpmlRun {
 public:
  HwpmlRun(const std::string& source, const std::string& target, const ShrinkOptions& options,
           CCreateLog& log, CTempFiles& temp, JobHost* host, int& failedInflations,
           const PictureHandlers& handlers)
      : source_(source),
        target_(target),
        options_(options),
        log_(log),
        temp_(temp),
        host_(host),
        failedInflations_(failedInflations),
        handlers_(handlers) {}

  ProcessorResult Run();

 private:
  ProcessorResult Fail(const char* logLine, const char* message, bool clearProgress);
  std::optional<ProcessorResult> CheckDocument();
  std::optional<ProcessorResult> ReadList();
  std::optional<ProcessorResult> IndexStorage();
  std::optional<ProcessorResult> PairItems();
  void ProcessItem(size_t index);
  bool DecodeData(const DataElement& data, const std::string& path, int64_t& produced);
  ProcessorResult WriteTarget();

  bool InOrder() const;
  uint64_t Total() const { return static_cast<uint64_t>(items_.size()) + 5; }

  const std::string& source_;
  const std::string& target_;
  const ShrinkOptions& options_;
  CCreateLog& log_;
  CTempFiles& temp_;
  JobHost* host_;
  int& failedInflations_;
  const PictureHandlers& handlers_;

  CMicroXML xml_;
  platform::UniqueFile sourceCopy_;
  TagRead listTag_;
  int64_t listEnd_ = -1;
  TagRead storageTag_;
  int64_t storageEnd_ = -1;
  std::vector<ListItem> items_;
  std::vector<DataElement> data_;
};

ProcessorResult HwpmlRun::Fail(const char* logLine, const char* message, bool clearProgress) {
  if (logLine != nullptr) log_.Write(logLine, true);
  if (clearProgress) SetTaskbarState(host_, kTaskbarNoProgress);
  return {false, message};
}

std::optional<ProcessorResult> HwpmlRun::CheckDocument() {
  if (!xml_.Open(source_)) return Fail(nullptr, kMessageOpenFailed, false);
  // The target is copied from this handle, opened with the scanner: a source that is
  // deleted or replaced while the job runs still gives a target made of the bytes
  // that were scanned, never a mix of two files.
  sourceCopy_ = platform::OpenFile(source_, "rb");
  if (!sourceCopy_) return Fail(nullptr, kMessageOpenFailed, false);
  const int64_t lt = xml_.FindTagStart(0);
  const int64_t gt = xml_.FindTagEnd(lt);
  if (lt < 0 || gt < 0) return Fail(nullptr, kMessageFormatOnly, false);
  // A byte order mark before the declaration is fine: the search starts at the first
  // "<". Tag names are matched with their case, as the document type defines them.
  std::optional<std::string> name = xml_.ReadTagName(lt, gt - lt + 1);
  if (!name || *name != "?xml") return Fail(nullptr, kMessageNotXml, false);
  if (xml_.FindTag(gt + 1, "HWPML") < 0) return Fail(nullptr, kMessageNotHwpml, false);
  return std::nullopt;
}

std::optional<ProcessorResult> HwpmlRun::ReadList() {
  AttributeList attributes;
  if (!xml_.ReadTag(0, "BINDATALIST", listTag_, attributes)) {
    return Fail("no embedded list!", kMessageNoList, false);
  }
  // A negative Count lists nothing either.
  const int64_t count = GetCountAttribute(attributes);
  if (count <= 0) return Fail("no embedded list!", kMessageNoList, false);

  log_.Write("", false);
  log_.Write(Format("*%lld embedded file(s) found*", static_cast<long long>(count)), true);
  failedInflations_ = 0;

  int64_t search = listTag_.start;
  for (int64_t i = 0; i < count; ++i) {
    ListItem item;
    if (!xml_.ReadTag(search, "BINITEM", item.tag, attributes)) {
      return Fail("reading embedded file info failed!", kMessageItemInfo, false);
    }
    std::string type;
    std::string format;
    std::string shown;
    const bool hasType = GetAttribute(attributes, "Type", type);
    if (hasType && type == "Embedding") {
      shown = type;
      if (GetAttribute(attributes, "Format", format)) {
        item.listedCode = FormatCodeOf(format);
        shown = format;
      }
    } else if (hasType) {
      shown = type;
    }
    item.linked = hasType && EqualsIgnoreCase(type, "Link");
    std::string number;
    if (GetAttribute(attributes, "BinData", number) && (item.number = ItemNumber(number))) {
      item.numberText = number;
    }
    log_.Write(Format("embedded #%lld: %s", static_cast<long long>(i + 1),
                      BytesAsText(shown).c_str()),
               true);
    search = item.tag.end + 1;
    item.tag.text = std::string();
    items_.push_back(std::move(item));
  }

  TagRead closing;
  if (!xml_.ReadTag(search, "/BINDATALIST", closing, attributes)) {
    return Fail("</BINDATALIST> tag closing not found!", kMessageListClose, false);
  }
  listEnd_ = closing.end;
  if (!xml_.ReadTag(0, "BINDATASTORAGE", storageTag_, attributes)) {
    return Fail("no embedded data!", kMessageNoData, false);
  }
  return std::nullopt;
}

std::optional<ProcessorResult> HwpmlRun::IndexStorage() {
  // Walks the storage tag by tag. Base64 text holds no "<", so the first tag after a
  // data element's open tag must be its closing tag; anything else means the closing
  // tag is missing and the element's extent is unknown.
  const char* kNoDataClose = "</BINDATA> tag closing not found!";
  const char* kNoStorageClose = "</BINDATASTORAGE> tag closing not found!";
  int64_t cursor = storageTag_.end + 1;
  if (storageTag_.closingMark == '/') {
    return Fail(kNoStorageClose, kMessageStorageClose, true);
  }
  for (;;) {
    const int64_t lt = xml_.FindTagStart(cursor);
    const int64_t gt = lt < 0 ? -1 : xml_.FindTagEnd(lt);
    if (gt < 0) return Fail(kNoStorageClose, kMessageStorageClose, true);
    std::optional<std::string> name = TagNameAt(xml_, lt, gt);
    if (name && *name == "/BINDATASTORAGE") {
      storageEnd_ = gt;
      return std::nullopt;
    }
    if (!name || *name != "BINDATA") {
      cursor = gt + 1;
      continue;
    }
    DataElement data;
    AttributeList attributes;
    std::optional<std::string> text = xml_.ReadTagText(lt, gt - lt + 1);
    data.tag.start = lt;
    data.tag.end = gt;
    // Only offsets and numbers are kept per item, never texts: the index stays small
    // however many items the document has.
    ParseAttributes(text.value_or(std::string()), attributes);
    if (text && !text->empty() && text->back() == '/') data.tag.closingMark = '/';
    data.size = GetSizeAttribute(attributes);
    std::string value;
    data.compressed =
        GetAttribute(attributes, "Compress", value) && EqualsIgnoreCase(value, "true");
    if (GetAttribute(attributes, "Id", value) && (data.id = ItemNumber(value))) data.idText = value;
    data.contentStart = gt + 1;
    if (data.tag.closingMark == '/') {
      data.contentEnd = data.contentStart;
      data.elementEnd = gt;
    } else {
      // A zero byte stops this search too: text with zero bytes is no Base64, and
      // where such an element ends cannot be trusted.
      const int64_t close = xml_.FindTagStart(gt + 1);
      const int64_t closeEnd = close < 0 ? -1 : xml_.FindTagEnd(close);
      std::optional<std::string> closeName =
          closeEnd < 0 ? std::nullopt : TagNameAt(xml_, close, closeEnd);
      if (!closeName || *closeName != "/BINDATA") {
        return Fail(kNoDataClose, kMessageDataClose, true);
      }
      data.contentEnd = close;
      data.elementEnd = closeEnd;
    }
    cursor = data.elementEnd + 1;
    data_.push_back(std::move(data));
  }
}

std::optional<ProcessorResult> HwpmlRun::PairItems() {
  const char* kPairing = "embedded list and data cannot be paired by number!";
  size_t numberedItems = 0;
  size_t numberedData = 0;
  for (const ListItem& item : items_) numberedItems += item.number ? 1 : 0;
  for (const DataElement& data : data_) numberedData += data.id ? 1 : 0;

  if (numberedItems == 0 && numberedData == 0) {
    // A document without numbers pairs by position: the k-th data element belongs to
    // the k-th item that has its data in the document. With linked items among them,
    // extra data elements could belong to any of them.
    size_t expecting = 0;
    bool anyLinked = false;
    for (const ListItem& item : items_) {
      expecting += item.linked ? 0 : 1;
      anyLinked = anyLinked || item.linked;
    }
    if (data_.size() < expecting) return Fail("no embedded data!", kMessageNoData, true);
    if (anyLinked && data_.size() != expecting) return Fail(kPairing, kMessagePairing, true);
    size_t next = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].linked) continue;
      items_[i].data = static_cast<int>(next);
      data_[next].item = static_cast<int>(i);
      ++next;
    }
    return std::nullopt;
  }

  // Otherwise every item that keeps its data in the document and every data element
  // must carry a number, and no number may appear twice.
  std::map<int64_t, int> dataById;
  for (size_t d = 0; d < data_.size(); ++d) {
    if (!data_[d].id || !dataById.emplace(*data_[d].id, static_cast<int>(d)).second) {
      return Fail(kPairing, kMessagePairing, true);
    }
  }
  std::map<int64_t, int> itemByNumber;
  for (size_t i = 0; i < items_.size(); ++i) {
    const ListItem& item = items_[i];
    if (!item.number) {
      if (item.linked) continue;
      return Fail(kPairing, kMessagePairing, true);
    }
    if (!itemByNumber.emplace(*item.number, static_cast<int>(i)).second) {
      return Fail(kPairing, kMessagePairing, true);
    }
  }
  for (size_t i = 0; i < items_.size(); ++i) {
    ListItem& item = items_[i];
    auto found = item.number ? dataById.find(*item.number) : dataById.end();
    if (found == dataById.end()) {
      if (item.linked) continue;
      return Fail("no embedded data!", kMessageNoData, true);
    }
    item.data = found->second;
    data_[static_cast<size_t>(found->second)].item = static_cast<int>(i);
  }
  return std::nullopt;
}

bool HwpmlRun::InOrder() const {
  if (!(listTag_.start >= 0 && listTag_.start < listEnd_ && listEnd_ < storageTag_.start &&
        storageTag_.start < storageEnd_)) {
    return false;
  }
  // The target is written as the source's bytes with some tags replaced, so every
  // replaced range must lie inside its element and after the one before it.
  int64_t last = listTag_.end;
  for (const ListItem& item : items_) {
    if (item.tag.start <= last || item.tag.end >= listEnd_) return false;
    last = item.tag.end;
  }
  last = storageTag_.end;
  for (const DataElement& data : data_) {
    if (data.tag.start <= last || data.elementEnd >= storageEnd_) return false;
    last = data.elementEnd;
  }
  return true;
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
    log_.Write(Format("embedded #%lld has its data outside the document: nothing to do", k), true);
    return;
  }
  const DataElement& data = data_[static_cast<size_t>(item.data)];
  const char* extension = CodeExtension(item.listedCode);
  const std::string decoded = temp_.NewName(extension, data.compressed);
  temp_.Register(decoded);
  int64_t stored = 0;
  if (!DecodeData(data, decoded, stored)) {
    log_.Write(Format("embedded #%lld: decoding failed", k), true);
    return;
  }
  if (data.size >= 0 && data.size != stored) {
    log_.Write(Format("embedded #%lld: Size says %lld bytes, its data holds %lld", k,
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
  if (handlers_.detect(picturePath) == 0) {
    log_.Write(Format("embedded %lld is UNKNOWN", k), true);
    return;
  }
  EmbeddedPicture picture;
  picture.number = static_cast<int>(index);
  picture.sourcePath = picturePath;
  // The size the data has in the document, before inflation: that is what a
  // rewritten picture has to beat.
  picture.originalSize = static_cast<int32_t>(stored);
  const int outputKind = handlers_.process(picture, options_, log_, temp_);
  const int code = OutputCode(outputKind);
  if (code == kCodeOther || picture.outputPath.empty() ||
      !IsSmallerThanOriginal(GetFileSize32(picture.outputPath), picture.originalSize)) {
    return;
  }
  item.rewritten = true;
  item.outputCode = code;
  item.rewrittenPath = picture.outputPath;
}

ProcessorResult HwpmlRun::Run() {
  if (auto failure = CheckDocument()) return *failure;

  log_.Write("**Velmora process LOG**", true);
  log_.Write("file type: `HwpML`", true);
  log_.Write("source: " + Backquoted(source_), true);
  log_.Write("target: " + Backquoted(target_), true);

  if (auto failure = ReadList()) return *failure;
  SetTaskbarState(host_, kTaskbarNormal);
  if (auto failure = IndexStorage()) return *failure;
  if (auto failure = PairItems()) return *failure;
  if (!InOrder()) return Fail("embedded file!", kMessageOrder, true);

  for (size_t i = 0; i < items_.size(); ++i) {
    SetTaskbarProgress(host_, i + 1, Total());
    log_.Write("", false);
    log_.Write(Format("*processing embedded #%zu*", i + 1), true);
    ProcessItem(i);
  }
  SetTaskbarProgress(host_, items_.size() + 1, Total());
  log_.Write("", false);
  return WriteTarget();
}

ProcessorResult HwpmlRun::WriteTarget() {
  // The document as it was scanned: a source that shrinks meanwhile fails the copy
  // instead of giving a target with a cut tail.
  const int64_t sourceSize = xml_.Size();
  platform::UniqueFile in = std::move(sourceCopy_);
  if (!in) {
    return Fail("copying file fained (step#1 / reading)!", kMessageReopen, true);
  }
  // The target appears only complete: it is written beside its place and moved there
  // at the end, so a failure leaves no partial target and an existing one untouched.
  platform::AtomicFile out;
  if (!out.Open(target_)) {
    return Fail("copying file fained (step#2 / writing)!", kMessageCreate, true);
  }
  const size_t n = items_.size();
  const char* kCopy1 = "copying file fained (step#1)!";
  const char* kCopy2 = "copying file fained (step#2)!";
  std::FILE* src = in.get();

  // Everything up to the list's open tag and the open tag itself stay as they were.
  SetTaskbarProgress(host_, n + 2, Total());
  if (!CopyRange(src, 0, listTag_.end, out)) return Fail(kCopy1, kMessageCopy1, true);
  log_.Write(Format("*writing <BINDATALIST Count=\"%zu\">*", n), true);

  // Only the tags of rewritten items change; white space, items beyond Count and
  // anything else between them are copied.
  int64_t cursor = listTag_.end + 1;
  for (size_t i = 0; i < n; ++i) {
    const ListItem& item = items_[i];
    log_.Write(Format("writing <BINITEM> %zu to HwpML...", i + 1), true);
    if (!CopyRange(src, cursor, item.tag.start - 1, out)) return Fail(kCopy1, kMessageCopy1, true);
    if (item.rewritten) {
      // The item keeps its own number so that the pictures in the body still point
      // at it, and an item without one stays without: a document that pairs items
      // and data by position must not get numbers on some of them only, or it pairs
      // no more. A tag that was not self-closing keeps its form for its closing tag.
      const std::string number =
          item.number ? Format("BinData=\"%s\" ", item.numberText.c_str()) : std::string();
      out.Write(Format("<BINITEM %sFormat=\"%s\" Type=\"Embedding\"%s", number.c_str(),
                       CodeExtension(item.outputCode), item.tag.closingMark == '/' ? "/>" : ">"));
      cursor = item.tag.end + 1;
    } else {
      cursor = item.tag.start;
    }
  }
  if (!CopyRange(src, cursor, listEnd_, out)) return Fail(kCopy1, kMessageCopy1, true);
  log_.Write("", false);
  SetTaskbarProgress(host_, n + 3, Total());

  if (!CopyRange(src, listEnd_ + 1, storageTag_.start - 1, out)) {
    return Fail(kCopy2, kMessageCopy2, true);
  }
  SetTaskbarProgress(host_, n + 4, Total());
  log_.Write("*writing <BINDATASTORAGE>*", true);
  if (!CopyRange(src, storageTag_.start, storageTag_.end, out)) {
    return Fail(kCopy2, kMessageCopy2, true);
  }
  cursor = storageTag_.end + 1;
  for (const DataElement& data : data_) {
    if (!CopyRange(src, cursor, data.tag.start - 1, out)) return Fail(kCopy2, kMessageCopy2, true);
    cursor = data.elementEnd + 1;
    if (data.item < 0) {
      const std::string openTag =
          xml_.ReadTagText(data.tag.start, data.tag.end - data.tag.start + 1).value_or("");
      log_.Write("data " + Backquoted(BytesAsText(openTag)) +
                     " without a listed item: back to original data",
                 true);
      if (!CopyRange(src, data.tag.start, data.elementEnd, out)) {
        return Fail(kCopy2, kMessageCopy2, true);
      }
      continue;
    }
    const ListItem& item = items_[static_cast<size_t>(data.item)];
    const long long k = data.item + 1;
    log_.Write(Format("writing <BINDATA> %lld to HwpML...", k), true);
    if (!item.rewritten) {
      // A kept item's element goes back byte for byte: compressed data stays
      // compressed, and its text is never decoded and encoded again.
      log_.Write(Format("embedded #%lld : back to original file", k), true);
      if (!CopyRange(src, data.tag.start, data.elementEnd, out)) {
        return Fail(kCopy2, kMessageCopy2, true);
      }
      continue;
    }
    log_.Write(Format("embedded #%lld : image file processed", k), true);
    const std::string id = data.id ? Format(" Id=\"%s\"", data.idText.c_str()) : std::string();
    out.Write(Format("<BINDATA Encoding=\"Base64\"%s Size=\"%d\">", id.c_str(),
                     GetFileSize32(item.rewrittenPath)));
    int64_t encoded = 0;
    if (!CBase64::EncodeFileTo(
            item.rewrittenPath, [&out](std::string_view text) { return out.Write(text); },
            encoded)) {
      return Fail("writing the target failed!", kMessageWriteFailed, true);
    }
    out.Write(std::string_view("</BINDATA>"));
  }
  if (!CopyRange(src, cursor, storageEnd_, out)) return Fail(kCopy2, kMessageCopy2, true);
  log_.Write("", false);
  SetTaskbarProgress(host_, n + 5, Total());
  log_.Write("writing last part to HwpML...", true);

  if (!CopyRange(src, storageEnd_ + 1, sourceSize - 1, out)) {
    return Fail("copying file fained (step#3)!", kMessageCopy3, true);
  }
  log_.Write("closing...", true);
  xml_.Close();
  in.reset();
  if (!out.Commit()) return Fail("writing the target failed!", kMessageWriteFailed, true);
  return {true, {}};
}

}  // namespace

bool CopyRange(std::FILE* source, int64_t first, int64_t last, platform::AtomicFile& target) {
  if (last < first) return true;
  if (source == nullptr || first < 0 || first > static_cast<int64_t>(LONG_MAX) ||
      std::fseek(source, static_cast<long>(first), SEEK_SET) != 0) {
    return false;
  }
  std::vector<char> chunk(65536);
  int64_t remaining = last - first + 1;
  while (remaining > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(remaining, 65536));
    const size_t got = std::fread(chunk.data(), 1, want, source);
    if (got == 0) return false;
    if (!target.Write(chunk.data(), got)) return false;
    remaining -= static_cast<int64_t>(got);
  }
  return true;
}

PictureHandlers StandardPictureHandlers() {
  // No rewritten picture enters the document before its own reader has read it back.
  return {DetectPictureKind, WithVerification(ProcessEmbeddedPicture)};
}

ProcessorResult ShrinkHwpmlWith(const std::string& source, const std::string& target,
                                const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp,
                                JobHost* host, int& failedInflations,
                                const PictureHandlers& handlers) {
  HwpmlRun run(source, target, options, log, temp, host, failedInflations, handlers);
  return run.Run();
}

ProcessorResult ShrinkHwpml(const std::string& source, const std::string& target,
                            const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp,
                            JobHost* host, int& failedInflations) {
  return ShrinkHwpmlWith(source, target, options, log, temp, host, failedInflations,
                         StandardPictureHandlers());
}

}  // namespace velmora
