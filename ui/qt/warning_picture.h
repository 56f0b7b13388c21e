// The exclamation picture of the disc prompt, drawn rather than taken from the style or the
// icon theme: the style carries it at one small size only, and an icon theme may carry it
// at none, so either would be enlarged on a screen of higher pixel density.
#pragma once

#include <QPixmap>

namespace varden::qt {

// A warning triangle with an exclamation mark, `side` device-independent pixels square,
// drawn for a screen of pixel density `ratio` (its devicePixelRatio).
QPixmap WarningPicture(int side, qreal ratio);

}  // namespace varden::qt
