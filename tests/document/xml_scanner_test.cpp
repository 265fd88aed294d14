#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "document/xml_scanner.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::TempDir;
using testing::WriteFile;

class Scanner {
 public:
  explicit Scanner(const std::string& bytes) {
    WriteFile(dir_.File("doc.xml"), bytes);
    EXPECT_TRUE(xml.Open(dir_.File("doc.xml")));
  }
  TempDir dir_;
  XmlScanner xml;
};

TEST(XmlScanner, MissingAndEmptyFilesDoNotOpen) {
  TempDir dir;
  XmlScanner xml;
  EXPECT_FALSE(xml.Open(dir.File("missing.xml")));
  WriteFile(dir.File("empty.xml"), "");
  EXPECT_FALSE(xml.Open(dir.File("empty.xml")));
  EXPECT_FALSE(xml.IsOpen());
  EXPECT_EQ(xml.FindTagStart(0), -1);
  EXPECT_EQ(xml.FindTag(0, "A"), -1);
  EXPECT_FALSE(xml.ReadBytes(0, 1).has_value());
}

TEST(XmlScanner, ZeroByteEndsTagStartAndEndSearches) {
  // "<" then a zero byte, as a 16-bit encoded file looks to an 8-bit scan.
  Scanner s(std::string("\xFF\xFE<\0?\0x\0>\0", 10));
  EXPECT_EQ(s.xml.FindTagStart(0), 2);
  EXPECT_EQ(s.xml.FindTagEnd(2), -1);
  EXPECT_EQ(s.xml.FindTagStart(3), -1);
  EXPECT_EQ(s.xml.FindTagStart(-1), -1);
}

TEST(XmlScanner, ZeroBytesDoNotStopTagSearch) {
  Scanner s(std::string("a\0b\0<HWPML>", 11));
  EXPECT_EQ(s.xml.FindTag(0, "HWPML"), 4);
  EXPECT_EQ(s.xml.FindTag(0, ""), -1);  // an empty name is a "<" search, which stops
}

struct FollowCase {
  const char* text;
  int64_t expected;
};

class FindTagFollow : public ::testing::TestWithParam<FollowCase> {};

TEST_P(FindTagFollow, NameMustEndAtSpaceTabSlashOrBracket) {
  Scanner s(GetParam().text);
  EXPECT_EQ(s.xml.FindTag(0, "BINITEM"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTagFollow,
    ::testing::Values(FollowCase{"xx<BINITEM/>", 2}, FollowCase{"xx<BINITEM>", 2},
                      FollowCase{"xx<BINITEM a='1'/>", 2}, FollowCase{"xx<BINITEM\ta='1'/>", 2},
                      FollowCase{"xx<BINITEMS/>", -1}, FollowCase{"xx<BINITEM\nBinData='1'/>", -1},
                      FollowCase{"xx<binitem/>", -1}, FollowCase{"xx<BinItem/>", -1},
                      // The pattern needs a byte after it: a document cut there has no tag.
                      FollowCase{"xx<BINITEM", -1},
                      FollowCase{"<BINITEMX/><BINITEM/>", 11}));

TEST(XmlScanner, DataSearchSkipsListAndStorageTags) {
  Scanner s("<BINDATALIST Count=\"1\"><BINDATASTORAGE><BINDATA Id=\"1\">QQ==</BINDATA>");
  EXPECT_EQ(s.xml.FindTag(0, "BINDATA"), 39);
  EXPECT_EQ(s.xml.FindTag(0, "/BINDATA"), 59);
  EXPECT_EQ(s.xml.FindTag(40, "BINDATA"), -1);
}

class FindTagStraddle : public ::testing::TestWithParam<int> {};

TEST_P(FindTagStraddle, TagAcrossChunkBoundaryIsFound) {
  // The tag starts a few bytes before or after the end of the first 32768-byte chunk.
  const int64_t at = static_cast<int64_t>(XmlScanner::kChunkBytes) + GetParam();
  std::string bytes(static_cast<size_t>(at), 'x');
  bytes += "<BINDATA Id=\"1\">QQ==</BINDATA>";
  Scanner s(bytes);
  EXPECT_EQ(s.xml.FindTag(0, "BINDATA"), at);
  EXPECT_EQ(s.xml.FindTag(0, "/BINDATA"), at + 20);
  EXPECT_EQ(s.xml.FindTagStart(0), at);
  EXPECT_EQ(s.xml.FindTagEnd(0), at + 15);
}

INSTANTIATE_TEST_SUITE_P(Offsets, FindTagStraddle,
                         ::testing::Values(-12, -9, -8, -7, -2, -1, 0, 1, 5, 32768));

TEST(XmlScanner, OffsetsBeyondTwoGigabytesDoNotWrap) {
  TempDir dir;
  const std::string path = dir.File("sparse.xml");
  const int64_t at = (int64_t{3} << 30) + 17;  // past every 32-bit offset
  {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const char tag[] = "<HWPML a=\"1\">";
    ASSERT_EQ(::pwrite(fd, tag, sizeof tag - 1, at), static_cast<ssize_t>(sizeof tag - 1));
    ::close(fd);  // the hole before the tag takes no disk space
  }
  XmlScanner xml;
  ASSERT_TRUE(xml.Open(path));
  EXPECT_EQ(xml.Size(), at + 13);
  EXPECT_EQ(xml.FindTag(at - 100, "HWPML"), at);
  EXPECT_EQ(xml.FindTagEnd(at), at + 12);
  TagRead tag;
  AttributeList attributes;
  ASSERT_TRUE(xml.ReadTag(at - 5, "HWPML", tag, attributes));
  EXPECT_EQ(tag.start, at);
  EXPECT_EQ(tag.text, "HWPML a=\"1\"");
}

TEST(XmlScanner, ReadTagNameAndTextCutAsTagsDo) {
  Scanner s("<?xml version=\"1.0\"?><A/><B\tc='1'>");
  EXPECT_EQ(s.xml.ReadTagName(0, 21), "?xml");
  EXPECT_EQ(s.xml.ReadTagText(0, 21), "?xml version=\"1.0\"?");
  EXPECT_EQ(s.xml.ReadTagName(21, 4), "A");
  EXPECT_EQ(s.xml.ReadTagName(25, 9), "B");
  EXPECT_FALSE(s.xml.ReadTagName(21, 2).has_value());
  EXPECT_FALSE(s.xml.ReadTagName(-1, 4).has_value());
  EXPECT_FALSE(s.xml.ReadTagName(34, 4).has_value());
}

// A "<" whose ">" lies megabytes further on is no tag anyone wrote: its text is not
// read into memory.
TEST(XmlScanner, TagTextLongerThanOneMebibyteIsNotRead) {
  const int64_t limit = XmlScanner::kMaxTagBytes;
  Scanner s("<A" + std::string(static_cast<size_t>(limit), 'x') + ">");
  const int64_t end = s.xml.FindTagEnd(0);
  ASSERT_EQ(end, limit + 2);
  EXPECT_FALSE(s.xml.ReadTagText(0, end + 1).has_value());
  EXPECT_FALSE(s.xml.ReadTagName(0, end + 1).has_value());
  // At the limit it is read.
  Scanner fits("<A " + std::string(static_cast<size_t>(limit - 2), 'x') + ">");
  EXPECT_EQ(fits.xml.ReadTagName(0, limit + 2).value_or("<none>"), "A");
}

TEST(XmlScanner, ReadBytesStopsAtTheEndOfTheFile) {
  Scanner s("0123456789");
  EXPECT_EQ(s.xml.ReadBytes(3, 4), "3456");
  EXPECT_EQ(s.xml.ReadBytes(8, 1000000000), "89");
  EXPECT_FALSE(s.xml.ReadBytes(10, 1).has_value());
}

TEST(XmlScanner, ReadTagGivesTextClosingMarkAndAttributes) {
  Scanner s("<?xml version=\"1.0\"?><BINITEM BinData=\"1\" Format='png' Type=\"Embedding\"/>"
            "<BINDATALIST Count=\"3\">");
  TagRead tag;
  AttributeList attributes;
  ASSERT_TRUE(s.xml.ReadTag(0, "BINITEM", tag, attributes));
  EXPECT_EQ(tag.start, 21);
  EXPECT_EQ(tag.closingMark, '/');
  ASSERT_EQ(attributes.names.size(), 3u);
  EXPECT_EQ(attributes.values[1], "png");
  ASSERT_TRUE(s.xml.ReadTag(0, "?xml", tag, attributes));
  EXPECT_EQ(tag.closingMark, '?');
  ASSERT_TRUE(s.xml.ReadTag(0, "BINDATALIST", tag, attributes));
  EXPECT_EQ(tag.closingMark, 0);
  EXPECT_EQ(GetCountAttribute(attributes), 3);
  // A failed read leaves the lists as they were.
  EXPECT_FALSE(s.xml.ReadTag(0, "BINDATA", tag, attributes));
  EXPECT_EQ(tag.start, -1);
  EXPECT_EQ(GetCountAttribute(attributes), 3);
}

TEST(XmlScanner, ScannersKeepTheirOwnState) {
  TempDir dir;
  WriteFile(dir.File("a.xml"), std::string(40000, 'a') + "<X/>");
  WriteFile(dir.File("b.xml"), "<X/>" + std::string(40000, 'b') + "<X/>");
  XmlScanner a;
  XmlScanner b;
  ASSERT_TRUE(a.Open(dir.File("a.xml")));
  ASSERT_TRUE(b.Open(dir.File("b.xml")));
  EXPECT_EQ(a.FindTag(0, "X"), 40000);
  EXPECT_EQ(b.FindTag(1, "X"), 40004);
  EXPECT_EQ(a.ReadTagText(40000, 4), "X/");
  EXPECT_EQ(b.ReadBytes(4, 3), "bbb");
}

struct ParseCase {
  const char* text;
  std::vector<std::string> names;
  std::vector<std::string> values;
};

class ParseAttributesCase : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseAttributesCase, ReadsPairsUntilTheFirstIrregularity) {
  AttributeList attributes;
  attributes.names = {"stale"};
  attributes.values = {"x"};
  const size_t count = ParseAttributes(GetParam().text, attributes);
  EXPECT_EQ(count, GetParam().names.size());
  EXPECT_EQ(attributes.names, GetParam().names);
  EXPECT_EQ(attributes.values, GetParam().values);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseAttributesCase,
    ::testing::Values(
        ParseCase{"BINITEM BinData=\"1\" Format='jpg' Type=\"Embedding\"/",
                  {"BinData", "Format", "Type"},
                  {"1", "jpg", "Embedding"}},
        ParseCase{"BINITEM BinData = \"1\" Format = 'jpg'/", {}, {}},
        // A line break is no separator: what follows it is not read.
        ParseCase{"BINDATA Id=\"1\"\nSize=\"3\"", {"Id"}, {"1"}},
        ParseCase{"BINDATA Id=\"1\" \t Size=\"3\"", {"Id", "Size"}, {"1", "3"}},
        ParseCase{"A b=\"it's\" c='say \"hi\"'", {"b", "c"}, {"it's", "say \"hi\""}},
        ParseCase{"A b=\"1\" xml:lang=\"ko\" c=\"2\"", {"b"}, {"1"}},
        ParseCase{"A b=\"1\" data-x=\"2\"", {"b"}, {"1"}},
        ParseCase{"A b=1 c=\"2\"", {}, {}}, ParseCase{"A b=\"unterminated", {}, {}},
        ParseCase{"A b=\"\"", {"b"}, {""}}, ParseCase{"A", {}, {}},
        ParseCase{"A b=\"1\" B=\"2\"", {"b"}, {"2"}},
        ParseCase{"A b=\"\xED\x95\x9C\"", {"b"}, {"\xED\x95\x9C"}}));

TEST(Attributes, SetReplacesIgnoringCaseAndGetMatchesCase) {
  AttributeList attributes;
  SetAttribute(attributes, "Format", "jpg");
  SetAttribute(attributes, "format", "png");
  ASSERT_EQ(attributes.names.size(), 1u);
  EXPECT_EQ(attributes.names[0], "Format");
  std::string value;
  EXPECT_FALSE(GetAttribute(attributes, "format", value));
  ASSERT_TRUE(GetAttribute(attributes, "Format", value));
  EXPECT_EQ(value, "png");
}

struct NumberCase {
  const char* text;
  int64_t size;
  int64_t count;
};

class NumberAttribute : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberAttribute, ParsesLikeADecimalConversion) {
  AttributeList attributes;
  ParseAttributes(GetParam().text, attributes);
  EXPECT_EQ(GetSizeAttribute(attributes), GetParam().size);
  EXPECT_EQ(GetCountAttribute(attributes), GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberAttribute,
    ::testing::Values(NumberCase{"A Size=\"12ab\" Count=\"7\"", 12, 7}, NumberCase{"A", -1, 0},
                      NumberCase{"A Size=\"  +15\" Count=\"-3\"", 15, -3},
                      NumberCase{"A Size=\"x\" Count=\"\"", 0, 0},
                      NumberCase{"A size=\"5\" count=\"5\"", -1, 0},
                      NumberCase{"A Size=\"99999999999999999999999\"", INT64_MAX, 0}));

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// The tag searches pass over comments, CDATA sections and processing instructions,
// also when one runs across the scanner's chunks; one that never ends hides the rest.
struct OpaqueSearchCase {
  const char* name;
  std::string text;
  const char* tag;  // "" for FindTagStart
  int64_t expected;
};

void PrintTo(const OpaqueSearchCase& c, std::ostream* os) { *os << c.name; }

class TagSearchPastText : public ::testing::TestWithParam<OpaqueSearchCase> {};

TEST_P(TagSearchPastText, FindsOnlyRealTags) {
  const OpaqueSearchCase& c = GetParam();
  TempDir dir;
  WriteFile(dir.File("doc.xml"), c.text);
  XmlScanner xml;
  ASSERT_TRUE(xml.Open(dir.File("doc.xml")));
  const std::string tag = c.tag;
  EXPECT_EQ(tag.empty() ? xml.FindTagStart(0) : xml.FindTag(0, tag), c.expected);
}

std::vector<OpaqueSearchCase> OpaqueSearchCases() {
  const std::string chunk(XmlScanner::kChunkBytes - 6, ' ');
  const std::string longComment = chunk + "<!-- <A/> " + std::string(40000, 'x') + " -->";
  return {
      {"Comment", "<!-- <A/> --><A/>", "A", 13},
      {"CData", "<![CDATA[<A/>]]><A/>", "A", 16},
      {"Instruction", "<?pi <A/> ?><A/>", "A", 12},
      {"NeverEndingComment", "<!-- <A/>", "A", -1},
      {"CommentAcrossChunks", longComment + "<A/>", "A", static_cast<int64_t>(longComment.size())},
      {"OpenerAcrossChunks", chunk + "<![CDATA[<A/>]]><A/>", "A",
       static_cast<int64_t>(chunk.size()) + 16},
      {"InstructionAskedByName", "<?xml version=\"1.0\"?><A/>", "?xml", 0},
      {"TagStartAfterComment", "<!--x--><A>", "", 8},
      {"TagStartAfterDeclaration", "<?xml?><A>", "", 7},
      {"ZeroByteInACommentEndsTheSearch", std::string("<!--\0--><A>", 11), "", -1},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, TagSearchPastText, ::testing::ValuesIn(OpaqueSearchCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
