#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <span>
#include <system_error>
#include <vector>

#include "app/cli/cli.h"
#include "drive/region_commands.h"

namespace varden::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kEndOfOptions = "--";
constexpr std::string_view kTryHelp = "; see 'varden-cli --help'";
constexpr std::string_view kCommandForms = "use 'list', 'report [DRIVE]' or 'set DRIVE REGION'";

// getopt_long's answers: a letter for -y and -h, these for the long options alone, and 1 for
// an operand ("-" first in the short options: every word in order, operands included).
enum Scanned : int { kOperand = 1, kJson = 0x100, kVersion, kEmulated, kUnknown = '?' };
constexpr const char* kShortOptions = "-yh";
constexpr option kLongOptions[] = {{"json", no_argument, nullptr, kJson},
                                   {"yes", no_argument, nullptr, 'y'},
                                   {"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, kVersion},
                                   {"emulated", optional_argument, nullptr, kEmulated},
                                   {nullptr, 0, nullptr, 0}};

struct CommandForm {
  std::string_view name;
  Command command;
  std::string_view form;  // as the usage writes it
  std::size_t min_operands, max_operands;
};

constexpr CommandForm kCommands[] = {
    {"list", Command::kList, "list", 0, 0},
    {"report", Command::kReport, "report [DRIVE]", 0, 1},
    {"set", Command::kSet, "set DRIVE REGION", 2, 2},
};

std::string Quoted(std::string_view word) {
  return "'" + std::string(word) + "'";
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

// The mistake in an option word: one unknown, or a long option shortened (getopt_long takes
// "--js" for "--json"; the usage promises only whole names).
std::string UnknownOption(std::string_view word) {
  std::string hint;
  for (const option& known : kLongOptions) {
    // A long option written with one dash ("-yes", "-emulated=f"): the usual slip.
    if (known.name != nullptr && !word.starts_with(kEndOfOptions) &&
        word.substr(1).starts_with(known.name)) {
      hint = " (did you mean '-" + std::string(word) + "'?)";
    }
  }
  return "unknown option " + Quoted(word) + hint + std::string(kTryHelp);
}

std::optional<std::string> ReadEmulated(const char* value, Options& options) {
  if (options.emulated) return "--emulated is given twice: give it once";
  options.emulated = true;
  if (value == nullptr) return std::nullopt;
  const std::string_view file = value;
  if (file.empty()) {
    return "--emulated= needs a state file name; write --emulated alone for the demo's file";
  }
  std::error_code ec;
  if (file.back() == '/' || fs::is_directory(fs::path(file), ec)) {
    return Quoted(file) + " is a folder: write --emulated=FILE with the state file's name";
  }
  options.state_file = fs::path(file);
  return std::nullopt;
}

// The command and its operands, each checked for that command alone.
std::optional<std::string> ReadOperands(std::span<const std::string> operands,
                                        bool bare_emulated_first, Options& options) {
  if (operands.empty()) {
    return "no command given: " + std::string(kCommandForms) + std::string(kTryHelp);
  }
  const std::string_view word = operands.front();
  const auto* command = std::ranges::find(kCommands, word, &CommandForm::name);
  if (command == std::end(kCommands)) {
    if (word.empty() && bare_emulated_first) {
      return "an empty word stands where the command goes; to name a state file, write "
             "--emulated=FILE";
    }
    return "unknown command " + Quoted(word) + ": " + std::string(kCommandForms);
  }
  options.command = command->command;
  options.name = command->name;

  const std::span<const std::string> rest = operands.subspan(1);
  const std::string write = ": write 'varden-cli " + std::string(command->form) + "'";
  if (rest.size() > command->max_operands) {
    return Quoted(rest[command->max_operands]) + " is not an operand of '" +
           std::string(command->name) + "'" + write + std::string(kTryHelp);
  }
  if (rest.size() < command->min_operands)
    return "too few operands" + write + std::string(kTryHelp);
  if (!rest.empty()) {
    options.drive = ParseDriveLetter(rest[0]);
    if (!options.drive) {
      return Quoted(rest[0]) +
             " is not a drive letter: write it as E, e or E: (see 'varden-cli list')";
    }
  }
  if (rest.size() > 1) {
    const int region = rest[1].size() == 1 ? rest[1][0] - '0' : 0;
    if (region < kFirstRegion || region > kLastRegion) {
      return Quoted(rest[1]) + " is not a region: give a number from 1 to 6";
    }
    options.region = region;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseCommandLine(int argc, char** argv, Options& options) {
  // The refusal of a line is a JSON document too when --json stands anywhere among the options.
  for (int i = 1; i < argc && argv[i] != kEndOfOptions; ++i) {
    options.json = options.json || argv[i] == std::string_view("--json");
  }
  std::vector<std::string> operands;
  bool help = false, version = false;
  bool bare_emulated_first = false;  // "--emulated" without a file before any operand
  optind = 0;                        // a fresh scan
  opterr = 0;
  for (;;) {
    const int at = std::max(optind, 1);  // the word being read
    int index = -1;
    int got = getopt_long(argc, argv, kShortOptions, kLongOptions, &index);
    if (got == -1) break;
    const std::string_view word = at < argc ? argv[at] : "";
    if (index >= 0 && word.substr(2, word.find('=') - 2) != kLongOptions[index].name)
      got = kUnknown;
    if (got == kUnknown) return UnknownOption(word);
    if (got == kOperand) operands.emplace_back(optarg);
    options.yes = options.yes || got == 'y';
    help = help || got == 'h';
    version = version || got == kVersion;
    if (got == kEmulated) {
      if (optarg == nullptr && operands.empty()) bare_emulated_first = true;
      if (std::optional<std::string> error = ReadEmulated(optarg, options)) return error;
    }
  }
  operands.insert(operands.end(), argv + std::min(optind, argc), argv + argc);
  if (!help && !version) return ReadOperands(operands, bare_emulated_first, options);
  options.command = help ? Command::kHelp : Command::kVersion;
  return std::nullopt;
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
  --json                Write one JSON document to standard output instead of text,
                        whatever the outcome.
  -y, --yes             Answer yes to the confirmation questions of 'set'.
  --emulated[=FILE]     Work on the emulated drives kept in FILE (default: the demo's state
                        file, created with the demo drives when missing) instead of the
                        real drives; a change is saved back to FILE.
  -h, --help            Show this help.
  --version             Show the version.
  --                    End the options: what follows is the command and its operands.

Exit status: 0 success; 1 the drive operation failed or was not confirmed (the log says
why), or a device node could not be opened for lack of permission; 2 bad usage.

See varden-cli(1) for the JSON document and more.
)";
}

}  // namespace varden::cli
