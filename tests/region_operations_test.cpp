// The region report and the region change against emulated drives: the log of every path in
// both languages, the region controls and the label of the changes left, the commands that
// reached the drive, the readiness loop's waits, prompts and bounds, and that the drive is
// closed on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data_rows.h"
#include "drive/scsi_codes.h"
#include "fake_seam.h"
#include "recording_view.h"

namespace varden::test_support {
namespace {

constexpr std::uint8_t kTur = scsi::kOpTestUnitReady, kSendKey = scsi::kOpSendKey;
constexpr std::uint8_t kReportKey = scsi::kOpReportKey, kReadStructure = scsi::kOpReadDvdStructure;
constexpr Key kOk = Key::MSG_SET_REGION_OK, kUnprot = Key::MSG_DISC_UNPROTECTED;
constexpr Key kUnknown = Key::MSG_UNKNOWN_ERROR;
const emulated::Disc kDisc = DiscOf(kCpstNone);
const emulated::DriveState kSetDrive = Drive(0xFD, 3, kDisc);  // region 2

// The regions whose control in `ids` is on in `states`, as digits ("24").
std::string Regions(const std::map<int, bool>& states, const int (&ids)[6]) {
  std::string regions;
  for (int n = 1; n <= 6; ++n) {
    const auto it = states.find(ids[n - 1]);
    if (it != states.end() && it->second) regions += static_cast<char>('0' + n);
  }
  return regions;
}

std::uint8_t Hex(const std::string& digits) {
  return static_cast<std::uint8_t>(std::stoi(digits, nullptr, 16));
}

// The commands of a commands column: t TEST UNIT READY, s SEND KEY, k REPORT KEY, d READ DVD
// STRUCTURE.
std::vector<std::uint8_t> CommandsOf(const std::string& letters) {
  std::vector<std::uint8_t> out;
  for (const char c : letters) {
    out.push_back(std::array{kTur, kSendKey, kReportKey, kReadStructure}.at(
        std::string_view("tskd").find(c)));
  }
  return out;
}

// A drive column of tests/data/report_cases.tsv: the region mask (hexadecimal) and the changes
// left, then any of disc:CC/RR (a disc of that CPST and RMI), no-rpc2, no-report-key, no-device.
emulated::DriveState DriveOf(const std::string& column) {
  std::istringstream tokens(column);
  int mask = 0, changes = 0;
  tokens >> std::hex >> mask >> std::dec >> changes;
  emulated::DriveState drive = Drive(static_cast<std::uint8_t>(mask), changes, kNoDisc);
  for (std::string token; tokens >> token;) {
    if (token.starts_with("disc:"))
      drive.disc = DiscOf(Hex(token.substr(5, 2)), Hex(token.substr(8)));
    if (token == "no-rpc2") drive.rpc_scheme = 0x00;
    drive.faults.no_report_key |= token == "no-report-key";
    drive.faults.no_device |= token == "no-device";
  }
  return drive;
}

// "kind:value" as its two parts; the value empty where the token has no colon.
std::pair<std::string, std::string> KindAndValue(const std::string& token) {
  const std::size_t colon = token.find(':');
  return {token.substr(0, colon), colon == std::string::npos ? "" : token.substr(colon + 1)};
}

// A text column in the language decided: catalogue keys by name, region:N (the drive's region
// line, 0: none), allowed:DIGITS (the disc's permitted regions), invalid:HH (the line of an
// invalid region mask) and changes:N (the label of the changes left).
std::string Expand(const std::string& column) {
  static const auto keys = DataRows("catalogue_texts.tsv", "text");
  std::string out;
  std::istringstream tokens(column);
  for (std::string token; tokens >> token;) {
    const auto [kind, value] = KindAndValue(token);
    if (kind == "region") {
      out += RegionLine(std::stoi(value));
    } else if (kind == "invalid") {
      out += text::Format(Key::FMT_DRIVE_REGION_INVALID, std::stoi(value, nullptr, 16));
    } else if (kind == "changes") {
      out += text::Format(Key::FMT_CHANGES_LEFT, std::stoi(value));
    } else if (kind == "allowed") {
      std::string pieces;
      for (const char n : value) pieces += std::string(" ") + n;
      out += AllowedLine(pieces);
    } else if (const auto key =
                   std::ranges::find_if(keys, [&](auto& row) { return row[1] == kind; });
               key != keys.end()) {
      out += Say(static_cast<Key>(key - keys.begin()));
    } else {
      ADD_FAILURE() << "no such key: " << kind;
    }
  }
  return out;
}

// An earlier report left every region control on and checked, disc boxes 1, 3 and 5 checked
// and a label; each case shows what the report changes.
const std::string kEarlierDiscChecks = "135", kEarlierLabel = "earlier label";

TEST(RegionReport, EachPathLogsControlsAndCommands) {
  for (const unsigned code_page : kBothLanguages) {
    for (const auto& row : DataRows("report_cases.tsv", "report")) {
      SCOPED_TRACE(row[1] + " at code page " + std::to_string(code_page));
      const emulated::DriveState drive = DriveOf(row[2]);
      const std::string &radios_enabled = row[3], &radios_checked = row[4], &discs = row[5];
      RegionBench bench(code_page);
      RecordingView& view = bench.view;
      bench.List(Drive(0xFF, 5, kNoDisc, 'D'));  // the selection is not the first item
      const int index = view.selected = bench.List(drive);
      for (int n = 1; n <= 6; ++n) {
        view.enabled[kRegionButton[n - 1]] = view.checked[kRegionButton[n - 1]] = true;
        view.enabled[kDiscRegionBox[n - 1]] = true;
        view.checked[kDiscRegionBox[n - 1]] = kEarlierDiscChecks.find('0' + n) != std::string::npos;
      }
      view.texts[IDC_CHANGES_LEFT] = kEarlierLabel;

      ReportRegion(view);

      const bool opened = !drive.faults.no_device;
      EXPECT_EQ(view.log, Expand(row[6]));
      EXPECT_EQ(view.CallsStartingWith("AppendLog ").size(), opened ? 2u : 1u);
      EXPECT_EQ(view.caret, view.log.size());
      EXPECT_EQ(view.texts[IDC_CHANGES_LEFT], row[7] == "-" ? kEarlierLabel : Expand(row[7]));
      EXPECT_EQ(view.last_reported, index);
      EXPECT_EQ(Regions(view.enabled, kRegionButton), radios_enabled);
      EXPECT_EQ(Regions(view.checked, kRegionButton), radios_checked);
      EXPECT_EQ(Regions(view.highlighted, kRegionButton), radios_checked);
      EXPECT_EQ(Regions(view.enabled, kDiscRegionBox), discs);
      std::set<char> marks(discs.begin(), discs.end());
      marks.insert(kEarlierDiscChecks.begin(), kEarlierDiscChecks.end());
      EXPECT_EQ(Regions(view.checked, kDiscRegionBox), std::string(marks.begin(), marks.end()));
      EXPECT_EQ(bench.Opcodes(), CommandsOf(opened ? "kd" : ""));
      EXPECT_EQ(bench.drives.OpenHandles(), 0);
      EXPECT_FALSE(CurrentConnection().open);
    }
  }
}

TEST(RegionReport, NothingSelectedTouchesOnlyTheLog) {
  RegionBench bench;
  bench.List(Drive(0xFD, 4, DiscOf(kCpstNone)));
  bench.view.last_reported = 0;
  ReportRegion(bench.view);
  EXPECT_EQ(bench.view.calls, (std::vector<std::string>{"SelectedDriveIndex",
                                                        "AppendLog Don't select the valid item."}));
  EXPECT_EQ(bench.view.last_reported, 0);
  EXPECT_EQ(bench.drives.OpenCalls(), 0);
}

using testing::ScriptedAnswer, testing::Sense;
// CHECK CONDITION without sense; a call that fails with the block as it went out.
const ScriptedAnswer kNoSenseBack{.status = scsi::kStatusCheckCondition},
    kCallFails{.call_succeeds = false, .sense_length = scsi::kFixedSenseLength};

// Drives whose TEST UNIT READY answers come from a script; the drive still receives (and
// records) every command, and answers alone once the script is used up.
struct ScriptedReadiness : emulated::EmulatedDrives {
  testing::FakeSeam script;
  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override {
    if (block[PassThroughRequest::Layout::kCdb] != kTur || script.answers.empty()) {
      return EmulatedDrives::PassThrough(handle, block);
    }
    std::vector<std::uint8_t> copy(block.begin(), block.end());
    EmulatedDrives::PassThrough(handle, copy);  // recorded; the drive's own answer is dropped
    return script.PassThrough(handle, block);
  }
};
using ChangeBench = RegionBenchOf<ScriptedReadiness>;
using Script = std::function<void(ChangeBench&)>;

// Runs the change on the drive selected and reported after `script`, and checks `log`, the
// commands, the mask after, the drive closed, each prompt asking for a disc, and the waits of
// one second each, each announced without scrolling.
void ExpectChange(unsigned code_page, const emulated::DriveState& drive, int chosen,
                  const Script& script, const std::string& log,
                  const std::vector<std::uint8_t>& commands, std::size_t prompts,
                  std::uint8_t mask_after, std::size_t waits = 0) {
  ChangeBench bench(code_page);
  bench.SelectAndReport(drive, chosen);
  if (script) script(bench);

  ChangeRegion(bench.view, bench.sleeper);

  const RecordingView& view = bench.view;
  EXPECT_EQ(view.log, log);
  EXPECT_EQ(bench.Opcodes(), commands);
  EXPECT_EQ(bench.Listed().region_mask, mask_after);
  EXPECT_EQ(bench.drives.OpenHandles(), 0);
  EXPECT_FALSE(CurrentConnection().open);
  EXPECT_EQ(view.CallsStartingWith("AskOkCancel"),
            std::vector<std::string>(prompts, "AskOkCancel " + Say(Key::MSG_INSERT_DISC) + "|" +
                                                  Say(Key::CAPTION_ATTENTION)));
  EXPECT_TRUE(bench.drives.script.answers.empty());
  EXPECT_EQ(bench.sleeper.waits, std::vector<int>(waits, 1000));
  EXPECT_EQ(view.CallsStartingWith("AppendLogNoScroll"),
            std::vector<std::string>(waits, "AppendLogNoScroll " + Say(Key::MSG_TOC_READING)));
}

// A script column of tests/data/change_cases.tsv, run on the bench before the change.
void RunScript(ChangeBench& b, const std::string& column) {
  std::istringstream steps(column);
  for (std::string step; steps >> step;) {
    const auto [kind, value] = KindAndValue(step);
    if (kind == "check") {
      b.view.checked[kRegionButton[std::stoi(value) - 1]] = true;
    } else if (kind == "answer") {
      b.view.answers.push_back([ok = value == "ok"] { return ok; });
    } else if (kind == "insert-disc-and-choose") {
      b.view.answers.push_back([&b, region = std::stoi(value)] {
        b.drives.InsertDisc(kLetter, kDisc);
        b.view.Choose(region);
        return true;
      });
    } else if (kind == "needs-disc") {
      b.Listed().change_needs_disc = true;
    } else if (kind == "no-selection") {
      b.view.selected = -1;
    } else if (kind == "no-device") {
      b.Listed().faults.no_device = true;
      b.view.last_reported = std::stoi(value);
    } else if (kind == "other-reported-last") {
      b.view.selected = b.List(Drive(0xFF, 5, kNoDisc, 'D'));  // would skip the test
      ReportRegion(b.view);
      b.view.selected = 0;
      b.Forget();
    } else if (kind == "stale") {
      b.Listed().faults.no_report_key = true;
      const std::uint8_t left[] = {Hex(value.substr(0, 2)), Hex(value.substr(2)), 0x01, 0x00};
      std::copy(std::begin(left), std::end(left), b.buffer.begin() + 4);
      ReportRegion(b.view);
      b.view.Choose(4);
      b.Forget();
    } else {
      ADD_FAILURE() << "no such step: " << step;
    }
  }
}

TEST(RegionChange, EachPathLogsAndSends) {
  const auto rows = DataRows("change_cases.tsv", "change");
  for (const unsigned code_page : kBothLanguages) {
    for (const auto& row : rows) {
      SCOPED_TRACE(row[1] + " at code page " + std::to_string(code_page));
      text::DecideLanguage(code_page);
      ExpectChange(
          code_page, DriveOf(row[2]), std::stoi(row[3]),
          [&](ChangeBench& b) { RunScript(b, row[8]); }, Expand(row[6]), CommandsOf(row[5]),
          std::stoul(row[7]), Hex(row[4]));
    }
  }
}

// The answers of a script column of tests/data/readiness_cases.tsv.
std::vector<ScriptedAnswer> Answers(const std::string& column) {
  std::vector<ScriptedAnswer> out;
  std::istringstream tokens(column);
  for (std::string token; tokens >> token;) {
    const std::size_t star = token.find('*');
    const int count = star == std::string::npos ? 1 : std::stoi(token.substr(0, star));
    if (star != std::string::npos) token.erase(0, star + 1);
    const auto byte = [&](int i) {
      return static_cast<std::uint8_t>(std::stoi(token.substr(3 * i, 2), nullptr, 16));
    };
    out.insert(out.end(), static_cast<std::size_t>(count),
               token == "no-sense"     ? kNoSenseBack
               : token == "call-fails" ? kCallFails
                                       : Sense(byte(0), byte(1), byte(2)));
  }
  return out;
}

// On the set drive (region 2) with region 4 chosen; the Japanese unknown-error text has no
// line end, so the closing report's first line runs on.
TEST(RegionChange, ReadinessLoopDecidesBySense) {
  const auto rows = DataRows("readiness_cases.tsv", "readiness");
  for (const unsigned code_page : kBothLanguages) {
    for (const auto& row : rows) {
      SCOPED_TRACE(row[1] + " at code page " + std::to_string(code_page));
      text::DecideLanguage(code_page);
      const std::vector<ScriptedAnswer> script = Answers(row[2]);
      const std::size_t oks = std::stoul(row[3]), waits = std::stoul(row[6]);
      const bool set = row[4] == "set";
      ExpectChange(
          code_page, kSetDrive, 4,
          [&](ChangeBench& b) {
            b.drives.script.answers.assign(script.begin(), script.end());
            for (std::size_t n = 0; n < oks; ++n) RunScript(b, "answer:ok");
          },
          Repeat(Say(Key::MSG_TOC_READING), static_cast<int>(waits)) + Say(set ? kOk : kUnknown) +
              RegionLine(set ? 4 : 2) + Say(kUnprot),
          CommandsOf(std::string(std::stoul(row[5]), 't') + (set ? "skd" : "kd")), oks,
          set ? 0xF7 : 0xFD, waits);
    }
  }
}

}  // namespace
}  // namespace varden::test_support
