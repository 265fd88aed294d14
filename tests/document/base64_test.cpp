#include <gtest/gtest.h>

#include <random>
#include <string>

#include "document/base64.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;
using testing::WriteFile;

std::string RandomBytes(size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// coreutils' encoder, on one line.
std::string ReferenceEncode(const TempDir& dir, const std::string& bytes) {
  const std::string path = dir.File("reference.bin");
  WriteFile(path, bytes);
  testing::CommandResult result = RunCommand("base64 -w 0 " + ShellQuote(path));
  EXPECT_EQ(result.status, 0);
  return result.out;
}

class Base64Length : public ::testing::TestWithParam<size_t> {};

TEST_P(Base64Length, EncodeMatchesIndependentEncoderAndDecodesBack) {
  TempDir dir;
  const std::string bytes = RandomBytes(GetParam(), static_cast<unsigned>(GetParam()));
  const std::string text = Base64Encode(bytes);
  EXPECT_EQ(text, ReferenceEncode(dir, bytes));
  int64_t limit = -1;
  EXPECT_EQ(Base64Decode(text, limit), bytes);
  EXPECT_EQ(limit, static_cast<int64_t>(bytes.size()));

  // The same through a file, streamed in pieces.
  WriteFile(dir.File("in.bin"), bytes);
  int64_t length = -5;
  std::optional<std::string> fromFile = Base64EncodeFile(dir.File("in.bin"), length);
  if (bytes.empty()) {
    EXPECT_FALSE(fromFile.has_value());
    EXPECT_EQ(length, 0);
  } else {
    EXPECT_EQ(fromFile, text);
    EXPECT_EQ(length, static_cast<int64_t>(bytes.size()));
  }
}

// Every length modulo 3, and lengths around the file encoder's 48 KiB pieces.
INSTANTIATE_TEST_SUITE_P(Lengths, Base64Length,
                         ::testing::Values(0, 1, 2, 3, 4, 5, 6, 7, 1000, 49151, 49152, 49153,
                                           100000));

TEST(Base64, DecodeSkipsJunkAndStopsAtTheLimit) {
  // "QUJD" is "ABC".
  int64_t limit = 10;
  EXPECT_EQ(Base64Decode("QU JD\r\n", limit), "ABC");
  EXPECT_EQ(limit, 3);
  limit = 2;
  EXPECT_EQ(Base64Decode("QU JD\r\n", limit), "AB");
  EXPECT_EQ(limit, 2);
  limit = 0;
  EXPECT_EQ(Base64Decode("QUJD", limit), "");
  EXPECT_EQ(limit, 0);
  limit = -1;
  EXPECT_EQ(Base64Decode("\xC3\xA9Q\tU=J\x80" "D*", limit), "ABC");
}

TEST(Base64, ShortFinalGroupsYieldTheBytesTheyComplete) {
  int64_t limit = -1;
  EXPECT_EQ(Base64Decode("QUJDRA", limit), "ABCD");  // two characters: one byte
  limit = -1;
  EXPECT_EQ(Base64Decode("QUJDREU", limit), "ABCDE");  // three: two bytes
  limit = -1;
  EXPECT_EQ(Base64Decode("QUJDR", limit), "ABC");  // a lone character: none
  EXPECT_EQ(limit, 3);
}

TEST(Base64, ZeroByteEndsTheText) {
  int64_t limit = -1;
  EXPECT_EQ(Base64Decode(std::string("QUJD\0REVG", 9), limit), "ABC");
}

TEST(Base64, DecoderGivesTheSameBytesWhereverThePiecesAreCut) {
  const std::string bytes = RandomBytes(3001, 7);
  std::string text = Base64Encode(bytes);
  for (size_t i = 76; i < text.size(); i += 77) text.insert(i, "\r\n");
  std::mt19937 random(11);
  for (int round = 0; round < 20; ++round) {
    Base64Decoder decoder;
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
      const size_t piece = std::min<size_t>(random() % 9, text.size() - at);
      decoder.Feed(std::string_view(text).substr(at, piece), out);
      at += piece;
    }
    ASSERT_EQ(out, bytes);
    EXPECT_EQ(decoder.Produced(), 3001);
  }
}

TEST(Base64, DecodeToFileWritesTheBytesOrReportsFailure) {
  TempDir dir;
  int64_t limit = -1;
  ASSERT_TRUE(Base64DecodeToFile("QUJD", limit, dir.File("out.bin")));
  EXPECT_EQ(ReadFile(dir.File("out.bin")), "ABC");
  limit = -1;
  EXPECT_FALSE(Base64DecodeToFile("QUJD", limit, dir.File("missing/out.bin")));
}

TEST(Base64, EncodeFileOfMissingFileGivesNothing) {
  TempDir dir;
  int64_t length = 9;
  EXPECT_FALSE(Base64EncodeFile(dir.File("missing.bin"), length).has_value());
  EXPECT_EQ(length, 0);
}

}  // namespace
}  // namespace velmora
