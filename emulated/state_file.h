// The emulated drives' state kept in a file, so that a program on emulated drives keeps the
// region and the change count across runs, as a real drive does.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "emulated/emulated_drive.h"

namespace varden::emulated {

struct LoadResult {
  bool ok = false;
  std::string error;  // names the file and what is wrong with it
  std::vector<DriveState> drives;
};

// Reads the state file. A missing, unreadable or damaged file answers ok = false with a
// clear error; the file is left as it is.
LoadResult LoadState(const std::filesystem::path& file);

// Writes the state: a new file beside the old one, flushed, then renamed over it, so that an
// interrupted save never leaves a half-written file. Answers false with `error` set on failure.
// The drives are first checked as LoadState checks them, so that no file is written that
// could not be read back; the folders leading to the file are created. A link is written
// through: the file it points at is replaced and the link stays. The replaced file's mode
// (and, for the superuser, its owner) is kept; a new file is readable by its owner only.
// SIGINT, SIGTERM and SIGHUP wait until the save is over. Temporary files that earlier saves
// of the file left behind (their process ended) are removed.
bool SaveState(const std::filesystem::path& file, const std::vector<DriveState>& drives,
               std::string& error);

// Where a save stops when a test plays an interruption (a crash, a power cut): the new file is
// left as it stands beside the old one, which is not replaced, and the save answers false.
enum class SaveStop { kNever, kAfterHalfTheText, kBeforeRename };
bool SaveState(const std::filesystem::path& file, const std::vector<DriveState>& drives,
               std::string& error, SaveStop stop);

// Sixteen hexadecimal digits derived from a name, to tell long names with one start apart.
std::string Fingerprint(const std::string& name);

// The file that a save of `file` replaces: `file` itself, or the end of its chain of links.
std::filesystem::path LinkTarget(const std::filesystem::path& file);

// The state file's text for the drives, as a save writes it.
std::string StateText(const std::vector<DriveState>& drives);

// Whether a save of `file` can succeed, checked before a drive is changed: the file is not
// read-only (a file without any write permission counts as read-only even for the
// superuser) and a new file can be created beside it. Answers an empty text, or what stands
// in the way, naming the file.
std::string CheckWritable(const std::filesystem::path& file);

// Text from a file or a drive made safe for a terminal: control characters and bytes that
// are no UTF-8 character are shown as codes (\u001B, \xFF), and text longer than
// `max_bytes` is cut at a character boundary and ends in "...".
std::string ShownText(std::string_view text, std::size_t max_bytes = std::string_view::npos);

// The demo's drives: a drive with no region, five changes and an unprotected disc; a drive of
// region 2 with a protected disc that permits regions 2 and 4; a drive without a disc; a
// drive whose region is permanent; a drive of another maker that is not listed.
std::vector<DriveState> DemoScenario();

// Where the demo keeps its state: $XDG_STATE_HOME/varden/drives.json, or
// ~/.local/state/varden/drives.json (the home folder from HOME, or from the user database
// when HOME is empty or relative). An empty path when there is no home folder at all.
std::filesystem::path DefaultStateFile();

}  // namespace varden::emulated
