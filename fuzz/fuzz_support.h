#pragma once
// What the fuzz harnesses share: option bytes taken from the end of an input, a
// private scratch folder per process (most readers take paths, not memory), and a
// check that ends the run loudly when an invariant of the program is broken.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::fuzz {

// An input whose last bytes choose options, so that every option combination is
// reachable by mutation and one input file replays one exact run.
class FuzzInput {
 public:
  // The last optionCount bytes are options (zero when the input is shorter).
  FuzzInput(const uint8_t* data, size_t size, size_t optionCount);
  std::string_view Body() const { return body_; }
  uint8_t Option(size_t index) const { return index < options_.size() ? options_[index] : 0; }

 private:
  std::string_view body_;
  std::string options_;
};

// A folder of this process under the system's temporary folder, made on first use and
// removed when the process ends normally.
const std::string& ScratchFolder();
// ScratchFolder() + "/" + name, holding the bytes.
std::string WriteScratchFile(const std::string& name, std::string_view bytes);
std::string ReadWholeFile(const std::string& path);
bool Exists(const std::string& path);
// Number of entries in a folder (not recursive); 0 when it cannot be read.
size_t CountEntries(const std::string& folder);
// Removes everything inside the folder, leaving it in place.
void EmptyFolder(const std::string& folder);

// Aborts with the message when the condition is false: a broken invariant is a
// finding just like a crash.
void Require(bool condition, const char* what);

// Reads every byte of a buffer that a reader claims to hold, so that AddressSanitizer
// sees a buffer shorter than its stated size.
uint64_t TouchBytes(const uint8_t* bytes, size_t length);

}  // namespace velmora::fuzz
