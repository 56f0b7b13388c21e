// The drives the demo starts with, and where it keeps them.
#pragma once

#include <filesystem>
#include <vector>

#include "emulated/emulated_drive.h"

namespace varden::emulated {

// The demo's drives: a drive with no region, five changes and an unprotected disc; a drive of
// region 2 with a protected disc that permits regions 2 and 4; a drive without a disc; a
// drive whose region is permanent; a drive of another maker that is not listed.
std::vector<DriveState> DemoScenario();

// Where the demo keeps its state: $XDG_STATE_HOME/varden/drives.json, or
// ~/.local/state/varden/drives.json (the home folder from HOME, or from the user database
// when HOME is empty or relative). An empty path when there is no home folder at all.
std::filesystem::path DefaultStateFile();

}  // namespace varden::emulated
