// The state file's text: the drives written as JSON, and read back with every value checked.
#pragma once

#include <string>
#include <vector>

#include "emulated/emulated_drive.h"

namespace varden::emulated {

struct LoadResult {
  bool ok = false;
  std::string error;  // what is wrong with the text, and where in it
  std::vector<DriveState> drives;
};

// Reads the drives from a state file's text. Text from the file is escaped in the error.
LoadResult ParseState(const std::string& text);

// The state file's text for the drives, as a save writes it.
std::string StateText(const std::vector<DriveState>& drives);

// The first thing wrong with the drives (a letter twice, a count out of range), or an empty
// text: what ParseState refuses, so that no file is written that could not be read back.
std::string CheckDrives(const std::vector<DriveState>& drives);

}  // namespace varden::emulated
