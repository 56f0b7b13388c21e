// The state file of the emulated drives: readable JSON, one object with a format version
// and the list of drives, every field of each drive written out:
//
//   {
//     "version": 1,
//     "drives": [
//       {
//         "letter": "F",
//         "vendor": "Meridax ", "product": "DVD-ROM MX-1204", "revision": "2.10",
//         "inquiry_length": 96,
//         "address": {"port_number": 1, "path_id": 0, "target_id": 1, "lun": 0},
//         "region_mask": "0xFD", "user_changes": 4, "vendor_resets": 4,
//         "rpc_scheme": "0x01", "change_needs_disc": false,
//         "disc": {"present": true, "becoming_ready_tests": 0, "unit_attention": false,
//                  "cpst": "0x01", "rmi": "0xF5"},
//         "faults": {"no_device": false, "capabilities_fails": false, "address_fails": false,
//                    "call": "none", "status_without_sense": false, "timeout": false,
//                    "reported_sense_length": 0, "never_ready": false,
//                    "unit_attention_forever": false, "no_report_key": false}
//       }
//     ]
//   }
//
// Bytes that are codes (region mask, RPC scheme, CPST, RMI) are written as hexadecimal
// strings "0xNN"; the address bytes as plain numbers. Either form is read for any byte.
// "call" is one of "none", "untouched", "status_zero_no_sense". A field left out of a drive
// keeps its default; a field this program does not know is an error, so that a misspelt
// name is reported instead of silently ignored. Values are checked: letters D to Z and each
// letter once, bytes 0 to 255, user changes and vendor resets 0 to 7, the INQUIRY length 0
// to 96, identification texts of printable ASCII no longer than their INQUIRY fields. A key
// that stands twice in one object is an error (not "the last one wins"), and nesting deeper
// than the format's four levels is refused before the text is parsed. Text from the file is
// shown in messages with its control characters escaped.
//
// Loading never writes. Saving writes a new file beside the old one (beside the target of a
// link), flushes it to the disk and renames it over the old one, so the file is either the
// old state or the new one.
#include "emulated/state_file.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "drive/region_commands.h"
#include "drive/scsi_codes.h"

namespace varden::emulated {

std::string ShownText(std::string_view text, std::size_t max_bytes) {
  std::string shown;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // The length of a well-formed UTF-8 character starting here, or 0.
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    if (length > text.size() - i) length = 0;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) length = 0;
    }
    std::string piece;
    char escaped[8];
    const bool c1 = length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || lead < 0x20 || lead == 0x7F || c1) {
      // A control character (C0, DEL, C1) or a byte that is no character: shown as a code.
      const unsigned code = c1 ? static_cast<unsigned char>(text[i + 1]) : lead;
      std::snprintf(escaped, sizeof escaped, length == 0 ? "\\x%02X" : "\\u%04X", code);
      piece = escaped;
      length = length == 0 ? 1 : length;
    } else {
      piece.assign(text.substr(i, length));
    }
    if (shown.size() + piece.size() > max_bytes) return shown + "...";
    shown += piece;
    i += length;
  }
  return shown;
}

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

constexpr int kFormatVersion = 1;
constexpr int kMaxCount = 7;  // user changes and vendor resets: 3 bits in the RPC State
constexpr int kMaxInquiryLength = 96;
constexpr int kMaxBecomingReadyTests = 1000000;
constexpr int kMaxReportedSenseLength = 255;
constexpr std::uintmax_t kMaxFileSize = 1 << 20;  // far above any real list of drives
constexpr int kTempNameAttempts = 100;
// Objects and lists nest four deep in a state file (top level, drives, a drive, its disc);
// anything deeper is refused before it is parsed.
constexpr int kMaxNesting = 4;
constexpr std::size_t kShownBytes = 40;  // of a value quoted in a message
// A temporary file's name: "." + the start of the file's name + the fingerprint of the whole
// name + the process id and a counter, within the longest name a folder takes.
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kTempNameReserve = 64;  // fingerprint, process id, counter, dots
constexpr std::string_view kTempSuffix = ".tmp";
constexpr int kMaxLinkHops = 40;  // the kernel's own limit on a chain of links
constexpr std::uint8_t kRpcSchemeNotEnforced = 0x00;
constexpr std::uint8_t kRmiAllRegions = 0x00;  // no bit set: no region forbidden
// Bit n-1 set forbids region n: everything but regions 2 and 4.
constexpr std::uint8_t kRmiRegions2And4 = static_cast<std::uint8_t>(
    ~(static_cast<std::uint8_t>(~RegionMaskOf(2)) | static_cast<std::uint8_t>(~RegionMaskOf(4))));
static_assert(kRmiRegions2And4 == 0xF5);

constexpr std::string_view kCallNone = "none";
constexpr std::string_view kCallUntouched = "untouched";
constexpr std::string_view kCallStatusZeroNoSense = "status_zero_no_sense";

// Thrown inside this file only, caught at LoadState: what is wrong, and where in the file.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Quoted(const fs::path& file) {
  std::string quoted = "\"";
  quoted += ShownText(file.string());
  quoted += '"';
  return quoted;
}

std::string HexByte(std::uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
  return text;
}

std::string CallName(CallFault call) {
  switch (call) {
    case CallFault::kUntouched:
      return std::string(kCallUntouched);
    case CallFault::kStatusZeroNoSense:
      return std::string(kCallStatusZeroNoSense);
    case CallFault::kNone:
      break;
  }
  return std::string(kCallNone);
}

// ---- Writing ------------------------------------------------------------------------------

Json ToJson(const DriveState& d) {
  Json disc = {{"present", d.disc.present},
               {"becoming_ready_tests", d.disc.becoming_ready_tests},
               {"unit_attention", d.disc.unit_attention},
               {"cpst", HexByte(d.disc.cpst)},
               {"rmi", HexByte(d.disc.rmi)}};
  const Faults& f = d.faults;
  Json faults = {{"no_device", f.no_device},
                 {"capabilities_fails", f.capabilities_fails},
                 {"address_fails", f.address_fails},
                 {"call", CallName(f.call)},
                 {"status_without_sense", f.status_without_sense},
                 {"timeout", f.timeout},
                 {"reported_sense_length", f.reported_sense_length},
                 {"never_ready", f.never_ready},
                 {"unit_attention_forever", f.unit_attention_forever},
                 {"no_report_key", f.no_report_key}};
  Json address = {{"port_number", d.address.port_number},
                  {"path_id", d.address.path_id},
                  {"target_id", d.address.target_id},
                  {"lun", d.address.lun}};
  return Json{{"letter", std::string(1, d.letter)},
              {"vendor", d.vendor},
              {"product", d.product},
              {"revision", d.revision},
              {"inquiry_length", d.inquiry_length},
              {"address", std::move(address)},
              {"region_mask", HexByte(d.region_mask)},
              {"user_changes", d.user_changes},
              {"vendor_resets", d.vendor_resets},
              {"rpc_scheme", HexByte(d.rpc_scheme)},
              {"change_needs_disc", d.change_needs_disc},
              {"disc", std::move(disc)},
              {"faults", std::move(faults)}};
}

// ---- Reading ------------------------------------------------------------------------------

// Reads the fields of one JSON object, naming each by its path ("drives[1].disc.cpst") in
// what it reports, and refuses fields it was not asked for.
class ObjectReader {
 public:
  ObjectReader(const Json& value, std::string path) : value_(value), path_(std::move(path)) {
    if (!value_.is_object()) Fail(path_, "expected an object, found " + Describe(value_));
  }

  // Each reader leaves `out` as it is when the field is absent.
  void Bool(const char* key, bool& out) {
    if (const Json* v = Field(key)) {
      if (!v->is_boolean()) Fail(PathOf(key), "expected true or false, found " + Describe(*v));
      out = v->get<bool>();
    }
  }

  void Int(const char* key, int& out) {
    if (const Json* v = Field(key))
      out = static_cast<int>(Integer(*v, key, 0, std::numeric_limits<int>::max()));
  }

  // A byte: a number 0 to 255 or a hexadecimal string "0x00" to "0xFF".
  void Byte(const char* key, std::uint8_t& out) {
    const Json* v = Field(key);
    if (v == nullptr) return;
    if (v->is_string()) {
      const auto text = v->get<std::string>();
      const bool hex_form = text.size() > 2 && text.size() <= 4 && text[0] == '0' &&
                            (text[1] == 'x' || text[1] == 'X') &&
                            text.find_first_not_of("0123456789abcdefABCDEF", 2) == text.npos;
      if (!hex_form) {
        Fail(PathOf(key), "expected a byte such as 253 or \"0xFD\", found \"" +
                              ShownText(text, kShownBytes) + "\"");
      }
      out = static_cast<std::uint8_t>(std::strtoul(text.c_str() + 2, nullptr, 16));
      return;
    }
    out = static_cast<std::uint8_t>(Integer(*v, key, 0, 255));
  }

  void Text(const char* key, std::string& out) {
    if (const Json* v = Field(key)) {
      if (!v->is_string()) Fail(PathOf(key), "expected a text, found " + Describe(*v));
      out = v->get<std::string>();
    }
  }

  void Letter(const char* key, char& out) {
    const Json* v = Field(key);
    if (v == nullptr) Fail(PathOf(key), "missing");
    if (!v->is_string() || v->get<std::string>().size() != 1) {
      Fail(PathOf(key), "expected one drive letter such as \"E\", found " + Describe(*v));
    }
    out = v->get<std::string>()[0];
  }

  void Call(const char* key, CallFault& out) {
    const Json* v = Field(key);
    if (v == nullptr) return;
    const std::string text = v->is_string() ? v->get<std::string>() : std::string();
    if (text == kCallNone) {
      out = CallFault::kNone;
    } else if (text == kCallUntouched) {
      out = CallFault::kUntouched;
    } else if (text == kCallStatusZeroNoSense) {
      out = CallFault::kStatusZeroNoSense;
    } else {
      Fail(PathOf(key),
           "expected \"none\", \"untouched\" or \"status_zero_no_sense\", found " + Describe(*v));
    }
  }

  // The nested object at `key`, or nullptr when absent.
  const Json* Child(const char* key) { return Field(key); }
  std::string PathOf(const char* key) const { return path_ + "." + key; }

  // Refuses every field that no reader asked for.
  void Finish() const {
    for (const auto& [key, value] : value_.items()) {
      if (read_.count(key) == 0) Fail(path_ + "." + key, "not a known field");
    }
  }

  // The nesting was bounded before parsing, so dump() recurses only a few levels.
  static std::string Describe(const Json& v) {
    return std::string(v.type_name()) + " " +
           ShownText(v.dump(-1, ' ', false, Json::error_handler_t::replace), kShownBytes);
  }

  [[noreturn]] static void Fail(const std::string& path, const std::string& what) {
    throw FormatError(path + ": " + what);
  }

 private:
  const Json* Field(const char* key) {
    read_.insert(key);
    const auto it = value_.find(key);
    return it == value_.end() ? nullptr : &*it;
  }

  long long Integer(const Json& v, const char* key, long long min, long long max) const {
    if (!v.is_number_integer()) {
      Fail(PathOf(key), "expected a whole number, found " + Describe(v));
    }
    const bool fits = v.is_number_unsigned()
                          ? v.get<std::uint64_t>() <= static_cast<std::uint64_t>(max)
                          : (v.get<std::int64_t>() >= min && v.get<std::int64_t>() <= max);
    if (!fits) {
      Fail(PathOf(key), v.dump() + " is out of range (" + std::to_string(min) + " to " +
                            std::to_string(max) + ")");
    }
    return v.get<long long>();
  }

  const Json& value_;
  std::string path_;
  std::set<std::string> read_;
};

DriveState DriveFromJson(const Json& value, const std::string& path) {
  DriveState d;
  ObjectReader r(value, path);
  r.Letter("letter", d.letter);
  r.Text("vendor", d.vendor);
  r.Text("product", d.product);
  r.Text("revision", d.revision);
  r.Int("inquiry_length", d.inquiry_length);
  if (const Json* address = r.Child("address")) {
    ObjectReader a(*address, r.PathOf("address"));
    a.Byte("port_number", d.address.port_number);
    a.Byte("path_id", d.address.path_id);
    a.Byte("target_id", d.address.target_id);
    a.Byte("lun", d.address.lun);
    a.Finish();
  }
  r.Byte("region_mask", d.region_mask);
  r.Int("user_changes", d.user_changes);
  r.Int("vendor_resets", d.vendor_resets);
  r.Byte("rpc_scheme", d.rpc_scheme);
  r.Bool("change_needs_disc", d.change_needs_disc);
  if (const Json* disc = r.Child("disc")) {
    ObjectReader s(*disc, r.PathOf("disc"));
    s.Bool("present", d.disc.present);
    s.Int("becoming_ready_tests", d.disc.becoming_ready_tests);
    s.Bool("unit_attention", d.disc.unit_attention);
    s.Byte("cpst", d.disc.cpst);
    s.Byte("rmi", d.disc.rmi);
    s.Finish();
  }
  if (const Json* faults = r.Child("faults")) {
    ObjectReader f(*faults, r.PathOf("faults"));
    Faults& out = d.faults;
    f.Bool("no_device", out.no_device);
    f.Bool("capabilities_fails", out.capabilities_fails);
    f.Bool("address_fails", out.address_fails);
    f.Call("call", out.call);
    f.Bool("status_without_sense", out.status_without_sense);
    f.Bool("timeout", out.timeout);
    f.Int("reported_sense_length", out.reported_sense_length);
    f.Bool("never_ready", out.never_ready);
    f.Bool("unit_attention_forever", out.unit_attention_forever);
    f.Bool("no_report_key", out.no_report_key);
    f.Finish();
  }
  r.Finish();
  return d;
}

std::vector<DriveState> DrivesFromJson(const Json& root) {
  ObjectReader r(root, "top level");
  int version = kFormatVersion;
  r.Int("version", version);
  if (version != kFormatVersion) {
    ObjectReader::Fail("version", std::to_string(version) +
                                      " is not a format this program reads (" +
                                      std::to_string(kFormatVersion) + ")");
  }
  const Json* list = r.Child("drives");
  if (list == nullptr) ObjectReader::Fail("drives", "missing");
  if (!list->is_array()) {
    ObjectReader::Fail("drives", "expected a list, found " + ObjectReader::Describe(*list));
  }
  r.Finish();
  std::vector<DriveState> drives;
  for (std::size_t i = 0; i < list->size(); ++i) {
    drives.push_back(DriveFromJson((*list)[i], "drives[" + std::to_string(i) + "]"));
  }
  return drives;
}

// ---- Checking -----------------------------------------------------------------------------

std::string CheckText(const std::string& path, const std::string& text, std::size_t width) {
  if (text.size() > width) {
    return path + ": \"" + ShownText(text, kShownBytes) + "\" is longer than " +
           std::to_string(width) + " characters";
  }
  for (const char c : text) {
    if (c < ' ' || c > '~') return path + ": only printable ASCII characters may stand here";
  }
  return {};
}

std::string CheckRange(const std::string& path, int value, int min, int max) {
  if (value >= min && value <= max) return {};
  return path + ": " + std::to_string(value) + " is out of range (" + std::to_string(min) + " to " +
         std::to_string(max) + ")";
}

// The first thing wrong with the drives, or an empty text. Shared by loading and saving, so
// that no file is written that could not be read back.
std::string CheckDrives(const std::vector<DriveState>& drives) {
  std::set<char> letters;
  for (std::size_t i = 0; i < drives.size(); ++i) {
    const DriveState& d = drives[i];
    const std::string at = "drives[" + std::to_string(i) + "].";
    if (d.letter < kFirstDriveLetter || d.letter > kLastDriveLetter) {
      return at + "letter: a drive letter from D to Z is needed";
    }
    if (!letters.insert(d.letter).second) {
      return at + "letter: " + std::string(1, d.letter) + " is used by an earlier drive too";
    }
    for (const std::string& error :
         {CheckText(at + "vendor", d.vendor, scsi::kInquiryVendorLength),
          CheckText(at + "product", d.product, scsi::kInquiryProductLength),
          CheckText(at + "revision", d.revision, scsi::kInquiryRevisionLength),
          CheckRange(at + "inquiry_length", d.inquiry_length, 0, kMaxInquiryLength),
          CheckRange(at + "user_changes", d.user_changes, 0, kMaxCount),
          CheckRange(at + "vendor_resets", d.vendor_resets, 0, kMaxCount),
          CheckRange(at + "disc.becoming_ready_tests", d.disc.becoming_ready_tests, 0,
                     kMaxBecomingReadyTests),
          CheckRange(at + "faults.reported_sense_length", d.faults.reported_sense_length, 0,
                     kMaxReportedSenseLength)}) {
      if (!error.empty()) return error;
    }
  }
  return {};
}

// ---- Files --------------------------------------------------------------------------------

// Reads the whole file, or answers false with `error` saying why.
bool ReadWholeFile(const fs::path& file, std::string& text, std::string& error) {
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec || !fs::exists(status)) {
    error = "cannot read: " + (ec ? ec.message() : std::string("no such file"));
    return false;
  }
  if (!fs::is_regular_file(status)) {
    error = "not a regular file";
    return false;
  }
  std::FILE* stream = std::fopen(file.string().c_str(), "rb");
  if (stream == nullptr) {
    error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  text.clear();
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
    text.append(chunk, got);
    if (text.size() > kMaxFileSize) break;
  }
  const bool failed = std::ferror(stream) != 0;
  std::fclose(stream);
  if (failed) {
    error = "cannot read: input error";
    return false;
  }
  if (text.size() > kMaxFileSize) {
    error = "larger than " + std::to_string(kMaxFileSize) + " bytes, not a state file";
    return false;
  }
  return true;
}

#ifdef _WIN32
int OpenNew(const fs::path& path) {
  int fd = -1;
  _wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
            _S_IREAD | _S_IWRITE);
  return fd;
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
void SyncFolder(const fs::path&) {}  // the rename is on the disk once it returns
// On Windows a file's only permission is being read-only; the new file is not.
bool KeepOwnerAndMode(int, const fs::path&) {
  return true;
}
#else
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
// Makes the rename itself lasting; a folder that cannot be synchronised is no error.
void SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}
#endif

std::string TempPrefix(const fs::path& target);

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

// Refuses text nested deeper than a state file ever is, counting brackets outside strings,
// so that nothing later (the parser, a description of a value) recurses deeply.
void CheckNesting(std::string_view text) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      if (++depth > kMaxNesting) {
        throw FormatError("nested deeper than " + std::to_string(kMaxNesting) + " levels at byte " +
                          std::to_string(i) + ", not a state file");
      }
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
}

// Parses the text, refusing an object that names a key twice (instead of keeping one value).
Json ParseUnique(const std::string& text) {
  std::vector<std::set<std::string>> keys;  // of each object open now
  const Json::parser_callback_t callback = [&keys](int, Json::parse_event_t event, Json& value) {
    if (event == Json::parse_event_t::object_start) {
      keys.emplace_back();
    } else if (event == Json::parse_event_t::object_end) {
      keys.pop_back();
    } else if (event == Json::parse_event_t::key && !keys.empty()) {
      const auto& key = value.get_ref<const std::string&>();
      if (!keys.back().insert(key).second) {
        throw FormatError("the key \"" + ShownText(key, kShownBytes) +
                          "\" stands twice in one object");
      }
    }
    return true;
  };
  return Json::parse(text, callback);
}

// The path that a save replaces: the file itself, or what a link (or a chain of them)
// points at, so that the link stays a link.
fs::path SaveTarget(const fs::path& file) {
  fs::path target = file;
  std::error_code ec;
  for (int hop = 0; hop < kMaxLinkHops && fs::is_symlink(fs::symlink_status(target, ec)); ++hop) {
    const fs::path points_to = fs::read_symlink(target, ec);
    if (ec) break;
    target = points_to.is_absolute() ? points_to : target.parent_path() / points_to;
  }
  return target;
}

}  // namespace

std::string Fingerprint(const std::string& name) {
  std::uint64_t hash = std::hash<std::string>{}(name);
  std::string digits(16, '0');
  for (auto it = digits.rbegin(); it != digits.rend(); ++it, hash >>= 4) {
    *it = "0123456789abcdef"[hash & 0xF];
  }
  return digits;
}

namespace {

// The start of every temporary file name of `target`: short enough that the whole name
// stays within the limit, and marked with a fingerprint of the whole name.
std::string TempPrefix(const fs::path& target) {
  std::string name = target.filename().string();
  const std::string fingerprint = Fingerprint(name);
  const std::size_t keep = kMaxNameBytes - kTempNameReserve;
  if (name.size() > keep) name.resize(keep);
  return "." + name + "." + fingerprint + ".";
}

#ifndef _WIN32
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
#else
void RemoveStaleTemps(const fs::path&) {}
struct SignalsHeld {};
#endif

}  // namespace

LoadResult LoadState(const std::filesystem::path& file) {
  LoadResult result;
  const std::string prefix = "state file " + Quoted(file) + ": ";
  std::string text;
  std::string error;
  if (!ReadWholeFile(file, text, error)) {
    result.error = prefix + error;
    return result;
  }
  try {
    CheckNesting(text);
    const Json root = ParseUnique(text);
    std::vector<DriveState> drives = DrivesFromJson(root);
    if (const std::string problem = CheckDrives(drives); !problem.empty()) {
      result.error = prefix + problem;
      return result;
    }
    result.drives = std::move(drives);
    result.ok = true;
  } catch (const Json::parse_error& e) {
    result.error = prefix + "not valid JSON (" + ShownText(e.what()) + ")";
  } catch (const FormatError& e) {
    result.error = prefix + e.what();
  } catch (const std::exception& e) {
    result.error = prefix + "cannot be read (" + ShownText(e.what()) + ")";
  }
  return result;
}

bool SaveState(const std::filesystem::path& file, const std::vector<DriveState>& drives,
               std::string& error) {
  return SaveState(file, drives, error, SaveStop::kNever);
}

bool SaveState(const std::filesystem::path& file, const std::vector<DriveState>& drives,
               std::string& error, SaveStop stop) {
  const std::string prefix = "cannot save the state to " + Quoted(file) + ": ";
  if (const std::string problem = CheckDrives(drives); !problem.empty()) {
    error = prefix + problem;
    return false;
  }
  const std::string text = StateText(drives);

  const fs::path target = SaveTarget(file);
  const fs::path folder = target.parent_path();
  std::error_code ec;
  if (!folder.empty()) {
    fs::create_directories(folder, ec);
    if (ec) {
      error = prefix + "cannot create the folder " + Quoted(folder) + " (" + ec.message() + ")";
      return false;
    }
  }

  // From here to the rename the save runs to its end or fails as a whole.
  [[maybe_unused]] const SignalsHeld held;
  RemoveStaleTemps(target);
  fs::path temp;
  const int fd = CreateTempBeside(target, temp);
  if (fd < 0) {
    error = prefix + "cannot create a new file beside it (" + std::strerror(errno) + ")";
    return false;
  }
  if (stop == SaveStop::kAfterHalfTheText) {
    WriteAll(fd, text.data(), text.size() / 2);
    CloseFile(fd);
    error = prefix + "interrupted while writing " + Quoted(temp);
    return false;
  }
  const bool written =
      KeepOwnerAndMode(fd, target) && WriteAll(fd, text.data(), text.size()) && SyncFile(fd) == 0;
  const int write_errno = errno;
  const bool closed = CloseFile(fd) == 0;
  if (!written || !closed) {
    error = prefix + "cannot write " + Quoted(temp) + " (" +
            std::strerror(written ? errno : write_errno) + ")";
    fs::remove(temp, ec);
    return false;
  }
  if (stop == SaveStop::kBeforeRename) {
    error = prefix + "interrupted before " + Quoted(temp) + " replaced it";
    return false;
  }
  fs::rename(temp, target, ec);
  if (ec) {
    error = prefix + "cannot replace it with " + Quoted(temp) + " (" + ec.message() + ")";
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  SyncFolder(folder);
  return true;
}

std::filesystem::path LinkTarget(const std::filesystem::path& file) {
  return SaveTarget(file);
}

std::string StateText(const std::vector<DriveState>& drives) {
  Json root = {{"version", kFormatVersion}, {"drives", Json::array()}};
  for (const DriveState& drive : drives) root["drives"].push_back(ToJson(drive));
  return root.dump(2) + "\n";
}

std::string CheckWritable(const std::filesystem::path& file) {
  const std::string prefix = "cannot change the state in " + Quoted(file) + ": ";
  const fs::path target = SaveTarget(file);
#ifndef _WIN32
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 &&
      ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0)) {
    return prefix +
           "the file is read-only (or not yours to write); make it writable to change a drive";
  }
#endif
  [[maybe_unused]] const SignalsHeld held;
  fs::path temp;
  const int fd = CreateTempBeside(target, temp);
  if (fd < 0) {
    return prefix + "cannot create a new file beside it (" + std::strerror(errno) + ")";
  }
  CloseFile(fd);
  std::error_code ignored;
  fs::remove(temp, ignored);
  return {};
}

std::vector<DriveState> DemoScenario() {
  std::vector<DriveState> drives;

  DriveState fresh;  // never set: no region, all five changes, an unprotected disc
  fresh.letter = 'E';
  fresh.vendor = "MERIDAX ";
  fresh.product = "DVD-ROM MX-1608";
  fresh.revision = "1.08";
  fresh.address = {.port_number = 1, .path_id = 0, .target_id = 0, .lun = 0};
  fresh.region_mask = kNoRegionMask;
  fresh.user_changes = 5;
  fresh.disc = {.present = true, .cpst = kCpstNone, .rmi = kRmiAllRegions};
  drives.push_back(fresh);

  DriveState region2;  // region 2, four changes left, a protected disc for regions 2 and 4
  region2.letter = 'F';
  region2.vendor = "Meridax ";
  region2.product = "DVD-ROM MX-1204";
  region2.revision = "2.10";
  region2.address = {.port_number = 1, .path_id = 0, .target_id = 1, .lun = 0};
  region2.region_mask = RegionMaskOf(2);
  region2.user_changes = 4;
  region2.disc = {.present = true, .cpst = kCpstCssCppm, .rmi = kRmiRegions2And4};
  drives.push_back(region2);

  DriveState empty;  // no disc in the tray
  empty.letter = 'G';
  empty.vendor = "MERIDAX ";
  empty.product = "DVD-ROM MX-1612";
  empty.revision = "1.12";
  empty.address = {.port_number = 2, .path_id = 0, .target_id = 0, .lun = 0};
  empty.region_mask = kNoRegionMask;
  empty.user_changes = 5;
  drives.push_back(empty);

  DriveState permanent;  // region 1 for good: no change left
  permanent.letter = 'H';
  permanent.vendor = "MERIDAX ";
  permanent.product = "DVD-ROM MX-0824";
  permanent.revision = "1.02";
  permanent.address = {.port_number = 2, .path_id = 0, .target_id = 1, .lun = 0};
  permanent.region_mask = RegionMaskOf(1);
  permanent.user_changes = 0;
  permanent.disc = {.present = true, .cpst = kCpstNone, .rmi = kRmiAllRegions};
  drives.push_back(permanent);

  DriveState other;  // another maker's drive, which the scan passes over
  other.letter = 'I';
  other.vendor = "OTHERCO ";
  other.product = "CD-RW 52X";
  other.revision = "3.00";
  other.address = {.port_number = 3, .path_id = 0, .target_id = 0, .lun = 0};
  other.region_mask = kNoRegionMask;
  other.rpc_scheme = kRpcSchemeNotEnforced;
  drives.push_back(other);

  return drives;
}

std::filesystem::path DefaultStateFile() {
  fs::path tail = fs::path("varden") / "drives.json";
  // A relative XDG_STATE_HOME is to be ignored, as the base directory convention says.
  if (const char* state = std::getenv("XDG_STATE_HOME");
      state != nullptr && fs::path(state).is_absolute()) {
    return fs::path(state) / tail;
  }
  if (const char* home = std::getenv("HOME");
      home != nullptr && fs::path(home).has_root_directory()) {
    return fs::path(home) / ".local" / "state" / tail;
  }
#ifndef _WIN32
  // No usable HOME: the home folder the system knows for the user.
  if (const passwd* user = ::getpwuid(::getuid());
      user != nullptr && user->pw_dir != nullptr && fs::path(user->pw_dir).is_absolute()) {
    return fs::path(user->pw_dir) / ".local" / "state" / tail;
  }
#endif
  return {};  // no home folder at all: no default, never a path relative to the working folder
}

}  // namespace varden::emulated
