#include "ui/win32/aux_dialogs.h"

#include <commctrl.h>

#include "ui/resources/resource.h"
#include "ui/resources/templates.h"
#include "ui/win32/dialog_template.h"
#include "ui/win32/wide_text.h"

namespace varden::win32 {
namespace {

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

}  // namespace

void CenterWindow(HWND window, HWND owner) {
  RECT area{};
  if (owner != nullptr) {
    GetWindowRect(owner, &area);
  } else {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  RECT own{};
  GetWindowRect(window, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  int x = area.left + ((area.right - area.left) - width) / 2;
  int y = area.top + ((area.bottom - area.top) - height) / 2;
  // Never push the caption off the top or left of the screen.
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CProgressDlg::~CProgressDlg() {
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

bool CProgressDlg::Create(HWND owner, int range_high, int step) {
  const ui::DialogTemplate& progress = ui::ProgressTemplate();
  const InMemoryTemplate dialog(progress, ResolveDialogFont(progress, false));
  window_ = CreateDialogIndirectParamW(Instance(), dialog.Get(), owner, &DialogProc, 0);
  if (window_ == nullptr) return false;
  ShowWindow(window_, SW_SHOWNORMAL);
  SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, range_high));
  SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
  return true;
}

void CProgressDlg::StepIt() {
  SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_STEPIT, 0, 0);
}

void CProgressDlg::SetText(std::string_view text) {
  SetDlgItemTextW(window_, IDC_PROGRESS_TEXT, Widen(text).c_str());
  RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

INT_PTR CALLBACK CProgressDlg::DialogProc(HWND, UINT message, WPARAM, LPARAM) {
  // Every message takes the dialog's default handling.
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

INT_PTR CAboutDlg::DoModal(HWND owner) {
  const ui::DialogTemplate& about = ui::AboutBoxTemplate();
  const InMemoryTemplate dialog(about, ResolveDialogFont(about, false));
  return DialogBoxIndirectParamW(Instance(), dialog.Get(), owner, &DialogProc,
                                 reinterpret_cast<LPARAM>(this));
}

BOOL CAboutDlg::OnInitDialog(HWND window) {
  SetDlgItemTextW(window, IDC_VERSION, Widen(version_line_).c_str());
  CenterWindow(window, GetWindow(window, GW_OWNER));
  return TRUE;
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG:
      return reinterpret_cast<CAboutDlg*>(l)->OnInitDialog(window);
    case WM_COMMAND:
      if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
        EndDialog(window, LOWORD(w));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace varden::win32
