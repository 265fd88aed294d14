#include "support/hwpml_builder.h"

#include <zlib.h>

#include <cstdio>

namespace velmora::testing {

namespace {
const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string EncodeBase64ForTest(const std::string& bytes) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (unsigned char c : bytes) {
    bits = (bits << 8) | c;
    count += 8;
    while (count >= 6) {
      count -= 6;
      out += kLetters[(bits >> count) & 0x3F];
    }
  }
  if (count > 0) out += kLetters[(bits << (6 - count)) & 0x3F];
  while (out.size() % 4 != 0) out += '=';
  return out;
}

std::optional<std::string> DecodeBase64ForTest(const std::string& text) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=' || c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
    const char* p = std::char_traits<char>::find(kLetters, 64, c);
    if (p == nullptr) return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(p - kLetters);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

std::string DeflateRawForTest(const std::string& bytes, int level) {
  z_stream stream{};
  deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, bytes.size()) + 16, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::optional<std::string> InflateRawForTest(const std::string& bytes) {
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) return std::nullopt;
  std::string out;
  char buffer[16384];
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    status = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
    if (status == Z_BUF_ERROR && stream.avail_in == 0) break;
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) return std::nullopt;
  return out;
}

std::string ItemTag(int number, const std::string& format) {
  return "<BINITEM BinData=\"" + std::to_string(number) + "\" Format=\"" + format +
         "\" Type=\"Embedding\"/>";
}

std::string DataElement(int id, const std::string& bytes, bool compressed, int size) {
  const std::string stored = compressed ? DeflateRawForTest(bytes) : bytes;
  std::string tag = "<BINDATA";
  if (compressed) tag += " Compress=\"true\"";
  tag += " Encoding=\"Base64\" Id=\"" + std::to_string(id) + "\"";
  if (size == -2) size = static_cast<int>(stored.size());
  if (size >= 0) tag += " Size=\"" + std::to_string(size) + "\"";
  tag += ">";
  return tag + EncodeBase64ForTest(stored) + "</BINDATA>";
}

std::string HmlDocument::Build() const {
  std::string out = prolog;
  out += listOpen.empty() ? "<BINDATALIST Count=\"" + std::to_string(items.size()) + "\">"
                          : listOpen;
  for (const std::string& item : items) out += item;
  out += listClose;
  out += middle;
  out += storageOpen;
  for (const std::string& element : data) out += element;
  out += storageClose;
  out += tail;
  return out;
}

std::optional<Outside> OutsideElements(const std::string& document) {
  size_t listStart = document.find("<BINDATALIST");
  size_t listEnd = document.find("</BINDATALIST>");
  size_t storageStart = document.find("<BINDATASTORAGE");
  size_t storageEnd = document.find("</BINDATASTORAGE>");
  if (listStart == std::string::npos || listEnd == std::string::npos ||
      storageStart == std::string::npos || storageEnd == std::string::npos) {
    return std::nullopt;
  }
  listEnd += 14;
  storageEnd += 17;
  Outside out;
  out.before = document.substr(0, listStart);
  out.between = document.substr(listEnd, storageStart - listEnd);
  out.after = document.substr(storageEnd);
  return out;
}

std::optional<ParsedHml> ParseHmlForTest(const std::string& document) {
  ParsedHml parsed;
  size_t listStart = document.find("<BINDATALIST");
  size_t listEnd = document.find("</BINDATALIST>");
  size_t storageStart = document.find("<BINDATASTORAGE");
  size_t storageEnd = document.find("</BINDATASTORAGE>");
  if (listEnd == std::string::npos || storageEnd == std::string::npos) return std::nullopt;
  for (size_t at = document.find("<BINITEM", listStart); at < listEnd;
       at = document.find("<BINITEM", at + 1)) {
    size_t end = document.find('>', at);
    parsed.items.push_back({document.substr(at, end - at + 1)});
  }
  for (size_t at = document.find("<BINDATA", storageStart + 1); at < storageEnd;
       at = document.find("<BINDATA", at + 1)) {
    size_t end = document.find('>', at);
    ParsedData data;
    data.openTag = document.substr(at, end - at + 1);
    if (data.openTag.size() < 2 || data.openTag[data.openTag.size() - 2] != '/') {
      size_t close = document.find("</BINDATA>", end);
      if (close == std::string::npos) return std::nullopt;
      data.text = document.substr(end + 1, close - end - 1);
    }
    std::optional<std::string> bytes = DecodeBase64ForTest(data.text);
    if (!bytes) return std::nullopt;
    data.bytes = *bytes;
    parsed.data.push_back(std::move(data));
  }
  return parsed;
}

std::optional<std::string> AttributeOf(const std::string& tag, const std::string& name) {
  for (char quote : {'"', '\''}) {
    const std::string key = " " + name + "=" + quote;
    size_t at = tag.find(key);
    if (at == std::string::npos) continue;
    size_t start = at + key.size();
    size_t end = tag.find(quote, start);
    if (end == std::string::npos) return std::nullopt;
    return tag.substr(start, end - start);
  }
  return std::nullopt;
}

}  // namespace velmora::testing
