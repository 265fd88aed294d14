#pragma once
// The passes that make a picture smaller without changing a single pixel, for the
// pictures the classic rules leave as they are: a JPEG's coefficients written again
// with optimised tables and a progressive script, a PNG written again by the
// project's own PNG writer, a still GIF through gifsicle. Each pass writes its own
// log line; its file is used only when it is smaller and decodes to the same pixels.

#include "picture/embedded_picture.h"

namespace velmora {

// The lossless pass of the picture's kind; the original stays when none is smaller.
PictureOutcome RunLosslessPass(const EmbeddedPicture& picture, const ShrinkOptions& options,
                               LogLines& log, TempFiles& temp);

}  // namespace velmora
