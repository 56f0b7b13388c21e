// The region report against emulated drives: the log text of every path in both languages,
// the state of the region controls, the label of the changes left, and what reached the drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "drive/scsi_codes.h"
#include "recording_view.h"

namespace varden::test_support {
namespace {

using T = UserTexts;
using Lines = std::function<std::string(const T&)>;

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
void ShowEarlierState(RecordingView& view) {
  for (int n = 1; n <= 6; ++n) {
    view.enabled[kRegionButton[n - 1]] = view.checked[kRegionButton[n - 1]] = true;
    view.enabled[kDiscRegionBox[n - 1]] = true;
    view.checked[kDiscRegionBox[n - 1]] = kEarlierDiscChecks.find('0' + n) != std::string::npos;
  }
  view.texts[IDC_CHANGES_LEFT] = kEarlierLabel;
}

Lines Left(int n) {
  return [n](const T& t) { return t.ChangesLeft(n); };
}
emulated::DriveState Faulty(emulated::DriveState drive, bool emulated::Faults::*fault) {
  drive.faults.*fault = true;
  return drive;
}

const std::vector<std::uint8_t> kReportCommands = {scsi::kOpReportKey, scsi::kOpReadDvdStructure};

struct ReportCase {
  const char* name;
  emulated::DriveState drive;
  Lines log;
  Lines label;  // nullptr: the label stays as it was
  std::string radios_enabled;
  std::string radios_checked;  // also the ones highlighted
  std::string discs_enabled;   // also checked by the report; the others keep their marks
};

const ReportCase kReportCases[] = {
    {"NoRegionUnprotectedDisc", Drive(0xFF, 5, DiscOf(kCpstNone)),
     [](const T& t) { return t.drive_no_region + t.unprotected; }, Left(5), "123456", "", "123456"},
    {"Region2DiscPermits2And4", Drive(0xFD, 4, DiscOf(kCpstCssCppm, 0xF5)),
     [](const T& t) { return t.DriveRegion(2) + t.Allowed(" 2 4"); }, Left(4), "24", "2", "24"},
    {"Region6CprmDiscPermits1", Drive(0xDF, 3, DiscOf(kCpstCprm, 0xFE)),
     [](const T& t) { return t.DriveRegion(6) + t.Allowed(" 1"); }, Left(3), "16", "6", "1"},
    {"Region5NoDisc", Drive(0xEF, 1, kNoDisc),
     [](const T& t) { return t.DriveRegion(5) + t.disc_failed; }, Left(1), "5", "5", ""},
    {"InvalidMaskShowsLowerCaseHex", Drive(0x7F, 2, kNoDisc),
     [](const T& t) { return t.Invalid("7f") + t.disc_failed; }, Left(2), "", "", ""},
    {"MaskNamingTwoRegionsIsInvalid", Drive(0xFC, 2, DiscOf(kCpstNone)),
     [](const T& t) { return t.Invalid("fc") + t.unprotected; }, Left(2), "", "", "123456"},
    {"DriveWithoutRpc2StillShowsItsRegion",
     [] {
       auto drive = Drive(0xFE, 4, DiscOf(0x03));
       drive.rpc_scheme = 0x00;
       return drive;
     }(),
     [](const T& t) { return t.DriveRegion(1) + t.unknown_protection; },
     [](const T& t) { return t.no_rpc2; }, "1", "1", ""},
    {"DiscPermittingNoRegion", Drive(0xFB, 4, DiscOf(kCpstCssCppm, 0x3F)),
     [](const T& t) { return t.DriveRegion(3) + t.Allowed(""); }, Left(4), "3", "3", ""},
    {"RmiBits6And7AreNotLookedAt", Drive(0xF7, 4, DiscOf(kCpstCssCppm, 0x5E)),
     [](const T& t) { return t.DriveRegion(4) + t.Allowed(" 1 6"); }, Left(4), "146", "4", "16"},
    {"ReportKeyFailsAndNoDisc", Faulty(Drive(0xFE, 4, kNoDisc), &emulated::Faults::no_report_key),
     [](const T& t) { return t.drive_failed + t.disc_failed; }, nullptr, "", "", ""},
    {"ReportKeyFailsDiscStillShown",
     Faulty(Drive(0xFE, 4, DiscOf(kCpstCssCppm, 0xC4)), &emulated::Faults::no_report_key),
     [](const T& t) { return t.drive_failed + t.Allowed(" 1 2 4 5 6"); }, nullptr, "12456", "",
     "12456"},
    {"DriveCannotBeOpened", Faulty(Drive(0xFE, 4, DiscOf(kCpstNone)), &emulated::Faults::no_device),
     [](const T& t) { return t.open_failed; }, nullptr, "", "", ""},
};

TEST(RegionReport, EachPathLogsControlsAndCommands) {
  for (const T* language : kBothLanguages) {
    for (const ReportCase& c : kReportCases) {
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(language->code_page));
      RegionBench bench(language->code_page);
      RecordingView& view = bench.view;
      const int index = view.selected = bench.List(c.drive);
      ShowEarlierState(view);

      ReportRegion(view);

      const bool opened = !c.drive.faults.no_device;
      EXPECT_EQ(view.log, c.log(*language));
      EXPECT_EQ(view.CountCalls("AppendLog "), opened ? 2u : 1u);
      EXPECT_EQ(view.caret, view.log.size());
      EXPECT_EQ(view.texts[IDC_CHANGES_LEFT], c.label ? c.label(*language) : kEarlierLabel);
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
  for (const T* language : kBothLanguages) {
    SCOPED_TRACE(language->code_page);
    RegionBench bench(language->code_page);
    bench.List(Drive(0xFD, 4, DiscOf(kCpstNone)));
    bench.view.last_reported = 0;

    ReportRegion(bench.view);

    EXPECT_EQ(bench.view.calls, (std::vector<std::string>{"SelectedDriveIndex",
                                                          "AppendLog " + language->no_valid_item}));
    EXPECT_EQ(bench.view.last_reported, 0);
    EXPECT_EQ(bench.drives.OpenCalls(), 0);
  }
}

// The order of the control operations of one report: reset, label, the drive's region, its
// line, then the disc's regions piece by piece, and its line.
TEST(RegionReport, ControlOperationsComeInOrder) {
  RegionBench bench;
  bench.List(Drive(0xFF, 5, kNoDisc, 'D'));
  bench.view.selected = bench.List(Drive(0xFD, 4, DiscOf(kCpstCssCppm, 0xF5)));

  ReportRegion(bench.view);

  const std::vector<std::string> expected = {"SelectedDriveIndex",
                                             "SetLastReportedIndex 1",
                                             "Enable 1002 off",
                                             "Check 1002 off",
                                             "Enable 1008 off",
                                             "Check 1008 off",
                                             "Enable 1009 off",
                                             "Check 1009 off",
                                             "Enable 1010 off",
                                             "Check 1010 off",
                                             "Enable 1011 off",
                                             "Check 1011 off",
                                             "Enable 1012 off",
                                             "Check 1012 off",
                                             "Enable 1007 off",
                                             "Enable 1013 off",
                                             "Enable 1014 off",
                                             "Enable 1015 off",
                                             "Enable 1016 off",
                                             "Enable 1017 off",
                                             "DriveLetter 1",
                                             "Text 1022 Regional code can be changed 4time(s)",
                                             "Enable 1008 on",
                                             "Highlight 1008",
                                             "Check 1008 on",
                                             "AppendLog Drive's region is 2.\r\n",
                                             "Enable 1013 on",
                                             "Check 1013 on",
                                             "Enable 1008 on",
                                             "Enable 1015 on",
                                             "Check 1015 on",
                                             "Enable 1010 on",
                                             "AppendLog This disc is allowed region 2 4\r\n"};
  EXPECT_EQ(bench.view.calls, expected);
}

}  // namespace
}  // namespace varden::test_support
