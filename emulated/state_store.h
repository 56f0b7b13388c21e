// The emulated drives as several programs share them: the state file is the drives' memory.
// A command is one transaction: it takes the file's lock, reads the drives once (or not at
// all when the file is still the one this program last read), makes its calls on that
// reading, saves what changed and lets the lock go, as one program on one real drive would.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drive/device_seam.h"
#include "emulated/atomic_file.h"
#include "emulated/emulated_drive.h"
#include "emulated/state_lock.h"

namespace varden::emulated {

// Whether two readings of a drive agree on what a command decides on: the region, the
// changes left, the vendor resets, whether a disc is in and which regions the disc plays.
bool SameKeptState(const DriveState& a, const DriveState& b);

// The emulated drives of one state file behind the device seam.
class StoredDrives : public DeviceSeam {
 public:
  explicit StoredDrives(std::filesystem::path file);
  ~StoredDrives() override;
  StoredDrives(const StoredDrives&) = delete;
  StoredDrives& operator=(const StoredDrives&) = delete;

  // Finds the file once (a link is followed only where it is safe to: in a folder that
  // anyone may write and only its owners may clean, only a link of the user or of the
  // folder's owner; never a link to nothing), reads it under the lock, and creates it with
  // the demo's drives when it is missing. `will_change`: a command that changes a drive
  // follows, so whatever would stop its save (a read-only file, a folder where no new file
  // can be made) is refused now, before anything is sent. Answers the error, naming the
  // file; a refused path is left as it was.
  std::optional<std::string> Connect(bool will_change);

  // Whether Connect failed on a file that exists but cannot be used (damaged, unreadable).
  bool Damaged() const { return damaged_; }

  // Starts a transaction: takes the lock (waiting up to StateLock::kWait) and reads the file
  // unless it is the one this program last read or saved. Until End, every call works on
  // that reading; a call that changes what a drive keeps (its region, its counts) saves at
  // once, and is undone and fails with NotKept set when the save fails. Answers the error
  // (busy, damaged, no usable lock), naming the file, and then holds nothing. A Begin inside
  // a transaction only counts, and so does its End.
  std::optional<std::string> Begin();
  // Saves whatever else changed (a disc that spun up) and lets the lock go. A failed save
  // goes to Error and the failure sink; where the file is not for this user to write, the
  // change lives on in memory only, while the file stays as it was.
  void End();
  // Whether a transaction is open (and the lock held, where one can be).
  bool InTransaction() const { return depth_ > 0; }

  // The drive at `letter` as the current reading holds it.
  std::optional<DriveState> KeptState(char letter) const;

  // The first failure since Connect (a busy or damaged file, a failed save), or empty.
  const std::string& Error() const { return error_; }
  // Set when a change of region reached a drive but could not be saved: the call then failed
  // as a lost request does, and the drive stays as the file holds it.
  const std::optional<std::string>& NotKept() const { return not_kept_; }
  // Told of every failure as it happens (the demo writes them to standard error).
  void SetFailureSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }

  // Changes the drives (the demo's hand that puts a disc in) and saves what changed, within
  // the transaction or as one of its own. False when the file cannot be read or the change
  // kept.
  bool Apply(const std::function<void(EmulatedDrives&)>& change);

  // DeviceSeam. Outside a transaction, Open begins one that the Close of its handle ends,
  // and every other call is a transaction of its own.
  bool Open(char letter, DeviceHandle& handle) override;
  bool QueryCapabilities(DeviceHandle handle) override;
  bool QueryAddress(DeviceHandle handle, ScsiAddress& address) override;
  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override;
  void Close(DeviceHandle handle) override;

 private:
  // Runs `call` within the transaction (or one of its own) and saves at once what it
  // changed of a drive's kept state.
  bool Transact(const std::function<bool(EmulatedDrives&)>& call);
  std::optional<std::string> Read();
  // Saves the drives; answers the error, or empty. A file this user may not write is
  // "saved" in memory only when `kept` is false.
  std::string Save(bool kept);
  void Failed(const std::string& error);

  std::filesystem::path file_;      // as named
  std::filesystem::path resolved_;  // found once by Connect: loaded and saved
  EmulatedDrives drives_;
  std::vector<DriveState> saved_;         // what the file holds, as last read or saved
  std::optional<FileIdentity> identity_;  // of the file as last read or saved
  std::unique_ptr<StateLock> lock_;
  int depth_ = 0;
  std::set<DeviceHandle> opened_outside_;  // handles whose Close ends a transaction
  std::string error_;
  bool damaged_ = false;
  std::optional<std::string> not_kept_;
  std::function<void(const std::string&)> sink_;
};

}  // namespace varden::emulated
