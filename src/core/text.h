#pragma once
// Small text helpers. Texts inside the program are UTF-8; document bytes stay bytes.

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Removes white space (space, tab, CR, LF, VT, FF) from both ends.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);

// Compares ASCII letters without regard to case; other bytes must be equal.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
char ToLowerAscii(char c);
std::string ToLowerAscii(std::string_view text);

// Each byte becomes the character with the same value (0..255), written as UTF-8.
// Used where document bytes are shown in the log one character per byte.
std::string BytesAsText(std::string_view bytes);

// The text enclosed in grave accents, as the log shows names and tags.
std::string Backquoted(std::string_view text);

// UTF-8 to UTF-16 code units; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace velmora
