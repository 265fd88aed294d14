#include <gtest/gtest.h>

#include "document/manifest.h"

namespace velmora {
namespace {

TEST(FindBytes, FindsWholeNeedlesOnly) {
  EXPECT_EQ(FindBytes("abcabc", "bc", 0), 1);
  EXPECT_EQ(FindBytes("abcabc", "bc", 2), 4);
  EXPECT_EQ(FindBytes("abcabc", "bcd", 0), -1);
  EXPECT_EQ(FindBytes("abc", "c", 2), 2);
  EXPECT_EQ(FindBytes("abc", "c", 3), -1);   // start not below the length
  EXPECT_EQ(FindBytes("abc", "a", -1), -1);  // negative start
  EXPECT_EQ(FindBytes("", "a", 0), -1);
  EXPECT_EQ(FindBytes("abc", "", 0), -1);
  EXPECT_EQ(FindBytes(std::string("a\0b", 3), std::string("\0b", 2), 0), 1);
}

struct SplitCase {
  const char* rest;
  const char* name;
  const char* value;
  const char* remaining;
};

class SplitFirstAttributeTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFirstAttributeTest, SplitsOnePair) {
  std::string rest = GetParam().rest;
  AttributePair pair = SplitFirstAttribute(rest);
  EXPECT_EQ(pair.first, GetParam().name);
  EXPECT_EQ(pair.second, GetParam().value);
  EXPECT_EQ(rest, GetParam().remaining);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, SplitFirstAttributeTest,
    ::testing::Values(SplitCase{" id=\"image1\" href=\"a\"", "id", "image1", "href=\"a\""},
                      SplitCase{"id = \"x y\"", "id", "x y", ""},
                      SplitCase{"\r\n\tid=\"x\"\r\n href=\"y\"", "id", "x", "href=\"y\""},
                      // Spaces and extra "=" after the "=" are skipped.
                      SplitCase{"id== =\"x\"", "id", "x", ""},
                      // An unquoted value ends at the first space.
                      SplitCase{"id=abc def", "id", "abc", "def"},
                      // Single quotes are ordinary characters.
                      SplitCase{"id='a b' c", "id", "'a", "b' c"},
                      // An unclosed double quote takes the rest, trimmed of quotes and spaces.
                      SplitCase{"id=\"abc  ", "id", "abc", ""},
                      SplitCase{"lonely", "lonely", "", ""}, SplitCase{"   ", "", "", ""},
                      SplitCase{"=\"v\"", "", "v", ""}));

TEST(ParseTagAttributes, DropsClosingMarksAndEmptyPairs) {
  std::vector<AttributePair> pairs =
      ParseTagAttributes(" id=\"image1\" href=\"BinData/image1.jpg\" media-type=\"image/jpg\" "
                         "isEmbeded=\"1\" hashkey=\"q0/w==\"/>");
  ASSERT_EQ(pairs.size(), 5u);
  EXPECT_EQ(pairs[1], AttributePair("href", "BinData/image1.jpg"));
  EXPECT_EQ(pairs[4], AttributePair("hashkey", "q0/w=="));
  EXPECT_TRUE(ParseTagAttributes(" />").empty());
  // A value that ends in "/" keeps it when it is quoted.
  EXPECT_EQ(ParseTagAttributes(" href=\"dir/\">")[0].second, "dir/");
}

TEST(SelectItemAttributes, FillsFourSlotsIgnoringCase) {
  ItemAttributes item = SelectItemAttributes(
      {{"ID", "image3"}, {"Href", "BinData/image3.bmp"}, {"MEDIA-TYPE", "image/bmp"},
       {"hashkey", "x"}});
  EXPECT_EQ(item.filled, 3);
  EXPECT_EQ(item.slots[kSlotId], "image3");
  EXPECT_EQ(item.slots[kSlotMediaType], "image/bmp");
  EXPECT_TRUE(item.slots[kSlotIsEmbeded].empty());
  // A repeated name replaces the value and is counted once.
  item = SelectItemAttributes({{"id", "a"}, {"id", "b"}, {"isembeded", "1"}});
  EXPECT_EQ(item.filled, 2);
  EXPECT_EQ(item.slots[kSlotId], "b");
  // Also when the earlier value is empty: a tag with an empty id before the real one
  // still has its four attributes, and one without href does not.
  item = SelectItemAttributes({{"id", ""}, {"id", "image1"}, {"href", "BinData/image1.jpg"},
                               {"media-type", "image/jpg"}, {"isEmbeded", "1"}});
  EXPECT_EQ(item.filled, 4);
  item = SelectItemAttributes(
      {{"id", ""}, {"id", ""}, {"media-type", "image/jpg"}, {"isEmbeded", "1"}});
  EXPECT_EQ(item.filled, 3);
}

TEST(TrailingNumber, ReadsOnlyTheFinalDigits) {
  EXPECT_EQ(TrailingNumber("image12"), 12);
  EXPECT_EQ(TrailingNumber("a12b"), 0);
  EXPECT_EQ(TrailingNumber("007"), 7);
  EXPECT_EQ(TrailingNumber(""), 0);
  EXPECT_EQ(TrailingNumber("image99999999999999999999"), 2147483647);
}

TEST(ItemRules, MediaTypesAndEmbeddedFlag) {
  EXPECT_EQ(MediaTypeKind("IMAGE/PNG"), PictureKind::kPng);
  EXPECT_EQ(MediaTypeKind("image/jpg"), PictureKind::kJpeg);
  EXPECT_EQ(MediaTypeKind("image/jpeg"), std::nullopt);
  EXPECT_EQ(MediaTypeKind("image/bmp"), PictureKind::kBmp);
  EXPECT_EQ(MediaTypeKind("image/gif"), PictureKind::kGif);
  EXPECT_STREQ(KindMediaType(PictureKind::kPng), "image/png");
  for (const char* yes : {"1", "true", "10", " 1 "}) EXPECT_TRUE(IsEmbeddedFlag(yes)) << yes;
  for (const char* no : {"0", "00", " ", ""}) EXPECT_FALSE(IsEmbeddedFlag(no)) << no;
}

}  // namespace
}  // namespace velmora
