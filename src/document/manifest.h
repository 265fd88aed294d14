#pragma once
// Byte-level helpers for the manifest of an HWPX package (Contents/content.hpf).
// The manifest is never decoded: attribute values are copied byte for byte.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "picture/picture_kind.h"

namespace velmora {

// First offset at or after start where needle occurs whole in the buffer, or -1
// (also for an empty buffer or needle, or a start outside the buffer).
long long FindBytes(std::string_view buffer, std::string_view needle, long long start);

// First offset at or after start where opener occurs outside comments, CDATA sections
// and processing instructions (start must lie outside one), or -1: an item written
// inside a comment is no item of the package.
long long FindMarkupOutsideComments(std::string_view buffer, std::string_view opener,
                                    long long start);

using AttributePair = std::pair<std::string, std::string>;

// Splits the first name=value pair off rest (which loses it). Double quotes delimit a
// value; single quotes have no special meaning.
AttributePair SplitFirstAttribute(std::string& rest);

// The pairs of a tag's text after its name: trailing spaces, "/" and ">" are
// dropped, then pairs are split off while text remains; empty pairs are skipped.
std::vector<AttributePair> ParseTagAttributes(std::string_view bytes);

// The four attributes that matter for an item, by name ignoring case.
enum ItemSlot : int { kSlotId = 0, kSlotHref = 1, kSlotMediaType = 2, kSlotIsEmbeded = 3 };
struct ItemAttributes {
  std::array<std::string, 4> slots;
  int filled = 0;  // how many different slots were found
};
ItemAttributes SelectItemAttributes(const std::vector<AttributePair>& pairs);

// Value of the decimal digits at the very end of text (image12 → 12, a12b → 0).
int TrailingNumber(std::string_view text);

// Picture kind of a media type ("image/bmp", "image/gif", "image/png", "image/jpg",
// ignoring case); nothing for other types.
std::optional<PictureKind> MediaTypeKind(std::string_view mediaType);
// The same, also knowing the other spellings writers use for these kinds
// ("image/jpeg", "image/pjpeg", "image/x-png", "image/x-ms-bmp", "image/x-bmp")
// when otherSpellings is set.
std::optional<PictureKind> MediaTypeKind(std::string_view mediaType, bool otherSpellings);
const char* KindMediaType(PictureKind kind);

// The embedded flag: true when something is left after removing spaces and "0"s
// from both ends ("1", "true", "10" are embedded; "0", "00", "" are not).
bool IsEmbeddedFlag(std::string_view value);

}  // namespace velmora
