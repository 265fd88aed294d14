#pragma once
// One embedded picture, already copied by a document processor into a temporary
// file, and what becomes of it: the original bytes stay, or a rewritten file of a
// given kind replaces them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/options.h"
#include "core/process_log.h"
#include "core/temp_files.h"
#include "picture/picture_kind.h"
#include "picture/resolution.h"

namespace velmora {

struct EmbeddedPicture {
  int number = 0;            // as the document processor numbers it; logged as number + 1
  std::string sourcePath;    // the embedded bytes exactly as stored in the document
  int32_t originalSize = 0;  // size of sourcePath, measured by the caller
  // The document's own name for the picture's item (an HWPX manifest id), by which
  // its uses are looked up.
  std::string item;
  // Where the document shows the picture; read only when a printing density is asked
  // for (ShrinkOptions::ppi).
  PictureUses uses;
};

struct PictureOutcome {
  // The kind of the file that replaces the original; nothing when the original stays.
  std::optional<PictureKind> replacement;
  // The rewritten file, once one was named (also when it is not used).
  std::string rewrittenPath;
  // True when the rewritten picture was reduced to the size its frames need.
  bool resampled = false;

  bool Replaces() const { return replacement.has_value(); }
  static PictureOutcome Keep(std::string rewrittenPath = {}) {
    return {std::nullopt, std::move(rewrittenPath), false};
  }
  static PictureOutcome Replace(PictureKind kind, std::string rewrittenPath) {
    return {kind, std::move(rewrittenPath), false};
  }
};

// What the document processors call for each picture; tests give their own.
using PictureProcessor = std::function<PictureOutcome(const EmbeddedPicture&, const ShrinkOptions&,
                                                      LogLines&, TempFiles&)>;

// The size rule: a rewritten file is used only when it is not empty and strictly
// smaller than the original.
inline bool IsSmallerThanOriginal(int32_t rewrittenSize, int32_t originalSize) {
  return rewrittenSize > 0 && rewrittenSize < originalSize;
}

}  // namespace velmora
