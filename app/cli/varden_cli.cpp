// varden-cli: the region report and the region change on the command line, for scripts and
// machines without a desktop. The main function only wires the parts: the command line, the
// language, and the command.
#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/cli_document.h"
#include "app/cli/cli_texts.h"
#include "app/cli/command_line.h"
#include "app/cli/commands.h"
#include "app/cli/console.h"
#include "text/catalogue.h"
#include "text/linux/locale_code_page.h"

int main(int argc, char** argv) {
  using namespace varden::cli;
  const std::vector<std::string_view> args(argv + std::min(argc, 1), argv + argc);
  const ParseResult parsed = ParseCommandLine(args);
  Console err(std::cerr);
  if (!parsed.options) {
    ErrorLine(err, parsed.error);
    if (parsed.json) Print(BareDocument(parsed.command, kExitUsage, parsed.error));
    return kExitUsage;
  }
  const Options& options = *parsed.options;
  // --help and --version under --json: the usual four fields and the text as one more.
  const auto print_text = [&options](const char* field, const std::string& text) {
    if (!options.json) {
      std::cout << ForTerminal(text);
      return kExitOk;
    }
    Print({{"command", nullptr},
           {"ok", true},
           {"exit_status", kExitOk},
           {"error", nullptr},
           {field, text}});
    return kExitOk;
  };
  if (options.command == Command::kHelp) return print_text("usage", UsageText());

  // The language for the run, as the dialog decides it, before any text is looked up.
  varden::text::DecideLanguage(varden::text::LocaleCodePage());
  // Japanese in the terminal's own character set, or English where that set cannot hold it.
  std::string sample;
  for (const CliText* text : kAllTexts) sample += Text(*text);
  if (varden::text::JapaneseMode() && !UseLocaleCharset(sample)) {
    varden::text::DecideLanguage(varden::text::kUsCodePage);
  }
  if (options.command == Command::kVersion) {
    const std::string version = varden::text::Format(varden::text::Key::FMT_VERSION,
                                                     VARDEN_VERSION_MAJOR, VARDEN_VERSION_MINOR);
    return print_text("version", "varden-cli (" + version + ")\n");
  }
  // Nothing in the drive path throws; what can (memory, the terminal, the file system)
  // ends the program with a line on standard error instead of an abort.
  try {
    return RunCommand(options);
  } catch (const std::exception& error) {
    ErrorLine(err, error.what());
    if (options.json) Print(BareDocument(options.command, kExitDriveFailed, error.what()));
    return kExitDriveFailed;
  }
}
