// Documents with pictures of every kind shrunk by 1, 2 and 8 workers: the target and
// the process log must not depend on how many pictures ran at once or which finished
// first. The documents hold what a hostile one may: items inside comments, two items
// naming one entry, an animated PNG and a picture over the memory budget.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "job/shrink_job.h"
#include "support/hwpml_builder.h"
#include "support/jpeg_fixtures.h"
#include "support/picture_fixtures.h"
#include "support/png_builder.h"
#include "support/recording_host.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::TempDir;

struct Sample {
  const char* extension;
  std::string bytes;
};

// A list inside a comment, naming the first item (a bitmap) as it stands.
std::string HiddenList() {
  return "<!-- <BINDATALIST Count=\"1\">" + testing::ItemTag(1, "bmp") + "</BINDATALIST> -->";
}

// A gradient PNG with an animation control chunk in front of its image data.
std::string AnimatedPng(int width, int height) {
  std::string png = testing::GradientPng(width, height, 6);
  // After the signature and IHDR.
  png.insert(8 + 25, testing::EncodeChunk("acTL", testing::BigEndian32(2) +
                                                      testing::BigEndian32(0)));
  return png;
}

// Two of every kind the rules treat apart, small enough for a quick test.
std::vector<Sample> Samples() {
  testing::JpegLayout photo;
  photo.width = 96;
  photo.height = 64;
  photo.quality = 98;
  std::vector<Sample> samples;
  for (int round = 0; round < 2; ++round) {
    const int width = 48 + 16 * round;
    samples.push_back({"bmp", testing::GradientBmp(width, 40, 24)});
    samples.push_back({"bmp", testing::GradientBmp(width, 40, 32)});
    samples.push_back({"bmp", testing::StripedBmp(width, 40, 8)});
    samples.push_back({"png", testing::GradientPng(width, 40, 0)});
    samples.push_back({"gif", testing::StripedGif(width, 40)});
    samples.push_back({"gif", testing::MovingSquareGif(width, 40, 3)});
    samples.push_back({"jpg", testing::MakeJpeg(photo)});
    samples.push_back({"png", AnimatedPng(width, 40)});
  }
  // Over the budget of 16 MiB that the runs below give each picture.
  samples.push_back({"png", testing::GradientPng(1500, 1500, 6)});
  return samples;
}

// The source document of a form with every sample.
std::string WriteDocument(const TempDir& dir, const std::string& form) {
  const std::string path = dir.File("many." + form);
  std::vector<testing::HwpxPicture> items;
  testing::HmlDocument hml;
  int number = 0;
  for (const Sample& sample : Samples()) {
    ++number;
    const std::string name = "image" + std::to_string(number);
    items.push_back({name, "BinData/" + name + "." + sample.extension,
                     std::string("image/") + sample.extension, sample.bytes, "1"});
    hml.items.push_back(testing::ItemTag(number, sample.extension));
    hml.data.push_back(testing::DataElement(number, sample.bytes));
  }
  if (form == "hwpx") {
    // A later item names the first picture's entry as well, and a comment holds an
    // item of the second one: the first is shared, the second is text.
    items.push_back({"image99", items[0].href, items[0].mediaType, "", "1"});
    std::vector<testing::ZipItem> entries = testing::MakeHwpxItems(items);
    std::string& manifest = entries.back().bytes;
    manifest.insert(manifest.find("<opf:item "),
                    "<!-- <opf:item id=\"image2\" href=\"" + items[1].href +
                        "\" media-type=\"image/png\" isEmbeded=\"1\"/> -->");
    testing::WriteZip(path, entries);
  } else {
    // A list inside a comment in front of the real one.
    hml.prolog += HiddenList();
    testing::WriteFile(path, hml.Build());
  }
  return path;
}

struct JobRun {
  std::string target;
  std::vector<std::string> log;  // without stamps, the temporary files' tag masked
};

// The line with the temporary files' tag ("VL_" and four letters) masked: it is
// chosen at random for every job.
std::string MaskTag(std::string line) {
  for (size_t at = line.find("VL_"); at != std::string::npos; at = line.find("VL_", at + 3)) {
    if (at + 8 <= line.size() && line[at + 7] == '_') line.replace(at + 3, 4, "tag_");
  }
  return line;
}

// Every run uses the same folders and names, so that its log can be compared whole.
JobRun Shrink(const std::string& source, const TempDir& dir, int workers) {
  const std::string tmp = dir.File("tmp");
  std::filesystem::remove_all(tmp);
  std::filesystem::create_directory(tmp);
  ::setenv("TMPDIR", tmp.c_str(), 1);
  ShrinkOptions options;
  options.workers = workers;
  options.keepTempFiles = true;
  options.extraOptimisers = false;
  options.stampTime = 1767225600;
  options.memoryBudgetMiB = 16;
  testing::RecordingHost host;
  const std::string target = dir.File("out");
  const bool written = RunShrinkJob(source, target, options, host);
  ::unsetenv("TMPDIR");
  EXPECT_TRUE(written) << host.messages.front().text;
  JobRun run{testing::ReadFile(target), {}};
  std::filesystem::remove(target);
  for (const std::string& line : testing::ReadLogLines(host.revealLogPath)) {
    run.log.push_back(MaskTag(testing::WithoutStamp(line)));
  }
  return run;
}

class WorkerCounts : public ::testing::TestWithParam<const char*> {};

TEST_P(WorkerCounts, TargetAndLogDoNotDependOnHowManyPicturesRunAtOnce) {
  TempDir dir;
  const std::string source = WriteDocument(dir, GetParam());
  const JobRun one = Shrink(source, dir, 1);
  ASSERT_GT(one.log.size(), 50u);
  EXPECT_LT(one.target.size(), testing::ReadFile(source).size());
  auto count = [&one](const std::string& part) {
    return std::count_if(one.log.begin(), one.log.end(), [&part](const std::string& line) {
      return line.find(part) != std::string::npos;
    });
  };
  EXPECT_EQ(count("animated PNG (acTL), original file is to be written"), 2);
  EXPECT_EQ(count("over the memory budget of 16 MiB"), 1);
  if (std::string(GetParam()) == "hwpx") {
    EXPECT_EQ(count("for an earlier item: shared"), 1);
  } else {
    EXPECT_NE(one.target.find(HiddenList()), std::string::npos);
  }
  for (int workers : {2, 8}) {
    const JobRun many = Shrink(source, dir, workers);
    EXPECT_TRUE(many.target == one.target) << workers << " workers";
    EXPECT_EQ(many.log, one.log) << workers << " workers";
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, WorkerCounts, ::testing::Values("hwpx", "hml"));

}  // namespace
}  // namespace velmora
