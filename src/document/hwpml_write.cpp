// Writing the target of an HWPML run: the source's bytes, copied in stretches, with
// the tags and data of rewritten items replaced.

#include <cstdio>

#include "core/text.h"
#include "document/base64.h"
#include "document/hwpml_run.h"
#include "document/messages.h"

namespace velmora::hwpml_detail {

ProcessorResult HwpmlRun::WriteTarget() {
  // The document as it was scanned: a source that shrinks meanwhile fails the copy
  // instead of giving a target with a cut tail.
  const int64_t sourceSize = xml_.Size();
  platform::UniqueFile in = std::move(sourceCopy_);
  if (!in) return Fail(document_text::kLogReopenFailed, document_text::kHwpmlReopen, true);
  // The target appears only complete: it is written beside its place and moved there
  // at the end, so a failure leaves no partial target and an existing one untouched.
  // A new target gets no more permissions than the source has.
  platform::AtomicFile out;
  if (!out.Open(target_, source_)) {
    return Fail(document_text::kLogCreateFailed, document_text::kHwpmlCreate, true);
  }
  if (!WriteList(in.get(), out)) {
    return Fail(document_text::kLogCopy1Failed, document_text::kHwpmlCopy1, true);
  }
  if (auto failure = WriteStorage(in.get(), out)) return *failure;

  ShowProgress(host_, items_.size() + 5, Total());
  log_.Write(document_text::kLogLastPart, true);
  if (!CopyRange(in.get(), storageEnd_ + 1, sourceSize - 1, out)) {
    return Fail(document_text::kLogCopy3Failed, document_text::kHwpmlCopy3, true);
  }
  log_.Write(document_text::kLogClosing, true);
  xml_.Close();
  in.reset();
  if (!out.Commit()) {
    return Fail(document_text::kLogTargetFailed, document_text::kHwpmlWriteFailed, true);
  }
  return {true, {}};
}

// Everything up to the end of the list: only the tags of rewritten items change;
// white space, items beyond Count and anything else between them are copied.
bool HwpmlRun::WriteList(std::FILE* source, platform::AtomicFile& out) {
  const size_t n = items_.size();
  ShowProgress(host_, n + 2, Total());
  if (!CopyRange(source, 0, listTag_.end, out)) return false;
  log_.Write(Format(document_text::kLogWritingList, n), true);

  int64_t cursor = listTag_.end + 1;
  for (size_t i = 0; i < n; ++i) {
    const ListItem& item = items_[i];
    log_.Write(Format(document_text::kLogWritingItem, i + 1), true);
    if (!CopyRange(source, cursor, item.tag.start - 1, out)) return false;
    if (!item.outcome.Replaces()) {
      cursor = item.tag.start;
      continue;
    }
    // The item keeps its own number so that the pictures in the body still point at
    // it, and an item without one stays without: a document that pairs items and data
    // by position must not get numbers on some of them only, or it pairs no more. A
    // tag that was not self-closing keeps its form for its closing tag.
    const std::string number =
        item.number ? Format("BinData=\"%s\" ", item.numberText.c_str()) : std::string();
    out.Write(Format("<BINITEM %sFormat=\"%s\" Type=\"Embedding\"%s", number.c_str(),
                     ExtensionOf(*item.outcome.replacement),
                     item.tag.closingMark == '/' ? "/>" : ">"));
    cursor = item.tag.end + 1;
  }
  if (!CopyRange(source, cursor, listEnd_, out)) return false;
  log_.Write("", false);
  ShowProgress(host_, n + 3, Total());
  return true;
}

// Everything from the end of the list to the end of the storage element.
std::optional<ProcessorResult> HwpmlRun::WriteStorage(std::FILE* source,
                                                      platform::AtomicFile& out) {
  auto copyFailed = [this] {
    return Fail(document_text::kLogCopy2Failed, document_text::kHwpmlCopy2, true);
  };
  if (!CopyRange(source, listEnd_ + 1, storageTag_.start - 1, out)) return copyFailed();
  ShowProgress(host_, items_.size() + 4, Total());
  log_.Write(document_text::kLogWritingStorage, true);
  if (!CopyRange(source, storageTag_.start, storageTag_.end, out)) return copyFailed();

  int64_t cursor = storageTag_.end + 1;
  for (const DataElement& data : data_) {
    if (!CopyRange(source, cursor, data.tag.start - 1, out)) return copyFailed();
    cursor = data.elementEnd + 1;
    switch (WriteData(source, out, data)) {
      case DataWrite::kDone: break;
      case DataWrite::kCopyFailed: return copyFailed();
      case DataWrite::kWriteFailed:
        return Fail(document_text::kLogTargetFailed, document_text::kHwpmlWriteFailed, true);
    }
  }
  if (!CopyRange(source, cursor, storageEnd_, out)) return copyFailed();
  log_.Write("", false);
  return std::nullopt;
}

// One data element: copied byte for byte, or the rewritten picture in Base64.
HwpmlRun::DataWrite HwpmlRun::WriteData(std::FILE* source, platform::AtomicFile& out,
                                        const DataElement& data) {
  if (data.item < 0) {
    const std::string openTag =
        xml_.ReadTagText(data.tag.start, data.tag.end - data.tag.start + 1).value_or("");
    log_.Write(Format(document_text::kLogDataWithoutItem, Backquoted(BytesAsText(openTag)).c_str()),
               true);
    return CopyRange(source, data.tag.start, data.elementEnd, out) ? DataWrite::kDone
                                                                    : DataWrite::kCopyFailed;
  }
  const ListItem& item = items_[static_cast<size_t>(data.item)];
  const long long k = data.item + 1;
  log_.Write(Format(document_text::kLogWritingData, k), true);
  if (!item.outcome.Replaces() && item.recompressedPath.empty()) {
    // A kept item's element goes back byte for byte: compressed data stays compressed,
    // and its text is never decoded and encoded again.
    log_.Write(Format(document_text::kLogBackToOriginal, k), true);
    return CopyRange(source, data.tag.start, data.elementEnd, out) ? DataWrite::kDone
                                                                    : DataWrite::kCopyFailed;
  }
  // A rewritten picture goes in uncompressed; content deflated again keeps its flag.
  const bool recompressed = !item.outcome.Replaces();
  log_.Write(Format(recompressed ? document_text::kLogWritingDeflated
                                 : document_text::kLogImageProcessed,
                    k),
             true);
  const std::string& rewritten =
      recompressed ? item.recompressedPath : item.outcome.rewrittenPath;
  const std::string id = data.id ? Format(" Id=\"%s\"", data.idText.c_str()) : std::string();
  out.Write(Format("<BINDATA %sEncoding=\"Base64\"%s Size=\"%lld\">",
                   recompressed ? "Compress=\"true\" " : "", id.c_str(),
                   static_cast<long long>(platform::FileSize(rewritten))));
  int64_t encoded = 0;
  if (!Base64EncodeFileTo(
          rewritten, [&out](std::string_view text) { return out.Write(text); }, encoded)) {
    return DataWrite::kWriteFailed;
  }
  out.Write(std::string_view("</BINDATA>"));
  return DataWrite::kDone;
}

}  // namespace velmora::hwpml_detail
