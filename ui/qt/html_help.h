// Showing one topic of a compiled help file: the Linux stand-in for the platform's HTML Help call
// with "display topic". The help path has the form ".\kelvane.chm::/Varden.htm": the compiled
// help file, relative to the current directory, then "::" and the topic page inside the file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace varden::qt {

// A help path split into its compiled help file and its topic.
struct HelpPath {
  std::string file;   // the file as named, '\' turned into '/', a leading "./" removed
  std::string topic;  // the page inside the file, beginning with '/' (an anchor "#name" may follow)
  bool operator==(const HelpPath&) const = default;
};

// Splits `path` at its first "::". Backslashes count as folder separators in both halves, so the
// program's own form ".\kelvane.chm::/Varden.htm" and "./kelvane.chm::/Varden.htm" give the same
// answer; a topic without its leading '/' gets one. Nothing when there is no "::" or when the
// file or the topic page is empty.
std::optional<HelpPath> ParseHelpPath(std::string_view path);

// The folders in which a relative help file is looked for, in this order. An empty folder is
// skipped.
struct HelpSearchDirs {
  std::filesystem::path current;     // the current directory
  std::filesystem::path executable;  // the folder of the running program
  std::filesystem::path data;        // Varden's installed data folder
};

// The help file that `file` names: an absolute name as it is, a relative one under the first of
// the search folders that holds it. Only regular files (or links to them) count. Nothing when no
// candidate exists.
std::optional<std::filesystem::path> ResolveHelpFile(std::string_view file,
                                                     const HelpSearchDirs& dirs);

// This run's search folders: the current directory, the folder of the program
// (QCoreApplication::applicationDirPath) and the data folder the build was configured with.
HelpSearchDirs DefaultHelpSearchDirs();

// Shows the topic that `path` names in a help window of its own: not modal, owned by `caller`
// (it stays above it and goes with it) and deleted when it is closed. When `caller` already has
// a help window of the same file open, that window turns to the topic and comes to the front.
// Answers the help window, or nullptr when the path is malformed, the file is not found or is no
// compiled help file, or the file lacks the topic; then nothing is shown.
QWidget* HtmlHelp(QWidget* caller, std::string_view path);

}  // namespace varden::qt
