#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "picture/picture_processing.h"
#include "image/jpeg_codec.h"
#include "support/independent_decoder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::CorpusFiles;
using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;

std::vector<std::string> CorpusJpegs() {
  std::vector<std::string> files = CorpusFiles("img/jpeg", {".jpg", ".jpeg"});
  for (const std::string& file : CorpusFiles("large", {".jpg"})) files.push_back(file);
  return files;
}

// Corpus pictures that must keep their bytes, and why. Every other one must decode.
const std::map<std::string, std::string>& KeptPictures() {
  static const std::map<std::string, std::string> kept = {
      {"pillow_Tests_images_pil_sample_cmyk.jpg", "CMYK"},
      {"pillow_Tests_images_truncated_jpeg.jpg", "the file ends inside the scan"},
      {"pillow_Tests_images_ultrahdr.jpg", "the file ends inside the scan"},
      {"pillow_Tests_images_hopper_bad_exif.jpg", "bad Huffman codes in the scan"},
      {"ljt_testimages_monkey12.jpg", "12-bit samples, which the 8-bit library refuses"},
  };
  return kept;
}

// Pictures whose rewritten file differs from the source in ways that are intended.
struct Difference {
  std::set<std::string> droppedTags;
  bool profileDropped = false;
  const char* reason;
};
const std::map<std::string, Difference>& Differences() {
  static const std::map<std::string, Difference> differences = {
      {"pillow_Tests_images_multiple_exif.jpg",
       {{"IFD0:ImageDescription"}, false,
        "the EXIF block continues in a second APP1 segment, which the other reader joins; "
        "only the first segment is the block, and the value beyond it is dropped"}},
      {"pillow_Tests_images_jfif_unit_cm.jpg",
       {{"IFD0:ImageDescription"}, false, "as multiple_exif"}},
      {"pillow_Tests_images_icc-after-SOF.jpg",
       {{}, true, "two ICC chunks both numbered 1 of 1: inconsistent, so no profile"}},
  };
  return differences;
}

std::string Name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// EXIF tags an independent reader finds, "Group:Tag" to value: IFD0 and its sub-IFDs
// and the maker notes. IFD1 (the thumbnail) is dropped on purpose, and segments other
// than EXIF (XMP, IPTC, ...) are not carried over by re-encoding.
std::multimap<std::string, std::string> ExifTags(const std::string& path) {
  const testing::CommandResult result =
      RunCommand("exiftool -a -G0:1 -n -s -s " + ShellQuote(path) + " 2>&1");
  std::multimap<std::string, std::string> tags;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(':');
    const size_t close = line.find("] ");
    const size_t separator = line.find(": ", close);
    if (line.empty() || line[0] != '[' || close == std::string::npos ||
        separator == std::string::npos) {
      continue;
    }
    const std::string family0 = line.substr(1, colon - 1);
    const std::string group = line.substr(colon + 1, close - colon - 1);
    if ((family0 != "EXIF" && family0 != "MakerNotes") || group == "IFD1") continue;
    const std::string name = line.substr(close + 2, separator - close - 2);
    // Positions of data in the file are reported counted from the file's start; the
    // EXIF segment's own position in the file differs after rewriting.
    auto endsWith = [&](const std::string& suffix) {
      return name.size() >= suffix.size() &&
             name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (endsWith("Start") || endsWith("Offset") || endsWith("Offsets")) continue;
    tags.emplace(group + ":" + name, line.substr(separator + 2));
  }
  return tags;
}

std::string IccBytes(const std::string& path) {
  return RunCommand("exiftool -b -ICC_Profile " + ShellQuote(path)).out;
}

class JpegCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(JpegCorpus, ReencodedPictureKeepsItsSizeMetadataAndProfile) {
  VELMORA_REQUIRE_CORPUS();
  const std::string source = GetParam();
  TempDir dir;
  std::filesystem::create_directory(dir.File("temp"));
  TempFiles temp(true, dir.File("temp"));
  ProcessLog log;
  log.Open(dir.File("log.md"));
  EmbeddedPicture picture;
  picture.sourcePath = source;
  picture.originalSize = GetFileSize32(source);
  ShrinkOptions options;
  const PictureOutcome outcome = ProcessPicture(picture, options, log, temp);
  const std::optional<PictureKind> kind = outcome.replacement;
  std::vector<std::string> lines;
  for (const std::string& line : testing::ReadLogLines(dir.File("log.md"))) {
    lines.push_back(testing::WithoutStamp(line));
  }
  ASSERT_GE(lines.size(), 2u);

  const auto kept = KeptPictures().find(Name(source));
  if (kept != KeptPictures().end()) {
    EXPECT_EQ(kind, std::nullopt);
    EXPECT_EQ(lines[1], "reading embedded failed. original file is to be written") << kept->second;
    EXPECT_EQ(outcome.rewrittenPath, "");
    return;
  }
  ASSERT_NE(lines[1], "reading embedded failed. original file is to be written");
  EXPECT_EQ(kind == PictureKind::kJpeg, lines.back() == "rewritten file is to be written");

  // The rewritten file decodes completely, for us and for an independent decoder.
  Picture original, rewritten;
  ASSERT_TRUE(HasPicture(ReadJpeg(source, original)));
  EXPECT_EQ(ReadJpeg(outcome.rewrittenPath, rewritten), ReadStatus::kComplete);
  EXPECT_EQ(rewritten.width, original.width);
  EXPECT_EQ(rewritten.height, original.height);
  const auto decoded = testing::DecodeWithPil(outcome.rewrittenPath);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->width, original.width);
  EXPECT_EQ(decoded->height, original.height);

  const auto difference = Differences().find(Name(source));
  const bool profileDropped = difference != Differences().end() && difference->second.profileDropped;
  EXPECT_EQ(IccBytes(outcome.rewrittenPath), profileDropped ? "" : IccBytes(source));

  const auto after = ExifTags(outcome.rewrittenPath);
  EXPECT_EQ(after.count("IFD0:Software"), 1u);
  if (lines[1] == "creating exif...") {
    // A new block only where the other reader finds no EXIF either.
    EXPECT_EQ(ExifTags(source).size(), 0u);
    return;
  }
  ASSERT_EQ(lines[1], "modifing exif...");
  static const std::set<std::string> edited = {
      "IFD0:Software",        "IFD0:ModifyDate",        "ExifIFD:DateTimeOriginal",
      "ExifIFD:CreateDate",   "ExifIFD:ExifImageWidth", "ExifIFD:ExifImageHeight",
      "IFD0:XResolution",     "IFD0:YResolution",       "IFD0:ResolutionUnit"};
  std::multimap<std::string, std::string> missing;
  for (const auto& [tag, value] : ExifTags(source)) {
    if (edited.count(tag)) continue;
    if (difference != Differences().end() && difference->second.droppedTags.count(tag)) continue;
    bool found = false;
    for (auto [it, end] = after.equal_range(tag); it != end && !found; ++it) found = it->second == value;
    if (!found) missing.emplace(tag, value);
  }
  std::string report;
  for (const auto& [tag, value] : missing) report += "  " + tag + ": " + value.substr(0, 80) + "\n";
  EXPECT_TRUE(missing.empty()) << Name(source) << " lost or changed:\n" << report;
}

// What re-encoding at the default quality saves over the whole corpus, counting the
// original where it is kept. Printed for the record; no picture may grow.
TEST(JpegCorpusTotals, NoPictureGrowsAndTheSavingIsReported) {
  VELMORA_REQUIRE_CORPUS();
  TempDir dir;
  std::filesystem::create_directory(dir.File("temp"));
  TempFiles temp(true, dir.File("temp"));
  ProcessLog log;
  ShrinkOptions options;
  ASSERT_EQ(options.jpegQuality, 90u);
  int64_t before = 0, after = 0;
  int rewritten = 0;
  const std::vector<std::string> files = CorpusJpegs();
  for (const std::string& source : files) {
    EmbeddedPicture picture;
    picture.sourcePath = source;
    picture.originalSize = GetFileSize32(source);
    const PictureOutcome outcome = ProcessPicture(picture, options, log, temp);
    const int32_t size =
        outcome.Replaces() ? GetFileSize32(outcome.rewrittenPath) : picture.originalSize;
    EXPECT_LE(size, picture.originalSize) << Name(source);
    before += picture.originalSize;
    after += size;
    rewritten += outcome.replacement == PictureKind::kJpeg ? 1 : 0;
  }
  std::printf("corpus JPEGs: %zu files, %d rewritten, %lld bytes before, %lld after (%.1f%% saved)\n",
              files.size(), rewritten, static_cast<long long>(before), static_cast<long long>(after),
              before > 0 ? 100.0 * static_cast<double>(before - after) / static_cast<double>(before) : 0.0);
  RecordProperty("bytes_before", std::to_string(before));
  RecordProperty("bytes_after", std::to_string(after));
}

INSTANTIATE_TEST_SUITE_P(Files, JpegCorpus,
                         ::testing::ValuesIn(testing::CorpusCases(
                             {{"img/jpeg", {".jpg", ".jpeg"}}, {"large", {".jpg"}}})),
                         testing::CorpusCaseName);

}  // namespace
}  // namespace velmora
