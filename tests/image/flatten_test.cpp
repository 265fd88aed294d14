#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/flatten.h"

namespace velmora {
namespace {

std::string Bytes(const PixelBuffer& buffer, size_t pixels) {
  return std::string(reinterpret_cast<const char*>(buffer.get()), pixels * 3);
}

// A picture holding a copy of the bytes (none for a null pointer).
Picture MakePicture(int32_t width, int32_t height, uint8_t bitsPerPixel, const void* bytes,
                    size_t length) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.bitsPerPixel = bitsPerPixel;
  if (bytes != nullptr) {
    picture.pixels.reset(new uint8_t[length]);
    std::memcpy(picture.pixels.get(), bytes, length);
  }
  return picture;
}

constexpr Rgb kWhite{};

struct FlattenCase {
  const char* name;
  std::string rgba;  // one or two pixels
  Rgb background;
  std::string expected;
};

void PrintTo(const FlattenCase& c, std::ostream* os) { *os << c.name; }

class FlattenToRgbCases : public ::testing::TestWithParam<FlattenCase> {};

TEST_P(FlattenToRgbCases, ComposesOverTheBackground) {
  const FlattenCase& c = GetParam();
  const auto count = static_cast<int32_t>(c.rgba.size() / 4);
  const Picture picture = MakePicture(count, 1, 32, c.rgba.data(), c.rgba.size());
  PixelBuffer rgb = FlattenToRgb(picture, c.background);
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ(Bytes(rgb, static_cast<size_t>(count)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, FlattenToRgbCases,
    ::testing::Values(
        // All opaque: alpha is dropped, colours stay byte for byte.
        FlattenCase{"opaque", std::string("\x01\x02\x03\xFF\xFA\xFB\xFC\xFF", 8), Rgb{0, 0, 0},
                    std::string("\x01\x02\x03\xFA\xFB\xFC", 6)},
        // Alpha 0 gives exactly the background; white by default.
        FlattenCase{"transparent on white", std::string("\x10\x20\x30\x00\x01\x02\x03\xFF", 8),
                    kWhite, std::string("\xFF\xFF\xFF\x01\x02\x03", 6)},
        // (255 × 127 + c × 128) / 255, truncated.
        FlattenCase{"half over white", std::string("\xC8\x64\x00\x80", 4), kWhite,
                    std::string("\xE3\xB1\x7F", 3)},
        FlattenCase{"red background", std::string("\x00\x00\x00\x00\x00\x00\x00\x01", 8),
                    Rgb{0xFF, 0, 0},
                    std::string("\xFF\x00\x00\xFE\x00\x00", 6)}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name) {
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

TEST(FlattenToRgb, PassesTwentyFourBitPicturesThroughUnchanged) {
  const std::string rgb("\x05\x06\x07\x08\x09\x0A", 6);
  PixelBuffer out = FlattenToRgb(MakePicture(2, 1, 24, rgb.data(), rgb.size()), Rgb{0x56, 0x34, 0x12});
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Bytes(out, 2), rgb);
}

TEST(FlattenToRgb, GivesNothingForAnEmptyPicture) {
  const uint8_t pixel[4] = {1, 2, 3, 4};
  EXPECT_EQ(FlattenToRgb(MakePicture(0, 5, 32, pixel, 4), kWhite), nullptr);
  EXPECT_EQ(FlattenToRgb(MakePicture(5, 0, 32, pixel, 4), kWhite), nullptr);
  EXPECT_EQ(FlattenToRgb(MakePicture(1, 1, 32, nullptr, 0), kWhite), nullptr);
  EXPECT_EQ(FlattenToRgb(MakePicture(-1, 1, 32, pixel, 4), kWhite), nullptr);
}

}  // namespace
}  // namespace velmora
