#include <gtest/gtest.h>

#include <cstdio>

#include "document/hwpml_fixture.h"
#include "job/shrink_job.h"

namespace velmora::hwpml_test {
namespace {

using testing::DataElement;
using testing::HmlDocument;
using testing::ItemTag;
using testing::OutsideElements;
using testing::ParseHmlForTest;

HmlDocument OnePng() {
  HmlDocument doc;
  doc.items = {ItemTag(1, "png")};
  doc.data = {DataElement(1, Png())};
  return doc;
}

// ---------------------------------------------------------------------------------
// Documents that are refused: one row per condition.

struct FailureRow {
  const char* name;
  std::string document;  // "" with missing: no source file at all
  bool missing;
  const char* message;
  const char* logLine;   // nullptr: no log line of its own
  bool noProgressAtEnd;  // the taskbar is set back to no progress
};

void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }

std::vector<FailureRow> FailureRows() {
  const std::string prolog = "<?xml version=\"1.0\"?><HWPML>";
  auto withoutStorageClose = OnePng();
  withoutStorageClose.storageClose = "";
  withoutStorageClose.tail = "</TAIL></HWPML>";
  auto fewerData = OnePng();
  fewerData.items.push_back(ItemTag(2, "png"));
  auto fewerItems = OnePng();
  fewerItems.listOpen = "<BINDATALIST Count=\"2\">";
  auto withoutListClose = OnePng();
  withoutListClose.listClose = "";
  auto countZero = OnePng();
  countZero.listOpen = "<BINDATALIST Count=\"0\">";
  auto countMissing = OnePng();
  countMissing.listOpen = "<BINDATALIST>";
  auto countNegative = OnePng();
  countNegative.listOpen = "<BINDATALIST Count=\"-1\">";
  auto withoutStorage = OnePng();
  withoutStorage.storageOpen = "<STORAGE>";
  withoutStorage.storageClose = "</STORAGE>";
  auto dataWithoutClose = OnePng();
  dataWithoutClose.data = {"<BINDATA Encoding=\"Base64\" Id=\"1\">iVBORw0KGgo="};
  auto secondDataWithoutClose = OnePng();
  secondDataWithoutClose.items.push_back(ItemTag(2, "png"));
  secondDataWithoutClose.data = {"<BINDATA Encoding=\"Base64\" Id=\"1\">iVBORw0KGgo=",
                                 DataElement(2, Png())};
  auto zeroInData = OnePng();
  zeroInData.data = {std::string("<BINDATA Encoding=\"Base64\" Id=\"1\">iVBO\0Rw0K</BINDATA>", 53)};
  static const std::string zeroLine =
      "<BINDATA> data holds a zero byte at offset " +
      std::to_string(zeroInData.Build().find('\0')) + "!";
  const std::string list = "<BINDATALIST Count=\"1\">" + ItemTag(1, "png") + "</BINDATALIST>";
  const std::string storage =
      "<BINDATASTORAGE>" + DataElement(1, Png()) + "</BINDATASTORAGE>";

  return {
      {"Missing", "", true, "HwpML 파일 열기 실패!", nullptr, false},
      {"Empty", "", false, "HwpML 파일 열기 실패!", nullptr, false},
      {"NoTagStart", "plain text", false, "HwpML 형식만 처리 가능!", nullptr, false},
      {"NoTagEnd", "<?xml version", false, "HwpML 형식만 처리 가능!", nullptr, false},
      {"Utf16", std::string("\xFF\xFE<\0?\0x\0m\0l\0>\0", 14), false, "HwpML 형식만 처리 가능!",
       nullptr, false},
      {"NotXml", "<HWPML><BINDATALIST Count=\"1\"/></HWPML>", false,
       "HwpML 형식만 처리 가능!\n(xml 파일 아님)", nullptr, false},
      {"XmlDeclarationCaseCounts", "<?XML version=\"1.0\"?><HWPML>", false,
       "HwpML 형식만 처리 가능!\n(xml 파일 아님)", nullptr, false},
      {"NotHwpml", "<?xml version=\"1.0\"?><html></html>", false,
       "HwpML 형식만 처리 가능!\n(xml 파일이나 HwpML은 아님)", nullptr, false},
      {"NoList", prolog + "</HWPML>", false, "첨부 파일 목록 없음!", "no embedded list!", false},
      {"CountZero", countZero.Build(), false, "첨부 파일 목록 없음!", "no embedded list!", false},
      {"CountMissing", countMissing.Build(), false, "첨부 파일 목록 없음!", "no embedded list!",
       false},
      {"CountNegative", countNegative.Build(), false, "첨부 파일 목록 없음!",
       "no embedded list!", false},
      {"FewerItemsThanCount", fewerItems.Build(), false, "첨부 파일 정보 읽기 오류!",
       "reading embedded file info failed!", false},
      {"NoListClose", withoutListClose.Build(), false, "첨부 파일 정보 닫기 태그 없음!",
       "</BINDATALIST> tag closing not found!", false},
      {"NoStorage", withoutStorage.Build(), false, "첨부 파일 데이터 없음!", "no embedded data!",
       false},
      {"FewerDataThanItems", fewerData.Build(), false, "첨부 파일 데이터 없음!",
       "no embedded data!", true},
      {"DataWithoutClose", dataWithoutClose.Build(), false,
       "첨부 파일 데이터 끝 태그(</BINDATA>) 없음!", "</BINDATA> tag closing not found!", true},
      {"FirstOfTwoDataWithoutClose", secondDataWithoutClose.Build(), false,
       "첨부 파일 데이터 끝 태그(</BINDATA>) 없음!", "</BINDATA> tag closing not found!", true},
      // A zero byte is said as what it is, with its offset, not as a missing end tag.
      {"ZeroByteInData", zeroInData.Build(), false,
       "첨부 파일 데이터에 0 바이트가 있음!\n(문서가 손상되었거나 XML 문서가 아님)",
       zeroLine.c_str(), true},
      {"NoStorageClose", withoutStorageClose.Build(), false, "첨부 파일 데이터 닫기 태그 없음!",
       "</BINDATASTORAGE> tag closing not found!", true},
      {"StorageBeforeList", prolog + storage + list + "</HWPML>", false,
       "첨부 파일 데이터 미확인 오류!", "embedded file!", true},
  };
}

class HwpmlFailure : public HwpmlRunTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(HwpmlFailure, EndsWithItsMessageAndWritesNoTarget) {
  const FailureRow& row = GetParam();
  pictures_.outputFor = {{3, 2}};
  if (!row.missing) testing::WriteFile(source_, row.document);
  const ProcessorResult result = RunOnSource();
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, row.message);
  if (row.logLine != nullptr) {
    EXPECT_TRUE(Logged(row.logLine)) << row.logLine;
  }
  const bool endsWithNoProgress = !host_.events.empty() && host_.events.back() == "hidden";
  EXPECT_EQ(endsWithNoProgress, row.noProgressAtEnd);
  EXPECT_FALSE(TargetExists());
  EXPECT_TRUE(Strays().empty());
  EXPECT_TRUE(pictures_.seen.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, HwpmlFailure, ::testing::ValuesIn(FailureRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HwpmlRunTest, TargetThatCannotBeCreatedFailsAtWriting) {
  target_ = dir_.File("missing-folder/doc.hml");
  pictures_.outputFor = {{3, 2}};
  const ProcessorResult result = Run(OnePng().Build());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "파일 복사 실패! (step#1 / 쓰기)");
  EXPECT_TRUE(Logged("copying file fained (step#2 / writing)!"));
  EXPECT_EQ(host_.events.back(), "hidden");
}

// The source shrinks while its pictures are processed, so copying one of its three
// unchanged parts runs out of bytes.
struct CopyRow {
  const char* name;
  const char* cutBefore;  // the source is cut just before this text
  int cutOffset;
  const char* message;
  const char* logLine;
};

void PrintTo(const CopyRow& row, std::ostream* os) { *os << row.name; }

class HwpmlCopyFailure : public HwpmlRunTest, public ::testing::WithParamInterface<CopyRow> {};

TEST_P(HwpmlCopyFailure, ShrinkingSourceFailsTheCopyAndLeavesTheTargetAlone) {
  const CopyRow& row = GetParam();
  const std::string document = OnePng().Build();
  testing::WriteFile(target_, "previous target");
  pictures_.outputFor = {{3, 2}};
  const size_t cut = document.find(row.cutBefore) + static_cast<size_t>(row.cutOffset);
  pictures_.sideEffect = [this, &document, cut] {
    testing::WriteFile(source_, document.substr(0, cut));
  };
  const ProcessorResult result = Run(document);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, row.message);
  EXPECT_TRUE(Logged(row.logLine));
  EXPECT_EQ(Target(), "previous target");
  EXPECT_TRUE(Strays().empty());
  EXPECT_EQ(host_.events.back(), "hidden");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HwpmlCopyFailure,
    ::testing::Values(
        CopyRow{"Head", "<HEAD", 0, "파일 복사 실패! (step#1)", "copying file fained (step#1)!"},
        CopyRow{"Middle", "<BODY", 0, "파일 복사 실패! (step#2)", "copying file fained (step#2)!"},
        CopyRow{"Tail", "</TAIL>", 0, "파일 복사 실패! (step#3)",
                "copying file fained (step#3)!"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// Documents that are rewritten.

// The account of the items lists every one of the list in its order, with the bytes
// the document stores for it and why it is as it is.
TEST_F(HwpmlRunTest, ResultAccountsForEveryListedItem) {
  HmlDocument doc;
  doc.items = {ItemTag(1, "png"), ItemTag(2, "jpg"),
               "<BINITEM APath=\"C:\\a.png\" BinData=\"3\" RPath=\"a.png\" Type=\"Link\"/>",
               ItemTag(4, "bmp"), ItemTag(5, "webp")};
  const std::string cut = testing::DeflateRawForTest(Bmp(5000)).substr(0, 300);
  doc.data = {DataElement(1, Png()), DataElement(2, Jpeg()),
              "<BINDATA Compress=\"true\" Encoding=\"Base64\" Id=\"4\">" +
                  testing::EncodeBase64ForTest(cut) + "</BINDATA>",
              DataElement(5, Webp())};
  pictures_.outputFor = {{3, 2}, {4, 0}};
  const ProcessorResult result = Run(doc.Build());
  ASSERT_TRUE(result.success) << result.message;

  struct Row {
    std::string name;
    std::optional<PictureKind> kindIn, kindOut;
    int64_t before, after;
    PictureDecision decision;
  };
  const int64_t png = static_cast<int64_t>(Png().size());
  const int64_t jpeg = static_cast<int64_t>(Jpeg().size());
  const int64_t webp = static_cast<int64_t>(Webp().size());
  const int64_t shrunk = static_cast<int64_t>(FakePictures::Shrunk(2, 0).size());
  const Row rows[] = {
      {"1", PictureKind::kPng, PictureKind::kPng, png, shrunk, PictureDecision::kRewritten},
      {"2", PictureKind::kJpeg, PictureKind::kJpeg, jpeg, jpeg, PictureDecision::kNotSmaller},
      {"3", std::nullopt, std::nullopt, -1, -1, PictureDecision::kDataOutside},
      {"4", std::nullopt, std::nullopt, static_cast<int64_t>(cut.size()),
       static_cast<int64_t>(cut.size()), PictureDecision::kInflationFailed},
      {"5", std::nullopt, std::nullopt, webp, webp, PictureDecision::kNotAPicture},
  };
  ASSERT_EQ(result.pictures.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const PictureRecord& record = result.pictures[i];
    EXPECT_EQ(record.index, static_cast<int>(i) + 1);
    EXPECT_EQ(record.name, rows[i].name);
    EXPECT_EQ(record.targetName, rows[i].name);
    EXPECT_EQ(record.kindIn, rows[i].kindIn) << record.name;
    EXPECT_EQ(record.kindOut, rows[i].kindOut) << record.name;
    EXPECT_EQ(record.bytesBefore, rows[i].before) << record.name;
    EXPECT_EQ(record.bytesAfter, rows[i].after) << record.name;
    EXPECT_EQ(record.decision, rows[i].decision) << record.name;
  }
}

TEST_F(HwpmlRunTest, TwoItemsOnlyTheShrunkPngIsReplaced) {
  HmlDocument doc;
  doc.items = {ItemTag(1, "jpg"), ItemTag(2, "png")};
  const std::string jpegElement = DataElement(1, Jpeg());
  doc.data = {jpegElement, DataElement(2, Png())};
  pictures_.outputFor = {{4, 0}, {3, 2}};
  const ProcessorResult result = Run(doc.Build());
  ASSERT_TRUE(result.success) << result.message;
  EXPECT_EQ(result.message, "");
  EXPECT_EQ(failed_, 0);

  const std::string shrunk = FakePictures::Shrunk(2, 1);
  HmlDocument expected = doc;
  expected.items = {ItemTag(1, "jpg"),
                    "<BINITEM BinData=\"2\" Format=\"png\" Type=\"Embedding\"/>"};
  expected.data = {jpegElement, "<BINDATA Encoding=\"Base64\" Id=\"2\" Size=\"" +
                                    std::to_string(shrunk.size()) + "\">" +
                                    testing::EncodeBase64ForTest(shrunk) + "</BINDATA>"};
  EXPECT_EQ(Target(), expected.Build());

  ASSERT_EQ(pictures_.seen.size(), 2u);
  EXPECT_EQ(pictures_.seen[0].number, 0);
  EXPECT_EQ(pictures_.seen[0].bytes, Jpeg());
  EXPECT_EQ(pictures_.seen[0].extension, "jpg");
  EXPECT_EQ(pictures_.seen[1].number, 1);
  EXPECT_EQ(pictures_.seen[1].originalSize, static_cast<int32_t>(Png().size()));

  const std::vector<std::string> log = Log();
  const std::vector<std::string> expectedLog = {
      "**Velmora process LOG**",
      "file type: `HwpML`",
      "source: `" + source_ + "`",
      "target: `" + target_ + "`",
      "",
      "*2 embedded file(s) found*",
      "embedded #1: jpg",
      "embedded #2: png",
      "",
      "*processing embedded #1*",
      "",
      "*processing embedded #2*",
      "",
      "*writing <BINDATALIST Count=\"2\">*",
      "writing <BINITEM> 1 to HwpML...",
      "writing <BINITEM> 2 to HwpML...",
      "",
      "*writing <BINDATASTORAGE>*",
      "writing <BINDATA> 1 to HwpML...",
      "embedded #1 : back to original file",
      "writing <BINDATA> 2 to HwpML...",
      "embedded #2 : image file processed",
      "",
      "writing last part to HwpML...",
      "closing...",
  };
  EXPECT_EQ(log, expectedLog);
}

TEST_F(HwpmlRunTest, ProgressRunsThroughItemsThenFiveWritingSteps) {
  HmlDocument doc;
  doc.items = {ItemTag(1, "png"), ItemTag(2, "png"), ItemTag(3, "jpg")};
  doc.data = {DataElement(1, Png()), DataElement(2, Png(700)), DataElement(3, Jpeg())};
  ASSERT_TRUE(Run(doc.Build()).success);
  const std::vector<std::string> expected = {"running", "1/8", "2/8", "3/8", "4/8",
                                             "5/8",     "6/8", "7/8", "8/8"};
  EXPECT_EQ(host_.events, expected);
}

TEST_F(HwpmlRunTest, BytesOutsideTheTwoElementsComeOutUnchanged) {
  HmlDocument doc;
  doc.prolog = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<HWPML Version=\"2.8\">"
               "\n\t<HEAD>\xED\x95\x9C\xEA\xB8\x80 \r\r\n  ";
  doc.items = {"\r\n  " + ItemTag(1, "png"), "\r\n  " + ItemTag(2, "bmp") + "\r\n"};
  doc.middle = "\r\n</HEAD>\n<BODY>\x01\xFF</BODY>\r\n\t<TAIL>  ";
  doc.data = {"\r\n  " + DataElement(1, Png()), "\n" + DataElement(2, Bmp(900)) + "\n"};
  doc.tail = "\r\n</TAIL></HWPML>\r\n\r\n\x1A";
  pictures_.outputFor = {{3, 2}, {1, 2}};
  ASSERT_TRUE(Run(doc.Build()).success);
  const std::string target = Target();
  EXPECT_EQ(OutsideElements(target), OutsideElements(doc.Build()));
  // White space between the items stays too.
  EXPECT_NE(target.find("\">\r\n  <BINITEM BinData=\"1\" Format=\"png\""), std::string::npos);
  EXPECT_NE(target.find("/>\r\n  <BINITEM BinData=\"2\" Format=\"png\""), std::string::npos);
}

TEST_F(HwpmlRunTest, CompressedItemThatCannotBeInflatedIsCountedAndKept) {
  HmlDocument doc;
  doc.items = {ItemTag(1, "png"), ItemTag(2, "bmp"), ItemTag(3, "png")};
  // Deflate data cut in half: the stream never ends.
  const std::string cut = testing::DeflateRawForTest(Bmp(5000)).substr(0, 300);
  const std::string broken =
      "<BINDATA Compress=\"true\" Encoding=\"Base64\" Id=\"2\" Size=\"300\">" +
                             testing::EncodeBase64ForTest(cut) + "</BINDATA>";
  doc.data = {DataElement(1, Png(), true), broken, DataElement(3, Png(800, 9))};
  pictures_.outputFor = {{3, 2}};
  ASSERT_TRUE(Run(doc.Build()).success);
  EXPECT_EQ(failed_, 1);

  std::optional<testing::ParsedHml> parsed = ParseHmlForTest(Target());
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->data.size(), 3u);
  EXPECT_EQ(parsed->items[1].tag, ItemTag(2, "bmp"));
  EXPECT_EQ(parsed->data[1].openTag + parsed->data[1].text + "</BINDATA>", broken);
  // The items around it get their own pictures.
  EXPECT_EQ(parsed->data[0].bytes, FakePictures::Shrunk(2, 0));
  EXPECT_EQ(parsed->data[2].bytes, FakePictures::Shrunk(2, 2));
  EXPECT_EQ(testing::AttributeOf(parsed->data[0].openTag, "Compress"), std::nullopt);
  ASSERT_EQ(pictures_.seen.size(), 2u);
  EXPECT_EQ(pictures_.seen[0].bytes, Png());
  // A compressed item is measured as stored, before inflation.
  EXPECT_EQ(pictures_.seen[0].originalSize,
            static_cast<int32_t>(testing::DeflateRawForTest(Png()).size()));
  EXPECT_EQ(pictures_.seen[1].bytes, Png(800, 9));
}

TEST_F(HwpmlRunTest, ItemsThatAreNoPicturesAreLoggedAndKept) {
  HmlDocument doc;
  doc.items = {ItemTag(1, "webp"), "<BINITEM BinData=\"2\" Format=\"ole\" Type=\"Storage\"/>"};
  doc.data = {DataElement(1, Webp()), DataElement(2, Webp(2000), true)};
  const std::string source = doc.Build();
  options_.classic = true;
  ASSERT_TRUE(Run(source).success);
  EXPECT_EQ(Target(), source);
  EXPECT_TRUE(Logged("embedded 1 is UNKNOWN"));
  EXPECT_TRUE(Logged("embedded 2 is UNKNOWN"));
  EXPECT_TRUE(Logged("embedded #1: webp"));
  EXPECT_TRUE(Logged("embedded #2: Storage"));
  EXPECT_EQ(failed_, 0);
}

TEST_F(HwpmlRunTest, CompressedItemsOfOtherKindsAreDeflatedAgainWhenSmaller) {
  // Item 2 was deflated in stored blocks; item 3 is noise that no deflate shrinks.
  HmlDocument doc;
  doc.items = {ItemTag(1, "webp"), "<BINITEM BinData=\"2\" Format=\"ole\" Type=\"Storage\"/>",
               "<BINITEM BinData=\"3\" Format=\"ole\" Type=\"Storage\"/>"};
  const std::string content = Webp(2000);
  const std::string weak = testing::DeflateRawForTest(content, 0);
  std::string noise;
  for (uint32_t i = 0; i < 3000; ++i) noise += static_cast<char>((i * 2654435761u) >> 24);
  doc.data = {DataElement(1, Webp()),
              "<BINDATA Compress=\"true\" Encoding=\"Base64\" Id=\"2\" Size=\"" +
                  std::to_string(weak.size()) + "\">" + testing::EncodeBase64ForTest(weak) +
                  "</BINDATA>",
              DataElement(3, noise, true)};
  const std::string source = doc.Build();
  ASSERT_TRUE(Run(source).success);
  std::optional<testing::ParsedHml> parsed = ParseHmlForTest(Target());
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->data.size(), 3u);
  EXPECT_EQ(parsed->data[0].bytes, Webp());
  // Smaller, the same content, still flagged compressed, its size told right.
  const testing::ParsedData& again = parsed->data[1];
  EXPECT_LT(again.bytes.size(), weak.size());
  EXPECT_EQ(testing::InflateRawForTest(again.bytes), content);
  EXPECT_EQ(testing::AttributeOf(again.openTag, "Compress"), "true");
  EXPECT_EQ(testing::AttributeOf(again.openTag, "Size"), std::to_string(again.bytes.size()));
  EXPECT_TRUE(Logged("embedded #2 : compressed data rewritten"));
  // What does not shrink stays byte for byte.
  EXPECT_NE(Target().find(DataElement(3, noise, true)), std::string::npos);
  EXPECT_FALSE(Logged("embedded #3 : compressed data rewritten"));
}

TEST_F(HwpmlRunTest, CompressValueIgnoresCaseAndTypeCaseOnlyChangesTheExtension) {
  HmlDocument doc;
  doc.items = {"<BINITEM BinData=\"1\" Format=\"png\" Type=\"embedding\"/>",
               "<BINITEM BinData=\"2\" Format=\"JPEG\" Type=\"Embedding\"/>",
               "<BINITEM BinData=\"3\" Type=\"Embedding\"/>", "<BINITEM BinData=\"4\"/>"};
  std::string upper = DataElement(1, Png(), true);
  upper.replace(upper.find("true"), 4, "TRUE");
  doc.data = {upper, DataElement(2, Jpeg()), DataElement(3, Png()), DataElement(4, Png())};
  pictures_.outputFor = {{3, 3}};
  ASSERT_TRUE(Run(doc.Build()).success);
  ASSERT_EQ(pictures_.seen.size(), 4u);
  EXPECT_EQ(pictures_.seen[0].bytes, Png());  // inflated
  EXPECT_EQ(pictures_.seen[0].extension, "tmp");
  EXPECT_EQ(pictures_.seen[1].extension, "jpg");
  EXPECT_EQ(pictures_.seen[2].extension, "tmp");
  EXPECT_TRUE(Logged("embedded #1: embedding"));
  EXPECT_TRUE(Logged("embedded #2: JPEG"));
  EXPECT_TRUE(Logged("embedded #3: Embedding"));
  EXPECT_TRUE(Logged("embedded #4: "));
  std::optional<testing::ParsedHml> parsed = ParseHmlForTest(Target());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->items[0].tag, "<BINITEM BinData=\"1\" Format=\"jpg\" Type=\"Embedding\"/>");
  EXPECT_EQ(parsed->data[0].bytes, FakePictures::Shrunk(3, 0));
}

TEST_F(HwpmlRunTest, LowerCaseTagsAreNoHwpmlAndTheDocumentIsLeftAlone) {
  const std::string source =
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<hwpml version=\"2.8\">\n<bindatalist count=\"1\">\n"
      "<binitem bindata=\"1\" format=\"png\" type=\"Embedding\"/>\n</bindatalist>\n"
      "<bindatastorage>\n<bindata encoding=\"Base64\" id=\"1\">" +
      testing::EncodeBase64ForTest(Png()) + "</bindata>\n</bindatastorage>\n</hwpml>\n";
  pictures_.outputFor = {{3, 2}};
  const ProcessorResult result = Run(source);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "HwpML 형식만 처리 가능!\n(xml 파일이나 HwpML은 아님)");
  EXPECT_FALSE(TargetExists());
  EXPECT_EQ(testing::ReadFile(source_), source);
}

TEST_F(HwpmlRunTest, ItemTagWithClosingTagKeepsItsForm) {
  HmlDocument doc;
  doc.items = {"<BINITEM BinData=\"1\" Format=\"bmp\" Type=\"Embedding\"></BINITEM>"};
  doc.data = {DataElement(1, Bmp())};
  pictures_.outputFor = {{1, 2}};
  ASSERT_TRUE(Run(doc.Build()).success);
  EXPECT_NE(Target().find("<BINDATALIST Count=\"1\"><BINITEM BinData=\"1\" Format=\"png\" "
                          "Type=\"Embedding\"></BINITEM></BINDATALIST>"),
            std::string::npos);
}

TEST_F(HwpmlRunTest, ExistingTargetIsReplacedWhole) {
  testing::WriteFile(target_, std::string(100000, 'x'));
  pictures_.outputFor = {{3, 2}};
  ASSERT_TRUE(Run(OnePng().Build()).success);
  std::optional<testing::ParsedHml> parsed = ParseHmlForTest(Target());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->data[0].bytes, FakePictures::Shrunk(2, 0));
  EXPECT_TRUE(Strays().empty());
}

TEST_F(HwpmlRunTest, RewrittenPictureNotSmallerThanTheStoredDataIsNotUsed) {
  HmlDocument doc;
  doc.items = {ItemTag(1, "png")};
  doc.data = {DataElement(1, "\x89PNG\r\n")};  // smaller than any fake output
  pictures_.outputFor = {{3, 2}};
  const std::string source = doc.Build();
  ASSERT_TRUE(Run(source).success);
  EXPECT_EQ(Target(), source);
}

// ---------------------------------------------------------------------------------
// Items whose Size is missing or wrong, whose numbers are not 1 to N, or whose data
// lives outside the document.

struct SizeRow {
  const char* name;
  int size;  // -1: no Size attribute
};

void PrintTo(const SizeRow& row, std::ostream* os) { *os << row.name; }

class HwpmlSize : public HwpmlRunTest, public ::testing::WithParamInterface<SizeRow> {};

TEST_P(HwpmlSize, DataIsDecodedWholeWhateverSizeSays) {
  HmlDocument doc;
  doc.items = {ItemTag(1, "png"), ItemTag(2, "jpg")};
  doc.data = {DataElement(1, Png(5000), false, GetParam().size),
              DataElement(2, Jpeg(3000), true, GetParam().size)};
  const std::string source = doc.Build();
  ASSERT_TRUE(Run(source).success);
  ASSERT_EQ(pictures_.seen.size(), 2u);
  EXPECT_EQ(pictures_.seen[0].bytes, Png(5000));
  EXPECT_EQ(pictures_.seen[1].bytes, Jpeg(3000));
  EXPECT_EQ(failed_, 0);
  EXPECT_EQ(Target(), source);  // kept items come back whole
}

INSTANTIATE_TEST_SUITE_P(Rows, HwpmlSize,
                         ::testing::Values(SizeRow{"Missing", -1}, SizeRow{"Zero", 0},
                                           SizeRow{"TooSmall", 100}, SizeRow{"TooLarge", 999999}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HwpmlRunTest, RewrittenItemsKeepTheirOwnNumbers) {
  HmlDocument doc;
  doc.items = {ItemTag(7, "png"), ItemTag(3, "bmp")};
  doc.data = {DataElement(7, Png()), DataElement(3, Bmp())};
  pictures_.outputFor = {{3, 2}, {1, 3}};
  ASSERT_TRUE(Run(doc.Build()).success);
  std::optional<testing::ParsedHml> parsed = ParseHmlForTest(Target());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->items[0].tag, "<BINITEM BinData=\"7\" Format=\"png\" Type=\"Embedding\"/>");
  EXPECT_EQ(parsed->items[1].tag, "<BINITEM BinData=\"3\" Format=\"jpg\" Type=\"Embedding\"/>");
  EXPECT_EQ(testing::AttributeOf(parsed->data[0].openTag, "Id"), "7");
  EXPECT_EQ(testing::AttributeOf(parsed->data[1].openTag, "Id"), "3");
  EXPECT_EQ(parsed->data[1].bytes, FakePictures::Shrunk(3, 1));
}

TEST_F(HwpmlRunTest, ItemsArePairedWithTheirDataByNumber) {
  HmlDocument doc;
  doc.items = {ItemTag(1, "png"), ItemTag(2, "bmp")};
  // The storage lists item 2 first.
  doc.data = {DataElement(2, Bmp()), DataElement(1, Png())};
  pictures_.outputFor = {{3, 2}};
  ASSERT_TRUE(Run(doc.Build()).success);
  ASSERT_EQ(pictures_.seen.size(), 2u);
  EXPECT_EQ(pictures_.seen[0].number, 0);
  EXPECT_EQ(pictures_.seen[0].bytes, Png());
  EXPECT_EQ(pictures_.seen[0].extension, "png");
  EXPECT_EQ(pictures_.seen[1].bytes, Bmp());
  std::optional<testing::ParsedHml> parsed = ParseHmlForTest(Target());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->data[0].openTag + parsed->data[0].text + "</BINDATA>", doc.data[0]);
  EXPECT_EQ(testing::AttributeOf(parsed->data[1].openTag, "Id"), "1");
  EXPECT_EQ(parsed->data[1].bytes, FakePictures::Shrunk(2, 0));
}

TEST_F(HwpmlRunTest, LinkedItemsAndDataBeyondCountAreWrittenBack) {
  HmlDocument doc;
  const std::string linked =
      "<BINITEM APath=\"C:\\a.png\" BinData=\"2\" RPath=\"a.png\" Type=\"Link\"/>";
  doc.listOpen = "<BINDATALIST Count=\"3\">";
  doc.items = {ItemTag(1, "png"), linked, ItemTag(3, "png"), ItemTag(4, "png")};
  const std::string extra = DataElement(4, Png(900, 5));
  doc.data = {DataElement(1, Png()), DataElement(3, Png(700, 8)), extra};
  pictures_.outputFor = {{3, 2}};
  ASSERT_TRUE(Run(doc.Build()).success);
  ASSERT_EQ(pictures_.seen.size(), 2u);
  EXPECT_EQ(pictures_.seen[1].number, 2);
  EXPECT_EQ(pictures_.seen[1].bytes, Png(700, 8));
  std::optional<testing::ParsedHml> parsed = ParseHmlForTest(Target());
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->items.size(), 4u);
  EXPECT_EQ(parsed->items[1].tag, linked);
  EXPECT_EQ(parsed->items[3].tag, ItemTag(4, "png"));
  ASSERT_EQ(parsed->data.size(), 3u);
  EXPECT_EQ(parsed->data[1].bytes, FakePictures::Shrunk(2, 2));
  EXPECT_EQ(testing::AttributeOf(parsed->data[1].openTag, "Id"), "3");
  EXPECT_EQ(parsed->data[2].openTag + parsed->data[2].text + "</BINDATA>", extra);
  EXPECT_TRUE(Logged("embedded #2 has its data outside the document: nothing to do"));
  const std::string& open = parsed->data[2].openTag;
  const std::string extraTag = open.substr(1, open.size() - 2);
  EXPECT_TRUE(Logged("data `" + extraTag + "` without a listed item: back to original data"));
}

TEST_F(HwpmlRunTest, UnnumberedDocumentsPairByPosition) {
  HmlDocument doc;
  doc.items = {"<BINITEM Format=\"png\" Type=\"Embedding\"/>",
               "<BINITEM Format=\"jpg\" Type=\"Embedding\"/>"};
  doc.data = {"<BINDATA Encoding=\"Base64\">" + testing::EncodeBase64ForTest(Png()) +
                  "</BINDATA>",
              "<BINDATA Encoding=\"Base64\">" + testing::EncodeBase64ForTest(Jpeg()) +
                  "</BINDATA>"};
  pictures_.outputFor = {{4, 2}};
  ASSERT_TRUE(Run(doc.Build()).success);
  std::optional<testing::ParsedHml> parsed = ParseHmlForTest(Target());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->items[0].tag, doc.items[0]);
  // The rewritten item and its data stay without numbers: with numbers on them only,
  // the document could no longer be paired at all.
  EXPECT_EQ(parsed->items[1].tag, "<BINITEM Format=\"png\" Type=\"Embedding\"/>");
  EXPECT_EQ(testing::AttributeOf(parsed->data[1].openTag, "Id"), std::nullopt);
  EXPECT_EQ(parsed->data[1].bytes, FakePictures::Shrunk(2, 1));

  // The target is a document the processor reads again, pairing by position.
  const std::string target = Target();
  pictures_.seen.clear();
  ASSERT_TRUE(Run(target).success);
  ASSERT_EQ(pictures_.seen.size(), 2u);
  EXPECT_EQ(pictures_.seen[1].bytes, FakePictures::Shrunk(2, 1));
}

// Linked items keep their data outside: the data elements belong, in order, to the
// items that do not.
TEST_F(HwpmlRunTest, UnnumberedDocumentsPairByPositionPastLinkedItems) {
  HmlDocument doc;
  doc.items = {"<BINITEM Type=\"Link\" APath=\"C:\\pictures\\a.png\"/>",
               "<BINITEM Format=\"png\" Type=\"Embedding\"/>",
               "<BINITEM Format=\"jpg\" Type=\"Embedding\"/>"};
  doc.data = {"<BINDATA Encoding=\"Base64\">" + testing::EncodeBase64ForTest(Png()) +
                  "</BINDATA>",
              "<BINDATA Encoding=\"Base64\">" + testing::EncodeBase64ForTest(Jpeg()) +
                  "</BINDATA>"};
  pictures_.outputFor = {{4, 2}};
  ASSERT_TRUE(Run(doc.Build()).success);
  ASSERT_EQ(pictures_.seen.size(), 2u);
  std::optional<testing::ParsedHml> parsed = ParseHmlForTest(Target());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->items[0].tag, doc.items[0]);
  EXPECT_EQ(parsed->items[1].tag, doc.items[1]);
  EXPECT_EQ(parsed->items[2].tag, "<BINITEM Format=\"png\" Type=\"Embedding\"/>");
  EXPECT_EQ(parsed->data[0].bytes, Png());
  EXPECT_EQ(parsed->data[1].bytes, FakePictures::Shrunk(2, 2));
}

struct AmbiguousRow {
  const char* name;
  std::vector<std::string> items;
  std::vector<std::string> data;
};

void PrintTo(const AmbiguousRow& row, std::ostream* os) { *os << row.name; }

class HwpmlAmbiguous : public HwpmlRunTest, public ::testing::WithParamInterface<AmbiguousRow> {};

TEST_P(HwpmlAmbiguous, UnpairableDocumentEndsWithoutTarget) {
  HmlDocument doc;
  doc.items = GetParam().items;
  doc.data = GetParam().data;
  pictures_.outputFor = {{3, 2}};
  const ProcessorResult result = Run(doc.Build());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "첨부 파일 목록과 데이터를 짝지을 수 없음!\n(번호가 없거나 중복됨)");
  EXPECT_TRUE(Logged("embedded list and data cannot be paired by number!"));
  EXPECT_FALSE(TargetExists());
  EXPECT_TRUE(pictures_.seen.empty());
  EXPECT_EQ(host_.events.back(), "hidden");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HwpmlAmbiguous,
    ::testing::Values(
        AmbiguousRow{"DuplicateItemNumbers",
                     {ItemTag(1, "png"), ItemTag(1, "png")},
                     {DataElement(1, Png()), DataElement(2, Png())}},
        AmbiguousRow{"DuplicateDataIds",
                     {ItemTag(1, "png"), ItemTag(2, "png")},
                     {DataElement(1, Png()), DataElement(1, Png())}},
        AmbiguousRow{"ItemWithoutNumber",
                     {ItemTag(1, "png"), "<BINITEM Format=\"png\" Type=\"Embedding\"/>"},
                     {DataElement(1, Png()), DataElement(2, Png())}},
        AmbiguousRow{"DataWithoutId",
                     {ItemTag(1, "png"), ItemTag(2, "png")},
                     {DataElement(1, Png()),
                      "<BINDATA Encoding=\"Base64\">" + testing::EncodeBase64ForTest(Png()) +
                          "</BINDATA>"}},
        AmbiguousRow{"NumberThatIsNoNumber",
                     {ItemTag(1, "png"),
                      "<BINITEM BinData=\"2a\" Format=\"png\" Type=\"Embedding\"/>"},
                     {DataElement(1, Png()), DataElement(2, Png())}},
        AmbiguousRow{"UnnumberedWithLinkedItemAndExtraData",
                     {"<BINITEM Format=\"png\" Type=\"Embedding\"/>", "<BINITEM Type=\"Link\"/>"},
                     {"<BINDATA>" + testing::EncodeBase64ForTest(Png()) + "</BINDATA>",
                      "<BINDATA>" + testing::EncodeBase64ForTest(Png()) + "</BINDATA>"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CopyRange, CopiesInclusiveRangesAndFailsPastTheEnd) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("in.bin"), "0123456789");
  platform::UniqueFile in = platform::OpenFile(dir.File("in.bin"), "rb");
  platform::AtomicFile out;
  ASSERT_TRUE(out.Open(dir.File("out.bin")));
  EXPECT_TRUE(CopyRange(in.get(), 2, 4, out));
  EXPECT_TRUE(CopyRange(in.get(), 5, 4, out));  // nothing to copy
  EXPECT_FALSE(CopyRange(in.get(), 8, 12, out));
  ASSERT_TRUE(out.Commit());
  EXPECT_EQ(testing::ReadFile(dir.File("out.bin")), "23489");
}

}  // namespace
}  // namespace velmora::hwpml_test

namespace velmora::hwpml_test {
namespace {

TEST(HwpmlJob, FailedInflationsReachTheSummary) {
  testing::TempDir dir;
  testing::HmlDocument doc;
  doc.items = {testing::ItemTag(1, "bmp"), testing::ItemTag(2, "bmp")};
  const std::string cut = testing::DeflateRawForTest(Bmp(5000)).substr(0, 200);
  doc.data = {"<BINDATA Compress=\"true\" Encoding=\"Base64\" Id=\"1\">" +
                  testing::EncodeBase64ForTest(cut) + "</BINDATA>",
              // Deflates to fewer than 10 bytes: too short to be inflated.
              testing::DataElement(2, std::string(64, '\xFF'), true)};
  const std::string source = dir.File("doc.hml");
  testing::WriteFile(source, doc.Build());
  RecordingHost host;
  ASSERT_TRUE(RunShrinkJob(source, dir.File("out.hml"), ShrinkOptions{}, host));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].find(
                "\n2개의 압축된 이미지 압축 해제 실패, \"그림 압축하기\" 해제를 권고함\n("),
            std::string::npos)
      << host.messages[0];
  EXPECT_EQ(testing::ReadFile(dir.File("out.hml")), doc.Build());
}

}  // namespace
}  // namespace velmora::hwpml_test

namespace velmora::hwpml_test {
namespace {

// Comments, CDATA sections and processing instructions are text: a list, an item or
// a data element written inside one is neither read nor rewritten, and the real one
// after it is. The text itself comes out as it was.
struct OpaqueMarkupRow {
  const char* name;
  std::string open;
  std::string close;
  bool inStorage;  // the text stands in the storage element, else before the list
};

void PrintTo(const OpaqueMarkupRow& row, std::ostream* os) { *os << row.name; }

class MarkupInsideText : public HwpmlRunTest,
                         public ::testing::WithParamInterface<OpaqueMarkupRow> {};

TEST_P(MarkupInsideText, IsCopiedAndTheRealItemIsRewritten) {
  const OpaqueMarkupRow& row = GetParam();
  const std::string bitmap = "BM a bitmap's bytes";
  const std::string fake =
      row.inStorage ? DataElement(1, "BM another bitmap")
                    : "<BINDATALIST Count=\"1\">" + ItemTag(1, "gif") + "</BINDATALIST>";
  const std::string text = row.open + fake + row.close;
  HmlDocument doc;
  doc.items = {ItemTag(1, "bmp")};
  doc.data = {DataElement(1, bitmap)};
  if (row.inStorage) {
    doc.storageOpen += text;
  } else {
    doc.prolog += text;
  }
  pictures_.outputFor = {{1, 2}};
  const ProcessorResult result = Run(doc.Build());
  ASSERT_TRUE(result.success) << result.message;
  ASSERT_EQ(pictures_.seen.size(), 1u);
  EXPECT_EQ(pictures_.seen[0].bytes, bitmap);

  const std::string shrunk = FakePictures::Shrunk(2, 0);
  HmlDocument expected = doc;
  expected.items = {"<BINITEM BinData=\"1\" Format=\"png\" Type=\"Embedding\"/>"};
  expected.data = {"<BINDATA Encoding=\"Base64\" Id=\"1\" Size=\"" + std::to_string(shrunk.size()) +
                   "\">" + testing::EncodeBase64ForTest(shrunk) + "</BINDATA>"};
  EXPECT_EQ(Target(), expected.Build());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, MarkupInsideText,
    ::testing::Values(OpaqueMarkupRow{"CommentBeforeTheList", "<!-- ", " -->", false},
                      OpaqueMarkupRow{"CDataBeforeTheList", "<![CDATA[", "]]>", false},
                      OpaqueMarkupRow{"InstructionBeforeTheList", "<?note ", " ?>", false},
                      OpaqueMarkupRow{"CommentInTheStorage", "<!--", "-->", true},
                      OpaqueMarkupRow{"CDataInTheStorage", "<![CDATA[", "]]>", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::hwpml_test
