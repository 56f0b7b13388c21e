// The program's icon (IDR_MAINFRAME): the pictures of ui/resources, built into the program,
// so that the window, the dialogs' icon controls and the desktop show the same drawing.
#pragma once

#include <QIcon>

namespace varden::qt {

// The icon at 16, 32 and 64 pixels, each drawn for its own size: the 32-pixel icon of the
// dialogs stays sharp at twice the pixel density, and scaled down from 64 at one and a half
// (the desktop takes its larger pictures from the installed icon theme).
const QIcon& AppIcon();

// The side of the icon in an icon control, in device-independent pixels: the platform's large
// icon at every pixel density.
inline constexpr int kIconSide = 32;

}  // namespace varden::qt
