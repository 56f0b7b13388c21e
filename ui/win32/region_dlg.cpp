#include "ui/win32/region_dlg.h"

#include <commctrl.h>
#include <htmlhelp.h>

#include <string>

#include "ui/resources/resource.h"
#include "ui/resources/templates.h"
#include "ui/win32/dialog_template.h"
#include "ui/win32/wide_text.h"

namespace varden::win32 {
namespace {

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

// The folder this program was started from, with its trailing separator; empty when the
// system cannot tell.
std::wstring ProgramFolder() {
  constexpr std::size_t kGrowthFactor = 2;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * kGrowthFactor);
  }
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring{} : path.substr(0, separator + 1);
}

// The log is a multi-line edit without ES_WANTRETURN, in which Enter acts as in the rest of
// the dialog (OK, there being no default push button). Some platforms' edit controls keep the
// key for themselves all the same; the log hands it back to the dialog manager.
WNDPROC edit_procedure = nullptr;

LRESULT CALLBACK LogProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  LRESULT answer = CallWindowProcW(edit_procedure, window, message, w, l);
  if (message == WM_GETDLGCODE && l != 0) {
    const auto* key = reinterpret_cast<const MSG*>(l);
    if (key->message == WM_KEYDOWN && key->wParam == VK_RETURN) {
      answer &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
    }
  }
  return answer;
}

void HandEnterToDialog(HWND log) {
  const auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(log, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LogProcedure)));
  if (edit_procedure == nullptr) edit_procedure = previous;
}

}  // namespace

CRegionDlg::CRegionDlg()
    : icon_(LoadIconW(Instance(), MAKEINTRESOURCEW(IDR_MAINFRAME))), logic_(*this, sleeper_) {}

CRegionDlg::~CRegionDlg() = default;

INT_PTR CRegionDlg::DoModal() {
  const ui::DialogTemplate& main = ui::MainDialogTemplate();
  const InMemoryTemplate dialog(main, ResolveDialogFont(main, true));
  return DialogBoxIndirectParamW(Instance(), dialog.Get(), nullptr, &DialogProc,
                                 reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CRegionDlg::DialogProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, GWLP_USERDATA, l);
    reinterpret_cast<CRegionDlg*>(l)->window_ = window;
  }
  auto* dialog = reinterpret_cast<CRegionDlg*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (dialog == nullptr) return FALSE;  // messages before WM_INITDIALOG
  return dialog->OnMessage(message, w, l);
}

INT_PTR CRegionDlg::OnMessage(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_SYSCOMMAND:
      return OnSysCommand(w, l);
    case WM_COMMAND:
      return OnCommand(LOWORD(w), HIWORD(w));
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_HELP:
      logic_.ShowHelp();
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL CRegionDlg::OnInitDialog() {
  HandEnterToDialog(Item(IDC_LOG));
  const BOOL answer = logic_.OnInitDialog(GetOEMCP()) ? TRUE : FALSE;
  // The dialog stood at the screen's origin while it initialised; now it goes to the middle.
  CenterWindow(window_, nullptr);
  return answer;
}

BOOL CRegionDlg::OnCommand(WORD id, WORD notification) {
  switch (id) {
    case IDOK:
      logic_.OnOk();
      return TRUE;
    case IDCANCEL:
      logic_.OnCancel();
      return TRUE;
    case kIdHelp:
      logic_.ShowHelp();
      return TRUE;
    case IDC_GET_REGION:
    case IDC_SET_REGION:
    case IDC_EXIT:
      if (notification != BN_CLICKED) return FALSE;
      logic_.OnCommand(id);
      RefocusButton(id);
      return TRUE;
    case IDC_DRIVE_LIST:
      if (notification != CBN_SELCHANGE) return FALSE;
      logic_.OnCommand(id);
      return TRUE;
    default:
      return FALSE;
  }
}

void CRegionDlg::RefocusButton(int id) {
  // A mouse click gives a push button the focus without making it the dialog's default
  // button, and a box opened by the command hands the focus back to whatever the dialog
  // remembered. Enter then finds no default button and acts as OK, which ends the dialog.
  // The dialog manager's own focus move (as after Tab) makes the button the default again,
  // so that Enter presses it. A dialog that is ending is left alone.
  const HWND button = Item(id);
  if (!IsWindowVisible(window_) || !IsWindowEnabled(button)) return;
  SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
}

BOOL CRegionDlg::OnSysCommand(WPARAM command, LPARAM l) {
  sys_command_position_ = l;
  logic_.OnSysCommand(static_cast<unsigned>(command));
  sys_command_position_ = 0;
  return TRUE;
}

BOOL CRegionDlg::OnPaint() {
  if (!IsIconic(window_)) return FALSE;  // default painting
  PAINTSTRUCT paint{};
  const HDC dc = BeginPaint(window_, &paint);
  SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(window_, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(window_, &paint);
  return TRUE;
}

void CRegionDlg::Enable(int id, bool on) {
  EnableWindow(Item(id), on ? TRUE : FALSE);
}

void CRegionDlg::SetCheck(int id, bool on) {
  CheckDlgButton(window_, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool CRegionDlg::GetCheck(int id) {
  return SendDlgItemMessageW(window_, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CRegionDlg::Highlight(int id) {
  SendDlgItemMessageW(window_, id, BM_SETSTATE, TRUE, 0);
}

void CRegionDlg::SetText(int id, std::string_view text) {
  SetDlgItemTextW(window_, id, Widen(text).c_str());
}

std::string CRegionDlg::GetText(int id) {
  const HWND item = Item(id);
  const int length = GetWindowTextLengthW(item);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(item, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied));
  return Narrow(text);
}

void CRegionDlg::ComboInsert(int id, int index, std::string_view text) {
  const std::wstring wide = Widen(text);
  SendDlgItemMessageW(window_, id, CB_INSERTSTRING, static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(wide.c_str()));
}

void CRegionDlg::ComboSelect(int id, int index) {
  SendDlgItemMessageW(window_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int CRegionDlg::ComboSelection(int id) {
  return static_cast<int>(SendDlgItemMessageW(window_, id, CB_GETCURSEL, 0, 0));
}

void CRegionDlg::SetEditSelection(int id, int start, int end) {
  SendDlgItemMessageW(window_, id, EM_SETSEL, static_cast<WPARAM>(start), end);
}

void CRegionDlg::ScrollCaret(int id) {
  SendDlgItemMessageW(window_, id, EM_SCROLLCARET, 0, 0);
}

ui::Rect CRegionDlg::LayoutRect(int id) {
  // The control's place measured from the dialog window's own corner: its position in the
  // client area plus the frame and the caption, as on a dialog standing at the screen origin.
  RECT dialog{};
  RECT control{};
  GetWindowRect(window_, &dialog);
  GetWindowRect(Item(id), &control);
  return ui::Rect{control.left - dialog.left, control.top - dialog.top, control.right - dialog.left,
                  control.bottom - dialog.top};
}

void CRegionDlg::MoveControl(int id, const ui::Rect& rect, bool repaint) {
  MoveWindow(Item(id), rect.left, rect.top, rect.Width(), rect.Height(), repaint ? TRUE : FALSE);
}

void CRegionDlg::SetDialogIcon() {
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
}

bool CRegionDlg::HasSystemMenu() {
  return GetSystemMenu(window_, FALSE) != nullptr;
}

void CRegionDlg::AppendSystemMenuSeparator() {
  AppendMenuW(GetSystemMenu(window_, FALSE), MF_SEPARATOR, 0, nullptr);
}

void CRegionDlg::AppendSystemMenuItem(unsigned command, std::string_view text) {
  AppendMenuW(GetSystemMenu(window_, FALSE), MF_STRING, command, Widen(text).c_str());
}

void CRegionDlg::DefaultSysCommand(unsigned command) {
  DefWindowProcW(window_, WM_SYSCOMMAND, command, sys_command_position_);
}

void CRegionDlg::EndDialog(int result) {
  ::EndDialog(window_, result);
}

bool CRegionDlg::MessageOkCancelExclamation(std::string_view text, std::string_view caption) {
  const int answer = MessageBoxW(window_, Widen(text).c_str(), Widen(caption).c_str(),
                                 MB_OKCANCEL | MB_ICONEXCLAMATION);
  if (answer == IDCANCEL) return false;
  if (disc_prompt_hook_) disc_prompt_hook_(logic_.DriveLetter(logic_.SelectedDriveIndex()));
  return true;
}

void CRegionDlg::MessageOk(std::string_view text, std::string_view caption) {
  MessageBoxW(window_, Widen(text).c_str(), Widen(caption).c_str(), MB_OK);
}

void CRegionDlg::ProgressOpen(int range_high, int step) {
  progress_ = std::make_unique<CProgressDlg>();
  if (!progress_->Create(window_, range_high, step)) progress_.reset();
}

void CRegionDlg::ProgressStep() {
  if (progress_) progress_->StepIt();
}

void CRegionDlg::ProgressText(std::string_view text) {
  if (progress_) progress_->SetText(text);
}

void CRegionDlg::ProgressClose() {
  progress_.reset();
}

void CRegionDlg::RunAboutBox(std::string_view version_line) {
  CAboutDlg about{std::string(version_line)};
  about.DoModal(window_);
}

bool CRegionDlg::ShowHelpTopic(std::string_view path) {
  const std::string topic(path);
  if (HtmlHelpA(window_, topic.c_str(), HH_DISPLAY_TOPIC, 0) != nullptr) return true;
  // Started from another folder: the same help file beside the program.
  const std::wstring folder = ProgramFolder();
  if (folder.empty()) return false;
  constexpr std::string_view kCurrentFolder = ".\\";
  if (path.starts_with(kCurrentFolder)) path.remove_prefix(kCurrentFolder.size());
  const std::wstring beside = folder + Widen(path);
  return HtmlHelpW(window_, beside.c_str(), HH_DISPLAY_TOPIC, 0) != nullptr;
}

}  // namespace varden::win32
