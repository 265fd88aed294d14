#include "cli/console.h"

#include <cmath>

#include "core/text.h"

namespace velmora::cli {

namespace {

// The width the status line keeps to: a terminal of 80 columns with room for the
// cursor. The names are UTF-8; the width counts bytes, which only makes it shorter.
constexpr size_t kStatusWidth = 79;

}  // namespace

std::string Console::ByteText(int64_t bytes) {
  // The sign in the format rather than prepended: one text, built once. A size that
  // rounds to "1000.0 KB" is written as megabytes.
  const char* sign = bytes < 0 ? "-" : "";
  const double size = std::fabs(static_cast<double>(bytes));
  if (size < 1000) return Format("%s%.0f B", sign, size);
  if (size < 999950) return Format("%s%.1f KB", sign, size / 1e3);
  return Format("%s%.1f MB", sign, size / 1e6);
}

Console::Console(std::FILE* out, std::FILE* err, bool showProgress)
    : out_(out), err_(err), showProgress_(showProgress) {}

std::string Console::TallyText(const std::string& name, const PictureTally& tally) {
  const size_t slash = name.find_last_of('/');
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  return Format("%s %d/%d, %s saved", base.c_str(), tally.done, tally.total,
                ByteText(tally.bytesSaved).c_str());
}

std::string Console::StatusLine(const std::map<int, std::string>& parts, size_t width) {
  std::string line;
  for (const auto& [job, part] : parts) {
    if (!line.empty()) line += " | ";
    line += part;
  }
  if (line.size() > width) line = line.substr(0, width > 3 ? width - 3 : 0) + "...";
  return line;
}

void Console::ClearStatus() {
  if (shown_ == 0) return;
  std::fprintf(err_, "\r%*s\r", static_cast<int>(shown_), "");
  shown_ = 0;
}

void Console::DrawStatus() {
  if (status_.empty()) return;
  const std::string line = StatusLine(status_, kStatusWidth);
  std::fprintf(err_, "\r%s", line.c_str());
  std::fflush(err_);
  shown_ = line.size();
}

void Console::Line(const std::string& text, bool failure) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearStatus();
  std::FILE* stream = failure ? err_ : out_;
  std::fprintf(stream, "%s\n", text.c_str());
  std::fflush(stream);
  if (showProgress_) DrawStatus();
}

void Console::Notice(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearStatus();
  std::fprintf(err_, "%s\n", text.c_str());
  std::fflush(err_);
  if (showProgress_) DrawStatus();
}

void Console::Progress(int job, const std::string& name, const PictureTally& tally) {
  if (!showProgress_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  status_[job] = TallyText(name, tally);
  ClearStatus();
  DrawStatus();
}

void Console::Done(int job) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (status_.erase(job) == 0) return;
  ClearStatus();
  DrawStatus();
}

}  // namespace velmora::cli
