// The XML tag scanner over a file of any bytes, walked as the HWPML processor walks a
// document, and the attribute functions on the same bytes. The option byte picks the
// tag name searched for. Every offset the scanner reports must lie inside the file and
// every tag it reads must be the bytes at those offsets.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "document/xml_scanner.h"
#include "fuzz_support.h"

namespace {

using namespace velmora;
using namespace velmora::fuzz;

constexpr size_t kMaxInput = 1 << 20;
// A walk visits at most this many tags, so a file of many tiny tags stays quick.
constexpr int kMaxSteps = 4096;

const std::string_view kNames[] = {"BINDATA",        "BINITEM", "BINDATALIST", "/BINDATALIST",
                                   "BINDATASTORAGE", "HWPML",   "?xml",        ""};

// Openers and closers of the stretches in which "<" opens no tag, written out here
// rather than taken from the scanner, so that the references below are its own.
struct Opaque {
  std::string_view opener, closer;
};
constexpr Opaque kOpaque[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};

const Opaque* OpaqueAt(std::string_view rest) {
  for (const Opaque& opaque : kOpaque) {
    if (rest.substr(0, opaque.opener.size()) == opaque.opener) return &opaque;
  }
  return nullptr;
}

bool EndsName(char c) { return c == ' ' || c == '\t' || c == '/' || c == '>'; }

// The first tag named name outside comments, CDATA sections and processing
// instructions, by plain search over the bytes in memory; zero bytes do not count.
int64_t ReferenceFindTag(std::string_view body, std::string_view name) {
  for (size_t i = body.find('<'); i != std::string_view::npos; i = body.find('<', i)) {
    const std::string_view rest = body.substr(i);
    if (rest.size() >= name.size() + 2 && rest.substr(1, name.size()) == name &&
        EndsName(rest[name.size() + 1])) {
      return static_cast<int64_t>(i);
    }
    if (const Opaque* opaque = OpaqueAt(rest)) {
      const size_t close = rest.find(opaque->closer, opaque->opener.size());
      if (close == std::string_view::npos) return -1;
      i += close + opaque->closer.size();
      continue;
    }
    ++i;
  }
  return -1;
}

// The next tag start at or after from the same way, where a zero byte before it (also
// inside a stretch passed over) ends the search.
int64_t ReferenceFindTagStart(std::string_view body, size_t from) {
  for (;;) {
    const size_t lt = body.find('<', from);
    const size_t zero = body.find('\0', from);
    if (lt == std::string_view::npos || (zero != std::string_view::npos && zero < lt)) return -1;
    const Opaque* opaque = OpaqueAt(body.substr(lt));
    if (opaque == nullptr) return static_cast<int64_t>(lt);
    const size_t inside = lt + opaque->opener.size();
    const size_t close = body.find(opaque->closer, inside);
    if (close == std::string_view::npos) return -1;
    if (body.substr(inside, close - inside).find('\0') != std::string_view::npos) return -1;
    from = close + opaque->closer.size();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const FuzzInput input(data, size, 1);
  const std::string_view body = input.Body();
  const std::string_view name = kNames[input.Option(0) % std::size(kNames)];

  // The attribute functions on the raw bytes, as on the text of one tag.
  AttributeList attributes;
  const size_t count = ParseAttributes(body, attributes);
  Require(count == attributes.names.size() && count == attributes.values.size(),
          "every attribute name has its value");
  std::string value;
  GetAttribute(attributes, "Id", value);
  GetSizeAttribute(attributes);
  GetCountAttribute(attributes);
  ParseDecimal(body);
  if (count > 0) {
    SetAttribute(attributes, attributes.names[0], body.substr(0, 16));
    Require(attributes.names.size() == count, "replacing a value adds no name");
  }

  const std::string path = WriteScratchFile("input.xml", body);
  XmlScanner xml;
  if (!xml.Open(path)) {
    Require(body.empty(), "only an empty file fails to open");
    return 0;
  }
  const int64_t fileSize = xml.Size();
  Require(fileSize == static_cast<int64_t>(body.size()), "the scanner sees the whole file");

  // Tag by tag, as the storage walk does it.
  int64_t cursor = 0;
  for (int step = 0; step < kMaxSteps; ++step) {
    const int64_t lt = xml.FindTagStart(cursor);
    Require(lt == ReferenceFindTagStart(body, static_cast<size_t>(cursor)),
            "a tag start passes over comments, CDATA sections and processing instructions");
    if (lt < 0) break;
    Require(lt >= cursor && lt < fileSize && body[static_cast<size_t>(lt)] == '<',
            "a tag start is a '<' at or after the search start");
    const int64_t gt = xml.FindTagEnd(lt);
    if (gt < 0) break;
    Require(gt > lt && gt < fileSize && body[static_cast<size_t>(gt)] == '>',
            "a tag end is a '>' after its start");
    if (std::optional<std::string> text = xml.ReadTagText(lt, gt - lt + 1)) {
      Require(*text == body.substr(static_cast<size_t>(lt) + 1, static_cast<size_t>(gt - lt - 1)),
              "a tag's text is the bytes between its marks");
    }
    xml.ReadTagName(lt, gt - lt + 1);
    cursor = gt + 1;
  }

  // Named searches, as the list is read.
  int64_t from = 0;
  for (int step = 0; step < kMaxSteps && from < fileSize; ++step) {
    TagRead tag;
    AttributeList found;
    if (!xml.ReadTag(from, name, tag, found)) break;
    Require(tag.start >= from && tag.start < tag.end && tag.end < fileSize,
            "a read tag lies inside the file after the search start");
    Require(found.names.size() == found.values.size(), "every attribute name has its value");
    if (std::optional<std::string> bytes = xml.ReadBytes(tag.start, tag.end - tag.start + 1)) {
      Require(bytes->size() == static_cast<size_t>(tag.end - tag.start + 1),
              "a tag's bytes can be read back whole");
    }
    from = tag.end + 1;
  }
  const int64_t found = xml.FindTag(0, name);
  Require(found < fileSize, "a found tag lies inside the file");
  if (!name.empty()) {
    Require(found == ReferenceFindTag(body, name),
            "a named tag is found outside comments, CDATA sections and processing instructions");
  }
  const int64_t zero = xml.FindZeroByte(0);
  const size_t reference = body.find('\0');
  Require(zero == (reference == std::string_view::npos ? -1 : static_cast<int64_t>(reference)),
          "the first zero byte is found");
  Require(!xml.ReadBytes(fileSize, 1), "nothing is read past the end");
  return 0;
}
