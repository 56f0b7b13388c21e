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
#include "emulated/state_json.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

#include "drive/scsi_codes.h"
#include "emulated/json_object_reader.h"
#include "text/shown_text.h"

namespace varden::emulated {
namespace {

using namespace state_json;

constexpr int kFormatVersion = 1;
constexpr int kMaxCount = 7;  // user changes and vendor resets: 3 bits in the RPC State
constexpr int kMaxInquiryLength = 96;
constexpr int kMaxBecomingReadyTests = 1000000;
constexpr int kMaxReportedSenseLength = 255;
// Objects and lists nest four deep in a state file (top level, drives, a drive, its disc);
// anything deeper is refused before it is parsed.
constexpr int kMaxNesting = 4;

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
std::string FirstProblem(const std::vector<DriveState>& drives) {
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

// Refuses text nested deeper than a state file ever is, counting brackets outside strings,
// so that nothing later (the parser, a description of a value) recurses deeply. Answers how
// many object members the text writes: in JSON a colon outside strings ends a member's key.
std::size_t CheckNesting(std::string_view text) {
  std::size_t members = 0;
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
    } else if (c == ':') {
      ++members;
    }
  }
  return members;
}

// The members of every object in `value`.
std::size_t Members(const Json& value) {
  std::size_t members = value.is_object() ? value.size() : 0;
  if (value.is_structured()) {
    for (const Json& child : value) members += Members(child);
  }
  return members;
}

// Parses the text, refusing an object that names a key twice (instead of keeping one value).
// The parser keeps one member of a key written twice; only when the parsed objects hold fewer
// members than the text writes is it parsed again, slowly, to name the key.
Json ParseUnique(const std::string& text, std::size_t members) {
  Json root = Json::parse(text);
  if (Members(root) == members) return root;
  std::vector<std::vector<std::string>> keys;  // of each object open now
  const Json::parser_callback_t callback = [&keys](int, Json::parse_event_t event, Json& value) {
    if (event == Json::parse_event_t::object_start) {
      keys.emplace_back();
    } else if (event == Json::parse_event_t::object_end) {
      keys.pop_back();
    } else if (event == Json::parse_event_t::key && !keys.empty()) {
      const auto& key = value.get_ref<const std::string&>();
      std::vector<std::string>& seen = keys.back();
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
        throw FormatError("the key \"" + ShownText(key, kShownBytes) +
                          "\" stands twice in one object");
      }
      seen.push_back(key);
    }
    return true;
  };
  return Json::parse(text, callback);
}

}  // namespace

LoadResult ParseState(const std::string& text) {
  LoadResult result;
  try {
    const Json root = ParseUnique(text, CheckNesting(text));
    std::vector<DriveState> drives = DrivesFromJson(root);
    if (std::string problem = FirstProblem(drives); !problem.empty()) {
      result.error = std::move(problem);
      return result;
    }
    result.drives = std::move(drives);
    result.ok = true;
  } catch (const Json::parse_error& e) {
    result.error = "not valid JSON (" + ShownText(e.what()) + ")";
  } catch (const FormatError& e) {
    result.error = e.what();
  } catch (const std::exception& e) {
    result.error = "cannot be read (" + ShownText(e.what()) + ")";
  }
  return result;
}

std::string StateText(const std::vector<DriveState>& drives) {
  Json root = {{"version", kFormatVersion}, {"drives", Json::array()}};
  for (const DriveState& drive : drives) root["drives"].push_back(ToJson(drive));
  return root.dump(2) + "\n";
}

std::string CheckDrives(const std::vector<DriveState>& drives) {
  return FirstProblem(drives);
}

}  // namespace varden::emulated
