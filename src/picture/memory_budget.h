#pragma once
// The memory budget of one picture: what processing it would hold at its peak, told
// from its headers before anything is decoded, so that a picture that would pass the
// budget keeps its bytes instead of taking the machine's memory.

#include <cstdint>
#include <optional>
#include <string>

#include "picture/picture_kind.h"

namespace velmora {

struct MemoryNeed {
  int32_t width = 0;
  int32_t height = 0;
  uint64_t bytes = 0;
};

// The decoded pixels and one working copy of them (the writer's palette copy, the
// quantiser's or the lossless check's), 4 bytes per pixel each; for a JPEG, its
// samples and the encoder's coefficient buffer of 2 bytes per sample. Nothing when the
// headers cannot be read: the reader refuses such a file by itself.
std::optional<MemoryNeed> PictureMemoryNeed(const std::string& path, PictureKind kind);

}  // namespace velmora
