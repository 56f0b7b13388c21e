// The region report against emulated drives: the log of every path in both languages, the
// region controls, the label of the changes left, and what reached the drive.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "drive/scsi_codes.h"
#include "recording_view.h"

namespace varden::test_support {
namespace {

using Lines = std::function<std::string()>;
using std::string;

// The regions whose control in `ids` is on in `states`, as digits ("24").
string Regions(const std::map<int, bool>& states, const int (&ids)[6]) {
  string regions;
  for (int n = 1; n <= 6; ++n) {
    const auto it = states.find(ids[n - 1]);
    if (it != states.end() && it->second) regions += static_cast<char>('0' + n);
  }
  return regions;
}

// The drive's line, or `first` when the region is -1; then the disc's line, or its allowed
// regions when `allowed` is not null.
Lines Log(int region, Key disc, const char* allowed = nullptr, Key first = Key::MSG_NO_RPC2) {
  return [=] {
    return (region < 0 ? Say(first) : RegionLine(region)) +
           (allowed ? AllowedLine(allowed) : Say(disc));
  };
}
Lines Invalid(int mask, Key disc) {
  return [=] { return text::Format(Key::FMT_DRIVE_REGION_INVALID, mask) + Say(disc); };
}
Lines Left(int n) {
  return [n] { return text::Format(Key::FMT_CHANGES_LEFT, n); };
}
emulated::DriveState With(emulated::DriveState drive, bool emulated::Faults::*fault) {
  drive.faults.*fault = true;
  return drive;
}

const emulated::DriveState kNoRpc2 = [] {
  auto drive = Drive(0xFE, 4, DiscOf(0x03));
  drive.rpc_scheme = 0x00;
  return drive;
}();
constexpr Key kUnprot = Key::MSG_DISC_UNPROTECTED, kNoRead = Key::MSG_GET_DISC_REGION_FAILED;
constexpr Key kNoState = Key::MSG_GET_DRIVE_REGION_FAILED;
const auto kNoReportKey = &emulated::Faults::no_report_key;
const std::vector<std::uint8_t> kReportCommands = {scsi::kOpReportKey, scsi::kOpReadDvdStructure};

// An earlier report left every region control on and checked, disc boxes 1, 3 and 5 checked
// and a label; each case shows what the report changes.
const string kEarlierDiscChecks = "135", kEarlierLabel = "earlier label";
const struct ReportCase {
  const char* name;
  emulated::DriveState drive;
  string radios_enabled;
  string radios_checked;  // also the ones highlighted
  string discs_enabled;   // also checked; the others keep their marks
  Lines log;
  Lines label;  // nullptr: the label stays as it was
} kReportCases[] = {
    {"NoRegionUnprotectedDisc", Drive(0xFF, 5, DiscOf(kCpstNone)), "123456", "", "123456",
     Log(0, kUnprot), Left(5)},
    {"Region2DiscPermits2And4", Drive(0xFD, 4, DiscOf(kCpstCssCppm, 0xF5)), "24", "2", "24",
     Log(2, kUnprot, " 2 4"), Left(4)},
    {"Region6CprmDiscPermits1", Drive(0xDF, 3, DiscOf(kCpstCprm, 0xFE)), "16", "6", "1",
     Log(6, kUnprot, " 1"), Left(3)},
    {"Region5NoDisc", Drive(0xEF, 1, kNoDisc), "5", "5", "", Log(5, kNoRead), Left(1)},
    {"InvalidMaskShowsLowerCaseHex", Drive(0x7F, 2, kNoDisc), "", "", "", Invalid(0x7F, kNoRead),
     Left(2)},
    {"MaskNamingTwoRegionsIsInvalid", Drive(0xFC, 2, DiscOf(kCpstNone)), "", "", "123456",
     Invalid(0xFC, kUnprot), Left(2)},
    {"DriveWithoutRpc2StillShowsItsRegion", kNoRpc2, "1", "1", "",
     Log(1, Key::MSG_DISC_UNKNOWN_PROTECTION), [] { return Say(Key::MSG_NO_RPC2); }},
    {"DiscPermittingNoRegion", Drive(0xFB, 4, DiscOf(kCpstCssCppm, 0x3F)), "3", "3", "",
     Log(3, kUnprot, ""), Left(4)},
    {"RmiBits6And7AreNotLookedAt", Drive(0xF7, 4, DiscOf(kCpstCssCppm, 0x5E)), "146", "4", "16",
     Log(4, kUnprot, " 1 6"), Left(4)},
    {"ReportKeyFailsAndNoDisc", With(Drive(0xFE, 4, kNoDisc), kNoReportKey), "", "", "",
     Log(-1, kNoRead, nullptr, kNoState), nullptr},
    {"ReportKeyFailsDiscStillShown", With(Drive(0xFE, 4, DiscOf(kCpstCssCppm, 0xC4)), kNoReportKey),
     "12456", "", "12456", Log(-1, kUnprot, " 1 2 4 5 6", kNoState), nullptr},
    {"DriveCannotBeOpened", With(Drive(0xFE, 4, DiscOf(kCpstNone)), &emulated::Faults::no_device),
     "", "", "", [] { return Say(Key::MSG_DEVICE_OPEN_FAILED); }, nullptr},
};

TEST(RegionReport, EachPathLogsControlsAndCommands) {
  for (const unsigned code_page : kBothLanguages) {
    for (const ReportCase& c : kReportCases) {
      SCOPED_TRACE(string(c.name) + " at code page " + std::to_string(code_page));
      RegionBench bench(code_page);
      RecordingView& view = bench.view;
      bench.List(Drive(0xFF, 5, kNoDisc, 'D'));  // the selection is not the first item
      const int index = view.selected = bench.List(c.drive);
      for (int n = 1; n <= 6; ++n) {
        view.enabled[kRegionButton[n - 1]] = view.checked[kRegionButton[n - 1]] = true;
        view.enabled[kDiscRegionBox[n - 1]] = true;
        view.checked[kDiscRegionBox[n - 1]] = kEarlierDiscChecks.find('0' + n) != string::npos;
      }
      view.texts[IDC_CHANGES_LEFT] = kEarlierLabel;

      ReportRegion(view);

      const bool opened = !c.drive.faults.no_device;
      EXPECT_EQ(view.log, c.log());
      EXPECT_EQ(view.CallsStartingWith("AppendLog ").size(), opened ? 2u : 1u);
      EXPECT_EQ(view.caret, view.log.size());
      EXPECT_EQ(view.texts[IDC_CHANGES_LEFT], c.label ? c.label() : kEarlierLabel);
      EXPECT_EQ(view.last_reported, index);
      EXPECT_EQ(Regions(view.enabled, kRegionButton), c.radios_enabled);
      EXPECT_EQ(Regions(view.checked, kRegionButton), c.radios_checked);
      EXPECT_EQ(Regions(view.highlighted, kRegionButton), c.radios_checked);
      EXPECT_EQ(Regions(view.enabled, kDiscRegionBox), c.discs_enabled);
      std::set<char> marks(c.discs_enabled.begin(), c.discs_enabled.end());
      marks.insert(kEarlierDiscChecks.begin(), kEarlierDiscChecks.end());
      EXPECT_EQ(Regions(view.checked, kDiscRegionBox), string(marks.begin(), marks.end()));
      EXPECT_EQ(bench.Opcodes(), opened ? kReportCommands : std::vector<std::uint8_t>());
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
  EXPECT_EQ(bench.view.calls,
            (std::vector<string>{"SelectedDriveIndex", "AppendLog Don't select the valid item."}));
  EXPECT_EQ(bench.view.last_reported, 0);
  EXPECT_EQ(bench.drives.OpenCalls(), 0);
}

}  // namespace
}  // namespace varden::test_support
