#include "picture/picture_processing.h"

#include <exception>
#include <new>
#include <utility>

#include "core/text.h"
#include "core/worker_pool.h"
#include "image/bmp_reader.h"
#include "image/exif_block.h"
#include "image/flatten.h"
#include "image/gif_reader.h"
#include "image/jpeg_codec.h"
#include "image/png_codec.h"
#include "picture/memory_budget.h"
#include "picture/lossless_passes.h"
#include "picture/messages.h"
#include "picture/optimiser_passes.h"
#include "picture/png_output.h"
#include "picture/replacement_checks.h"
#include "picture/resolution.h"
#include "picture/verification.h"
#include "platform/platform.h"
#include "tools/optimisers.h"

namespace velmora {

namespace {

// What one call works with. Nothing outlives the call except the output file, which is
// registered with the job's temporary files.
struct PictureJob {
  const EmbeddedPicture& picture;
  const ShrinkOptions& options;
  LogLines& log;
  TempFiles& temp;
  std::string outputPath;
  bool resampled = false;  // the decoded picture was reduced to its frames' need...
  Picture reduced{};       // ...and this is what it became

  void Log(const std::string& text) { log.Write(text, true); }

  void LogKind(PictureKind kind) {
    Log(Format(picture_text::kEmbeddedIs, picture.number + 1, NameOf(kind)));
  }

  // Names the rewritten file and registers it at once, so that it is removed at the
  // end of the job whatever happens next.
  void TakeOutputName(PictureKind kind) {
    outputPath = temp.NewName(ExtensionOf(kind), false);
    temp.Register(outputPath);
  }

  // The output size test: the rewritten file goes into the document only when it is
  // not empty and strictly smaller than the original.
  PictureOutcome Decide(PictureKind kind) {
    if (IsSmallerThanOriginal(GetFileSize32(outputPath), picture.originalSize)) {
      Log(picture_text::kRewrittenUsed);
      PictureOutcome outcome = PictureOutcome::Replace(kind, outputPath);
      outcome.resampled = resampled;
      return outcome;
    }
    Log(picture_text::kOriginalUsed);
    return PictureOutcome::Keep(PictureDecision::kNotSmaller, outputPath);
  }

  // A picture that could not be read, or only in part, keeps its bytes: re-encoding a
  // cut picture would replace a viewable one with a worse one.
  PictureOutcome ReadFailed() {
    Log(picture_text::kReadFailed);
    return PictureOutcome::Keep(PictureDecision::kUnreadable, outputPath);
  }

  void LogFinished() { Log(Format(picture_text::kWritingFinished, outputPath.c_str())); }

  // The time an external tool may take over a picture of so many pixels, and this
  // picture's lines to hear of it: each picture has its own budget.
  ToolBudget Budget(uint64_t pixelCount) { return PictureToolBudget(options, pixelCount, log); }

  // The downscale step, when a printing density is asked for: the decoded picture is
  // reduced to the pixels its frames need before it is encoded by the classic rules.
  // Returns the picture to encode: the reduced one, or the decoded one as it is.
  Picture& ReduceToPrint(Picture& decoded, const FileFacts& facts = {}) {
    if (options.ppi > 0) {
      resampled = ReduceToPrintSize(picture.uses, options.ppi, decoded, reduced, log, facts);
    }
    return resampled ? reduced : decoded;
  }

  // The PNG output step, with the job's optimiser switch, on the decoded picture or
  // the one it was reduced to. A reduced picture can make the larger file: averaging
  // gives a screenshot or a drawing colours it did not have. It is then written at its
  // own size as well, and the smaller file goes on.
  void SavePicture(Picture& decoded, bool forceQuantisation) {
    if (!resampled) {
      WritePngFile(decoded, outputPath, forceQuantisation);
      return;
    }
    WritePngFile(reduced, outputPath, forceQuantisation);
    const std::string own = temp.NewName(ExtensionOf(PictureKind::kPng), false);
    temp.Register(own);
    WritePngFile(decoded, own, forceQuantisation);
    const int32_t reducedSize = GetFileSize32(outputPath);
    const int32_t ownSize = GetFileSize32(own);
    if (ownSize > 0 && (reducedSize <= 0 || ownSize <= reducedSize)) {
      ResolutionPlan kept;
      kept.reason = KeepReason::kLargerResampled;
      LogResolutionKept(log, decoded, options.ppi, kept,
                        Format(picture_text::kLargerSizes, reducedSize, ownSize));
      outputPath = own;
      resampled = false;
    }
  }

  // Writes pixels as a PNG file at path and optimises it. The pixels are freed once the
  // file is written: the optimiser works on the file, and holding them while it runs
  // and its output is compared would hold a second full-size copy.
  void WritePngFile(Picture& pixels, const std::string& path, bool forceQuantisation) {
    const bool optimise = WantsPngOptimiser(options.extraOptimisers, pixels.PixelCount());
    const bool written = WritePngOutput(pixels, path, picture.sourcePath, forceQuantisation);
    const uint64_t pixelCount = pixels.PixelCount();
    pixels.pixels.reset();
    if (optimise && written) OptimisePng(path, temp, Budget(pixelCount));
  }

  // A picture whose processing would pass the memory budget keeps its bytes; its
  // headers tell before anything is decoded.
  bool WithinMemoryBudget(PictureKind kind) {
    return velmora::WithinMemoryBudget(picture.sourcePath, kind, options, log);
  }
};

// One time for every date written into a picture: the job's.
int64_t StampTime(const ShrinkOptions& options) {
  return options.stampTime != 0 ? options.stampTime : platform::SecondsSinceEpoch();
}

// The source's EXIF block, edited for the re-encoded picture, or a new one when the
// source has none that parses.
void PrepareExif(PictureJob& job, ExifBlock& exif, int64_t now) {
  if (exif.LoadFromJpeg(job.picture.sourcePath) == ExifStatus::kParsed) {
    job.Log(picture_text::kModifyingExif);
    exif.RemoveThumbnail();
    exif.SetSoftware();
    exif.StampDates(now);
    exif.EnsureDateTime(now);
  } else {
    job.Log(picture_text::kCreatingExif);
    exif.Create(now);
  }
}

PictureOutcome ProcessJpeg(PictureJob& job) {
  job.LogKind(PictureKind::kJpeg);
  if (!job.WithinMemoryBudget(PictureKind::kJpeg)) {
    return PictureOutcome::Keep(PictureDecision::kOverMemoryBudget);
  }
  Picture jpeg;
  // The library's own working memory is held to the budget as well.
  if (ReadJpegWithin(job.picture.sourcePath, jpeg, MemoryBudgetBytes(job.options)) !=
      ReadStatus::kComplete) {
    return job.ReadFailed();
  }
  job.TakeOutputName(PictureKind::kJpeg);

  const int64_t now = StampTime(job.options);
  ExifBlock exif;
  PrepareExif(job, exif, now);
  // A camera states its density in EXIF only, as often as not, and may ask for its
  // pixels to be shown turned.
  FileFacts facts;
  exif.GetResolution(facts.xResolution, facts.yResolution);
  facts.quarterTurned = IsQuarterTurn(exif.Orientation());
  job.ReduceToPrint(jpeg, facts);
  if (job.resampled) {
    // The block's own density follows the pixels whatever its unit; where the block
    // can take one in inches, it then states the JFIF density below.
    exif.ScaleResolution(static_cast<double>(job.reduced.width) / jpeg.width,
                         static_cast<double>(job.reduced.height) / jpeg.height);
    jpeg = std::move(job.reduced);
  }

  if (WriteJpeg(job.outputPath, jpeg, job.options.jpegQuality, job.picture.sourcePath)) {
    exif.SetWidth(static_cast<uint32_t>(jpeg.width));
    exif.SetHeight(static_cast<uint32_t>(jpeg.height));
    exif.SetResolution(jpeg.xResolution, jpeg.yResolution);
    exif.Finish();
    // On any failure the encoder's file stays as it is: a valid picture without EXIF.
    if (exif.WriteIntoJpeg(job.outputPath) == ExifBlock::WriteResult::kTooLarge) {
      job.Log(picture_text::kExifTooLarge);
    }
    job.LogFinished();
  }
  return job.Decide(PictureKind::kJpeg);
}

PictureOutcome ProcessPng(PictureJob& job) {
  job.LogKind(PictureKind::kPng);
  // The still-picture path would keep the first frame of an animation and lose the
  // rest; no rule may flatten one.
  if (IsAnimatedPng(job.picture.sourcePath)) {
    job.Log(picture_text::kAnimatedPngKept);
    return PictureOutcome::Keep(PictureDecision::kAnimationKept);
  }
  if (!job.WithinMemoryBudget(PictureKind::kPng)) {
    return PictureOutcome::Keep(PictureDecision::kOverMemoryBudget);
  }
  Picture png;
  if (ReadPng(job.picture.sourcePath, png) != ReadStatus::kComplete) return job.ReadFailed();
  job.ReduceToPrint(png);
  job.TakeOutputName(PictureKind::kPng);
  const bool quantise = job.options.conversionRule == ConversionRule::kPngQuant;
  job.Log(quantise ? picture_text::kWritingPngQuant : picture_text::kWritingPng);
  // Without forced quantisation the output step still makes a palette PNG of a
  // picture with few colours.
  job.SavePicture(png, quantise);
  job.LogFinished();
  return job.Decide(PictureKind::kPng);
}

// The JPEG writer takes no alpha: a 32-bit bitmap is composed over the background
// colour first. Returns false when there is nothing to encode (an empty picture).
bool FlattenForJpeg(Picture& bmp, const std::string& backgroundText) {
  if (bmp.bitsPerPixel != 32) return true;
  PixelBuffer rgb = FlattenToRgb(bmp, ParseBackgroundColour(backgroundText));
  if (!rgb) return false;
  bmp.pixels = std::move(rgb);
  bmp.bitsPerPixel = 24;
  return true;
}

void WriteBmpAsJpeg(PictureJob& job, Picture& bmp) {
  job.Log(picture_text::kConvertingToJpeg);
  // With nothing encoded the output file stays empty and the size test keeps the
  // original.
  if (!FlattenForJpeg(bmp, job.options.backgroundText)) return;
  const int64_t now = StampTime(job.options);
  ExifBlock exif;
  exif.Create(now);
  exif.SetResolution(bmp.xResolution, bmp.yResolution);
  // The bitmap as source path: it has no ICC profile to carry over.
  if (!WriteJpeg(job.outputPath, bmp, job.options.jpegQuality, job.picture.sourcePath)) return;
  // On failure the encoder's file stays as it is: a valid picture without EXIF.
  exif.WriteIntoJpeg(job.outputPath);
  job.LogFinished();
}

PictureOutcome ProcessBmp(PictureJob& job) {
  job.LogKind(PictureKind::kBmp);
  if (!job.WithinMemoryBudget(PictureKind::kBmp)) {
    return PictureOutcome::Keep(PictureDecision::kOverMemoryBudget);
  }
  Picture bmp;
  if (ReadBmp(job.picture.sourcePath, bmp) != ReadStatus::kComplete) return job.ReadFailed();
  Picture& encoded = job.ReduceToPrint(bmp);
  // A bitmap of at most 256 colours is a palette picture at heart: it becomes a
  // palette PNG whatever the rule says; as JPEG its hard edges would smear.
  const ConversionRule rule =
      bmp.sourceBitsPerPixel <= 8 ? ConversionRule::kPngQuant : job.options.conversionRule;
  if (rule == ConversionRule::kBmpToJpeg) {
    job.TakeOutputName(PictureKind::kJpeg);
    WriteBmpAsJpeg(job, encoded);
    return job.Decide(PictureKind::kJpeg);
  }
  job.TakeOutputName(PictureKind::kPng);
  const bool quantise = rule == ConversionRule::kPngQuant;
  job.Log(quantise ? picture_text::kConvertingToPngQuant : picture_text::kConvertingToPng);
  job.SavePicture(bmp, quantise);
  job.LogFinished();
  return job.Decide(PictureKind::kPng);
}

// An animated GIF goes to the GIF optimiser or keeps its bytes: the still-picture
// path would paint all frames over each other and lose the animation.
PictureOutcome ProcessAnimatedGif(PictureJob& job, const Picture& gif) {
  if (!job.options.extraOptimisers) {
    job.Log(picture_text::kAnimationKept);
    return PictureOutcome::Keep(PictureDecision::kAnimationKept);
  }
  job.Log(picture_text::kAnimationToGifsicle);
  const std::string tool = GifsiclePath();
  if (!IsUsableTool(tool)) {
    job.Log(picture_text::kAnimationKept);
    return PictureOutcome::Keep(PictureDecision::kAnimationKept);
  }
  job.TakeOutputName(PictureKind::kGif);
  const uint64_t pixelCount = gif.PixelCount() * static_cast<uint64_t>(gif.frames);
  const ToolBudget budget = job.Budget(pixelCount);
  const platform::RunResult run =
      RunGifsicle(tool, job.picture.sourcePath, job.outputPath, budget.seconds);
  // What a tool that was ended left behind is never looked at.
  if (run != platform::RunResult::kFinished) {
    if (run == platform::RunResult::kTimedOut) {
      job.Log(Format(picture_text::kGifToolTimedOut, budget.seconds));
    } else {
      job.Log(picture_text::kOriginalUsed);
    }
    return PictureOutcome::Keep(PictureDecision::kToolOutputRejected, job.outputPath);
  }
  // The tool's output is taken only when it is the same animation, whole, and it
  // passes the same size test as every other rewritten picture.
  if (!IsCompleteGifLike(job.outputPath, gif)) {
    job.Log(picture_text::kOriginalUsed);
    return PictureOutcome::Keep(PictureDecision::kToolOutputRejected, job.outputPath);
  }
  return job.Decide(PictureKind::kGif);
}

PictureOutcome ProcessGif(PictureJob& job) {
  job.LogKind(PictureKind::kGif);
  if (!job.WithinMemoryBudget(PictureKind::kGif)) {
    return PictureOutcome::Keep(PictureDecision::kOverMemoryBudget);
  }
  Picture gif;
  if (ReadGif(job.picture.sourcePath, gif) != ReadStatus::kComplete) return job.ReadFailed();
  // An animation is left at its resolution; the log says so.
  job.ReduceToPrint(gif);
  if (gif.frames > 1) {
    // The animation goes to the tool as a file; only its size and frame count are
    // needed to judge what comes back.
    gif.pixels.reset();
    return ProcessAnimatedGif(job, gif);
  }
  job.Log(picture_text::kConvertingToPngQuant);
  job.TakeOutputName(PictureKind::kPng);
  // A still GIF is a palette picture: it becomes a palette PNG.
  job.SavePicture(gif, true);
  job.LogFinished();
  return job.Decide(PictureKind::kPng);
}

}  // namespace

PictureOutcome ProcessPicture(const EmbeddedPicture& picture, const ShrinkOptions& options,
                              LogLines& log, TempFiles& temp) {
  const std::optional<PictureKind> kind = DetectPictureKind(picture.sourcePath);
  if (!kind) return PictureOutcome::Keep(PictureDecision::kNotAPicture);
  PictureJob job{picture, options, log, temp, {}};
  switch (*kind) {
    case PictureKind::kBmp: return ProcessBmp(job);
    case PictureKind::kGif: return ProcessGif(job);
    case PictureKind::kPng: return ProcessPng(job);
    case PictureKind::kJpeg: return ProcessJpeg(job);
  }
  return PictureOutcome::Keep(PictureDecision::kNotAPicture);
}

namespace {

// One log line for a picture whose processing failed; the line itself may fail when
// memory is short, and the picture keeps its bytes either way.
PictureOutcome KeepAfterFailure(LogLines& log, const char* reason) noexcept {
  try {
    log.Write(Format(picture_text::kProcessingFailed, reason), true);
  } catch (...) {
  }
  return PictureOutcome::Keep(PictureDecision::kProcessingFailed);
}

}  // namespace

PictureProcessor IsolatingFailures(PictureProcessor process) {
  return [process = std::move(process)](const EmbeddedPicture& picture,
                                        const ShrinkOptions& options, LogLines& log,
                                        TempFiles& temp) -> PictureOutcome {
    try {
      return process(picture, options, log, temp);
    } catch (const std::bad_alloc&) {
      return KeepAfterFailure(log, "out of memory");
    } catch (const std::exception& error) {
      return KeepAfterFailure(log, error.what());
    } catch (...) {
      return KeepAfterFailure(log, "unknown error");
    }
  };
}

PictureProcessor CountingResampled(PictureProcessor process, ResampleCounter& counter) {
  return [process = std::move(process), &counter](const EmbeddedPicture& picture,
                                                  const ShrinkOptions& options, LogLines& log,
                                                  TempFiles& temp) -> PictureOutcome {
    PictureOutcome outcome = process(picture, options, log, temp);
    if (outcome.Replaces() && outcome.resampled) {
      const int32_t size = GetFileSize32(outcome.rewrittenPath);
      if (IsSmallerThanOriginal(size, picture.originalSize)) {
        counter.Add(picture.originalSize - size);
      }
    }
    return outcome;
  };
}

PictureProcessor StandardPictureProcessor() {
  // No rewritten picture enters the document before its own reader has read it back.
  // A picture the classic rules keep only because their result was not smaller, or not
  // sound, goes through the lossless pass of its kind. One they keep for what the
  // picture is (an animation, damaged, over the memory budget) stays as it is: the
  // pass would meet the same.
  return IsolatingFailures([verified = WithVerification(ProcessPicture)](
                               const EmbeddedPicture& picture, const ShrinkOptions& options,
                               LogLines& log, TempFiles& temp) {
    PictureOutcome outcome = verified(picture, options, log, temp);
    const bool worthAPass = outcome.decision == PictureDecision::kNotSmaller ||
                            outcome.decision == PictureDecision::kVerificationFailed;
    if (outcome.Replaces() || options.classic || !worthAPass) return outcome;
    PictureOutcome lossless = RunLosslessPass(picture, options, log, temp);
    return lossless.Replaces() ? lossless : outcome;
  });
}

PictureProcessor LosslessPictureProcessor() { return IsolatingFailures(RunLosslessPass); }

}  // namespace velmora
