#pragma once
// HWPML documents for tests, built as plain text, and an independent reading of
// their two elements (list and storage) for checking what the processor wrote.

#include <optional>
#include <string>
#include <vector>

namespace velmora::testing {

// Base64 and raw deflate written without the project's own codecs, for fixtures.
std::string EncodeBase64ForTest(const std::string& bytes);
std::optional<std::string> DecodeBase64ForTest(const std::string& text);
std::string DeflateRawForTest(const std::string& bytes, int level = 9);

// "<BINITEM BinData="n" Format="format" Type="Embedding"/>"
std::string ItemTag(int number, const std::string& format);
// "<BINDATA Encoding="Base64" Id="n" Size="size">" + text + "</BINDATA>", where the text
// is the Base64 of the bytes (raw-deflated first when compressed, which also adds
// Compress="true"). size < 0 leaves Size out; size == -2 writes the true size.
std::string DataElement(int id, const std::string& bytes, bool compressed = false, int size = -2);

// A document: prolog, list, middle part, storage, tail. Build() joins them; the
// list's open tag says Count="<items>" unless listOpen is given.
struct HmlDocument {
  std::string prolog =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\r\n"
      "<HWPML Style=\"embed\" SubVersion=\"8.0.0.0\" Version=\"2.8\">\r\n"
      "<HEAD SecCnt=\"1\"><DOCSUMMARY><TITLE>\xED\x95\x9C</TITLE></DOCSUMMARY>"
      "<DOCSETTING/><MAPPINGTABLE>";
  std::string listOpen;  // empty: <BINDATALIST Count="items.size()">
  std::vector<std::string> items;
  std::string listClose = "</BINDATALIST>";
  std::string middle =
      "<FACENAMELIST/></MAPPINGTABLE></HEAD>\r\n<BODY><SECTION Id=\"0\"><P><TEXT><PICTURE>"
      "<IMAGE BinItem=\"1\"/></PICTURE></TEXT></P></SECTION></BODY>\r\n<TAIL>";
  std::string storageOpen = "<BINDATASTORAGE>";
  std::vector<std::string> data;
  std::string storageClose = "</BINDATASTORAGE>";
  std::string tail = "</TAIL></HWPML>\r\n";

  std::string Build() const;
};

// The document's bytes outside the list and the storage (before "<BINDATALIST",
// between "</BINDATALIST>" and "<BINDATASTORAGE", after "</BINDATASTORAGE>"), found
// by plain text search.
struct Outside {
  std::string before, between, after;
  bool operator==(const Outside&) const = default;
};
std::optional<Outside> OutsideElements(const std::string& document);

// The items of a document as its text says, found by plain text search.
struct ParsedItem {
  std::string tag;  // "<BINITEM .../>"
};
struct ParsedData {
  std::string openTag;  // "<BINDATA ...>"
  std::string text;     // the Base64 text
  std::string bytes;    // decoded (still compressed when compressed)
};
struct ParsedHml {
  std::vector<ParsedItem> items;
  std::vector<ParsedData> data;
};
std::optional<ParsedHml> ParseHmlForTest(const std::string& document);

// Value of an attribute in a tag's text by plain search for name="..." or name='...'.
std::optional<std::string> AttributeOf(const std::string& tag, const std::string& name);

// Inflates raw deflate data with zlib directly; nullopt when it is not a whole stream.
std::optional<std::string> InflateRawForTest(const std::string& bytes);

}  // namespace velmora::testing
