#pragma once
// Whether a file is a complete PNG, as the optimiser step needs to know before taking
// a tool's output.

#include <string>

namespace velmora {

// True when the file passes the PNG probe (at least 112 bytes, the signature, IHDR
// first) and decodes completely.
bool IsCompletePng(const std::string& path);

}  // namespace velmora
