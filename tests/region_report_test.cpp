// The region report against emulated drives: the log of every path in both languages, the
// state of the region controls, the label of the changes left, and what reached the drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "drive/scsi_codes.h"
#include "recording_view.h"

namespace varden::test_support {
namespace {

using Lines = std::function<std::string()>;

// The regions whose control in `ids` is in the state, as digits ("24").
std::string Regions(const RecordingView& view, const int (&ids)[6],
                    bool (RecordingView::*state)(int) const) {
  std::string regions;
  for (int n = 1; n <= 6; ++n) {
    if ((view.*state)(ids[n - 1])) regions += static_cast<char>('0' + n);
  }
  return regions;
}

// What an earlier report may have left: every region control on and checked, disc boxes 1,
// 3 and 5 checked, a label in place; each case shows what the report changes.
const std::string kEarlierDiscChecks = "135";
const std::string kEarlierLabel = "earlier label";

Lines Left(int n) {
  return [n] { return text::Format(Key::FMT_CHANGES_LEFT, n); };
}
emulated::DriveState With(emulated::DriveState drive, bool emulated::Faults::*fault) {
  drive.faults.*fault = true;
  return drive;
}

struct ReportCase {
  const char* name;
  emulated::DriveState drive;
  Lines log;
  Lines label;  // nullptr: the label stays as it was
  std::string radios_enabled;
  std::string radios_checked;  // also the ones highlighted
  std::string discs_enabled;   // also checked by the report; the others keep their marks
};

const emulated::DriveState kNoRpc2 = [] {
  auto drive = Drive(0xFE, 4, DiscOf(0x03));
  drive.rpc_scheme = 0x00;
  return drive;
}();
const std::vector<std::uint8_t> kReportCommands = {scsi::kOpReportKey, scsi::kOpReadDvdStructure};
const auto kNoReportKey = &emulated::Faults::no_report_key;

const ReportCase kReportCases[] = {
    {"NoRegionUnprotectedDisc", Drive(0xFF, 5, DiscOf(kCpstNone)),
     [] { return RegionLine(0) + Say(Key::MSG_DISC_UNPROTECTED); }, Left(5), "123456", "",
     "123456"},
    {"Region2DiscPermits2And4", Drive(0xFD, 4, DiscOf(kCpstCssCppm, 0xF5)),
     [] { return RegionLine(2) + AllowedLine(" 2 4"); }, Left(4), "24", "2", "24"},
    {"Region6CprmDiscPermits1", Drive(0xDF, 3, DiscOf(kCpstCprm, 0xFE)),
     [] { return RegionLine(6) + AllowedLine(" 1"); }, Left(3), "16", "6", "1"},
    {"Region5NoDisc", Drive(0xEF, 1, kNoDisc),
     [] { return RegionLine(5) + Say(Key::MSG_GET_DISC_REGION_FAILED); }, Left(1), "5", "5", ""},
    {"InvalidMaskShowsLowerCaseHex", Drive(0x7F, 2, kNoDisc),
     [] {
       return text::Format(Key::FMT_DRIVE_REGION_INVALID, 0x7F) +
              Say(Key::MSG_GET_DISC_REGION_FAILED);
     },
     Left(2), "", "", ""},
    {"MaskNamingTwoRegionsIsInvalid", Drive(0xFC, 2, DiscOf(kCpstNone)),
     [] {
       return text::Format(Key::FMT_DRIVE_REGION_INVALID, 0xFC) + Say(Key::MSG_DISC_UNPROTECTED);
     },
     Left(2), "", "", "123456"},
    {"DriveWithoutRpc2StillShowsItsRegion", kNoRpc2,
     [] { return RegionLine(1) + Say(Key::MSG_DISC_UNKNOWN_PROTECTION); },
     [] { return Say(Key::MSG_NO_RPC2); }, "1", "1", ""},
    {"DiscPermittingNoRegion", Drive(0xFB, 4, DiscOf(kCpstCssCppm, 0x3F)),
     [] { return RegionLine(3) + AllowedLine(""); }, Left(4), "3", "3", ""},
    {"RmiBits6And7AreNotLookedAt", Drive(0xF7, 4, DiscOf(kCpstCssCppm, 0x5E)),
     [] { return RegionLine(4) + AllowedLine(" 1 6"); }, Left(4), "146", "4", "16"},
    {"ReportKeyFailsAndNoDisc", With(Drive(0xFE, 4, kNoDisc), kNoReportKey),
     [] { return Say(Key::MSG_GET_DRIVE_REGION_FAILED) + Say(Key::MSG_GET_DISC_REGION_FAILED); },
     nullptr, "", "", ""},
    {"ReportKeyFailsDiscStillShown", With(Drive(0xFE, 4, DiscOf(kCpstCssCppm, 0xC4)), kNoReportKey),
     [] { return Say(Key::MSG_GET_DRIVE_REGION_FAILED) + AllowedLine(" 1 2 4 5 6"); }, nullptr,
     "12456", "", "12456"},
    {"DriveCannotBeOpened", With(Drive(0xFE, 4, DiscOf(kCpstNone)), &emulated::Faults::no_device),
     [] { return Say(Key::MSG_DEVICE_OPEN_FAILED); }, nullptr, "", "", ""},
};

TEST(RegionReport, EachPathLogsControlsAndCommands) {
  for (const unsigned code_page : kBothLanguages) {
    for (const ReportCase& c : kReportCases) {
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(code_page));
      RegionBench bench(code_page);
      RecordingView& view = bench.view;
      const int index = view.selected = bench.List(c.drive);
      for (int n = 1; n <= 6; ++n) {
        view.enabled[kRegionButton[n - 1]] = view.checked[kRegionButton[n - 1]] = true;
        view.enabled[kDiscRegionBox[n - 1]] = true;
        view.checked[kDiscRegionBox[n - 1]] = kEarlierDiscChecks.find('0' + n) != std::string::npos;
      }
      view.texts[IDC_CHANGES_LEFT] = kEarlierLabel;

      ReportRegion(view);

      const bool opened = !c.drive.faults.no_device;
      EXPECT_EQ(view.log, c.log());
      EXPECT_EQ(view.CountCalls("AppendLog "), opened ? 2u : 1u);
      EXPECT_EQ(view.caret, view.log.size());
      EXPECT_EQ(view.texts[IDC_CHANGES_LEFT], c.label ? c.label() : kEarlierLabel);
      EXPECT_EQ(view.last_reported, index);
      EXPECT_EQ(Regions(view, kRegionButton, &RecordingView::IsEnabled), c.radios_enabled);
      EXPECT_EQ(Regions(view, kRegionButton, &RecordingView::IsCheckedNow), c.radios_checked);
      EXPECT_EQ(Regions(view, kRegionButton, &RecordingView::IsHighlighted), c.radios_checked);
      EXPECT_EQ(Regions(view, kDiscRegionBox, &RecordingView::IsEnabled), c.discs_enabled);
      std::string marks = kEarlierDiscChecks + c.discs_enabled;
      std::sort(marks.begin(), marks.end());
      marks.erase(std::unique(marks.begin(), marks.end()), marks.end());
      EXPECT_EQ(Regions(view, kDiscRegionBox, &RecordingView::IsCheckedNow), marks);
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
  EXPECT_EQ(bench.view.calls, (std::vector<std::string>{"SelectedDriveIndex",
                                                        "AppendLog Don't select the valid item."}));
  EXPECT_EQ(bench.view.last_reported, 0);
  EXPECT_EQ(bench.drives.OpenCalls(), 0);
}

// The order of the control operations of one report: reset, label, the drive's region, its
// line, then the disc's regions piece by piece, and its line.
TEST(RegionReport, ControlOperationsComeInOrder) {
  RegionBench bench;
  bench.List(Drive(0xFF, 5, kNoDisc, 'D'));
  bench.view.selected = bench.List(Drive(0xFD, 4, DiscOf(kCpstCssCppm, 0xF5)));

  ReportRegion(bench.view);

  std::vector<std::string> expected = {"SelectedDriveIndex", "SetLastReportedIndex 1"};
  for (int id : kRegionButton) {
    expected.insert(expected.end(), {"Enable " + std::to_string(id) + " off",
                                     "Check " + std::to_string(id) + " off"});
  }
  for (int id : kDiscRegionBox) expected.push_back("Enable " + std::to_string(id) + " off");
  expected.insert(
      expected.end(),
      {"DriveLetter 1", "Text 1022 Regional code can be changed 4time(s)", "Enable 1008 on",
       "Highlight 1008", "Check 1008 on", "AppendLog Drive's region is 2.\r\n", "Enable 1013 on",
       "Check 1013 on", "Enable 1008 on", "Enable 1015 on", "Check 1015 on", "Enable 1010 on",
       "AppendLog This disc is allowed region 2 4\r\n"});
  EXPECT_EQ(bench.view.calls, expected);
}

}  // namespace
}  // namespace varden::test_support
