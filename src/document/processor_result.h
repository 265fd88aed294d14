#pragma once
// What a document processor tells the job driver.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "picture/embedded_picture.h"

namespace velmora {

// The target is written when success is true; otherwise message says why not, in the
// words the user is shown. pictures accounts for every embedded item the processor
// came to, in document order, once its outcome was applied (empty on a failure before
// the items were processed).
struct ProcessorResult {
  ProcessorResult() = default;
  ProcessorResult(bool succeeded, std::string text)
      : success(succeeded), message(std::move(text)) {}

  bool success = false;
  std::string message;
  std::vector<PictureRecord> pictures;
  // Pictures that went into the target reduced to a printing density (--ppi), and the
  // picture bytes they saved.
  int resampled = 0;
  int64_t resampledSaving = 0;
};

}  // namespace velmora
