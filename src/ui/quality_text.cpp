#include "ui/quality_text.h"

#include <algorithm>
#include <limits>

namespace velmora {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::optional<unsigned> ParseUnsignedDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  const size_t digitsStart = i;
  uint64_t value = 0;
  while (i < text.size() && IsDigit(text[i])) {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    // A longer number would be cut to its low bits and silently mean another quality.
    if (value > std::numeric_limits<unsigned>::max()) return std::nullopt;
    ++i;
  }
  if (i == digitsStart) return std::nullopt;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  return static_cast<unsigned>(value);
}

int64_t LeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Saturating at the range of an int keeps a step from overflowing on a long run
  // of digits.
  constexpr int64_t kLimit = std::numeric_limits<int>::max();
  int64_t value = 0;
  while (i < text.size() && IsDigit(text[i])) {
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), kLimit + 1);
    ++i;
  }
  if (negative) return std::max<int64_t>(-value, std::numeric_limits<int>::min());
  return std::min<int64_t>(value, kLimit);
}

int64_t StepQuality(int64_t value, bool up) {
  return up ? std::min<int64_t>(value + 1, 100) : std::max<int64_t>(value - 1, 0);
}

}  // namespace velmora
