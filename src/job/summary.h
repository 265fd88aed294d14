#pragma once
// The summary a successful job shows: sizes before and after, the share saved, and
// the time taken.

#include <cstdint>
#include <string>

namespace velmora {

// The pictures a job reduced to its printing density (--ppi), and the picture bytes
// they saved.
struct ResampleTally {
  int pictures = 0;
  int64_t savedBytes = 0;
  int ppi = 0;
};

// The resampled pictures get a line of their own, when there are any.
std::string FormatSummary(int64_t sourceSize, int64_t targetSize, int failedInflations,
                          double elapsedMilliseconds, const ResampleTally& resampled = {});
// "s.mmm", or "m:ss.mmm" from one minute on.
std::string FormatElapsed(double elapsedMilliseconds);
// (source - target) / source in hundredths of a percent, cut toward zero.
double SavedPercent(int64_t sourceSize, int64_t targetSize);

}  // namespace velmora
