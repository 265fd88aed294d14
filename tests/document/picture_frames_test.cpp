#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "document/picture_frames.h"

namespace velmora {
namespace {

const char kHwpxOpen[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><hs:sec "
    "xmlns:hs=\"http://www.hancom.co.kr/hwpml/2011/section\" "
    "xmlns:hp=\"http://www.hancom.co.kr/hwpml/2011/paragraph\" "
    "xmlns:hc=\"http://www.hancom.co.kr/hwpml/2011/core\"><hp:p><hp:run>";
const char kHwpxClose[] = "</hp:run></hp:p></hs:sec>";

// An hp:pic as the word processor writes it, with the records that set its size.
std::string Pic(const std::string& item, const std::string& size, const std::string& extra = {},
                const std::string& scale = "e1=\"1\" e2=\"0\" e3=\"0\" e4=\"0\" e5=\"1\" e6=\"0\"") {
  return "<hp:pic id=\"1\"><hp:offset x=\"0\" y=\"0\"/><hp:orgSz width=\"7200\" height=\"3600\"/>"
         "<hp:curSz width=\"0\" height=\"0\"/><hp:flip horizontal=\"0\" vertical=\"0\"/>"
         "<hp:renderingInfo><hc:transMatrix e1=\"1\" e2=\"0\" e3=\"0\" e4=\"0\" e5=\"1\" e6=\"0\"/>"
         "<hc:scaMatrix " + scale + "/><hc:rotMatrix e1=\"1\" e2=\"0\" e3=\"0\" e4=\"0\" e5=\"1\" "
         "e6=\"0\"/></hp:renderingInfo><hc:img binaryItemIDRef=\"" + item + "\" bright=\"0\"/>"
         "<hp:imgClip left=\"0\" right=\"75000\" top=\"0\" bottom=\"37500\"/>"
         "<hp:imgDim dimwidth=\"75000\" dimheight=\"37500\"/>" + extra + size + "</hp:pic>";
}

std::string Size(int width, int height, const char* relation = "ABSOLUTE") {
  return "<hp:sz width=\"" + std::to_string(width) + "\" widthRelTo=\"" + relation +
         "\" height=\"" + std::to_string(height) + "\" heightRelTo=\"ABSOLUTE\" protect=\"0\"/>";
}

std::string Section(const std::string& body) { return kHwpxOpen + body + kHwpxClose; }

std::string Hml(const std::string& body) {
  return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>"
         "<HWPML Version=\"2.8\"><HEAD><MAPPINGTABLE><BINDATALIST Count=\"2\">"
         "<BINITEM BinData=\"1\" Format=\"jpg\" Type=\"Embedding\"/>"
         "<BINITEM BinData=\"2\" Format=\"png\" Type=\"Embedding\"/></BINDATALIST>"
         "</MAPPINGTABLE></HEAD><BODY><SECTION><P><TEXT>" + body +
         "</TEXT></P></SECTION></BODY><TAIL><BINDATASTORAGE><BINDATA Id=\"1\">AAAA</BINDATA>"
         "</BINDATASTORAGE></TAIL></HWPML>";
}

std::string HmlPicture(int item, const std::string& shapeComponent = "CurWidth=\"0\" "
                                                                      "CurHeight=\"0\"") {
  return "<PICTURE Reverse=\"false\"><SHAPEOBJECT InstId=\"1\"><SIZE Height=\"3600\" "
         "HeightRelTo=\"Absolute\" Width=\"14400\" WidthRelTo=\"Absolute\"/></SHAPEOBJECT>"
         "<SHAPECOMPONENT " + shapeComponent + " OriHeight=\"3600\" OriWidth=\"14400\">"
         "<ROTATIONINFO Angle=\"0\"/><RENDERINGINFO><SCAMATRIX E1=\"1.00000\" E2=\"0.00000\" "
         "E3=\"0\" E4=\"0.00000\" E5=\"1.00000\" E6=\"0\"/></RENDERINGINFO></SHAPECOMPONENT>"
         "<IMAGERECT X0=\"0\" X1=\"14400\"/><IMAGECLIP Bottom=\"27780\" Left=\"0\" "
         "Right=\"35160\" Top=\"0\"/><IMAGE Alpha=\"0\" BinItem=\"" + std::to_string(item) +
         "\" Bright=\"0\"/><EFFECTS/></PICTURE>";
}

const ClipRect kHwpxClip{0, 75000, 0, 37500};
const NaturalSize kHwpxNatural{75000, 37500};
const ClipRect kHmlClip{0, 35160, 0, 27780};

PictureUses Frames(std::vector<PictureFrame> frames) {
  PictureUses uses;
  uses.frames = std::move(frames);
  return uses;
}

PictureUses Problem(KeepReason reason, std::string detail, std::vector<PictureFrame> frames = {}) {
  PictureUses uses = Frames(std::move(frames));
  uses.problem = reason;
  uses.detail = std::move(detail);
  return uses;
}

struct FramesCase {
  const char* name;
  FrameReader::Form form;
  std::string document;
  std::string item;
  PictureUses expected;
};

void PrintTo(const FramesCase& c, std::ostream* os) { *os << c.name; }

std::vector<FramesCase> FramesCases() {
  using Form = FrameReader::Form;
  const std::string picture = Pic("image1", Size(14400, 7200));
  return {
      {"PictureFrame", Form::kHwpxPart, Section(picture), "image1",
       Frames({{14400, 7200, kHwpxClip, kHwpxNatural}})},
      // Two uses with the same crop need only the larger size.
      {"RepeatedUseKeepsTheLarger", Form::kHwpxPart,
       Section(picture + Pic("image1", Size(28800, 3600))), "image1",
       Frames({{28800, 7200, kHwpxClip, kHwpxNatural}})},
      // The scale matrix makes the original size larger than the stated one: the larger
      // of the two is taken.
      {"ScaledOriginalSize", Form::kHwpxPart,
       Section(Pic("image1", Size(7200, 3600), {}, "e1=\"3\" e2=\"0\" e3=\"0\" e4=\"0\" e5=\"2\"")),
       "image1", Frames({{21600, 7200, kHwpxClip, kHwpxNatural}})},
      {"RotatedCountsTheLongerSideTwice", Form::kHwpxPart,
       Section(Pic("image1", Size(14400, 7200), "<hp:rotationInfo angle=\"90\"/>")), "image1",
       Frames({{14400, 14400, kHwpxClip, kHwpxNatural}})},
      {"SizeRelativeToThePaper", Form::kHwpxPart, Section(Pic("image1", Size(50, 7200, "PAPER"))),
       "image1", Problem(KeepReason::kFrameUnread, "hp:sz")},
      {"SkewedScale", Form::kHwpxPart,
       Section(Pic("image1", Size(7200, 3600), {}, "e1=\"1\" e2=\"0.5\" e4=\"0\" e5=\"1\"")),
       "image1", Problem(KeepReason::kFrameUnread, "hc:scaMatrix")},
      {"NoSizeAtAll", Form::kHwpxPart,
       Section("<hp:pic><hc:img binaryItemIDRef=\"image1\"/></hp:pic>"), "image1",
       Problem(KeepReason::kFrameUnread, "hp:pic")},
      {"FillBrushIsAnotherUse", Form::kHwpxPart,
       Section(picture + "<hc:fillBrush><hc:imgBrush mode=\"TILE\"><hc:img "
                         "binaryItemIDRef=\"image1\"/></hc:imgBrush></hc:fillBrush>"),
       "image1",
       Problem(KeepReason::kOtherUse, "hc:imgBrush/hc:img", {{14400, 7200, kHwpxClip, kHwpxNatural}})},
      {"UnknownElementNamingTheItem", Form::kHwpxPart,
       Section("<hp:video binaryItemIDRef=\"image1\"/>" + picture), "image1",
       Problem(KeepReason::kOtherUse, "hp:run/hp:video", {{14400, 7200, kHwpxClip, kHwpxNatural}})},
      // Whatever the attribute is called: a video's poster names its picture so.
      {"AnyAttributeNamingTheItem", Form::kHwpxPart,
       Section(picture + "<hp:video imageIDRef=\"image1\" fileIDRef=\"video1\"/>"), "image1",
       Problem(KeepReason::kOtherUse, "hp:run/hp:video", {{14400, 7200, kHwpxClip, kHwpxNatural}})},
      // Values that only look like an item are no uses: "image3" is no picture item.
      {"ValuesOfOtherItemsAreNoUse", Form::kHwpxPart,
       Section(picture + "<hp:ole binaryItemIDRef=\"image3\"/>"), "image1",
       Frames({{14400, 7200, kHwpxClip, kHwpxNatural}})},
      {"NotNamedAnywhere", Form::kHwpxPart, Section(picture), "image2", PictureUses{}},
      // A group bounds what is in it; its own size is read after its pictures.
      {"PictureInAGroup", Form::kHwpxPart,
       Section("<hp:container><hp:orgSz width=\"100\" height=\"100\"/>"
               "<hp:pic><hp:orgSz width=\"7200\" height=\"3600\"/><hp:renderingInfo>"
               "<hc:scaMatrix e1=\"0.5\" e2=\"0\" e4=\"0\" e5=\"0.5\"/></hp:renderingInfo>"
               "<hc:img binaryItemIDRef=\"image1\"/></hp:pic>" + Size(21600, 1800) +
               "</hp:container>"),
       "image1", Frames({{21600, 1800, std::nullopt, std::nullopt}})},
      {"GroupWithoutASize", Form::kHwpxPart,
       Section("<hp:container>" + picture + "</hp:container>"), "image1",
       Problem(KeepReason::kFrameUnread, "hp:container")},
      {"MalformedMarkup", Form::kHwpxPart, Section(picture + "<hp:p>"), "image1",
       Problem(KeepReason::kLayoutUnread, "part: mismatched tag at line 1")},
      {"WhatFollowsTheDocumentIsIgnored", Form::kHwpxPart, Section(picture) + std::string("\0junk", 5), "image1",
       Frames({{14400, 7200, kHwpxClip, kHwpxNatural}})},
      {"HmlPicture", FrameReader::Form::kHwpml, Hml(HmlPicture(1)), "1",
       Frames({{14400, 3600, kHmlClip, std::nullopt}})},
      {"HmlCurrentSizeLarger", FrameReader::Form::kHwpml,
       Hml(HmlPicture(1, "CurWidth=\"28800\" CurHeight=\"3600\"")), "1",
       Frames({{28800, 3600, kHmlClip, std::nullopt}})},
      {"HmlFillBrush", FrameReader::Form::kHwpml,
       Hml(HmlPicture(2) + "<FILLBRUSH><IMAGEBRUSH><IMAGE BinItem=\"2\"/></IMAGEBRUSH></FILLBRUSH>"),
       "2", Problem(KeepReason::kOtherUse, "IMAGEBRUSH/IMAGE", {{14400, 3600, kHmlClip, std::nullopt}})},
      {"HmlPictureNamingItsData", FrameReader::Form::kHwpml,
       Hml("<PICTURE BinItem=\"1\" BinData=\"1\"/>"), "1",
       Problem(KeepReason::kOtherUse, "TEXT/PICTURE")},
      // Markup whose names lost their case is not read, and its references still count.
      {"HmlLowerCaseNames", FrameReader::Form::kHwpml,
       Hml("<picture><image binitem=\"2\"/></picture>"), "2",
       Problem(KeepReason::kOtherUse, "picture/image")},
      // Numbers in other attributes are lengths, not items.
      {"HmlNumbersElsewhereAreNoUse", FrameReader::Form::kHwpml,
       Hml(HmlPicture(1) + "<LINE Width=\"2\" Style=\"2\"/>"), "2", PictureUses{}},
  };
}

class ReadFrames : public ::testing::TestWithParam<FramesCase> {};

// The picture items of the package the HWPX parts belong to.
const std::set<std::string> kItems = {"image1", "image2"};

PictureUses Read(const FramesCase& c, size_t piece) {
  PictureFrames frames;
  FrameReader reader(c.form, frames, "part", &kItems);
  for (size_t at = 0; at < c.document.size(); at += piece) {
    if (!reader.Feed(std::string_view(c.document).substr(at, piece))) break;
  }
  reader.Finish();
  return frames.UsesOf(c.item);
}

void ExpectUses(const PictureUses& uses, const PictureUses& expected, const char* how) {
  EXPECT_EQ(uses.frames, expected.frames) << how;
  EXPECT_EQ(uses.problem, expected.problem) << how;
  EXPECT_EQ(uses.detail, expected.detail) << how;
}

TEST_P(ReadFrames, FindsWhereAPictureIsShownInWholeAndInPieces) {
  ExpectUses(Read(GetParam(), GetParam().document.size() + 1), GetParam().expected, "whole");
  ExpectUses(Read(GetParam(), 7), GetParam().expected, "in pieces of 7 bytes");
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadFrames, ::testing::ValuesIn(FramesCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Items that name one package entry share its picture: the frames of all of them (the
// larger of two with one crop) and the problem of any.
TEST(PictureFrames, ItemsOfOneEntryShareTheirUses) {
  const PictureFrame small{7200, 3600, kHwpxClip, std::nullopt};
  const PictureFrame large{14400, 7200, kHwpxClip, std::nullopt};
  const PictureFrame cropped{7200, 3600, ClipRect{0, 37500, 0, 37500}, std::nullopt};
  PictureFrames frames;
  frames.AddFrame("a", small);
  frames.AddFrame("b", large);
  frames.AddFrame("b", cropped);
  frames.AddProblem("c", KeepReason::kOtherUse, "fill");
  struct Row {
    std::vector<std::string> items;
    std::vector<PictureFrame> frames;
    KeepReason problem;
  };
  const Row rows[] = {
      {{"a"}, {small}, KeepReason::kNone},
      {{"a", "b"}, {large, cropped}, KeepReason::kNone},
      {{"b", "a"}, {large, cropped}, KeepReason::kNone},
      {{"a", "unnamed"}, {small}, KeepReason::kNone},
      {{"a", "c"}, {small}, KeepReason::kOtherUse},
  };
  for (const Row& row : rows) {
    const PictureUses uses = frames.UsesOf(row.items);
    EXPECT_EQ(uses.frames, row.frames) << ::testing::PrintToString(row.items);
    EXPECT_EQ(uses.problem, row.problem) << ::testing::PrintToString(row.items);
  }
}

TEST(ReadFrames, ElementsNestedTooDeeplyLeaveTheLayoutUnread) {
  std::string deep;
  for (int i = 0; i < kMaxLayoutDepth + 1; ++i) deep += "<hp:p>";
  PictureFrames frames;
  FrameReader reader(FrameReader::Form::kHwpxPart, frames, "part");
  reader.Feed(Section(Pic("image1", Size(7200, 3600)) + deep));
  reader.Finish();
  EXPECT_TRUE(frames.Unread());
  EXPECT_EQ(frames.UsesOf("image1").detail, "part: elements nested too deeply");
}

// An entity that expands a thousand times over is refused by the parser itself.
TEST(ReadFrames, ExpandingEntitiesLeaveTheLayoutUnread) {
  std::string dtd = "<?xml version=\"1.0\"?><!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\">";
  for (char name = 'b'; name <= 'i'; ++name) {
    std::string references;
    for (int i = 0; i < 10; ++i) references += std::string("&") + static_cast<char>(name - 1) + ";";
    dtd += std::string("<!ENTITY ") + name + " \"" + references + "\">";
  }
  dtd += "]><s>&i;</s>";
  PictureFrames frames;
  FrameReader reader(FrameReader::Form::kHwpxPart, frames, "part");
  reader.Feed(dtd);
  reader.Finish();
  EXPECT_TRUE(frames.Unread());
}

}  // namespace
}  // namespace velmora
