// The program's icon (IDR_MAINFRAME): the pictures of ui/resources, built into the program,
// so that the window, the dialogs' icon controls and the desktop show the same drawing.
#pragma once

#include <QIcon>

namespace varden::qt {

// The icon at 16 and 32 pixels, the sizes that title bars, task lists and the dialogs' icon
// controls show (the desktop takes its larger pictures from the installed icon theme).
const QIcon& AppIcon();

}  // namespace varden::qt
