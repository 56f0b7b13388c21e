// The region report against emulated drives: the log text of every path in both languages,
// the state of the region controls, the label of the changes left, and what reached the drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drive/region_commands.h"
#include "drive/scsi_codes.h"
#include "recording_view.h"
#include "region/region_operations.h"
#include "ui/resources/resource.h"

namespace varden {
namespace {

using test_support::kBothLanguages;
using test_support::RecordingView;
using test_support::RegionBench;
using test_support::UserTexts;

constexpr char kLetter = 'E';

emulated::Disc NoDisc() {
  return emulated::Disc{};
}

emulated::Disc DiscOf(std::uint8_t cpst, std::uint8_t rmi = 0x00) {
  emulated::Disc disc;
  disc.present = true;
  disc.cpst = cpst;
  disc.rmi = rmi;
  return disc;
}

emulated::DriveState Drive(std::uint8_t mask, int changes, emulated::Disc disc) {
  emulated::DriveState drive;
  drive.letter = kLetter;
  drive.region_mask = mask;
  drive.user_changes = changes;
  drive.disc = disc;
  return drive;
}

// The regions (1 to 6) whose control answers true.
std::vector<int> RegionsWhere(const int (&ids)[6], const std::function<bool(int)>& test) {
  std::vector<int> regions;
  for (int n = 1; n <= 6; ++n) {
    if (test(ids[n - 1])) regions.push_back(n);
  }
  return regions;
}

// Every region control on and checked, disc boxes 1, 3 and 5 checked, a label in place: what
// an earlier report may have left, so that each case shows what the report changes.
constexpr const char* kEarlierLabel = "earlier label";
const std::vector<int> kEarlierDiscChecks = {1, 3, 5};

void ShowEarlierState(RecordingView& view) {
  for (int n = 1; n <= 6; ++n) {
    view.enabled[kRegionButton[n - 1]] = true;
    view.checked[kRegionButton[n - 1]] = true;
    view.enabled[kDiscRegionBox[n - 1]] = true;
    view.checked[kDiscRegionBox[n - 1]] = false;
  }
  for (int n : kEarlierDiscChecks) view.checked[kDiscRegionBox[n - 1]] = true;
  view.texts[IDC_CHANGES_LEFT] = kEarlierLabel;
}

std::vector<int> Union(std::vector<int> a, const std::vector<int>& b) {
  for (int n : b) {
    if (std::find(a.begin(), a.end(), n) == a.end()) a.push_back(n);
  }
  std::sort(a.begin(), a.end());
  return a;
}

struct ReportCase {
  const char* name;
  std::function<emulated::DriveState()> drive;
  std::function<std::string(const UserTexts&)> log;
  // The label of the changes left, or nothing when the report leaves it as it was.
  std::function<std::optional<std::string>(const UserTexts&)> label;
  std::vector<int> radios_enabled;
  std::vector<int> radios_checked;  // also the ones highlighted
  std::vector<int> discs_enabled;   // also checked by the report
  std::vector<std::uint8_t> commands;
};

const std::vector<std::uint8_t> kReportCommands = {scsi::kOpReportKey, scsi::kOpReadDvdStructure};

const ReportCase kReportCases[] = {
    {"NoRegionUnprotectedDisc",
     [] { return Drive(0xFF, 5, DiscOf(kCpstNone)); },
     [](const UserTexts& t) { return t.drive_no_region + t.unprotected; },
     [](const UserTexts& t) { return t.ChangesLeft(5); },
     {1, 2, 3, 4, 5, 6},
     {},
     {1, 2, 3, 4, 5, 6},
     kReportCommands},
    {"Region2DiscPermits2And4",
     [] { return Drive(0xFD, 4, DiscOf(kCpstCssCppm, 0xF5)); },
     [](const UserTexts& t) { return t.DriveRegion(2) + t.Allowed(" 2 4"); },
     [](const UserTexts& t) { return t.ChangesLeft(4); },
     {2, 4},
     {2},
     {2, 4},
     kReportCommands},
    {"Region6CprmDiscPermits1",
     [] { return Drive(0xDF, 3, DiscOf(kCpstCprm, 0xFE)); },
     [](const UserTexts& t) { return t.DriveRegion(6) + t.Allowed(" 1"); },
     [](const UserTexts& t) { return t.ChangesLeft(3); },
     {1, 6},
     {6},
     {1},
     kReportCommands},
    {"Region5NoDisc",
     [] { return Drive(0xEF, 1, NoDisc()); },
     [](const UserTexts& t) { return t.DriveRegion(5) + t.disc_failed; },
     [](const UserTexts& t) { return t.ChangesLeft(1); },
     {5},
     {5},
     {},
     kReportCommands},
    {"InvalidMaskShowsLowerCaseHex",
     [] { return Drive(0x7F, 2, NoDisc()); },
     [](const UserTexts& t) { return t.Invalid("7f") + t.disc_failed; },
     [](const UserTexts& t) { return t.ChangesLeft(2); },
     {},
     {},
     {},
     kReportCommands},
    {"MaskNamingTwoRegionsIsInvalid",
     [] { return Drive(0xFC, 2, DiscOf(kCpstNone)); },
     [](const UserTexts& t) { return t.Invalid("fc") + t.unprotected; },
     [](const UserTexts& t) { return t.ChangesLeft(2); },
     {},
     {},
     {1, 2, 3, 4, 5, 6},
     kReportCommands},
    {"DriveWithoutRpc2StillShowsItsRegion",
     [] {
       auto drive = Drive(0xFE, 4, DiscOf(0x03));
       drive.rpc_scheme = 0x00;
       return drive;
     },
     [](const UserTexts& t) { return t.DriveRegion(1) + t.unknown_protection; },
     [](const UserTexts& t) { return t.no_rpc2; },
     {1},
     {1},
     {},
     kReportCommands},
    {"DiscPermittingNoRegion",
     [] { return Drive(0xFB, 4, DiscOf(kCpstCssCppm, 0x3F)); },
     [](const UserTexts& t) { return t.DriveRegion(3) + t.Allowed(""); },
     [](const UserTexts& t) { return t.ChangesLeft(4); },
     {3},
     {3},
     {},
     kReportCommands},
    {"RmiBits6And7AreNotLookedAt",
     [] { return Drive(0xF7, 4, DiscOf(kCpstCssCppm, 0x5E)); },
     [](const UserTexts& t) { return t.DriveRegion(4) + t.Allowed(" 1 6"); },
     [](const UserTexts& t) { return t.ChangesLeft(4); },
     {1, 4, 6},
     {4},
     {1, 6},
     kReportCommands},
    {"ReportKeyFailsAndNoDisc",
     [] {
       auto drive = Drive(0xFE, 4, NoDisc());
       drive.faults.no_report_key = true;
       return drive;
     },
     [](const UserTexts& t) { return t.drive_failed + t.disc_failed; },
     [](const UserTexts&) { return std::nullopt; },
     {},
     {},
     {},
     kReportCommands},
    {"ReportKeyFailsDiscStillShown",
     [] {
       auto drive = Drive(0xFE, 4, DiscOf(kCpstCssCppm, 0xC4));
       drive.faults.no_report_key = true;
       return drive;
     },
     [](const UserTexts& t) { return t.drive_failed + t.Allowed(" 1 2 4 5 6"); },
     [](const UserTexts&) { return std::nullopt; },
     {1, 2, 4, 5, 6},
     {},
     {1, 2, 4, 5, 6},
     kReportCommands},
    {"DriveCannotBeOpened",
     [] {
       auto drive = Drive(0xFE, 4, DiscOf(kCpstNone));
       drive.faults.no_device = true;
       return drive;
     },
     [](const UserTexts& t) { return t.open_failed; },
     [](const UserTexts&) { return std::nullopt; },
     {},
     {},
     {},
     {}},
};

TEST(RegionReport, EachPathLogsControlsAndCommands) {
  for (const UserTexts* language : kBothLanguages) {
    for (const ReportCase& c : kReportCases) {
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(language->code_page));
      RegionBench bench(language->code_page);
      const int index = bench.List(c.drive());
      RecordingView& view = bench.view;
      view.selected = index;
      ShowEarlierState(view);

      ReportRegion(view);

      EXPECT_EQ(view.log, c.log(*language));
      EXPECT_EQ(view.CountCalls("AppendLog "), c.commands.empty() ? 1u : 2u);
      EXPECT_EQ(view.caret, view.log.size());
      EXPECT_EQ(view.texts[IDC_CHANGES_LEFT], c.label(*language).value_or(kEarlierLabel));
      EXPECT_EQ(view.last_reported, index);

      EXPECT_EQ(RegionsWhere(kRegionButton, [&](int id) { return view.IsEnabled(id); }),
                c.radios_enabled);
      EXPECT_EQ(RegionsWhere(kRegionButton, [&](int id) { return view.IsCheckedNow(id); }),
                c.radios_checked);
      EXPECT_EQ(RegionsWhere(kRegionButton, [&](int id) { return view.IsHighlighted(id); }),
                c.radios_checked);
      EXPECT_EQ(RegionsWhere(kDiscRegionBox, [&](int id) { return view.IsEnabled(id); }),
                c.discs_enabled);
      // A box the report leaves disabled keeps the mark it had.
      EXPECT_EQ(RegionsWhere(kDiscRegionBox, [&](int id) { return view.IsCheckedNow(id); }),
                Union(kEarlierDiscChecks, c.discs_enabled));

      EXPECT_EQ(bench.Opcodes(), c.commands);
      EXPECT_EQ(bench.drives.OpenHandles(), 0);
      EXPECT_FALSE(CurrentConnection().open);
    }
  }
}

TEST(RegionReport, NothingSelectedTouchesOnlyTheLog) {
  for (const UserTexts* language : kBothLanguages) {
    SCOPED_TRACE(language->code_page);
    RegionBench bench(language->code_page);
    bench.List(Drive(0xFD, 4, DiscOf(kCpstNone)));
    RecordingView& view = bench.view;
    view.selected = -1;
    view.last_reported = 0;
    ShowEarlierState(view);

    ReportRegion(view);

    EXPECT_EQ(view.log, language->no_valid_item);
    const std::vector<std::string> expected = {"SelectedDriveIndex",
                                               "AppendLog " + language->no_valid_item};
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(view.last_reported, 0);
    EXPECT_EQ(bench.drives.OpenCalls(), 0);
  }
}

// The order of the control operations of one report: reset, label, the drive's region, its
// line, then the disc's regions piece by piece, and its line.
TEST(RegionReport, ControlOperationsComeInOrder) {
  RegionBench bench;
  bench.List(Drive(0xFF, 5, NoDisc()));
  const int index = bench.List(Drive(0xFD, 4, DiscOf(kCpstCssCppm, 0xF5)));
  bench.view.selected = index;

  ReportRegion(bench.view);

  const std::vector<std::string> expected = {
      "SelectedDriveIndex",
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
      "AppendLog This disc is allowed region 2 4\r\n",
  };
  EXPECT_EQ(bench.view.calls, expected);
}

// What one report leaves, the next one builds on: highlights stay, disc boxes keep their
// marks when disabled, and every report asks the drive afresh.
TEST(RegionReport, SecondReportShowsTheDriveAsItIsNow) {
  RegionBench bench;
  bench.view.selected = bench.List(Drive(0xFE, 4, DiscOf(kCpstNone)));
  ReportRegion(bench.view);
  ASSERT_TRUE(bench.view.IsHighlighted(IDC_REGION1));

  // The drive is set to region 3 meanwhile and the disc changed for one that permits only 1.
  emulated::DriveState* drive = bench.drives.Find(kLetter);
  ASSERT_NE(drive, nullptr);
  drive->region_mask = RegionMaskOf(3);
  drive->disc = DiscOf(kCpstCssCppm, 0xFE);
  bench.view.log.clear();

  ReportRegion(bench.view);

  EXPECT_EQ(bench.view.log, "Drive's region is 3.\r\nThis disc is allowed region 1\r\n");
  EXPECT_TRUE(bench.view.IsEnabled(IDC_DISC_REGION1));
  EXPECT_TRUE(bench.view.IsCheckedNow(IDC_DISC_REGION1));
  for (int n = 2; n <= 6; ++n) {
    SCOPED_TRACE(n);
    EXPECT_FALSE(bench.view.IsEnabled(kDiscRegionBox[n - 1]));
    EXPECT_TRUE(bench.view.IsCheckedNow(kDiscRegionBox[n - 1]));
  }
  EXPECT_FALSE(bench.view.IsCheckedNow(IDC_REGION1));
  EXPECT_TRUE(bench.view.IsHighlighted(IDC_REGION1));  // nothing clears a highlight
  EXPECT_TRUE(bench.view.IsCheckedNow(IDC_REGION3));
  EXPECT_EQ(bench.CountOpcode(scsi::kOpReportKey), 2u);
  EXPECT_EQ(bench.drives.OpenHandles(), 0);
}

// The report leaves the drive's RPC state behind for the region change, also after a failed
// REPORT KEY: then it is whatever the transfer buffer held.
TEST(RegionReport, KeepsTheRpcStateForTheChange) {
  struct Case {
    const char* name;
    bool report_key_fails;
    std::array<std::uint8_t, 4> expected;
  };
  const std::array<std::uint8_t, 4> kLeftInBuffer = {0xC1, 0x7F, 0x01, 0x00};
  const Case cases[] = {
      // Type code 01b, 4 vendor resets, 3 changes; region 2; RPC Phase II.
      {"Answered", false, {0x63, 0xFD, 0x01, 0x00}},
      {"Failed", true, kLeftInBuffer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegionBench bench;
    auto drive = Drive(0xFD, 3, DiscOf(kCpstNone));
    drive.faults.no_report_key = c.report_key_fails;
    bench.view.selected = bench.List(drive);
    std::copy(kLeftInBuffer.begin(), kLeftInBuffer.end(), bench.buffer.begin() + 4);

    ReportRegion(bench.view);

    EXPECT_EQ(RpcState().bytes, c.expected);
  }
}

}  // namespace
}  // namespace varden
