#pragma once
// How the quality field's text is read: strictly when a job takes it, leniently when
// the arrows step it.

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmora {

// An unsigned decimal integer between optional spaces or tabs, with an optional "+";
// nothing when the text holds anything else or the number does not fit 32 bits.
std::optional<unsigned> ParseUnsignedDecimal(std::string_view text);

// The number at the start of the text the way the C library reads one: leading
// white space and a sign allowed, reading stops at the first non-digit, 0 when
// there is no number. Saturates instead of overflowing.
int64_t LeadingInteger(std::string_view text);

// One arrow step: up gives value + 1 but at most 100, down value - 1 but at least 0.
// Only the arrows keep the range; a value typed by hand is taken as it is.
int64_t StepQuality(int64_t value, bool up);

}  // namespace velmora
