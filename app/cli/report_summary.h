// What a command did, as text and as the JSON document of --json. A region report or a region
// change is read back from the view it ran against: the drive's state, the regions the dialog
// offers for a change, the disc's permitted regions, and how a change ended.
//
// The document is one object on standard output, for every outcome, bad usage included. Its
// shape is app/cli/varden-cli.schema.json: stable; new fields may be added, none is renamed
// or removed. Every document has "command", "ok", "exit_status" and "error"; a document of
// bad usage (or of a fault outside the commands) has nothing more; the others have every
// field of their command, null where the run did not get that far.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/command_line.h"
#include "app/cli/terminal_view.h"
#include "drive/linux/sg_device.h"
#include "drive/region_commands.h"
#include "region/drive_scan.h"

namespace varden::cli {

using Json = nlohmann::json;

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

// The summary as text lines, each ending in "\n", in the catalogue's language.
std::string SummaryText(const ReportSummary& summary);

// The summary as the REPORT object of the JSON document, as varden-cli(1) describes it.
Json SummaryJson(const ReportSummary& summary);

// "2 4", or the text for none.
std::string RegionList(const std::vector<int>& regions);

// The document on standard output, UTF-8 whatever the locale. Drive identification bytes
// need not be UTF-8; such bytes are replaced, never thrown on.
void Print(const Json& doc);

// The document of a line that was not carried out: bad usage, or a fault outside the commands.
Json BareDocument(const Options& options, int status, const std::string& error);

// The command's document, every field of the command null (or empty) until it is known.
Json CommandDocument(const Options& options, const std::vector<linux_sg::RefusedNode>& refused,
                     int status, const std::optional<std::string>& error);

Json DriveJson(const DriveTable& table, int index);

}  // namespace varden::cli
