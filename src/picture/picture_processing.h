#pragma once
// What happens to one embedded picture: its kind decides how it is decoded and
// re-encoded, and the size rule decides whether the rewritten file is used.

#include "picture/embedded_picture.h"

namespace velmora {

// Decodes, re-encodes and decides. Every decision is written to the log. Unknown
// content keeps its bytes without a log line: the document processor logs it if it
// wants to.
PictureOutcome ProcessPicture(const EmbeddedPicture& picture, const ShrinkOptions& options,
                              LogLines& log, TempFiles& temp);

// The standard processing of the document processors: ProcessPicture, then
// verification of the rewritten file; for a picture that keeps its bytes, unless the
// options are classic, the lossless pass of its kind; and any exception kept inside
// the picture (its original bytes stay, one log line says why).
PictureProcessor StandardPictureProcessor();

// Only the lossless passes, for pictures that no rule names (a package's preview).
PictureProcessor LosslessPictureProcessor();

// A processor that runs process and turns any exception it throws into keeping the
// original, with one log line: one picture's failure never ends the document.
PictureProcessor IsolatingFailures(PictureProcessor process);

}  // namespace velmora
