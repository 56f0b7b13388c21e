// The main dialog on Win32: the window built from IDD_MAIN, its message map, and the control
// primitives that the toolkit-free dialog logic (ui/dialog) works through.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "region/region_view.h"
#include "ui/dialog/dialog_controls.h"
#include "ui/dialog/region_dialog.h"
#include "ui/win32/aux_dialogs.h"

namespace varden::win32 {

// The one-second waits of the readiness loop.
class Win32Sleeper final : public Sleeper {
 public:
  void SleepMilliseconds(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }
};

// The framework's help command (F1), routed to the help topic.
inline constexpr WORD kIdHelp = 0xE146;

class CRegionDlg final : public ui::DialogControls {
 public:
  CRegionDlg();
  ~CRegionDlg() override;
  CRegionDlg(const CRegionDlg&) = delete;
  CRegionDlg& operator=(const CRegionDlg&) = delete;

  // Called after the user answered the disc prompt with OK, with the selected drive's letter
  // (the demo program puts a disc in, as the prompt asked).
  void SetDiscPromptHook(std::function<void(char letter)> hook) { disc_prompt_hook_ = hook; }

  // Runs the dialog modally with no parent; answers IDOK or IDCANCEL, -1 when the window
  // cannot be created.
  INT_PTR DoModal();

  const ui::RegionDialog& Logic() const { return logic_; }

  // ui::DialogControls
  void Enable(int id, bool on) override;
  void SetCheck(int id, bool on) override;
  bool GetCheck(int id) override;
  void Highlight(int id) override;
  void SetText(int id, std::string_view text) override;
  std::string GetText(int id) override;
  void ComboInsert(int id, int index, std::string_view text) override;
  void ComboSelect(int id, int index) override;
  int ComboSelection(int id) override;
  void SetEditSelection(int id, int start, int end) override;
  void ScrollCaret(int id) override;
  ui::Rect LayoutRect(int id) override;
  void MoveControl(int id, const ui::Rect& rect, bool repaint) override;
  void SetDialogIcon() override;
  bool HasSystemMenu() override;
  void AppendSystemMenuSeparator() override;
  void AppendSystemMenuItem(unsigned command, std::string_view text) override;
  void DefaultSysCommand(unsigned command) override;
  void EndDialog(int result) override;
  bool MessageOkCancelExclamation(std::string_view text, std::string_view caption) override;
  void MessageOk(std::string_view text, std::string_view caption) override;
  void ProgressOpen(int range_high, int step) override;
  void ProgressStep() override;
  void ProgressText(std::string_view text) override;
  void ProgressClose() override;
  void RunAboutBox(std::string_view version_line) override;
  bool ShowHelpTopic(std::string_view path) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM w, LPARAM l);
  // The message map: one handler per message, answering what the dialog procedure answers.
  INT_PTR OnMessage(UINT message, WPARAM w, LPARAM l);
  BOOL OnInitDialog();
  BOOL OnCommand(WORD id, WORD notification);
  // Gives the push button that ran a command the focus and the default-button state again.
  void RefocusButton(int id);
  BOOL OnSysCommand(WPARAM command, LPARAM l);
  BOOL OnPaint();

  HWND Item(int id) const { return GetDlgItem(window_, id); }

  HWND window_ = nullptr;
  HICON icon_ = nullptr;
  LPARAM sys_command_position_ = 0;  // the lParam of the system command being handled
  Win32Sleeper sleeper_;
  ui::RegionDialog logic_;
  std::unique_ptr<CProgressDlg> progress_;
  std::function<void(char letter)> disc_prompt_hook_;
};

}  // namespace varden::win32
