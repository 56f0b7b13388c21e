// What a region report left behind, read back from the view and the kept command answers:
// the drive's state, the regions the dialog offers for a change and the disc's permitted
// regions. Shown as a few text lines or as a JSON object.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
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
  // The disc's permitted regions are known: the disc was read and its protection type is
  // one the report understands.
  bool PermittedKnown() const;
};

// Reads the report whose log texts start at `first_piece` of the view's log. The report tells
// how its commands went only through the log, by the catalogue's messages, so the failures
// are recognised by those texts; the rest comes from the controls and the kept answers.
ReportSummary Summarize(const TerminalView& view, std::size_t first_piece);

// The summary as text lines, each ending in "\n", in the catalogue's language.
std::string SummaryText(const ReportSummary& summary);

// The summary as JSON:
//   "drive_state": {"read": bool, "rpc_state": "hex of RPC State bytes 4 to 7" | null,
//                   "type_code": 0-3 | null, "vendor_resets": 0-7 | null,
//                   "changes_left": 0-7 | null, "rpc_phase2": bool | null,
//                   "region_mask": 0-255 | null, "region": 1-6 | null}
//   "changes_left_text": the dialog's label | null,
//   "offered_regions": [1-6, ...],
//   "disc": {"read": bool, "cpst": 0-255 | null, "permitted_regions": [1-6, ...] | null}
// Every field but "read" is null when "read" is false; "region" is null also when the drive
// has no region or an invalid mask; "permitted_regions" is null also for an unknown CPST.
nlohmann::json SummaryJson(const ReportSummary& summary);

// "2 4", or the text for none.
std::string RegionList(const std::vector<int>& regions);

}  // namespace varden::cli
