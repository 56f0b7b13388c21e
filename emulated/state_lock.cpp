#include "emulated/state_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

#include "emulated/atomic_file.h"

namespace varden::emulated {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds kLockRetry{20};
constexpr std::string_view kLockSuffix = ".lock";
constexpr std::size_t kLockNameReserve = 32;  // fingerprint and suffix
constexpr mode_t kPrivateMode = 0600;
constexpr mode_t kReadWriteBits = 0666;
// Opened without following a link, and without waiting on a FIFO or a device.
constexpr int kLockOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

}  // namespace

fs::path StateLock::LockFileOf(const fs::path& state_file) {
  const std::string name = state_file.filename().string();
  std::string lock = name + std::string(kLockSuffix);
  if (lock.size() > kMaxNameBytes) {
    lock = name.substr(0, kMaxNameBytes - kLockNameReserve) + "." + Fingerprint(name) +
           std::string(kLockSuffix);
  }
  return state_file.parent_path() / lock;
}

void StateLock::Open(const fs::path& state_file, const fs::path& lock) {
  struct stat state {};
  const bool exists = ::stat(state_file.c_str(), &state) == 0;
  const mode_t mode = exists ? (state.st_mode & kReadWriteBits) : kPrivateMode;
  fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | kLockOpenFlags, mode);
  if (fd_ >= 0) {
    // The mode the state file's users need, whatever this process's umask; root's lock
    // belongs to the state file's owner.
    ::fchmod(fd_, mode);
    if (exists && ::geteuid() == 0) (void)!::fchown(fd_, state.st_uid, state.st_gid);
    return;
  }
  if (errno == EACCES || errno == EROFS || errno == EPERM || errno == ENOENT) {
    return;  // nobody who cannot make a file here can save here: read unlocked
  }
  if (errno == EEXIST) {
    fd_ = ::open(lock.c_str(), O_RDWR | kLockOpenFlags);
    struct stat held {};
    // A lock left narrower than the state file (made before the file was shared) is widened
    // by its owner, so the file's other users can lock it again.
    if (fd_ >= 0 && exists && ::fstat(fd_, &held) == 0 && S_ISREG(held.st_mode) &&
        held.st_uid == ::geteuid() && (held.st_mode & kReadWriteBits) != mode) {
      ::fchmod(fd_, mode);  // as wide as the state file
    }
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(lock.c_str(), O_RDONLY | kLockOpenFlags);
    if (fd_ >= 0) return;
  }
  error_ = "cannot open the lock file " + Quoted(lock) + " of the state file " +
           Quoted(state_file) + " (" + std::strerror(errno) +
           "); its owner can let the file's users read it, or remove it";
}

StateLock::StateLock(const fs::path& state_file, std::chrono::milliseconds wait) {
  const fs::path lock = LockFileOf(state_file);
  Open(state_file, lock);
  if (fd_ < 0) return;
  struct stat opened {};
  if (::fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    error_ = "the lock file " + Quoted(lock) + " of the state file " + Quoted(state_file) +
             " is not a regular file; remove it";
    ::close(fd_);
    fd_ = -1;
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      error_ = errno == EWOULDBLOCK
                   ? "the state file " + Quoted(state_file) +
                         " is busy: another program has been using its drives for " +
                         std::to_string(wait.count() / 1000) + " seconds; try again later"
                   : "cannot lock the state file " + Quoted(state_file) + " (" +
                         std::strerror(errno) + ")";
      ::close(fd_);
      fd_ = -1;
      return;
    }
    std::this_thread::sleep_for(kLockRetry);
  }
}

StateLock::~StateLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace varden::emulated
