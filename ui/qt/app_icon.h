// The program's icon (IDR_MAINFRAME): the pictures of ui/resources, built into the program,
// so that the window, the dialogs' icon controls and the desktop show the same drawing.
#pragma once

#include <QIcon>

namespace varden::qt {

// The icon at 16, 32 and 256 pixels.
QIcon AppIcon();

}  // namespace varden::qt
