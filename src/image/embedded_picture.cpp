#include "image/embedded_picture.h"

#include "core/text.h"
#include "image/exif.h"
#include "image/jpeg.h"
#include "platform/platform.h"

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

// One kind: its content test and its processing.
struct KindHandler {
  int kind;
  bool (*test)(const std::string& path);
  int (*process)(PictureJob& job);
};

// The kind tests in the order they are tried; the first that answers true decides, so
// a file that would pass several tests is taken as the earliest kind. BMP, GIF and PNG
// come in front of JPEG, in that order, as their readers are connected.
constexpr KindHandler kHandlers[] = {
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
