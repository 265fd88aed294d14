// A whole HWPX job on a mutated package. An input that starts with "PK" is the package
// file itself, so that damaged archives are tried too. Any other input describes a
// sound archive whose contents are mutated: the parts between "\n##\n" separators are
// the manifest, then entries given as "name\nbytes"; the archive gets a stored
// "mimetype" entry first. Two option bytes at the end choose the conversion rule and
// the JPEG quality.

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "job_harness.h"

namespace {

using namespace velmora;
using namespace velmora::fuzz;

constexpr size_t kMaxInput = 1 << 20;
constexpr std::string_view kSeparator = "\n##\n";
constexpr int kMaxEntries = 64;

std::vector<std::string_view> Split(std::string_view body) {
  std::vector<std::string_view> parts;
  while (static_cast<int>(parts.size()) < kMaxEntries) {
    const size_t at = body.find(kSeparator);
    parts.push_back(body.substr(0, at));
    if (at == std::string_view::npos) break;
    body.remove_prefix(at + kSeparator.size());
  }
  return parts;
}

// Owner of an archive being written; discarded unless closed.
struct ArchiveWriter {
  zip_t* archive = nullptr;
  ~ArchiveWriter() {
    if (archive != nullptr) zip_discard(archive);
  }
  void Add(const std::string& name, std::string_view bytes, bool store) {
    zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    if (source == nullptr) return;
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(source);
      return;
    }
    if (store) zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  }
};

// The package the parts describe, or empty when libzip refuses to write it.
std::string BuildPackage(std::string_view body) {
  const std::vector<std::string_view> parts = Split(body);
  const std::string path = ScratchFolder() + "/built.hwpx";
  std::remove(path.c_str());
  ArchiveWriter writer;
  int error = 0;
  writer.archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (writer.archive == nullptr) return {};
  writer.Add("mimetype", "application/hwp+zip", true);
  writer.Add("Contents/content.hpf", parts[0], false);
  for (size_t i = 1; i < parts.size(); ++i) {
    const size_t newline = parts[i].find('\n');
    if (newline == std::string_view::npos || newline == 0) continue;
    const std::string name(parts[i].substr(0, newline));
    // Pictures are stored as packages store them, so that their bytes stay visible to
    // the mutator in the archive too.
    writer.Add(name, parts[i].substr(newline + 1), true);
  }
  const bool closed = zip_close(writer.archive) == 0;
  if (closed) writer.archive = nullptr;
  return closed ? ReadWholeFile(path) : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const FuzzInput input(data, size, 2);
  const std::string_view body = input.Body();
  const bool raw = body.size() >= 2 && body[0] == 'P' && body[1] == 'K';
  const std::string package = raw ? std::string(body) : BuildPackage(body);
  if (package.empty()) return 0;
  RunCheckedJob(package, "hwpx", JobOptions(input.Option(0), input.Option(1)), true);
  return 0;
}
