#include <gtest/gtest.h>

#include <vector>

#include "image/quantise.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace velmora {
namespace {

// Above 4,194,304 pixels the library switches to a low-memory mode that loses row
// buffers; the quantiser must free them itself.
TEST(QuantiseRgba, LargePictureLeavesNoLibraryMemoryBehind) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "leaks are only detected in the sanitizer build";
#else
  const int32_t width = 2048, height = 2049;
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
  QuantiseSettings fast;
  fast.speed = 10;
  QuantisedPicture out;
  ASSERT_TRUE(QuantiseRgba(rgba.data(), width, height, fast, out));
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

}  // namespace
}  // namespace velmora
