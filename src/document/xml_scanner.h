#pragma once
// A minimal read-only scanner over an XML file on disk. It never builds a tree and
// never loads the file whole: it finds tags by byte offset, reads one tag's text at a
// time and splits that text into attributes. The file is treated as 8-bit bytes; the
// texts it returns are those bytes unchanged. Comments, CDATA sections and processing
// instructions are no markup of the document: the searches for tags pass over them
// whole, so that a tag written inside one is never taken for a real one.
//
// Offsets and sizes are 64-bit, so that documents larger than 2 GiB are scanned
// correctly instead of wrapping to negative offsets. -1 means "not found".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace velmora {

// Names and values of a tag's attributes, the value at index i belonging to the name
// at index i. Both are document bytes.
struct AttributeList {
  std::vector<std::string> names;
  std::vector<std::string> values;
};

// A stretch of text in which "<" opens no tag: a comment ("<!--" to "-->"), a CDATA
// section ("<![CDATA[" to "]]>") or a processing instruction ("<?" to "?>").
struct OpaqueMarkup {
  size_t openerLength = 0;
  std::string_view closer;
};
// The opaque stretch that text starts with, if any (text starts at a "<").
std::optional<OpaqueMarkup> OpaqueMarkupAt(std::string_view text);
// Length of the longest opener ("<![CDATA[").
inline constexpr size_t kLongestOpaqueOpener = 9;

// A tag as ReadTag found it.
struct TagRead {
  int64_t start = -1;    // offset of its "<"
  int64_t end = -1;      // offset of its ">"
  std::string text;      // everything between "<" and ">"
  char closingMark = 0;  // "?" or "/" when the text ends with one, else 0
};

class XmlScanner {
 public:
  XmlScanner();
  XmlScanner(const XmlScanner&) = delete;
  XmlScanner& operator=(const XmlScanner&) = delete;

  // Opens the file for reading; false for a missing or empty file. A file already
  // open is closed first.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  int64_t Size() const { return size_; }

  // Offset of the next "<" that opens a tag at or after from, passing over comments,
  // CDATA sections and processing instructions (from must lie outside one). A zero
  // byte ends the search: in a 16-bit encoded file the markup is not what it seems to
  // an 8-bit scan.
  int64_t FindTagStart(int64_t from);
  // The next "<" of any kind, and the next ">"; a zero byte ends these searches too.
  int64_t FindMarkupStart(int64_t from);
  int64_t FindTagEnd(int64_t from);
  // Offset of the first zero byte at or after from, -1 when there is none.
  int64_t FindZeroByte(int64_t from);

  // Offset of the "<" of the next tag named exactly name (case counts) at or after
  // from: "<" + name followed by a space, a tab, "/" or ">", outside comments, CDATA
  // sections and processing instructions. An empty name finds the next tag start.
  // Zero bytes do not stop this search.
  int64_t FindTag(int64_t from, std::string_view name);

  // length is the tag's length including "<" and ">". ReadTagText gives everything
  // between them; ReadTagName the part up to the first space, tab, "/" or ">".
  std::optional<std::string> ReadTagName(int64_t start, int64_t length);
  std::optional<std::string> ReadTagText(int64_t start, int64_t length);

  // length bytes from offset, fewer when the file ends first; nothing when no file is
  // open or the range starts outside the file.
  std::optional<std::string> ReadBytes(int64_t offset, int64_t length);

  // Finds the next tag named name at or after from, reads it and parses its
  // attributes into attributes. On false the attributes are left untouched.
  bool ReadTag(int64_t from, std::string_view name, TagRead& tag, AttributeList& attributes);

  // Size of the chunks that every search reads.
  static constexpr size_t kChunkBytes = 32768;
  // Longest tag text read: a "<" whose ">" lies megabytes further on must not make
  // the scanner allocate the distance.
  static constexpr int64_t kMaxTagBytes = 1 << 20;

 private:
  int64_t FindByte(int64_t from, char wanted, bool stopAtZero = true);
  // Offset of the next occurrence of sequence at or after from, -1 when none.
  int64_t FindSequence(int64_t from, std::string_view sequence, bool stopAtZero);
  // The offset after the opaque stretch that starts at "<" offset, -1 when it never
  // ends; offset itself when none starts there.
  int64_t SkipOpaque(int64_t offset, bool stopAtZero);
  // Reads up to length bytes at offset into buffer_; the count read.
  size_t ReadChunk(int64_t offset, size_t length);

  platform::UniqueFile file_;
  int64_t size_ = 0;
  // Each scanner has its own buffer, so that two scanners never share state.
  std::vector<char> buffer_;
};

// Splits a tag's text (without "<" and ">") into attributes: the name is skipped,
// then pairs name="value" or name='value' follow, each after spaces or tabs. The
// parse stops at the first thing that is not such a pair (a line break, spaces around
// "=", a name with "-" or ":", an unquoted or unterminated value); pairs before it are
// kept. Returns the number of names.
size_t ParseAttributes(std::string_view text, AttributeList& attributes);

// Stores a pair; a name already present ignoring case gets the new value and keeps
// its own spelling.
void SetAttribute(AttributeList& attributes, std::string_view name, std::string_view value);

// The value of the first name equal to name (case counts).
bool GetAttribute(const AttributeList& attributes, std::string_view name, std::string& value);

// The decimal value of "Size", -1 when absent; of "Count", 0 when absent. Leading
// white space and one sign are allowed, the digits end at the first other byte, no
// digits give 0, and values beyond the 64-bit range are held at its ends.
int64_t GetSizeAttribute(const AttributeList& attributes);
int64_t GetCountAttribute(const AttributeList& attributes);
int64_t ParseDecimal(std::string_view text);

}  // namespace velmora
