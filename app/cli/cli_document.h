// The JSON document of --json: one object on standard output, for every outcome, bad usage
// included. Its shape is app/cli/varden-cli.schema.json: stable; new fields may be added, none
// is renamed or removed. Every document has "command", "ok", "exit_status" and "error"; a
// document of bad usage (or of a fault outside the commands) has nothing more; the others
// have every field of their command, null where the run did not get that far.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/command_line.h"
#include "drive/linux/sg_device.h"
#include "region/drive_scan.h"

namespace varden::cli {

using Json = nlohmann::json;

// The document on standard output, UTF-8 whatever the locale. Drive identification bytes
// need not be UTF-8; such bytes are replaced, never thrown on.
void Print(const Json& doc);

// The document of a line that was not carried out: bad usage, or a fault outside the commands.
Json BareDocument(Command command, int status, const std::string& error);

// The command's document, every field of the command null (or empty) until it is known.
Json CommandDocument(const Options& options, const std::vector<linux_sg::RefusedNode>& refused,
                     int status, const std::optional<std::string>& error);

// The drive at `index` of the table.
Json DriveJson(const DriveTable& table, int index);

}  // namespace varden::cli
