// The region logic's view of the dialog, kept as plain state for the command line: the
// enabled and checked state of each control, control texts, the drive list, the
// selection and the log (each appended text kept as one piece, in order). The disc prompt is
// handed to the caller.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "region/drive_scan.h"
#include "region/region_view.h"

namespace varden::cli {

class TerminalView : public RegionView {
 public:
  // One text appended to the log, and whether it was appended with AppendLog (the texts that
  // end an operation or belong to a report) or with AppendLogNoScroll (the waits).
  struct LogPiece {
    std::string text;
    bool scrolls = true;
  };
  using AskFunction = std::function<bool(std::string_view text, std::string_view caption)>;
  using LogSink = std::function<void(std::string_view text)>;

  // `table` is the drive table the scan fills; it must outlive the view.
  TerminalView(const DriveTable& table, AskFunction ask);

  // Receives every appended log text as it is appended (for showing the log live).
  void SetLogSink(LogSink sink) { sink_ = std::move(sink); }

  // What the user does in the dialog: picks a drive, checks a region's radio button (which
  // unchecks the others of the group).
  void ChooseRegion(int region);

  bool IsEnabled(int id) const;
  const std::map<int, std::string>& ControlTexts() const { return texts_; }
  const std::vector<std::string>& DriveList() const { return drive_list_; }
  const std::vector<LogPiece>& LogPieces() const { return log_; }
  // The whole log as the dialog would hold it.
  std::string LogText() const;

  // RegionView
  void AddDrive(int index, std::string_view text) override;
  void EnableControl(int id, bool on) override;
  void SetCheck(int id, bool on) override;
  void SetHighlight(int id) override;
  bool IsChecked(int id) override;
  void SetControlText(int id, std::string_view text) override;
  void AppendLog(std::string_view text) override;
  void AppendLogNoScroll(std::string_view text) override;
  int SelectedDriveIndex() override { return selected_; }
  bool AskOkCancel(std::string_view text, std::string_view caption) override;
  void SelectDrive(int index) override { selected_ = index; }
  char DriveLetter(int index) override;
  int LastReportedIndex() const override { return last_reported_; }
  void SetLastReportedIndex(int index) override { last_reported_ = index; }

 private:
  struct ControlState {
    bool enabled = true;  // as a dialog's controls start
    bool checked = false;
  };

  void Append(std::string_view text, bool scrolls);

  const DriveTable& table_;
  AskFunction ask_;
  LogSink sink_;
  std::map<int, ControlState> controls_;
  std::map<int, std::string> texts_;
  std::vector<std::string> drive_list_;
  std::vector<LogPiece> log_;
  int selected_ = -1;
  int last_reported_ = -1;
};

}  // namespace varden::cli
