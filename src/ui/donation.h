#pragma once
// The project's donation page. The program carries its address only in scrambled
// form, so that it is not found (and rewritten) by scanning the executable for
// addresses; it is assembled when the button is pressed.

#include <string>

namespace velmora {

std::string DonationAddress();

}  // namespace velmora
