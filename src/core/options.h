#pragma once
// The option set of a job and the small rules around it that several modules share.

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Conversion rules, in the order of the rule list in the window.
enum ConversionRule : int {
  kRuleBmpToPng = 0,    // "BMP → PNG (기본)"
  kRuleBmpToJpeg = 1,   // "BMP → JPEG"
  kRulePngQuant = 2,    // "BMP/PNG → PNGquant"
};

// Fixed for the duration of a job; the job takes a copy.
struct ShrinkOptions {
  int conversionRule = kRuleBmpToPng;
  unsigned int jpegQuality = 90;
  std::string backgroundText = "FFFFFF";
  bool keepTempFiles = false;
  bool extraOptimisers = true;
};

// Colour value with red in bits 0-7, green in 8-15, blue in 16-23.
using ColourRef = uint32_t;
constexpr ColourRef kWhite = 0xFFFFFF;

// Six hexadecimal digits red, green, blue; white (or partly white) when unusable.
ColourRef ParseBackgroundColour(std::string_view text);

// The target a source would get by default: "(pack)" before .hml/.hwpx, any other
// extension replaced by .hwpx, conjoining Hangul jamo composed into syllables.
std::string DefaultTargetName(std::string_view source);

// Joins leading consonant + vowel (+ trailing consonant) jamo sequences into
// precomposed Hangul syllables; every other byte is copied unchanged.
std::string ComposeJamo(std::string_view text);

// Size of a file as a signed 32-bit number (its low 32 bits), -1 when unreadable.
int32_t GetFileSize32(const std::string& path);

}  // namespace velmora
