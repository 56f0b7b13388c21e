// The command line of varden-cli: one command (list, report, set) with its operands, and the
// options, which may stand before or after the command ("--" ends the options). Parsing
// knows nothing of drives; it only checks the form of what it is given, each command's
// operands for that command alone, and tells a mistake in one line that says what to do.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace varden::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitDriveFailed = 1;  // the drive operation failed; the log says why
inline constexpr int kExitUsage = 2;        // bad usage; nothing was sent to a drive

enum class Command { kList, kReport, kSet, kHelp, kVersion };

struct Options {
  Command command = Command::kHelp;
  std::string_view name;  // the command as written, once recognised: "list", "report", "set"
  bool json = false;
  bool yes = false;
  bool emulated = false;             // --emulated given
  std::filesystem::path state_file;  // empty: the demo's default state file
  std::optional<char> drive;         // upper case; nothing means the first drive found
  int region = 0;                    // set only: 1 to 6
};

// Reads the program's arguments into `options`; answers the mistake, in one line
// that says what to do. A line with a mistake still tells, for the JSON document of its
// refusal, whether --json was given and the command when one was recognised.
std::optional<std::string> ParseCommandLine(int argc, char** argv, Options& options);

std::string UsageText();

}  // namespace varden::cli
