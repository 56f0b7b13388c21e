#include "emulated/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <share.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include "text/shown_text.h"

namespace varden::emulated {
namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kMaxFileSize = 1 << 20;  // far above any real list of drives
constexpr int kTempNameAttempts = 100;
// A temporary file's name: "." + the start of the file's name + the fingerprint of the whole
// name + the process id and a counter, within the longest name a folder takes.
constexpr std::size_t kTempNameReserve = 64;  // fingerprint, process id, counter, dots
constexpr std::string_view kTempSuffix = ".tmp";
constexpr int kMaxLinkHops = 40;  // the kernel's own limit on a chain of links

#ifdef _WIN32
int OpenNew(const fs::path& path) {
  int fd = -1;
  _wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
            _S_IREAD | _S_IWRITE);
  return fd;
}
int OpenToRead(const fs::path& path) {
  int fd = -1;
  _wsopen_s(&fd, path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO, 0);
  return fd;
}
long ReadSome(int fd, char* data, std::size_t size) {
  return _read(fd, data, static_cast<unsigned>(size));
}
long WriteSome(int fd, const char* data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(size));
}
int SyncFile(int fd) {
  return _commit(fd);
}
int CloseFile(int fd) {
  return _close(fd);
}
long ProcessId() {
  return _getpid();
}
bool IsRegular(int fd, FileIdentity*) {
  struct _stat64 st {};
  return _fstat64(fd, &st) == 0 && (st.st_mode & _S_IFREG) != 0;
}
void SyncFolder(const fs::path&) {}  // the rename is on the disk once it returns
// On Windows a file's only permission is being read-only; the new file is not.
bool KeepOwnerAndMode(int, const fs::path&) {
  return true;
}
void RemoveStaleTemps(const fs::path&) {}
struct SignalsHeld {};
#else
FileIdentity IdentityFrom(const struct stat& st) {
  return {.device = static_cast<std::uint64_t>(st.st_dev),
          .inode = static_cast<std::uint64_t>(st.st_ino),
          .size = static_cast<std::int64_t>(st.st_size),
          .modified_ns =
              static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// Gives the new file the mode, and when this process may, the owner of the file it replaces.
bool KeepOwnerAndMode(int fd, const fs::path& replaced) {
  struct stat old {};
  if (::stat(replaced.c_str(), &old) != 0) return errno == ENOENT;  // a new file stays 0600
  if (::geteuid() == 0 && ::fchown(fd, old.st_uid, old.st_gid) != 0) return false;
  return ::fchmod(fd, old.st_mode & 07777) == 0;
}

int OpenNew(const fs::path& path) {
  // Private state: only the owner reads it, unless the file it replaces says otherwise.
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
}
// Never follows a link and never waits (a FIFO or a device opens at once, and is refused).
int OpenToRead(const fs::path& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
}
long ReadSome(int fd, char* data, std::size_t size) {
  return ::read(fd, data, size);
}
long WriteSome(int fd, const char* data, std::size_t size) {
  return ::write(fd, data, size);
}
int SyncFile(int fd) {
  return ::fsync(fd);
}
int CloseFile(int fd) {
  return ::close(fd);
}
long ProcessId() {
  return static_cast<long>(::getpid());
}
bool IsRegular(int fd, FileIdentity* identity) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (identity != nullptr) *identity = IdentityFrom(st);
  return true;
}
// Makes the rename itself lasting; a folder that cannot be synchronised is no error.
void SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string TempPrefix(const fs::path& target);

// Removes the temporary files of `target` that no save is writing now: those of processes
// that have ended, and this process's own (its saves run one at a time).
void RemoveStaleTemps(const fs::path& target) {
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  const std::string prefix = TempPrefix(target);
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0 || !name.ends_with(kTempSuffix)) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid <= 0) continue;
    if (pid == ProcessId() || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) {
      std::error_code ignored;
      fs::remove(entry.path(), ignored);
    }
  }
}

// Holds off the signals that end a program from the terminal or a service manager for the
// few milliseconds of a save; when it ends, a signal that came meanwhile takes effect.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t before_;
};
#endif

// The start of every temporary file name of `target`: short enough that the whole name
// stays within the limit, and marked with a fingerprint of the whole name.
std::string TempPrefix(const fs::path& target) {
  std::string name = target.filename().string();
  const std::string fingerprint = Fingerprint(name);
  const std::size_t keep = kMaxNameBytes - kTempNameReserve;
  if (name.size() > keep) name.resize(keep);
  return "." + name + "." + fingerprint + ".";
}

// Creates a new file beside `target` that no one else writes: the name carries the process
// id and a counter, and the file must not exist yet, so a temporary file left by an earlier,
// interrupted save is never reused.
int CreateTempBeside(const fs::path& target, fs::path& temp) {
  static unsigned counter = 0;
  const std::string prefix = TempPrefix(target);
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    temp = target.parent_path() / (prefix + std::to_string(ProcessId()) + "." +
                                   std::to_string(counter++) + std::string(kTempSuffix));
    const int fd = OpenNew(temp);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes all of `size` bytes, or answers false with errno set.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const long written = WriteSome(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::string Quoted(const fs::path& file) {
  return "\"" + text::ShownText(file.string()) + "\"";
}

std::string Fingerprint(const std::string& name) {
  std::uint64_t hash = std::hash<std::string>{}(name);
  std::string digits(16, '0');
  for (auto it = digits.rbegin(); it != digits.rend(); ++it, hash >>= 4) {
    *it = "0123456789abcdef"[hash & 0xF];
  }
  return digits;
}

fs::path LinkTarget(const fs::path& file) {
  fs::path target = file;
  std::error_code ec;
  for (int hop = 0; hop < kMaxLinkHops && fs::is_symlink(fs::symlink_status(target, ec)); ++hop) {
    const fs::path points_to = fs::read_symlink(target, ec);
    if (ec) break;
    target = points_to.is_absolute() ? points_to : target.parent_path() / points_to;
  }
  return target;
}

#ifdef _WIN32
bool ResolveStateFile(const fs::path& file, fs::path& resolved, std::string&) {
  resolved = LinkTarget(file);
  return true;
}

FileIdentity IdentityOf(const fs::path&) {
  return {};
}
#else
bool ResolveStateFile(const fs::path& file, fs::path& resolved, std::string& error) {
  fs::path at = file;
  for (int hop = 0;; ++hop) {
    struct stat link {};
    if (::lstat(at.c_str(), &link) != 0) {
      if (errno == ENOENT && hop == 0) break;  // a new file, made where it is named
      error = errno == ENOENT ? "the link points at " + Quoted(at) +
                                    ", which does not exist; no file is made through a link"
                              : "cannot find " + Quoted(at) + " (" + std::strerror(errno) + ")";
      return false;
    }
    if (!S_ISLNK(link.st_mode)) break;
    if (hop == kMaxLinkHops) {
      error = "more than " + std::to_string(kMaxLinkHops) + " links in a row (a loop?)";
      return false;
    }
    const fs::path folder = at.parent_path().empty() ? fs::path(".") : at.parent_path();
    struct stat shared {};
    if (::stat(folder.c_str(), &shared) == 0 && (shared.st_mode & S_ISVTX) != 0 &&
        (shared.st_mode & S_IWOTH) != 0 && link.st_uid != ::geteuid() &&
        link.st_uid != shared.st_uid) {
      error = "the link " + Quoted(at) + " in the shared folder " + Quoted(folder) +
              " belongs to another user, so it is not followed";
      return false;
    }
    std::error_code ec;
    const fs::path points_to = fs::read_symlink(at, ec);
    if (ec) {
      error = "cannot read the link " + Quoted(at) + " (" + ec.message() + ")";
      return false;
    }
    at = points_to.is_absolute() ? points_to : at.parent_path() / points_to;
  }
  resolved = at;
  return true;
}

FileIdentity IdentityOf(const fs::path& file) {
  struct stat st {};
  return ::lstat(file.c_str(), &st) == 0 ? IdentityFrom(st) : FileIdentity{};
}
#endif

bool ReadWholeFile(const fs::path& file, std::string& text, std::string& error,
                   FileIdentity* identity) {
  const int fd = OpenToRead(file);
  if (fd < 0) {
    error = errno == ENOENT  ? "cannot read: no such file"
            : errno == ELOOP ? "a link where the file was found; not read"
                             : std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  if (!IsRegular(fd, identity)) {
    CloseFile(fd);
    error = "not a regular file";
    return false;
  }
  text.clear();
  char chunk[4096];
  long got = 0;
  while (text.size() <= kMaxFileSize && (got = ReadSome(fd, chunk, sizeof chunk)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
  }
  CloseFile(fd);
  if (got < 0) {
    error = "cannot read: input error";
    return false;
  }
  if (text.size() > kMaxFileSize) {
    error = "larger than " + std::to_string(kMaxFileSize) + " bytes, not a state file";
    return false;
  }
  return true;
}

bool ReplaceFile(const fs::path& target, const std::string& text, std::string& error, SaveStop stop,
                 FileIdentity* identity) {
  // From here to the rename the save runs to its end or fails as a whole.
  [[maybe_unused]] const SignalsHeld held;
  RemoveStaleTemps(target);
  fs::path temp;
  const int fd = CreateTempBeside(target, temp);
  if (fd < 0) {
    error = std::string("cannot create a new file beside it (") + std::strerror(errno) + ")";
    return false;
  }
  if (stop == SaveStop::kAfterHalfTheText) {
    WriteAll(fd, text.data(), text.size() / 2);
    CloseFile(fd);
    error = "interrupted while writing " + Quoted(temp);
    return false;
  }
  const bool written = KeepOwnerAndMode(fd, target) && WriteAll(fd, text.data(), text.size()) &&
                       SyncFile(fd) == 0 && IsRegular(fd, identity);
  const int write_errno = errno;
  const bool closed = CloseFile(fd) == 0;
  std::error_code ec;
  if (!written || !closed) {
    error =
        "cannot write " + Quoted(temp) + " (" + std::strerror(written ? errno : write_errno) + ")";
    fs::remove(temp, ec);
    return false;
  }
  if (stop == SaveStop::kBeforeRename) {
    error = "interrupted before " + Quoted(temp) + " replaced it";
    return false;
  }
  fs::rename(temp, target, ec);
  if (ec) {
    error = "cannot replace it with " + Quoted(temp) + " (" + ec.message() + ")";
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  SyncFolder(target.parent_path());
  return true;
}

std::string WhyNotWritable(const fs::path& target) {
#ifndef _WIN32
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 &&
      ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0)) {
    return "the file is read-only (or not yours to write); make it writable to change a drive";
  }
#endif
  [[maybe_unused]] const SignalsHeld held;
  fs::path temp;
  const int fd = CreateTempBeside(target, temp);
  if (fd < 0)
    return std::string("cannot create a new file beside it (") + std::strerror(errno) + ")";
  CloseFile(fd);
  std::error_code ignored;
  fs::remove(temp, ignored);
  return {};
}

}  // namespace varden::emulated
