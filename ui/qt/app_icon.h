// The program's icon (IDR_MAINFRAME): the pictures of ui/resources, built into the program,
// so that the window, the dialogs' icon controls and the desktop show the same drawing.
#pragma once

#include <QIcon>

namespace varden::qt {

// The icon at 16, 32 and 256 pixels: the small pictures drawn for their own sizes, the large
// one scaled down for a screen of higher pixel density (the desktop takes its pictures from the
// installed icon theme).
const QIcon& AppIcon();

// The side of the icon in an icon control, in device-independent pixels: the platform's large
// icon at every pixel density.
inline constexpr int kIconSide = 32;

}  // namespace varden::qt
