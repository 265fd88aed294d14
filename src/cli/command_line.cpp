#include "cli/command_line.h"

#include <exception>
#include <vector>

#include "cli/document_run.h"
#include "cli/messages.h"
#include "core/text.h"
#include "core/version.h"
#include "image/jpeg_codec.h"

namespace velmora::cli {

namespace {

bool ParseRule(const std::string& value, ConversionRule& rule) {
  std::string lower = ToLowerAscii(value);
  if (lower == "png" || lower == "0") {
    rule = ConversionRule::kBmpToPng;
  } else if (lower == "jpeg" || lower == "jpg" || lower == "1") {
    rule = ConversionRule::kBmpToJpeg;
  } else if (lower == "pngquant" || lower == "2") {
    rule = ConversionRule::kPngQuant;
  } else {
    return false;
  }
  return true;
}

// A decimal number from 0 to 100, digits only: a quality the encoder would clamp is a
// mistake the user should hear of.
bool ParseQuality(const std::string& value, unsigned int& quality) {
  if (value.empty() || value.size() > 9) return false;
  unsigned number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  if (number > 100) return false;
  quality = number;
  return true;
}

// A decimal number from low to high, digits only.
bool ParseBounded(const std::string& value, unsigned low, unsigned high, unsigned& result) {
  if (value.empty() || value.size() > 9) return false;
  unsigned number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  if (number < low || number > high) return false;
  result = number;
  return true;
}

// Pictures at once: more than this many workers only costs memory.
constexpr unsigned kMaxWorkers = 256;

bool ParseWorkers(const std::string& value, int& workers) {
  unsigned number = 0;
  if (!ParseBounded(value, 1, kMaxWorkers, number)) return false;
  workers = static_cast<int>(number);
  return true;
}

// Printing densities below a screen's or above a fine printer's are mistakes.
constexpr unsigned kMinPpi = 96;
constexpr unsigned kMaxPpi = 600;

bool ParsePpi(const std::string& value, int& ppi) {
  unsigned number = 0;
  if (!ParseBounded(value, kMinPpi, kMaxPpi, number)) return false;
  ppi = static_cast<int>(number);
  return true;
}

enum class OptionId {
  kOutput, kOutputDir, kRecursive, kForce, kDryRun, kReport, kRule, kQuality, kBackground, kKeep,
  kNoOptimisers, kToolTime, kMemoryLimit, kClassic, kJobs, kPpi, kQuiet, kHelp, kVersion
};

struct OptionSpec {
  char shortName;
  const char* longName;
  OptionId id;
  bool takesValue;
};

constexpr OptionSpec kOptions[] = {
    {'o', "output", OptionId::kOutput, true},
    {'O', "output-dir", OptionId::kOutputDir, true},
    {'R', "recursive", OptionId::kRecursive, false},
    {'f', "force", OptionId::kForce, false},
    {'n', "dry-run", OptionId::kDryRun, false},
    {'\0', "report", OptionId::kReport, true},
    {'r', "rule", OptionId::kRule, true},
    {'q', "quality", OptionId::kQuality, true},
    {'b', "background", OptionId::kBackground, true},
    {'k', "keep-temp", OptionId::kKeep, false},
    {'\0', "no-optimisers", OptionId::kNoOptimisers, false},
    {'\0', "tool-time", OptionId::kToolTime, true},
    {'\0', "memory-limit", OptionId::kMemoryLimit, true},
    {'\0', "classic", OptionId::kClassic, false},
    {'j', "jobs", OptionId::kJobs, true},
    {'\0', "ppi", OptionId::kPpi, true},
    {'\0', "quiet", OptionId::kQuiet, false},
    {'h', "help", OptionId::kHelp, false},
    {'V', "version", OptionId::kVersion, false},
};

const OptionSpec* FindLong(const std::string& name) {
  for (const OptionSpec& option : kOptions) {
    if (name == option.longName) return &option;
  }
  return nullptr;
}

const OptionSpec* FindShort(char name) {
  for (const OptionSpec& option : kOptions) {
    if (option.shortName != '\0' && option.shortName == name) return &option;
  }
  return nullptr;
}

std::string ApplyOption(const OptionSpec& option, const std::string& value, CommandLine& line) {
  switch (option.id) {
    case OptionId::kOutput:
      if (line.target) return cli_text::kOutputTwice;
      line.target = value;
      break;
    case OptionId::kOutputDir:
      if (line.outputFolder) return cli_text::kOutputDirTwice;
      if (value.empty()) return Format(cli_text::kEmptyName, "--output-dir");
      line.outputFolder = value;
      break;
    case OptionId::kRecursive: line.recursive = true; break;
    case OptionId::kForce: line.force = true; break;
    case OptionId::kDryRun: line.options.dryRun = true; break;
    case OptionId::kReport:
      if (line.report) return cli_text::kReportTwice;
      if (value.empty()) return Format(cli_text::kEmptyName, "--report");
      line.report = value;
      break;
    case OptionId::kRule:
      if (!ParseRule(value, line.options.conversionRule)) {
        return Format(cli_text::kInvalidRule, value.c_str());
      }
      break;
    case OptionId::kQuality:
      if (!ParseQuality(value, line.options.jpegQuality)) {
        return Format(cli_text::kInvalidQuality, value.c_str());
      }
      break;
    case OptionId::kBackground:
      if (!IsColourText(value)) return Format(cli_text::kInvalidBackground, value.c_str());
      line.options.backgroundText = value;
      break;
    case OptionId::kKeep: line.options.keepTempFiles = true; break;
    case OptionId::kNoOptimisers: line.options.extraOptimisers = false; break;
    case OptionId::kToolTime:
      if (!ParseBounded(value, 0, kMaxToolSecondsPerMegapixel,
                        line.options.toolSecondsPerMegapixel)) {
        return Format(cli_text::kInvalidToolTime, value.c_str());
      }
      break;
    case OptionId::kMemoryLimit:
      if (!ParseBounded(value, kMinMemoryBudgetMiB, kMaxMemoryBudgetMiB,
                        line.options.memoryBudgetMiB)) {
        return Format(cli_text::kInvalidMemoryLimit, value.c_str());
      }
      break;
    case OptionId::kClassic: line.options.classic = true; break;
    case OptionId::kJobs:
      if (!ParseWorkers(value, line.options.workers)) {
        return Format(cli_text::kInvalidJobs, value.c_str());
      }
      break;
    case OptionId::kPpi:
      if (!ParsePpi(value, line.options.ppi)) return Format(cli_text::kInvalidPpi, value.c_str());
      break;
    case OptionId::kQuiet: line.quiet = true; break;
    case OptionId::kHelp: line.help = true; break;
    case OptionId::kVersion: line.version = true; break;
  }
  return {};
}

// Walks the arguments; each option step may take the next argument as its value.
class ArgumentParser {
 public:
  explicit ArgumentParser(const std::vector<std::string>& arguments) : arguments_(arguments) {}

  // The first usage error, or empty.
  std::string Parse(CommandLine& line) {
    bool optionsEnded = false;
    for (next_ = 0; next_ < arguments_.size();) {
      const std::string& argument = arguments_[next_++];
      if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
        line.sources.push_back(argument);
      } else if (argument == "--") {
        optionsEnded = true;
      } else if (argument.compare(0, 2, "--") == 0) {
        if (std::string error = LongOption(argument.substr(2), line); !error.empty()) return error;
      } else if (std::string error = ShortCluster(argument, line); !error.empty()) {
        return error;
      }
    }
    return {};
  }

 private:
  // "--name", "--name=value" or "--name value".
  std::string LongOption(std::string name, CommandLine& line) {
    std::optional<std::string> inlineValue;
    if (size_t equals = name.find('='); equals != std::string::npos) {
      inlineValue = name.substr(equals + 1);
      name.resize(equals);
    }
    const OptionSpec* option = FindLong(name);
    const std::string shown = "--" + name;
    if (option == nullptr) return Format(cli_text::kUnknownOption, shown.c_str());
    std::string value;
    if (option->takesValue) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (next_ < arguments_.size()) {
        value = arguments_[next_++];
      } else {
        return Format(cli_text::kNeedsValue, shown.c_str());
      }
    } else if (inlineValue) {
      return Format(cli_text::kTakesNoValue, shown.c_str());
    }
    return ApplyOption(*option, value, line);
  }

  // A cluster of short options: -kq90, -k -q 90.
  std::string ShortCluster(const std::string& argument, CommandLine& line) {
    for (size_t j = 1; j < argument.size(); ++j) {
      const OptionSpec* option = FindShort(argument[j]);
      const std::string shown = std::string("-") + argument[j];
      if (option == nullptr) return Format(cli_text::kUnknownOption, shown.c_str());
      std::string value;
      if (option->takesValue) {
        if (j + 1 < argument.size()) {
          value = argument.substr(j + 1);
        } else if (next_ < arguments_.size()) {
          value = arguments_[next_++];
        } else {
          return Format(cli_text::kNeedsValue, shown.c_str());
        }
        j = argument.size();
      }
      if (std::string error = ApplyOption(*option, value, line); !error.empty()) return error;
    }
    return {};
  }

  const std::vector<std::string>& arguments_;
  size_t next_ = 0;
};

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  ArgumentParser parser(arguments);
  if (std::string error = parser.Parse(line); !error.empty()) return {std::nullopt, error};
  if (line.help || line.version) return {line, {}};
  if (line.sources.empty()) return {std::nullopt, cli_text::kNoSource};
  if (line.target && line.outputFolder) return {std::nullopt, cli_text::kOutputAndOutputDir};
  if (line.target && line.sources.size() != 1) {
    return {std::nullopt, cli_text::kOutputNeedsOneSource};
  }
  for (const std::string& source : line.sources) {
    if (Trim(source).empty()) return {std::nullopt, cli_text::kEmptySource};
  }
  return {line, {}};
}

int Run(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
  ParseResult parsed = ParseCommandLine(arguments);
  if (!parsed.commandLine) {
    std::fprintf(err, cli_text::kUsageError, parsed.error.c_str());
    return kExitUsage;
  }
  const CommandLine& line = *parsed.commandLine;
  if (line.help) {
    std::fputs(cli_text::kUsage, out);
    return kExitSuccess;
  }
  if (line.version) {
    std::fprintf(out, cli_text::kVersion, GetVersionText().c_str(), JpegLibraryText().c_str());
    return kExitSuccess;
  }
  return RunDocuments(line, out, err);
}

int RunGuarded(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) noexcept {
  // Each job keeps its own failures; what is left (no memory even for the job's
  // message) ends the program with a message and the status of a failed job.
  try {
    return Run(arguments, out, err);
  } catch (const std::exception& error) {
    std::fprintf(err, cli_text::kFailure, error.what());
  } catch (...) {
    std::fprintf(err, cli_text::kFailure, "unexpected error");
  }
  return kExitJobFailed;
}

}  // namespace velmora::cli
