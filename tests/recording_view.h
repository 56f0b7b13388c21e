// Test doubles for the region logic: a RegionView that records every call in order and holds
// the state of the controls, a Sleeper that records its waits, a bench that puts emulated
// drives behind drive access for one test, and the user's texts in both languages.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
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
  // Every call, in order, as "<Call> <arguments>": "Enable 1008 on", "AppendLog <text>".
  std::vector<std::string> calls;
  // The controls by id; a control never touched is disabled and unchecked.
  std::map<int, bool> enabled, checked;
  std::set<int> highlighted;
  std::map<int, std::string> texts;
  std::string log;
  std::size_t caret = 0;  // the log's length at the last AppendLog
  int selected = -1;
  std::vector<char> letters;  // the drive table, by list index
  int last_reported = -1;
  // The user's answers to the OK/Cancel box in order, each run while the box is open (the
  // user may insert a disc meanwhile) and true for OK; with none left the box answers Cancel.
  std::deque<std::function<bool()>> answers;

  bool IsEnabled(int id) const { return Find(enabled, id); }
  bool IsCheckedNow(int id) const { return Find(checked, id); }
  bool IsHighlighted(int id) const { return highlighted.count(id) != 0; }
  std::vector<std::string> CallsStartingWith(std::string_view prefix) const {
    std::vector<std::string> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [&](const std::string& c) { return c.starts_with(prefix); });
    return out;
  }
  std::size_t CountCalls(std::string_view prefix) const { return CallsStartingWith(prefix).size(); }
  // Checks radio button `region` alone, as the user leaves the buttons (0: none checked).
  void Choose(int region) {
    for (int n = 1; n <= 6; ++n) checked[kRegionButton[n - 1]] = (n == region);
  }

  // RegionView
  void EnableControl(int id, bool on) override {
    enabled[id] = Record("Enable", id, OnOff(on), on);
  }
  void SetCheck(int id, bool on) override { checked[id] = Record("Check", id, OnOff(on), on); }
  void SetHighlight(int id) override { highlighted.insert(Record("Highlight", id, "", id)); }
  bool IsChecked(int id) override { return Record("IsChecked", id, "", Find(checked, id)); }
  void SetControlText(int id, std::string_view text) override {
    texts[id] = Record("Text", id, text, std::string(text));
  }
  void AppendLog(std::string_view text) override {
    calls.push_back("AppendLog " + std::string(text));
    log += text;
    caret = log.size();
  }
  void AppendLogNoScroll(std::string_view text) override {
    calls.push_back("AppendLogNoScroll " + std::string(text));
    log += text;
  }
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
    const bool listed = index >= 0 && static_cast<std::size_t>(index) < letters.size();
    return Record("DriveLetter", index, "",
                  listed ? letters[static_cast<std::size_t>(index)] : '\0');
  }
  int LastReportedIndex() const override { return last_reported; }
  void SetLastReportedIndex(int index) override {
    last_reported = Record("SetLastReportedIndex", index, "", index);
  }

 private:
  // Records "<call> <id>[ <detail>]" and answers `value`.
  template <class T>
  T Record(const char* call, int id, std::string_view detail, T value) {
    calls.push_back(call + (" " + std::to_string(id)) +
                    (detail.empty() ? "" : " " + std::string(detail)));
    return value;
  }
  static const char* OnOff(bool on) { return on ? "on" : "off"; }
  static bool Find(const std::map<int, bool>& states, int id) {
    const auto it = states.find(id);
    return it != states.end() && it->second;
  }
};

// Records the waits instead of waiting.
class RecordingSleeper : public Sleeper {
 public:
  std::vector<int> waits;
  void SleepMilliseconds(int milliseconds) override { waits.push_back(milliseconds); }
};

inline constexpr unsigned kEnglishCodePage = 437;
inline constexpr char kLetter = 'E';

inline std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
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
// for the life of one test; everything is put back to the state at program start after.
class RegionBench {
 public:
  explicit RegionBench(unsigned code_page = kEnglishCodePage) {
    StartOver();
    text::DecideLanguage(code_page);
    SetDeviceSeam(&drives);
    AttachTransferBuffer(buffer.data());
  }
  ~RegionBench() { StartOver(); }
  RegionBench(const RegionBench&) = delete;
  RegionBench& operator=(const RegionBench&) = delete;

  // Adds a drive and lists it as the next drive-list item; answers its index.
  int List(const emulated::DriveState& drive) {
    drives.Add(drive);
    view.letters.push_back(drive.letter);
    return static_cast<int>(view.letters.size()) - 1;
  }
  emulated::DriveState& Listed(char letter = kLetter) { return *drives.Find(letter); }

  // Lists and selects the drive, reports it as a selection does, lets the user choose a
  // region, and forgets what the report logged and sent.
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

  // The operation codes of the commands that reached the drives, in order.
  std::vector<std::uint8_t> Opcodes() const {
    std::vector<std::uint8_t> out;
    for (const auto& command : drives.Commands()) out.push_back(command.cdb.at(0));
    return out;
  }
  std::size_t CountOpcode(std::uint8_t opcode) const {
    const auto ops = Opcodes();
    return static_cast<std::size_t>(std::count(ops.begin(), ops.end(), opcode));
  }

  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kTransferBufferSize);
  emulated::EmulatedDrives drives;
  RecordingView view;
  RecordingSleeper sleeper;

 private:
  static void StartOver() {
    ResetDriveAccess();
    ResetRegionCommands();
    text::ResetLanguage();
  }
};

// The texts of the region operations as the user reads them, written out here so that the
// tests compare whole log lines.
struct UserTexts {
  unsigned code_page;
  std::string no_valid_item, open_failed, no_rpc2, drive_failed, disc_failed, permanent,
      insert_disc, toc_reading, unknown_error, set_ok, set_failed, no_region_selected;
  std::string changes_before, changes_after;  // around the number of changes left
  std::string region_before;                  // around the drive's region digit
  std::array<std::string, 6> digits;
  std::string region_after, drive_no_region;
  std::string invalid_before, invalid_after;  // around the mask's two hexadecimal digits
  std::string unprotected, allowed_prefix, allowed_suffix, unknown_protection, canceled, attention;

  std::string ChangesLeft(int n) const {
    return changes_before + std::to_string(n) + changes_after;
  }
  std::string DriveRegion(int n) const {
    return region_before + digits[static_cast<std::size_t>(n - 1)] + region_after;
  }
  std::string Invalid(std::string_view hex) const {
    return invalid_before + std::string(hex) + invalid_after;
  }
  // The permitted-regions line; `pieces` as " 2 4".
  std::string Allowed(std::string_view pieces) const {
    return allowed_prefix + std::string(pieces) + allowed_suffix + "\r\n";
  }
};

inline const UserTexts kEnglish{
    .code_page = kEnglishCodePage,
    .no_valid_item = "Don't select the valid item.",  // no line end
    .open_failed = "Device open API is failed.",      // no line end
    .no_rpc2 = "This drive does not support RPC2",
    .drive_failed = "Get drive region is failed.\r\n",
    .disc_failed = "Get disc region is failed.\r\n",
    .permanent = "Drive regional code is already permanent state.\r\n",
    .insert_disc = "Disc is not present !\r\nPlease insert approproiate disc",
    .toc_reading = "Now toc read in progress...\r\n",
    .unknown_error = "Unknown error is occurred.\r\n",
    .set_ok = "Success to set regional code.\r\n",
    .set_failed = "Failed to set regional code.\r\n",
    .no_region_selected = "Appropriate region is not selected.\r\n",
    .changes_before = "Regional code can be changed ",
    .changes_after = "time(s)",
    .region_before = "Drive's region is ",
    .digits = {"1", "2", "3", "4", "5", "6"},
    .region_after = ".\r\n",
    .drive_no_region = "Drive has no region.\r\n",
    .invalid_before = "Invalid or Unknown region (",
    .invalid_after = "h).\r\n",
    .unprotected = "No copyright protrction disc.\r\nAll region is allowed.\r\n",
    .allowed_prefix = "This disc is allowed region",
    .allowed_suffix = "",
    .unknown_protection = "This DVD has the unknown copyright protection type.\r\n",
    .canceled = "Operation is canceled.\r\n",
    .attention = "Attention",
};

inline const UserTexts kJapanese{
    .code_page = text::kJapaneseCodePage,
    .no_valid_item = "有効な項目が選択されていません。",
    .open_failed = "デバイスのオープンに失敗しました。",
    .no_rpc2 = "このドライブはRPC2をサポートしていません。",
    .drive_failed = "リージョンコードの取得に失敗しました。\r\n",
    .disc_failed = "ディスクのリージョンコードの取得に失敗しました。\r\n",
    .permanent = "ドライブのリージョンコードはすでに固定されていて変更できません。\r\n",
    .insert_disc = "ディスクがありません\r\n適切なディスクを挿入してください。",
    .toc_reading = "現在ディスクのセットアップ中です。\r\n",
    .unknown_error = "不明なエラーが発生しました。",  // no line end in Japanese
    .set_ok = "リージョンの設定は成功しました。\r\n",
    .set_failed = "リージョンの設定に失敗しました。\r\n",
    .no_region_selected = "適切なリージョンが選択されていません。\r\n",
    .changes_before = "リージョンコードはあと",
    .changes_after = "回変更可能です。",
    .region_before = "ドライブのリージョンコードは",
    .digits = {"１", "２", "３", "４", "５", "６"},
    .region_after = "です.\r\n",
    .drive_no_region = "ドライブのリージョンコードは未設定です.\r\n",
    .invalid_before = "ドライブのリージョンコードは不正な値(",
    .invalid_after = "h)です.\r\n",
    .unprotected =
        "このディスクにはコピープロテクトがありません.\r\n"
        "全ての地域での視聴が許可されています.\r\n",
    .allowed_prefix = "このディスクは地域",
    .allowed_suffix = "での視聴が許可されています。",
    .unknown_protection = "このディスクは不明なコピープロテクト方式を持っています。\r\n",
    .canceled = "処理は中断されました。\r\n",
    .attention = "注意",
};

inline const UserTexts* const kBothLanguages[] = {&kEnglish, &kJapanese};

}  // namespace varden::test_support
