// The main dialog's logic without a toolkit, on a fake set of controls that records every
// call: the start-up order, the region-button layout, the system-menu commands, the About box,
// the help topic, the dialog keys and the log's caret.
#include "ui/dialog/region_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "recording_view.h"
#include "text/catalogue.h"
#include "ui/resources/resource.h"
#include "ui/resources/templates.h"

namespace varden::ui {
namespace {

using test_support::DiscOf;
using test_support::Drive;
using Calls = std::vector<std::string>;

std::string N(long n) {
  return std::to_string(n);
}

// Records the calls that change what the user sees, one line each, and keeps the state a
// toolkit would keep.
class FakeControls : public DialogControls {
 public:
  Calls calls;
  std::map<int, Rect> rects;
  std::map<int, std::string> texts;
  std::vector<std::string> list;
  int selection = -1;
  bool has_system_menu = true;
  bool help_found = false;

  void Enable(int id, bool on) override { Record("Enable " + N(id) + OnOff(on)); }
  void SetCheck(int id, bool on) override { checks[id] = Record("Check " + N(id) + OnOff(on), on); }
  bool GetCheck(int id) override { return checks[id]; }
  void Highlight(int id) override { Record("Highlight " + N(id)); }
  void SetText(int id, std::string_view text) override {
    texts[id] = Record("Text " + N(id) + " " + S(text), S(text));
  }
  std::string GetText(int id) override { return texts[id]; }
  void ComboInsert(int, int index, std::string_view text) override {
    list.insert(list.begin() + index, Record("Insert " + N(index) + " " + S(text), S(text)));
  }
  void ComboSelect(int, int index) override { selection = Record("Select " + N(index), index); }
  int ComboSelection(int) override { return selection; }
  void SetEditSelection(int, int start, int end) override {
    Record("EditSel " + N(start) + " " + N(end));
  }
  void ScrollCaret(int) override { Record("ScrollCaret"); }
  Rect LayoutRect(int id) override { return rects[id]; }
  void MoveControl(int id, const Rect& r, bool repaint) override {
    Record("Move " + N(id) + " " + N(r.left) + "," + N(r.top) + "," + N(r.right) + "," +
           N(r.bottom) + (repaint ? " repaint" : ""));
  }
  void SetDialogIcon() override { Record("Icon"); }
  bool HasSystemMenu() override { return has_system_menu; }
  void AppendSystemMenuSeparator() override { Record("MenuSeparator"); }
  void AppendSystemMenuItem(unsigned command, std::string_view text) override {
    Record("MenuItem " + N(command) + " " + S(text));
  }
  void DefaultSysCommand(unsigned command) override { Record("Default " + N(command)); }
  void EndDialog(int result) override { Record("End " + N(result)); }
  bool MessageOkCancelExclamation(std::string_view text, std::string_view caption) override {
    return Record("AskOkCancel " + S(text) + "|" + S(caption), true);
  }
  void MessageOk(std::string_view text, std::string_view caption) override {
    Record("MessageOk " + S(text) + "|" + S(caption));
  }
  void ProgressOpen(int high, int step) override {
    Record("ProgressOpen " + N(high) + " " + N(step));
  }
  void ProgressStep() override { Record("ProgressStep"); }
  void ProgressText(std::string_view text) override { Record("ProgressText " + S(text)); }
  void ProgressClose() override { Record("ProgressClose"); }
  void RunAboutBox(std::string_view version) override { Record("About " + S(version)); }
  bool ShowHelpTopic(std::string_view path) override {
    return Record("Help " + S(path), help_found);
  }

  // The index of the first call that starts with `prefix`, or -1.
  int Find(std::string_view prefix) const {
    const auto it = std::find_if(calls.begin(), calls.end(),
                                 [&](const std::string& c) { return c.starts_with(prefix); });
    return it == calls.end() ? -1 : static_cast<int>(it - calls.begin());
  }

 private:
  // Records the call and answers `value`.
  template <class T = bool>
  T Record(std::string call, T value = {}) {
    calls.push_back(std::move(call));
    return value;
  }
  static std::string S(std::string_view text) { return std::string(text); }
  static const char* OnOff(bool on) { return on ? " on" : " off"; }
  std::map<int, bool> checks;
};

// A dialog over emulated drives, its controls laid out as the template is at 96 dpi.
struct DialogBench {
  DialogBench() {
    controls.rects[IDC_DRIVE_REGION_GROUP] = {12, 111, 312, 294};
    controls.rects[IDC_CHANGES_LEFT] = {31, 257, 299, 280};
    controls.rects[IDC_REGION1] = {33, 132, 179, 148};
  }
  // Starts the dialog up without drives and forgets the start-up's calls.
  void Start(unsigned code_page) {
    dialog.OnInitDialog(code_page);
    controls.calls.clear();
  }
  test_support::RegionBench bench;
  FakeControls controls;
  RegionDialog dialog{controls, bench.sleeper};
};

// Without drives and without a system menu, at a code page other than Japanese's, and with
// two drives.
TEST(RegionDialog, StartsUpInTheStartUpOrder) {
  struct Case {
    std::vector<char> letters;
    unsigned code_page;
    bool has_system_menu;
  };
  for (const Case& c : {Case{{}, 850, false}, Case{{'E', 'G'}, 437, true}}) {
    SCOPED_TRACE(c.code_page);
    DialogBench b;
    for (char letter : c.letters) b.bench.drives.Add(Drive(0xFF, 5, DiscOf(kCpstNone), letter));
    b.controls.has_system_menu = c.has_system_menu;
    EXPECT_EQ(b.dialog.LastReportedIndex(), -1);
    EXPECT_TRUE(b.dialog.OnInitDialog(c.code_page));

    // The scan fills the list as it goes; item 0 is selected after its last step and before
    // the progress window goes; the layout follows, then the first report.
    Calls expected = {"Text 1006 "};
    if (c.has_system_menu) {
      expected.insert(expected.end(), {"MenuSeparator", "MenuItem 32 &Help (Varden)",
                                       "MenuSeparator", "MenuItem 16 &About Varden..."});
    }
    expected.insert(expected.end(), {"Icon", "ProgressOpen 23 1"});
    for (int n = 1; n <= 23; ++n) {
      expected.push_back("ProgressStep");
      expected.push_back("ProgressText Now checking device No." + N(n));
    }
    if (!c.letters.empty()) expected.push_back("Select 0");
    expected.push_back("ProgressClose");
    for (int id : kRegionButton) expected.push_back("Move " + N(id));
    expected.push_back("Move " + N(IDC_CHANGES_LEFT));
    Calls seen;
    std::copy_if(b.controls.calls.begin(), b.controls.calls.end(), std::back_inserter(seen),
                 [](const std::string& call) { return !call.starts_with("Insert "); });
    ASSERT_GE(seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_TRUE(seen[i].starts_with(expected[i])) << i << ": " << seen[i];
    }
    EXPECT_EQ(b.dialog.DriveCount(), static_cast<int>(c.letters.size()));
    if (c.letters.empty()) {
      EXPECT_EQ(seen.size(), expected.size());  // no labels, no report
      EXPECT_EQ(b.dialog.MessageLog(), "");
      EXPECT_EQ(b.controls.selection, -1);
      continue;
    }
    EXPECT_EQ(b.controls.list.at(1).substr(0, 3), "G: ");
    EXPECT_EQ(b.dialog.DriveLetter(1), 'G');
    EXPECT_LT(b.controls.Find("Insert 1 G: "),
              b.controls.Find("ProgressText Now checking device No.23"));
    EXPECT_EQ(b.dialog.LastReportedIndex(), 0);
    EXPECT_EQ(b.dialog.MessageLog(),
              "Drive has no region.\r\nNo copyright protrction disc.\r\n"
              "All region is allowed.\r\n");
  }
}

TEST(RegionDialog, JapaneseModeReplacesTheLabelsAfterTheLayoutAndBeforeTheReport) {
  DialogBench b;
  b.bench.drives.Add(Drive(0xFF, 5, DiscOf(kCpstNone)));
  b.dialog.OnInitDialog(text::kJapaneseCodePage);

  EXPECT_GE(b.controls.Find("MenuItem 32 ヘルプ(&H)"), 0);
  EXPECT_GE(b.controls.Find("MenuItem 16 Vardenについて(&A)"), 0);
  EXPECT_GE(b.controls.Find("ProgressText Now checking device No.1"), 0);  // one form only
  ASSERT_EQ(text::JapaneseLabels().size(), 17u);
  int previous = b.controls.Find("Move " + N(IDC_CHANGES_LEFT));
  for (const text::LabelRow& row : text::JapaneseLabels()) {
    const int at = b.controls.Find("Text " + N(row.control_id) + " " + std::string(row.text));
    EXPECT_GT(at, previous) << row.control_id;
    previous = at;
  }
  EXPECT_LT(previous, b.controls.Find("EditSel "));
  EXPECT_EQ(b.controls.texts[IDC_EXIT], "終了");
  EXPECT_EQ(b.controls.texts.count(IDC_TITLE), 0u);  // the template's text stays
}

// Rows of (group height - label height - 25) / 6 pixels, truncated toward zero, from 10 pixels
// right of the group box's edge to 15 short of its width; the label 5 pixels below the rows.
TEST(RegionButtonLayout, Table) {
  const struct {
    const char* name;
    Rect group, label, radio;
    Rect first_row;
    int row_height;
    Rect changes_left;
  } cases[] = {
      // clang-format off
      // name                                      group               label               radio               first row         height  label's new place
      {"template at 96 dpi: 135 / 6 = 22 rest 3", {12, 111, 312, 294}, {31, 257, 299, 280}, {33, 132, 179, 148}, {22, 111, 307, 133}, 22, {22, 248, 307, 264}},
      {"exact division: 60 / 6",                  {0, 0, 100, 91},     {0, 0, 10, 6},       {0, 0, 10, 10},      {10, 0, 95, 10},     10, {10, 65, 95, 75}},
      {"65 / 6 = 10 rest 5",                      {0, 0, 100, 96},     {0, 0, 10, 6},       {0, 0, 10, 10},      {10, 0, 95, 10},     10, {10, 65, 95, 75}},
      {"-15 / 6 truncates to -2",                 {5, 50, 45, 70},     {0, 0, 10, 10},      {0, 0, 9, 12},       {15, 50, 40, 48},    -2, {15, 43, 40, 55}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RegionButtonLayout layout = LayOutRegionButtons(c.group, c.label, c.radio);
    for (int k = 0; k < 6; ++k) {
      const int down = k * c.row_height;
      EXPECT_EQ(layout.rows[k], (Rect{c.first_row.left, c.first_row.top + down, c.first_row.right,
                                      c.first_row.bottom + down}))
          << "row " << k;
    }
    EXPECT_EQ(layout.changes_left, c.changes_left);
  }
}

// The About command is masked (10h to 1Fh), the help command is not (20h alone).
TEST(SysCommandRouting, AboutHelpOrTheDefault) {
  DialogBench b;
  b.Start(437);
  b.controls.help_found = true;
  std::vector<unsigned> commands = {kScClose, 0xF012};  // close box, move by the caption
  for (unsigned command = 0x0F; command <= 0x30; ++command) commands.push_back(command);
  for (unsigned command : commands) {
    b.controls.calls.clear();
    b.dialog.OnSysCommand(command);
    const std::string expected = command >= 0x10 && command <= 0x1F ? "About Varden Version 1.08"
                                 : command == 0x20 ? "Help .\\kelvane.chm::/Varden.htm"
                                                   : "Default " + N(command);
    EXPECT_EQ(b.controls.calls, Calls{expected}) << std::hex << command;
  }
}

TEST(RegionDialog, HelpFoundOrMissingAndTheAboutBoxInEachLanguage) {
  struct Case {
    unsigned code_page;
    bool found;
    Calls calls;
  };
  const std::string about = "About Varden Version 1.08";
  const Case cases[] = {
      {437, true, {"Help .\\kelvane.chm::/Varden.htm", about}},
      {437,
       false,
       {"Help .\\kelvane.chm::/Varden.htm", "MessageOk Help file is not found.|Error", about}},
      {932,
       false,
       {"Help .\\kelvanej.chm::/Varden.htm", "MessageOk ヘルプファイルが見つかりません。|Error",
        about}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code_page);
    DialogBench b;
    b.Start(c.code_page);
    b.controls.help_found = c.found;
    b.dialog.OnSysCommand(IDM_HELP);
    b.dialog.OnSysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(b.controls.calls, c.calls);
    EXPECT_EQ(b.dialog.MessageLog(), "");
  }
}

TEST(RegionDialog, ExitActsAsTheCloseBoxAndTheKeysEndTheDialog) {
  DialogBench b;
  b.Start(437);
  b.dialog.OnCommand(IDC_EXIT);
  b.controls.texts[IDC_LOG] = "typed\r\n";
  b.dialog.OnOk();  // takes the log control's text back into the message log first
  b.dialog.OnCancel();
  EXPECT_EQ(b.controls.calls, (Calls{"Default 61536", "End 1", "End 2"}));
  EXPECT_EQ(b.dialog.MessageLog(), "typed\r\n");
}

TEST(RegionDialog, AppendLogPutsTheCaretAtTheEndAndTheOtherOnlyReplacesTheText) {
  DialogBench b;
  b.Start(437);
  b.dialog.AppendLog("ab\r\n");
  b.dialog.AppendLog("地域");  // characters, not bytes, count for the caret
  b.dialog.AppendLogNoScroll("c");
  EXPECT_EQ(b.controls.calls,
            (Calls{"Text 1006 ab\r\n", "EditSel 4 -1", "ScrollCaret", "Text 1006 ab\r\n地域",
                   "EditSel 6 -1", "ScrollCaret", "Text 1006 ab\r\n地域c"}));
  EXPECT_EQ(b.dialog.MessageLog(), "ab\r\n地域c");
}

TEST(RegionDialog, CommandsWithoutADriveLogTheMissingSelection) {
  DialogBench b;
  b.Start(437);
  b.dialog.OnCommand(IDC_GET_REGION);
  b.dialog.OnCommand(IDC_SET_REGION);  // and its closing report
  EXPECT_EQ(b.dialog.MessageLog(), test_support::Repeat("Don't select the valid item.", 3));
  EXPECT_EQ(b.dialog.DriveLetter(-1), 0);
  EXPECT_EQ(b.dialog.DriveLetter(256), 0);
}

TEST(MainDialogTemplate, TemplateOrderTabStopsAndGroups) {
  const DialogTemplate& main = MainDialogTemplate();
  std::vector<int> ids, stops, groups;
  for (const ControlTemplate& control : main.controls) {
    ids.push_back(control.id);
    if (control.TabStop()) stops.push_back(control.id);
    if (control.GroupStart()) groups.push_back(control.id);
  }
  EXPECT_EQ(ids,
            (std::vector<int>{1000, 1001, 1003, 1002, 1008, 1009, 1010, 1011, 1012, 1005, 1006,
                              1007, 1013, 1014, 1015, 1016, 1017, 1018, 1019, 1020, 1021, 1022}));
  EXPECT_EQ(stops, (std::vector<int>{IDC_DRIVE_LIST, IDC_LOG, 1007, 1013, 1014, 1015, 1016, 1017,
                                     IDC_SET_REGION, IDC_EXIT, IDC_GET_REGION}));
  EXPECT_EQ(groups, (std::vector<int>{IDC_TITLE, IDC_CHANGES_LEFT}));
  for (int id : kRegionButton) EXPECT_TRUE(main.Find(id)->Disabled()) << id;
  for (int id : kDiscRegionBox) EXPECT_TRUE(main.Find(id)->Disabled()) << id;
  for (const DialogTemplate* dialog : {&main, &ProgressTemplate(), &AboutBoxTemplate()}) {
    EXPECT_EQ(dialog->style, 0x80C800C0u) << dialog->id;
    EXPECT_EQ(FindDialogTemplate(dialog->id), dialog);
  }
}

}  // namespace
}  // namespace varden::ui
