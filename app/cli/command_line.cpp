#include "app/cli/command_line.h"

#include <cctype>
#include <system_error>
#include <vector>

#include "drive/region_commands.h"

namespace varden::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kEndOfOptions = "--";
constexpr std::string_view kLongPrefix = "--";
constexpr std::string_view kJsonOption = "--json";
constexpr std::string_view kYesOption = "--yes";
constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersionOption = "--version";
constexpr std::string_view kEmulatedOption = "--emulated";
constexpr char kValueSeparator = '=';
constexpr char kYesLetter = 'y';
constexpr char kHelpLetter = 'h';

constexpr std::string_view kTryHelp = "; see 'varden-cli --help'";
constexpr std::string_view kCommandForms = "use 'list', 'report [DRIVE]' or 'set DRIVE REGION'";

struct CommandForm {
  std::string_view name;
  Command command;
  std::string_view form;  // as the usage writes it
  std::size_t min_operands;
  std::size_t max_operands;
};

constexpr CommandForm kCommands[] = {
    {"list", Command::kList, "list", 0, 0},
    {"report", Command::kReport, "report [DRIVE]", 0, 1},
    {"set", Command::kSet, "set DRIVE REGION", 2, 2},
};

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

// A long option written with one dash ("-yes", "-json", "-emulated=f"): the usual slip.
bool IsLongOptionWithOneDash(std::string_view word) {
  const std::string_view doubled = word.substr(1);
  for (const std::string_view name :
       {kJsonOption, kYesOption, kHelpOption, kVersionOption, kEmulatedOption}) {
    if (doubled.starts_with(name.substr(kLongPrefix.size()))) return true;
  }
  return false;
}

std::string Quoted(std::string_view word) {
  return "'" + std::string(word) + "'";
}

// Reads the words into options and operands; answers the first mistake.
class Parser {
 public:
  explicit Parser(ParseResult& result) : result_(result) {}

  std::optional<std::string> ReadWords(std::span<const std::string_view> args) {
    bool options_ended = false;
    for (const std::string_view word : args) {
      // "" and "-" are operands, as is everything after "--".
      if (options_ended || word.size() < 2 || word.front() != '-') {
        operands_.push_back(word);
      } else if (word == kEndOfOptions) {
        options_ended = true;
      } else if (std::optional<std::string> error = ReadOption(word)) {
        return error;
      }
    }
    return std::nullopt;
  }

  std::optional<std::string> ReadOption(std::string_view word) {
    if (word == kJsonOption) {
      options_.json = true;
    } else if (word == kYesOption) {
      options_.yes = true;
    } else if (word == kHelpOption) {
      help_ = true;
    } else if (word == kVersionOption) {
      version_ = true;
    } else if (word.starts_with(kEmulatedOption) &&
               (word.size() == kEmulatedOption.size() ||
                word[kEmulatedOption.size()] == kValueSeparator)) {
      return ReadEmulated(word);
    } else if (word.starts_with(kLongPrefix)) {
      return "unknown option " + Quoted(word) + std::string(kTryHelp);
    } else {
      // A cluster of one-letter flags: -y, -h, -yh.
      for (const char letter : word.substr(1)) {
        if (letter == kYesLetter) {
          options_.yes = true;
        } else if (letter == kHelpLetter) {
          help_ = true;
        } else {
          const std::string hint =
              IsLongOptionWithOneDash(word) ? " (did you mean '-" + std::string(word) + "'?)" : "";
          return "unknown option " + Quoted(word) + hint + std::string(kTryHelp);
        }
      }
    }
    return std::nullopt;
  }

  std::optional<std::string> ReadEmulated(std::string_view word) {
    if (options_.emulated) return "--emulated is given twice: give it once";
    options_.emulated = true;
    if (word.size() == kEmulatedOption.size()) {
      bare_emulated_before_ = operands_.size();
      return std::nullopt;
    }
    const std::string_view file = word.substr(kEmulatedOption.size() + 1);
    if (file.empty()) {
      return "--emulated= needs a state file name; write --emulated alone for the demo's file";
    }
    std::error_code ec;
    if (file.back() == '/' || fs::is_directory(fs::path(file), ec)) {
      return Quoted(file) + " is a folder: write --emulated=FILE with the state file's name";
    }
    options_.state_file = fs::path(file);
    return std::nullopt;
  }

  // The command and its operands, each checked for that command alone.
  std::optional<std::string> ReadOperands() {
    if (operands_.empty()) {
      return "no command given: " + std::string(kCommandForms) + std::string(kTryHelp);
    }
    const std::string_view word = operands_.front();
    const CommandForm* command = nullptr;
    for (const CommandForm& candidate : kCommands) {
      if (word == candidate.name) command = &candidate;
    }
    if (command == nullptr) {
      if (word.empty() && bare_emulated_before_ == 0) {
        return "an empty word stands where the command goes; to name a state file, write "
               "--emulated=FILE";
      }
      return "unknown command " + Quoted(word) + ": " + std::string(kCommandForms);
    }
    options_.command = command->command;
    result_.command = command->command;

    const std::span<const std::string_view> rest = std::span(operands_).subspan(1);
    const std::string write = ": write 'varden-cli " + std::string(command->form) + "'";
    if (rest.size() > command->max_operands) {
      return Quoted(rest[command->max_operands]) + " is not an operand of '" +
             std::string(command->name) + "'" + write + std::string(kTryHelp);
    }
    if (rest.size() < command->min_operands) {
      return "too few operands" + write + std::string(kTryHelp);
    }
    if (!rest.empty()) {
      options_.drive = ParseDriveLetter(rest[0]);
      if (!options_.drive) {
        return Quoted(rest[0]) +
               " is not a drive letter: write it as E, e or E: (see 'varden-cli list')";
      }
    }
    if (rest.size() > 1) {
      const std::optional<int> region = ParseRegion(rest[1]);
      if (!region) return Quoted(rest[1]) + " is not a region: give a number from 1 to 6";
      options_.region = *region;
    }
    return std::nullopt;
  }

  bool help_ = false;
  bool version_ = false;
  Options options_;

 private:
  ParseResult& result_;
  std::vector<std::string_view> operands_;
  std::optional<std::size_t> bare_emulated_before_;  // operands read before a bare --emulated
};

}  // namespace

ParseResult ParseCommandLine(std::span<const std::string_view> args) {
  ParseResult result;
  // The refusal of a line is a JSON document too when --json stands anywhere among the options.
  for (const std::string_view word : args) {
    if (word == kEndOfOptions) break;
    result.json = result.json || word == kJsonOption;
  }
  Parser parser(result);
  std::optional<std::string> error = parser.ReadWords(args);
  if (!error && (parser.help_ || parser.version_)) {
    parser.options_.command = parser.help_ ? Command::kHelp : Command::kVersion;
    result.options = parser.options_;
    return result;
  }
  if (!error) error = parser.ReadOperands();
  if (error) {
    result.error = std::move(*error);
  } else {
    result.options = parser.options_;
  }
  return result;
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
