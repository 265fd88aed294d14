#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <tuple>

#include "core/text.h"
#include "document/hwpx.h"
#include "picture/picture_processing.h"
#include "support/recording_host.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::HwpxPicture;
using testing::ReadFile;
using testing::ReadZip;
using testing::RecordingHost;
using testing::TempDir;
using testing::WithoutStamp;
using testing::WriteFile;
using testing::WriteZip;
using testing::ZipItem;

// A picture processor for tests: records what it was given and, for pictures whose
// bytes it has a rule for, writes a rewritten file of a chosen kind and content.
struct FakeProcessor {
  struct Call {
    int number;
    int32_t size;
    std::string bytes;
    std::string extension;
  };
  struct Rule {
    PictureKind kind;
    std::string output;
  };
  std::map<std::string, Rule> rules;  // original bytes → what to write
  std::vector<Call> calls;
  std::vector<std::string> outputs;
  bool deleteEarlierOutputs = false;
  std::mutex mutex;  // pictures may be processed on several threads

  PictureProcessor Processor() {
    return [this](const EmbeddedPicture& picture, const ShrinkOptions&, velmora::LogLines&,
                  TempFiles& temp) -> PictureOutcome {
      std::lock_guard<std::mutex> lock(mutex);
      std::string bytes = ReadFile(picture.sourcePath);
      calls.push_back({picture.number, picture.originalSize, bytes,
                       picture.sourcePath.substr(picture.sourcePath.rfind('.') + 1)});
      auto rule = rules.find(bytes);
      if (rule == rules.end()) return PictureOutcome::Keep(PictureDecision::kNotSmaller);
      if (deleteEarlierOutputs) {
        for (const std::string& earlier : outputs) std::remove(earlier.c_str());
      }
      const std::string output = temp.NewName(ExtensionOf(rule->second.kind), false);
      temp.Register(output);
      WriteFile(output, rule->second.output);
      outputs.push_back(output);
      return PictureOutcome::Replace(rule->second.kind, output);
    };
  }
};

class HwpxTest : public ::testing::Test {
 protected:
  HwpxTest() : temp(true, tmp.path()) { log.Open(temp.NewName("log.md", false)); }

  ProcessorResult Shrink(const std::string& source, const std::string& target) {
    return ShrinkHwpxWith(source, target, options, log, temp, &host, fake.Processor());
  }
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    for (const std::string& line : testing::ReadLogLines(log.Path())) {
      lines.push_back(WithoutStamp(line));
    }
    return lines;
  }
  std::string Src() const { return dir.File("source.hwpx"); }
  std::string Dst() const { return dir.File("target.hwpx"); }

  TempDir dir;
  TempDir tmp;
  TempFiles temp;
  ProcessLog log;
  RecordingHost host;
  FakeProcessor fake;
  ShrinkOptions options;
};

struct MalformedCase {
  const char* name;
  std::vector<ZipItem> items;
  const char* message;
};

class MalformedPackageTest : public HwpxTest, public ::testing::WithParamInterface<MalformedCase> {
};

TEST_P(MalformedPackageTest, IsRefusedWithItsMessageAndNoTarget) {
  WriteZip(Src(), GetParam().items);
  const std::string before = ReadFile(Src());
  ProcessorResult result = Shrink(Src(), Dst());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, GetParam().message);
  EXPECT_FALSE(testing::FileExists(Dst()));
  EXPECT_EQ(ReadFile(Src()), before);
}

const std::string kMime = "application/hwp+zip";

INSTANTIATE_TEST_SUITE_P(
    Packages, MalformedPackageTest,
    ::testing::Values(
        MalformedCase{"NoMimetype", {{"Contents/content.hpf", "<x/>"}},
                      "HwpX 형식만 처리 가능!\n(mime 정보 없음)"},
        MalformedCase{"MimetypeIsDirectory",
                      {{"mimetype/", "", false, true}, {"Contents/content.hpf", "<x/>"}},
                      "HwpX 형식만 처리 가능!\n(mime 정보 없음)"},
        MalformedCase{"MimetypeWithLineEnd",
                      {{"mimetype", kMime + "\n", true}, {"Contents/content.hpf", "<x/>"}},
                      "HwpX 형식만 처리 가능!"},
        MalformedCase{"OtherMimetype",
                      {{"mimetype", "application/epub+zip", true}, {"Contents/content.hpf", "<x/>"}},
                      "HwpX 형식만 처리 가능!"},
        MalformedCase{"NoManifest", {{"mimetype", kMime, true}, {"Contents/section0.xml", "<x/>"}},
                      "HwpX 형식만 처리 가능!\n(content 정보 없음)"},
        MalformedCase{"ManifestIsDirectory",
                      {{"mimetype", kMime, true}, {"Contents/content.hpf/", "", false, true}},
                      "HwpX 형식만 처리 가능!\n(content 정보 없음)"},
        // Only the exact name counts for the manifest.
        MalformedCase{"ManifestInOtherCase",
                      {{"mimetype", kMime, true}, {"contents/CONTENT.HPF", "<x/>"}},
                      "HwpX 형식만 처리 가능!\n(content 정보 없음)"}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) { return info.param.name; });

TEST_F(HwpxTest, NotAZipAndEmptyZipAreRefused) {
  WriteFile(Src(), std::string("PK\x03\x04", 4) + std::string(200, 'x'));
  EXPECT_EQ(Shrink(Src(), Dst()).message, "HwpX 형식만 처리 가능!\n(zip 파일 아님)");
  // An archive with no entries at all: only its end-of-directory record.
  WriteFile(Src(), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_EQ(Shrink(Src(), Dst()).message, "HwpX 형식만 처리 가능!\n(데이터 없음)");
  WriteFile(Src(), "");
  EXPECT_EQ(Shrink(Src(), Dst()).message, "HwpX 파일 열기 실패!");
  EXPECT_FALSE(testing::FileExists(Dst()));
}

TEST_F(HwpxTest, MissingManifestIsLoggedAfterTheHeader) {
  WriteZip(Src(), {{"MimeType", kMime, false}, {"Contents/section0.xml", "<x/>"}});
  EXPECT_EQ(Shrink(Src(), Dst()).message, "HwpX 형식만 처리 가능!\n(content 정보 없음)");
  std::vector<std::string> expected = {"**Velmora process LOG**", "file type: `HwpX`",
                                       "source: `" + Src() + "`", "target: `" + Dst() + "`", "",
                                       "`Contents/content.hpf` not found"};
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(HwpxTest, KeptPicturesLeaveEveryEntryAsItWas) {
  std::vector<ZipItem> items = testing::MakeHwpxItems(
      {{"image1", "BinData/image1.jpg", "image/jpg", "JPEGDATA"},
       {"image2", "BinData/image2.png", "image/png", "PNGDATA"}});
  // A deflated mimetype that is not first is accepted as it is.
  std::swap(items[0], items[1]);
  items[1].stored = false;
  WriteZip(Src(), items);
  const std::string before = ReadFile(Src());
  // Even the classic rules, which write a package again whenever they replace a
  // picture, leave one in which they replace none as it is: no folder entries are
  // added, nothing is stored anew.
  options.classic = true;
  ASSERT_TRUE(Shrink(Src(), Dst()).success);
  EXPECT_EQ(ReadFile(Src()), before);
  EXPECT_EQ(ReadFile(Dst()), before);
  ASSERT_EQ(fake.calls.size(), 2u);
  EXPECT_EQ(fake.calls[0].bytes, "JPEGDATA");
  EXPECT_EQ(fake.calls[0].number, 1);
  EXPECT_EQ(fake.calls[1].extension, "png");
}

TEST_F(HwpxTest, LogAndProgressFollowTheManifest) {
  WriteZip(Src(), testing::MakeHwpxItems({{"image1", "BinData/image1.gif", "image/gif", "GIF"}}));
  options.classic = true;
  ASSERT_TRUE(Shrink(Src(), Dst()).success);
  const std::string manifest = testing::MakeManifest({{"image1", "BinData/image1.gif", "image/gif", "GIF"}});
  std::vector<std::string> expected = {
      "**Velmora process LOG**", "file type: `HwpX`", "source: `" + Src() + "`",
      "target: `" + Dst() + "`", "", "*3 <opf:item> tag(s) found*",
      "", "*processing embedded #1*",
      "`<opf:item id=\"header\" href=\"Contents/header.xml\" media-type=\"application/xml\"/>`",
      "nothing to do",
      "", "*processing embedded #2*",
      "`<opf:item id=\"image1\" href=\"BinData/image1.gif\" media-type=\"image/gif\" "
      "isEmbeded=\"1\"/>`",
      "nothing to do",
      "", "*processing embedded #3*",
      "`<opf:item id=\"section0\" href=\"Contents/section0.xml\" media-type=\"application/xml\"/>`",
      "nothing to do", ""};
  EXPECT_EQ(LogLines(), expected);
  std::vector<std::string> events = {"running", "1/5", "2/5", "3/5", "4/5", "5/5"};
  EXPECT_EQ(host.events, events);
}

TEST_F(HwpxTest, ItemsAreProcessedOnlyWithAllFourAttributesAndAnEmbeddedKnownType) {
  const std::string manifest =
      "<opf:manifest>"
      "<opf:item id=\"image1\" href=\"BinData/image1.bmp\" media-type=\"image/bmp\"/>"
      "<opf:item id=\"image2\" href=\"BinData/image2.png\" media-type=\"IMAGE/PNG\" isEmbeded=\"10\"/>"
      "<opf:item id=\"image3\" href=\"BinData/image3.jpg\" media-type=\"image/jpeg\" isEmbeded=\"1\"/>"
      "<opf:item id=\"image4\" href=\"C:\\Users\\a\\pic.gif\" media-type=\"image/gif\" isEmbeded=\"0\"/>"
      "<opf:item id=\"image5\" href=\"BinData/missing.jpg\" media-type=\"image/jpg\" isEmbeded=\"1\"/>"
      "<opf:item\nid=\"image6\"\nhref=\"BinData/image6.gif\"\nmedia-type=\"image/gif\" isEmbeded=\"true\"/>"
      "<opf:item href=\"BinData/image7.jpg\" media-type=\"image/jpg\" isEmbeded=\"1\"/>"
      "</opf:manifest>";
  WriteZip(Src(), {{"mimetype", kMime, true},
                   {"BinData/image1.bmp", "B1"},
                   {"BinData/image2.png", "P2"},
                   {"BinData/image3.jpg", "J3"},
                   {"BinData/image6.gif", "G6"},
                   {"BinData/image7.jpg", "J7"},
                   {"Contents/content.hpf", manifest}});
  // image2 (upper-case type, "10" embedded) and image5 (missing entry: empty file) are
  // handed on; "<opf:item\n" is not an item tag, so image6 is not; image1 lacks
  // isEmbeded and image7 lacks its id; image4 is linked. image3's "image/jpeg" is a
  // type the classic rules do not know.
  for (const bool classic : {true, false}) {
    SCOPED_TRACE(classic ? "classic" : "all passes");
    options.classic = classic;
    fake.calls.clear();
    ASSERT_TRUE(Shrink(Src(), Dst()).success);
    std::vector<std::string> bytes;
    for (const auto& call : fake.calls) bytes.push_back(call.bytes);
    const std::vector<std::string> expected =
        classic ? std::vector<std::string>{"P2", ""} : std::vector<std::string>{"P2", "J3", ""};
    ASSERT_EQ(bytes, expected);
    EXPECT_EQ(fake.calls[0].number, 2);
    EXPECT_EQ(fake.calls[0].extension, "png");
    EXPECT_EQ(fake.calls.back().size, 0);
    // No picture is replaced: the manifest comes out as it was.
    std::optional<std::vector<ZipItem>> target = ReadZip(Dst());
    ASSERT_TRUE(target);
    EXPECT_EQ(target->back().bytes, manifest);
  }
}

TEST_F(HwpxTest, ReplacedPictureGetsANewEntryAndItemTag) {
  const std::string manifest =
      "<opf:manifest>\r\n  <opf:item id=\"image3\" href=\"BinData/image3.bmp\" "
      "media-type=\"image/bmp\" isEmbeded=\"1\" hashkey=\"abc=\"/>\r\n"
      "  <opf:item id=\"image5\" href=\"BinData/image5.jpg\" media-type=\"image/jpg\" "
      "isEmbeded=\"1\"></opf:item>\r\n</opf:manifest>";
  WriteZip(Src(), {{"mimetype", kMime, true},
                   {"BinData/image3.bmp", std::string(500, 'B')},
                   {"BinData/image5.jpg", std::string(300, 'J'), true},
                   {"Contents/section0.xml", "<x/>"},
                   {"Contents/content.hpf", manifest}});
  fake.rules[std::string(500, 'B')] = {PictureKind::kPng, std::string(100, 'p')};
  fake.rules[std::string(300, 'J')] = {PictureKind::kJpeg, std::string(200, 'j')};
  const std::string rewritten =
      "<opf:manifest>\r\n  <opf:item id=\"image3\" href=\"BinData/image3.png\" "
      "media-type=\"image/png\" isEmbeded=\"1\"/>\r\n"
      "  <opf:item id=\"image5\" href=\"BinData/image5.jpg\" media-type=\"image/jpg\" "
      "isEmbeded=\"1\"></opf:item>\r\n</opf:manifest>";
  struct Layout {
    bool classic;
    std::vector<std::string> names;
  };
  const Layout layouts[] = {
      // Replaced entries leave their places; folder entries and new pictures follow in
      // the order they were added ("Contents/" comes with the manifest, after the walk).
      {true,
       {"mimetype", "Contents/section0.xml", "Contents/content.hpf", "BinData/",
        "BinData/image3.png", "BinData/image5.jpg", "Contents/"}},
      // Otherwise each new picture takes its old entry's place.
      {false,
       {"mimetype", "BinData/image3.png", "BinData/image5.jpg", "Contents/section0.xml",
        "Contents/content.hpf"}},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.classic ? "classic" : "all passes");
    options.classic = layout.classic;
    ASSERT_TRUE(Shrink(Src(), Dst()).success);
    std::optional<std::vector<ZipItem>> target = ReadZip(Dst());
    ASSERT_TRUE(target);
    std::map<std::string, std::string> bytes;
    std::vector<std::string> names;
    for (const ZipItem& item : *target) {
      names.push_back(item.name);
      bytes[item.name] = item.bytes;
    }
    EXPECT_EQ(names, layout.names);
    EXPECT_EQ(bytes["BinData/image3.png"], std::string(100, 'p'));
    EXPECT_EQ(bytes["BinData/image5.jpg"], std::string(200, 'j'));
    EXPECT_EQ(bytes["Contents/content.hpf"], rewritten);
  }
}

// The account of the pictures names each picture item as the manifest does, in its
// order, with the entry it ends up in, its sizes and why it is as it is; items that
// are no pictures are counted in the index but not listed.
TEST_F(HwpxTest, ResultAccountsForEveryPictureItemInManifestOrder) {
  const std::string manifest =
      "<opf:item id=\"section0\" href=\"Contents/section0.xml\" media-type=\"application/xml\"/>"
      "<opf:item id=\"image1\" href=\"BinData/image1.bmp\" media-type=\"image/bmp\" isEmbeded=\"1\"/>"
      "<opf:item id=\"image2\" href=\"BinData/image2.jpg\" media-type=\"image/jpg\" isEmbeded=\"1\"/>"
      "<opf:item id=\"image3\" href=\"BinData/gone.png\" media-type=\"image/png\" isEmbeded=\"1\"/>"
      "<opf:item id=\"image4\" href=\"BinData/image4.gif\" media-type=\"image/gif\" isEmbeded=\"1\"/>";
  WriteZip(Src(), {{"mimetype", kMime, true},
                   {"BinData/image1.bmp", std::string(500, 'B')},
                   {"BinData/image2.jpg", std::string(300, 'J')},
                   {"BinData/image4.gif", "GIF89a" + std::string(44, 'G')},
                   {"Contents/section0.xml", "<x/>"},
                   {"Contents/content.hpf", manifest}});
  fake.rules[std::string(500, 'B')] = {PictureKind::kPng, std::string(100, 'p')};
  fake.rules[std::string(300, 'J')] = {PictureKind::kJpeg, std::string(400, 'j')};
  const ProcessorResult result = Shrink(Src(), Dst());
  ASSERT_TRUE(result.success);

  struct Row {
    int index;
    std::string name, targetName;
    std::optional<PictureKind> kindOut;
    int64_t before, after;
    PictureDecision decision;
  };
  const Row rows[] = {
      {2, "BinData/image1.bmp", "BinData/image1.png", PictureKind::kPng, 500, 100,
       PictureDecision::kRewritten},
      // The processor's larger file is refused by the size rule.
      {3, "BinData/image2.jpg", "BinData/image2.jpg", std::nullopt, 300, 300,
       PictureDecision::kNotSmaller},
      {4, "BinData/gone.png", "BinData/gone.png", std::nullopt, -1, -1,
       PictureDecision::kEntryUnreadable},
      {5, "BinData/image4.gif", "BinData/image4.gif", PictureKind::kGif, 50, 50,
       PictureDecision::kNotSmaller},
  };
  ASSERT_EQ(result.pictures.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const PictureRecord& record = result.pictures[i];
    EXPECT_EQ(record.index, rows[i].index);
    EXPECT_EQ(record.name, rows[i].name);
    EXPECT_EQ(record.targetName, rows[i].targetName);
    EXPECT_EQ(record.kindOut, rows[i].kindOut) << record.name;
    EXPECT_EQ(record.bytesBefore, rows[i].before) << record.name;
    EXPECT_EQ(record.bytesAfter, rows[i].after) << record.name;
    EXPECT_EQ(record.decision, rows[i].decision) << record.name;
  }
}

// Whatever one picture's processing throws, on whichever worker, that picture keeps its
// bytes with one log line, and the others are still rewritten.
TEST_F(HwpxTest, PictureThatThrowsKeepsItsBytesAndTheDocumentGoesOn) {
  WorkerPool pool(4);
  struct Case {
    std::function<void()> raise;
    const char* line;
  };
  const Case cases[] = {
      {[] { throw std::bad_alloc(); },
       "processing embedded failed (out of memory), original file is to be written"},
      {[] { throw std::runtime_error("cannot go on"); },
       "processing embedded failed (cannot go on), original file is to be written"},
      {[] { throw 42; }, "processing embedded failed (unknown error), original file is to be written"},
  };
  for (const Case& c : cases) {
    std::vector<HwpxPicture> pictures = {
        {"image1", "BinData/image1.bmp", "image/bmp", std::string(500, 'T')}};
    for (int i = 2; i <= 6; ++i) {
      pictures.push_back({"image" + std::to_string(i), "BinData/image" + std::to_string(i) + ".bmp",
                          "image/bmp", std::string(500, 'B')});
    }
    WriteZip(Src(), testing::MakeHwpxItems(pictures));
    fake.rules[std::string(500, 'B')] = {PictureKind::kPng, std::string(100, 'p')};
    PictureProcessor inner = fake.Processor();
    PictureProcessor throwing = [&](const EmbeddedPicture& picture, const ShrinkOptions& options,
                                    velmora::LogLines& log, TempFiles& files) {
      if (ReadFile(picture.sourcePath) == std::string(500, 'T')) c.raise();
      return inner(picture, options, log, files);
    };
    ASSERT_TRUE(ShrinkHwpxWith(Src(), Dst(), ShrinkOptions{}, log, temp, &host, throwing, &pool)
                    .success);
    const std::optional<std::vector<ZipItem>> target = ReadZip(Dst());
    ASSERT_TRUE(target);
    std::map<std::string, std::string> entries;
    for (const ZipItem& item : *target) entries[item.name] = item.bytes;
    EXPECT_EQ(entries["BinData/image1.bmp"], std::string(500, 'T'));
    for (int i = 2; i <= 6; ++i) {
      EXPECT_EQ(entries["BinData/image" + std::to_string(i) + ".png"], std::string(100, 'p')) << i;
    }
    const std::vector<std::string> lines = LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), c.line), 1) << c.line;
  }
}

TEST_F(HwpxTest, ReplacementNeverOverwritesAnotherPicture) {
  // image3.bmp would become image3.png, which another item still uses.
  const std::string manifest =
      "<opf:item id=\"image3\" href=\"BinData/image3.bmp\" media-type=\"image/bmp\" isEmbeded=\"1\"/>"
      "<opf:item id=\"image9\" href=\"BinData/image3.png\" media-type=\"image/png\" isEmbeded=\"1\"/>"
      "<opf:item id=\"image4\" href=\"BinData/image4.bmp\" media-type=\"image/bmp\" isEmbeded=\"1\"/>";
  WriteZip(Src(), {{"mimetype", kMime, true},
                   {"BinData/image3.bmp", std::string(500, 'A')},
                   {"BinData/image3.png", "KEEP"},
                   {"BinData/image4.bmp", std::string(500, 'C')},
                   {"Contents/content.hpf", manifest}});
  fake.rules[std::string(500, 'A')] = {PictureKind::kPng, "new-a"};
  fake.rules[std::string(500, 'C')] = {PictureKind::kPng, "new-c"};
  ASSERT_TRUE(Shrink(Src(), Dst()).success);
  std::optional<std::vector<ZipItem>> target = ReadZip(Dst());
  ASSERT_TRUE(target);
  std::map<std::string, std::string> entries;
  for (const ZipItem& item : *target) entries[item.name] = item.bytes;
  EXPECT_EQ(entries["BinData/image3.png"], "KEEP");
  EXPECT_EQ(entries["BinData/image4.png"], "new-a");
  EXPECT_EQ(entries["BinData/image5.png"], "new-c");
  EXPECT_EQ(entries.count("BinData/image3.bmp") + entries.count("BinData/image4.bmp"), 0u);
  const std::string hpf = entries["Contents/content.hpf"];
  EXPECT_NE(hpf.find("id=\"image3\" href=\"BinData/image4.png\""), std::string::npos) << hpf;
  EXPECT_NE(hpf.find("id=\"image4\" href=\"BinData/image5.png\""), std::string::npos) << hpf;
  EXPECT_NE(hpf.find("href=\"BinData/image3.png\" media-type=\"image/png\""), std::string::npos);
}

TEST_F(HwpxTest, RewrittenFilesNotSmallerAreNotUsed) {
  WriteZip(Src(), testing::MakeHwpxItems({{"image1", "BinData/image1.png", "image/png", "12345"},
                                          {"image2", "BinData/image2.png", "image/png", "abcde"}}));
  fake.rules["12345"] = {PictureKind::kPng, "54321"};  // same size
  fake.rules["abcde"] = {PictureKind::kPng, ""};       // empty
  ASSERT_TRUE(Shrink(Src(), Dst()).success);
  std::optional<std::vector<ZipItem>> source = ReadZip(Src());
  std::optional<std::vector<ZipItem>> target = ReadZip(Dst());
  ASSERT_TRUE(source && target);
  for (size_t i = 0; i < source->size(); ++i) EXPECT_EQ((*target)[i].bytes, (*source)[i].bytes);
}

// Never larger. A package this program wrote has nothing more to give: run again, it
// comes out byte for byte as it was. A picture that shrinks but whose entry deflates
// worse than the old one's makes a larger package: the source's bytes are used then,
// and the account of the pictures says that none was rewritten.
TEST_F(HwpxTest, PackageThatCannotShrinkComesOutAsItsSourceBytes) {
  auto noise = [](size_t length) {
    std::string bytes;
    for (uint32_t i = 0, seed = 3; i < length; ++i, seed = seed * 1103515245u + 12345u) {
      bytes += static_cast<char>(seed >> 24);
    }
    return bytes;
  };
  WriteZip(Src(), testing::MakeHwpxItems(
                      {{"image1", "BinData/image1.png", "image/png", std::string(500, 'B')},
                       {"image2", "BinData/image2.png", "image/png", noise(4000)}}));
  const std::string once = dir.File("once.hwpx");
  ASSERT_TRUE(Shrink(Src(), once).success);
  ASSERT_LT(ReadFile(once).size(), ReadFile(Src()).size());
  struct Row {
    const char* name;
    std::string replacement;  // of the 500-byte picture; empty: kept
    int keptLines;            // "the target was not smaller" lines in the log so far
  };
  const Row rows[] = {{"NothingMoreToGain", "", 0},
                      {"SmallerPictureLargerPackage", std::string(100, 'p') + noise(60), 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fake.rules.clear();
    if (!row.replacement.empty()) {
      fake.rules[std::string(500, 'B')] = {PictureKind::kPng, row.replacement};
    }
    const ProcessorResult result = Shrink(once, Dst());
    ASSERT_TRUE(result.success);
    EXPECT_EQ(ReadFile(Dst()), ReadFile(once));
    // The account says so too: no picture of the target was rewritten.
    for (const PictureRecord& record : result.pictures) {
      EXPECT_NE(record.decision, PictureDecision::kRewritten) << record.name;
      EXPECT_EQ(record.targetName, record.name);
      EXPECT_EQ(record.bytesAfter, record.bytesBefore);
    }
    const std::vector<std::string> lines = LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "the target was not smaller: the source's bytes kept"),
              row.keptLines);
  }
}

TEST_F(HwpxTest, ArchiveWriteFailureWritesNoTargetAndKeepsTheOldOne) {
  WriteZip(Src(), testing::MakeHwpxItems({{"image1", "BinData/image1.png", "image/png", std::string(50, 'a')},
                                          {"image2", "BinData/image2.png", "image/png", std::string(50, 'b')}}));
  fake.rules[std::string(50, 'a')] = {PictureKind::kPng, "small-a"};
  fake.rules[std::string(50, 'b')] = {PictureKind::kPng, "small-b"};
  // The second picture's processing removes the first rewritten file, which the zip
  // library reads only when the archive is written.
  fake.deleteEarlierOutputs = true;
  WriteFile(Dst(), "previous target");
  ProcessorResult result = Shrink(Src(), Dst());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "HwpX 파일 쓰기 실패!\n(그림 교체 중 오류)");
  EXPECT_EQ(ReadFile(Dst()), "previous target");
  EXPECT_EQ(LogLines().back(), "writing the package failed!");
  EXPECT_EQ(host.events.back(), "hidden");
}

TEST_F(HwpxTest, TargetThatCannotBeWrittenLeavesNoPartialFile) {
  WriteZip(Src(), testing::MakeHwpxItems({}));
  ProcessorResult result = Shrink(Src(), dir.File("missing-folder/target.hwpx"));
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "파일 복사 실패!");
  EXPECT_EQ(host.events.back(), "hidden");
  // A folder in the target's place cannot be replaced; nothing is left beside it.
  ASSERT_EQ(::mkdir(Dst().c_str(), 0700), 0);
  EXPECT_EQ(Shrink(Src(), Dst()).message, "파일 복사 실패!");
  EXPECT_TRUE(testing::ListFolder(Dst()).empty());
  std::vector<std::string> expected = {"source.hwpx", "target.hwpx"};
  EXPECT_EQ(testing::ListFolder(dir.path()), expected);
}

TEST_F(HwpxTest, ExistingTargetIsReplacedWhole) {
  WriteZip(Src(), testing::MakeHwpxItems({}));
  WriteFile(Dst(), std::string(100000, 'x'));
  ASSERT_TRUE(Shrink(Src(), Dst()).success);
  ASSERT_TRUE(ReadZip(Dst()));
}

// How the manifest and the entries come out when items name one entry, or stand
// inside comments, CDATA sections and processing instructions: every item still
// names an entry (the replacement, shared, or the old entry, kept while an item that
// is not rewritten names it), and items inside such text are text.
struct ManifestCase {
  const char* name;
  std::string items;     // the manifest's body
  std::string expected;  // the target's manifest body
  std::vector<std::string> present, absent;
};

void PrintTo(const ManifestCase& c, std::ostream* os) { *os << c.name; }

class ManifestRewrites : public HwpxTest, public ::testing::WithParamInterface<ManifestCase> {};

TEST_P(ManifestRewrites, KeepEveryItemNamingAnEntry) {
  for (const bool classic : {true, false}) {
    SCOPED_TRACE(classic ? "classic" : "all passes");
    options.classic = classic;
    // Stored pictures, so that the rewritten package comes out smaller and is used.
    WriteZip(Src(), {{"mimetype", kMime, true},
                     {"BinData/image1.bmp", std::string(500, 'B'), true},
                     {"BinData/image2.bmp", std::string(400, 'C'), true},
                     {"Contents/content.hpf", GetParam().items}});
    fake.rules[std::string(500, 'B')] = {PictureKind::kPng, std::string(100, 'p')};
    fake.rules[std::string(400, 'C')] = {PictureKind::kPng, std::string(100, 'q')};
    ASSERT_TRUE(Shrink(Src(), Dst()).success);
    const std::optional<std::vector<ZipItem>> target = ReadZip(Dst());
    ASSERT_TRUE(target);
    std::map<std::string, std::string> entries;
    for (const ZipItem& item : *target) entries[item.name] = item.bytes;
    EXPECT_EQ(entries["Contents/content.hpf"], GetParam().expected);
    for (const std::string& name : GetParam().present) EXPECT_EQ(entries.count(name), 1u) << name;
    for (const std::string& name : GetParam().absent) EXPECT_EQ(entries.count(name), 0u) << name;
  }
}

std::string Item(const char* id, const char* href, const char* type, const char* embedded) {
  return Format("<opf:item id=\"%s\" href=\"BinData/%s\" media-type=\"image/%s\" isEmbeded=\"%s\"/>",
                id, href, type, embedded);
}

std::vector<ManifestCase> ManifestCases() {
  const std::string bmp1 = Item("image1", "image1.bmp", "bmp", "1");
  const std::string png1 = Item("image1", "image1.png", "png", "1");
  const std::string linked = Item("image3", "image1.bmp", "bmp", "0");
  const std::string hidden = Item("image9", "image2.bmp", "bmp", "1");
  std::vector<ManifestCase> cases = {
      {"TwoItemsShareTheNewEntry", bmp1 + Item("image2", "image1.bmp", "bmp", "1"),
       png1 + Item("image2", "image1.png", "png", "1"), {"BinData/image1.png"}, {"BinData/image1.bmp"}},
      {"KeptItemAfterKeepsTheOldEntry", bmp1 + linked, png1 + linked,
       {"BinData/image1.png", "BinData/image1.bmp"}, {}},
      {"KeptItemBeforeKeepsTheOldEntry", linked + bmp1, linked + png1,
       {"BinData/image1.png", "BinData/image1.bmp"}, {}},
  };
  for (const auto& [name, open, close] : {std::tuple{"Comment", "<!-- ", " -->"},
                                          {"CData", "<![CDATA[", "]]>"},
                                          {"Instruction", "<?note ", "?>"}}) {
    const std::string text = open + hidden + close;
    cases.push_back({name, text + bmp1, text + png1, {"BinData/image1.png", "BinData/image2.bmp"},
                     {"BinData/image1.bmp", "BinData/image2.png"}});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, ManifestRewrites, ::testing::ValuesIn(ManifestCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Readers take the first or the last of two entries with one name, so no rewrite
// can keep what each shows: such a package is refused, and no target is written.
TEST_F(HwpxTest, PackageWithARepeatedEntryNameIsRefused) {
  WriteZip(Src(), testing::MakeHwpxItems({{"image1", "BinData/image1.png", "image/png", "FIRST"},
                                          {"image2", "BinData/image2.png", "image/png", "OTHER"}}));
  // The second name becomes the first one's in the local header and the directory.
  std::string bytes = ReadFile(Src());
  for (size_t at = bytes.find("BinData/image2.png"); at != std::string::npos;
       at = bytes.find("BinData/image2.png", at)) {
    bytes.replace(at, 18, "BinData/image1.png");
  }
  WriteFile(Src(), bytes);
  const ProcessorResult result = Shrink(Src(), Dst());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "HwpX 파일 손상!\n(같은 이름의 항목이 둘 이상 있음)");
  EXPECT_EQ(LogLines().back(), "entry `BinData/image1.png` appears more than once in the package!");
  EXPECT_FALSE(testing::FileExists(Dst()));
  EXPECT_TRUE(fake.calls.empty());
}

// Every real package of the corpus: with all pictures kept, the target holds the
// source's entries in order with their bytes and storage, the manifest re-added with
// the same content, the source stays as it was, and the log walks every item.
TEST(HwpxCorpus, EveryPackageComesOutWithItsEntriesIntact) {
  VELMORA_REQUIRE_CORPUS();
  std::vector<std::string> files = testing::CorpusFiles("hwpx", {".hwpx"});
  ASSERT_FALSE(files.empty());
  // Beside the package: is it sound, is "mimetype" still first and stored, and is no entry
  // stored larger than in the source (python's own zip reader, not ours).
  const std::string check =
      "import sys,zipfile\n"
      "s,t=zipfile.ZipFile(sys.argv[1]),zipfile.ZipFile(sys.argv[2])\n"
      "assert t.testzip() is None\n"
      "f=lambda z:(z.infolist()[0].filename,z.infolist()[0].compress_type)\n"
      "assert f(s)!=('mimetype',0) or f(t)==('mimetype',0)\n"
      "i=t.infolist()\n"
      "old={e.filename:e for e in s.infolist()}\n"
      "bad=[e.filename for e in i if e.filename in old and "
      "e.compress_size>old[e.filename].compress_size]\n"
      "assert not bad, bad\n";
  int processed = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    if (ReadFile(file).rfind("PK\x03\x04", 0) != 0) {
      // A binary word-processor file with a .hwpx name: not a package.
      continue;
    }
    for (const bool classic : {true, false}) {
      SCOPED_TRACE(classic ? "classic" : "all passes");
      TempDir dir;
      TempDir tmp;
      TempFiles temp(true, tmp.path());
      ProcessLog log;
      log.Open(temp.NewName("log.md", false));
      FakeProcessor fake;
      const std::string before = ReadFile(file);
      ShrinkOptions options;
      options.classic = classic;
      options.extraOptimisers = false;  // zopflipng on every preview takes minutes
      ProcessorResult result = ShrinkHwpxWith(file, dir.File("out.hwpx"), options, log, temp,
                                              nullptr, fake.Processor());
      ASSERT_TRUE(result.success) << result.message;
      EXPECT_EQ(ReadFile(file), before);
      processed += classic ? 1 : 0;

      std::optional<std::vector<ZipItem>> source = ReadZip(file);
      std::optional<std::vector<ZipItem>> target = ReadZip(dir.File("out.hwpx"));
      ASSERT_TRUE(source && target);
      // The classic package may gain folder entries at its end; otherwise it has the
      // same entries, and only a picture that no item names may change, when smaller.
      if (!classic) {
        ASSERT_EQ(target->size(), source->size());
      }
      ASSERT_GE(target->size(), source->size());
      for (size_t i = 0; i < source->size(); ++i) {
        const ZipItem& was = (*source)[i];
        const ZipItem& is = (*target)[i];
        EXPECT_EQ(is.name, was.name);
        if (is.bytes == was.bytes) continue;
        const bool picture = !classic && (is.name.ends_with(".png") || is.name.ends_with(".jpg") ||
                                          is.name.ends_with(".gif"));
        EXPECT_TRUE(picture && is.bytes.size() < was.bytes.size()) << was.name;
      }
      for (size_t i = source->size(); i < target->size(); ++i) {
        EXPECT_TRUE((*target)[i].directory) << (*target)[i].name;
      }
      if (!classic) {
        EXPECT_LE(ReadFile(dir.File("out.hwpx")).size(), before.size());
        testing::CommandResult checked = testing::RunCommand(
            "/usr/bin/python3 -c " + testing::ShellQuote(check) + " " + testing::ShellQuote(file) +
            " " + testing::ShellQuote(dir.File("out.hwpx")) + " 2>&1");
        EXPECT_EQ(checked.status, 0) << checked.out;
      }

      std::vector<std::string> lines;
      for (const std::string& line : testing::ReadLogLines(log.Path())) {
        lines.push_back(WithoutStamp(line));
      }
      ASSERT_GE(lines.size(), 7u);
      EXPECT_EQ(lines[0], "**Velmora process LOG**");
      int items = 0;
      ASSERT_EQ(std::sscanf(lines[5].c_str(), "*%d <opf:item> tag(s) found*", &items), 1);
      int processing = 0, nothing = 0;
      for (const std::string& line : lines) {
        processing += line.rfind("*processing embedded #", 0) == 0;
        nothing += line == "nothing to do";
      }
      EXPECT_EQ(processing, items);
      EXPECT_EQ(nothing, items);
    }
  }
  EXPECT_GE(processed, 40);
}

}  // namespace
}  // namespace velmora
