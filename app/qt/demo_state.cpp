#include "app/qt/demo_state.h"

#include <system_error>

#include "emulated/state_file.h"

namespace varden::qt {

DemoOpen OpenDemoState(const std::filesystem::path& file, emulated::EmulatedDrives& drives) {
  DemoOpen result;
  std::error_code failure;
  const bool exists = std::filesystem::exists(file, failure);
  if (failure) {
    result.error = file.string() + ": " + failure.message();
    return result;
  }
  if (!exists) {
    drives = emulated::EmulatedDrives(emulated::DemoScenario());
    std::filesystem::create_directories(file.parent_path(), failure);
    if (failure) {
      result.error = file.parent_path().string() + ": " + failure.message();
      return result;
    }
    if (!SaveDemoState(file, drives, result.error)) return result;
    result.ok = true;
    result.created = true;
    return result;
  }
  emulated::LoadResult loaded = emulated::LoadState(file);
  if (!loaded.ok) {
    result.error = loaded.error;
    return result;
  }
  drives = emulated::EmulatedDrives(std::move(loaded.drives));
  result.ok = true;
  return result;
}

bool SaveDemoState(const std::filesystem::path& file, const emulated::EmulatedDrives& drives,
                   std::string& error) {
  return emulated::SaveState(file, drives.Drives(), error);
}

}  // namespace varden::qt
