#include "picture/memory_budget.h"

#include "core/text.h"
#include "image/jpeg_codec.h"
#include "picture/messages.h"
#include "picture/verification.h"

namespace velmora {

std::optional<MemoryNeed> PictureMemoryNeed(const std::string& path, PictureKind kind) {
  const PictureShape shape = ReadHeaderShape(path);
  if (!shape.Read() || shape.kind != kind || shape.width <= 0 || shape.height <= 0) {
    return std::nullopt;
  }
  // Both factors are below 2^31, so the products stay far inside 64 bits.
  const uint64_t pixels = static_cast<uint64_t>(shape.width) * static_cast<uint64_t>(shape.height);
  uint64_t bytes = pixels * kPngPathBytesPerPixel;
  if (kind == PictureKind::kJpeg) {
    JpegHeader header;
    if (!ReadJpegHeader(path, header)) return std::nullopt;
    const uint64_t samples = pixels * static_cast<uint64_t>(header.components > 0 ? header.components : 3);
    bytes = samples * 3;
  }
  return MemoryNeed{shape.width, shape.height, bytes};
}

bool WithinMemoryBudget(const std::string& path, PictureKind kind, const ShrinkOptions& options,
                        LogLines& log) {
  std::optional<MemoryNeed> need = PictureMemoryNeed(path, kind);
  if (need && options.ppi > 0 && kind != PictureKind::kJpeg) {
    need->bytes += static_cast<uint64_t>(need->width) * static_cast<uint64_t>(need->height) *
                   kReducedCopyBytesPerPixel;
  }
  if (!need || need->bytes <= MemoryBudgetBytes(options)) return true;
  const auto mebibytes = static_cast<unsigned long long>((need->bytes + (1u << 20) - 1) >> 20);
  log.Write(Format(picture_text::kOverMemoryBudget, need->width, need->height, mebibytes,
                   options.memoryBudgetMiB),
            true);
  return false;
}

}  // namespace velmora
