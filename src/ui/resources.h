#pragma once
// The pictures compiled into the window library (button states, icon).

#include <QIcon>

namespace velmora {

// Registers the compiled-in pictures; safe to call any number of times.
void InitUiResources();
// The program icon in every size it is drawn in.
QIcon ProgramIcon();

}  // namespace velmora
