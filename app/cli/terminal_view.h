// The region logic's view of the dialog, kept as plain state for the command line: which
// controls are disabled and checked, control texts, the selection and the log (each appended
// text kept as one piece, in order). The disc prompt is handed to the caller.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "drive/region_commands.h"
#include "region/drive_scan.h"
#include "region/region_view.h"
#include "ui/resources/resource.h"

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

  TerminalView(const DriveTable& table, AskFunction ask) : table_(table), ask_(std::move(ask)) {}

  void SetLogSink(LogSink sink) { sink_ = std::move(sink); }
  // What the user does in the dialog: checks a region's radio button, unchecking the others.
  void ChooseRegion(int region) {
    for (int n = kFirstRegion; n <= kLastRegion; ++n) {
      SetCheck(kRegionButton[n - kFirstRegion], n == region);
    }
  }

  bool IsEnabled(int id) const { return !disabled_.contains(id) || !disabled_.at(id); }
  std::string ControlText(int id) const { return texts_.contains(id) ? texts_.at(id) : ""; }
  const std::vector<LogPiece>& LogPieces() const { return log_; }
  std::string LogText() const {  // the whole log, its "\r\n" line ends as "\n"
    std::string text;
    for (const LogPiece& piece : log_) text += piece.text;
    for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
      text.erase(at, 1);
    }
    return text;
  }

  // RegionView
  void AddDrive(int, std::string_view) override {}  // the drive table is the list
  void EnableControl(int id, bool on) override { disabled_[id] = !on; }
  void SetCheck(int id, bool on) override { checked_[id] = on; }
  void SetHighlight(int) override {}  // a highlight shows nothing on a terminal
  bool IsChecked(int id) override { return checked_[id]; }
  void SetControlText(int id, std::string_view text) override { texts_[id] = text; }
  void AppendLog(std::string_view text) override { Append(text, true); }
  void AppendLogNoScroll(std::string_view text) override { Append(text, false); }
  int SelectedDriveIndex() override { return selected_; }
  bool AskOkCancel(std::string_view text, std::string_view caption) override {
    return ask_ && ask_(text, caption);
  }
  void SelectDrive(int index) override { selected_ = index; }
  char DriveLetter(int index) override {
    if (index < 0 || static_cast<std::size_t>(index) >= table_.size()) return '\0';
    return table_[static_cast<std::size_t>(index)].Letter();
  }
  int LastReportedIndex() const override { return last_reported_; }
  void SetLastReportedIndex(int index) override { last_reported_ = index; }

 private:
  void Append(std::string_view text, bool scrolls) {
    log_.push_back({std::string(text), scrolls});
    if (sink_) sink_(text);
  }

  const DriveTable& table_;
  AskFunction ask_;
  LogSink sink_;
  std::map<int, bool> disabled_, checked_;  // as a dialog's controls start: all enabled
  std::map<int, std::string> texts_;
  std::vector<LogPiece> log_;
  int selected_ = -1;
  int last_reported_ = -1;
};

}  // namespace varden::cli
