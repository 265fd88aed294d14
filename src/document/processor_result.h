#pragma once
// What a document processor tells the job driver.

#include <cstdint>
#include <string>

namespace velmora {

// The target is written when success is true; otherwise message says why not, in the
// words the user is shown.
struct ProcessorResult {
  bool success = false;
  std::string message;
  // Pictures that went into the target reduced to a printing density (--ppi), and the
  // picture bytes they saved.
  int resampled = 0;
  int64_t resampledSaving = 0;
};

}  // namespace velmora
