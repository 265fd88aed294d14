#include <gtest/gtest.h>

#include "job/summary.h"

namespace velmora {
namespace {

TEST(Summary, CutsPercentAndFormatsTime) {
  EXPECT_EQ(FormatSummary(2345678, 1234567, 0, 5002.0),
            "작업 완료: 2345KB → 1234KB, 47.36% 감소\n(5.002)");
  EXPECT_EQ(FormatSummary(10000, 10499, 0, 999.0), "작업 완료: 10KB → 10KB, -4.99% 감소\n(0.999)");
  EXPECT_EQ(FormatSummary(10000, 5000, 3, 61234.0),
            "작업 완료: 10KB → 5KB, 50.00% 감소\n3개의 압축된 이미지 압축 해제 실패, "
            "\"그림 압축하기\" 해제를 권고함\n(1:01.234)");
  // A source that cannot be measured gives 0 rather than a division by zero.
  EXPECT_EQ(FormatSummary(-1, 500, 0, 0.0), "작업 완료: 0KB → 0KB, 0.00% 감소\n(0.000)");
  // Documents beyond 2 GiB keep their sizes.
  EXPECT_EQ(FormatSummary(2147484138, 26000, 0, 0.0),
            "작업 완료: 2147484KB → 26KB, 99.99% 감소\n(0.000)");
}

TEST(Summary, ResampledPicturesGetALineOfTheirOwn) {
  EXPECT_EQ(FormatSummary(10000, 5000, 0, 1000.0, ResampleTally{3, 123456, 150}),
            "작업 완료: 10KB → 5KB, 50.00% 감소\n그림 3개를 150ppi에 맞춰 줄임: 123KB 감소\n(1.000)");
  EXPECT_EQ(FormatSummary(10000, 5000, 2, 1000.0, ResampleTally{1, 999, 96}),
            "작업 완료: 10KB → 5KB, 50.00% 감소\n2개의 압축된 이미지 압축 해제 실패, "
            "\"그림 압축하기\" 해제를 권고함\n그림 1개를 96ppi에 맞춰 줄임: 0KB 감소\n(1.000)");
  // A density under which nothing was resampled says nothing.
  EXPECT_EQ(FormatSummary(10000, 5000, 0, 1000.0, ResampleTally{0, 0, 220}),
            "작업 완료: 10KB → 5KB, 50.00% 감소\n(1.000)");
}

TEST(Summary, ElapsedRoundsHalfUpToMilliseconds) {
  EXPECT_EQ(FormatElapsed(61234.0), "1:01.234");
  EXPECT_EQ(FormatElapsed(5002.0), "5.002");
  EXPECT_EQ(FormatElapsed(999.0), "0.999");
  EXPECT_EQ(FormatElapsed(999.5), "1.000");
  EXPECT_EQ(FormatElapsed(3599999.6), "60:00.000");
}

}  // namespace
}  // namespace velmora
