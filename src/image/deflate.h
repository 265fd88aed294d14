#pragma once
// Deflate back ends behind one interface: pictures and package entries are compressed
// at a level chosen by how hard the work is worth (libdeflate's 1..12; 12 is its
// strongest and slowest).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

inline constexpr int kFastestDeflate = 1;
inline constexpr int kStrongestDeflate = 12;

enum class DeflateFormat { kRaw, kZlib };

// The data compressed; nothing when memory is short or the level is not 0..12.
std::optional<std::string> Deflate(std::string_view data, int level, DeflateFormat format);

// True when compressed inflates to exactly expected: written data is checked before it
// replaces anything.
bool InflatesTo(std::string_view compressed, std::string_view expected, DeflateFormat format);

}  // namespace velmora
