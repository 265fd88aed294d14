// The attribute parsing of an HWPX manifest: the input is taken as a manifest whose
// item tags are found and split as the HWPX processor does it, and as the text of one
// tag. The four item attributes picked from the pairs must be the last pair of each
// name, and the count of slots found must be the number of different names present.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"
#include "document/manifest.h"
#include "fuzz_support.h"

namespace {

using namespace velmora;
using namespace velmora::fuzz;

constexpr size_t kMaxInput = 1 << 20;
constexpr int kMaxTags = 4096;

void CheckItem(std::string_view tagText) {
  const std::vector<AttributePair> pairs = ParseTagAttributes(tagText);
  for (const AttributePair& pair : pairs) {
    Require(!pair.first.empty() || !pair.second.empty(), "empty pairs are skipped");
  }
  const ItemAttributes item = SelectItemAttributes(pairs);
  static const char* const kNames[4] = {"id", "href", "media-type", "isEmbeded"};
  std::array<const std::string*, 4> last{};
  for (const AttributePair& pair : pairs) {
    for (int slot = 0; slot < 4; ++slot) {
      if (EqualsIgnoreCase(pair.first, kNames[slot]))
        last[static_cast<size_t>(slot)] = &pair.second;
    }
  }
  int present = 0;
  for (int slot = 0; slot < 4; ++slot) {
    const std::string* value = last[static_cast<size_t>(slot)];
    present += value != nullptr ? 1 : 0;
    Require(item.slots[static_cast<size_t>(slot)] == (value != nullptr ? *value : std::string()),
            "a slot holds the value of the last pair of its name");
  }
  Require(item.filled == present, "the slots found are the different names present");

  const std::optional<PictureKind> kind = MediaTypeKind(item.slots[kSlotMediaType]);
  if (kind) {
    Require(EqualsIgnoreCase(KindMediaType(*kind), item.slots[kSlotMediaType]),
            "a kind's media type is the one that named it");
  }
  Require(TrailingNumber(item.slots[kSlotId]) >= 0, "picture numbers are not negative");
  IsEmbeddedFlag(item.slots[kSlotIsEmbeded]);
}

// The first opener at or after start outside comments, CDATA sections and processing
// instructions, by a search of the harness's own.
long long ReferenceFind(std::string_view text, std::string_view opener, size_t start) {
  static constexpr std::string_view kOpaque[][2] = {
      {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
  for (size_t i = text.find('<', start); i != std::string_view::npos; i = text.find('<', i)) {
    const std::string_view rest = text.substr(i);
    bool skipped = false;
    for (const auto& opaque : kOpaque) {
      if (rest.substr(0, opaque[0].size()) != opaque[0]) continue;
      const size_t close = rest.find(opaque[1], opaque[0].size());
      if (close == std::string_view::npos) return -1;
      i += close + opaque[1].size();
      skipped = true;
      break;
    }
    if (skipped) continue;
    if (rest.substr(0, opener.size()) == opener) return static_cast<long long>(i);
    ++i;
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const std::string_view manifest(reinterpret_cast<const char*>(data), size);

  CheckItem(manifest);
  std::string rest(manifest.substr(0, 4096));
  for (int i = 0; i < kMaxTags && !rest.empty(); ++i) {
    const size_t before = rest.size();
    SplitFirstAttribute(rest);
    Require(rest.size() < before, "every split consumes text");
  }

  const std::string_view open = "<opf:item ";
  long long offset = 0;
  for (int tags = 0; tags < kMaxTags; ++tags) {
    // As the package walk finds its items: outside comments and the like.
    const long long w = FindMarkupOutsideComments(manifest, open, offset);
    Require(w == ReferenceFind(manifest, open, static_cast<size_t>(offset)),
            "items inside comments, CDATA sections and processing instructions are passed over");
    if (w < 0) break;
    Require(w >= offset && manifest.substr(static_cast<size_t>(w), open.size()) == open,
            "a found tag starts where the search says");
    const long long e = FindBytes(manifest, ">", w);
    if (e < 0) break;
    CheckItem(manifest.substr(static_cast<size_t>(w) + 9, static_cast<size_t>(e - w) - 8));
    offset = e + 1;
  }
  return 0;
}
