// What a region report or a region change did, read back from the view it ran against. The
// operations tell how their commands went only through the log, by the catalogue's messages,
// and through the controls they enable; this is the one place that reads them, one question
// each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/terminal_view.h"

namespace varden::cli {

// Whether the report whose log texts start at `first_piece` read the drive's region state
// (the drive opened and REPORT KEY answered).
bool DriveStateWasRead(const TerminalView& view, std::size_t first_piece);

// Whether that report read the disc's copyright information.
bool DiscWasRead(const TerminalView& view, std::size_t first_piece);

// The regions the dialog offers for a change (their radio buttons enabled), ascending.
std::vector<int> OfferedRegions(const TerminalView& view);

// The regions the report marked as the disc's, ascending.
std::vector<int> DiscRegions(const TerminalView& view);

// The dialog's label of the changes left, as the report set it.
std::string ChangesLeftLabel(const TerminalView& view);

// How the region change whose log texts start at `first_piece` ended, by the one text it
// appended with AppendLog: "set", "send_failed", "permanent", "cancelled", "not_ready",
// "open_failed", "no_region_selected", "no_drive_selected" or "unknown"; and the piece after
// that text, where the change's final report begins.
struct ChangeEnd {
  std::string_view outcome;
  std::size_t report_piece;
};
ChangeEnd HowTheChangeEnded(const TerminalView& view, std::size_t first_piece);

}  // namespace varden::cli
