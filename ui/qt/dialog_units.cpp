#include "ui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace varden::qt {
namespace {

constexpr std::string_view kDialogFace = "MS Sans Serif";
constexpr const char* kLatinFace = "Liberation Sans";
constexpr const char* kJapaneseFace = "IPAPGothic";
// The size of the double-byte system font that replaces the dialogs' face.
constexpr int kJapaneseSystemPoints = 9;

constexpr int kHorizontalUnitsPerChar = 4;
constexpr int kVerticalUnitsPerChar = 8;
constexpr int kAlphabetLetters = 26;

// The platform's MulDiv: a * b / c rounded to the nearest integer.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

QFont TemplateFont(const ui::DialogTemplate& dialog, bool japanese) {
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  if (dialog.font_face == kDialogFace) {
    if (japanese) {
      font.setFamily(kJapaneseFace);
      font.setPointSize(dialog.id == ui::MainDialogTemplate().id ? kJapaneseSystemPoints
                                                                 : dialog.font_points);
    } else {
      font.setFamily(kLatinFace);
      font.setPointSize(dialog.font_points);
    }
  } else {
    font.setFamily(kJapaneseFace);
    font.setPointSize(dialog.font_points);
  }
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // Rounded average over the 52 letters, as the platform computes it.
  return DialogBaseUnits{(width / kAlphabetLetters + 1) / 2, metrics.height()};
}

QRect ToPixels(const ui::DialogUnitRect& rect, DialogBaseUnits units) {
  // Position and size convert separately, as the dialog manager creates template controls.
  return QRect(MulDiv(rect.x, units.x, kHorizontalUnitsPerChar),
               MulDiv(rect.y, units.y, kVerticalUnitsPerChar),
               MulDiv(rect.width, units.x, kHorizontalUnitsPerChar),
               MulDiv(rect.height, units.y, kVerticalUnitsPerChar));
}

}  // namespace varden::qt
