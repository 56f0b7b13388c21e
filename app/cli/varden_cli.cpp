// varden-cli: the region report and the region change on the command line, for scripts and
// machines without a desktop. The main function only wires the parts: the command line, the
// language, and the command.
#include <exception>
#include <iostream>

#include "app/cli/cli.h"
#include "text/linux/locale_code_page.h"

int main(int argc, char** argv) {
  using namespace varden::cli;
  namespace text = varden::text;
  Options options;
  Console err(std::cerr);
  if (const std::optional<std::string> error = ParseCommandLine(argc, argv, options)) {
    return Refuse(err, options, kExitUsage, *error);
  }
  // The language for the run, as the dialog decides it, before any text is looked up:
  // Japanese in the terminal's own character set, or English where that set cannot hold it.
  // The usage is English and shown as it is.
  const bool help = options.command == Command::kHelp;
  if (!help) {
    text::DecideLanguage(text::LocaleCodePage());
    if (text::JapaneseMode() && !UseLocaleCharset(AllTexts())) {
      text::DecideLanguage(text::kUsCodePage);
    }
  }
  if (help || options.command == Command::kVersion) {
    const std::string version =
        text::Format(text::Key::FMT_VERSION, VARDEN_VERSION_MAJOR, VARDEN_VERSION_MINOR);
    const std::string shown = help ? UsageText() : "varden-cli (" + version + ")\n";
    if (!options.json) std::cout << ForTerminal(shown);
    return End(options, {{help ? "usage" : "version", shown}}, kExitOk);
  }
  // Nothing in the drive path throws; what can (memory, the terminal, the file system)
  // ends the program with a line on standard error instead of an abort.
  try {
    return RunCommand(options);
  } catch (const std::exception& error) {
    return Refuse(err, options, kExitDriveFailed, error.what());
  }
}
