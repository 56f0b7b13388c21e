// What a region report or a region change did, read back from the view it ran against: the
// drive's state, the regions the dialog offers for a change, the disc's permitted regions,
// and how a change ended. Shown as a few text lines or as a JSON object.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/terminal_view.h"
#include "drive/region_commands.h"

namespace varden::cli {

struct ReportSummary {
  bool drive_state_read = false;  // the drive was opened and REPORT KEY succeeded
  RpcStateBytes rpc_state;        // meaningful when drive_state_read
  std::string changes_left_text;  // the dialog's label, when drive_state_read
  std::vector<int> offered;       // regions whose radio button is enabled, ascending
  bool disc_read = false;         // READ DVD STRUCTURE succeeded
  DiscCopyrightBytes copyright;   // meaningful when disc_read
  std::vector<int> permitted;     // regions whose disc box the report enabled, ascending

  // The drive's region: set when the region mask names exactly one region.
  std::optional<int> Region() const;
  bool FollowsRpcPhaseII() const;
  // The disc was read and its protection type is one the report understands.
  bool PermittedKnown() const;
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

// The summary as text lines, each ending in "\n", in the catalogue's language.
std::string SummaryText(const ReportSummary& summary);

// The summary as the REPORT object of the JSON document, as varden-cli(1) describes it.
nlohmann::json SummaryJson(const ReportSummary& summary);

// "2 4", or the text for none.
std::string RegionList(const std::vector<int>& regions);

}  // namespace varden::cli
