#include "document/xml_scanner.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>

#include "core/text.h"

namespace velmora {

namespace {

bool EndsName(char c) { return c == ' ' || c == '\t' || c == '/' || c == '>'; }

bool IsNameByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Positions a stream; an offset the C library cannot express fails instead of
// wrapping.
bool SeekTo(std::FILE* file, int64_t offset) {
  if (offset < 0 || offset > static_cast<int64_t>(LONG_MAX)) return false;
  return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

}  // namespace

XmlScanner::XmlScanner() : buffer_(kChunkBytes) {}

bool XmlScanner::Open(const std::string& path) {
  Close();
  int64_t size = platform::FileSize(path);
  if (size <= 0) return false;
  file_ = platform::OpenFile(path, "rb");
  if (!file_) return false;
  size_ = size;
  return true;
}

void XmlScanner::Close() {
  file_.reset();
  size_ = 0;
}

size_t XmlScanner::ReadChunk(int64_t offset, size_t length) {
  if (!file_ || !SeekTo(file_.get(), offset)) return 0;
  if (length > buffer_.size()) length = buffer_.size();
  return std::fread(buffer_.data(), 1, length, file_.get());
}

int64_t XmlScanner::FindByte(int64_t from, char wanted, bool stopAtZero) {
  if (!file_ || from < 0) return -1;
  while (from < size_) {
    size_t got = ReadChunk(from, kChunkBytes);
    if (got == 0) return -1;
    const char* data = buffer_.data();
    const void* hit = std::memchr(data, wanted, got);
    const size_t limit = hit ? static_cast<size_t>(static_cast<const char*>(hit) - data) : got;
    if (stopAtZero && std::memchr(data, '\0', limit) != nullptr) return -1;
    if (hit != nullptr) return from + static_cast<int64_t>(limit);
    from += static_cast<int64_t>(got);
  }
  return -1;
}

int64_t XmlScanner::FindSequence(int64_t from, std::string_view sequence, bool stopAtZero) {
  if (!file_ || from < 0 || sequence.empty() || sequence.size() > kChunkBytes) return -1;
  while (from < size_) {
    const size_t got = ReadChunk(from, kChunkBytes);
    if (got < sequence.size()) return -1;
    const std::string_view chunk(buffer_.data(), got);
    const size_t hit = chunk.find(sequence);
    const size_t limit = hit == std::string_view::npos ? got : hit;
    if (stopAtZero && chunk.substr(0, limit).find('\0') != std::string_view::npos) return -1;
    if (hit != std::string_view::npos) return from + static_cast<int64_t>(hit);
    if (from + static_cast<int64_t>(got) >= size_) return -1;
    // The next chunk overlaps this one, so that a sequence across the seam is seen.
    from += static_cast<int64_t>(got - sequence.size() + 1);
  }
  return -1;
}

int64_t XmlScanner::SkipOpaque(int64_t offset, bool stopAtZero) {
  std::optional<std::string> head = ReadBytes(offset, static_cast<int64_t>(kLongestOpaqueOpener));
  if (!head) return -1;
  const std::optional<OpaqueMarkup> opaque = OpaqueMarkupAt(*head);
  if (!opaque) return offset;
  const int64_t close =
      FindSequence(offset + static_cast<int64_t>(opaque->openerLength), opaque->closer, stopAtZero);
  return close < 0 ? -1 : close + static_cast<int64_t>(opaque->closer.size());
}

int64_t XmlScanner::FindTagStart(int64_t from) {
  for (;;) {
    const int64_t lt = FindByte(from, '<');
    if (lt < 0) return -1;
    const int64_t after = SkipOpaque(lt, true);
    if (after == lt) return lt;
    if (after < 0) return -1;
    from = after;
  }
}

int64_t XmlScanner::FindMarkupStart(int64_t from) { return FindByte(from, '<'); }

int64_t XmlScanner::FindTagEnd(int64_t from) { return FindByte(from, '>'); }

int64_t XmlScanner::FindZeroByte(int64_t from) { return FindByte(from, '\0', false); }

int64_t XmlScanner::FindTag(int64_t from, std::string_view name) {
  if (!file_ || from < 0) return -1;
  if (name.empty()) return FindTagStart(from);
  const size_t patternLength = name.size() + 1;
  // Chunks overlap by the bytes a start needs to be judged (the pattern and the byte
  // after it, or the longest opener of an opaque stretch), so that a tag straddling
  // two chunks is still seen whole.
  const size_t lookahead = std::max(patternLength + 1, kLongestOpaqueOpener);
  if (lookahead > kChunkBytes) return -1;
  while (from < size_) {
    const size_t got = ReadChunk(from, kChunkBytes);
    if (got < patternLength + 1) return -1;
    const bool lastChunk = from + static_cast<int64_t>(got) >= size_;
    if (!lastChunk && got < lookahead) return -1;
    // The last start judged here; the last chunk has nothing after it to wait for.
    const size_t last = lastChunk ? got - patternLength - 1 : got - lookahead;
    const char* data = buffer_.data();
    bool opaque = false;
    for (size_t i = 0; i <= last; ++i) {
      const void* hit = std::memchr(data + i, '<', last - i + 1);
      if (hit == nullptr) break;
      i = static_cast<size_t>(static_cast<const char*>(hit) - data);
      // A name asked for by its own mark ("?xml") finds that very markup.
      if (std::memcmp(data + i + 1, name.data(), name.size()) == 0 &&
          EndsName(data[i + patternLength])) {
        return from + static_cast<int64_t>(i);
      }
      if (OpaqueMarkupAt(std::string_view(data + i, got - i))) {
        opaque = true;
        from += static_cast<int64_t>(i);
        break;
      }
    }
    if (opaque) {
      // Reads on its own, so the chunk above is gone afterwards.
      from = SkipOpaque(from, false);
      if (from < 0) return -1;
      continue;
    }
    if (lastChunk) return -1;
    from += static_cast<int64_t>(last + 1);
  }
  return -1;
}

std::optional<std::string> XmlScanner::ReadTagText(int64_t start, int64_t length) {
  if (!file_ || start < 0 || start >= size_ || length < 3 || length - 2 > kMaxTagBytes) {
    return std::nullopt;
  }
  return ReadBytes(start + 1, length - 2);
}

std::optional<std::string> XmlScanner::ReadTagName(int64_t start, int64_t length) {
  std::optional<std::string> text = ReadTagText(start, length);
  if (!text) return std::nullopt;
  size_t n = 0;
  while (n < text->size() && !EndsName((*text)[n])) ++n;
  text->resize(n);
  return text;
}

std::optional<std::string> XmlScanner::ReadBytes(int64_t offset, int64_t length) {
  if (!file_ || offset < 0 || offset >= size_ || length < 0) return std::nullopt;
  // The file cannot supply more than its remaining bytes, so a wrong length never
  // allocates more than that.
  const int64_t available = size_ - offset;
  if (length > available) length = available;
  if (!SeekTo(file_.get(), offset)) return std::nullopt;
  std::string bytes(static_cast<size_t>(length), '\0');
  size_t got = std::fread(bytes.data(), 1, bytes.size(), file_.get());
  bytes.resize(got);
  return bytes;
}

bool XmlScanner::ReadTag(int64_t from, std::string_view name, TagRead& tag,
                        AttributeList& attributes) {
  tag.text.clear();
  tag.start = FindTag(from, name);
  tag.end = tag.start < 0 ? -1 : FindTagEnd(tag.start);
  tag.closingMark = 0;
  if (tag.end < 0) return false;
  std::optional<std::string> inner = ReadTagText(tag.start, tag.end - tag.start + 1);
  if (!inner || inner->size() < 2) return false;
  tag.text = std::move(*inner);
  const char last = tag.text.back();
  tag.closingMark = (last == '?' || last == '/') ? last : 0;
  ParseAttributes(tag.text, attributes);
  return true;
}

std::optional<OpaqueMarkup> OpaqueMarkupAt(std::string_view text) {
  constexpr struct {
    std::string_view opener;
    std::string_view closer;
  } kOpaque[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
  for (const auto& kind : kOpaque) {
    if (text.substr(0, kind.opener.size()) == kind.opener) {
      return OpaqueMarkup{kind.opener.size(), kind.closer};
    }
  }
  return std::nullopt;
}

size_t ParseAttributes(std::string_view text, AttributeList& attributes) {
  attributes.names.clear();
  attributes.values.clear();
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && !EndsName(text[i])) ++i;
  while (i < n) {
    if (text[i] != ' ' && text[i] != '\t') break;
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    const size_t nameStart = i;
    while (i < n && IsNameByte(text[i])) ++i;
    if (i == nameStart) break;
    const std::string_view name = text.substr(nameStart, i - nameStart);
    if (i + 1 >= n || text[i] != '=' || (text[i + 1] != '"' && text[i + 1] != '\'')) break;
    const char quote = text[i + 1];
    const size_t valueStart = i + 2;
    const size_t close = text.find(quote, valueStart);
    if (close == std::string_view::npos) break;
    SetAttribute(attributes, name, text.substr(valueStart, close - valueStart));
    i = close + 1;
  }
  return attributes.names.size();
}

void SetAttribute(AttributeList& attributes, std::string_view name, std::string_view value) {
  for (size_t i = 0; i < attributes.names.size(); ++i) {
    if (EqualsIgnoreCase(attributes.names[i], name)) {
      attributes.values[i] = std::string(value);
      return;
    }
  }
  attributes.names.emplace_back(name);
  attributes.values.emplace_back(value);
}

bool GetAttribute(const AttributeList& attributes, std::string_view name, std::string& value) {
  for (size_t i = 0; i < attributes.names.size(); ++i) {
    if (attributes.names[i] == name) {
      value = attributes.values[i];
      return true;
    }
  }
  return false;
}

int64_t ParseDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' ||
                             text[i] == '\n' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (kMax - digit) / 10) {
      value = kMax;
      break;
    }
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

int64_t GetSizeAttribute(const AttributeList& attributes) {
  std::string value;
  return GetAttribute(attributes, "Size", value) ? ParseDecimal(value) : -1;
}

int64_t GetCountAttribute(const AttributeList& attributes) {
  std::string value;
  return GetAttribute(attributes, "Count", value) ? ParseDecimal(value) : 0;
}

}  // namespace velmora
