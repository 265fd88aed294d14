#include "job/summary.h"

#include <cmath>

#include "core/text.h"
#include "job/messages.h"

namespace velmora {

double SavedPercent(int64_t sourceSize, int64_t targetSize) {
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

std::string FormatSummary(int64_t sourceSize, int64_t targetSize, int failedInflations,
                          double elapsedMilliseconds, const ResampleTally& resampled) {
  // Sizes are measured in 64 bits, so that a document beyond 2 GiB is not shown with a
  // negative size; in kilobytes they fit the message's numbers.
  std::string summary = Format(job_text::kSummary, static_cast<int>(sourceSize / 1000),
                               static_cast<int>(targetSize / 1000),
                               SavedPercent(sourceSize, targetSize));
  if (failedInflations != 0) summary += Format(job_text::kFailedInflations, failedInflations);
  if (resampled.pictures > 0) {
    summary += Format(job_text::kResampled, resampled.pictures, resampled.ppi,
                      static_cast<int>(resampled.savedBytes / 1000));
  }
  summary += Format(job_text::kElapsed, FormatElapsed(elapsedMilliseconds).c_str());
  return summary;
}

}  // namespace velmora
