#pragma once
// The picture kinds the program rewrites, how a file's kind is told from its content,
// and reading a file with the reader of its kind.

#include <optional>
#include <string>

#include "image/picture.h"

namespace velmora {

enum class PictureKind { kBmp, kGif, kPng, kJpeg };

// The content tests in the order BMP, GIF, PNG, JPEG: the first that passes decides, so
// a file that would pass several is taken as the earliest kind. Nothing for a file no
// test takes.
std::optional<PictureKind> DetectPictureKind(const std::string& path);

// True when the file passes the content test of the kind.
bool HasContentOf(const std::string& path, PictureKind kind);

// Reads the file with the reader of the kind.
ReadStatus ReadPictureAs(const std::string& path, PictureKind kind, Picture& picture);

// The extension of files of the kind ("bmp", "gif", "png", "jpg") and its name in the
// log ("BMP", "GIF", "PNG", "JPEG").
const char* ExtensionOf(PictureKind kind);
const char* NameOf(PictureKind kind);

}  // namespace velmora
