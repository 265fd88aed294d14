// The version text in the window's title and the about box: major.minor, then a letter
// for builds 1 to 26; a version of 0.0 reads as the first release.

#include <gtest/gtest.h>

#include <string>

#include "core/version.h"
#include "image/jpeg_codec.h"

namespace velmora {
namespace {

struct VersionCase {
  unsigned major, minor, build;
  const char* text;
};

TEST(VersionText, LetterOnlyForBuildsOneToTwentySix) {
  const VersionCase cases[] = {
      {4, 0, 0, "4.0"},  {4, 0, 3, "4.0c"},  {2, 5, 1, "2.5a"},   {2, 5, 26, "2.5z"},
      {2, 5, 27, "2.5"}, {0, 1, 2, "0.1b"},  {10, 12, 0, "10.12"}, {0, 0, 0, "1.0"},
      {0, 0, 5, "1.0"},  {1, 0, 4000000000u, "1.0"},
  };
  for (const VersionCase& c : cases) {
    EXPECT_EQ(VersionText(c.major, c.minor, c.build), c.text)
        << c.major << "." << c.minor << "." << c.build;
  }
}

TEST(VersionText, ProgramVersionIsReadable) {
  const std::string text = GetVersionText();
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.find('.'), std::string::npos);
  EXPECT_NE(JpegLibraryText().find("jpeg"), std::string::npos);
}

}  // namespace
}  // namespace velmora
