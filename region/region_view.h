// The control operations that the region logic performs on the main dialog. The dialogs
// implement them; the region logic never touches a control directly.
#pragma once

#include <string_view>

#include "region/drive_scan.h"

namespace varden {

class RegionView : public DriveListReceiver {
 public:
  // Enables or disables the control.
  virtual void EnableControl(int id, bool on) = 0;
  // Sets a radio button or check box to checked (on) or unchecked (off).
  virtual void SetCheck(int id, bool on) = 0;
  // Draws the button in its pushed state; nothing clears it again.
  virtual void SetHighlight(int id) = 0;
  // True when the button reports exactly "checked".
  virtual bool IsChecked(int id) = 0;
  // Replaces the control's text (UTF-8).
  virtual void SetControlText(int id, std::string_view text) = 0;
  // Appends to the message log, shows the whole log, puts the caret at its end and scrolls
  // it into view.
  virtual void AppendLog(std::string_view text) = 0;
  // Appends to the message log and shows the whole log, without moving the caret.
  virtual void AppendLogNoScroll(std::string_view text) = 0;
  // The drive list's current selection, -1 when nothing is selected.
  virtual int SelectedDriveIndex() = 0;
  // Modal OK/Cancel box with the exclamation icon, owned by the dialog; true unless the
  // user chose Cancel.
  virtual bool AskOkCancel(std::string_view text, std::string_view caption) = 0;
  // Inserts text into the drive list at position index (from DriveListReceiver):
  // void AddDrive(int index, std::string_view text);
  // Makes item index the drive list's selection.
  virtual void SelectDrive(int index) = 0;
  // The first byte of drive table slot index.
  virtual char DriveLetter(int index) = 0;

  // Drive-list index of the drive that the last region report read; -1 before any.
  virtual int LastReportedIndex() const = 0;
  virtual void SetLastReportedIndex(int index) = 0;
};

// The platform's wait of the readiness loop.
class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void SleepMilliseconds(int milliseconds) = 0;
};

}  // namespace varden
