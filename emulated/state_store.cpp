#include "emulated/state_store.h"

#include <system_error>
#include <utility>

#include "emulated/demo_drives.h"
#include "emulated/state_json.h"

namespace varden::emulated {
namespace {

namespace fs = std::filesystem;

// Whether a call changed what a drive keeps for good: its region or its counts.
bool KeptStateChanged(const std::vector<DriveState>& before, const std::vector<DriveState>& after) {
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

bool SameKeptState(const DriveState& a, const DriveState& b) {
  return a.region_mask == b.region_mask && a.user_changes == b.user_changes &&
         a.vendor_resets == b.vendor_resets && a.disc.present == b.disc.present &&
         (!a.disc.present || (a.disc.cpst == b.disc.cpst && a.disc.rmi == b.disc.rmi));
}

StoredDrives::StoredDrives(fs::path file) : file_(std::move(file)) {}

StoredDrives::~StoredDrives() {
  if (depth_ > 0) {
    depth_ = 1;
    End();
  }
}

std::optional<std::string> StoredDrives::Connect(bool will_change) {
  const std::string prefix = "state file " + Quoted(file_) + ": ";
  std::string error;
  if (!ResolveStateFile(file_, resolved_, error)) return prefix + error;
  // Nothing is made beside a path that is neither a state file nor the place for a new one.
  std::error_code ec;
  const fs::file_type type = fs::symlink_status(resolved_, ec).type();
  const bool missing = type == fs::file_type::not_found;
  if (!missing && type != fs::file_type::regular) return prefix + "not a regular file";
  if (missing && !resolved_.parent_path().empty()) {
    fs::create_directories(resolved_.parent_path(), ec);  // a failure shows in the save
  }

  const StateLock lock(resolved_);
  if (!lock.Error().empty()) return lock.Error();
  if (missing && !ReplaceFile(resolved_, StateText(DemoScenario()), error)) {
    return "cannot save the state to " + Quoted(file_) + ": " + error;
  }
  identity_.reset();
  if (std::optional<std::string> failure = Read()) {
    damaged_ = fs::exists(resolved_, ec);
    return failure;
  }
  if (will_change) {
    if (const std::string problem = WhyNotWritable(resolved_); !problem.empty()) {
      return "cannot change the state in " + Quoted(file_) + ": " + problem;
    }
  }
  return std::nullopt;
}

std::optional<std::string> StoredDrives::Read() {
  if (identity_ && IdentityOf(resolved_) == *identity_) return std::nullopt;
  const std::string prefix = "state file " + Quoted(file_) + ": ";
  std::string text;
  std::string error;
  FileIdentity identity;
  if (!ReadWholeFile(resolved_, text, error, &identity)) return prefix + error;
  LoadResult loaded = ParseState(text);
  if (!loaded.ok) return prefix + loaded.error;
  drives_.Drives() = loaded.drives;
  saved_ = std::move(loaded.drives);
  identity_ = identity;
  return std::nullopt;
}

std::optional<std::string> StoredDrives::Begin() {
  if (depth_ > 0) {
    ++depth_;
    return std::nullopt;
  }
  if (resolved_.empty()) return "state file " + Quoted(file_) + ": not connected";
  auto lock = std::make_unique<StateLock>(resolved_);
  if (!lock->Error().empty()) return lock->Error();
  if (std::optional<std::string> error = Read()) return error;
  lock_ = std::move(lock);
  depth_ = 1;
  return std::nullopt;
}

void StoredDrives::End() {
  if (depth_ == 0 || --depth_ > 0) return;
  if (drives_.Drives() != saved_) {
    if (const std::string error = Save(/*kept=*/false); !error.empty()) Failed(error);
  }
  lock_.reset();
}

std::string StoredDrives::Save(bool kept) {
  std::string problem =
      lock_ && lock_->Held()
          ? WhyNotWritable(resolved_)
          : "no lock file can be made beside it; the folder is not yours to write";
  if (!problem.empty()) {
    // A file this user may only read: a disc that spun up lives on in memory.
    return kept ? "cannot change the state in " + Quoted(file_) + ": " + problem : std::string();
  }
  const std::string prefix = "cannot save the state to " + Quoted(file_) + ": ";
  if (problem = CheckDrives(drives_.Drives()); !problem.empty()) return prefix + problem;
  FileIdentity identity;
  if (!ReplaceFile(resolved_, StateText(drives_.Drives()), problem, SaveStop::kNever, &identity)) {
    return prefix + problem;
  }
  saved_ = drives_.Drives();
  identity_ = identity;
  return {};
}

void StoredDrives::Failed(const std::string& error) {
  if (error_.empty()) error_ = error;
  if (sink_) sink_(error);
}

std::optional<DriveState> StoredDrives::KeptState(char letter) const {
  for (const DriveState& drive : drives_.Drives()) {
    if (drive.letter == letter) return drive;
  }
  return std::nullopt;
}

bool StoredDrives::Transact(const std::function<bool(EmulatedDrives&)>& call) {
  const bool own = depth_ == 0;
  if (own) {
    if (std::optional<std::string> error = Begin()) {
      Failed(*error);
      return false;
    }
  }
  const std::vector<DriveState> before = drives_.Drives();
  bool answer = call(drives_);
  if (KeptStateChanged(before, drives_.Drives())) {
    if (std::string error = Save(/*kept=*/true); !error.empty()) {
      // A region that cannot be kept is not taken at all.
      drives_.Drives() = before;
      not_kept_ = error;
      Failed(error);
      answer = false;
    }
  }
  if (own) End();
  return answer;
}

bool StoredDrives::Apply(const std::function<void(EmulatedDrives&)>& change) {
  return Transact([&](EmulatedDrives& drives) {
    change(drives);
    return true;
  });
}

bool StoredDrives::Open(char letter, DeviceHandle& handle) {
  const bool own = depth_ == 0;
  if (own) {
    if (std::optional<std::string> error = Begin()) {
      Failed(*error);
      return false;
    }
  }
  const bool opened = drives_.Open(letter, handle);
  if (own && opened) opened_outside_.insert(handle);
  if (own && !opened) End();
  return opened;
}

bool StoredDrives::QueryCapabilities(DeviceHandle handle) {
  return Transact([&](EmulatedDrives& drives) { return drives.QueryCapabilities(handle); });
}

bool StoredDrives::QueryAddress(DeviceHandle handle, ScsiAddress& address) {
  return Transact([&](EmulatedDrives& drives) { return drives.QueryAddress(handle, address); });
}

bool StoredDrives::PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) {
  return Transact([&](EmulatedDrives& drives) { return drives.PassThrough(handle, block); });
}

void StoredDrives::Close(DeviceHandle handle) {
  drives_.Close(handle);
  if (opened_outside_.erase(handle) != 0) End();
}

}  // namespace varden::emulated
