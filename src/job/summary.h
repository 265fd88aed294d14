#pragma once
// The summary a successful job shows: sizes before and after, the share saved, and
// the time taken.

#include <cstdint>
#include <string>

namespace velmora {

std::string FormatSummary(int64_t sourceSize, int64_t targetSize, int failedInflations,
                          double elapsedMilliseconds);
// "s.mmm", or "m:ss.mmm" from one minute on.
std::string FormatElapsed(double elapsedMilliseconds);
// (source - target) / source in hundredths of a percent, cut toward zero.
double SavedPercent(int64_t sourceSize, int64_t targetSize);

}  // namespace velmora
