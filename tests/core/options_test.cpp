#include <gtest/gtest.h>

#include "core/options.h"
#include "support/test_support.h"

namespace velmora {
namespace {

struct NameCase {
  const char* source;
  const char* target;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.source << '"'; }

class DefaultTargetNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DefaultTargetNameTest, DerivesTargetFromSource) {
  EXPECT_EQ(DefaultTargetName(GetParam().source), GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DefaultTargetNameTest,
    ::testing::Values(NameCase{"a.hml", "a(pack).hml"}, NameCase{"a.HWPX", "a(pack).hwpx"},
                      NameCase{"a.zip", "a.hwpx"},
                      NameCase{"C:\\dir.v2\\file", "C:\\dir.v2\\file.hwpx"},
                      // "/" separates folders too: the dot of a folder is no extension.
                      NameCase{"/home/u/dir.v2/file", "/home/u/dir.v2/file.hwpx"},
                      NameCase{"C:/dir.v2/file", "C:/dir.v2/file.hwpx"},
                      NameCase{"a(pack).hwpx", "a(pack)(pack).hwpx"}, NameCase{"", ""},
                      NameCase{"   \t ", ""}, NameCase{"  a.hwp  ", "a.hwpx"},
                      NameCase{"noextension", "noextension.hwpx"},
                      // Conjoining jamo in the whole result are composed: 한 and 글.
                      NameCase{"\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB/\xE1\x84\x80\xE1\x85\xB3"
                               "\xE1\x86\xAF.hwpx",
                               "\xED\x95\x9C/\xEA\xB8\x80(pack).hwpx"}));

TEST(ComposeJamo, JoinsSyllablesAndLeavesOthers) {
  // U+1112 U+1161 U+11AB → U+D55C; U+1100 U+1173 U+11AF → U+AE00.
  EXPECT_EQ(ComposeJamo("\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB"), "\xED\x95\x9C");
  EXPECT_EQ(ComposeJamo("\xE1\x84\x80\xE1\x85\xB3\xE1\x86\xAF"), "\xEA\xB8\x80");
  // Leading consonant + vowel without a trailing consonant: U+1112 U+1161 → 하 (U+D558).
  EXPECT_EQ(ComposeJamo("\xE1\x84\x92\xE1\x85\xA1x"), "\xED\x95\x98x");
  // U+1112 followed by something other than a vowel stays.
  EXPECT_EQ(ComposeJamo("\xE1\x84\x92z"), "\xE1\x84\x92z");
  // Bytes that are not UTF-8 pass through unchanged.
  EXPECT_EQ(ComposeJamo(std::string("\xFF\xE1\x84", 3)), std::string("\xFF\xE1\x84", 3));
}

TEST(ParseBackgroundColour, FollowsPairRules) {
  EXPECT_EQ(ParseBackgroundColour("FFFFFF"), (Rgb{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ParseBackgroundColour("ffffff"), (Rgb{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ParseBackgroundColour("FF0000"), (Rgb{0xFF, 0x00, 0x00}));
  EXPECT_EQ(ParseBackgroundColour("12G456"), (Rgb{0x12, 0xFF, 0xFF}));
  EXPECT_EQ(ParseBackgroundColour("FF00ZZ"), (Rgb{0xFF, 0x00, 0xFF}));
  EXPECT_EQ(ParseBackgroundColour("12345"), (Rgb{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ParseBackgroundColour("#FF000"), (Rgb{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ParseBackgroundColour("000000123"), (Rgb{0x00, 0x00, 0x00}));
  EXPECT_EQ(ParseBackgroundColour("0A0B0C"), (Rgb{0x0A, 0x0B, 0x0C}));
}

TEST(GetFileSize32, MeasuresFilesAndRefusesOthers) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("a"), std::string(1234, 'x'));
  EXPECT_EQ(GetFileSize32(dir.File("a")), 1234);
  EXPECT_EQ(GetFileSize32(dir.File("missing")), -1);
  EXPECT_EQ(GetFileSize32(""), -1);
  EXPECT_EQ(GetFileSize32(dir.path()), -1);
}

// A tool's time limit: a unit for the picture and one per megapixel, grown by the
// share of the processor that workers beyond the cores take from each tool.
struct ToolTimeCase {
  unsigned secondsPerMegapixel;
  uint64_t pixels;
  int workers, cores;
  double seconds;
};

class ToolTimeLimit : public ::testing::TestWithParam<ToolTimeCase> {};

TEST_P(ToolTimeLimit, GrowsWithThePictureAndTheWorkersBeyondTheCores) {
  const ToolTimeCase& c = GetParam();
  EXPECT_DOUBLE_EQ(ToolTimeLimitSeconds(c.secondsPerMegapixel, c.pixels, c.workers, c.cores),
                   c.seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToolTimeLimit,
    ::testing::Values(ToolTimeCase{60, 0, 1, 2, 60}, ToolTimeCase{60, 2000000, 2, 2, 180},
                      ToolTimeCase{10, 500000, 0, 4, 15}, ToolTimeCase{10, 1000000, 8, 2, 80},
                      ToolTimeCase{10, 1000000, 3, 2, 30}, ToolTimeCase{0, 5000000, 16, 1, 0},
                      ToolTimeCase{1, 0, 4, 0, 1}));

}  // namespace
}  // namespace velmora
