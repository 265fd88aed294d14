#include <map>
#include <optional>

#include "core/text.h"
#include "document/hwpml_run.h"
#include "document/messages.h"

namespace velmora::hwpml_detail {

namespace {

// The picture kind an item's Format names; nothing for other formats.
std::optional<PictureKind> FormatKind(std::string_view format) {
  for (const char* name : {"jpg", "jpeg", "jfif", "jpe"}) {
    if (EqualsIgnoreCase(format, name)) return PictureKind::kJpeg;
  }
  if (EqualsIgnoreCase(format, "png")) return PictureKind::kPng;
  if (EqualsIgnoreCase(format, "bmp")) return PictureKind::kBmp;
  if (EqualsIgnoreCase(format, "gif")) return PictureKind::kGif;
  return std::nullopt;
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


// Name of the tag [start, end] with the "/" of a closing tag kept ("/BINDATA").
std::optional<std::string> TagNameAt(XmlScanner& xml, int64_t start, int64_t end) {
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


}  // namespace

std::optional<ProcessorResult> HwpmlRun::CheckDocument() {
  if (!xml_.Open(source_)) return Fail(nullptr, document_text::kHwpmlOpenFailed, false);
  // The target is copied from this handle, opened with the scanner: a source that is
  // deleted or replaced while the job runs still gives a target made of the bytes
  // that were scanned, never a mix of two files.
  sourceCopy_ = platform::OpenFile(source_, "rb");
  if (!sourceCopy_) return Fail(nullptr, document_text::kHwpmlOpenFailed, false);
  // The declaration is a processing instruction, which the tag searches pass over.
  const int64_t lt = xml_.FindMarkupStart(0);
  const int64_t gt = xml_.FindTagEnd(lt);
  if (lt < 0 || gt < 0) return Fail(nullptr, document_text::kHwpmlFormatOnly, false);
  // A byte order mark before the declaration is fine: the search starts at the first
  // "<". Tag names are matched with their case, as the document type defines them.
  std::optional<std::string> name = xml_.ReadTagName(lt, gt - lt + 1);
  if (!name || *name != "?xml") return Fail(nullptr, document_text::kHwpmlNotXml, false);
  if (xml_.FindTag(gt + 1, "HWPML") < 0) return Fail(nullptr, document_text::kHwpmlNotHwpml, false);
  return std::nullopt;
}

std::optional<ProcessorResult> HwpmlRun::ReadList() {
  AttributeList attributes;
  if (!xml_.ReadTag(0, "BINDATALIST", listTag_, attributes)) {
    return Fail(document_text::kLogNoList, document_text::kHwpmlNoList, false);
  }
  // A negative Count lists nothing either.
  const int64_t count = GetCountAttribute(attributes);
  if (count <= 0) return Fail(document_text::kLogNoList, document_text::kHwpmlNoList, false);

  log_.Write("", false);
  log_.Write(Format(document_text::kLogItemsFound, static_cast<long long>(count)), true);
  failedInflations_ = 0;

  int64_t search = listTag_.start;
  for (int64_t i = 0; i < count; ++i) {
    ListItem item;
    if (!xml_.ReadTag(search, "BINITEM", item.tag, attributes)) {
      return Fail(document_text::kLogItemInfoFailed, document_text::kHwpmlItemInfo, false);
    }
    std::string type;
    std::string format;
    std::string shown;
    const bool hasType = GetAttribute(attributes, "Type", type);
    if (hasType && type == "Embedding") {
      shown = type;
      if (GetAttribute(attributes, "Format", format)) {
        item.listedKind = FormatKind(format);
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
    log_.Write(Format(document_text::kLogItem, static_cast<long long>(i + 1),
                      BytesAsText(shown).c_str()),
               true);
    search = item.tag.end + 1;
    item.tag.text = std::string();
    items_.push_back(std::move(item));
  }

  TagRead closing;
  if (!xml_.ReadTag(search, "/BINDATALIST", closing, attributes)) {
    return Fail(document_text::kLogListClose, document_text::kHwpmlListClose, false);
  }
  listEnd_ = closing.end;
  if (!xml_.ReadTag(0, "BINDATASTORAGE", storageTag_, attributes)) {
    return Fail(document_text::kLogNoData, document_text::kHwpmlNoData, false);
  }
  return std::nullopt;
}

std::optional<ProcessorResult> HwpmlRun::IndexStorage() {
  // Walks the storage tag by tag. Base64 text holds no "<", so the first tag after a
  // data element's open tag must be its closing tag; anything else means the closing
  // tag is missing and the element's extent is unknown.
  int64_t cursor = storageTag_.end + 1;
  if (storageTag_.closingMark == '/') {
    return Fail(document_text::kLogStorageClose, document_text::kHwpmlStorageClose, true);
  }
  for (;;) {
    const int64_t lt = xml_.FindTagStart(cursor);
    const int64_t gt = lt < 0 ? -1 : xml_.FindTagEnd(lt);
    if (gt < 0) return Fail(document_text::kLogStorageClose, document_text::kHwpmlStorageClose, true);
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
      // where such an element ends cannot be trusted. Any "<" counts: a comment in
      // Base64 text would be decoded as data.
      const int64_t close = xml_.FindMarkupStart(gt + 1);
      const int64_t closeEnd = close < 0 ? -1 : xml_.FindTagEnd(close);
      std::optional<std::string> closeName =
          closeEnd < 0 ? std::nullopt : TagNameAt(xml_, close, closeEnd);
      if (!closeName || *closeName != "/BINDATA") {
        // A zero byte before the end tag is said as what it is.
        const int64_t zero = xml_.FindZeroByte(gt + 1);
        const int64_t endTag = xml_.FindTag(gt + 1, "/BINDATA");
        if (zero >= 0 && (endTag < 0 || zero < endTag)) {
          log_.Write(Format(document_text::kLogDataZeroByte, static_cast<long long>(zero)), true);
          return Fail(nullptr, document_text::kHwpmlDataZeroByte, true);
        }
        return Fail(document_text::kLogDataClose, document_text::kHwpmlDataClose, true);
      }
      data.contentEnd = close;
      data.elementEnd = closeEnd;
    }
    cursor = data.elementEnd + 1;
    data_.push_back(std::move(data));
  }
}

std::optional<ProcessorResult> HwpmlRun::PairItems() {
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
    if (data_.size() < expecting) return Fail(document_text::kLogNoData, document_text::kHwpmlNoData, true);
    if (anyLinked && data_.size() != expecting) return Fail(document_text::kLogPairing, document_text::kHwpmlPairing, true);
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
      return Fail(document_text::kLogPairing, document_text::kHwpmlPairing, true);
    }
  }
  std::map<int64_t, int> itemByNumber;
  for (size_t i = 0; i < items_.size(); ++i) {
    const ListItem& item = items_[i];
    if (!item.number) {
      if (item.linked) continue;
      return Fail(document_text::kLogPairing, document_text::kHwpmlPairing, true);
    }
    if (!itemByNumber.emplace(*item.number, static_cast<int>(i)).second) {
      return Fail(document_text::kLogPairing, document_text::kHwpmlPairing, true);
    }
  }
  for (size_t i = 0; i < items_.size(); ++i) {
    ListItem& item = items_[i];
    auto found = item.number ? dataById.find(*item.number) : dataById.end();
    if (found == dataById.end()) {
      if (item.linked) continue;
      return Fail(document_text::kLogNoData, document_text::kHwpmlNoData, true);
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


}  // namespace velmora::hwpml_detail
