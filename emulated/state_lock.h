// The lock that makes one program's command on the state file a transaction: a lock file
// beside the state file, locked exclusively from the reading to the save.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace varden::emulated {

class StateLock {
 public:
  // How long a program waits for another one's command to end before it calls the file busy.
  static constexpr std::chrono::milliseconds kWait{3000};

  // Waits up to `wait` for the lock of `state_file` (the file itself, not a link to it). The
  // lock file is opened without following a link and without waiting, and must be a regular
  // file; a new one gets the state file's mode (0600 beside a private or missing file), so
  // one user's run does not lock the file's other users out. Where no lock file can be made
  // because this user may not create files in the folder, this user cannot save either, and
  // reading goes on unlocked: then Held is false and Error empty.
  explicit StateLock(const std::filesystem::path& state_file,
                     std::chrono::milliseconds wait = kWait);
  ~StateLock();
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;

  bool Held() const { return fd_ >= 0; }
  // Empty when held (or not possible, see above), else why not, naming the files.
  const std::string& Error() const { return error_; }

  // The lock file of a state file: its name with ".lock" added, or where that would be too
  // long for a folder, its start and a fingerprint of the whole name.
  static std::filesystem::path LockFileOf(const std::filesystem::path& state_file);

 private:
  void Open(const std::filesystem::path& state_file, const std::filesystem::path& lock);

  int fd_ = -1;
  std::string error_;
};

}  // namespace varden::emulated
