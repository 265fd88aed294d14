#include "picture/resolution.h"

#include <algorithm>
#include <cmath>

#include "core/text.h"
#include "image/exif_block.h"
#include "image/resample.h"
#include "picture/messages.h"

namespace velmora {

namespace {

// The share of the picture one frame shows on each axis; nothing when its crop cannot
// be mapped exactly onto the pixels.
struct Visible {
  double across = 1;
  double down = 1;
};

// Edges within one natural pixel count as the picture's own edges: the stated sizes
// are rounded (885 pixels are stated as 66360 units, not 66375).
bool Near(double a, double b) { return std::abs(a - b) <= kUnitsPerNaturalPixel; }

std::optional<Visible> VisibleShare(const PictureFrame& frame, int32_t width, int32_t height) {
  if (!frame.clip) return Visible{};
  const ClipRect& clip = *frame.clip;
  const double pixelsAcross = width * kUnitsPerNaturalPixel;
  const double pixelsDown = height * kUnitsPerNaturalPixel;
  const NaturalSize natural =
      frame.natural.value_or(NaturalSize{static_cast<int64_t>(pixelsAcross),
                                         static_cast<int64_t>(pixelsDown)});
  if (Near(static_cast<double>(clip.left), 0) && Near(static_cast<double>(clip.top), 0) &&
      Near(static_cast<double>(clip.right), static_cast<double>(natural.width)) &&
      Near(static_cast<double>(clip.bottom), static_cast<double>(natural.height))) {
    return Visible{};
  }
  // A real crop maps exactly only against a stated natural size that is this picture's
  // pixels: the crop's edges then lie at the same shares of the resampled picture, whose
  // stated size stays. Against anything else (no stated size, a size written for other
  // pixels) the share it shows is a guess.
  if (!frame.natural || !Near(static_cast<double>(natural.width), pixelsAcross) ||
      !Near(static_cast<double>(natural.height), pixelsDown)) {
    return std::nullopt;
  }
  if (clip.left < 0 || clip.top < 0 || clip.right <= clip.left || clip.bottom <= clip.top ||
      !(clip.right <= natural.width || Near(static_cast<double>(clip.right),
                                            static_cast<double>(natural.width))) ||
      !(clip.bottom <= natural.height || Near(static_cast<double>(clip.bottom),
                                              static_cast<double>(natural.height)))) {
    return std::nullopt;
  }
  return Visible{std::min(1.0, static_cast<double>(clip.right - clip.left) / natural.width),
                 std::min(1.0, static_cast<double>(clip.bottom - clip.top) / natural.height)};
}

ResolutionPlan Keep(KeepReason reason, double needWidth = 0, double needHeight = 0) {
  ResolutionPlan plan;
  plan.reason = reason;
  plan.needWidth = needWidth;
  plan.needHeight = needHeight;
  return plan;
}

int32_t Scaled(int32_t pixels, double scale) {
  // Rounded up: the picture never ends below its need; the tiny allowance keeps an
  // exact product from gaining a pixel through the division's rounding.
  const double scaled = std::ceil(pixels * scale - 1e-9);
  return static_cast<int32_t>(std::clamp<double>(scaled, 1, pixels));
}

std::string ReasonText(const ResolutionPlan& plan, const std::string& detail) {
  switch (plan.reason) {
    case KeepReason::kLayoutUnread: return Format(picture_text::kKeptLayoutUnread, detail.c_str());
    case KeepReason::kNotShown: return picture_text::kKeptNotShown;
    case KeepReason::kOtherUse: return Format(picture_text::kKeptOtherUse, detail.c_str());
    case KeepReason::kFrameUnread: return Format(picture_text::kKeptFrameUnread, detail.c_str());
    case KeepReason::kCropNotMapped: return picture_text::kKeptCropNotMapped;
    case KeepReason::kSmallerThanNeed:
      return Format(picture_text::kKeptSmallerThanNeed, static_cast<int>(std::ceil(plan.needWidth)),
                    static_cast<int>(std::ceil(plan.needHeight)));
    case KeepReason::kSavesTooLittle:
      return Format(picture_text::kKeptSavesTooLittle, plan.width, plan.height);
    case KeepReason::kAnimated: return picture_text::kKeptAnimated;
    case KeepReason::kTooLarge: return picture_text::kKeptTooLarge;
    case KeepReason::kFailed: return Format(picture_text::kKeptFailed, detail.c_str());
    case KeepReason::kLargerResampled: return Format(picture_text::kKeptLarger, detail.c_str());
    case KeepReason::kNone: break;
  }
  return {};
}

}  // namespace

ResolutionPlan PlanResolution(const PictureUses& uses, int32_t width, int32_t height, int ppi,
                              bool quarterTurned) {
  if (uses.problem != KeepReason::kNone) return Keep(uses.problem);
  if (uses.frames.empty()) return Keep(KeepReason::kNotShown);
  if (width < 1 || height < 1 || ppi < 1) return Keep(KeepReason::kFrameUnread);
  // A picture used several times takes its largest need on each axis.
  double needWidth = 0;
  double needHeight = 0;
  for (const PictureFrame& frame : uses.frames) {
    std::optional<Visible> visible = VisibleShare(frame, width, height);
    if (!visible) return Keep(KeepReason::kCropNotMapped);
    double across = frame.width;
    double down = frame.height;
    if (quarterTurned) {
      across = down = std::max(across, down);
      visible->across = visible->down = std::min(visible->across, visible->down);
    }
    // Visible pixels × (frame inches × ppi ÷ visible pixels), for the whole picture:
    // frame inches × ppi ÷ the share that is visible.
    needWidth = std::max(needWidth, across / kHwpUnitsPerInch * ppi / visible->across);
    needHeight = std::max(needHeight, down / kHwpUnitsPerInch * ppi / visible->down);
  }
  const double scale = std::max(needWidth / width, needHeight / height);
  if (!(scale < 1)) return Keep(KeepReason::kSmallerThanNeed, needWidth, needHeight);
  ResolutionPlan plan;
  plan.needWidth = needWidth;
  plan.needHeight = needHeight;
  // Never reduced further than the filter goes: a larger picture than needed is safe.
  const double floor = 1.0 / kMaxReduction;
  plan.width = Scaled(width, std::max(scale, floor));
  plan.height = Scaled(height, std::max(scale, floor));
  if (static_cast<double>(plan.width) * plan.height >
      (1 - kMinPixelSaving) * static_cast<double>(width) * height) {
    plan.reason = KeepReason::kSavesTooLittle;
    return plan;
  }
  if (width > kMaxResampleSide || height > kMaxResampleSide) {
    plan.reason = KeepReason::kTooLarge;
    return plan;
  }
  plan.resample = true;
  return plan;
}

void LogResolutionKept(LogLines& log, const Picture& decoded, int ppi, const ResolutionPlan& plan,
                       const std::string& detail) {
  log.Write(Format(picture_text::kResolutionKept, decoded.width, decoded.height, ppi,
                   ReasonText(plan, detail).c_str()),
            true);
}

bool IsQuarterTurnedJpeg(const std::string& path) {
  ExifBlock exif;
  if (exif.LoadFromJpeg(path) != ExifStatus::kParsed) return false;
  return IsQuarterTurn(exif.Orientation());
}

bool ReduceToPrintSize(const PictureUses& uses, int ppi, const Picture& decoded,
                       Picture& reduced, LogLines& log, const FileFacts& facts) {
  // Every frame of an animation would have to be reduced alike; the frames are painted
  // over each other here.
  ResolutionPlan plan =
      decoded.frames > 1
          ? Keep(KeepReason::kAnimated)
          : PlanResolution(uses, decoded.width, decoded.height, ppi, facts.quarterTurned);
  if (!plan.resample) {
    LogResolutionKept(log, decoded, ppi, plan, uses.detail);
    return false;
  }
  Picture made;
  const ResampleStatus status = Downscale(decoded, plan.width, plan.height, made);
  if (status != ResampleStatus::kDone) {
    plan.resample = false;
    plan.reason = status == ResampleStatus::kTooLarge ? KeepReason::kTooLarge : KeepReason::kFailed;
    LogResolutionKept(log, decoded, ppi, plan, Format("%d", static_cast<int>(status)));
    return false;
  }
  // The printed size stays when the density falls with the pixels; a file that states
  // none is measured as the word processor measures it. JFIF's aspect-ratio-only
  // density reads as 1 and states no size either.
  const bool stated = decoded.xResolution > 1 && decoded.yResolution > 1;
  const bool statedElsewhere = facts.xResolution > 1 && facts.yResolution > 1;
  const float densityX = stated            ? decoded.xResolution
                         : statedElsewhere ? facts.xResolution
                                           : kAssumedDensity;
  const float densityY = stated            ? decoded.yResolution
                         : statedElsewhere ? facts.yResolution
                                           : kAssumedDensity;
  made.xResolution = densityX * static_cast<float>(made.width) / static_cast<float>(decoded.width);
  made.yResolution =
      densityY * static_cast<float>(made.height) / static_cast<float>(decoded.height);
  log.Write(Format(picture_text::kResampling, decoded.width, decoded.height, made.width,
                   made.height, ppi),
            true);
  reduced = std::move(made);
  return true;
}

}  // namespace velmora
