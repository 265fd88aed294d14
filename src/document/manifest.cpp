#include "document/manifest.h"

#include <climits>

#include "core/text.h"
#include "document/xml_scanner.h"

namespace velmora {

long long FindBytes(std::string_view buffer, std::string_view needle, long long start) {
  if (buffer.empty() || needle.empty() || start < 0 ||
      start >= static_cast<long long>(buffer.size())) {
    return -1;
  }
  size_t found = buffer.find(needle, static_cast<size_t>(start));
  return found == std::string_view::npos ? -1 : static_cast<long long>(found);
}

long long FindMarkupOutsideComments(std::string_view buffer, std::string_view opener,
                                    long long start) {
  if (opener.empty()) return -1;
  while (start >= 0 && start < static_cast<long long>(buffer.size())) {
    const size_t lt = buffer.find('<', static_cast<size_t>(start));
    if (lt == std::string_view::npos) return -1;
    const std::string_view rest = buffer.substr(lt);
    if (const std::optional<OpaqueMarkup> opaque = OpaqueMarkupAt(rest)) {
      const size_t close = rest.find(opaque->closer, opaque->openerLength);
      if (close == std::string_view::npos) return -1;
      start = static_cast<long long>(lt + close + opaque->closer.size());
      continue;
    }
    if (rest.substr(0, opener.size()) == opener) return static_cast<long long>(lt);
    start = static_cast<long long>(lt) + 1;
  }
  return -1;
}

AttributePair SplitFirstAttribute(std::string& rest) {
  AttributePair pair;
  rest = TrimLeft(rest);
  if (rest.empty()) return pair;
  size_t equals = rest.find('=');
  if (equals == std::string::npos) {
    pair.first = rest;
    rest.clear();
    return pair;
  }
  pair.first = Trim(std::string_view(rest).substr(0, equals));
  rest.erase(0, equals + 1);
  size_t skip = rest.find_first_not_of(" =");
  rest.erase(0, skip == std::string::npos ? rest.size() : skip);

  if (!rest.empty() && rest.front() == '"') {
    size_t closing = rest.find('"', 1);
    if (closing != std::string::npos) {
      pair.second = rest.substr(1, closing - 1);
      rest.erase(0, closing + 1);
    } else {
      size_t begin = rest.find_first_not_of("\" ");
      size_t end = rest.find_last_not_of("\" ");
      pair.second = begin == std::string::npos ? std::string() : rest.substr(begin, end - begin + 1);
      rest.clear();
    }
  } else {
    size_t space = rest.find(' ');
    if (space == std::string::npos) {
      pair.second = rest;
      rest.clear();
    } else {
      pair.second = rest.substr(0, space);
      rest.erase(0, space);
    }
  }
  rest = TrimLeft(rest);
  return pair;
}

std::vector<AttributePair> ParseTagAttributes(std::string_view bytes) {
  std::string text(bytes);
  while (!text.empty() && (text.back() == ' ' || text.back() == '/' || text.back() == '>')) {
    text.pop_back();
  }
  std::vector<AttributePair> pairs;
  while (!text.empty()) {
    AttributePair pair = SplitFirstAttribute(text);
    if (!pair.first.empty() || !pair.second.empty()) pairs.push_back(std::move(pair));
  }
  return pairs;
}

ItemAttributes SelectItemAttributes(const std::vector<AttributePair>& pairs) {
  static const char* const kNames[4] = {"id", "href", "media-type", "isEmbeded"};
  ItemAttributes result;
  // A slot counts once however often its name appears: its value cannot tell, since
  // an empty value would let a repeated name count twice.
  bool seen[4] = {false, false, false, false};
  for (const AttributePair& pair : pairs) {
    for (int slot = 0; slot < 4; ++slot) {
      if (!EqualsIgnoreCase(pair.first, kNames[slot])) continue;
      if (!seen[slot]) ++result.filled;
      seen[slot] = true;
      result.slots[slot] = pair.second;
    }
  }
  return result;
}

int TrailingNumber(std::string_view text) {
  size_t begin = text.size();
  while (begin > 0 && text[begin - 1] >= '0' && text[begin - 1] <= '9') --begin;
  long long value = 0;
  for (size_t i = begin; i < text.size(); ++i) {
    value = value * 10 + (text[i] - '0');
    // Absurdly long numbers saturate rather than overflow.
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

namespace {

struct MediaType {
  PictureKind kind;
  const char* text;
};
constexpr MediaType kMediaTypes[] = {{PictureKind::kBmp, "image/bmp"},
                                     {PictureKind::kGif, "image/gif"},
                                     {PictureKind::kPng, "image/png"},
                                     {PictureKind::kJpeg, "image/jpg"}};

}  // namespace

std::optional<PictureKind> MediaTypeKind(std::string_view mediaType) {
  for (const MediaType& type : kMediaTypes) {
    if (EqualsIgnoreCase(mediaType, type.text)) return type.kind;
  }
  return std::nullopt;
}

std::optional<PictureKind> MediaTypeKind(std::string_view mediaType, bool otherSpellings) {
  if (std::optional<PictureKind> kind = MediaTypeKind(mediaType); kind || !otherSpellings) {
    return kind;
  }
  // The registered type and the older spellings other writers use for the same pictures.
  static constexpr MediaType kOtherSpellings[] = {
      {PictureKind::kJpeg, "image/jpeg"},  {PictureKind::kJpeg, "image/pjpeg"},
      {PictureKind::kPng, "image/x-png"},  {PictureKind::kBmp, "image/x-ms-bmp"},
      {PictureKind::kBmp, "image/x-bmp"},
  };
  for (const MediaType& type : kOtherSpellings) {
    if (EqualsIgnoreCase(mediaType, type.text)) return type.kind;
  }
  return std::nullopt;
}

const char* KindMediaType(PictureKind kind) {
  for (const MediaType& type : kMediaTypes) {
    if (type.kind == kind) return type.text;
  }
  return "";
}

bool IsEmbeddedFlag(std::string_view value) {
  size_t begin = value.find_first_not_of(" 0");
  return begin != std::string_view::npos;
}

}  // namespace velmora
