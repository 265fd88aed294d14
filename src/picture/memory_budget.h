#pragma once
// The memory budget of one picture: what processing it would hold at its peak, told
// from its headers before anything is decoded, so that a picture that would pass the
// budget keeps its bytes instead of taking the machine's memory.

#include <cstdint>
#include <optional>
#include <string>

#include "core/options.h"
#include "core/process_log.h"
#include "picture/picture_kind.h"

namespace velmora {

struct MemoryNeed {
  int32_t width = 0;
  int32_t height = 0;
  uint64_t bytes = 0;
};

// What a picture that is written as PNG holds at most, per pixel: its decoded pixels
// (4 bytes), the PNG writer's stored forms of them side by side (a palette form of 1,
// a grey one of up to 2 and a true-colour one of up to 4), one filtered copy of the
// largest form's rows and one compressed copy (up to 4 each). The quantiser's path and
// the JPEG encoder of a bitmap hold less.
inline constexpr uint64_t kPngPathBytesPerPixel = 4 + (1 + 2 + 4) + 4 + 4;

// A picture reduced to a printing density (ShrinkOptions::ppi) that becomes a PNG holds
// its decoded pixels while the reduced copy is written: at most four fifths of its
// pixels of 4 bytes each, rounded up. A JPEG gives its decoded samples up for the
// reduced ones before it is encoded, and stays within its own need.
inline constexpr uint64_t kReducedCopyBytesPerPixel = 4;

// The peak of processing a picture: for a JPEG, its samples and the encoder's
// coefficient buffer of 2 bytes per sample; for every other kind, which becomes a PNG
// or goes to a tool as a file, kPngPathBytesPerPixel for each pixel. Nothing when the
// headers cannot be read: the reader refuses such a file by itself.
std::optional<MemoryNeed> PictureMemoryNeed(const std::string& path, PictureKind kind);

// True when processing the picture stays within the options' memory budget (with the
// reduced copy when a printing density is asked for); otherwise the picture's lines say
// what it would need.
bool WithinMemoryBudget(const std::string& path, PictureKind kind, const ShrinkOptions& options,
                        LogLines& log);

}  // namespace velmora
