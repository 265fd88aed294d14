#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "document/hwpx.h"
#include "image/jpeg_codec.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::HwpxPicture;
using testing::JpegLayout;
using testing::TempDir;
using testing::ZipItem;

// A package with one JPEG picture, run through the HWPX processor.
class JpegInHwpx : public ::testing::Test {
 protected:
  std::vector<ZipItem> Run(const std::string& jpeg, bool classic) {
    std::filesystem::create_directory(dir_.File("temp"));
    source_ = {"image1", "BinData/image1.jpg", "image/jpg", jpeg, "1"};
    sourceItems_ = testing::MakeHwpxItems({source_});
    // With its folders present the processor has no folder entries to add, so that
    // an unchanged package is one with the same entries.
    sourceItems_.insert(sourceItems_.begin() + 1, {{"Contents/", "", false, true},
                                                   {"BinData/", "", false, true}});
    testing::WriteZip(dir_.File("in.hwpx"), sourceItems_);
    TempFiles temp(true, dir_.File("temp"));
    ProcessLog log;
    log.Open(dir_.File("log.md"));
    ShrinkOptions options;
    options.classic = classic;
    const ProcessorResult result =
        ShrinkHwpx(dir_.File("in.hwpx"), dir_.File("out.hwpx"), options, log, temp, nullptr);
    EXPECT_TRUE(result.success) << result.message;
    auto items = testing::ReadZip(dir_.File("out.hwpx"));
    EXPECT_TRUE(items);
    return items ? *items : std::vector<ZipItem>{};
  }

  Picture Decode(const std::string& jpeg, const std::string& name) {
    testing::WriteFile(dir_.File(name), jpeg);
    Picture decoded;
    int status = -1;
    EXPECT_TRUE(testing::ReadWithStatus(ReadJpeg, dir_.File(name), decoded, status));
    EXPECT_EQ(status, static_cast<int>(ReadStatus::kComplete));
    return decoded;
  }
  size_t IndexOf(const std::vector<ZipItem>& items, const std::string& name) {
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].name == name) return i;
    }
    return items.size();
  }

  TempDir dir_;
  HwpxPicture source_;
  std::vector<ZipItem> sourceItems_;
};

std::string PixelBytes(const Picture& picture) {
  const size_t length = picture.PixelCount() * picture.bitsPerPixel / 8;
  return std::string(reinterpret_cast<const char*>(picture.pixels.get()), length);
}

std::string NoisyJpeg() {
  JpegLayout layout;
  layout.width = 80;
  layout.height = 64;
  layout.quality = 100;
  for (uint64_t i = 0; i < 80 * 64 * 3; ++i) layout.samples += static_cast<char>((i * 2654435761u) >> 24);
  return testing::MakeJpeg(layout);
}

TEST_F(JpegInHwpx, ShrunkPictureTakesItsNameAndTheItemIsRewritten) {
  // The classic rules append the new entry at the end; otherwise it takes the old
  // entry's place.
  for (const bool classic : {true, false}) {
    SCOPED_TRACE(classic ? "classic" : "all passes");
    const std::string jpeg = NoisyJpeg();
    const std::vector<ZipItem> items = Run(jpeg, classic);
    ASSERT_FALSE(items.empty());
    const size_t at = IndexOf(items, "BinData/image1.jpg");
    ASSERT_LT(at, items.size());
    EXPECT_EQ(at, classic ? items.size() - 1 : IndexOf(sourceItems_, "BinData/image1.jpg"));
    int copies = 0;
    for (const ZipItem& item : items) copies += item.name == "BinData/image1.jpg" ? 1 : 0;
    EXPECT_EQ(copies, 1);
    EXPECT_LT(items[at].bytes.size(), jpeg.size());
    EXPECT_EQ(Decode(items[at].bytes, "new.jpg").width, 80);

    const std::string& manifest = items[IndexOf(items, "Contents/content.hpf")].bytes;
    EXPECT_NE(manifest.find("<opf:item id=\"image1\" href=\"BinData/image1.jpg\" "
                            "media-type=\"image/jpg\" isEmbeded=\"1\"/>"),
              std::string::npos)
        << manifest;
    // Everything else is carried over as it was.
    for (const ZipItem& original : sourceItems_) {
      if (original.name == "BinData/image1.jpg" || original.name == "Contents/content.hpf") continue;
      const size_t copy = IndexOf(items, original.name);
      ASSERT_LT(copy, items.size()) << original.name;
      EXPECT_EQ(items[copy].bytes, original.bytes) << original.name;
    }
  }
}

TEST_F(JpegInHwpx, PictureThatDoesNotShrinkIsKeptOrTranscodedLosslessly) {
  JpegLayout layout;
  layout.quality = 20;
  const std::string jpeg = testing::MakeJpeg(layout);
  // The classic rules leave the package's entries as they were.
  const std::vector<ZipItem> classic = Run(jpeg, true);
  ASSERT_EQ(classic.size(), sourceItems_.size());
  for (size_t i = 0; i < classic.size(); ++i) {
    EXPECT_EQ(classic[i].name, sourceItems_[i].name);
    EXPECT_EQ(classic[i].bytes, sourceItems_[i].bytes) << classic[i].name;
  }
  // Otherwise the JPEG is transcoded without loss: smaller, the same pixels.
  const std::vector<ZipItem> items = Run(jpeg, false);
  ASSERT_EQ(items.size(), sourceItems_.size());
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].name, sourceItems_[i].name);
    if (items[i].name != "BinData/image1.jpg") {
      EXPECT_EQ(items[i].bytes, sourceItems_[i].bytes) << items[i].name;
      continue;
    }
    EXPECT_LT(items[i].bytes.size(), jpeg.size());
    const Picture before = Decode(jpeg, "before.jpg");
    const Picture after = Decode(items[i].bytes, "after.jpg");
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(PixelBytes(after), PixelBytes(before));
  }
}

}  // namespace
}  // namespace velmora
