#pragma once
// One embedded picture, already copied by a document processor into a temporary
// file: what it is, how it is recompressed, and whether the rewritten file or the
// original bytes go back into the document.

#include <cstdint>
#include <functional>
#include <string>

#include "core/log.h"
#include "core/options.h"
#include "core/temp_files.h"

namespace velmora {

// Picture kinds and output kinds. As an output kind, 0 means "keep the original".
enum PictureKind : int { kKindBmp = 0, kKindGif = 1, kKindPng = 2, kKindJpeg = 3 };
constexpr int kKeepOriginal = 0;

// Extension of files of a kind ("bmp", "gif", "png", "jpg"); empty for others.
const char* PictureExtension(int kind);

struct EmbeddedPicture {
  int number = 0;              // as the document processor numbers it; logged as number + 1
  std::string sourcePath;      // the embedded bytes exactly as stored in the document
  int32_t originalSize = 0;    // size of sourcePath, measured by the caller
  std::string outputPath;      // set as soon as an output name is taken
};

// Content test in the order BMP, GIF, PNG, JPEG: 1 BMP, 2 GIF, 3 PNG, 4 JPEG, 0 unknown.
int DetectPictureKind(const std::string& path);

// Decodes, re-encodes and decides. Returns the output kind (0 keeps the original)
// and fills picture.outputPath. Every decision is written to the log.
int ProcessEmbeddedPicture(EmbeddedPicture& picture, const ShrinkOptions& options, CCreateLog& log,
                           CTempFiles& temp);

// The signature of ProcessEmbeddedPicture, so that document processors can be run
// with another picture processor (tests use one that writes chosen files).
using PictureProcessor =
    std::function<int(EmbeddedPicture&, const ShrinkOptions&, CCreateLog&, CTempFiles&)>;

// The size rule: a rewritten file is used only when it is not empty and strictly
// smaller than the original.
bool IsSmallerThanOriginal(int32_t rewrittenSize, int32_t originalSize);

}  // namespace velmora
