#include "ui/win32/dialog_template.h"

#include <array>
#include <cstdint>

#include "ui/win32/wide_text.h"

namespace varden::win32 {
namespace {

// Predefined window classes by their ordinal, as a template may name them.
constexpr WORD kOrdinalMarker = 0xFFFF;
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboBoxAtom = 0x0085;

// The template faces the platform's dialogs treat as "the dialog font".
constexpr std::array<std::wstring_view, 3> kReplaceableFaces = {L"MS Sans Serif", L"MS Shell Dlg",
                                                                L"Helv"};

constexpr int kPointsPerInch = 72;

WORD ClassAtom(std::string_view window_class) {
  if (window_class == ui::kClassButton) return kButtonAtom;
  if (window_class == ui::kClassEdit) return kEditAtom;
  if (window_class == ui::kClassStatic) return kStaticAtom;
  if (window_class == ui::kClassComboBox) return kComboBoxAtom;
  return 0;  // named by its text
}

// The system font of a system with double-byte character support, face and size.
DialogFont SystemDialogFont() {
  LOGFONTW font{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
  DialogFont result{font.lfFaceName, 0};
  const HDC screen = GetDC(nullptr);
  const int pixels_per_inch = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const LONG height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
  result.points = MulDiv(height, kPointsPerInch, pixels_per_inch);
  return result;
}

}  // namespace

bool IsReplaceableFace(std::wstring_view face) {
  for (std::wstring_view replaceable : kReplaceableFaces) {
    if (face == replaceable) return true;
  }
  return false;
}

DialogFont ResolveDialogFont(const ui::DialogTemplate& dialog, bool replace_size) {
  DialogFont font{Widen(dialog.font_face), dialog.font_points};
  if (GetSystemMetrics(SM_DBCSENABLED) == 0 || !IsReplaceableFace(font.face)) return font;
  const DialogFont system = SystemDialogFont();
  if (system.face.empty()) return font;
  font.face = system.face;
  if (replace_size && system.points > 0) font.points = system.points;
  return font;
}

InMemoryTemplate::InMemoryTemplate(const ui::DialogTemplate& dialog, const DialogFont& font) {
  // DLGTEMPLATE: style, extended style, item count, x, y, cx, cy.
  DoubleWord(dialog.style);
  DoubleWord(dialog.ex_style);
  Word(static_cast<WORD>(dialog.controls.size()));
  Word(static_cast<WORD>(dialog.rect.x));
  Word(static_cast<WORD>(dialog.rect.y));
  Word(static_cast<WORD>(dialog.rect.width));
  Word(static_cast<WORD>(dialog.rect.height));
  Word(0);  // no menu
  Word(0);  // the predefined dialog class
  Text(Widen(dialog.caption));
  if ((dialog.style & DS_SETFONT) != 0) {
    Word(static_cast<WORD>(font.points));
    Text(font.face);
  }

  for (const ui::ControlTemplate& control : dialog.controls) {
    // DLGITEMTEMPLATE: style, extended style, x, y, cx, cy, id; then class, title and the
    // length of the creation data.
    AlignToDoubleWord();
    DoubleWord(control.style);
    DoubleWord(control.ex_style);
    Word(static_cast<WORD>(control.rect.x));
    Word(static_cast<WORD>(control.rect.y));
    Word(static_cast<WORD>(control.rect.width));
    Word(static_cast<WORD>(control.rect.height));
    Word(static_cast<WORD>(control.id));  // -1 becomes FFFFh, the id of unnamed statics
    if (const WORD atom = ClassAtom(control.window_class); atom != 0) {
      Word(kOrdinalMarker);
      Word(atom);
    } else {
      Text(Widen(control.window_class));
    }
    if (control.kind == ui::ControlKind::kIcon) {
      Word(kOrdinalMarker);
      Word(static_cast<WORD>(control.icon));
    } else {
      Text(Widen(control.text));
    }
    Word(0);  // no creation data
  }
}

void InMemoryTemplate::DoubleWord(DWORD value) {
  Word(LOWORD(value));
  Word(HIWORD(value));
}

void InMemoryTemplate::Text(std::wstring_view text) {
  for (wchar_t c : text) Word(static_cast<WORD>(c));
  Word(0);
}

void InMemoryTemplate::AlignToDoubleWord() {
  if (words_.size() % 2 != 0) Word(0);
}

}  // namespace varden::win32
