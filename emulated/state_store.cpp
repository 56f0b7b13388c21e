#include "emulated/state_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "emulated/state_file.h"

namespace varden::emulated {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds kLockRetry{20};
constexpr std::string_view kLockSuffix = ".lock";
constexpr std::size_t kMaxNameBytes = 255;    // the longest name a folder takes
constexpr std::size_t kLockNameReserve = 32;  // fingerprint and suffix

std::string Quoted(const fs::path& file) {
  return "\"" + ShownText(file.string()) + "\"";
}

// Whether a command changed what a drive keeps for good: its region or its counts.
bool RegionStateChanged(const std::vector<DriveState>& before,
                        const std::vector<DriveState>& after) {
  if (before.size() != after.size()) return true;
  for (std::size_t i = 0; i < before.size(); ++i) {
    const DriveState& b = before[i];
    const DriveState& a = after[i];
    if (b.letter != a.letter || b.region_mask != a.region_mask ||
        b.user_changes != a.user_changes || b.vendor_resets != a.vendor_resets) {
      return true;
    }
  }
  return false;
}

}  // namespace

fs::path StateLock::LockFileOf(const fs::path& state_file) {
  const fs::path target = LinkTarget(state_file);
  const std::string name = target.filename().string();
  std::string lock = name + std::string(kLockSuffix);
  if (lock.size() > kMaxNameBytes) {
    // A name near the limit: its start and a fingerprint of the whole.
    char fingerprint[24];
    std::snprintf(fingerprint, sizeof fingerprint, ".%016zx", std::hash<std::string>{}(name));
    lock =
        name.substr(0, kMaxNameBytes - kLockNameReserve) + fingerprint + std::string(kLockSuffix);
  }
  return target.parent_path() / lock;
}

StateLock::StateLock(const fs::path& state_file, std::chrono::milliseconds wait) {
  const fs::path lock = LockFileOf(state_file);
  fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0 && errno == EACCES) fd_ = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd_ < 0) {
    // A folder that is missing or that the user may not write: nothing can be saved there,
    // so readers need no lock. Anything else is an error.
    if (errno != EACCES && errno != EROFS && errno != EPERM && errno != ENOENT) {
      error_ = "cannot lock the state file " + Quoted(state_file) + " with " + Quoted(lock) + " (" +
               std::strerror(errno) + ")";
    }
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

StoredDrives::StoredDrives(fs::path file) : file_(std::move(file)) {}

std::optional<std::string> StoredDrives::Connect(bool will_change) {
  std::error_code ec;
  const fs::path folder = LinkTarget(file_).parent_path();
  if (!folder.empty()) fs::create_directories(folder, ec);  // a failure shows in the save
  const StateLock lock(file_);
  if (!lock.Error().empty()) return lock.Error();
  if (fs::status(file_, ec).type() == fs::file_type::not_found) {
    std::string error;
    if (!SaveState(file_, DemoScenario(), error)) return error;
  }
  LoadResult loaded = LoadState(file_);
  if (!loaded.ok) {
    damaged_ = true;
    return loaded.error;
  }
  if (will_change) {
    if (std::string error = CheckWritable(file_); !error.empty()) return error;
  }
  read_text_ = StateText(loaded.drives);
  drives_.Drives() = std::move(loaded.drives);
  return std::nullopt;
}

void StoredDrives::Failed(const std::string& error) {
  if (error_.empty()) error_ = error;
  if (sink_) sink_(error);
}

bool StoredDrives::Locked(const std::function<bool(EmulatedDrives&)>& call) {
  const StateLock lock(file_);
  if (!lock.Error().empty()) {
    Failed(lock.Error());
    return false;
  }
  LoadResult loaded = LoadState(file_);
  if (!loaded.ok) {
    Failed(loaded.error);
    return false;
  }
  if (std::string text = StateText(loaded.drives); text != read_text_) {
    read_text_ = std::move(text);
    drives_.Drives() = std::move(loaded.drives);
  }
  const std::vector<DriveState> before = drives_.Drives();
  const std::string before_text = StateText(before);
  const bool answer = call(drives_);
  const std::string after_text = StateText(drives_.Drives());
  if (after_text == before_text) return answer;

  std::string error = CheckWritable(file_);
  if (error.empty() && SaveState(file_, drives_.Drives(), error)) {
    read_text_ = after_text;
    return answer;
  }
  // A disc that spun up or a pending disc change lives on in memory; a region that cannot
  // be kept is not taken at all.
  if (!RegionStateChanged(before, drives_.Drives())) return answer;
  drives_.Drives() = before;
  not_kept_ = error;
  Failed(error);
  return false;
}

bool StoredDrives::Apply(const std::function<void(EmulatedDrives&)>& change) {
  return Locked([&](EmulatedDrives& drives) {
    change(drives);
    return true;
  });
}

bool StoredDrives::Open(char letter, DeviceHandle& handle) {
  return Locked([&](EmulatedDrives& drives) { return drives.Open(letter, handle); });
}

bool StoredDrives::QueryCapabilities(DeviceHandle handle) {
  return Locked([&](EmulatedDrives& drives) { return drives.QueryCapabilities(handle); });
}

bool StoredDrives::QueryAddress(DeviceHandle handle, ScsiAddress& address) {
  return Locked([&](EmulatedDrives& drives) { return drives.QueryAddress(handle, address); });
}

bool StoredDrives::PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) {
  return Locked([&](EmulatedDrives& drives) { return drives.PassThrough(handle, block); });
}

void StoredDrives::Close(DeviceHandle handle) {
  drives_.Close(handle);
}

}  // namespace varden::emulated
