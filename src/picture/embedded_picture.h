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
  // Where the document shows the picture; read only when a printing density is asked
  // for (ShrinkOptions::ppi).
  PictureUses uses;
};

// What became of one embedded item, as the process log states it: one value for each
// reason the original bytes stay, and one for a rewritten picture that replaces them.
// Reports name these by stable codes, so a value is never renumbered or reused.
enum class PictureDecision {
  kRewritten,           // "rewritten file is to be written"
  kNotSmaller,          // "original file is to be written": the rewritten file is not smaller
  kUnreadable,          // "reading embedded failed": the picture does not decode whole
  kAnimationKept,       // "frame count > 1, original file is to be written"
  kToolOutputRejected,  // the GIF optimiser's output is not the same animation, whole
  kVerificationFailed,  // "rewritten file failed verification (...)"
  kProcessingFailed,    // "processing embedded failed (...)"
  kNotAPicture,         // content no picture reader takes ("UNKNOWN", "nothing to do")
  kDataOutside,         // the item's data lives outside the document
  kDecodingFailed,      // the item's Base64 text could not be decoded
  kInflationFailed,     // the item's compressed data could not be inflated
  kTooLarge,            // larger than picture processing takes
  kEntryUnreadable,     // the package entry is missing, damaged or too large
  kOverMemoryBudget,    // processing it would need more memory than the budget allows
};

struct PictureOutcome {
  // The kind of the file that replaces the original; nothing when the original stays.
  std::optional<PictureKind> replacement;
  // The rewritten file, once one was named (also when it is not used).
  std::string rewrittenPath;
  PictureDecision decision = PictureDecision::kNotAPicture;
  // True when the rewritten picture was reduced to the size its frames need; its
  // decision stays kRewritten.
  bool resampled = false;

  bool Replaces() const { return replacement.has_value(); }
  static PictureOutcome Keep(PictureDecision why, std::string rewrittenPath = {}) {
    return {std::nullopt, std::move(rewrittenPath), why, false};
  }
  static PictureOutcome Replace(PictureKind kind, std::string rewrittenPath) {
    return {kind, std::move(rewrittenPath), PictureDecision::kRewritten, false};
  }
};

// One embedded item in a document's account of its pictures: where it stands, what it
// was and became, and why. Sizes are those of the bytes the document stores for it
// (for HWPML the decoded Base64 data, compressed or not); -1 where nothing was read.
struct PictureRecord {
  int index = 0;              // 1-based, as the log's "*processing embedded #k*"
  std::string name;           // the package entry, or the HWPML item's number
  std::string targetName;     // its name in the target (a rewritten entry may move)
  std::optional<PictureKind> kindIn;   // by content; nothing when no reader takes it
  std::optional<PictureKind> kindOut;  // of the bytes the target holds
  int64_t bytesBefore = -1;
  int64_t bytesAfter = -1;
  PictureDecision decision = PictureDecision::kNotAPicture;
};

// Fills the record's decision, kinds and size after from what became of the picture:
// a replacement's kind and file size, or, when it stays, its kind in and keptBytes
// (what the target stores for it instead).
void RecordOutcome(const PictureOutcome& outcome, int64_t keptBytes, PictureRecord& record);

// What the document processors call for each picture; tests give their own.
using PictureProcessor = std::function<PictureOutcome(const EmbeddedPicture&, const ShrinkOptions&,
                                                      LogLines&, TempFiles&)>;

// The size rule: a rewritten file is used only when it is not empty and strictly
// smaller than the original.
inline bool IsSmallerThanOriginal(int32_t rewrittenSize, int32_t originalSize) {
  return rewrittenSize > 0 && rewrittenSize < originalSize;
}

}  // namespace velmora
