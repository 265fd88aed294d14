#pragma once
// Windows bitmap reader: files with or without the 14-byte file header, the 12-, 40- and
// 64-byte info headers and the longer ones, colour tables, 1/4/8/16/24/32 bits per
// pixel, RLE8 and RLE4, bit-field masks, bottom-up and top-down rows, truncated files.
// Every kind becomes 24-bit RGB except 32-bit bitmaps, which become 32-bit RGBA.

#include <string>

#include "image/picture.h"

namespace velmora {

// True when the file starts with a bitmap info header this reader accepts, with or
// without the file header in front of it.
bool IsBmpFile(const std::string& path);

// Decodes the file. kPartial: the data ended early or was damaged, and the picture
// holds the complete rows. kUnreadable leaves the picture empty.
ReadStatus ReadBmp(const std::string& path, Picture& picture);

}  // namespace velmora
