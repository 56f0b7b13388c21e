// Where varden-cli's drives come from: the device nodes of the real drives, or the emulated
// drives of a state file. On a state file the command is one transaction: what it decides on
// is read under the same lock as the change it makes, and the lock is let go only while a
// person answers.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/cli/cli.h"
#include "drive/device_seam.h"
#include "drive/linux/sg_device.h"
#include "emulated/state_store.h"

namespace varden::cli {

class DriveSource {
 public:
  ~DriveSource() { Disconnect(); }

  // Makes the drives the options name the device seam; on a state file, begins the
  // transaction. Answers an error.
  std::optional<std::string> Connect(const Options& options);
  void Disconnect();  // ends the transaction and lets the seam go

  // Real drives only, after the scan: the nodes this user may not open, which the scan passes
  // by as if no drive were there.
  void FindRefused();
  std::vector<linux_sg::RefusedNode> refused;

  // Runs `ask`, letting the state file go meanwhile when it `asks` a person, and takes it again.
  // Answers what changed of drive `letter` meanwhile (another program used it), or nothing.
  std::optional<std::string> ChangedWhile(char letter, bool asks, const std::function<void()>& ask);

  // The first failure of the state file since Connect, or empty; and the failure to keep a
  // change that reached a drive.
  std::string StoreError() const { return emulated_ ? emulated_->Error() : std::string(); }
  std::optional<std::string> NotKept() const {
    return emulated_ ? emulated_->NotKept() : std::nullopt;
  }

 private:
  std::unique_ptr<DeviceSeam> seam_;
  emulated::StoredDrives* emulated_ = nullptr;  // the seam, when it is the emulated drives
};

}  // namespace varden::cli
