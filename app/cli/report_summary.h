// The region logic's view of the dialog, kept as plain state for the command line, and what a
// command did as read back from it: the drive's state, the regions the dialog offers for a
// change, the disc's permitted regions, and how a change ended; as text, and as the REPORT
// object of the JSON document (app/cli/varden-cli.schema.json).
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <vector>

#include "app/cli/cli.h"
#include "drive/region_commands.h"
#include "region/drive_scan.h"
#include "region/region_view.h"
#include "ui/resources/resource.h"

namespace varden::cli {

// Which controls are disabled and checked, control texts, the selection and the log (each
// appended text kept as one piece, in order). The disc prompt is handed to `ask`.
class TerminalView : public RegionView {
 public:
  // One text appended to the log, and whether it was appended with AppendLog (the texts that
  // end an operation or belong to a report) or with AppendLogNoScroll (the waits).
  struct LogPiece {
    std::string text;
    bool scrolls = true;
  };
  explicit TerminalView(const DriveTable& table) : table_(table) {}

  std::function<bool(std::string_view text, std::string_view caption)> ask;
  std::function<void(std::string_view text)> log_sink;  // each log text as it is appended

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
    return ask && ask(text, caption);
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
    if (log_sink) log_sink(text);
  }

  const DriveTable& table_;
  std::map<int, bool> disabled_, checked_;  // as a dialog's controls start: all enabled
  std::map<int, std::string> texts_;
  std::vector<LogPiece> log_;
  int selected_ = -1;
  int last_reported_ = -1;
};

struct ReportSummary {
  bool drive_state_read = false;  // the drive was opened and REPORT KEY succeeded
  RpcStateBytes rpc_state;        // meaningful when drive_state_read
  std::string changes_left_text;  // the dialog's label, when drive_state_read
  std::vector<int> offered;       // regions whose radio button is enabled, ascending
  bool disc_read = false;         // READ DVD STRUCTURE succeeded
  DiscCopyrightBytes copyright;   // meaningful when disc_read
  std::vector<int> permitted;     // regions whose disc box the report enabled, ascending
  std::optional<int> region;      // when the drive's region mask names exactly one region
  bool rpc_phase2 = false;        // the drive was read and follows RPC Phase II
  bool permitted_known = false;   // the disc was read, its protection type understood
};

// Reads the report whose log texts start at `first_piece`: its failures by the catalogue's
// messages in the log (the operations tell them no other way), the rest from the controls and
// the kept answers.
ReportSummary Summarize(const TerminalView& view, std::size_t first_piece);

// How the region change whose log texts start at `first_piece` ended, by the one text it
// appended with AppendLog: "set", "send_failed", "permanent", "cancelled", "not_ready",
// "open_failed", "no_region_selected", "no_drive_selected" or "unknown"; and the piece after
// that text, where the change's final report begins.
struct ChangeEnd {
  std::string_view outcome;
  std::size_t report_piece;
};
ChangeEnd HowTheChangeEnded(const TerminalView& view, std::size_t first_piece);

std::string SummaryText(const ReportSummary& summary);  // lines, each ending in "\n"
Json SummaryJson(const ReportSummary& summary);
std::string RegionList(const std::vector<int>& regions);  // "2 4", or the text for none

}  // namespace varden::cli
