// The emulated drives as several programs share them: the state file is the drives' memory,
// and every call through the device seam takes the file's lock, reads the drives' current
// state, applies the call and saves what it changed, so that two programs on one file see
// each other's changes as two programs on one real drive do.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "drive/device_seam.h"
#include "emulated/emulated_drive.h"

namespace varden::emulated {

// An exclusive advisory lock on the lock file beside the state file (the file behind a link,
// with ".lock" added). Writers of the state file hold it from reading to saving.
class StateLock {
 public:
  // How long a program waits for another one's command to end before it calls the file busy.
  static constexpr std::chrono::milliseconds kWait{3000};

  // Waits up to `wait` for the lock. Where no lock file can be made (a folder the user may
  // not write), nobody can save the state either, and reading goes on without one.
  explicit StateLock(const std::filesystem::path& state_file,
                     std::chrono::milliseconds wait = kWait);
  ~StateLock();
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;

  // Empty when held (or not needed), else why not, naming the file.
  const std::string& Error() const { return error_; }

  static std::filesystem::path LockFileOf(const std::filesystem::path& state_file);

 private:
  int fd_ = -1;
  std::string error_;
};

// The emulated drives of one state file behind the device seam.
class StoredDrives : public DeviceSeam {
 public:
  explicit StoredDrives(std::filesystem::path file);

  // Reads the file once, under the lock: a missing file is created with the demo's drives.
  // `will_change`: a command that changes a drive follows, so whatever would stop its save
  // (a read-only file, a folder where no new file can be made) is refused now, before
  // anything is sent. Answers the error, naming the file; nothing is changed then.
  std::optional<std::string> Connect(bool will_change);

  // Whether Connect failed on a file that exists but cannot be used (damaged, unreadable).
  bool Damaged() const { return damaged_; }
  // The first failure of a call since Connect (a busy or damaged file), or empty.
  const std::string& Error() const { return error_; }
  // Set when a change of region reached a drive but could not be saved: the call then failed
  // as a lost request does, and the drive stays as the file holds it.
  const std::optional<std::string>& NotKept() const { return not_kept_; }
  // Told of every failure as it happens (the demo writes them to standard error).
  void SetFailureSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }

  // Changes the drives as the file holds them, under the lock, and saves what changed (the
  // demo's hand that puts a disc in). False when the file cannot be read or the change kept.
  bool Apply(const std::function<void(EmulatedDrives&)>& change);

  // DeviceSeam: each call reads the file under its lock and saves what it changed.
  bool Open(char letter, DeviceHandle& handle) override;
  bool QueryCapabilities(DeviceHandle handle) override;
  bool QueryAddress(DeviceHandle handle, ScsiAddress& address) override;
  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override;
  void Close(DeviceHandle handle) override;

 private:
  // Runs `call` on the drives as the file holds them, under the lock; false when the file
  // cannot be read (the call is then not made) or a change of region cannot be saved.
  bool Locked(const std::function<bool(EmulatedDrives&)>& call);
  void Failed(const std::string& error);

  std::filesystem::path file_;
  EmulatedDrives drives_;
  // The state last read from the file: while the file still holds it, changes that could
  // not be saved (a read-only file) live on in memory, so a disc still spins up.
  std::string read_text_;
  std::string error_;
  bool damaged_ = false;
  std::optional<std::string> not_kept_;
  std::function<void(const std::string&)> sink_;
};

}  // namespace varden::emulated
