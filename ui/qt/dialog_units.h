// Dialog units to pixels, as the platform of the templates converts them: one horizontal
// unit is a quarter of the dialog font's average character width (measured over "A" to "Z"
// and "a" to "z"), one vertical unit an eighth of its height. So the dialogs keep their
// proportions whatever font stands in for the template's.
#pragma once

#include <QFont>
#include <QRect>

#include "ui/resources/templates.h"

namespace varden::qt {

struct DialogBaseUnits {
  int x = 0;  // average character width, pixels
  int y = 0;  // character height, pixels
};

// The Linux font that stands in for a template's face: "MS Sans Serif" (the dialogs' face)
// becomes a sans-serif face of the same metrics family in English and the Japanese Gothic
// face in Japanese mode (as a double-byte system puts its system font in its place); the
// template's Japanese face becomes the Japanese Gothic face in both languages.
QFont TemplateFont(const ui::DialogTemplate& dialog, bool japanese);

DialogBaseUnits BaseUnitsOf(const QFont& font);

// A rectangle in dialog units in pixels.
QRect ToPixels(const ui::DialogUnitRect& rect, DialogBaseUnits units);

}  // namespace varden::qt
