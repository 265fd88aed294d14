#pragma once
// What the HWPML processor tests share: a run in a fresh folder with a recording
// host, and stand-in picture handlers that recognise pictures by their first bytes
// and "shrink" them into small files of a chosen kind.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/job_host.h"
#include "core/process_log.h"
#include "core/temp_files.h"
#include "core/text.h"
#include "document/hwpml.h"
#include "support/hwpml_builder.h"
#include "support/test_support.h"

namespace velmora::hwpml_test {

inline std::string Filler(size_t length, char seed) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(seed + i * 7 + (i >> 5));
  return bytes;
}
inline std::string Png(size_t length = 600, char seed = 1) {
  return "\x89PNG\r\n\x1A\n" + Filler(length, seed);
}
inline std::string Jpeg(size_t length = 600, char seed = 2) {
  return "\xFF\xD8\xFF\xE0" + Filler(length, seed);
}
inline std::string Bmp(size_t length = 600, char seed = 3) { return "BM" + Filler(length, seed); }
inline std::string Webp(size_t length = 600) {
  return std::string("RIFF\x10\0\0\0WEBPVP8 ", 16) + Filler(length, 4);
}

// Content test like the real one: 1 BMP, 2 GIF, 3 PNG, 4 JPEG, 0 unknown.
inline int DetectByMagic(const std::string& path) {
  const std::string head = testing::ReadFile(path).substr(0, 8);
  if (head.rfind("BM", 0) == 0) return 1;
  if (head.rfind("GIF8", 0) == 0) return 2;
  if (head.rfind("\x89PNG", 0) == 0) return 3;
  if (head.rfind("\xFF\xD8", 0) == 0) return 4;
  return 0;
}

class FakePictures {
 public:
  // Detected kind (1..4) to output kind (0 keep, 1 GIF, 2 PNG, 3 JPEG).
  std::map<int, int> outputFor;
  struct Seen {
    int number;
    std::string bytes;
    int32_t originalSize;
    std::string extension;
  };
  std::vector<Seen> seen;
  // Runs once, before the picture is processed (to disturb the source, for example).
  std::function<void()> sideEffect;

  // The kind numbers of this fixture are the picture kinds' positions (0 BMP, 1 GIF,
  // 2 PNG, 3 JPEG); DetectByMagic counts from 1 so that 0 can mean unknown.
  PictureHandlers Handlers() {
    auto detect = [](const std::string& path) -> std::optional<PictureKind> {
      const int kind = DetectByMagic(path);
      if (kind == 0) return std::nullopt;
      return static_cast<PictureKind>(kind - 1);
    };
    return {detect, [this](const EmbeddedPicture& picture, const ShrinkOptions&, LogLines&,
                           TempFiles& temp) -> PictureOutcome {
              if (sideEffect) std::exchange(sideEffect, nullptr)();
              const std::string bytes = testing::ReadFile(picture.sourcePath);
              seen.push_back({picture.number, bytes, picture.originalSize,
                              picture.sourcePath.substr(picture.sourcePath.rfind('.') + 1)});
              const int kind = DetectByMagic(picture.sourcePath);
              const int output = outputFor.count(kind) ? outputFor.at(kind) : 0;
              if (output == 0) return PictureOutcome::Keep(PictureDecision::kNotSmaller);
              const auto outputKind = static_cast<PictureKind>(output);
              const std::string path = temp.NewName(ExtensionOf(outputKind), false);
              temp.Register(path);
              testing::WriteFile(path, Shrunk(output, picture.number));
              return PictureOutcome::Replace(outputKind, path);
            }};
  }
  // What a fake rewritten picture of an item holds.
  static std::string Shrunk(int outputKind, int number) {
    static const char* const kMagic[] = {"BM", "GIF89a", "\x89PNG\r\n\x1A\n", "\xFF\xD8\xFF\xDB"};
    return std::string(kMagic[outputKind]) + "shrunk#" + std::to_string(number);
  }
};

class RecordingHost : public JobHost {
 public:
  void ShowMessage(const std::string& text, bool failure) override {
    messages.push_back(text);
    failures.push_back(failure);
  }
  void OnProgressState(ProgressState state) override {
    events.push_back(state == ProgressState::kHidden ? "hidden" : "running");
  }
  void OnProgress(uint64_t done, uint64_t total) override {
    events.push_back(std::to_string(done) + "/" + std::to_string(total));
  }
  std::vector<std::string> messages;
  std::vector<bool> failures;
  std::vector<std::string> events;
};

class HwpmlRunTest : public ::testing::Test {
 protected:
  HwpmlRunTest() : temp_(true, MakeTempFolder()) { log_.Open(dir_.File("log.md")); }

  ProcessorResult Run(const std::string& document) {
    testing::WriteFile(source_, document);
    return RunOnSource();
  }
  ProcessorResult RunOnSource() {
    return ShrinkHwpmlWith(source_, target_, options_, log_, temp_, &host_, failed_,
                           pictures_.Handlers());
  }

  // Log lines without their time stamps.
  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    for (const std::string& line : testing::ReadLogLines(dir_.File("log.md"))) {
      lines.push_back(testing::WithoutStamp(line));
    }
    return lines;
  }
  bool Logged(const std::string& line) const {
    std::vector<std::string> lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::string Target() const { return testing::ReadFile(target_); }
  bool TargetExists() const { return testing::FileExists(target_); }
  // Files in the test folder other than the fixed ones: left-over partial targets.
  std::vector<std::string> Strays() const {
    std::vector<std::string> strays;
    for (const std::string& name : testing::ListFolder(dir_.path())) {
      if (name != "doc.hml" && name != "doc(pack).hml" && name != "log.md" && name != "tmp") {
        strays.push_back(name);
      }
    }
    return strays;
  }

  std::string MakeTempFolder() {
    const std::string folder = dir_.File("tmp");
    testing::RunCommand("mkdir -p " + testing::ShellQuote(folder));
    return folder;
  }

  testing::TempDir dir_;
  TempFiles temp_;
  ProcessLog log_;
  RecordingHost host_;
  ShrinkOptions options_;
  FakePictures pictures_;
  int failed_ = -7;
  std::string source_ = dir_.File("doc.hml");
  std::string target_ = dir_.File("doc(pack).hml");
};

}  // namespace velmora::hwpml_test
