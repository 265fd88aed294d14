#pragma once
// One picture handed to picture processing the way a document processor does it, in a
// fresh folder with its own log and temporary files.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "picture/picture_processing.h"
#include "support/test_support.h"

namespace velmora::testing {

class PictureProcessing : public ::testing::Test {
 protected:
  PictureProcessing() : temp_(true, dir_.File("temp")) {
    std::filesystem::create_directory(dir_.File("temp"));
    log_.Open(dir_.File("log.md"));
  }

  // originalSize -2: the size of the bytes. Returns the kind of the replacement,
  // nothing when the original stays; the whole outcome is kept in outcome_.
  std::optional<PictureKind> Process(const std::string& bytes, int number = 0,
                                     int32_t originalSize = -2) {
    const std::string source = dir_.File("source");
    WriteFile(source, bytes);
    picture_ = EmbeddedPicture{};
    picture_.number = number;
    picture_.sourcePath = source;
    picture_.originalSize = originalSize == -2 ? GetFileSize32(source) : originalSize;
    picture_.uses = uses_;
    outcome_ = ProcessPicture(picture_, options_, log_, temp_);
    return outcome_.replacement;
  }

  // The lines logged so far, without their time stamps; every line must have one.
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (const std::string& line : ReadLogLines(dir_.File("log.md"))) {
      EXPECT_EQ(line.rfind("* [", 0), 0u) << line;
      lines.push_back(WithoutStamp(line));
    }
    return lines;
  }

  std::string Finished() const { return "writing `" + outcome_.rewrittenPath + "` finished"; }

  TempDir dir_;
  TempFiles temp_;
  ProcessLog log_;
  ShrinkOptions options_;
  PictureUses uses_;  // where the document shows the picture, for options_.ppi
  EmbeddedPicture picture_;
  PictureOutcome outcome_;
};

}  // namespace velmora::testing
