#include <gtest/gtest.h>

#include <random>
#include <string>

#include "document/raw_inflate.h"
#include "platform/platform.h"
#include "support/hwpml_builder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::DeflateRawForTest;
using testing::FileExists;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string Picture(size_t length) {
  std::mt19937 random(5);
  std::string bytes(length, '\0');
  // Runs of repeated bytes: compressible, like a bitmap.
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i / 37) ^ (random() & 3));
  return bytes;
}

TEST(InflateFile, CompleteStreamInflatesWhole) {
  TempDir dir;
  const std::string picture = Picture(100000);
  WriteFile(dir.File("in.bin"), DeflateRawForTest(picture));
  ASSERT_TRUE(InflateFile(dir.File("in.bin"), dir.File("out.bin")));
  EXPECT_EQ(ReadFile(dir.File("out.bin")), picture);
}

TEST(InflateFile, CutStreamFailsWithDataError) {
  TempDir dir;
  const std::string deflated = DeflateRawForTest(Picture(100000));
  WriteFile(dir.File("in.bin"), deflated.substr(0, deflated.size() / 2));
  EXPECT_FALSE(InflateFile(dir.File("in.bin"), dir.File("out.bin")));

  platform::UniqueFile in = platform::OpenFile(dir.File("in.bin"), "rb");
  platform::UniqueFile out = platform::OpenFile(dir.File("out2.bin"), "wb");
  RawInflater zlib;
  EXPECT_EQ(zlib.Inflate(in.get(), out.get(), kMaxInflatedBytes), InflateStatus::kDataError);
}

TEST(InflateFile, StreamOfNothingFails) {
  TempDir dir;
  // A valid stream that inflates to zero bytes, padded past the 10-byte minimum.
  std::string empty = DeflateRawForTest("");
  WriteFile(dir.File("in.bin"), empty + std::string(10, '\0'));
  EXPECT_FALSE(InflateFile(dir.File("in.bin"), dir.File("out.bin")));
}

TEST(InflateFile, SourceShorterThanTenBytesIsNotOpened) {
  TempDir dir;
  const std::string tiny = DeflateRawForTest("A");
  ASSERT_LT(tiny.size(), 10u);
  WriteFile(dir.File("in.bin"), tiny);
  EXPECT_FALSE(InflateFile(dir.File("in.bin"), dir.File("out.bin")));
  EXPECT_FALSE(FileExists(dir.File("out.bin")));
  EXPECT_FALSE(InflateFile(dir.File("missing.bin"), dir.File("out.bin")));
}

TEST(InflateFile, OutputBeyondTheLimitStops) {
  TempDir dir;
  // 4 MB of zeros deflate to a few kilobytes.
  WriteFile(dir.File("in.bin"), DeflateRawForTest(std::string(4 << 20, '\0')));
  EXPECT_FALSE(InflateFile(dir.File("in.bin"), dir.File("out.bin"), 1 << 20));
  EXPECT_LE(platform::FileSize(dir.File("out.bin")), (1 << 20) + 16384);

  platform::UniqueFile in = platform::OpenFile(dir.File("in.bin"), "rb");
  platform::UniqueFile out = platform::OpenFile(dir.File("out2.bin"), "wb");
  RawInflater zlib;
  EXPECT_EQ(zlib.Inflate(in.get(), out.get(), 1 << 20), InflateStatus::kOutputTooLarge);
  EXPECT_TRUE(InflateFile(dir.File("in.bin"), dir.File("out.bin"), 4 << 20));
}

TEST(InflateFile, OneInflaterServesStreamsOneAfterAnother) {
  TempDir dir;
  RawInflater zlib;
  for (size_t length : {20000u, 50u, 70000u}) {
    const std::string picture = Picture(length);
    WriteFile(dir.File("in.bin"), DeflateRawForTest(picture));
    platform::UniqueFile in = platform::OpenFile(dir.File("in.bin"), "rb");
    platform::UniqueFile out = platform::OpenFile(dir.File("out.bin"), "wb");
    ASSERT_EQ(zlib.Inflate(in.get(), out.get(), kMaxInflatedBytes), InflateStatus::kOk);
    out.reset();
    EXPECT_EQ(ReadFile(dir.File("out.bin")), picture);
  }
}

}  // namespace
}  // namespace velmora
