#pragma once
// GIF reader: decodes every frame of a GIF, painted over the previous ones in file order
// (disposal methods are not applied), into one 32-bit RGBA picture the size of the
// logical screen, and counts the frames, so that animated pictures can be told apart.
// GIF files carry no resolution: a read picture says 72 dots per inch.

#include <string>

#include "image/picture.h"

namespace velmora {

// True when the file is at least 13 bytes long and starts with "GIF8".
bool IsGifFile(const std::string& path);

// Decodes the file; picture.frames is the number of frames painted. kPartial: damaged
// or cut short, and the picture holds what could be decoded. kUnreadable leaves the
// picture empty.
ReadStatus ReadGif(const std::string& path, Picture& picture);

}  // namespace velmora
