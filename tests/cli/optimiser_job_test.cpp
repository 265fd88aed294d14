// Whole jobs run by a copy of the command-line program whose folder holds a stand-in
// for each optimiser, which the program looks for before the ones on PATH. Every way
// a tool can fail must leave a complete job and a target with the right pictures.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/worker_pool.h"
#include "image/pixel_buffer.h"
#include "image/png_codec.h"
#include "support/hwpml_builder.h"
#include "support/independent_decoder.h"
#include "support/picture_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::ShellQuote;
using testing::TempDir;
using testing::WriteFile;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Korean names with spaces everywhere a path goes: program, tools, documents and the
// temporary folder.
const char kWithTools[] = "프로그램 폴더 (도구)";
const char kWithoutTools[] = "프로그램 폴더";

struct SamplePicture {
  const char* name;
  const char* extension;
  std::string bytes;
};

std::vector<SamplePicture> Pictures() {
  return {{"image1", "png", testing::GradientPng(kWidth, kHeight, 0)},
          {"image2", "bmp", testing::GradientBmp(kWidth, kHeight, 24)},
          {"image3", "gif", testing::StripedGif(kWidth, kHeight)},
          {"image4", "gif", testing::MovingSquareGif(kWidth, kHeight, 4)}};
}
constexpr size_t kAnimated = 3;

void Install(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  WriteFile(to, ReadFile(from));
  ASSERT_EQ(::chmod(to.c_str(), 0755), 0);
}

// The outcome of one job: its exit status and output, its log lines without time
// stamps, and the target's pictures in document order.
struct JobOutcome {
  int status = -1;
  std::string out;
  std::vector<std::string> log;
  std::vector<std::string> pictures;
};

class OptimiserJobs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    Install(VELMORA_CLI_PATH, Folder(kWithTools) + "/velmora");
    Install(VELMORA_STANDIN_PATH, Folder(kWithTools) + "/tools/zopflipng/zopflipng");
    Install(VELMORA_STANDIN_PATH, Folder(kWithTools) + "/tools/giflossy/gifsicle");
    Install(VELMORA_CLI_PATH, Folder(kWithoutTools) + "/velmora");
    std::filesystem::create_directories(Folder("빈 경로"));
    std::filesystem::create_directories(Folder("문서 모음"));
    // What a tool that answers with another picture writes: a complete, small PNG of the
    // pictures' size in other colours, and a still GIF of the animation's screen.
    std::filesystem::create_directories(Folder("다른 그림"));
    // Smaller than the pictures, but not so small that it is no picture to the content
    // test.
    Picture other;
    other.width = kWidth;
    other.height = kHeight;
    other.bitsPerPixel = 24;
    other.pixels = AllocatePixels(kWidth, kHeight, 3);
    for (int i = 0; i < kWidth * kHeight; ++i) {
      other.pixels[i * 3] = static_cast<uint8_t>(i % kWidth * 4);
      other.pixels[i * 3 + 1] = static_cast<uint8_t>(i / kWidth * 5);
      other.pixels[i * 3 + 2] = static_cast<uint8_t>((i * 2654435761u) >> 28);
    }
    const std::string otherPng = Folder("다른 그림") + "/other.png";
    ASSERT_TRUE(WritePng(otherPng, other, "", 9));
    ASSERT_GT(ReadFile(otherPng).size(), 200u);
    WriteFile(Folder("다른 그림") + "/other.gif", testing::StripedGif(kWidth, kHeight));

    std::vector<testing::HwpxPicture> items;
    testing::HmlDocument hml;
    int number = 0;
    for (const SamplePicture& picture : Pictures()) {
      const std::string extension = picture.extension;
      items.push_back({picture.name, "BinData/" + std::string(picture.name) + "." + extension,
                       "image/" + extension, picture.bytes, "1"});
      ++number;
      hml.items.push_back(testing::ItemTag(number, extension));
      hml.data.push_back(testing::DataElement(number, picture.bytes));
    }
    testing::WriteZip(Document("hwpx"), testing::MakeHwpxItems(items));
    WriteFile(Document("hml"), hml.Build());
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static std::string Folder(const std::string& name) { return dir_->File(name); }
  static std::string Document(const std::string& form) {
    return Folder("문서 모음") + "/보고서 1." + form;
  }

  // Runs one job with the stand-ins in the mode; extra holds further options.
  static JobOutcome RunJob(const std::string& program, const std::string& form,
                           const std::string& mode, const std::string& extra = "") {
    const std::string temp = Folder("임시 폴더 " + mode);
    std::filesystem::create_directories(temp);
    const std::string target = Folder("문서 모음") + "/결과 " + mode + "." + form;
    const std::string command =
        "VELMORA_STANDIN_PNG=" + ShellQuote(Folder("다른 그림") + "/other.png") +
        " VELMORA_STANDIN_GIF=" + ShellQuote(Folder("다른 그림") + "/other.gif") +
        " VELMORA_STANDIN_MODE=" + mode + " VELMORA_STANDIN_ARGS=" +
        ShellQuote(temp + "/arguments") + " TMPDIR=" + ShellQuote(temp) +
        " PATH=" + ShellQuote(Folder("빈 경로")) + " " + ShellQuote(Folder(program) + "/velmora") +
        " -k " + extra + " -o " + ShellQuote(target) + " " + ShellQuote(Document(form)) + " 2>&1";
    testing::CommandResult result = testing::RunCommand(command);
    JobOutcome outcome;
    outcome.status = result.status;
    outcome.out = result.out;
    const size_t at = result.out.find("log: ");
    if (at != std::string::npos) {
      const std::string path = result.out.substr(at + 5, result.out.find('\n', at) - at - 5);
      for (const std::string& line : testing::ReadLogLines(path)) {
        outcome.log.push_back(testing::WithoutStamp(line));
      }
    }
    outcome.pictures = TargetPictures(target, form);
    return outcome;
  }

  static std::vector<std::string> TargetPictures(const std::string& target,
                                                 const std::string& form) {
    std::vector<std::string> pictures;
    if (form == "hml") {
      auto parsed = testing::ParseHmlForTest(ReadFile(target));
      EXPECT_TRUE(parsed) << target;
      if (parsed) {
        for (const auto& data : parsed->data) pictures.push_back(data.bytes);
      }
      return pictures;
    }
    auto entries = testing::ReadZip(target);
    EXPECT_TRUE(entries) << target;
    if (!entries) return pictures;
    std::vector<testing::ZipItem> images;
    for (const testing::ZipItem& item : *entries) {
      if (item.name.rfind("BinData/image", 0) == 0) images.push_back(item);
    }
    std::sort(images.begin(), images.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const testing::ZipItem& item : images) pictures.push_back(item.bytes);
    return pictures;
  }

  // The lines logged for the animated picture (the last GIF), after its kind line.
  static std::vector<std::string> AnimatedLines(const std::vector<std::string>& log) {
    auto isGif = [](const std::string& line) {
      return line.rfind("embedded ", 0) == 0 && line.size() > 7 &&
             line.compare(line.size() - 7, 7, " is GIF") == 0;
    };
    auto at = std::find_if(log.rbegin(), log.rend(), isGif).base();
    if (at == log.begin()) return {};
    std::vector<std::string> lines;
    // Up to the decision, which ends the picture's own lines.
    for (; at != log.end(); ++at) {
      lines.push_back(*at);
      if (at->find("file is to be written") != std::string::npos) break;
    }
    return lines;
  }

  // What a tool that writes nothing leaves: every picture as the program wrote it.
  static const JobOutcome& Reference(const std::string& form) {
    static std::map<std::string, JobOutcome> references;
    if (references.count(form) == 0) references[form] = RunJob(kWithTools, form, "nothing");
    return references[form];
  }

  static TempDir* dir_;
};

TempDir* OptimiserJobs::dir_ = nullptr;

// Each target picture is a complete picture of the source's size; the lossless ones
// show the source's pixels; the animated one is the original.
void ExpectSoundPictures(const std::vector<std::string>& pictures, const std::string& what) {
  const std::vector<SamplePicture> sources = Pictures();
  ASSERT_EQ(pictures.size(), sources.size()) << what;
  const std::string gradient = testing::GradientRgb(kWidth, kHeight);
  for (size_t i = 0; i < sources.size(); ++i) {
    if (i == kAnimated) {
      EXPECT_EQ(pictures[i], sources[i].bytes) << what;
      continue;
    }
    EXPECT_EQ(pictures[i].substr(0, 4), "\x89PNG") << what << " " << i;
    EXPECT_LT(pictures[i].size(), sources[i].bytes.size()) << what << " " << i;
    TempDir dir;
    WriteFile(dir.File("p.png"), pictures[i]);
    auto decoded = testing::DecodeWithPil(dir.File("p.png"));
    ASSERT_TRUE(decoded) << what << " " << i;
    EXPECT_EQ(decoded->width, kWidth);
    EXPECT_EQ(decoded->height, kHeight);
    if (i > 1) continue;
    for (size_t p = 0; p < static_cast<size_t>(kWidth * kHeight); ++p) {
      ASSERT_EQ(decoded->rgba.substr(p * 4, 3), gradient.substr(p * 3, 3)) << what << " " << i;
    }
  }
}

class StandInMode : public OptimiserJobs, public ::testing::WithParamInterface<const char*> {};

TEST_P(StandInMode, JobCompletesWithTheWrittenPicturesOrTheOriginals) {
  for (const std::string form : {"hwpx", "hml"}) {
    const JobOutcome& reference = Reference(form);
    ASSERT_EQ(reference.status, 0) << reference.out;
    ExpectSoundPictures(reference.pictures, form + " nothing");

    const JobOutcome outcome = RunJob(kWithTools, form, GetParam());
    EXPECT_EQ(outcome.status, 0) << outcome.out;
    EXPECT_EQ(outcome.out.rfind("작업 완료: ", 0), 0u) << outcome.out;
    ExpectSoundPictures(outcome.pictures, form + " " + GetParam());
    EXPECT_EQ(outcome.pictures, reference.pictures) << form;
    EXPECT_EQ(AnimatedLines(outcome.log),
              (std::vector<std::string>{"frame count > 1, trying GIFsicle",
                                        "original file is to be written"}))
        << form;
  }
}

INSTANTIATE_TEST_SUITE_P(Tools, StandInMode,
                         ::testing::Values("copy", "garbage", "truncated", "noisy", "killed",
                                           "crash", "other"));

TEST_F(OptimiserJobs, StandInsAreStartedWithTheToolsCommandLines) {
  // One worker: the pictures in document order, so the last tool started is the GIF
  // optimiser, for the animated picture.
  const JobOutcome outcome = RunJob(kWithTools, "hwpx", "copy", "-j 1");
  ASSERT_EQ(outcome.status, 0) << outcome.out;
  const std::string arguments = ReadFile(Folder("임시 폴더 copy") + "/arguments");
  EXPECT_EQ(arguments.rfind("-O3\n-o\n", 0), 0u) << arguments;
  EXPECT_NE(arguments.find("임시 폴더 copy/"), std::string::npos) << arguments;
}

// Two workers: one tool is killed halfway while another runs beside it; its picture
// keeps what the writer made, and the job goes on with every other picture.
TEST_F(OptimiserJobs, ToolKilledInOneWorkerLeavesTheOthersAlone) {
  const std::string marker = Folder("killed marker");
  ::setenv("VELMORA_STANDIN_MARKER", marker.c_str(), 1);
  for (const std::string form : {"hwpx", "hml"}) {
    std::filesystem::remove(marker);
    const JobOutcome outcome = RunJob(kWithTools, form, "killfirst", "-j 2");
    EXPECT_EQ(outcome.status, 0) << outcome.out;
    EXPECT_TRUE(testing::FileExists(marker)) << "no tool was killed";
    ExpectSoundPictures(outcome.pictures, form + " killfirst");
    EXPECT_EQ(outcome.pictures, Reference(form).pictures) << form;
  }
  ::unsetenv("VELMORA_STANDIN_MARKER");
}

// Tools that never end, in one worker and in two: each picture's tool is stopped by
// that picture's own budget, the line saying so stands among that picture's lines,
// and every picture is what the program wrote before the tool.
TEST_F(OptimiserJobs, HangingToolsAreStoppedByEachPicturesOwnBudget) {
  for (const int workers : {1, 2}) {
    // Two workers on one core would share it, and each budget would grow to 2 s.
    const std::string seconds = workers > WorkerPool::CoreCount() ? "2" : "1";
    const std::string pngLine = "zopflipng stopped after its time budget of " + seconds +
                                " s, the PNG written before it is used";
    const std::string gifLine = "gifsicle stopped after its time budget of " + seconds +
                                " s, original file is to be written";
    const std::string jobs = "-j " + std::to_string(workers);
    const JobOutcome outcome = RunJob(kWithTools, "hwpx", "hang", "--tool-time 1 " + jobs);
    ASSERT_EQ(outcome.status, 0) << outcome.out;
    EXPECT_EQ(outcome.pictures, Reference("hwpx").pictures) << jobs;
    EXPECT_EQ(std::count(outcome.log.begin(), outcome.log.end(), pngLine), 3) << jobs;
    const std::vector<std::string> animated = AnimatedLines(outcome.log);
    EXPECT_EQ(animated, (std::vector<std::string>{"frame count > 1, trying GIFsicle", gifLine}))
        << jobs;
  }
}

TEST_F(OptimiserJobs, SwitchOffStartsNoToolAndKeepsTheAnimation) {
  const JobOutcome outcome = RunJob(kWithTools, "hwpx", "off", "--no-optimisers");
  ASSERT_EQ(outcome.status, 0) << outcome.out;
  EXPECT_FALSE(testing::FileExists(Folder("임시 폴더 off") + "/arguments"));
  ExpectSoundPictures(outcome.pictures, "switch off");
  EXPECT_EQ(AnimatedLines(outcome.log),
            std::vector<std::string>{"frame count > 1, original file is to be written"});
}

TEST_F(OptimiserJobs, NoUsableToolKeepsTheAnimationAndWritesThePngsAtFullCompression) {
  const JobOutcome without = RunJob(kWithoutTools, "hwpx", "notool");
  ASSERT_EQ(without.status, 0) << without.out;
  ExpectSoundPictures(without.pictures, "no tool");
  EXPECT_EQ(AnimatedLines(without.log),
            (std::vector<std::string>{"frame count > 1, trying GIFsicle",
                                      "frame count > 1, original file is to be written"}));
  // The PNGs are written as with the switch off, and as when a tool writes nothing:
  // the writer's own compression does not depend on the tool.
  const JobOutcome off = RunJob(kWithTools, "hwpx", "off9", "--no-optimisers");
  EXPECT_EQ(without.pictures, off.pictures);
  EXPECT_EQ(Reference("hwpx").pictures[1], without.pictures[1]);
}

}  // namespace
}  // namespace velmora
