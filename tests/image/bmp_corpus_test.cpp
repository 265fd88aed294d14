// Every bitmap of the shared corpus against independent decoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>

#include "image/bmp_reader.h"
#include "support/picture_compare.h"
#include "support/independent_decoder.h"
#include "support/magick_decoder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ComparePixels;
using testing::DecodedPicture;

enum class Outcome { kComplete, kPartial, kRefused };
enum class Reference {
  kNone,           // no decoder reads it this way; the reason says why
  kMagick,         // Pillow refuses or misreads it; ImageMagick is the reference
  kMagickColours,  // ImageMagick for red, green and blue; alpha differs as the reason says
  kSibling,        // the same picture stored plainly in another corpus file, read by Pillow
};

struct Exception {
  Outcome outcome;
  Reference reference;
  const char* reason;
  const char* sibling = nullptr;
};

// Files on which this reader and Pillow part ways on purpose. Every other file decodes
// to Pillow's pixels, or is refused (or read only partly, which keeps the original
// bytes) where Pillow refuses it.
const std::map<std::string, Exception>& Exceptions() {
  static const std::map<std::string, Exception> table = {
      {"pillow_Tests_images_bmp_b_badpalettesize.bmp",
       {Outcome::kComplete, Reference::kSibling,
        "a colour count of 305 million: the entries an 8-bit index can address are used "
        "and the pixels are read at the data offset; Pillow and ImageMagick refuse",
        "pillow_Tests_images_bmp_g_pal8.bmp"}},
      {"pillow_Tests_images_bmp_q_pal8oversizepal.bmp",
       {Outcome::kComplete, Reference::kSibling,
        "300 colour entries: the first 256 are used; Pillow and ImageMagick refuse",
        "pillow_Tests_images_bmp_g_pal8.bmp"}},
      {"pillow_Tests_images_bmp_b_badrle.bmp",
       {Outcome::kComplete, Reference::kNone,
        "runs that pass a row's end are cut at the row's end; Pillow and ImageMagick carry "
        "them on in their own ways"}},
      {"pillow_Tests_images_bmp_b_pal8badindex.bmp",
       {Outcome::kComplete, Reference::kNone,
        "indices past the 101-entry colour table read as black; Pillow pads its palette "
        "with a grey ramp and ImageMagick refuses"}},
      {"pillow_Tests_images_bmp_g_pal4rle.bmp",
       {Outcome::kComplete, Reference::kMagick,
        "Pillow misreads the absolute run that opens the last stored row"}},
      {"pillow_Tests_images_bmp_q_pal4rletrns.bmp",
       {Outcome::kComplete, Reference::kMagick,
        "Pillow misreads the last stored row; pixels the runs skip take colour 0"}},
      {"pillow_Tests_images_bmp_q_pal8rletrns.bmp",
       {Outcome::kComplete, Reference::kMagick,
        "Pillow misreads the last stored row; pixels the runs skip take colour 0"}},
      {"pillow_Tests_images_bmp_g_pal8v4.bmp",
       {Outcome::kRefused, Reference::kNone,
        "headers longer than 64 bytes are trusted only with the colour count left at 0"}},
      {"pillow_Tests_images_bmp_g_pal8v5.bmp",
       {Outcome::kRefused, Reference::kNone,
        "headers longer than 64 bytes are trusted only with the colour count left at 0"}},
      {"pillow_Tests_images_hopper_rle8_grayscale.bmp",
       {Outcome::kRefused, Reference::kNone,
        "headers longer than 64 bytes are trusted only when the image size covers the "
        "uncompressed rows, which a run-length picture's does not"}},
      {"pillow_Tests_images_bmp_g_rgb32bf.bmp",
       {Outcome::kComplete, Reference::kMagickColours,
        "with bit fields the alpha bits are those no colour mask claims, here the fourth "
        "byte, 0 throughout: the picture is transparent; ImageMagick ignores the byte and "
        "Pillow refuses the layout"}},
      {"pillow_Tests_images_bmp_q_rgb32h52.bmp",
       {Outcome::kComplete, Reference::kMagickColours,
        "bit fields inside a 52-byte header; alpha from the unclaimed fourth byte as in "
        "rgb32bf"}},
      {"pillow_Tests_images_bmp_q_rgb32bf-xbgr.bmp",
       {Outcome::kComplete, Reference::kMagickColours,
        "the colour masks leave the low byte unclaimed, so it is alpha (0 here); Pillow "
        "and ImageMagick ignore it"}},
      {"pillow_Tests_images_bmp_q_rgb32fakealpha.bmp",
       {Outcome::kComplete, Reference::kMagick,
        "a plain 32-bit bitmap whose fourth bytes are not all 0 keeps them as alpha; Pillow "
        "ignores them"}},
      {"pillow_Tests_images_bmp_q_rgba32.bmp",
       {Outcome::kComplete, Reference::kMagick, "Pillow refuses this bit-field layout"}},
      {"pillow_Tests_images_bmp_q_rgba32h56.bmp",
       {Outcome::kComplete, Reference::kMagick, "Pillow refuses the 56-byte header"}},
      {"pillow_Tests_images_bmp_q_rgb16-231.bmp",
       {Outcome::kComplete, Reference::kNone,
        "channel values are scaled as j × 255 / max (2 red bits: 3 → 255); ImageMagick "
        "shifts them (3 → 192) and Pillow refuses"}},
      {"pillow_Tests_images_bmp_q_rgb32-111110.bmp",
       {Outcome::kComplete, Reference::kNone,
        "11-, 11- and 10-bit channels scaled as j × 255 / max; ImageMagick rounds "
        "differently and Pillow refuses"}},
      {"pillow_Tests_images_bmp_q_rgba16-4444.bmp",
       {Outcome::kComplete, Reference::kNone,
        "16-bit pictures become 24-bit RGB: the alpha mask of the longer header is not "
        "used; Pillow refuses"}},
      {"pillow_Tests_images_mmap_error.bmp",
       {Outcome::kComplete, Reference::kNone,
        "the data offset points at the colour table and is taken as written; Pillow "
        "moves it past the table"}},
  };
  return table;
}

std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

class BmpCorpusTest : public ::testing::TestWithParam<std::string> {};

TEST_P(BmpCorpusTest, MatchesIndependentDecoders) {
  const std::string& path = GetParam();
  if (path.empty()) GTEST_SKIP() << "corpus absent";
  Picture bmp;
  int status = -1;
  const bool read = testing::ReadWithStatus(ReadBmp, path, bmp, status);
  const Outcome outcome = !read ? Outcome::kRefused
                                : status == 0 ? Outcome::kComplete : Outcome::kPartial;
  const std::optional<DecodedPicture> pil = testing::DecodeWithPil(path);
  auto compare = [&](const DecodedPicture& reference, bool coloursOnly = false) {
    return ComparePixels(bmp.width, bmp.height, bmp.bitsPerPixel, bmp.pixels.get(), reference,
                         coloursOnly);
  };

  const auto exception = Exceptions().find(Name(path));
  if (exception == Exceptions().end()) {
    if (pil) {
      ASSERT_EQ(outcome, Outcome::kComplete) << "status " << status;
      EXPECT_EQ(compare(*pil), "");
    } else {
      EXPECT_NE(outcome, Outcome::kComplete) << "Pillow refuses this file";
    }
    return;
  }
  const Exception& e = exception->second;
  SCOPED_TRACE(e.reason);
  ASSERT_EQ(outcome, e.outcome) << "status " << status;
  // The entry stays only while Pillow really disagrees.
  if (pil && outcome == Outcome::kComplete) {
    EXPECT_NE(compare(*pil), "") << "Pillow agrees now";
  }
  if (e.reference == Reference::kMagick || e.reference == Reference::kMagickColours) {
    const std::optional<DecodedPicture> magick = testing::DecodeWithMagick(path);
    ASSERT_TRUE(magick.has_value());
    EXPECT_EQ(compare(*magick, e.reference == Reference::kMagickColours), "");
  } else if (e.reference == Reference::kSibling) {
    const std::optional<DecodedPicture> sibling =
        testing::DecodeWithPil(path.substr(0, path.rfind('/') + 1) + e.sibling);
    ASSERT_TRUE(sibling.has_value());
    EXPECT_EQ(compare(*sibling), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, BmpCorpusTest, ::testing::ValuesIn(testing::CorpusCases({{"img/bmp", {".bmp"}}})),
                         testing::CorpusCaseName);

TEST(BmpCorpus, EveryExceptionNamesACorpusFile) {
  VELMORA_REQUIRE_CORPUS();
  const std::vector<std::string> files = testing::CorpusFiles("img/bmp", {".bmp"});
  for (const auto& [name, exception] : Exceptions()) {
    EXPECT_NE(std::find_if(files.begin(), files.end(),
                           [&](const std::string& f) { return Name(f) == name; }),
              files.end())
        << name;
  }
}

}  // namespace
}  // namespace velmora
