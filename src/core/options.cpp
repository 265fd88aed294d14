#include "core/options.h"

#include "core/text.h"
#include "platform/platform.h"

namespace velmora {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Value of the hexadecimal pair at text[at], or -1.
int HexPair(std::string_view text, size_t at) {
  int high = HexDigit(text[at]);
  int low = HexDigit(text[at + 1]);
  return (high < 0 || low < 0) ? -1 : high * 16 + low;
}

// Decodes one three-byte UTF-8 sequence at i; 0 when there is none.
uint32_t ThreeByteCodeAt(std::string_view text, size_t i) {
  if (i + 2 >= text.size()) return 0;
  auto b0 = static_cast<unsigned char>(text[i]);
  auto b1 = static_cast<unsigned char>(text[i + 1]);
  auto b2 = static_cast<unsigned char>(text[i + 2]);
  if ((b0 & 0xF0) != 0xE0 || (b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80) return 0;
  return ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
}

void AppendThreeByte(std::string& out, uint32_t code) {
  out += static_cast<char>(0xE0 | (code >> 12));
  out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (code & 0x3F));
}

}  // namespace

Rgb ParseBackgroundColour(std::string_view text) {
  Rgb colour;
  if (text.size() < 6) return colour;
  uint8_t* channels[3] = {&colour.red, &colour.green, &colour.blue};
  for (size_t i = 0; i < 3; ++i) {
    const int value = HexPair(text, i * 2);
    if (value < 0) break;
    *channels[i] = static_cast<uint8_t>(value);
  }
  return colour;
}

bool IsColourText(std::string_view text) {
  if (text.size() != 6) return false;
  for (char c : text) {
    if (HexDigit(c) < 0) return false;
  }
  return true;
}

std::string ComposeJamo(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t lead = ThreeByteCodeAt(text, i);
    if (lead >= 0x1100 && lead <= 0x1112) {
      uint32_t vowel = ThreeByteCodeAt(text, i + 3);
      if (vowel >= 0x1161 && vowel <= 0x1175) {
        uint32_t syllable = 0xAC00 + (lead - 0x1100) * 588 + (vowel - 0x1161) * 28;
        uint32_t tail = ThreeByteCodeAt(text, i + 6);
        if (tail >= 0x11A8 && tail <= 0x11C2) {
          AppendThreeByte(out, syllable + (tail - 0x11A8) + 1);
          i += 9;
        } else {
          AppendThreeByte(out, syllable);
          i += 6;
        }
        continue;
      }
    }
    out += text[i];
    ++i;
  }
  return out;
}

std::string DefaultTargetName(std::string_view source) {
  std::string text = Trim(source);
  if (text.empty()) return {};
  // Both separators count: "/" is this system's, "\" the one of Windows paths.
  size_t separator = text.find_last_of("/\\");
  size_t dot = text.rfind('.');
  std::string result;
  if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
    std::string stem = text.substr(0, dot);
    std::string_view extension = std::string_view(text).substr(dot);
    if (EqualsIgnoreCase(extension, ".hml")) {
      result = stem + "(pack).hml";
    } else if (EqualsIgnoreCase(extension, ".hwpx")) {
      result = stem + "(pack).hwpx";
    } else {
      result = stem + ".hwpx";
    }
  } else {
    result = text + ".hwpx";
  }
  return ComposeJamo(result);
}

double ToolTimeLimitSeconds(unsigned secondsPerMegapixel, uint64_t pixelCount, int workers,
                            int cores) {
  const double share =
      workers > cores && cores > 0 ? static_cast<double>(workers) / cores : 1.0;
  return secondsPerMegapixel * (1.0 + static_cast<double>(pixelCount) / 1e6) * share;
}

int32_t GetFileSize32(const std::string& path) {
  int64_t size = platform::FileSize(path);
  if (size < 0) return -1;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(size) & 0xFFFFFFFFu));
}

}  // namespace velmora
