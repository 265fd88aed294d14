#include "picture/lossless_passes.h"

#include <algorithm>
#include <cstring>

#include "core/text.h"
#include "image/deflate.h"
#include "image/gif_reader.h"
#include "image/jpeg_transcode.h"
#include "image/png_codec.h"
#include "picture/memory_budget.h"
#include "picture/messages.h"
#include "picture/optimiser_passes.h"
#include "picture/replacement_checks.h"
#include "picture/verification.h"
#include "tools/optimisers.h"

namespace velmora {

namespace {

// The pass's result: used when smaller and shown to be the same picture.
PictureOutcome Judge(const EmbeddedPicture& picture, PictureKind kind, const std::string& output,
                     bool samePicture, LogLines& log) {
  const int32_t after = GetFileSize32(output);
  if (!samePicture || !IsSmallerThanOriginal(after, picture.originalSize)) {
    log.Write(Format(picture_text::kLosslessNotSmaller, NameOf(kind)), true);
    return PictureOutcome::Keep(PictureDecision::kNotSmaller, output);
  }
  log.Write(Format(picture_text::kLosslessSmaller, NameOf(kind),
                   static_cast<long long>(picture.originalSize), static_cast<long long>(after)),
            true);
  return PictureOutcome::Replace(kind, output);
}

PictureOutcome JpegPass(const EmbeddedPicture& picture, const ShrinkOptions& options,
                        LogLines& log, TempFiles& temp) {
  if (!WithinMemoryBudget(picture.sourcePath, PictureKind::kJpeg, options, log)) {
    return PictureOutcome::Keep(PictureDecision::kOverMemoryBudget);
  }
  const std::string output = temp.NewName(ExtensionOf(PictureKind::kJpeg), false);
  temp.Register(output);
  if (TranscodeJpegLosslessly(picture.sourcePath, output) != TranscodeStatus::kWritten) {
    log.Write(Format(picture_text::kLosslessUnreadable, NameOf(PictureKind::kJpeg)), true);
    return PictureOutcome::Keep(PictureDecision::kUnreadable, output);
  }
  // Decoding the result must give exactly the original's samples.
  const bool same = GetFileSize32(output) < picture.originalSize &&
                    DecodeToSameSamples(picture.sourcePath, output);
  return Judge(picture, PictureKind::kJpeg, output, same, log);
}

PictureOutcome PngPass(const EmbeddedPicture& picture, const ShrinkOptions& options,
                       LogLines& log, TempFiles& temp) {
  // An animation is never flattened to its first frame.
  if (IsAnimatedPng(picture.sourcePath)) {
    log.Write(picture_text::kAnimatedPngKept, true);
    return PictureOutcome::Keep(PictureDecision::kAnimationKept);
  }
  if (!WithinMemoryBudget(picture.sourcePath, PictureKind::kPng, options, log)) {
    return PictureOutcome::Keep(PictureDecision::kOverMemoryBudget);
  }
  Picture png;
  if (ReadPng(picture.sourcePath, png) != ReadStatus::kComplete) {
    log.Write(Format(picture_text::kLosslessUnreadable, NameOf(PictureKind::kPng)), true);
    return PictureOutcome::Keep(PictureDecision::kUnreadable);
  }
  const std::string output = temp.NewName(ExtensionOf(PictureKind::kPng), false);
  temp.Register(output);
  const uint64_t pixelCount = png.PixelCount();
  const bool written = WritePng(output, png, picture.sourcePath, kStrongestDeflate);
  png.pixels.reset();  // the optimiser and the comparison work on the files
  if (written && WantsPngOptimiser(options.extraOptimisers, pixelCount)) {
    OptimisePng(output, temp, PictureToolBudget(options, pixelCount, log));
  }
  const bool same = GetFileSize32(output) < picture.originalSize &&
                    IsLosslessPngReplacement(picture.sourcePath, output);
  return Judge(picture, PictureKind::kPng, output, same, log);
}

// Two readings of still GIFs show the same picture: the same screen and pixels. Only
// still pictures are compared, and so only they are rewritten: the reader composes the
// first frame alone.
bool SameStillGif(const std::string& a, const std::string& b) {
  Picture first;
  Picture second;
  return ReadGif(a, first) == ReadStatus::kComplete && ReadGif(b, second) == ReadStatus::kComplete &&
         first.frames == 1 && second.frames == 1 && first.width == second.width &&
         first.height == second.height &&
         std::memcmp(first.pixels.get(), second.pixels.get(), first.ByteCount()) == 0;
}

PictureOutcome GifPass(const EmbeddedPicture& picture, const ShrinkOptions& options,
                       LogLines& log, TempFiles& temp) {
  const std::string tool = GifsiclePath();
  if (!options.extraOptimisers || !IsUsableTool(tool)) return PictureOutcome::Keep(PictureDecision::kNotSmaller);
  if (!WithinMemoryBudget(picture.sourcePath, PictureKind::kGif, options, log)) {
    return PictureOutcome::Keep(PictureDecision::kOverMemoryBudget);
  }
  const std::string output = temp.NewName(ExtensionOf(PictureKind::kGif), false);
  temp.Register(output);
  const PictureShape shape = ReadHeaderShape(picture.sourcePath);
  const uint64_t pixelCount = static_cast<uint64_t>(std::max(shape.width, 0)) *
                              static_cast<uint64_t>(std::max(shape.height, 0));
  const ToolBudget budget = PictureToolBudget(options, pixelCount, log);
  const platform::RunResult run = RunGifsicle(tool, picture.sourcePath, output, budget.seconds);
  // What a tool that was ended left behind is never looked at.
  if (run != platform::RunResult::kFinished) {
    if (run == platform::RunResult::kTimedOut) {
      log.Write(Format(picture_text::kGifToolTimedOut, budget.seconds), true);
    }
    return PictureOutcome::Keep(PictureDecision::kNotSmaller);
  }
  const bool same = GetFileSize32(output) < picture.originalSize &&
                    SameStillGif(picture.sourcePath, output);
  return Judge(picture, PictureKind::kGif, output, same, log);
}

}  // namespace

PictureOutcome RunLosslessPass(const EmbeddedPicture& picture, const ShrinkOptions& options,
                               LogLines& log, TempFiles& temp) {
  const std::optional<PictureKind> kind = DetectPictureKind(picture.sourcePath);
  if (!kind) return PictureOutcome::Keep(PictureDecision::kNotAPicture);
  switch (*kind) {
    case PictureKind::kJpeg: return JpegPass(picture, options, log, temp);
    case PictureKind::kPng: return PngPass(picture, options, log, temp);
    case PictureKind::kGif: return GifPass(picture, options, log, temp);
    case PictureKind::kBmp: break;  // the classic rules always rewrite a bitmap
  }
  return PictureOutcome::Keep(PictureDecision::kNotSmaller);
}

}  // namespace velmora
