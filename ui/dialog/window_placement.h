// Where a window opened beside the dialog stands (the help window): toolkit-free, in screen
// pixels, so that it can be reasoned about for any screen.
#pragma once

#include "ui/dialog/dialog_controls.h"

namespace varden::ui {

// The frame of a window of `width` x `height` opened beside the dialog `dialog` on the usable
// screen area `area`: beside it, top edges level, on the right where it fits, else on the left
// where it fits; where neither side has room, against the screen's edge on the side with more
// room, so that it covers as little of the dialog as it must. It never covers the whole
// dialog: where even that would, the window is narrowed to leave half the dialog in view. It
// is never larger than the area and never off it.
Rect PlaceBeside(const Rect& area, const Rect& dialog, int width, int height);

}  // namespace varden::ui
