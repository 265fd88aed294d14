#pragma once
// UTF-8 paths of the program to the UTF-16 texts of the Windows API and back.

#include <string>

namespace platform::windows {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

}  // namespace platform::windows
