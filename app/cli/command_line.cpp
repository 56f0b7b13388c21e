#include "app/cli/command_line.h"

#include <cctype>
#include <vector>

#include "drive/region_commands.h"

namespace varden::cli {
namespace {

constexpr std::string_view kEmulatedOption = "--emulated";
constexpr std::string_view kEmulatedWithFile = "--emulated=";
constexpr std::string_view kEndOfOptions = "--";

constexpr std::string_view kTryHelp = "; see 'varden-cli --help'";

struct CommandName {
  std::string_view name;
  Command command;
  std::size_t min_operands;
  std::size_t max_operands;
};

constexpr CommandName kCommands[] = {
    {"list", Command::kList, 0, 0},
    {"report", Command::kReport, 0, 1},
    {"set", Command::kSet, 2, 2},
};

ParseResult Fail(std::string message) {
  ParseResult result;
  result.error = std::move(message);
  return result;
}

// Applies one option to `options`. Answers false when it is not an option of this program.
bool ApplyOption(std::string_view arg, Options& options, bool& help, bool& version,
                 std::string& error) {
  if (arg == "--json") {
    options.json = true;
  } else if (arg == "--yes" || arg == "-y") {
    options.yes = true;
  } else if (arg == "--help" || arg == "-h") {
    help = true;
  } else if (arg == "--version") {
    version = true;
  } else if (arg == kEmulatedOption) {
    options.emulated = true;
    options.state_file.clear();
  } else if (arg.starts_with(kEmulatedWithFile)) {
    const std::string_view file = arg.substr(kEmulatedWithFile.size());
    if (file.empty()) {
      error = "--emulated= needs a state file name; write --emulated alone for the demo's file";
      return false;
    }
    options.emulated = true;
    options.state_file = std::filesystem::path(std::string(file));
  } else {
    error = "unknown option '" + std::string(arg) + "'" + std::string(kTryHelp);
    return false;
  }
  return true;
}

}  // namespace

std::optional<char> ParseDriveLetter(std::string_view text) {
  if (text.size() == 2 && text[1] == ':') text.remove_suffix(1);
  if (text.size() != 1) return std::nullopt;
  const auto c = static_cast<unsigned char>(text[0]);
  // Only ASCII letters: isalpha would also take the locale's letters.
  if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return std::nullopt;
  return static_cast<char>(std::toupper(c));
}

std::optional<int> ParseRegion(std::string_view text) {
  if (text.size() != 1) return std::nullopt;
  const int region = text[0] - '0';
  if (region < kFirstRegion || region > kLastRegion) return std::nullopt;
  return region;
}

ParseResult ParseCommandLine(std::span<const std::string_view> args) {
  Options options;
  bool help = false;
  bool version = false;
  bool options_ended = false;
  std::vector<std::string_view> words;  // the command and its operands
  for (const std::string_view arg : args) {
    if (!options_ended && arg == kEndOfOptions) {
      options_ended = true;
    } else if (!options_ended && arg.size() > 1 && arg.front() == '-') {
      std::string error;
      if (!ApplyOption(arg, options, help, version, error)) return Fail(error);
    } else {
      words.push_back(arg);
    }
  }

  if (help) {
    options.command = Command::kHelp;
    return {options, {}};
  }
  if (version) {
    options.command = Command::kVersion;
    return {options, {}};
  }
  if (words.empty()) {
    return Fail("no command given: use 'list', 'report [DRIVE]' or 'set DRIVE REGION'" +
                std::string(kTryHelp));
  }

  const CommandName* command = nullptr;
  for (const CommandName& candidate : kCommands) {
    if (candidate.name == words.front()) command = &candidate;
  }
  if (command == nullptr) {
    return Fail("unknown command '" + std::string(words.front()) +
                "': use 'list', 'report [DRIVE]' or 'set DRIVE REGION'");
  }
  options.command = command->command;
  const std::span<const std::string_view> operands(words.begin() + 1, words.end());
  if (operands.size() < command->min_operands || operands.size() > command->max_operands) {
    const std::string form = command->command == Command::kList     ? "list"
                             : command->command == Command::kReport ? "report [DRIVE]"
                                                                    : "set DRIVE REGION";
    return Fail("wrong number of operands: write 'varden-cli " + form + "'" +
                std::string(kTryHelp));
  }

  if (!operands.empty()) {
    const std::optional<char> drive = ParseDriveLetter(operands[0]);
    if (!drive) {
      return Fail("'" + std::string(operands[0]) +
                  "' is not a drive letter: write it as E, e or E: (see 'varden-cli list')");
    }
    options.drive = drive;
  }
  if (operands.size() > 1) {
    const std::optional<int> region = ParseRegion(operands[1]);
    if (!region) {
      return Fail("'" + std::string(operands[1]) + "' is not a region: give a number from 1 to 6");
    }
    options.region = *region;
  }
  return {options, {}};
}

std::string UsageText() {
  return R"(Usage: varden-cli [OPTIONS] COMMAND [OPERANDS]

Shows and changes the DVD region of the maker's DVD-ROM drives (RPC Phase II).

Commands:
  list                  List the drives found, one line each: the drive letter and the
                        drive's identification.
  report [DRIVE]        Report the region state of DRIVE (default: the first drive found)
                        and of the disc in it.
  set DRIVE REGION      Set the region of DRIVE to REGION (1 to 6). The drive allows only
                        a few changes; the last one makes the region permanent. Asks for
                        confirmation before anything is sent.

DRIVE is a drive letter as 'list' shows it: E, e or E:.

Options:
  --json                Write one JSON document to standard output instead of text.
  -y, --yes             Answer yes to the confirmation questions of 'set'.
  --emulated[=FILE]     Work on the emulated drives kept in FILE (default: the demo's state
                        file, created with the demo drives when missing) instead of the
                        real drives; a change is saved back to FILE.
  -h, --help            Show this help.
  --version             Show the version.

Exit status: 0 success, 1 the drive operation failed or was not confirmed (the log says
why), 2 bad usage.

See varden-cli(1) for the JSON document and more.
)";
}

}  // namespace varden::cli
