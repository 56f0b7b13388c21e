#include "app/cli/drive_source.h"

#include <cstdlib>

#include "drive/drive_access.h"
#include "emulated/state_file.h"

namespace varden::cli {
namespace {

// Where the real drives' device nodes are, without their number; tests point it elsewhere.
std::string NodePrefix() {
  const char* prefix = std::getenv("VARDEN_NODE_PREFIX");
  return prefix != nullptr && *prefix != '\0' ? prefix : linux_sg::kDefaultNodePrefix;
}

}  // namespace

std::optional<std::string> DriveSource::Connect(const Options& options) {
  if (!options.emulated) {
    seam_ = std::make_unique<linux_sg::LinuxDevices>(NodePrefix());
    SetDeviceSeam(seam_.get());
    return std::nullopt;
  }
  const std::filesystem::path file =
      options.state_file.empty() ? emulated::DefaultStateFile() : options.state_file;
  if (file.empty()) return "no home folder for the state file; name one with --emulated=FILE";
  auto store = std::make_unique<emulated::StoredDrives>(file);
  // A change is refused here, before anything is sent, when it could not be kept.
  if (std::optional<std::string> error = store->Connect(options.command == Command::kSet)) {
    if (!store->Damaged()) return error;
    return *error +
           "; the file was left as it is: repair it, or remove it to start again from the demo "
           "drives";
  }
  if (std::optional<std::string> error = store->Begin()) return error;
  emulated_ = store.get();
  seam_ = std::move(store);
  SetDeviceSeam(seam_.get());
  return std::nullopt;
}

void DriveSource::Disconnect() {
  if (emulated_ != nullptr) emulated_->End();
  emulated_ = nullptr;
  if (seam_) SetDeviceSeam(nullptr);
  seam_.reset();
}

void DriveSource::FindRefused() {
  if (emulated_ == nullptr) refused = linux_sg::RefusedNodes(NodePrefix());
}

std::optional<std::string> DriveSource::ChangedWhile(char letter, bool asks,
                                                     const std::function<void()>& ask) {
  if (emulated_ == nullptr || !asks) {
    ask();
    return std::nullopt;
  }
  const std::optional<emulated::DriveState> before = emulated_->KeptState(letter);
  emulated_->End();
  ask();
  if (std::optional<std::string> error = emulated_->Begin()) return error;
  const std::optional<emulated::DriveState> after = emulated_->KeptState(letter);
  if (before && after && emulated::SameKeptState(*before, *after)) return std::nullopt;
  const std::string drive = "drive " + std::string(1, letter) + ":";
  if (!before || !after) return drive + " is gone";
  return drive + " was changed by another program (changes left " +
         std::to_string(before->user_changes) + " then, " + std::to_string(after->user_changes) +
         " now)";
}

}  // namespace varden::cli
