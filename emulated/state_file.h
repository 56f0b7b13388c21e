// The emulated drives' state kept in a file, so that a program on emulated drives keeps the
// region and the change count across runs, as a real drive does.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "emulated/atomic_file.h"
#include "emulated/demo_drives.h"
#include "emulated/emulated_drive.h"
#include "emulated/state_json.h"

namespace varden::emulated {

// Reads the state file (the file behind a link). A missing, unreadable or damaged file
// answers ok = false with a clear error naming the file; the file is left as it is.
LoadResult LoadState(const std::filesystem::path& file);

// Writes the state through ReplaceFile, into the file behind a link (the link stays). The
// drives are first checked as LoadState checks them, so that no file is written that could
// not be read back; the folders leading to the file are created. Answers false with `error`
// set, naming the file, on failure.
bool SaveState(const std::filesystem::path& file, const std::vector<DriveState>& drives,
               std::string& error, SaveStop stop = SaveStop::kNever);

// WhyNotWritable of the file behind `file`, naming `file`; empty when a save can succeed.
std::string CheckWritable(const std::filesystem::path& file);

}  // namespace varden::emulated
