// The emulated drives' state kept in a file, so that a program on emulated drives keeps the
// region and the change count across runs, as a real drive does.
#pragma once

#include <filesystem>
#include <string>
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
// could not be read back; the folders leading to the file are created.
bool SaveState(const std::filesystem::path& file, const std::vector<DriveState>& drives,
               std::string& error);

// Where a save stops when a test plays an interruption (a crash, a power cut): the new file is
// left as it stands beside the old one, which is not replaced, and the save answers false.
enum class SaveStop { kNever, kAfterHalfTheText, kBeforeRename };
bool SaveState(const std::filesystem::path& file, const std::vector<DriveState>& drives,
               std::string& error, SaveStop stop);

// The demo's drives: a drive with no region, five changes and an unprotected disc; a drive of
// region 2 with a protected disc that permits regions 2 and 4; a drive without a disc; a
// drive whose region is permanent; a drive of another maker that is not listed.
std::vector<DriveState> DemoScenario();

// Where the demo keeps its state: $XDG_STATE_HOME/varden/drives.json, or
// ~/.local/state/varden/drives.json.
std::filesystem::path DefaultStateFile();

}  // namespace varden::emulated
