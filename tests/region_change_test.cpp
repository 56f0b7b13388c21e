// The region change against emulated drives: the log text of every path in both languages,
// which commands reached the drive, the readiness loop's waits, prompts and bounds, and that
// the drive is closed on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "drive/scsi_codes.h"
#include "recording_view.h"

namespace varden::test_support {
namespace {

constexpr std::uint8_t kTur = scsi::kOpTestUnitReady;
constexpr std::uint8_t kSendKey = scsi::kOpSendKey;
constexpr std::uint8_t kReportKey = scsi::kOpReportKey;
constexpr std::uint8_t kReadStructure = scsi::kOpReadDvdStructure;
const emulated::DriveState kSetDrive = Drive(0xFD, 3, DiscOf(kCpstNone));  // region 2

// `turs` TEST UNIT READY commands, then the others.
std::vector<std::uint8_t> Commands(std::initializer_list<std::uint8_t> tail, int turs = 0) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(turs), kTur);
  out.insert(out.end(), tail);
  return out;
}

// One scripted answer to TEST UNIT READY.
struct TurAnswer {
  enum Kind { kSense, kStatusWithoutSense, kCallFailsUntouched } kind = kSense;
  std::uint8_t key = 0, asc = 0, ascq = 0;
};
TurAnswer Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  return {TurAnswer::kSense, key, asc, ascq};
}
const TurAnswer kUnitAttention = Sense(scsi::kSenseKeyUnitAttention, scsi::kAscMediumChanged, 0);
const TurAnswer kBecomingReady =
    Sense(scsi::kSenseKeyNotReady, scsi::kAscNotReady, scsi::kAscqBecomingReady);
const TurAnswer kNoMedium = Sense(scsi::kSenseKeyNotReady, scsi::kAscMediumNotPresent, 0);
const TurAnswer kNoSenseBack{TurAnswer::kStatusWithoutSense};
const TurAnswer kCallFails{TurAnswer::kCallFailsUntouched};

// Answers TEST UNIT READY from a script, for answers the emulated drive does not give. The
// drive still receives (and records) every command, and answers alone once the script is
// used up.
class ScriptedReadiness : public DeviceSeam {
 public:
  explicit ScriptedReadiness(emulated::EmulatedDrives& drives) : drives_(drives) {}
  std::deque<TurAnswer> script;

  bool Open(char letter, DeviceHandle& handle) override { return drives_.Open(letter, handle); }
  bool QueryCapabilities(DeviceHandle handle) override { return drives_.QueryCapabilities(handle); }
  bool QueryAddress(DeviceHandle handle, ScsiAddress& address) override {
    return drives_.QueryAddress(handle, address);
  }
  void Close(DeviceHandle handle) override { drives_.Close(handle); }
  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override {
    using L = PassThroughRequest::Layout;
    if (block[L::kCdb] != kTur || script.empty()) return drives_.PassThrough(handle, block);
    const TurAnswer answer = script.front();
    script.pop_front();
    std::vector<std::uint8_t> copy(block.begin(), block.end());
    drives_.PassThrough(handle, copy);  // recorded; the drive's own answer is dropped
    if (answer.kind == TurAnswer::kCallFailsUntouched) return false;
    block[L::kScsiStatus] = scsi::kStatusCheckCondition;
    block[L::kSenseInfoLength] = 0;
    if (answer.kind == TurAnswer::kStatusWithoutSense) return true;
    block[L::kSenseInfoLength] = static_cast<std::uint8_t>(scsi::kFixedSenseLength);
    block[L::kSenseArea + scsi::kSenseResponseCode] = scsi::kSenseCurrentFixed;
    block[L::kSenseArea + scsi::kSenseKey] = answer.key;
    block[L::kSenseArea + scsi::kSenseAdditionalLength] =
        static_cast<std::uint8_t>(scsi::kFixedSenseLength - scsi::kSenseAdditionalLength - 1);
    block[L::kSenseArea + scsi::kSenseAsc] = answer.asc;
    block[L::kSenseArea + scsi::kSenseAscq] = answer.ascq;
    return true;
  }

 private:
  emulated::EmulatedDrives& drives_;
};

struct ChangeBench : RegionBench {
  explicit ChangeBench(unsigned code_page) : RegionBench(code_page) { SetDeviceSeam(&seam); }
  ScriptedReadiness seam{drives};
};

struct Expected {
  std::string log;
  std::vector<std::uint8_t> commands;
  int waits = 0;
  std::size_t prompts = 0;
  std::uint8_t mask_after = 0;
};

// Runs the change on the drive selected and reported, after `script` (the drive changing,
// the user's answers), and checks what every change must show besides `e`: the drive
// closed, each prompt asking for a disc, and the waits of one second each, each announced
// without scrolling (everything else scrolls).
void ExpectChange(unsigned code_page, const emulated::DriveState& drive, int chosen,
                  const std::function<void(ChangeBench&)>& script, const Expected& e) {
  ChangeBench bench(code_page);
  bench.SelectAndReport(drive, chosen);
  if (script) script(bench);

  ChangeRegion(bench.view, bench.sleeper);

  const RecordingView& view = bench.view;
  EXPECT_EQ(view.log, e.log);
  EXPECT_EQ(bench.Opcodes(), e.commands);
  EXPECT_EQ(bench.Listed().region_mask, e.mask_after);
  EXPECT_EQ(bench.drives.OpenHandles(), 0);
  EXPECT_FALSE(CurrentConnection().open);
  EXPECT_EQ(view.CallsStartingWith("AskOkCancel"),
            std::vector<std::string>(e.prompts, "AskOkCancel " + Say(Key::MSG_INSERT_DISC) + "|" +
                                                    Say(Key::CAPTION_ATTENTION)));
  EXPECT_TRUE(bench.seam.script.empty());
  EXPECT_EQ(bench.sleeper.waits, std::vector<int>(static_cast<std::size_t>(e.waits), 1000));
  EXPECT_EQ(view.CallsStartingWith("AppendLogNoScroll"),
            std::vector<std::string>(static_cast<std::size_t>(e.waits),
                                     "AppendLogNoScroll " + Say(Key::MSG_TOC_READING)));
}

using Lines = std::function<std::string()>;
// The change's line, then the closing report's: the drive's region (0: none) and the disc.
Lines Log(Key change, int region, Key disc) {
  return [=] { return Say(change) + RegionLine(region) + Say(disc); };
}

// A REPORT KEY that fails after `bytes` were left where the drive's RPC State goes: the
// selection's report again, and the user's choice of region 4 after it. The closing report
// fails the same way.
std::function<void(ChangeBench&)> StaleState(std::vector<std::uint8_t> bytes) {
  return [=](ChangeBench& b) {
    b.Listed().faults.no_report_key = true;
    std::copy(bytes.begin(), bytes.end(), b.buffer.begin() + 4);
    ReportRegion(b.view);
    b.view.Choose(4);
    b.Forget();
  };
}
Lines StaleLog(Key change) {
  return [=] {
    return Say(change) + Say(Key::MSG_GET_DRIVE_REGION_FAILED) + Say(Key::MSG_DISC_UNPROTECTED);
  };
}

struct ChangeCase {
  const char* name;
  emulated::DriveState drive;
  int chosen;  // the checked radio button, 0 for none
  std::function<void(ChangeBench&)> script;
  Lines log;
  std::vector<std::uint8_t> commands;
  int prompts;
  std::uint8_t mask_after;
};

// The commands of a change, the closing report's included.
const std::vector<std::uint8_t> kNothing;
const std::vector<std::uint8_t> kNotSent = Commands({kReportKey, kReadStructure});
const std::vector<std::uint8_t> kTestedNotSent = Commands({kReportKey, kReadStructure}, 1);
const std::vector<std::uint8_t> kSent = Commands({kSendKey, kReportKey, kReadStructure});
const std::vector<std::uint8_t> kTestedAndSent =
    Commands({kSendKey, kReportKey, kReadStructure}, 1);
const std::vector<std::uint8_t> kReportedAgain =
    Commands({kReportKey, kReadStructure, kTur, kSendKey, kReportKey, kReadStructure});
const Lines kReportedAgainLog = [] {
  const std::string report = RegionLine(2) + Say(Key::MSG_DISC_UNPROTECTED);
  return report + Say(Key::MSG_SET_REGION_OK) + report;
};

const ChangeCase kChangeCases[] = {
    {"NewDriveIsSetWithoutTestEvenWithoutDisc", Drive(0xFF, 5, kNoDisc), 1, nullptr,
     Log(Key::MSG_SET_REGION_OK, 1, Key::MSG_GET_DISC_REGION_FAILED), kSent, 0, 0xFE},
    {"NewDriveWithDiscIsSetWithoutTest", Drive(0xFF, 5, DiscOf(kCpstNone)), 6, nullptr,
     Log(Key::MSG_SET_REGION_OK, 6, Key::MSG_DISC_UNPROTECTED), kSent, 0, 0xDF},
    {"FiveChangesAndARegionIsTested", Drive(0xFE, 5, DiscOf(kCpstNone)), 2, nullptr,
     Log(Key::MSG_SET_REGION_OK, 2, Key::MSG_DISC_UNPROTECTED), kTestedAndSent, 0, 0xFD},
    {"NoRegionFourChangesIsTested", Drive(0xFF, 4, DiscOf(kCpstNone)), 3, nullptr,
     Log(Key::MSG_SET_REGION_OK, 3, Key::MSG_DISC_UNPROTECTED), kTestedAndSent, 0, 0xFB},
    {"OwnRegionIsSentAllTheSame", kSetDrive, 2, nullptr,
     Log(Key::MSG_SET_REGION_OK, 2, Key::MSG_DISC_UNPROTECTED), kTestedAndSent, 0, 0xFD},
    {"FirstCheckedRegionIsSent", Drive(0xFF, 5, kNoDisc), 3,
     [](ChangeBench& b) { b.view.checked[IDC_REGION5] = true; },
     Log(Key::MSG_SET_REGION_OK, 3, Key::MSG_GET_DISC_REGION_FAILED), kSent, 0, 0xFB},
    {"PermanentRegionSendsNothing", Drive(0xFE, 0, DiscOf(kCpstNone)), 2, nullptr,
     Log(Key::MSG_REGION_PERMANENT, 1, Key::MSG_DISC_UNPROTECTED), kNotSent, 0, 0xFE},
    {"NoRegionChosenAfterTheTest", kSetDrive, 0, nullptr,
     Log(Key::MSG_NO_REGION_SELECTED, 2, Key::MSG_DISC_UNPROTECTED), kTestedNotSent, 0, 0xFD},
    {"NoRegionChosenOnNewDrive", Drive(0xFF, 5, kNoDisc), 0, nullptr,
     Log(Key::MSG_NO_REGION_SELECTED, 0, Key::MSG_GET_DISC_REGION_FAILED), kNotSent, 0, 0xFF},
    {"NoDiscPromptCancelled", Drive(0xFD, 3, kNoDisc), 2,
     [](ChangeBench& b) { b.view.answers.push_back([] { return false; }); },
     Log(Key::MSG_CANCELED, 2, Key::MSG_GET_DISC_REGION_FAILED), kTestedNotSent, 1, 0xFD},
    // No disc, prompt, no disc, prompt (the user inserts a disc and only now chooses region
    // 5), UNIT ATTENTION, ready: the choice is read once the drive is ready.
    {"NoDiscOkWithoutDiscThenOkWithDisc", Drive(0xFF, 4, kNoDisc), 0,
     [](ChangeBench& b) {
       b.view.answers.push_back([] { return true; });
       b.view.answers.push_back([&b] {
         b.drives.InsertDisc(kLetter, DiscOf(kCpstNone));
         b.view.Choose(5);
         return true;
       });
     },
     Log(Key::MSG_SET_REGION_OK, 5, Key::MSG_DISC_UNPROTECTED),
     Commands({kSendKey, kReportKey, kReadStructure}, 4), 2, 0xEF},
    {"DriveRefusesTheRegion", Drive(0xFE, 3, DiscOf(kCpstCssCppm, 0xFD)), 3,
     [](ChangeBench& b) { b.Listed().change_needs_disc = true; },
     [] { return Say(Key::MSG_SET_REGION_FAILED) + RegionLine(1) + AllowedLine(" 2"); },
     kTestedAndSent, 0, 0xFE},
    {"NothingSelectedLogsTwiceOnOneLine", kSetDrive, 4,
     [](ChangeBench& b) { b.view.selected = -1; },
     [] { return Repeat(Say(Key::MSG_NO_VALID_ITEM), 2); }, kNothing, 0, 0xFD},
    {"OpenFailsOnTheReportedSelection", kSetDrive, 4,
     [](ChangeBench& b) { b.Listed().faults.no_device = true; },
     [] { return Repeat(Say(Key::MSG_DEVICE_OPEN_FAILED), 2); }, kNothing, 0, 0xFD},
    {"OpenFailsInTheReportRunFirst", kSetDrive, 4,
     [](ChangeBench& b) {
       b.Listed().faults.no_device = true;
       b.view.last_reported = -1;
     },
     [] { return Repeat(Say(Key::MSG_DEVICE_OPEN_FAILED), 3); }, kNothing, 0, 0xFD},
    // The change decides on the RPC state of the drive reported last. When that is not the
    // selection, a report runs first; it checks the drive's own region (2), which is sent.
    {"NothingReportedYet", kSetDrive, 4, [](ChangeBench& b) { b.view.last_reported = -1; },
     kReportedAgainLog, kReportedAgain, 0, 0xFD},
    {"AnotherDriveReportedLast", kSetDrive, 4,
     [](ChangeBench& b) {
       b.view.selected = b.List(Drive(0xFF, 5, kNoDisc, 'D'));  // would skip the test
       ReportRegion(b.view);
       b.view.selected = 0;
       b.Forget();
     },
     kReportedAgainLog, kReportedAgain, 0, 0xFD},
    // After a failed REPORT KEY the change decides on the bytes that stayed behind.
    {"StaleStateLooksPermanent", kSetDrive, 4, StaleState({0xC0, 0xFE, 0x01, 0x00}),
     StaleLog(Key::MSG_REGION_PERMANENT), kNotSent, 0, 0xFD},
    {"StaleStateLooksNew", kSetDrive, 4, StaleState({0x05, 0xFF, 0x01, 0x00}),
     StaleLog(Key::MSG_SET_REGION_OK), kSent, 0, 0xF7},
    {"StaleStateLooksSet", kSetDrive, 4, StaleState({0x43, 0xFE, 0x01, 0x00}),
     StaleLog(Key::MSG_SET_REGION_OK), kTestedAndSent, 0, 0xF7},
};

TEST(RegionChange, EachPathLogsAndSends) {
  for (const unsigned code_page : kBothLanguages) {
    for (const ChangeCase& c : kChangeCases) {
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(code_page));
      text::DecideLanguage(code_page);
      ExpectChange(code_page, c.drive, c.chosen, c.script,
                   {c.log(), c.commands, 0, static_cast<std::size_t>(c.prompts), c.mask_after});
    }
  }
}

enum class Ending { kSet, kUnknownError, kCanceled };
using enum Ending;

struct ReadinessCase {
  const char* name;
  std::vector<TurAnswer> script;  // then the emulated drive, which is ready
  std::vector<bool> prompt_answers;
  Ending ending;
  int tests;  // TEST UNIT READY commands sent in all
  int waits;
};

std::vector<TurAnswer> Times(int n, const TurAnswer& answer) {
  return std::vector<TurAnswer>(static_cast<std::size_t>(n), answer);
}
std::vector<TurAnswer> Join(std::initializer_list<std::vector<TurAnswer>> parts) {
  std::vector<TurAnswer> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
const std::vector<TurAnswer> k16Ua = Times(16, kUnitAttention);
const std::vector<TurAnswer> k121WaitsAroundAPrompt =
    Join({Times(60, kBecomingReady), {kNoMedium}, Times(61, kBecomingReady)});

const ReadinessCase kReadinessCases[] = {
    {"UnitAttentionOtherAsc", {Sense(0x06, 0x29, 0x00)}, {}, kSet, 2, 0},
    {"BecomingReadyOnce", {kBecomingReady}, {}, kSet, 2, 1},
    {"NoMediumAnyAscq", {Sense(0x02, 0x3A, 0x02)}, {true}, kSet, 2, 0},
    {"NoMediumCancelled", {kNoMedium}, {false}, kCanceled, 1, 0},
    // The sense key byte is compared whole: a flag bit makes it another reason.
    {"UnitAttentionWithFlagBit", {Sense(0x86, 0x28, 0x00)}, {}, kUnknownError, 1, 0},
    {"NotReadyWithFlagBit", {Sense(0x82, 0x3A, 0x00)}, {}, kUnknownError, 1, 0},
    {"NotReadyOtherAscq", {Sense(0x02, 0x04, 0x02)}, {}, kUnknownError, 1, 0},
    {"IncompatibleMedium", {Sense(0x02, 0x30, 0x00)}, {}, kUnknownError, 1, 0},
    {"IllegalRequest", {Sense(0x05, 0x24, 0x00)}, {}, kUnknownError, 1, 0},
    {"StatusWithoutSense", {kNoSenseBack}, {}, kUnknownError, 1, 0},
    {"CallFails", {kCallFails}, {}, kUnknownError, 1, 0},
    // A failure without sense must not be read by the stale sense of the failure before it.
    {"NoSenseAfterUnitAttention", {kUnitAttention, kNoSenseBack}, {}, kUnknownError, 2, 0},
    {"CallFailsAfterUnitAttention", {kUnitAttention, kCallFails}, {}, kUnknownError, 2, 0},
    {"NoSenseAfterBecomingReady", {kBecomingReady, kNoSenseBack}, {}, kUnknownError, 2, 1},
    {"NoSenseAfterNoMedium", {kNoMedium, kNoSenseBack}, {true}, kUnknownError, 2, 0},
    // The bounds, reached only by a drive that keeps failing the same way.
    {"SixteenUnitAttentionsInARow", Times(16, kUnitAttention), {}, kSet, 17, 0},
    {"SeventeenUnitAttentionsInARow", Times(17, kUnitAttention), {}, kUnknownError, 17, 0},
    {"UaCountRestartsAfterAWait", Join({k16Ua, {kBecomingReady}, k16Ua}), {}, kSet, 34, 1},
    {"UaCountRestartsAfterThePrompt", Join({k16Ua, {kNoMedium}, k16Ua}), {true}, kSet, 34, 0},
    {"ReadyAfter120Waits", Times(120, kBecomingReady), {}, kSet, 121, 120},
    {"BecomingReadyPast120Waits", Times(121, kBecomingReady), {}, kUnknownError, 121, 120},
    {"WaitsCountOverTheWholeChange", k121WaitsAroundAPrompt, {true}, kUnknownError, 122, 120},
};

// On the set drive (region 2, three changes) with region 4 chosen; the Japanese unknown-error
// text has no line end, so the closing report's first line runs on.
TEST(RegionChange, ReadinessLoopDecidesBySense) {
  for (const unsigned code_page : kBothLanguages) {
    for (const ReadinessCase& c : kReadinessCases) {
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(code_page));
      text::DecideLanguage(code_page);
      const bool set = c.ending == kSet;
      const Key outcome = set                     ? Key::MSG_SET_REGION_OK
                          : c.ending == kCanceled ? Key::MSG_CANCELED
                                                  : Key::MSG_UNKNOWN_ERROR;
      const Expected expected{Repeat(Say(Key::MSG_TOC_READING), c.waits) + Say(outcome) +
                                  RegionLine(set ? 4 : 2) + Say(Key::MSG_DISC_UNPROTECTED),
                              set ? Commands({kSendKey, kReportKey, kReadStructure}, c.tests)
                                  : Commands({kReportKey, kReadStructure}, c.tests),
                              c.waits, c.prompt_answers.size(),
                              static_cast<std::uint8_t>(set ? 0xF7 : 0xFD)};
      ExpectChange(
          code_page, kSetDrive, 4,
          [&](ChangeBench& b) {
            b.seam.script.assign(c.script.begin(), c.script.end());
            for (bool ok : c.prompt_answers) {
              b.view.answers.push_back([ok] { return ok; });
            }
          },
          expected);
    }
  }
}

}  // namespace
}  // namespace varden::test_support
