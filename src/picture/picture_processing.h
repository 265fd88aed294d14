#pragma once
// What happens to one embedded picture: its kind decides how it is decoded and
// re-encoded, and the size rule decides whether the rewritten file is used.

#include <atomic>
#include <cstdint>

#include "picture/embedded_picture.h"

namespace velmora {

// Decodes, re-encodes and decides. Every decision is written to the log. Unknown
// content keeps its bytes without a log line: the document processor logs it if it
// wants to.
PictureOutcome ProcessPicture(const EmbeddedPicture& picture, const ShrinkOptions& options,
                              LogLines& log, TempFiles& temp);

// The standard processing of the document processors: ProcessPicture, then
// verification of the rewritten file; for a picture that keeps its bytes, unless the
// options are classic, the lossless pass of its kind; and any exception kept inside
// the picture (its original bytes stay, one log line says why).
PictureProcessor StandardPictureProcessor();

// Only the lossless passes, for pictures that no rule names (a package's preview).
PictureProcessor LosslessPictureProcessor();

// A processor that runs process and turns any exception it throws into keeping the
// original, with one log line: one picture's failure never ends the document.
PictureProcessor IsolatingFailures(PictureProcessor process);

// The pictures of one document that go into its target reduced to a printing density,
// and the picture bytes that saved; counted from any worker.
class ResampleCounter {
 public:
  void Add(int64_t savedBytes) {
    pictures_.fetch_add(1, std::memory_order_relaxed);
    savedBytes_.fetch_add(savedBytes, std::memory_order_relaxed);
  }
  int Pictures() const { return pictures_.load(std::memory_order_relaxed); }
  int64_t SavedBytes() const { return savedBytes_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int> pictures_{0};
  std::atomic<int64_t> savedBytes_{0};
};

// A processor that runs process and counts every resampled picture it hands back as a
// replacement that passes the size rule. The counter must outlive the processor.
PictureProcessor CountingResampled(PictureProcessor process, ResampleCounter& counter);

}  // namespace velmora
