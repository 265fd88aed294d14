// The texts of the command line's status line.

#include "cli/console.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::cli {
namespace {

struct TallyCase {
  const char* name;
  PictureTally tally;
  const char* text;
};

class TallyTexts : public ::testing::TestWithParam<TallyCase> {};

TEST_P(TallyTexts, NameTheDocumentAndTheBytesSaved) {
  EXPECT_EQ(Console::TallyText(GetParam().name, GetParam().tally), GetParam().text);
}

// A document can grow while pictures are written: the saving is then negative.
INSTANTIATE_TEST_SUITE_P(
    Cases, TallyTexts,
    ::testing::Values(TallyCase{"a.hwpx", {0, 3, 0}, "a.hwpx 0/3, 0 B saved"},
                      TallyCase{"dir/b.hml", {2, 5, 999}, "b.hml 2/5, 999 B saved"},
                      TallyCase{"/x/y/c.hwpx", {5, 5, 123456}, "c.hwpx 5/5, 123.5 KB saved"},
                      TallyCase{"d", {1, 1, 2500000}, "d 1/1, 2.5 MB saved"},
                      TallyCase{"e", {1, 2, -1500}, "e 1/2, -1.5 KB saved"}));

TEST(StatusLine, JoinsTheDocumentsAndCutsAtTheWidth) {
  EXPECT_EQ(Console::StatusLine({{0, "a"}, {1, "b"}}, 79), "a | b");
  EXPECT_EQ(Console::StatusLine({{0, "abcdefgh"}}, 6), "abc...");
}

}  // namespace
}  // namespace velmora::cli
