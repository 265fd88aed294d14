#include "image/quantise.h"

#include <libimagequant.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_set>

// The OpenMP runtime's C interface (the library's own runtime); declared here so that
// neither the compiler's OpenMP mode nor its header is needed.
extern "C" void omp_set_num_threads(int threads);

namespace velmora {

namespace {

// libimagequant 2.17 loses row buffers in its low-memory mode (pictures of more than
// 4,194,304 pixels): each stage that re-enters the mode allocates a new buffer of
// (width + 16) × 16 bytes per thread without freeing the previous one. So that a
// long-running process does not grow with every large picture, everything the
// library allocates during one quantisation is recorded here, and what is still
// allocated once its objects are destroyed is freed.
class QuantiserArena {
 public:
  QuantiserArena() = default;
  ~QuantiserArena() {
    for (void* block : live_) std::free(block);
  }
  QuantiserArena(const QuantiserArena&) = delete;
  QuantiserArena& operator=(const QuantiserArena&) = delete;

  // The library may allocate and free on its worker threads.
  void Add(void* block) {
    std::lock_guard<std::mutex> lock(mutex_);
    live_.insert(block);
  }
  void Remove(void* block) {
    std::lock_guard<std::mutex> lock(mutex_);
    live_.erase(block);
  }

 private:
  std::mutex mutex_;
  std::unordered_set<void*> live_;
};

// The library's allocator interface takes no context, so the arena of the
// quantisation running on this thread is found through this pointer. It is set only
// for the duration of one QuantiseRgba call (ArenaScope); blocks allocated on other
// threads carry no arena and are ordinary heap blocks.
thread_local QuantiserArena* tCurrentArena = nullptr;

class ArenaScope {
 public:
  explicit ArenaScope(QuantiserArena& arena) { tCurrentArena = &arena; }
  ~ArenaScope() { tCurrentArena = nullptr; }
  ArenaScope(const ArenaScope&) = delete;
  ArenaScope& operator=(const ArenaScope&) = delete;
};

// Each block starts with its arena; 16 bytes keep the alignment that malloc gives.
struct alignas(16) BlockHeader {
  QuantiserArena* arena;
};

void* ArenaMalloc(size_t size) {
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (header == nullptr) return nullptr;
  header->arena = tCurrentArena;
  if (header->arena != nullptr) header->arena->Add(header);
  return header + 1;
}

void ArenaFree(void* pointer) {
  if (pointer == nullptr) return;
  BlockHeader* header = static_cast<BlockHeader*>(pointer) - 1;
  if (header->arena != nullptr) header->arena->Remove(header);
  std::free(header);
}

struct AttrDeleter {
  void operator()(liq_attr* attr) const noexcept { liq_attr_destroy(attr); }
};
struct ImageDeleter {
  void operator()(liq_image* image) const noexcept { liq_image_destroy(image); }
};
struct ResultDeleter {
  void operator()(liq_result* result) const noexcept { liq_result_destroy(result); }
};
using UniqueAttr = std::unique_ptr<liq_attr, AttrDeleter>;
using UniqueImage = std::unique_ptr<liq_image, ImageDeleter>;
using UniqueResult = std::unique_ptr<liq_result, ResultDeleter>;

}  // namespace

bool QuantiseRgba(const uint8_t* rgba, int32_t width, int32_t height,
                  const QuantiseSettings& settings, QuantisedPicture& out) {
  out = QuantisedPicture();
  if (rgba == nullptr || !PictureSizeAllowed(width, height)) return false;
  // The library spreads its work over OpenMP threads of its own. Pictures are already
  // processed side by side, and a result that depended on how many threads summed its
  // colours could differ between machines and between numbers of workers: it runs on
  // this thread alone (the setting belongs to the calling thread).
  omp_set_num_threads(1);

  // Destroyed after the library's objects, which are declared below it.
  QuantiserArena arena;
  ArenaScope scope(arena);
  UniqueAttr attr(liq_attr_create_with_allocator(ArenaMalloc, ArenaFree));
  if (!attr) return false;
  if (liq_set_max_colors(attr.get(), settings.maxColours) != LIQ_OK ||
      liq_set_speed(attr.get(), settings.speed) != LIQ_OK ||
      liq_set_quality(attr.get(), settings.minQuality, settings.maxQuality) != LIQ_OK) {
    return false;
  }
  // Gamma 0 lets the library assume its default (sRGB-like) gamma.
  UniqueImage image(liq_image_create_rgba(attr.get(), rgba, width, height, 0));
  if (!image) return false;
  liq_result* rawResult = nullptr;
  if (liq_image_quantize(image.get(), attr.get(), &rawResult) != LIQ_OK || rawResult == nullptr) {
    return false;
  }
  UniqueResult result(rawResult);
  if (liq_set_dithering_level(result.get(), settings.dithering) != LIQ_OK) return false;

  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  PixelBuffer indices = AllocatePixels(width, height, 1);
  if (!indices) return false;
  if (liq_write_remapped_image(result.get(), image.get(), indices.get(), count) != LIQ_OK) {
    return false;
  }
  // The palette is only final after remapping, which may refine it.
  const liq_palette* palette = liq_get_palette(result.get());
  if (palette == nullptr || palette->count < 1 || palette->count > 256) return false;

  out.paletteCount = static_cast<int>(palette->count);
  for (unsigned i = 0; i < palette->count; ++i) {
    const liq_color& colour = palette->entries[i];
    out.triples[i * 3] = colour.r;
    out.triples[i * 3 + 1] = colour.g;
    out.triples[i * 3 + 2] = colour.b;
    out.alpha[i] = colour.a;
    if (colour.a < 255) out.transparent = true;
  }
  // An index outside the palette would make libpng refuse the picture or a decoder
  // show garbage; the library never produces one, but its output is checked anyway.
  for (size_t i = 0; i < count; ++i) {
    if (indices[i] >= palette->count) return false;
  }
  out.indices = std::move(indices);
  return true;
}

}  // namespace velmora
