#pragma once
// The process log: a Markdown file in UTF-16LE with a byte order mark and CR LF line
// ends, one line appended per call. The file is opened and closed for every line so
// that everything written so far is on disk if the job ends early.

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace velmora {

// The time-stamp prefix of a line, "* [YYYY.MM.DD hh:mm:ss.mmm] ".
std::string FormatLogStamp(const platform::LocalTime& time);

class ProcessLog {
 public:
  ProcessLog() = default;
  ~ProcessLog() = default;
  ProcessLog(const ProcessLog&) = delete;
  ProcessLog& operator=(const ProcessLog&) = delete;

  // Creates (or truncates) the file and writes the byte order mark. The path is kept
  // even when the file cannot be created; later lines are then dropped silently.
  void Open(const std::string& path);

  // Appends one line (UTF-8 text). With a stamp the line begins
  // "* [YYYY.MM.DD hh:mm:ss.mmm] "; a plain line starting "# " is preceded by an
  // empty line so that Markdown sees a heading.
  void Write(std::string_view text, bool stamp);

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace velmora
