#include "fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace velmora::fuzz {

FuzzInput::FuzzInput(const uint8_t* data, size_t size, size_t optionCount) {
  const auto* chars = reinterpret_cast<const char*>(data);
  const size_t taken = size >= optionCount ? optionCount : 0;
  body_ = std::string_view(chars, size - taken);
  options_.assign(chars + (size - taken), taken);
}

namespace {

struct Scratch {
  std::string path;
  Scratch() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velmora-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::fprintf(stderr, "cannot make a scratch folder from %s\n", pattern.c_str());
      std::abort();
    }
    path = pattern;
  }
  ~Scratch() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
};

}  // namespace

const std::string& ScratchFolder() {
  static const Scratch scratch;
  return scratch.path;
}

std::string WriteScratchFile(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchFolder() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  Require(static_cast<bool>(out), "scratch file written");
  return path;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

size_t CountEntries(const std::string& folder) {
  std::error_code error;
  size_t count = 0;
  for (auto it = std::filesystem::directory_iterator(folder, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
}

void EmptyFolder(const std::string& folder) {
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(folder, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::error_code ignored;
    std::filesystem::remove_all(it->path(), ignored);
  }
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

uint64_t TouchBytes(const uint8_t* bytes, size_t length) {
  uint64_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum += bytes[i];
  return sum;
}

}  // namespace velmora::fuzz
