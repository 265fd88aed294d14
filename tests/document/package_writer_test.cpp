#include "document/package_writer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteZip;
using testing::ZipItem;

std::string Repeated(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// A package whose entries the writer may store more compactly than the source did
// (stored text), or not (deflated noise), with a stored mimetype first.
std::vector<ZipItem> Items() {
  std::string noise;
  uint32_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 1103515245u + 12345u;
    noise += static_cast<char>(state >> 24);
  }
  return {{"mimetype", "application/hwp+zip", true},
          {"Contents/header.xml", Repeated("<hh:style id=\"1\" name=\"바탕글\"/>", 400), true},
          {"Contents/section0.xml", Repeated("<hp:p><hp:run>text</hp:run></hp:p>", 900), false},
          {"BinData/noise.bin", noise, false},
          {"settings.xml", "<settings/>", true}};
}

std::vector<EntryPlan> RecompressAll(const std::vector<StoredEntry>& entries) {
  std::vector<EntryPlan> plans;
  for (const StoredEntry& entry : entries) {
    EntryPlan plan;
    plan.source = entry;
    if (entry.header.name != "mimetype") plan.change = EntryPlan::Change::kRecompress;
    plans.push_back(plan);
  }
  return plans;
}

// Whichever entries were compressed ahead, and on however many workers, the target is
// the same file, and it counts the same entries as stored more compactly.
TEST(PackageWriter, EntriesCompressedAheadGiveTheSameTarget) {
  TempDir dir;
  const std::string source = dir.File("source.hwpx");
  WriteZip(source, Items());
  ZipArchive zip;
  ASSERT_TRUE(zip.Open(source));
  const std::optional<std::vector<StoredEntry>> entries = zip.Entries();
  ASSERT_TRUE(entries);
  const std::vector<EntryPlan> plans = RecompressAll(*entries);

  WorkerPool one(1);
  const std::string expectedPath = dir.File("expected.hwpx");
  const PackageWriteResult expected = WritePackage(zip, plans, expectedPath, one);
  ASSERT_TRUE(expected.written);
  EXPECT_GE(expected.recompressed, 1);  // the stored text shrinks at least
  const std::string expectedBytes = ReadFile(expectedPath);

  struct Row {
    int workers;
    std::set<std::string> ahead;  // entries compressed ahead
  };
  const Row rows[] = {
      {1, {}},
      {1, {"Contents/header.xml"}},
      {2, {"Contents/header.xml", "Contents/section0.xml", "BinData/noise.bin", "settings.xml"}},
      {8, {"Contents/section0.xml", "BinData/noise.bin"}},
      // Compressed ahead but copied by its plan: what was made ahead is not used.
      {2, {"mimetype"}},
  };
  for (const Row& row : rows) {
    WorkerPool pool(row.workers);
    EntriesCompressedAhead ahead;
    {
      WorkerPool::Batch batch(pool);
      for (const StoredEntry& entry : *entries) {
        if (row.ahead.count(entry.header.name) == 0) continue;
        EXPECT_TRUE(ahead.Add(zip, entry, batch)) << entry.header.name;
        EXPECT_FALSE(ahead.Add(zip, entry, batch)) << "taken twice: " << entry.header.name;
      }
    }
    const std::string target = dir.File("target.hwpx");
    const PackageWriteResult result = WritePackage(zip, plans, target, pool, {}, &ahead);
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.recompressed, expected.recompressed) << row.workers;
    EXPECT_EQ(result.bytesSaved, expected.bytesSaved) << row.workers;
    EXPECT_EQ(ReadFile(target), expectedBytes) << row.workers << " workers, "
                                               << row.ahead.size() << " ahead";
  }
}

}  // namespace
}  // namespace velmora
