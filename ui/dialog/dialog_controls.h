// The control primitives that the main dialog's logic needs from a toolkit. The logic
// (ui/dialog/region_dialog.h) knows nothing of widgets or window handles: each toolkit (the
// Qt program, the Win32 program, the tests' fake) implements this interface once and forwards
// its events to the logic. Texts are UTF-8 throughout; control ids are those of
// ui/resources/resource.h. No call here fails: an id the dialog does not hold is ignored (or
// answers the empty/zero value).
#pragma once

#include <string>
#include <string_view>

namespace varden::ui {

// A rectangle in pixels, edges as the platform reports them (right and bottom exclusive).
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Dialog results, as the templates' push buttons name them.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// The system command that the close box sends (and Exit imitates).
inline constexpr unsigned kScClose = 0xF060;

class DialogControls {
 public:
  virtual ~DialogControls() = default;

  // --- Controls of the main dialog ---

  // Enables or disables the control.
  virtual void Enable(int id, bool on) = 0;
  // Checks (on) or unchecks (off) a radio button or check box. Unchecking a radio button
  // leaves every button of its group unchecked, as the platform's button state does.
  virtual void SetCheck(int id, bool on) = 0;
  // True when the button is exactly "checked" (not unchecked, not indeterminate).
  virtual bool GetCheck(int id) = 0;
  // Draws the button in its pushed (highlighted) state until the dialog ends.
  virtual void Highlight(int id) = 0;
  // Replaces a control's text. For the log "\r\n" stands for a line break.
  virtual void SetText(int id, std::string_view text) = 0;
  // The control's text as it stands (the log's text with its line breaks as "\r\n").
  virtual std::string GetText(int id) = 0;

  // Inserts an item into a combo box's list at `index` (0 = first).
  virtual void ComboInsert(int id, int index, std::string_view text) = 0;
  // Makes item `index` the selection, without a selection-change notification.
  virtual void ComboSelect(int id, int index) = 0;
  // The selected item, -1 when none.
  virtual int ComboSelection(int id) = 0;

  // Selects characters `start` to `end` of an edit control's text (character positions of
  // the text as SetText received it, "\r\n" counting two; end -1 = to the end of the text).
  virtual void SetEditSelection(int id, int start, int end) = 0;
  // Scrolls the edit control so that its caret is visible.
  virtual void ScrollCaret(int id) = 0;

  // The control's rectangle in the coordinates in which the region-button layout measures:
  // its position in the dialog plus the offset of the dialog's frame and caption, so that
  // the layout lands where it lands on a dialog standing at the screen's origin.
  virtual Rect LayoutRect(int id) = 0;
  // Moves and resizes a control, in the dialog's own (client) coordinates.
  virtual void MoveControl(int id, const Rect& rect, bool repaint) = 0;

  // --- The dialog window ---

  // Sets the dialog's icon (IDR_MAINFRAME) as its large and small icon.
  virtual void SetDialogIcon() = 0;
  // Whether the dialog has a system menu that items can be added to.
  virtual bool HasSystemMenu() = 0;
  virtual void AppendSystemMenuSeparator() = 0;
  // Appends a string item that sends `command` to the dialog's system-command handler.
  virtual void AppendSystemMenuItem(unsigned command, std::string_view text) = 0;
  // The platform's default processing of a system command (close, move, ...). For
  // kScClose this ends the dialog as the close box does.
  virtual void DefaultSysCommand(unsigned command) = 0;
  // Ends the modal dialog with `result`.
  virtual void EndDialog(int result) = 0;

  // --- Message boxes, owned by the dialog ---

  // OK and Cancel with the exclamation icon; true unless the user chose Cancel.
  virtual bool MessageOkCancelExclamation(std::string_view text, std::string_view caption) = 0;
  // OK alone, without an icon.
  virtual void MessageOk(std::string_view text, std::string_view caption) = 0;

  // --- Auxiliary windows ---

  // Opens the progress window (IDD_PROGRESS), modeless and shown, its bar ranging from 0 to
  // `range_high` at position 0 and advancing `step` per step.
  virtual void ProgressOpen(int range_high, int step) = 0;
  // Advances the bar by one step.
  virtual void ProgressStep() = 0;
  // Sets the text of IDC_PROGRESS_TEXT. The window shows it before the call returns.
  virtual void ProgressText(std::string_view text) = 0;
  // Destroys the progress window; nothing when none is open.
  virtual void ProgressClose() = 0;

  // Runs the About box (IDD_ABOUTBOX) modally, with `version_line` as the text of
  // IDC_VERSION; returns when the user has closed it.
  virtual void RunAboutBox(std::string_view version_line) = 0;

  // Shows the help topic named by `path` (".\name.chm::/topic.htm"), with the dialog as the
  // calling window. True when a help window shows it, false when neither file nor topic is
  // found (or the platform has no help viewer).
  virtual bool ShowHelpTopic(std::string_view path) = 0;
};

}  // namespace varden::ui
