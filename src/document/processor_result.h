#pragma once
// What a document processor tells the job driver.

#include <string>

namespace velmora {

// The target is written when success is true; otherwise message says why not, in the
// words the user is shown.
struct ProcessorResult {
  bool success = false;
  std::string message;
};

}  // namespace velmora
