// Test doubles for the region logic: a RegionView that records every call in order and holds
// the state of the controls, a Sleeper that records its waits instead of waiting, and a bench
// that puts emulated drives behind drive access for one test.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "drive/region_commands.h"
#include "emulated/emulated_drive.h"
#include "region/region_view.h"
#include "text/catalogue.h"

namespace varden::test_support {

class RecordingView : public RegionView {
 public:
  // One scripted answer of the OK/Cancel box; `before` runs while the box is open (the user
  // inserting a disc, for example).
  struct Answer {
    bool ok = true;
    std::function<void()> before;
  };
  static Answer Ok(std::function<void()> before = nullptr) { return {true, std::move(before)}; }
  static Answer Cancel() { return {false, nullptr}; }

  // Every call, in order, one line each:
  //   "Enable <id> on|off", "Check <id> on|off", "Highlight <id>", "IsChecked <id>",
  //   "Text <id> <text>", "AppendLog <text>", "AppendLogNoScroll <text>",
  //   "AskOkCancel <text>|<caption>", "SelectedDriveIndex", "DriveLetter <index>",
  //   "AddDrive <index> <text>", "SelectDrive <index>", "SetLastReportedIndex <index>".
  std::vector<std::string> calls;

  // The state of the controls, by id; a control never touched is disabled and unchecked.
  std::map<int, bool> enabled;
  std::map<int, bool> checked;
  std::set<int> highlighted;
  std::map<int, std::string> texts;

  // The message log, and where the last AppendLog put the caret (the log's length then).
  std::string log;
  std::size_t caret = 0;

  // The drive list: its items, the selection and the drive table's letters by index.
  std::vector<std::string> drive_list;
  int selected = -1;
  std::vector<char> letters;

  int last_reported = -1;

  // Answers for AskOkCancel, taken in order. When none is left the box answers Cancel (so a
  // test cannot hang) and counts the ask as unexpected.
  std::deque<Answer> answers;
  int unexpected_asks = 0;

  bool IsEnabled(int id) const { return Find(enabled, id); }
  bool IsCheckedNow(int id) const { return Find(checked, id); }
  bool IsHighlighted(int id) const { return highlighted.count(id) != 0; }

  // The calls whose line starts with one of the prefixes, in order.
  std::vector<std::string> CallsStartingWith(
      std::initializer_list<std::string_view> prefixes) const {
    std::vector<std::string> out;
    for (const std::string& call : calls) {
      for (std::string_view prefix : prefixes) {
        if (call.starts_with(prefix)) {
          out.push_back(call);
          break;
        }
      }
    }
    return out;
  }
  std::size_t CountCalls(std::string_view prefix) const {
    return static_cast<std::size_t>(std::count_if(
        calls.begin(), calls.end(), [&](const std::string& c) { return c.starts_with(prefix); }));
  }

  // RegionView
  void EnableControl(int id, bool on) override {
    calls.push_back("Enable " + std::to_string(id) + OnOff(on));
    enabled[id] = on;
  }
  void SetCheck(int id, bool on) override {
    calls.push_back("Check " + std::to_string(id) + OnOff(on));
    checked[id] = on;
  }
  void SetHighlight(int id) override {
    calls.push_back("Highlight " + std::to_string(id));
    highlighted.insert(id);
  }
  bool IsChecked(int id) override {
    calls.push_back("IsChecked " + std::to_string(id));
    return Find(checked, id);
  }
  void SetControlText(int id, std::string_view text) override {
    calls.push_back("Text " + std::to_string(id) + " " + std::string(text));
    texts[id] = std::string(text);
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
    if (answers.empty()) {
      ++unexpected_asks;
      return false;
    }
    Answer answer = std::move(answers.front());
    answers.pop_front();
    if (answer.before) answer.before();
    return answer.ok;
  }
  void AddDrive(int index, std::string_view text) override {
    calls.push_back("AddDrive " + std::to_string(index) + " " + std::string(text));
    drive_list.insert(drive_list.begin() + index, std::string(text));
  }
  void SelectDrive(int index) override {
    calls.push_back("SelectDrive " + std::to_string(index));
    selected = index;
  }
  char DriveLetter(int index) override {
    calls.push_back("DriveLetter " + std::to_string(index));
    if (index < 0 || static_cast<std::size_t>(index) >= letters.size()) return 0;
    return letters[static_cast<std::size_t>(index)];
  }
  int LastReportedIndex() const override { return last_reported; }
  void SetLastReportedIndex(int index) override {
    calls.push_back("SetLastReportedIndex " + std::to_string(index));
    last_reported = index;
  }

 private:
  static std::string OnOff(bool on) { return on ? " on" : " off"; }
  static bool Find(const std::map<int, bool>& states, int id) {
    const auto it = states.find(id);
    return it != states.end() && it->second;
  }
};

// Records the waits instead of waiting; `on_sleep` runs after each with the number of waits
// so far (the drive changing while the program waits).
class RecordingSleeper : public Sleeper {
 public:
  std::vector<int> waits;
  std::function<void(int)> on_sleep;

  void SleepMilliseconds(int milliseconds) override {
    waits.push_back(milliseconds);
    if (on_sleep) on_sleep(static_cast<int>(waits.size()));
  }
};

inline constexpr unsigned kEnglishCodePage = 437;

// Emulated drives behind drive access, a transfer buffer attached and the language reset,
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
    view.drive_list.emplace_back(1, drive.letter);
    return static_cast<int>(view.letters.size()) - 1;
  }

  // The operation codes of the commands that reached the drives, in order.
  std::vector<std::uint8_t> Opcodes() const {
    std::vector<std::uint8_t> out;
    for (const auto& command : drives.Commands()) {
      out.push_back(command.cdb.empty() ? 0xFF : command.cdb[0]);
    }
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

// The texts of the region operations as the user sees them, in one language, written out
// here so that the tests compare whole log lines with what the user must read.
struct UserTexts {
  unsigned code_page;
  std::string no_valid_item;
  std::string open_failed;
  std::string no_rpc2;
  std::string drive_failed;
  std::string disc_failed;
  std::string permanent;
  std::string insert_disc;
  std::string toc_reading;
  std::string unknown_error;
  std::string set_ok;
  std::string set_failed;
  std::string no_region_selected;
  std::string changes_before;  // around the number of changes left
  std::string changes_after;
  std::array<std::string, 6> drive_region;
  std::string drive_no_region;
  std::string invalid_before;  // around the two hexadecimal digits of the mask
  std::string invalid_after;
  std::string unprotected;
  std::string allowed_prefix;
  std::string allowed_suffix;
  std::string unknown_protection;
  std::string canceled;
  std::string attention;

  std::string ChangesLeft(int n) const {
    return changes_before + std::to_string(n) + changes_after;
  }
  std::string DriveRegion(int n) const { return drive_region[static_cast<std::size_t>(n - 1)]; }
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
    .no_valid_item = "Don't select the valid item.",
    .open_failed = "Device open API is failed.",
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
    .drive_region = {"Drive's region is 1.\r\n", "Drive's region is 2.\r\n",
                     "Drive's region is 3.\r\n", "Drive's region is 4.\r\n",
                     "Drive's region is 5.\r\n", "Drive's region is 6.\r\n"},
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
    .drive_region = {"ドライブのリージョンコードは１です.\r\n",
                     "ドライブのリージョンコードは２です.\r\n",
                     "ドライブのリージョンコードは３です.\r\n",
                     "ドライブのリージョンコードは４です.\r\n",
                     "ドライブのリージョンコードは５です.\r\n",
                     "ドライブのリージョンコードは６です.\r\n"},
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
