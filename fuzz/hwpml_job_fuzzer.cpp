// A whole HWPML job on a mutated document: the input is the document, except for two
// option bytes at the end that choose the conversion rule and the JPEG quality.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "job_harness.h"

namespace {

constexpr size_t kMaxInput = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora::fuzz;
  if (size > kMaxInput) return 0;
  const FuzzInput input(data, size, 2);
  RunCheckedJob(std::string(input.Body()), "hml", JobOptions(input.Option(0), input.Option(1)),
                true);
  return 0;
}
