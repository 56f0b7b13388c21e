// The state file on the disk: found, read and replaced whole, so that an interrupted save
// never leaves half a file and nobody else's file is touched. The only part of the emulated
// drives that knows POSIX file calls from Windows ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace varden::emulated {

// A file name as messages show it: in quotes, its control characters escaped.
std::string Quoted(const std::filesystem::path& file);

// Sixteen hexadecimal digits derived from a name, to tell long names with one start apart.
std::string Fingerprint(const std::string& name);

// The longest name a folder takes.
inline constexpr std::size_t kMaxNameBytes = 255;

// Where a file stood when it was read or written: the same device, inode, size and
// modification time mean the same contents.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = -1;
  std::int64_t modified_ns = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The file that a save of `file` replaces: `file` itself, or the end of its chain of links.
std::filesystem::path LinkTarget(const std::filesystem::path& file);

// The file behind `file`, found once for a whole program run, following the links the
// kernel's protected-links rule would follow whatever the machine's setting: in a folder
// that anyone may write and only owners may clean (sticky, world-writable), a link is
// followed only when it belongs to this user or to the folder's owner. A link to nothing is
// refused (nothing is ever created through a link), and so is a loop. Answers false with
// `error` saying why, naming `file`.
bool ResolveStateFile(const std::filesystem::path& file, std::filesystem::path& resolved,
                      std::string& error);

// Reads the whole of `file`, a regular file that is not a link, and where it stands.
// Answers false with `error` saying why (without the file's name).
bool ReadWholeFile(const std::filesystem::path& file, std::string& text, std::string& error,
                   FileIdentity* identity = nullptr);

// Where `file` stands now, or a default identity when it cannot be found.
FileIdentity IdentityOf(const std::filesystem::path& file);

// Where a save stops when a test plays an interruption (a crash, a power cut): the new file is
// left as it stands beside the old one, which is not replaced, and the save answers false.
enum class SaveStop { kNever, kAfterHalfTheText, kBeforeRename };

// Replaces `target` (not a link) with `text`: a new file beside it, flushed, then renamed
// over it. The replaced file's mode (and, for the superuser, its owner) is kept; a new file
// is readable by its owner only. SIGINT, SIGTERM and SIGHUP wait until the save is over.
// Temporary files that earlier saves left behind (their process ended) are removed. Answers
// false with `error` saying why (without the target's name).
bool ReplaceFile(const std::filesystem::path& target, const std::string& text, std::string& error,
                 SaveStop stop = SaveStop::kNever, FileIdentity* identity = nullptr);

// Whether a save of `target` (not a link) can succeed: the file is not read-only (a file
// without any write permission counts as read-only even for the superuser) and a new file
// can be created beside it. Answers an empty text, or what stands in the way (without the
// file's name).
std::string WhyNotWritable(const std::filesystem::path& target);

}  // namespace varden::emulated
