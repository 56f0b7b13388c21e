#include "app/cli/command_line.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <vector>

#include "drive/region_commands.h"

namespace varden::cli {
namespace {

constexpr std::string_view kEmulatedWithoutFile = "--emulated=";
constexpr std::string_view kEndOfOptions = "--";

constexpr std::string_view kTryHelp = "; see 'varden-cli --help'";
constexpr std::string_view kCommandForms = "use 'list', 'report [DRIVE]' or 'set DRIVE REGION'";

struct CommandForm {
  std::string_view name;
  Command command;
  std::string_view form;  // as the usage writes it
  std::size_t min_operands;
};

constexpr CommandForm kCommands[] = {
    {"list", Command::kList, "list", 0},
    {"report", Command::kReport, "report [DRIVE]", 0},
    {"set", Command::kSet, "set DRIVE REGION", 2},
};

ParseResult Fail(std::string message) {
  ParseResult result;
  result.error = std::move(message);
  return result;
}

// "e", "E" or "E:" -> 'E'. Nothing for anything else.
std::optional<char> ParseDriveLetter(std::string_view text) {
  if (text.size() == 2 && text[1] == ':') text.remove_suffix(1);
  if (text.size() != 1) return std::nullopt;
  const auto c = static_cast<unsigned char>(text[0]);
  // Only ASCII letters: isalpha would also take the locale's letters.
  if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return std::nullopt;
  return static_cast<char>(std::toupper(c));
}

// "1" to "6" -> the region. Nothing for anything else.
std::optional<int> ParseRegion(std::string_view text) {
  if (text.size() != 1) return std::nullopt;
  const int region = text[0] - '0';
  if (region < kFirstRegion || region > kLastRegion) return std::nullopt;
  return region;
}

}  // namespace

ParseResult ParseCommandLine(std::span<const std::string_view> args) {
  // The parser reads "--emulated=" as the bare flag; here it is a state file name left out.
  for (const std::string_view arg : args) {
    if (arg == kEndOfOptions) break;
    if (arg == kEmulatedWithoutFile) {
      return Fail(
          "--emulated= needs a state file name; write --emulated alone for the demo's file");
    }
  }

  Options options;
  bool help = false;
  bool version = false;
  std::string state_file;
  CLI::App app;
  // Help and version are plain flags, so that an unknown option is told first, as for any
  // other option; the help text is this program's own.
  app.set_help_flag();
  app.allow_extras();  // what nobody takes is told below, in this program's words
  app.fallthrough();   // a command hands on the options it lacks: they may follow it
  app.require_subcommand(0, 1);
  app.add_flag("--json", options.json);
  app.add_flag("-y,--yes", options.yes);
  app.add_flag("-h,--help", help);
  app.add_flag("--version", version);
  // A flag takes a value only as --emulated=FILE, so `--emulated report E` is the report on
  // the default file; the bare flag gives the empty name, which stands for that file.
  const CLI::Option* emulated = app.add_flag("--emulated{}", state_file);

  // The operands: each is taken at most once, the rest is left unused.
  std::string drive;
  std::string region;
  app.add_subcommand("list");
  const CLI::Option* report_drive = app.add_subcommand("report")->add_option("DRIVE", drive);
  CLI::App* set = app.add_subcommand("set");
  const CLI::Option* set_drive = set->add_option("DRIVE", drive);
  const CLI::Option* set_region = set->add_option("REGION", region);

  std::vector<std::string> reversed(args.rbegin(), args.rend());  // the parser pops from the back
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    return Fail(e.what() + std::string(kTryHelp));
  }

  std::vector<std::string> unused;  // the words and options no command or option took
  for (std::string& word : app.remaining(true)) {
    if (word == kEndOfOptions) continue;
    if (word.size() > 1 && word.front() == '-') {
      return Fail("unknown option '" + word + "'" + std::string(kTryHelp));
    }
    unused.push_back(std::move(word));
  }

  if (help || version) {
    options.command = help ? Command::kHelp : Command::kVersion;
    return {options, {}};
  }

  const CommandForm* command = nullptr;
  for (const CommandForm& candidate : kCommands) {
    if (app.got_subcommand(std::string(candidate.name))) command = &candidate;
  }
  if (command == nullptr) {
    if (unused.empty()) {
      return Fail("no command given: " + std::string(kCommandForms) + std::string(kTryHelp));
    }
    return Fail("unknown command '" + unused.front() + "': " + std::string(kCommandForms));
  }
  options.command = command->command;
  const std::size_t given = report_drive->count() + set_drive->count() + set_region->count();
  if (!unused.empty() || given < command->min_operands) {
    return Fail("wrong number of operands: write 'varden-cli " + std::string(command->form) + "'" +
                std::string(kTryHelp));
  }

  if (given > 0) {
    options.drive = ParseDriveLetter(drive);
    if (!options.drive) {
      return Fail("'" + drive +
                  "' is not a drive letter: write it as E, e or E: (see 'varden-cli list')");
    }
  }
  if (set_region->count() > 0) {
    const std::optional<int> number = ParseRegion(region);
    if (!number) return Fail("'" + region + "' is not a region: give a number from 1 to 6");
    options.region = *number;
  }
  options.emulated = emulated->count() > 0;
  options.state_file = std::filesystem::path(state_file);
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
