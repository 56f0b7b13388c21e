// varden-demo.exe: the region tool on emulated drives, whose state is kept in
// %LOCALAPPDATA%\Varden\drives.json (created with the demo's drives on the first run), so
// that the region and the change count last from one run to the next as a drive's do.
// <windows.h> first: the other platform headers build on it.
// clang-format off
#include <windows.h>
// clang-format on

#include <shlobj.h>

#include <filesystem>
#include <string>
#include <utility>

#include "app/win32/region_app.h"
#include "drive/pass_through.h"
#include "drive/scsi_codes.h"
#include "emulated/emulated_drive.h"
#include "emulated/state_file.h"
#include "ui/win32/wide_text.h"

namespace {

namespace emulated = varden::emulated;
namespace fs = std::filesystem;

// The emulated drives, saved to the state file after every use that may have changed them.
class PersistingDrives final : public varden::DeviceSeam {
 public:
  PersistingDrives(std::vector<emulated::DriveState> drives, fs::path file)
      : drives_(std::move(drives)), file_(std::move(file)) {}

  bool Open(char letter, varden::DeviceHandle& handle) override {
    return drives_.Open(letter, handle);
  }
  bool QueryCapabilities(varden::DeviceHandle handle) override {
    return drives_.QueryCapabilities(handle);
  }
  bool QueryAddress(varden::DeviceHandle handle, varden::ScsiAddress& address) override {
    return drives_.QueryAddress(handle, address);
  }
  bool PassThrough(varden::DeviceHandle handle, std::span<std::uint8_t> block) override {
    // Only INQUIRY leaves a drive exactly as it was.
    if (block[varden::HostLayout::kCdb] != varden::scsi::kOpInquiry) changed_ = true;
    return drives_.PassThrough(handle, block);
  }
  void Close(varden::DeviceHandle handle) override {
    drives_.Close(handle);
    if (changed_) Save();
  }

  // What the user does when the disc prompt asks for a disc: one goes in (unprotected).
  void InsertDiscIfEmpty(char letter) {
    const emulated::DriveState* drive = drives_.Find(letter);
    if (drive == nullptr || drive->disc.present) return;
    emulated::Disc disc;
    disc.present = true;
    drives_.InsertDisc(letter, disc);
    changed_ = true;
  }

 private:
  void Save() {
    std::string error;
    // A failed save loses only this run's changes; the dialog carries on.
    emulated::SaveState(file_, drives_.Drives(), error);
    changed_ = false;
  }

  emulated::EmulatedDrives drives_;
  fs::path file_;
  bool changed_ = false;
};

fs::path StateFile() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) {
    return fs::path(L"drives.json");
  }
  return fs::path(folder) / L"Varden" / L"drives.json";
}

void ShowError(const std::string& text) {
  MessageBoxW(nullptr, varden::win32::Widen(text).c_str(), L"Varden demo", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const fs::path file = StateFile();
  std::vector<emulated::DriveState> drives;
  std::error_code missing;
  if (!fs::exists(file, missing)) {
    drives = emulated::DemoScenario();
    std::string error;
    if (!emulated::SaveState(file, drives, error)) {
      ShowError(error);
      return 1;
    }
  } else {
    emulated::LoadResult loaded = emulated::LoadState(file);
    if (!loaded.ok) {
      ShowError(loaded.error);
      return 1;
    }
    drives = std::move(loaded.drives);
  }

  PersistingDrives seam(std::move(drives), file);
  varden::win32::CRegionApp app(seam);
  app.SetDiscPromptHook([&seam](char letter) { seam.InsertDiscIfEmpty(letter); });
  return app.Run();
}
