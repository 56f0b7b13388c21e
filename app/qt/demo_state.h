// The demo's emulated drives kept in a state file, so that they keep their regions and
// change counts from one run to the next as real drives do.
#pragma once

#include <filesystem>
#include <string>

#include "emulated/emulated_drive.h"

namespace varden::qt {

struct DemoOpen {
  bool ok = false;
  bool created = false;  // the file did not exist and was written with the demo's drives
  std::string error;     // when not ok: the file and what is wrong with it
};

// Loads the drives from `file` into `drives`. A missing file is created with the demo
// scenario; a file that exists but cannot be read or is damaged answers ok = false and is
// left untouched.
DemoOpen OpenDemoState(const std::filesystem::path& file, emulated::EmulatedDrives& drives);

// Writes the drives' state to `file`; false with `error` set when it cannot.
bool SaveDemoState(const std::filesystem::path& file, const emulated::EmulatedDrives& drives,
                   std::string& error);

}  // namespace varden::qt
