#pragma once
// Verified replacement: a rewritten picture goes into a document only after the
// project's own reader of its kind has read it completely, at the original's size.
// An encoder fault, a tool that wrote garbage or a cut file then costs nothing but the
// saving: the original bytes stay in the document.

#include <cstdint>
#include <optional>
#include <string>

#include "picture/embedded_picture.h"

namespace velmora {

// What a reader found in a picture file.
struct PictureShape {
  std::optional<PictureKind> kind;  // nothing when no reader took the file
  ReadStatus status = ReadStatus::kUnreadable;
  int32_t width = 0;
  int32_t height = 0;
  int frames = 1;  // frames of a GIF; 1 for other kinds

  bool Read() const { return HasPicture(status); }
};

// Reads the file with the reader of the given kind.
PictureShape ReadPictureShape(const std::string& path, PictureKind kind);
// The shape of an original picture, whose kind its content selects as picture
// processing does. Width and height come from the headers where they are what the
// reader decodes (BMP, PNG, JPEG), so that the picture is not decoded a second time; a
// GIF is read whole, as only that counts its frames. Status kComplete when the headers
// could be read.
PictureShape ReadOriginalShape(const std::string& path);

// The width and height the headers of a picture claim (a GIF's logical screen),
// read without decoding anything; status kComplete when they could be read.
PictureShape ReadHeaderShape(const std::string& path);

struct Verification {
  bool passed = false;
  std::string reason;  // why it failed, for the log
};

// What a resampled picture is checked against: the size its frames need, worked out
// again from the original's own size.
struct ResampledFor {
  const PictureUses& uses;
  int ppi = 0;
};

// True when rewritten, read as outputKind, reads completely with the original's width
// and height, or, when it was resampled, with the size PlanResolution gives for the
// original; an animated GIF must stay a GIF with the same number of frames.
Verification VerifyRewrittenPicture(const std::string& original, const std::string& rewritten,
                                    PictureKind outputKind,
                                    const ResampledFor* resampled = nullptr);

// A picture processor that runs process and then verifies the rewritten file before
// it is handed back. A file that fails is logged with the reason and the original is
// kept.
PictureProcessor WithVerification(PictureProcessor process);

}  // namespace velmora
