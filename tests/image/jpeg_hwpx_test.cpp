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
  std::vector<ZipItem> Run(const std::string& jpeg) {
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
    const ProcessorResult result =
        ShrinkHwpx(dir_.File("in.hwpx"), dir_.File("out.hwpx"), options, log, temp, nullptr);
    EXPECT_TRUE(result.success) << result.message;
    auto items = testing::ReadZip(dir_.File("out.hwpx"));
    EXPECT_TRUE(items);
    return items ? *items : std::vector<ZipItem>{};
  }

  TempDir dir_;
  HwpxPicture source_;
  std::vector<ZipItem> sourceItems_;
};

std::string NoisyJpeg() {
  JpegLayout layout;
  layout.width = 80;
  layout.height = 64;
  layout.quality = 100;
  for (uint64_t i = 0; i < 80 * 64 * 3; ++i) layout.samples += static_cast<char>((i * 2654435761u) >> 24);
  return testing::MakeJpeg(layout);
}

TEST_F(JpegInHwpx, ShrunkPictureTakesTheOldEntrysPlaceAndTheItemIsRewritten) {
  const std::string jpeg = NoisyJpeg();
  const std::vector<ZipItem> items = Run(jpeg);
  ASSERT_EQ(items.size(), sourceItems_.size());
  // The new bytes replace the entry of the same name where it stood.
  size_t at = 0;
  int copies = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].name, sourceItems_[i].name);
    if (items[i].name == "BinData/image1.jpg") {
      ++copies;
      at = i;
    }
  }
  EXPECT_EQ(copies, 1);
  EXPECT_LT(items[at].bytes.size(), jpeg.size());
  testing::WriteFile(dir_.File("new.jpg"), items[at].bytes);
  Picture decoded;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, dir_.File("new.jpg"), decoded, status));
  EXPECT_EQ(status, static_cast<int>(ReadStatus::kComplete));
  EXPECT_EQ(decoded.width, 80);

  std::string manifest;
  for (const ZipItem& item : items) {
    if (item.name == "Contents/content.hpf") manifest = item.bytes;
  }
  EXPECT_NE(manifest.find("<opf:item id=\"image1\" href=\"BinData/image1.jpg\" "
                          "media-type=\"image/jpg\" isEmbeded=\"1\"/>"),
            std::string::npos)
      << manifest;
  // Everything else is carried over as it was.
  for (const ZipItem& original : sourceItems_) {
    if (original.name == "BinData/image1.jpg" || original.name == "Contents/content.hpf") continue;
    bool found = false;
    for (const ZipItem& item : items) found |= item.name == original.name && item.bytes == original.bytes;
    EXPECT_TRUE(found) << original.name;
  }
}

TEST_F(JpegInHwpx, PictureThatDoesNotShrinkLeavesThePackageUnchanged) {
  JpegLayout layout;
  layout.quality = 20;
  const std::string jpeg = testing::MakeJpeg(layout);
  const std::vector<ZipItem> items = Run(jpeg);
  ASSERT_EQ(items.size(), sourceItems_.size());
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].name, sourceItems_[i].name);
    EXPECT_EQ(items[i].bytes, sourceItems_[i].bytes) << items[i].name;
  }
}

}  // namespace
}  // namespace velmora
