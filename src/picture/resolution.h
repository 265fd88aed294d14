#pragma once
// Pictures at the resolution they are printed at (--ppi). The document processors say
// where each picture is shown (its frames); from those and the picture's pixels follow
// the pixels it needs at a printing density, and the downscale step reduces a picture
// that carries clearly more. Whatever is not understood leaves the picture as it is.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "image/picture.h"

namespace velmora {

// Lengths in a document are HWP units, 7200 to the inch.
constexpr double kHwpUnitsPerInch = 7200;
// The word processor measures a picture's natural size (imgDim) and its crop (imgClip)
// at 96 pixels per inch whatever density the file states: 75 units per pixel in every
// document of the corpus.
constexpr double kUnitsPerNaturalPixel = 75;
// A picture is reduced only when at least this share of its pixels goes; less is not
// worth a second generation of JPEG artefacts.
constexpr double kMinPixelSaving = 0.2;
// The density taken for a picture whose file states none: the word processor's own.
constexpr float kAssumedDensity = 96;

// A rectangle in the units of a picture's natural size.
struct ClipRect {
  int64_t left = 0;
  int64_t right = 0;
  int64_t top = 0;
  int64_t bottom = 0;
  bool operator==(const ClipRect&) const = default;
};

struct NaturalSize {
  int64_t width = 0;
  int64_t height = 0;
  bool operator==(const NaturalSize&) const = default;
};

// One place where the document shows the picture.
struct PictureFrame {
  // The printed size in HWP units. A rotated frame counts its longer side on both axes,
  // as the picture's own axes may lie either way on the page.
  double width = 0;
  double height = 0;
  // The visible part in natural-size units; nothing shows the whole picture.
  std::optional<ClipRect> clip;
  // The natural size the document states, when it states one (imgDim).
  std::optional<NaturalSize> natural;
  bool operator==(const PictureFrame&) const = default;
};

// Why a picture keeps its resolution although a printing density was asked for. The
// first group is found while the document is read, the rest from the picture.
enum class KeepReason {
  kNone,
  kLayoutUnread,     // the document's layout could not be read
  kNotShown,         // no picture frame shows it
  kOtherUse,         // something else uses it too (a fill, an object, an unknown element)
  kFrameUnread,      // a frame's printed size cannot be read (relative size, skew)
  kCropNotMapped,    // a crop that cannot be mapped exactly onto its pixels
  kSmallerThanNeed,  // no more pixels than its largest frame needs
  kSavesTooLittle,   // less than kMinPixelSaving of its pixels would go
  kAnimated,
  kTooLarge,         // more pixels across than the filter addresses
  kFailed,           // the filter failed (no memory)
  kLargerResampled,  // a lossless file came out larger than at the picture's own size
};

// Everything the document says about where one picture is shown.
struct PictureUses {
  std::vector<PictureFrame> frames;
  KeepReason problem = KeepReason::kNone;  // one of the document's reasons, or kNone
  std::string detail;                      // the element or failure behind the problem
};

struct ResolutionPlan {
  bool resample = false;
  KeepReason reason = KeepReason::kNone;  // when not resampled
  int32_t width = 0;                      // the new size when resampled
  int32_t height = 0;
  double needWidth = 0;                   // pixels the largest frames need, when known
  double needHeight = 0;
};

// The new size of a picture of width × height pixels for its uses at ppi: per frame,
// the visible pixels times (frame inches × ppi ÷ visible pixels) on each axis; the
// largest need over all frames; one scale for both axes, the larger of the two, never
// above 1; and only when at least kMinPixelSaving of the pixels go.
//
// quarterTurned: the file asks for its pixels to be shown turned by a quarter (EXIF
// orientation 5 to 8), which a viewer may or may not do. Each frame then counts its
// longer side and its smaller visible share on both axes, which is enough either way.
ResolutionPlan PlanResolution(const PictureUses& uses, int32_t width, int32_t height, int ppi,
                              bool quarterTurned = false);

// What a file says about its picture outside the decoded pixels.
struct FileFacts {
  // A density stated elsewhere in the file (a camera's EXIF block), per inch.
  float xResolution = 0;
  float yResolution = 0;
  bool quarterTurned = false;  // see PlanResolution
};

// EXIF orientations 5 to 8 show the pixels turned by a quarter (mirrored or not).
inline bool IsQuarterTurn(uint32_t exifOrientation) {
  return exifOrientation >= 5 && exifOrientation <= 8;
}
// True when the JPEG file's EXIF block asks for its pixels turned by a quarter.
bool IsQuarterTurnedJpeg(const std::string& path);

// The downscale step of picture processing: plans the decoded picture's size and, when
// it is to be reduced, writes the reduced picture into reduced; decoded stays as it
// is. A picture whose file states no density is taken at the density of facts or else
// at kAssumedDensity, so that the new density keeps its printed size. Logs one line,
// the new size or why the picture keeps its own. True when reduced was written.
bool ReduceToPrintSize(const PictureUses& uses, int ppi, const Picture& decoded,
                       Picture& reduced, LogLines& log, const FileFacts& facts = {});

// The log line for a picture that keeps its resolution (also used for animations).
void LogResolutionKept(LogLines& log, const Picture& decoded, int ppi,
                       const ResolutionPlan& plan, const std::string& detail = {});

}  // namespace velmora
