#include <gtest/gtest.h>

#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::ShellQuote;
using testing::TempDir;

const std::string kSamples = std::string(VELMORA_SOURCE_DIR) + "/samples";

// The committed samples are exactly what the generator makes, so they can always be
// rebuilt and never drift from their description.
TEST(Samples, CommittedDocumentsMatchTheGenerator) {
  TempDir dir;
  testing::CommandResult made =
      testing::RunCommand(ShellQuote(VELMORA_SAMPLES_GENERATOR) + " " + ShellQuote(dir.path()));
  ASSERT_EQ(made.status, 0);
  EXPECT_EQ(ReadFile(dir.File("sample.hwpx")), ReadFile(kSamples + "/sample.hwpx"));
  EXPECT_EQ(ReadFile(dir.File("sample.hml")), ReadFile(kSamples + "/sample.hml"));
}

TEST(Samples, PackageHoldsTheFivePicturesWithMimetypeFirstAndStored) {
  std::optional<std::vector<testing::ZipItem>> items = testing::ReadZip(kSamples + "/sample.hwpx");
  ASSERT_TRUE(items);
  ASSERT_FALSE(items->empty());
  EXPECT_EQ((*items)[0].name, "mimetype");
  EXPECT_TRUE((*items)[0].stored);
  std::vector<std::string> pictures;
  for (const testing::ZipItem& item : *items) {
    if (item.name.rfind("BinData/", 0) == 0) pictures.push_back(item.name);
  }
  std::vector<std::string> expected = {"BinData/image1.jpg", "BinData/image2.bmp",
                                       "BinData/image3.png", "BinData/image4.gif",
                                       "BinData/image5.gif"};
  EXPECT_EQ(pictures, expected);
}

TEST(Samples, CommandLineShrinksTheBundledPackage) {
  TempDir dir;
  testing::CommandResult result =
      testing::RunCommand(ShellQuote(VELMORA_CLI_PATH) + " -o " + ShellQuote(dir.File("out.hwpx")) +
                          " " + ShellQuote(kSamples + "/sample.hwpx") + " 2>&1");
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out.rfind("작업 완료: ", 0), 0u) << result.out;
  EXPECT_TRUE(testing::ReadZip(dir.File("out.hwpx")));
}

}  // namespace
}  // namespace velmora
