// The in-memory dialog templates against the windows Wine builds from them: each dialog's
// caption, style and size; its controls in tab order with id, class, style, text and place.
#include "ui/win32/dialog_template.h"

// <windows.h> first: the other platform headers build on it.
// clang-format off
#include <windows.h>
// clang-format on

#include <commctrl.h>

#include <string>

#include "tests/wine/check.h"
#include "ui/resources/templates.h"
#include "ui/win32/wide_text.h"

namespace {

using varden::ui::ControlKind;
using varden::win32::Narrow;
using varden::wine_tests::Check;

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::string TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return Narrow(text);
}

bool HasStyle(HWND window, int which, std::uint32_t wanted) {
  return (static_cast<std::uint32_t>(GetWindowLongW(window, which)) & wanted) == wanted;
}

void CheckDialog(const varden::ui::DialogTemplate& data) {
  const std::string name = "template " + std::to_string(data.id);
  const varden::win32::InMemoryTemplate built(data, varden::win32::ResolveDialogFont(data, true));
  HWND dialog =
      CreateDialogIndirectParamW(GetModuleHandleW(nullptr), built.Get(), nullptr, &QuietProc, 0);
  Check(dialog != nullptr, name + ": the platform builds a window of it");
  if (dialog == nullptr) return;
  Check(TextOf(dialog) == data.caption, name + ": caption", TextOf(dialog));
  Check(HasStyle(dialog, GWL_STYLE, data.style & ~DS_SETFONT) &&
            HasStyle(dialog, GWL_EXSTYLE, data.ex_style),
        name + ": style and extended style");
  RECT size{0, 0, data.rect.width, data.rect.height}, client{};
  MapDialogRect(dialog, &size);
  GetClientRect(dialog, &client);
  Check(EqualRect(&client, &size) != FALSE, name + ": client size");

  // The children in z-order are the template's controls in template order.
  std::size_t count = 0;
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) ++count;
  Check(count == data.controls.size(), name + ": control count");
  HWND child = GetWindow(dialog, GW_CHILD);
  for (const varden::ui::ControlTemplate& control : data.controls) {
    if (child == nullptr) break;
    std::string what = name + " control " + std::to_string(control.id) + " ";
    what += control.text;
    Check(GetDlgCtrlID(child) == (control.id < 0 ? 0xFFFF : control.id), what + ": id");
    wchar_t window_class[64] = {};
    GetClassNameW(child, window_class, 64);
    Check(lstrcmpiW(window_class, varden::win32::Widen(control.window_class).c_str()) == 0,
          what + ": class", Narrow(window_class));
    // A border may come back as the platform's sunken edge, which it draws instead; the
    // progress bar draws its frame itself.
    const bool edged =
        (GetWindowLongW(child, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0 ||
        control.kind == ControlKind::kProgressBar;
    Check(HasStyle(child, GWL_STYLE, edged ? control.style & ~WS_BORDER : control.style),
          what + ": style bits");
    if (control.kind != ControlKind::kIcon && control.kind != ControlKind::kComboBox) {
      Check(TextOf(child) == control.text, what + ": text", TextOf(child));
    }
    // Position and size convert separately, as the dialog manager converts them.
    RECT place{control.rect.x, control.rect.y, control.rect.width, control.rect.height}, actual{};
    MapDialogRect(dialog, &place);
    GetWindowRect(child, &actual);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
    // A combo box's template height is its dropped-down list's; only its edge counts.
    const RECT expected{
        place.left, place.top, place.left + place.right,
        control.kind == ControlKind::kComboBox ? actual.bottom : place.top + place.bottom};
    Check(EqualRect(&expected, &actual) != FALSE, what + ": rectangle");
    child = GetWindow(child, GW_HWNDNEXT);
  }
  DestroyWindow(dialog);
}

void TestFonts() {
  // The first three faces are the template faces that give way to the system's dialog face.
  const wchar_t* faces[] = {L"MS Sans Serif", L"MS Shell Dlg", L"Helv", L"Tahoma",
                            L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF"};
  for (int i = 0; i < 5; ++i)
    Check(varden::win32::IsReplaceableFace(faces[i]) == (i < 3), "face " + Narrow(faces[i]));
  const bool double_byte = GetSystemMetrics(SM_DBCSENABLED) != 0;
  const auto main = varden::win32::ResolveDialogFont(varden::ui::MainDialogTemplate(), true);
  const auto progress = varden::win32::ResolveDialogFont(varden::ui::ProgressTemplate(), false);
  Check((main.face == L"MS Sans Serif") == !double_byte,
        "main dialog face: template's unless double-byte", Narrow(main.face));
  Check(varden::win32::ResolveDialogFont(varden::ui::AboutBoxTemplate(), false).points == 9,
        "About box keeps its size");
  Check(progress.face == varden::win32::Widen(varden::ui::ProgressTemplate().font_face) &&
            progress.points == 9,
        "progress window keeps its Japanese face");
  if (!double_byte) Check(main.points == 8, "main dialog size 8 without double-byte");
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  TestFonts();
  CheckDialog(varden::ui::MainDialogTemplate());
  CheckDialog(varden::ui::ProgressTemplate());
  CheckDialog(varden::ui::AboutBoxTemplate());
  return varden::wine_tests::failures;
}
