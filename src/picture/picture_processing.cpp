#include "image/embedded_picture.h"

#include <utility>

#include "core/text.h"
#include "image/bmp.h"
#include "image/exif.h"
#include "image/gif.h"
#include "image/gif_probe.h"
#include "image/hand_over.h"
#include "image/jpeg.h"
#include "image/my_pic.h"
#include "image/png.h"
#include "platform/platform.h"
#include "tools/optimisers.h"

namespace velmora {

namespace {

// What one call works with. Nothing outlives the call except the output file, which is
// registered with the job's temporary files.
struct PictureJob {
  EmbeddedPicture& picture;
  const ShrinkOptions& options;
  CCreateLog& log;
  CTempFiles& temp;

  void Log(const std::string& text) { log.Write(text, true); }

  // Names the rewritten file and registers it at once, so that it is removed at the
  // end of the job whatever happens next.
  void TakeOutputName(int kind) {
    picture.outputPath = temp.NewName(PictureExtension(kind), false);
    temp.Register(picture.outputPath);
  }

  // The output size test: the rewritten file goes into the document only when it is
  // not empty and strictly smaller than the original.
  int Decide(int kind) {
    if (IsSmallerThanOriginal(GetFileSize32(picture.outputPath), picture.originalSize)) {
      Log("rewritten file is to be written");
      return kind;
    }
    Log("original file is to be written");
    return kKeepOriginal;
  }

  // A picture that could not be read, or only in part, keeps its bytes: re-encoding a
  // cut picture would replace a viewable one with a worse one.
  int ReadFailed() {
    Log("reading embedded failed. original file is to be written");
    return kKeepOriginal;
  }

  void LogFinished() { Log(Format("writing `%s` finished", picture.outputPath.c_str())); }

  // The PNG output step on a decoded picture, with the job's optimiser switch.
  void SavePng(CMyPNG& png, bool forceQuantisation) {
    png.SavePNG(picture.outputPath, picture.sourcePath, options.extraOptimisers, temp,
                forceQuantisation);
  }
};

int ProcessJpeg(PictureJob& job) {
  job.Log(Format("embedded %d is JPEG", job.picture.number + 1));
  CMyJPEG jpeg;
  int status = kJpegUnreadable;
  if (!jpeg.Read(job.picture.sourcePath, status) || status != kJpegComplete) {
    return job.ReadFailed();
  }
  job.TakeOutputName(kKindJpeg);

  // One time for every date written into the picture.
  const int64_t now = platform::SecondsSinceEpoch();
  CExifBlock exif;
  int parseStatus = CExifBlock::kNotExif;
  if (exif.LoadFromJpeg(job.picture.sourcePath, parseStatus) && parseStatus == CExifBlock::kParsed) {
    job.Log("modifing exif...");
    exif.RemoveThumbnail();
    exif.SetSoftware();
    exif.StampDates(now);
    exif.EnsureDateTime(now);
  } else {
    job.Log("creating exif...");
    exif.Create(now);
  }

  if (jpeg.Write(job.picture.outputPath, job.options.jpegQuality, job.picture.sourcePath)) {
    exif.SetWidth(static_cast<uint32_t>(jpeg.width));
    exif.SetHeight(static_cast<uint32_t>(jpeg.height));
    exif.SetResolution(jpeg.xResolution, jpeg.yResolution);
    exif.Finish();
    // On any failure the encoder's file stays as it is: a valid picture without EXIF.
    if (exif.WriteIntoJpeg(job.picture.outputPath) == CExifBlock::WriteResult::kTooLarge) {
      job.Log("exif block too large, left out");
    }
    job.Log(Format("writing `%s` finished", job.picture.outputPath.c_str()));
  }
  return job.Decide(kKindJpeg);
}

int ProcessPng(PictureJob& job) {
  job.Log(Format("embedded %d is PNG", job.picture.number + 1));
  CMyPNG png;
  int status = 2;
  if (!png.Read(job.picture.sourcePath, status) || status != 0) return job.ReadFailed();
  job.TakeOutputName(kKindPng);
  const bool quantise = job.options.conversionRule == kRulePngQuant;
  job.Log(quantise ? "writing PNGquant..." : "writing PNG...");
  // Without forced quantisation the output step still makes a palette PNG of a
  // picture with few colours.
  job.SavePng(png, quantise);
  job.LogFinished();
  return job.Decide(kKindPng);
}

// The JPEG writer takes no alpha: a 32-bit bitmap is composed over the background
// colour first. Returns false when there is nothing to encode (an empty picture).
bool FlattenForJpeg(CMyBMP& bmp, const std::string& backgroundText) {
  if (bmp.bitsPerPixel != 32) return true;
  const CMyPic borrowed(bmp.width, bmp.height, bmp.bitsPerPixel, bmp.pixels.get());
  PixelBuffer rgb = borrowed.ToRGB(ParseBackgroundColour(backgroundText));
  if (!rgb) return false;
  bmp.pixels = std::move(rgb);
  bmp.bitsPerPixel = 24;
  return true;
}

void WriteBmpAsJpeg(PictureJob& job, CMyBMP& bmp) {
  job.Log("converting to JPEG...");
  // With nothing encoded the output file stays empty and the size test keeps the
  // original.
  if (!FlattenForJpeg(bmp, job.options.backgroundText)) return;
  const int64_t now = platform::SecondsSinceEpoch();
  CExifBlock exif;
  exif.Create(now);
  exif.SetResolution(bmp.xResolution, bmp.yResolution);
  CMyJPEG jpeg;
  HandOver(bmp, jpeg);
  // The bitmap as source path: it has no ICC profile to carry over.
  if (!jpeg.Write(job.picture.outputPath, job.options.jpegQuality, job.picture.sourcePath)) return;
  // On failure the encoder's file stays as it is: a valid picture without EXIF.
  exif.WriteIntoJpeg(job.picture.outputPath);
  job.LogFinished();
}

int ProcessBmp(PictureJob& job) {
  job.Log(Format("embedded %d is BMP", job.picture.number + 1));
  CMyBMP bmp;
  int status = 2;
  if (!bmp.Read(job.picture.sourcePath, status) || status != 0) return job.ReadFailed();
  // A bitmap of at most 256 colours is a palette picture at heart: it becomes a
  // palette PNG whatever the rule says; as JPEG its hard edges would smear.
  const int mode = bmp.sourceBitsPerPixel <= 8 ? kRulePngQuant : job.options.conversionRule;
  if (mode == kRuleBmpToJpeg) {
    job.TakeOutputName(kKindJpeg);
    WriteBmpAsJpeg(job, bmp);
    return job.Decide(kKindJpeg);
  }
  job.TakeOutputName(kKindPng);
  const bool quantise = mode == kRulePngQuant;
  job.Log(quantise ? "converting to PNGquant..." : "converting to PNG...");
  CMyPNG png;
  HandOver(bmp, png);
  job.SavePng(png, quantise);
  job.LogFinished();
  return job.Decide(kKindPng);
}

// An animated GIF goes to the GIF optimiser or keeps its bytes: the still-picture
// path would paint all frames over each other and lose the animation.
int ProcessAnimatedGif(PictureJob& job, const CMyGIF& gif) {
  if (!job.options.extraOptimisers) {
    job.Log("frame count > 1, original file is to be written");
    return kKeepOriginal;
  }
  job.Log("frame count > 1, trying GIFsicle");
  const std::string tool = GifsiclePath();
  if (!IsExecutableFile(tool)) {
    job.Log("frame count > 1, original file is to be written");
    return kKeepOriginal;
  }
  job.TakeOutputName(kKindGif);
  OptimiseGif(tool, job.picture.sourcePath, job.picture.outputPath);
  // The tool's output is taken only when it is the same animation, whole, and it
  // passes the same size test as every other rewritten picture.
  if (!IsCompleteGifLike(job.picture.outputPath, gif)) {
    job.Log("original file is to be written");
    return kKeepOriginal;
  }
  return job.Decide(kKindGif);
}

int ProcessGif(PictureJob& job) {
  job.Log(Format("embedded %d is GIF", job.picture.number + 1));
  CMyGIF gif;
  int status = 2;
  if (!gif.Read(job.picture.sourcePath, status) || status != 0) return job.ReadFailed();
  if (gif.frameCount > 1) return ProcessAnimatedGif(job, gif);
  job.Log("converting to PNGquant...");
  job.TakeOutputName(kKindPng);
  CMyPNG png;
  HandOver(gif, png);
  // A still GIF is a palette picture: it becomes a palette PNG.
  job.SavePng(png, true);
  job.LogFinished();
  return job.Decide(kKindPng);
}

// One kind: its content test and its processing.
struct KindHandler {
  int kind;
  bool (*test)(const std::string& path);
  int (*process)(PictureJob& job);
};

// The kind tests in the order they are tried; the first that answers true decides, so
// a file that would pass several tests is taken as the earliest kind.
constexpr KindHandler kHandlers[] = {
    {kKindBmp, &CMyBMP::IsBMP, &ProcessBmp},
    {kKindGif, &CMyGIF::IsGIF, &ProcessGif},
    {kKindPng, &CMyPNG::IsPNG, &ProcessPng},
    {kKindJpeg, &CMyJPEG::IsJPEG, &ProcessJpeg},
};

const KindHandler* FindHandler(const std::string& path) {
  for (const KindHandler& handler : kHandlers) {
    if (handler.test(path)) return &handler;
  }
  return nullptr;
}

}  // namespace

const char* PictureExtension(int kind) {
  switch (kind) {
    case kKindBmp: return "bmp";
    case kKindGif: return "gif";
    case kKindPng: return "png";
    case kKindJpeg: return "jpg";
    default: return "";
  }
}

bool IsSmallerThanOriginal(int32_t rewrittenSize, int32_t originalSize) {
  return rewrittenSize > 0 && rewrittenSize < originalSize;
}

int DetectPictureKind(const std::string& path) {
  const KindHandler* handler = FindHandler(path);
  return handler == nullptr ? 0 : handler->kind + 1;
}

int ProcessEmbeddedPicture(EmbeddedPicture& picture, const ShrinkOptions& options, CCreateLog& log,
                           CTempFiles& temp) {
  const KindHandler* handler = FindHandler(picture.sourcePath);
  // Unknown content keeps its bytes; the document processor logs it if it wants to.
  if (handler == nullptr) return kKeepOriginal;
  PictureJob job{picture, options, log, temp};
  return handler->process(job);
}

}  // namespace velmora
