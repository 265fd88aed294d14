#include "core/job.h"

#include <cmath>
#include <cstring>

#include "core/log.h"
#include "core/temp_files.h"
#include "core/text.h"
#include "document/hwpml.h"
#include "document/hwpx.h"
#include "platform/platform.h"

namespace velmora {

const char kMessageSamePaths[] = "Src/Dst 파일명이 동일함";
const char kMessageNotADocument[] = "한/글 표준문서(HWPX) 또는 HWPML 파일이 아님!";
const char kMessageBinaryDocument[] =
    "한/글 표준문서(HWPX) 또는 HWPML 파일이 아님!\n(HWP 파일은 HWPX로 다시 저장하기 바랍니다)";

void SetTaskbarState(JobHost* host, int state) {
  if (host != nullptr) host->OnTaskbarState(state);
}

void SetTaskbarProgress(JobHost* host, uint64_t done, uint64_t total) {
  if (host != nullptr) host->OnTaskbarProgress(done, total);
}

DocumentForm DetectDocumentForm(const std::string& path) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return {};
  unsigned char b[8];
  if (std::fread(b, 1, sizeof b, file.get()) != sizeof b) return {};
  switch (b[0]) {
    case 'P':
      if (b[1] == 'K' && b[2] == 0x03 && b[3] == 0x04) return {true, kFormHwpx};
      break;
    case '<':
      if (b[1] == '?') return {true, kFormHwpml};
      break;
    case 0xEF:
      if (b[1] == 0xBB && b[2] == 0xBF && b[3] == '<' && b[4] == '?') return {true, kFormHwpml};
      break;
    case 'H':
      if (std::memcmp(b, "HWP Docu", 8) == 0) return {false, kFormHwpBinary};
      break;
    case 0xD0: {
      const unsigned char compound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
      if (std::memcmp(b, compound, 8) == 0) return {false, kFormCompound};
      break;
    }
    default:
      break;
  }
  return {};
}

double SavedPercent(int32_t sourceSize, int32_t targetSize) {
  // A source that cannot be measured gives no percentage rather than a division by
  // zero.
  if (sourceSize <= 0) return 0.0;
  double ratio = (static_cast<double>(sourceSize) - static_cast<double>(targetSize)) /
                 static_cast<double>(sourceSize) * 10000.0;
  return static_cast<double>(static_cast<int64_t>(std::trunc(ratio))) * 0.01;
}

std::string FormatElapsed(double elapsedMilliseconds) {
  auto elapsed = static_cast<int64_t>(elapsedMilliseconds + 0.5);
  int64_t seconds = elapsed / 1000;
  int64_t minutes = seconds / 60;
  if (minutes != 0) {
    return Format("%lld:%02lld.%03lld", static_cast<long long>(minutes),
                  static_cast<long long>(seconds % 60), static_cast<long long>(elapsed % 1000));
  }
  return Format("%lld.%03lld", static_cast<long long>(seconds),
                static_cast<long long>(elapsed % 1000));
}

std::string FormatSummary(int32_t sourceSize, int32_t targetSize, int failedInflations,
                          double elapsedMilliseconds) {
  std::string summary = Format("작업 완료: %dKB → %dKB, %.2f%% 감소", sourceSize / 1000,
                               targetSize / 1000, SavedPercent(sourceSize, targetSize));
  if (failedInflations != 0) {
    summary += Format("\n%d개의 압축된 이미지 압축 해제 실패, \"그림 압축하기\" 해제를 권고함",
                      failedInflations);
  }
  summary += Format("\n(%s)", FormatElapsed(elapsedMilliseconds).c_str());
  return summary;
}

namespace {

// True when both texts name the same document: equal ignoring case, or, when both
// exist, the same file under another spelling (a link, "./a" against "a").
bool IsSameDocument(const std::string& source, const std::string& target) {
  return EqualsIgnoreCase(source, target) || platform::SameFile(source, target);
}

}  // namespace

bool RunShrinkJob(const std::string& sourceText, const std::string& targetText,
                  const ShrinkOptions& options, JobHost& host) {
  const double start = platform::MonotonicMilliseconds();
  SetTaskbarState(&host, kTaskbarNoProgress);
  const std::string source = Trim(sourceText);
  const std::string target = Trim(targetText);

  if (IsSameDocument(source, target)) {
    host.ShowMessage(kMessageSamePaths, true);
    return false;
  }
  DocumentForm form = DetectDocumentForm(source);
  if (!form.accepted) {
    host.ShowMessage(form.form != kFormUnknown ? kMessageBinaryDocument : kMessageNotADocument, true);
    return false;
  }

  bool success = false;
  {
    CTempFiles temp(!options.keepTempFiles);
    {
      CCreateLog log;
      std::string logPath = temp.NewName("log.md", false);
      log.Open(logPath);
      host.revealLogPath = options.keepTempFiles ? logPath : std::string();
      temp.Register(logPath);

      int failedInflations = 0;
      ProcessorResult result;
      if (form.form == kFormHwpml) {
        result = ShrinkHwpml(source, target, options, log, temp, &host, failedInflations);
      } else {
        result = ShrinkHwpx(source, target, options, log, temp, &host);
      }

      if (!result.success) {
        host.ShowMessage(result.message, true);
      } else {
        int32_t sourceSize = GetFileSize32(source);
        int32_t targetSize = GetFileSize32(target);
        log.Write(form.form == kFormHwpml ? "*writing HWPML finished!*" : "*writing HWPX finished!*",
                  true);
        double elapsed = platform::MonotonicMilliseconds() - start;
        host.ShowMessage(FormatSummary(sourceSize, targetSize, failedInflations, elapsed), false);
        SetTaskbarState(&host, kTaskbarNoProgress);
        success = true;
      }
    }  // the log is released before the temporary files are removed
  }
  return success;
}

}  // namespace velmora
