// The three commands of varden-cli (list, report, set) on the drives the options name: the
// dialog's drive scan, region report and region change against a view that keeps the
// controls' state as plain data, shown as text or as the JSON document.
#pragma once

#include <string>

#include "app/cli/command_line.h"
#include "app/cli/console.h"

namespace varden::cli {

// Runs the command of `options`; answers the exit status.
int RunCommand(const Options& options);

// A line that was not carried out: the message on standard error and, under --json, the bare
// document; answers `status`.
int Refuse(Console& err, const Options& options, int status, const std::string& message);

}  // namespace varden::cli
