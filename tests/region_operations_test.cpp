// The region report and the region change against emulated drives: the log of every path in
// both languages, the region controls and the label of the changes left, the commands that
// reached the drive, the readiness loop's waits, prompts and bounds, and that the drive is
// closed on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "drive/scsi_codes.h"
#include "fake_seam.h"
#include "recording_view.h"

namespace varden::test_support {
namespace {

constexpr std::uint8_t kTur = scsi::kOpTestUnitReady, kSendKey = scsi::kOpSendKey;
constexpr std::uint8_t kReportKey = scsi::kOpReportKey, kReadStructure = scsi::kOpReadDvdStructure;
constexpr Key kOk = Key::MSG_SET_REGION_OK, kUnprot = Key::MSG_DISC_UNPROTECTED;
constexpr Key kNoRead = Key::MSG_GET_DISC_REGION_FAILED, kUnknown = Key::MSG_UNKNOWN_ERROR;
const emulated::Disc kDisc = DiscOf(kCpstNone);
const emulated::DriveState kSetDrive = Drive(0xFD, 3, kDisc);  // region 2
using Lines = std::function<std::string()>;

// The regions whose control in `ids` is on in `states`, as digits ("24").
std::string Regions(const std::map<int, bool>& states, const int (&ids)[6]) {
  std::string regions;
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
Lines ChangesLeft(int n) {
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
constexpr Key kNoState = Key::MSG_GET_DRIVE_REGION_FAILED;
const auto kNoReportKey = &emulated::Faults::no_report_key;
const std::vector<std::uint8_t> kReportCommands = {kReportKey, kReadStructure};

// An earlier report left every region control on and checked, disc boxes 1, 3 and 5 checked
// and a label; each case shows what the report changes.
const std::string kEarlierDiscChecks = "135", kEarlierLabel = "earlier label";
const struct ReportCase {
  const char* name;
  emulated::DriveState drive;
  std::string radios_enabled;
  std::string radios_checked;  // also the ones highlighted
  std::string discs_enabled;   // also checked; the others keep their marks
  Lines log;
  Lines label;  // nullptr: the label stays as it was
} kReportCases[] = {
    {"NoRegionUnprotectedDisc", Drive(0xFF, 5, DiscOf(kCpstNone)), "123456", "", "123456",
     Log(0, kUnprot), ChangesLeft(5)},
    {"Region2DiscPermits2And4", Drive(0xFD, 4, DiscOf(kCpstCssCppm, 0xF5)), "24", "2", "24",
     Log(2, kUnprot, " 2 4"), ChangesLeft(4)},
    {"Region6CprmDiscPermits1", Drive(0xDF, 3, DiscOf(kCpstCprm, 0xFE)), "16", "6", "1",
     Log(6, kUnprot, " 1"), ChangesLeft(3)},
    {"Region5NoDisc", Drive(0xEF, 1, kNoDisc), "5", "5", "", Log(5, kNoRead), ChangesLeft(1)},
    {"InvalidMaskShowsLowerCaseHex", Drive(0x7F, 2, kNoDisc), "", "", "", Invalid(0x7F, kNoRead),
     ChangesLeft(2)},
    {"MaskNamingTwoRegionsIsInvalid", Drive(0xFC, 2, DiscOf(kCpstNone)), "", "", "123456",
     Invalid(0xFC, kUnprot), ChangesLeft(2)},
    {"DriveWithoutRpc2StillShowsItsRegion", kNoRpc2, "1", "1", "",
     Log(1, Key::MSG_DISC_UNKNOWN_PROTECTION), [] { return Say(Key::MSG_NO_RPC2); }},
    {"DiscPermittingNoRegion", Drive(0xFB, 4, DiscOf(kCpstCssCppm, 0x3F)), "3", "3", "",
     Log(3, kUnprot, ""), ChangesLeft(4)},
    {"RmiBits6And7AreNotLookedAt", Drive(0xF7, 4, DiscOf(kCpstCssCppm, 0x5E)), "146", "4", "16",
     Log(4, kUnprot, " 1 6"), ChangesLeft(4)},
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
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(code_page));
      RegionBench bench(code_page);
      RecordingView& view = bench.view;
      bench.List(Drive(0xFF, 5, kNoDisc, 'D'));  // the selection is not the first item
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
      EXPECT_EQ(Regions(view.checked, kDiscRegionBox), std::string(marks.begin(), marks.end()));
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

// `turs` TEST UNIT READY commands, then the change's own (`sent`: SEND KEY first), then the
// closing report's.
std::vector<std::uint8_t> Commands(bool sent, int turs) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(turs), kTur);
  if (sent) out.push_back(kSendKey);
  out.insert(out.end(), {kReportKey, kReadStructure});
  return out;
}

using testing::ScriptedAnswer, testing::Sense;
const ScriptedAnswer kUa = Sense(scsi::kSenseKeyUnitAttention, scsi::kAscMediumChanged);
const ScriptedAnswer kBecomingReady =
    Sense(scsi::kSenseKeyNotReady, scsi::kAscNotReady, scsi::kAscqBecomingReady);
const ScriptedAnswer kNoMedium = Sense(scsi::kSenseKeyNotReady, scsi::kAscMediumNotPresent);
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

// The change's line, the closing report's drive line (region 0: none) and disc line.
Lines L(Key change, int region, Key disc) {
  return [=] { return Say(change) + RegionLine(region) + Say(disc); };
}
Lines Twice(Key key, int times = 2) {
  return [=] { return Repeat(Say(key), times); };
}
// The selection's report again with REPORT KEY failing after `bytes` were left where the RPC
// state goes, and region 4 chosen; the closing report fails the same way.
Script Left(std::vector<std::uint8_t> bytes) {
  bytes.insert(bytes.end(), {0x01, 0x00});
  return [=](ChangeBench& b) {
    b.Listed().faults.no_report_key = true;
    std::copy(bytes.begin(), bytes.end(), b.buffer.begin() + 4);
    ReportRegion(b.view);
    b.view.Choose(4);
    b.Forget();
  };
}
Lines Stale(Key change) {
  return [=] { return Say(change) + Say(Key::MSG_GET_DRIVE_REGION_FAILED) + Say(kUnprot); };
}
Script Answer(bool ok) {
  return [ok](ChangeBench& b) { b.view.answers.push_back([ok] { return ok; }); };
}
Script NoDevice(int last_reported) {
  return [=](ChangeBench& b) {
    b.Listed().faults.no_device = true;
    b.view.last_reported = last_reported;
  };
}

const std::vector<std::uint8_t> kNothing, kNotSent = Commands(false, 0), kSent = Commands(true, 0),
                                          kTestNotSent = Commands(false, 1),
                                          kTestSent = Commands(true, 1);
const emulated::DriveState kNew = Drive(0xFF, 5, kNoDisc), kNewDisc = Drive(0xFF, 5, kDisc);
constexpr Key kPermanent = Key::MSG_REGION_PERMANENT, kNoChoice = Key::MSG_NO_REGION_SELECTED;
constexpr Key kOpenFailed = Key::MSG_DEVICE_OPEN_FAILED;

const struct ChangeCase {
  const char* name;
  emulated::DriveState drive;
  int chosen;  // the checked radio button, 0 for none
  std::uint8_t mask_after;
  std::vector<std::uint8_t> commands;
  Lines log;
  Script script = nullptr;
  std::size_t prompts = 0;
} kChangeCases[] = {
    {"NewDriveUntestedNoDisc", kNew, 1, 0xFE, kSent, L(kOk, 1, kNoRead)},
    {"NewDriveUntestedDisc", kNewDisc, 6, 0xDF, kSent, L(kOk, 6, kUnprot)},
    {"FiveChangesRegionTested", Drive(0xFE, 5, kDisc), 2, 0xFD, kTestSent, L(kOk, 2, kUnprot)},
    {"FourChangesTested", Drive(0xFF, 4, kDisc), 3, 0xFB, kTestSent, L(kOk, 3, kUnprot)},
    {"OwnRegionSentAnyway", kSetDrive, 2, 0xFD, kTestSent, L(kOk, 2, kUnprot)},
    {"FirstCheckedRegionIsSent", kNew, 3, 0xFB, kSent, L(kOk, 3, kNoRead),
     [](ChangeBench& b) { b.view.checked[IDC_REGION5] = true; }},
    {"PermanentSendsNothing", Drive(0xFE, 0, kDisc), 2, 0xFE, kNotSent, L(kPermanent, 1, kUnprot)},
    {"NoChoiceAfterTheTest", kSetDrive, 0, 0xFD, kTestNotSent, L(kNoChoice, 2, kUnprot)},
    {"NoChoiceNewDrive", kNew, 0, 0xFF, kNotSent, L(kNoChoice, 0, kNoRead)},
    {"NoDiscPromptCancelled", Drive(0xFD, 3, kNoDisc), 2, 0xFD, kTestNotSent,
     L(Key::MSG_CANCELED, 2, kNoRead), Answer(false), 1},
    // No disc, prompt, no disc, prompt (the user inserts a disc and only now chooses region
    // 5), UNIT ATTENTION, ready: the choice is read once the drive is ready.
    {"OkWithoutDiscThenWithDisc", Drive(0xFF, 4, kNoDisc), 0, 0xEF, Commands(true, 4),
     L(kOk, 5, kUnprot),
     [](ChangeBench& b) {
       Answer(true)(b);
       b.view.answers.push_back([&b] {
         b.drives.InsertDisc(kLetter, kDisc);
         b.view.Choose(5);
         return true;
       });
     },
     2},
    {"DriveRefusesTheRegion", Drive(0xFE, 3, DiscOf(kCpstCssCppm, 0xFD)), 3, 0xFE, kTestSent,
     [] { return Say(Key::MSG_SET_REGION_FAILED) + RegionLine(1) + AllowedLine(" 2"); },
     [](ChangeBench& b) { b.Listed().change_needs_disc = true; }},
    {"NothingSelectedLogsTwiceOnOneLine", kSetDrive, 4, 0xFD, kNothing,
     Twice(Key::MSG_NO_VALID_ITEM), [](ChangeBench& b) { b.view.selected = -1; }},
    {"OpenFailsOnTheReportedSelection", kSetDrive, 4, 0xFD, kNothing, Twice(kOpenFailed),
     NoDevice(0)},
    {"OpenFailsInTheReportRunFirst", kSetDrive, 4, 0xFD, kNothing, Twice(kOpenFailed, 3),
     NoDevice(-1)},
    // When the drive reported last is not the selection, a report of it runs first; it checks
    // the drive's own region (2), which is sent.
    {"AnotherDriveReportedLast", kSetDrive, 4, 0xFD,
     std::vector<std::uint8_t>{kReportKey, kReadStructure, kTur, kSendKey, kReportKey,
                               kReadStructure},
     [] { return RegionLine(2) + Say(kUnprot) + Say(kOk) + RegionLine(2) + Say(kUnprot); },
     [](ChangeBench& b) {
       b.view.selected = b.List(Drive(0xFF, 5, kNoDisc, 'D'));  // would skip the test
       ReportRegion(b.view);
       b.view.selected = 0;
       b.Forget();
     }},
    // After a failed REPORT KEY the change decides on the bytes that stayed behind.
    {"StaleLooksPermanent", kSetDrive, 4, 0xFD, kNotSent, Stale(kPermanent), Left({0xC0, 0xFE})},
    {"StaleLooksNew", kSetDrive, 4, 0xF7, kSent, Stale(kOk), Left({0x05, 0xFF})},
    {"StaleLooksSet", kSetDrive, 4, 0xF7, kTestSent, Stale(kOk), Left({0x43, 0xFE})},
};

TEST(RegionChange, EachPathLogsAndSends) {
  for (const unsigned code_page : kBothLanguages) {
    for (const ChangeCase& c : kChangeCases) {
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(code_page));
      text::DecideLanguage(code_page);
      ExpectChange(code_page, c.drive, c.chosen, c.script, c.log(), c.commands, c.prompts,
                   c.mask_after);
    }
  }
}

// The answers, each repeated as often as its count says.
std::vector<ScriptedAnswer> Runs(std::initializer_list<std::pair<int, ScriptedAnswer>> runs) {
  std::vector<ScriptedAnswer> out;
  for (const auto& [n, answer] : runs) out.insert(out.end(), static_cast<std::size_t>(n), answer);
  return out;
}

const struct ReadinessCase {
  const char* name;
  std::vector<ScriptedAnswer> script;  // then the emulated drive, which is ready
  std::vector<bool> prompt_answers;
  Key outcome;
  int tests;  // TEST UNIT READY commands sent in all
  int waits;
} kReadinessCases[] = {
    {"UnitAttentionOtherAsc", {Sense(0x06, 0x29)}, {}, kOk, 2, 0},
    {"NoMediumAnyAscq", {Sense(0x02, 0x3A, 0x02)}, {true}, kOk, 2, 0},
    // The sense key byte is compared whole: a flag bit makes it another reason.
    {"UnitAttentionWithFlagBit", {Sense(0x86, 0x28)}, {}, kUnknown, 1, 0},
    {"NotReadyWithFlagBit", {Sense(0x82, 0x3A)}, {}, kUnknown, 1, 0},
    {"NotReadyOtherAscq", {Sense(0x02, 0x04, 0x02)}, {}, kUnknown, 1, 0},
    {"IncompatibleMedium", {Sense(0x02, 0x30)}, {}, kUnknown, 1, 0},
    {"StatusWithoutSense", {kNoSenseBack}, {}, kUnknown, 1, 0},
    {"CallFails", {kCallFails}, {}, kUnknown, 1, 0},
    // A failure without sense must not be read by the stale sense of the failure before it.
    {"NoSenseAfterUnitAttention", {kUa, kNoSenseBack}, {}, kUnknown, 2, 0},
    {"CallFailsAfterUnitAttention", {kUa, kCallFails}, {}, kUnknown, 2, 0},
    {"NoSenseAfterBecomingReady", {kBecomingReady, kNoSenseBack}, {}, kUnknown, 2, 1},
    // The bounds, reached only by a drive that keeps failing the same way.
    // clang-format off
    {"SixteenUnitAttentionsInARow", Runs({{16, kUa}}), {}, kOk, 17, 0},
    {"SeventeenUnitAttentionsInARow", Runs({{17, kUa}}), {}, kUnknown, 17, 0},
    {"UaCountRestartsAfterAWait", Runs({{16, kUa}, {1, kBecomingReady}, {16, kUa}}), {}, kOk, 34, 1},
    {"UaCountRestartsAfterThePrompt", Runs({{16, kUa}, {1, kNoMedium}, {16, kUa}}), {true}, kOk, 34, 0},
    {"ReadyAfter120Waits", Runs({{120, kBecomingReady}}), {}, kOk, 121, 120},
    {"BecomingReadyPast120Waits", Runs({{121, kBecomingReady}}), {}, kUnknown, 121, 120},
    {"WaitsCountOverTheWholeChange", Runs({{60, kBecomingReady}, {1, kNoMedium}, {61, kBecomingReady}}), {true}, kUnknown, 122, 120},
    // clang-format on
};

// On the set drive (region 2) with region 4 chosen; the Japanese unknown-error text has no
// line end, so the closing report's first line runs on.
TEST(RegionChange, ReadinessLoopDecidesBySense) {
  for (const unsigned code_page : kBothLanguages) {
    for (const ReadinessCase& c : kReadinessCases) {
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(code_page));
      text::DecideLanguage(code_page);
      const bool set = c.outcome == kOk;
      ExpectChange(
          code_page, kSetDrive, 4,
          [&](ChangeBench& b) {
            b.drives.script.answers.assign(c.script.begin(), c.script.end());
            for (bool ok : c.prompt_answers) Answer(ok)(b);
          },
          Repeat(Say(Key::MSG_TOC_READING), c.waits) + Say(c.outcome) + RegionLine(set ? 4 : 2) +
              Say(kUnprot),
          Commands(set, c.tests), c.prompt_answers.size(), set ? 0xF7 : 0xFD,
          static_cast<std::size_t>(c.waits));
    }
  }
}

}  // namespace
}  // namespace varden::test_support
