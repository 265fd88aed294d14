#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "cli/console.h"

namespace velmora {
namespace {

using cli::Console;

// The sizes in the progress line and in a dry run's total.
TEST(ConsoleText, ByteTextPicksTheUnitAndKeepsTheSign) {
  struct Row {
    int64_t bytes;
    const char* text;
  };
  const Row rows[] = {
      {0, "0 B"},           {999, "999 B"},         {1000, "1.0 KB"},
      {12499, "12.5 KB"},   {999949, "999.9 KB"},   {999950, "1.0 MB"},
      {1234567, "1.2 MB"},  {-5, "-5 B"},           {-2048, "-2.0 KB"},
      {-3500000, "-3.5 MB"},
  };
  for (const Row& row : rows) EXPECT_EQ(Console::ByteText(row.bytes), row.text) << row.bytes;
}

TEST(ConsoleText, TallyAndStatusLine) {
  EXPECT_EQ(Console::TallyText("tree/sub/a.hwpx", {3, 5, 2048}), "a.hwpx 3/5, 2.0 KB saved");
  EXPECT_EQ(Console::StatusLine({{0, "a 1/2"}, {1, "b 0/3"}}, 79), "a 1/2 | b 0/3");
  EXPECT_EQ(Console::StatusLine({{0, "abcdefghij"}}, 8), "abcde...");
}

}  // namespace
}  // namespace velmora
