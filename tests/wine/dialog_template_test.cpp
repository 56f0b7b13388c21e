// The in-memory dialog templates against the windows the platform builds from them: every
// control of the template data is there, in template (tab) order, with its id, window class,
// style bits, text and rectangle; the dialogs have their caption, style and size. Runs under
// Wine, in English and (with a Japanese locale) in Japanese.
#include "ui/win32/dialog_template.h"

// <windows.h> first: the other platform headers build on it.
// clang-format off
#include <windows.h>
// clang-format on

#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/wine/check.h"
#include "ui/resources/templates.h"
#include "ui/win32/wide_text.h"

namespace {

using varden::win32::Narrow;
using varden::win32::Widen;
using varden::wine_tests::Check;

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::string TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return Narrow(text);
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

void CheckDialog(const varden::ui::DialogTemplate& data) {
  const std::string name = "template " + std::to_string(data.id);
  const varden::win32::DialogFont font = varden::win32::ResolveDialogFont(data, true);
  const varden::win32::InMemoryTemplate built(data, font);
  HWND dialog =
      CreateDialogIndirectParamW(GetModuleHandleW(nullptr), built.Get(), nullptr, &QuietProc, 0);
  Check(dialog != nullptr, name + ": the platform builds a window of it");
  if (dialog == nullptr) return;

  Check(TextOf(dialog) == data.caption, name + ": caption", TextOf(dialog));
  const auto style = static_cast<std::uint32_t>(GetWindowLongW(dialog, GWL_STYLE));
  Check((style & data.style & ~DS_SETFONT) == (data.style & ~DS_SETFONT), name + ": style");
  const auto ex_style = static_cast<std::uint32_t>(GetWindowLongW(dialog, GWL_EXSTYLE));
  Check((ex_style & data.ex_style) == data.ex_style, name + ": extended style");

  RECT size{0, 0, data.rect.width, data.rect.height};
  MapDialogRect(dialog, &size);
  RECT client{};
  GetClientRect(dialog, &client);
  Check(client.right == size.right && client.bottom == size.bottom, name + ": client size",
        Describe(client) + " vs " + Describe(size));

  // The children in z-order are the template's controls in template order.
  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  Check(children.size() == data.controls.size(), name + ": control count");
  for (std::size_t i = 0; i < children.size() && i < data.controls.size(); ++i) {
    const varden::ui::ControlTemplate& control = data.controls[i];
    HWND child = children[i];
    const std::string what =
        name + " control " + std::to_string(control.id) + " (" + std::string(control.text) + ")";
    Check(GetDlgCtrlID(child) == (control.id < 0 ? 0xFFFF : control.id), what + ": id");
    wchar_t window_class[64] = {};
    GetClassNameW(child, window_class, 64);
    Check(lstrcmpiW(window_class, Widen(control.window_class).c_str()) == 0, what + ": class",
          Narrow(window_class));
    // A border may come back as the platform's sunken edge, which it draws instead; the
    // progress bar draws its frame itself.
    const auto child_style = static_cast<std::uint32_t>(GetWindowLongW(child, GWL_STYLE));
    const auto child_ex_style = static_cast<std::uint32_t>(GetWindowLongW(child, GWL_EXSTYLE));
    const bool edged = (child_ex_style & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0 ||
                       control.kind == varden::ui::ControlKind::kProgressBar;
    const std::uint32_t wanted = edged ? control.style & ~WS_BORDER : control.style;
    Check((child_style & wanted) == wanted, what + ": style bits",
          std::to_string(child_style) + " " + std::to_string(child_ex_style));
    if (control.kind != varden::ui::ControlKind::kIcon &&
        control.kind != varden::ui::ControlKind::kComboBox) {
      Check(TextOf(child) == control.text, what + ": text", TextOf(child));
    }
    // Position and size convert separately, as the dialog manager converts them.
    RECT place{control.rect.x, control.rect.y, control.rect.width, control.rect.height};
    MapDialogRect(dialog, &place);
    RECT expected{place.left, place.top, place.left + place.right, place.top + place.bottom};
    RECT actual{};
    GetWindowRect(child, &actual);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
    // A combo box's template height is its dropped-down list's; only its edge counts.
    if (control.kind == varden::ui::ControlKind::kComboBox) expected.bottom = actual.bottom;
    Check(EqualRect(&expected, &actual) != FALSE, what + ": rectangle",
          Describe(actual) + " vs " + Describe(expected));
  }
  DestroyWindow(dialog);
}

void TestFonts() {
  struct Case {
    const wchar_t* face;
    bool replaceable;
  };
  for (const Case& c :
       {Case{L"MS Sans Serif", true}, Case{L"MS Shell Dlg", true}, Case{L"Helv", true},
        Case{L"Tahoma", false}, Case{L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF", false}}) {
    Check(varden::win32::IsReplaceableFace(c.face) == c.replaceable,
          "replaceable face " + Narrow(c.face));
  }
  const bool double_byte = GetSystemMetrics(SM_DBCSENABLED) != 0;
  const auto main_font = varden::win32::ResolveDialogFont(varden::ui::MainDialogTemplate(), true);
  const auto about_font = varden::win32::ResolveDialogFont(varden::ui::AboutBoxTemplate(), false);
  const auto progress_font =
      varden::win32::ResolveDialogFont(varden::ui::ProgressTemplate(), false);
  Check((main_font.face == L"MS Sans Serif") == !double_byte,
        "main dialog face: template's unless double-byte", Narrow(main_font.face));
  Check(about_font.points == 9, "About box keeps its size");
  Check(progress_font.face == Widen(varden::ui::ProgressTemplate().font_face) &&
            progress_font.points == 9,
        "progress window keeps its Japanese face");
  if (!double_byte) Check(main_font.points == 8, "main dialog size 8 without double-byte");
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  TestFonts();
  CheckDialog(varden::ui::MainDialogTemplate());
  CheckDialog(varden::ui::ProgressTemplate());
  CheckDialog(varden::ui::AboutBoxTemplate());
  return varden::wine_tests::Finish();
}
