#pragma once
// The program's version text: "major.minor", plus a letter a..z for a third number
// of 1..26; "1.0" when no version is known.

#include <string>

namespace velmora {

std::string VersionText(unsigned major, unsigned minor, unsigned build);
// The version of this build.
std::string GetVersionText();

}  // namespace velmora
