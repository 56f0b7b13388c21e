// The three commands of varden-cli (list, report, set) on the drives the options name: the
// same drive scan, region report and region change as the dialog, against a view that keeps
// the controls' state as plain data; the log and the state the dialog would show as text or
// as the JSON document.
#pragma once

#include "app/cli/command_line.h"

namespace varden::cli {

// Answers the exit status.
int RunCommand(const Options& options);

}  // namespace varden::cli
