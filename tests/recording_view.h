// Test doubles for the region logic: a RegionView that records every call and holds the
// controls' state, a Sleeper that records its waits, and emulated drives behind drive access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "drive/region_commands.h"
#include "emulated/emulated_drive.h"
#include "region/region_operations.h"
#include "region/region_view.h"
#include "text/catalogue.h"
#include "ui/resources/resource.h"

namespace varden::test_support {

class RecordingView : public RegionView {
 public:
  std::vector<std::string> calls;                     // "<Call> <arguments>", in order
  std::map<int, bool> enabled, checked, highlighted;  // a control never touched is off
  std::map<int, std::string> texts;
  std::string log;
  std::size_t caret = 0;
  int selected = -1, last_reported = -1;
  std::vector<char> letters;  // the drive table
  // The user's answers to the OK/Cancel box, each run while the box is open; none left: Cancel.
  std::deque<std::function<bool()>> answers;

  std::vector<std::string> CallsStartingWith(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : calls) {
      if (c.starts_with(prefix)) out.push_back(c);
    }
    return out;
  }
  // Checks radio button `region` alone (0: none).
  void Choose(int region) {
    for (int n = 1; n <= 6; ++n) checked[kRegionButton[n - 1]] = (n == region);
  }

  void EnableControl(int id, bool on) override {
    enabled[id] = Record("Enable", id, OnOff(on), on);
  }
  void SetCheck(int id, bool on) override { checked[id] = Record("Check", id, OnOff(on), on); }
  void SetHighlight(int id) override { highlighted[id] = Record("Highlight", id, "", true); }
  bool IsChecked(int id) override { return Record("IsChecked", id, "", checked[id]); }
  void SetControlText(int id, std::string_view text) override {
    texts[id] = Record("Text", id, text, std::string(text));
  }
  void AppendLog(std::string_view text) override { caret = Append("AppendLog ", text); }
  void AppendLogNoScroll(std::string_view text) override { Append("AppendLogNoScroll ", text); }
  int SelectedDriveIndex() override {
    calls.push_back("SelectedDriveIndex");
    return selected;
  }
  bool AskOkCancel(std::string_view text, std::string_view caption) override {
    calls.push_back("AskOkCancel " + std::string(text) + "|" + std::string(caption));
    if (answers.empty()) return false;
    const auto answer = std::move(answers.front());
    answers.pop_front();
    return answer();
  }
  void AddDrive(int index, std::string_view text) override { Record("AddDrive", index, text, 0); }
  void SelectDrive(int index) override { selected = Record("SelectDrive", index, "", index); }
  char DriveLetter(int index) override {
    const auto i = static_cast<std::size_t>(index);
    return Record("DriveLetter", index, "", index >= 0 && i < letters.size() ? letters[i] : '\0');
  }
  int LastReportedIndex() const override { return last_reported; }
  void SetLastReportedIndex(int index) override {
    last_reported = Record("SetLastReportedIndex", index, "", index);
  }

 private:
  template <class T>
  T Record(const char* call, int id, std::string_view detail, T value) {
    calls.push_back(call + (" " + std::to_string(id)) +
                    (detail.empty() ? "" : " " + std::string(detail)));
    return value;
  }
  std::size_t Append(const char* call, std::string_view text) {
    calls.push_back(call + std::string(text));
    return (log += text).size();
  }
  static const char* OnOff(bool on) { return on ? "on" : "off"; }
};

class RecordingSleeper : public Sleeper {
 public:
  std::vector<int> waits;
  void SleepMilliseconds(int milliseconds) override { waits.push_back(milliseconds); }
};

inline constexpr unsigned kEnglishCodePage = 437;
inline constexpr unsigned kBothLanguages[] = {kEnglishCodePage, text::kJapaneseCodePage};
inline constexpr char kLetter = 'E';

inline std::string Repeat(const std::string& text, int times) {
  std::string out;
  while (times-- > 0) out += text;
  return out;
}

inline const emulated::Disc kNoDisc{};
inline emulated::Disc DiscOf(std::uint8_t cpst, std::uint8_t rmi = 0x00) {
  return {.present = true, .cpst = cpst, .rmi = rmi};
}
inline emulated::DriveState Drive(std::uint8_t mask, int changes, emulated::Disc disc,
                                  char letter = kLetter) {
  return {
      .letter = letter, .region_mask = mask, .user_changes = changes, .disc = disc, .faults = {}};
}

// Emulated drives behind drive access, a transfer buffer attached and the language decided,
// for one test; the state at program start is restored after.
template <class Drives = emulated::EmulatedDrives>
class RegionBenchOf {
 public:
  explicit RegionBenchOf(unsigned code_page = kEnglishCodePage) {
    StartOver();
    text::DecideLanguage(code_page);
    SetDeviceSeam(&drives);
    AttachTransferBuffer(buffer.data());
  }
  ~RegionBenchOf() { StartOver(); }
  RegionBenchOf(const RegionBenchOf&) = delete;
  RegionBenchOf& operator=(const RegionBenchOf&) = delete;

  // Adds a drive as the next drive-list item; answers its index.
  int List(const emulated::DriveState& drive) {
    drives.Add(drive);
    view.letters.push_back(drive.letter);
    return static_cast<int>(view.letters.size()) - 1;
  }
  emulated::DriveState& Listed(char letter = kLetter) { return *drives.Find(letter); }

  // Lists, selects and reports the drive, lets the user choose a region, forgets the report.
  void SelectAndReport(const emulated::DriveState& drive, int chosen) {
    view.selected = List(drive);
    ReportRegion(view);
    view.Choose(chosen);
    Forget();
  }
  void Forget() {
    view.log.clear();
    view.calls.clear();
    drives.ClearCommands();
  }
  std::vector<std::uint8_t> Opcodes() const {
    std::vector<std::uint8_t> out;
    for (const auto& command : drives.Commands()) out.push_back(command.cdb.at(0));
    return out;
  }

  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kTransferBufferSize);
  Drives drives;
  RecordingView view;
  RecordingSleeper sleeper;

 private:
  static void StartOver() {
    ResetDriveAccess();
    ResetRegionCommands();
    text::ResetLanguage();
  }
};
using RegionBench = RegionBenchOf<>;

// The catalogue's texts (pinned down by the catalogue test) as the region logic logs them.
using text::Key;
inline constexpr auto Say = &text::Text;
// The drive's region line for region n, 0 for none.
inline std::string RegionLine(int n) {
  return n == 0 ? Say(Key::MSG_DRIVE_NO_REGION)
                : Say(static_cast<Key>(static_cast<int>(Key::MSG_DRIVE_REGION_1) + n - 1));
}
// The permitted-regions line; `pieces` as " 2 4".
inline std::string AllowedLine(std::string_view pieces) {
  return Say(Key::MSG_DISC_ALLOWED_PREFIX) + std::string(pieces) +
         Say(Key::MSG_DISC_ALLOWED_SUFFIX) + "\r\n";
}

}  // namespace varden::test_support
