#pragma once
// The option set of a job and the small rules around it that several modules share.

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Conversion rules, in the order of the rule list in the window (its index is the
// rule's number).
enum class ConversionRule : int {
  kBmpToPng = 0,   // "BMP → PNG (기본)"
  kBmpToJpeg = 1,  // "BMP → JPEG"
  kPngQuant = 2,   // "BMP/PNG → PNGquant"
};

// Fixed for the duration of a job; the job takes a copy.
struct ShrinkOptions {
  ConversionRule conversionRule = ConversionRule::kBmpToPng;
  unsigned int jpegQuality = 90;
  std::string backgroundText = "FFFFFF";
  bool keepTempFiles = false;
  bool extraOptimisers = true;
  // Time budget of an external tool over one picture, in seconds per megapixel of
  // the picture, with the same again for every picture (ToolTimeLimitSeconds); 0: no
  // limit. A tool that spends it is ended and the file written before it is used.
  unsigned toolSecondsPerMegapixel = kDefaultToolSecondsPerMegapixel;
  // The memory budget of one picture, in mebibytes: a picture whose processing would
  // need more (PictureMemoryNeed) keeps its original bytes. Each picture has its own;
  // pictures processed at once need one each.
  unsigned memoryBudgetMiB = kDefaultMemoryBudgetMiB;
  // Only what the classic rules name: the pictures they rewrite, as they decide, and
  // nothing else in the document. Off: the lossless passes run over the pictures the
  // rules keep and over every other entry as well.
  bool classic = false;
  // Pictures processed at once, the external tools included; 0 means one per
  // processor core. The target does not depend on it.
  int workers = 0;
  // The time written into the metadata of rewritten pictures, in seconds since the
  // epoch; 0 means the time the job starts. One time for the whole job keeps the
  // target independent of when each picture happened to be processed.
  int64_t stampTime = 0;
  // Pixels per inch that pictures are printed at: a picture that carries clearly more
  // than its frames need is reduced to their need. 0 keeps every picture's resolution.
  int ppi = 0;
  // Everything but writing the target: the job builds it among its temporary files,
  // measures it and removes it with them, so that the user learns what a run would
  // save without any file appearing where the target would go.
  bool dryRun = false;

  static constexpr unsigned kDefaultToolSecondsPerMegapixel = 60;
  static constexpr unsigned kDefaultMemoryBudgetMiB = 512;
};

// The seconds an external tool may take over a picture of pixelCount pixels:
// secondsPerMegapixel × (1 + megapixels), so that a small picture still gets a whole
// unit. Generous on purpose: zopflipng takes about 20 s per megapixel of a photograph
// on an idle machine, and a healthy run must never be cut. With more workers than
// processor cores (workers 0: one per core) the tools share the cores and each runs
// longer by workers / cores: the limit grows by as much, so that no number of
// workers cuts a run that one worker lets end. 0 (no limit) when secondsPerMegapixel
// is 0.
double ToolTimeLimitSeconds(unsigned secondsPerMegapixel, uint64_t pixelCount, int workers,
                            int cores);

// The budget in bytes.
inline uint64_t MemoryBudgetBytes(const ShrinkOptions& options) {
  return uint64_t{options.memoryBudgetMiB} << 20;
}

struct Rgb {
  uint8_t red = 255;
  uint8_t green = 255;
  uint8_t blue = 255;
  bool operator==(const Rgb&) const = default;
};

// Six hexadecimal digits red, green, blue. Reading stops at the first pair that is
// not hexadecimal, and that channel and the ones after it stay white.
Rgb ParseBackgroundColour(std::string_view text);
// True when the text is exactly six hexadecimal digits.
bool IsColourText(std::string_view text);

// The target a source would get by default: "(pack)" before .hml/.hwpx, any other
// extension replaced by .hwpx, conjoining Hangul jamo composed into syllables.
std::string DefaultTargetName(std::string_view source);

// Joins leading consonant + vowel (+ trailing consonant) jamo sequences into
// precomposed Hangul syllables; every other byte is copied unchanged.
std::string ComposeJamo(std::string_view text);

// Size of a file as a signed 32-bit number (its low 32 bits), -1 when unreadable.
int32_t GetFileSize32(const std::string& path);

}  // namespace velmora
