#include "picture/verification.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "core/options.h"
#include "core/text.h"
#include "image/bmp_header.h"
#include "image/jpeg_codec.h"
#include "image/png_codec.h"
#include "image/picture_file.h"
#include "picture/messages.h"
#include "platform/platform.h"

namespace velmora {

namespace {

uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The first size bytes of the file; false when it is shorter or cannot be read.
bool ReadHead(const std::string& path, uint8_t* head, size_t size) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  return file && std::fread(head, 1, size, file.get()) == size;
}

PictureShape BmpHeaderShape(const std::string& path) {
  PictureFile file;
  BmpHeader header;
  PictureShape shape;
  shape.kind = PictureKind::kBmp;
  bool read = file.Open(path) && ReadBmpHeader(file, header);
  // A top-down bitmap stores its height negated; the most negative value has no
  // positive twin and is no size any reader decodes.
  const int64_t rows = header.height < 0 ? -int64_t{header.height} : header.height;
  read = read && rows <= INT32_MAX;
  shape.width = header.width;
  shape.height = static_cast<int32_t>(std::min<int64_t>(rows, INT32_MAX));
  shape.status = read ? ReadStatus::kComplete : ReadStatus::kUnreadable;
  return shape;
}

PictureShape PngHeaderShape(const std::string& path) {
  // The content test has made sure that IHDR is the first chunk: its first eight bytes
  // are the width and the height, big-endian.
  uint8_t head[24];
  PictureShape shape;
  shape.kind = PictureKind::kPng;
  const bool read = ReadHead(path, head, sizeof head);
  shape.width = read ? static_cast<int32_t>(LoadBe32(head + 16)) : 0;
  shape.height = read ? static_cast<int32_t>(LoadBe32(head + 20)) : 0;
  shape.status = read ? ReadStatus::kComplete : ReadStatus::kUnreadable;
  return shape;
}

PictureShape JpegHeaderShape(const std::string& path) {
  // The library reads the headers only: a picture of a gigabyte is not loaded for its
  // size.
  JpegHeader header;
  PictureShape shape;
  shape.kind = PictureKind::kJpeg;
  const bool read = ReadJpegHeader(path, header);
  shape.width = static_cast<int32_t>(std::min<uint32_t>(header.width, INT32_MAX));
  shape.height = static_cast<int32_t>(std::min<uint32_t>(header.height, INT32_MAX));
  shape.status = read ? ReadStatus::kComplete : ReadStatus::kUnreadable;
  return shape;
}

PictureShape GifScreenShape(const std::string& path) {
  // The logical screen follows the six signature bytes, little-endian.
  uint8_t head[10];
  PictureShape shape;
  shape.kind = PictureKind::kGif;
  const bool read = ReadHead(path, head, sizeof head);
  shape.width = read ? head[6] | (head[7] << 8) : 0;
  shape.height = read ? head[8] | (head[9] << 8) : 0;
  shape.status = read ? ReadStatus::kComplete : ReadStatus::kUnreadable;
  return shape;
}

}  // namespace

PictureShape ReadPictureShape(const std::string& path, PictureKind kind) {
  PictureShape shape;
  shape.kind = kind;
  if (kind == PictureKind::kPng) {
    // Every row is decoded, none is kept.
    shape.status = ScanPng(path, shape.width, shape.height);
    if (!shape.Read()) shape.width = shape.height = 0;
    return shape;
  }
  // The picture lives only for the call, so its pixels are freed before the next file
  // is read: verification never holds two decoded pictures at once.
  Picture picture;
  shape.status = ReadPictureAs(path, kind, picture);
  if (shape.Read()) {
    shape.width = picture.width;
    shape.height = picture.height;
    shape.frames = picture.frames;
  }
  return shape;
}

PictureShape ReadOriginalShape(const std::string& path) {
  const std::optional<PictureKind> kind = DetectPictureKind(path);
  if (!kind) return {};
  switch (*kind) {
    case PictureKind::kBmp: return BmpHeaderShape(path);
    case PictureKind::kGif: return ReadPictureShape(path, PictureKind::kGif);
    case PictureKind::kPng: return PngHeaderShape(path);
    case PictureKind::kJpeg: return JpegHeaderShape(path);
  }
  return {};
}

PictureShape ReadHeaderShape(const std::string& path) {
  const std::optional<PictureKind> kind = DetectPictureKind(path);
  if (!kind) return {};
  switch (*kind) {
    case PictureKind::kBmp: return BmpHeaderShape(path);
    case PictureKind::kGif: return GifScreenShape(path);
    case PictureKind::kPng: return PngHeaderShape(path);
    case PictureKind::kJpeg: return JpegHeaderShape(path);
  }
  return {};
}

Verification VerifyRewrittenPicture(const std::string& original, const std::string& rewritten,
                                    PictureKind outputKind, const ResampledFor* resampled) {
  if (outputKind == PictureKind::kBmp) {
    return {false, Format(picture_text::kNoReaderFor, static_cast<int>(outputKind))};
  }
  // The original only has to be readable enough to give its size: a damaged original
  // that picture processing chose to rewrite is still compared by its dimensions.
  const PictureShape before = ReadOriginalShape(original);
  if (!before.Read()) return {false, picture_text::kOriginalUnreadable};
  // A still picture cannot stand for an animation, however right its size.
  if (before.kind == PictureKind::kPng && IsAnimatedPng(original)) {
    return {false, picture_text::kAnimatedOriginal};
  }

  // A resampled picture is held to the size its frames need, computed here afresh
  // from the original's size rather than taken from the step that made it.
  int32_t width = before.width;
  int32_t height = before.height;
  if (resampled != nullptr) {
    const bool turned = before.kind == PictureKind::kJpeg && IsQuarterTurnedJpeg(original);
    const ResolutionPlan plan =
        PlanResolution(resampled->uses, before.width, before.height, resampled->ppi, turned);
    if (!plan.resample) return {false, picture_text::kNotForResampling};
    width = plan.width;
    height = plan.height;
  }

  const PictureShape after = ReadPictureShape(rewritten, outputKind);
  const char* name = NameOf(outputKind);
  if (after.status != ReadStatus::kComplete) {
    return {false, Format(picture_text::kReaderStatus, name, static_cast<int>(after.status))};
  }
  if (after.width != width || after.height != height) {
    return {false, Format(resampled != nullptr ? picture_text::kOtherThanComputed
                                               : picture_text::kOtherSize,
                          name, after.width, after.height, width, height)};
  }
  // An animation flattened into one frame, or a frame lost on the way, damages the
  // document even when the size is right.
  if (before.kind == PictureKind::kGif && before.frames > 1 && after.frames != before.frames) {
    return {false, Format(picture_text::kOtherFrames, name, after.frames, before.frames)};
  }
  return {true, {}};
}

PictureProcessor WithVerification(PictureProcessor process) {
  return [process = std::move(process)](const EmbeddedPicture& picture,
                                        const ShrinkOptions& options, LogLines& log,
                                        TempFiles& temp) -> PictureOutcome {
    PictureOutcome outcome = process(picture, options, log, temp);
    if (!outcome.Replaces()) return outcome;
    // A file that is not smaller is never used by the document processors, so reading
    // it would only cost time.
    if (!IsSmallerThanOriginal(GetFileSize32(outcome.rewrittenPath), picture.originalSize)) {
      return outcome;
    }
    const ResampledFor resampled{picture.uses, options.ppi};
    const Verification result =
        VerifyRewrittenPicture(picture.sourcePath, outcome.rewrittenPath, *outcome.replacement,
                               outcome.resampled ? &resampled : nullptr);
    if (result.passed) return outcome;
    log.Write(Format(picture_text::kFailedVerification, result.reason.c_str()), true);
    return PictureOutcome::Keep(PictureDecision::kVerificationFailed, outcome.rewrittenPath);
  };
}

}  // namespace velmora
