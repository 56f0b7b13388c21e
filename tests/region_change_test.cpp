// The region change against emulated drives: the log text of every path in both languages,
// which commands reached the drive, the readiness loop's waits and prompts and its bounds,
// and that the drive is closed on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
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
using test_support::kEnglish;
using test_support::kJapanese;
using test_support::RecordingView;
using test_support::RegionBench;
using test_support::UserTexts;

constexpr char kLetter = 'E';
constexpr std::uint8_t kTur = scsi::kOpTestUnitReady;
constexpr std::uint8_t kSendKey = scsi::kOpSendKey;
constexpr std::uint8_t kReportKey = scsi::kOpReportKey;
constexpr std::uint8_t kReadStructure = scsi::kOpReadDvdStructure;
constexpr int kOneSecond = 1000;

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

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::vector<std::uint8_t> Commands(std::initializer_list<std::uint8_t> head, int turs = 0) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(turs), kTur);
  out.insert(out.end(), head);
  return out;
}

// Checks radio button `region` alone, as the user leaves the buttons (0: none checked).
void Choose(RecordingView& view, int region) {
  for (int n = 1; n <= 6; ++n) view.checked[kRegionButton[n - 1]] = (n == region);
}

emulated::DriveState& DriveOf(RegionBench& bench) {
  emulated::DriveState* drive = bench.drives.Find(kLetter);
  EXPECT_NE(drive, nullptr);
  return *drive;
}

// Lists the drive, reports it as a selection does, lets the user choose, and forgets what the
// report logged and sent, so that each case sees the change alone.
void SelectAndReport(RegionBench& bench, const emulated::DriveState& drive, int chosen) {
  bench.view.selected = bench.List(drive);
  ReportRegion(bench.view);
  Choose(bench.view, chosen);
  bench.view.log.clear();
  bench.view.calls.clear();
  bench.drives.ClearCommands();
}

// What every change must show: the drive closed, the prompts asking for a disc in the
// language of the run, the waits one second each and announced without scrolling, and the
// outcome appended with scrolling after them.
void ExpectSoundEnding(const RegionBench& bench, const UserTexts& texts, int waits) {
  const RecordingView& view = bench.view;
  EXPECT_EQ(bench.drives.OpenHandles(), 0);
  EXPECT_FALSE(CurrentConnection().open);
  for (const std::string& ask : view.CallsStartingWith({"AskOkCancel"})) {
    EXPECT_EQ(ask, "AskOkCancel " + texts.insert_disc + "|" + texts.attention);
  }
  EXPECT_EQ(bench.sleeper.waits, std::vector<int>(static_cast<std::size_t>(waits), kOneSecond));
  const auto appends = view.CallsStartingWith({"AppendLog"});
  ASSERT_GT(appends.size(), static_cast<std::size_t>(waits));
  for (int i = 0; i < waits; ++i) {
    EXPECT_EQ(appends[static_cast<std::size_t>(i)], "AppendLogNoScroll " + texts.toc_reading);
  }
  EXPECT_TRUE(appends[static_cast<std::size_t>(waits)].starts_with("AppendLog "));
  EXPECT_EQ(view.CountCalls("AppendLogNoScroll"), static_cast<std::size_t>(waits));
  EXPECT_EQ(view.unexpected_asks, 0);
}

struct ChangeCase {
  const char* name;
  std::function<emulated::DriveState()> drive;
  int chosen;  // the checked radio button, 0 for none
  // Runs after the report that the selection ran: the drive changing, the user's answers.
  std::function<void(RegionBench&)> script;
  std::function<std::string(const UserTexts&)> log;  // the change's lines and the report's
  std::vector<std::uint8_t> commands;
  int waits;
  int prompts;
  std::uint8_t region_after;
};

const ChangeCase kChangeCases[] = {
    {"NewDriveIsSetWithoutTestEvenWithoutDisc", [] { return Drive(0xFF, 5, NoDisc()); }, 1, nullptr,
     [](const UserTexts& t) { return t.set_ok + t.DriveRegion(1) + t.disc_failed; },
     Commands({kSendKey, kReportKey, kReadStructure}), 0, 0, 0xFE},
    {"NewDriveWithDiscIsSetWithoutTest", [] { return Drive(0xFF, 5, DiscOf(kCpstNone)); }, 6,
     nullptr, [](const UserTexts& t) { return t.set_ok + t.DriveRegion(6) + t.unprotected; },
     Commands({kSendKey, kReportKey, kReadStructure}), 0, 0, 0xDF},
    {"FiveChangesAndARegionIsTested", [] { return Drive(0xFE, 5, DiscOf(kCpstNone)); }, 2, nullptr,
     [](const UserTexts& t) { return t.set_ok + t.DriveRegion(2) + t.unprotected; },
     Commands({kSendKey, kReportKey, kReadStructure}, 1), 0, 0, 0xFD},
    {"NoRegionFourChangesIsTested", [] { return Drive(0xFF, 4, DiscOf(kCpstNone)); }, 3, nullptr,
     [](const UserTexts& t) { return t.set_ok + t.DriveRegion(3) + t.unprotected; },
     Commands({kSendKey, kReportKey, kReadStructure}, 1), 0, 0, 0xFB},
    {"OwnRegionIsSentAllTheSame", [] { return Drive(0xFD, 3, DiscOf(kCpstNone)); }, 2, nullptr,
     [](const UserTexts& t) { return t.set_ok + t.DriveRegion(2) + t.unprotected; },
     Commands({kSendKey, kReportKey, kReadStructure}, 1), 0, 0, 0xFD},
    {"PermanentRegionSendsNothing", [] { return Drive(0xFE, 0, DiscOf(kCpstNone)); }, 2, nullptr,
     [](const UserTexts& t) { return t.permanent + t.DriveRegion(1) + t.unprotected; },
     Commands({kReportKey, kReadStructure}), 0, 0, 0xFE},
    {"NoRegionChosenAfterTheTest", [] { return Drive(0xFD, 3, DiscOf(kCpstNone)); }, 0, nullptr,
     [](const UserTexts& t) { return t.no_region_selected + t.DriveRegion(2) + t.unprotected; },
     Commands({kReportKey, kReadStructure}, 1), 0, 0, 0xFD},
    {"NoRegionChosenOnNewDrive", [] { return Drive(0xFF, 5, NoDisc()); }, 0, nullptr,
     [](const UserTexts& t) { return t.no_region_selected + t.drive_no_region + t.disc_failed; },
     Commands({kReportKey, kReadStructure}), 0, 0, 0xFF},
    {"UnitAttentionOnceIsTestedAgainAtOnce", [] { return Drive(0xFD, 3, DiscOf(kCpstNone)); }, 4,
     [](RegionBench& bench) { DriveOf(bench).disc.unit_attention = true; },
     [](const UserTexts& t) { return t.set_ok + t.DriveRegion(4) + t.unprotected; },
     Commands({kSendKey, kReportKey, kReadStructure}, 2), 0, 0, 0xF7},
    {"BecomingReadyThreeTimes", [] { return Drive(0xFD, 3, DiscOf(kCpstNone)); }, 4,
     [](RegionBench& bench) { DriveOf(bench).disc.becoming_ready_tests = 3; },
     [](const UserTexts& t) {
       return Repeat(t.toc_reading, 3) + t.set_ok + t.DriveRegion(4) + t.unprotected;
     },
     Commands({kSendKey, kReportKey, kReadStructure}, 4), 3, 0, 0xF7},
    {"NoDiscPromptCancelled", [] { return Drive(0xFD, 3, NoDisc()); }, 2,
     [](RegionBench& bench) { bench.view.answers.push_back(RecordingView::Cancel()); },
     [](const UserTexts& t) { return t.canceled + t.DriveRegion(2) + t.disc_failed; },
     Commands({kReportKey, kReadStructure}, 1), 0, 1, 0xFD},
    {"NoDiscOkWithoutDiscThenOkWithDisc", [] { return Drive(0xFF, 4, NoDisc()); }, 5,
     [](RegionBench& bench) {
       bench.view.answers.push_back(RecordingView::Ok());
       bench.view.answers.push_back(
           RecordingView::Ok([&bench] { bench.drives.InsertDisc(kLetter, DiscOf(kCpstNone)); }));
     },
     // No disc, prompt, no disc, prompt (a disc goes in), UNIT ATTENTION, ready.
     [](const UserTexts& t) { return t.set_ok + t.DriveRegion(5) + t.unprotected; },
     Commands({kSendKey, kReportKey, kReadStructure}, 4), 0, 2, 0xEF},
    {"DriveRefusesTheRegion",
     [] {
       auto drive = Drive(0xFE, 3, DiscOf(kCpstCssCppm, 0xFD));
       drive.change_needs_disc = true;
       return drive;
     },
     3, nullptr,
     [](const UserTexts& t) { return t.set_failed + t.DriveRegion(1) + t.Allowed(" 2"); },
     Commands({kSendKey, kReportKey, kReadStructure}, 1), 0, 0, 0xFE},
};

TEST(RegionChange, EachPathLogsAndSends) {
  for (const UserTexts* language : kBothLanguages) {
    for (const ChangeCase& c : kChangeCases) {
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(language->code_page));
      RegionBench bench(language->code_page);
      SelectAndReport(bench, c.drive(), c.chosen);
      if (c.script) c.script(bench);

      ChangeRegion(bench.view, bench.sleeper);

      EXPECT_EQ(bench.view.log, c.log(*language));
      EXPECT_EQ(bench.Opcodes(), c.commands);
      EXPECT_EQ(bench.view.CountCalls("AskOkCancel"), static_cast<std::size_t>(c.prompts));
      ExpectSoundEnding(bench, *language, c.waits);
      EXPECT_EQ(DriveOf(bench).region_mask, c.region_after);
    }
  }
}

// The choice is read only once the drive is ready, after the prompts and waits.
TEST(RegionChange, ChoiceIsReadAfterTheReadinessLoop) {
  RegionBench bench;
  SelectAndReport(bench, Drive(0xFD, 3, NoDisc()), 0);
  bench.view.answers.push_back(RecordingView::Ok([&bench] {
    DriveOf(bench).disc = DiscOf(kCpstNone);
    DriveOf(bench).disc.becoming_ready_tests = 1;
  }));

  ChangeRegion(bench.view, bench.sleeper);

  const std::vector<std::string> expected = {
      "SelectedDriveIndex",
      "DriveLetter 0",
      "AskOkCancel " + kEnglish.insert_disc + "|" + kEnglish.attention,
      "AppendLogNoScroll " + kEnglish.toc_reading,
      "IsChecked 1002",
      "IsChecked 1008",
      "IsChecked 1009",
      "IsChecked 1010",
      "IsChecked 1011",
      "IsChecked 1012",
      "AppendLog " + kEnglish.no_region_selected,
      "SelectedDriveIndex",  // the final report
  };
  ASSERT_GE(bench.view.calls.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(bench.view.calls.begin(),
                                     bench.view.calls.begin() + expected.size()),
            expected);
  EXPECT_EQ(bench.sleeper.waits, std::vector<int>{kOneSecond});
}

// The first checked button counts when (against the dialog's rules) several are.
TEST(RegionChange, FirstCheckedRegionIsSent) {
  RegionBench bench;
  SelectAndReport(bench, Drive(0xFF, 5, NoDisc()), 3);
  bench.view.checked[IDC_REGION5] = true;

  ChangeRegion(bench.view, bench.sleeper);

  EXPECT_EQ(DriveOf(bench).region_mask, RegionMaskOf(3));
}

TEST(RegionChange, NothingSelectedLogsTwiceOnOneLine) {
  for (const UserTexts* language : kBothLanguages) {
    SCOPED_TRACE(language->code_page);
    RegionBench bench(language->code_page);
    bench.List(Drive(0xFF, 5, NoDisc()));
    bench.view.selected = -1;

    ChangeRegion(bench.view, bench.sleeper);

    EXPECT_EQ(bench.view.log, language->no_valid_item + language->no_valid_item);
    const std::vector<std::string> expected = {
        "SelectedDriveIndex", "AppendLog " + language->no_valid_item, "SelectedDriveIndex",
        "AppendLog " + language->no_valid_item};
    EXPECT_EQ(bench.view.calls, expected);
    EXPECT_EQ(bench.drives.OpenCalls(), 0);
  }
}

TEST(RegionChange, DriveThatCannotBeOpened) {
  struct Case {
    const char* name;
    bool reported_before;  // LastReportedIndex already holds the selection
    int open_failures_logged;
  };
  const Case cases[] = {
      {"SelectionReported", true, 2},
      {"SelectionNotReported", false, 3},  // the report run first fails as well
  };
  for (const UserTexts* language : kBothLanguages) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " at code page " + std::to_string(language->code_page));
      RegionBench bench(language->code_page);
      SelectAndReport(bench, Drive(0xFE, 3, DiscOf(kCpstNone)), 1);
      if (!c.reported_before) bench.view.last_reported = -1;
      DriveOf(bench).faults.no_device = true;

      ChangeRegion(bench.view, bench.sleeper);

      EXPECT_EQ(bench.view.log, Repeat(language->open_failed, c.open_failures_logged));
      EXPECT_TRUE(bench.drives.Commands().empty());
      EXPECT_EQ(bench.drives.OpenHandles(), 0);
    }
  }
}

// The change decides on the RPC state of the selected drive: when the selection is not the
// drive reported last, a report runs first.
TEST(RegionChange, LastReportedIndexDecidesWhetherAReportRunsFirst) {
  struct Case {
    const char* name;
    int reported;  // the drive reported before, -1 for none
    std::vector<std::uint8_t> commands;
  };
  const Case cases[] = {
      // Drive 0 is new (no region, five changes): its state would skip the test of drive 1.
      {"OtherDriveReported",
       0,
       {kReportKey, kReadStructure, kTur, kSendKey, kReportKey, kReadStructure}},
      {"NothingReported",
       -1,
       {kReportKey, kReadStructure, kTur, kSendKey, kReportKey, kReadStructure}},
      {"SelectedDriveReported", 1, {kTur, kSendKey, kReportKey, kReadStructure}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegionBench bench;
    auto new_drive = Drive(0xFF, 5, NoDisc());
    new_drive.letter = 'D';
    bench.List(new_drive);
    const int selected = bench.List(Drive(0xFD, 3, DiscOf(kCpstNone)));
    if (c.reported >= 0) {
      bench.view.selected = c.reported;
      ReportRegion(bench.view);
    }
    bench.view.selected = selected;
    Choose(bench.view, 4);
    bench.view.log.clear();
    bench.drives.ClearCommands();

    ChangeRegion(bench.view, bench.sleeper);

    EXPECT_EQ(bench.Opcodes(), c.commands);
    for (const auto& command : bench.drives.Commands()) EXPECT_EQ(command.letter, kLetter);
    // The report run first shows the drive as it is, which checks its own region (2) in
    // place of the user's choice; that region is then the one sent.
    const bool report_first = c.reported != selected;
    const int region_sent = report_first ? 2 : 4;
    const std::string report_first_lines =
        report_first ? kEnglish.DriveRegion(2) + kEnglish.unprotected : std::string();
    EXPECT_EQ(bench.view.log, report_first_lines + kEnglish.set_ok +
                                  kEnglish.DriveRegion(region_sent) + kEnglish.unprotected);
    EXPECT_EQ(bench.view.last_reported, selected);
    EXPECT_EQ(bench.drives.OpenHandles(), 0);
  }
}

// After a failed REPORT KEY the change decides on the bytes that stayed behind, and sends no
// REPORT KEY of its own to learn better.
TEST(RegionChange, DecidesOnTheStateKeptFromAFailedReportKey) {
  struct Case {
    const char* name;
    std::array<std::uint8_t, 4> left_in_buffer;  // RPC State bytes 4 to 7 the report keeps
    std::string change_line;
    std::vector<std::uint8_t> commands;
  };
  const Case cases[] = {
      {"LooksPermanent",
       {0xC0, 0xFE, 0x01, 0x00},
       kEnglish.permanent,
       {kReportKey, kReadStructure}},
      {"LooksNew",
       {0x05, 0xFF, 0x01, 0x00},
       kEnglish.set_ok,
       {kSendKey, kReportKey, kReadStructure}},
      {"LooksSet",
       {0x43, 0xFE, 0x01, 0x00},
       kEnglish.set_ok,
       {kTur, kSendKey, kReportKey, kReadStructure}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegionBench bench;
    std::copy(c.left_in_buffer.begin(), c.left_in_buffer.end(), bench.buffer.begin() + 4);
    auto drive = Drive(0xFD, 3, DiscOf(kCpstNone));
    drive.faults.no_report_key = true;
    SelectAndReport(bench, drive, 4);
    ASSERT_EQ(RpcState().bytes, c.left_in_buffer);

    ChangeRegion(bench.view, bench.sleeper);

    EXPECT_EQ(bench.view.log, c.change_line + kEnglish.drive_failed + kEnglish.unprotected);
    EXPECT_EQ(bench.Opcodes(), c.commands);
    EXPECT_EQ(bench.drives.OpenHandles(), 0);
  }
}

// One scripted answer to TEST UNIT READY.
struct Answer {
  enum class Kind { kSense, kStatusWithoutSense, kCallFailsUntouched } kind = Kind::kSense;
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
};

Answer Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  return {Answer::Kind::kSense, key, asc, ascq};
}
const Answer kUnitAttention = Sense(scsi::kSenseKeyUnitAttention, scsi::kAscMediumChanged, 0);
const Answer kBecomingReady =
    Sense(scsi::kSenseKeyNotReady, scsi::kAscNotReady, scsi::kAscqBecomingReady);
const Answer kNoMedium = Sense(scsi::kSenseKeyNotReady, scsi::kAscMediumNotPresent, 0);
const Answer kNoSenseBack{Answer::Kind::kStatusWithoutSense};
const Answer kCallFails{Answer::Kind::kCallFailsUntouched};

// Answers TEST UNIT READY from a script before the emulated drive does, for answers the
// emulated drive does not give; every other command, and TEST UNIT READY once the script is
// used up, goes to the emulated drive.
class ScriptedReadiness : public DeviceSeam {
 public:
  explicit ScriptedReadiness(emulated::EmulatedDrives& drives) : drives_(drives) {}

  std::deque<Answer> script;
  int scripted = 0;

  bool Open(char letter, DeviceHandle& handle) override { return drives_.Open(letter, handle); }
  bool QueryCapabilities(DeviceHandle handle) override { return drives_.QueryCapabilities(handle); }
  bool QueryAddress(DeviceHandle handle, ScsiAddress& address) override {
    return drives_.QueryAddress(handle, address);
  }
  void Close(DeviceHandle handle) override { drives_.Close(handle); }

  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override {
    using L = PassThroughRequest::Layout;
    if (block[L::kCdb] != kTur || script.empty()) return drives_.PassThrough(handle, block);
    const Answer answer = script.front();
    script.pop_front();
    ++scripted;
    switch (answer.kind) {
      case Answer::Kind::kCallFailsUntouched:
        return false;
      case Answer::Kind::kStatusWithoutSense:
        block[L::kScsiStatus] = scsi::kStatusCheckCondition;
        block[L::kSenseInfoLength] = 0;
        return true;
      case Answer::Kind::kSense:
        block[L::kScsiStatus] = scsi::kStatusCheckCondition;
        block[L::kSenseInfoLength] = static_cast<std::uint8_t>(scsi::kFixedSenseLength);
        block[L::kSenseArea + scsi::kSenseResponseCode] = scsi::kSenseCurrentFixed;
        block[L::kSenseArea + scsi::kSenseKey] = answer.key;
        block[L::kSenseArea + scsi::kSenseAdditionalLength] =
            static_cast<std::uint8_t>(scsi::kFixedSenseLength - scsi::kSenseAdditionalLength - 1);
        block[L::kSenseArea + scsi::kSenseAsc] = answer.asc;
        block[L::kSenseArea + scsi::kSenseAscq] = answer.ascq;
        return true;
    }
    return false;
  }

 private:
  emulated::EmulatedDrives& drives_;
};

std::vector<Answer> Times(int n, const Answer& answer) {
  return std::vector<Answer>(static_cast<std::size_t>(n), answer);
}
std::vector<Answer> Then(std::vector<Answer> a, const std::vector<Answer>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

enum class Ending { kSet, kUnknownError, kCanceled };

struct ReadinessCase {
  const char* name;
  std::vector<Answer> script;  // then the emulated drive, which is ready
  std::vector<bool> prompt_answers;
  Ending ending;
  int tests;  // TEST UNIT READY commands sent in all
  int waits;
};

const ReadinessCase kReadinessCases[] = {
    {"UnitAttentionOtherAsc", {Sense(0x06, 0x29, 0x00)}, {}, Ending::kSet, 2, 0},
    {"BecomingReadyOnce", {kBecomingReady}, {}, Ending::kSet, 2, 1},
    {"NoMediumAnyAscq", {Sense(0x02, 0x3A, 0x02)}, {true}, Ending::kSet, 2, 0},
    {"NoMediumCancelled", {kNoMedium}, {false}, Ending::kCanceled, 1, 0},
    // The sense key byte is compared whole: a flag bit makes it another reason.
    {"UnitAttentionWithFlagBit", {Sense(0x86, 0x28, 0x00)}, {}, Ending::kUnknownError, 1, 0},
    {"NotReadyWithFlagBit", {Sense(0x82, 0x3A, 0x00)}, {}, Ending::kUnknownError, 1, 0},
    {"NotReadyOtherAscq", {Sense(0x02, 0x04, 0x02)}, {}, Ending::kUnknownError, 1, 0},
    {"IncompatibleMedium", {Sense(0x02, 0x30, 0x00)}, {}, Ending::kUnknownError, 1, 0},
    {"IllegalRequest", {Sense(0x05, 0x24, 0x00)}, {}, Ending::kUnknownError, 1, 0},
    {"StatusWithoutSense", {kNoSenseBack}, {}, Ending::kUnknownError, 1, 0},
    {"CallFails", {kCallFails}, {}, Ending::kUnknownError, 1, 0},
    // A failure without sense must not be read by the stale sense of the failure before it,
    // which would repeat the test at once, after a wait, or after another prompt.
    {"NoSenseAfterUnitAttention", {kUnitAttention, kNoSenseBack}, {}, Ending::kUnknownError, 2, 0},
    {"CallFailsAfterUnitAttention", {kUnitAttention, kCallFails}, {}, Ending::kUnknownError, 2, 0},
    {"NoSenseAfterBecomingReady", {kBecomingReady, kNoSenseBack}, {}, Ending::kUnknownError, 2, 1},
    {"NoSenseAfterNoMedium", {kNoMedium, kNoSenseBack}, {true}, Ending::kUnknownError, 2, 0},
    // The bounds: generous enough for any working drive, reached only by one that keeps
    // failing the same way.
    {"SixteenUnitAttentionsInARow", Times(16, kUnitAttention), {}, Ending::kSet, 17, 0},
    {"SeventeenUnitAttentionsInARow", Times(17, kUnitAttention), {}, Ending::kUnknownError, 17, 0},
    {"UnitAttentionCountRestartsAfterAnotherAnswer",
     Then(Then(Times(16, kUnitAttention), {kBecomingReady}), Times(16, kUnitAttention)),
     {},
     Ending::kSet,
     34,
     1},
    {"UnitAttentionCountRestartsAfterThePrompt",
     Then(Then(Times(16, kUnitAttention), {kNoMedium}), Times(16, kUnitAttention)),
     {true},
     Ending::kSet,
     34,
     0},
    {"ReadyAfter120Waits", Times(120, kBecomingReady), {}, Ending::kSet, 121, 120},
    {"BecomingReadyPast120Waits", Times(121, kBecomingReady), {}, Ending::kUnknownError, 121, 120},
    {"WaitsCountOverTheWholeChange",
     Then(Then(Times(60, kBecomingReady), {kNoMedium}), Times(61, kBecomingReady)),
     {true},
     Ending::kUnknownError,
     122,
     120},
};

TEST(RegionChange, ReadinessLoopDecidesBySense) {
  for (const ReadinessCase& c : kReadinessCases) {
    SCOPED_TRACE(c.name);
    RegionBench bench;
    ScriptedReadiness seam(bench.drives);
    SetDeviceSeam(&seam);
    SelectAndReport(bench, Drive(0xFD, 3, DiscOf(kCpstNone)), 4);
    seam.script.assign(c.script.begin(), c.script.end());
    for (bool ok : c.prompt_answers) {
      bench.view.answers.push_back(ok ? RecordingView::Ok() : RecordingView::Cancel());
    }

    ChangeRegion(bench.view, bench.sleeper);

    const std::string toc = Repeat(kEnglish.toc_reading, c.waits);
    switch (c.ending) {
      case Ending::kSet:
        EXPECT_EQ(bench.view.log,
                  toc + kEnglish.set_ok + kEnglish.DriveRegion(4) + kEnglish.unprotected);
        EXPECT_EQ(bench.CountOpcode(kSendKey), 1u);
        break;
      case Ending::kUnknownError:
        EXPECT_EQ(bench.view.log,
                  toc + kEnglish.unknown_error + kEnglish.DriveRegion(2) + kEnglish.unprotected);
        EXPECT_EQ(bench.CountOpcode(kSendKey), 0u);
        break;
      case Ending::kCanceled:
        EXPECT_EQ(bench.view.log,
                  kEnglish.canceled + kEnglish.DriveRegion(2) + kEnglish.unprotected);
        EXPECT_EQ(bench.CountOpcode(kSendKey), 0u);
        break;
    }
    EXPECT_TRUE(seam.script.empty());
    EXPECT_EQ(seam.scripted + static_cast<int>(bench.CountOpcode(kTur)), c.tests);
    EXPECT_EQ(bench.view.CountCalls("AskOkCancel"), c.prompt_answers.size());
    ExpectSoundEnding(bench, kEnglish, c.waits);
  }
}

// The Japanese unknown-error text has no line end: the final report's first line runs on.
TEST(RegionChange, JapaneseUnknownErrorRunsIntoTheReport) {
  RegionBench bench(kJapanese.code_page);
  ScriptedReadiness seam(bench.drives);
  SetDeviceSeam(&seam);
  SelectAndReport(bench, Drive(0xFD, 3, DiscOf(kCpstNone)), 4);
  seam.script = {Sense(0x02, 0x30, 0x00)};

  ChangeRegion(bench.view, bench.sleeper);

  EXPECT_EQ(bench.view.log, "不明なエラーが発生しました。ドライブのリージョンコードは２です.\r\n" +
                                kJapanese.unprotected);
}

// The emulated drive's own endless answers end at the bounds as well.
TEST(RegionChange, DriveThatNeverGetsReadyEndsTheChange) {
  struct Case {
    const char* name;
    std::function<void(emulated::Faults&)> fault;
    int tests;
    int waits;
  };
  const Case cases[] = {
      {"UnitAttentionForever", [](emulated::Faults& f) { f.unit_attention_forever = true; },
       kMaxUnitAttentionsInARow + 1, 0},
      {"NeverReady", [](emulated::Faults& f) { f.never_ready = true; }, kMaxBecomingReadyWaits + 1,
       kMaxBecomingReadyWaits},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegionBench bench;
    SelectAndReport(bench, Drive(0xFD, 3, DiscOf(kCpstNone)), 4);
    c.fault(DriveOf(bench).faults);

    ChangeRegion(bench.view, bench.sleeper);

    EXPECT_TRUE(
        bench.view.log.starts_with(Repeat(kEnglish.toc_reading, c.waits) + kEnglish.unknown_error));
    EXPECT_EQ(bench.CountOpcode(kTur), static_cast<std::size_t>(c.tests));
    EXPECT_EQ(bench.CountOpcode(kSendKey), 0u);
    ExpectSoundEnding(bench, kEnglish, c.waits);
    EXPECT_EQ(DriveOf(bench).region_mask, 0xFD);
  }
}

}  // namespace
}  // namespace varden
