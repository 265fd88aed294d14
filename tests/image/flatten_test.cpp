#include <gtest/gtest.h>

#include <string>

#include "image/my_pic.h"

namespace velmora {
namespace {

std::string Rgb(const PixelBuffer& buffer, size_t pixels) {
  return std::string(reinterpret_cast<const char*>(buffer.get()), pixels * 3);
}

struct FlattenCase {
  const char* name;
  std::string rgba;  // one or two pixels
  ColourRef background;
  std::string expected;
};

void PrintTo(const FlattenCase& c, std::ostream* os) { *os << c.name; }

class ToRgbFlattens : public ::testing::TestWithParam<FlattenCase> {};

TEST_P(ToRgbFlattens, ComposesOverTheBackground) {
  const FlattenCase& c = GetParam();
  const auto count = static_cast<int32_t>(c.rgba.size() / 4);
  CMyPic pic(count, 1, 32, reinterpret_cast<const uint8_t*>(c.rgba.data()));
  PixelBuffer rgb = pic.ToRGB(c.background);
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ(Rgb(rgb, static_cast<size_t>(count)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, ToRgbFlattens,
    ::testing::Values(
        // All opaque: alpha is dropped, colours stay byte for byte.
        FlattenCase{"opaque", std::string("\x01\x02\x03\xFF\xFA\xFB\xFC\xFF", 8), 0x000000,
                    std::string("\x01\x02\x03\xFA\xFB\xFC", 6)},
        // Alpha 0 gives exactly the background; white by default.
        FlattenCase{"transparent on white", std::string("\x10\x20\x30\x00\x01\x02\x03\xFF", 8),
                    kWhite, std::string("\xFF\xFF\xFF\x01\x02\x03", 6)},
        // (255 × 127 + c × 128) / 255, truncated.
        FlattenCase{"half over white", std::string("\xC8\x64\x00\x80", 4), kWhite,
                    std::string("\xE3\xB1\x7F", 3)},
        // Red lives in the low byte of the background value.
        FlattenCase{"red background", std::string("\x00\x00\x00\x00\x00\x00\x00\x01", 8), 0x0000FF,
                    std::string("\xFF\x00\x00\xFE\x00\x00", 6)}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name) {
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

TEST(ToRgb, PassesTwentyFourBitPicturesThroughUnchanged) {
  const std::string rgb("\x05\x06\x07\x08\x09\x0A", 6);
  CMyPic pic(2, 1, 24, reinterpret_cast<const uint8_t*>(rgb.data()));
  PixelBuffer out = pic.ToRGB(0x123456);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Rgb(out, 2), rgb);
}

TEST(ToRgb, GivesNothingForAnEmptyPicture) {
  const uint8_t pixel[4] = {1, 2, 3, 4};
  EXPECT_EQ(CMyPic(0, 5, 32, pixel).ToRGB(kWhite), nullptr);
  EXPECT_EQ(CMyPic(5, 0, 32, pixel).ToRGB(kWhite), nullptr);
  EXPECT_EQ(CMyPic(1, 1, 32, nullptr).ToRGB(kWhite), nullptr);
  EXPECT_EQ(CMyPic(-1, 1, 32, pixel).ToRGB(kWhite), nullptr);
}

}  // namespace
}  // namespace velmora
