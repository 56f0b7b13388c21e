// The two auxiliary windows of the main dialog: the progress window of the drive scan
// (IDD_PROGRESS, modeless) and the About box (IDD_ABOUTBOX, modal). Neither touches a drive
// or the message log.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace varden::win32 {

// Places `window` in the middle of `owner`, or of the screen's work area without an owner.
void CenterWindow(HWND window, HWND owner);

class CProgressDlg {
 public:
  CProgressDlg() = default;
  CProgressDlg(const CProgressDlg&) = delete;
  CProgressDlg& operator=(const CProgressDlg&) = delete;
  // Destroys the window when it still exists.
  virtual ~CProgressDlg();

  // Creates the window modeless, owned by `owner`, and shows it (SW_SHOWNORMAL); its bar
  // ranges from 0 to `range_high` at position 0 and advances `step` per step. False when the
  // window cannot be created.
  bool Create(HWND owner, int range_high, int step);
  void StepIt();
  // Sets the progress text and repaints at once: the scan takes no messages between steps.
  void SetText(std::string_view text);
  HWND Window() const { return window_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM, LPARAM);
  HWND window_ = nullptr;
};

class CAboutDlg {
 public:
  explicit CAboutDlg(std::string version_line) : version_line_(std::move(version_line)) {}
  // Runs the box modally, owned by `owner`, and answers its result.
  INT_PTR DoModal(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM w, LPARAM l);
  BOOL OnInitDialog(HWND window);
  std::string version_line_;
};

}  // namespace varden::win32
