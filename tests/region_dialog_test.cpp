// The main dialog's logic without a toolkit, on a fake set of controls that records every
// call: the start-up order, the region-button layout, the system-menu commands, the About box,
// the help topic, the dialog keys and the log's caret.
#include "ui/dialog/region_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "drive/drive_access.h"
#include "emulated/emulated_drive.h"
#include "recording_view.h"
#include "text/catalogue.h"
#include "ui/resources/resource.h"
#include "ui/resources/templates.h"

namespace varden::ui {
namespace {

using test_support::RecordingSleeper;

std::string Str(std::string_view text) {
  return std::string(text);
}

// Records the calls that change what the user sees, one line each, and keeps the state a
// toolkit would keep.
class FakeControls : public DialogControls {
 public:
  std::vector<std::string> calls;
  std::map<int, Rect> rects;
  std::map<int, std::string> texts;
  std::vector<std::string> list;
  int selection = -1;
  bool has_system_menu = true;
  bool help_found = false;
  bool answer_ok = true;

  void Enable(int id, bool on) override { Log("Enable", id, on ? "on" : "off"); }
  void SetCheck(int id, bool on) override {
    checks[id] = on;
    Log("Check", id, on ? "on" : "off");
  }
  bool GetCheck(int id) override { return checks[id]; }
  void Highlight(int id) override { Log("Highlight", id, ""); }
  void SetText(int id, std::string_view text) override {
    texts[id] = Str(text);
    Log("Text", id, text);
  }
  std::string GetText(int id) override { return texts[id]; }
  void ComboInsert(int, int index, std::string_view text) override {
    list.insert(list.begin() + index, Str(text));
    calls.push_back("Insert " + std::to_string(index) + " " + Str(text));
  }
  void ComboSelect(int, int index) override {
    selection = index;
    calls.push_back("Select " + std::to_string(index));
  }
  int ComboSelection(int) override { return selection; }
  void SetEditSelection(int, int start, int end) override {
    calls.push_back("EditSel " + std::to_string(start) + " " + std::to_string(end));
  }
  void ScrollCaret(int) override { calls.push_back("ScrollCaret"); }
  Rect LayoutRect(int id) override { return rects[id]; }
  void MoveControl(int id, const Rect& r, bool repaint) override {
    Log("Move", id,
        std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
            std::to_string(r.bottom) + (repaint ? " repaint" : ""));
  }
  void SetDialogIcon() override { calls.push_back("Icon"); }
  bool HasSystemMenu() override { return has_system_menu; }
  void AppendSystemMenuSeparator() override { calls.push_back("MenuSeparator"); }
  void AppendSystemMenuItem(unsigned command, std::string_view text) override {
    calls.push_back("MenuItem " + std::to_string(command) + " " + Str(text));
  }
  void DefaultSysCommand(unsigned command) override {
    calls.push_back("Default " + std::to_string(command));
  }
  void EndDialog(int result) override { calls.push_back("End " + std::to_string(result)); }
  bool MessageOkCancelExclamation(std::string_view text, std::string_view caption) override {
    calls.push_back("AskOkCancel " + Str(text) + "|" + Str(caption));
    return answer_ok;
  }
  void MessageOk(std::string_view text, std::string_view caption) override {
    calls.push_back("MessageOk " + Str(text) + "|" + Str(caption));
  }
  void ProgressOpen(int high, int step) override {
    calls.push_back("ProgressOpen " + std::to_string(high) + " " + std::to_string(step));
  }
  void ProgressStep() override { calls.push_back("ProgressStep"); }
  void ProgressText(std::string_view text) override {
    calls.push_back("ProgressText " + Str(text));
  }
  void ProgressClose() override { calls.push_back("ProgressClose"); }
  void RunAboutBox(std::string_view version) override { calls.push_back("About " + Str(version)); }
  bool ShowHelpTopic(std::string_view path) override {
    calls.push_back("Help " + Str(path));
    return help_found;
  }

  // The index of the first call that starts with `prefix`, or -1.
  int Find(std::string_view prefix) const {
    for (std::size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].starts_with(prefix)) return static_cast<int>(i);
    }
    return -1;
  }
  int Count(std::string_view prefix) const {
    return static_cast<int>(std::count_if(
        calls.begin(), calls.end(), [&](const std::string& c) { return c.starts_with(prefix); }));
  }

 private:
  void Log(const char* what, int id, std::string_view detail) {
    calls.push_back(std::string(what) + " " + std::to_string(id) + " " + Str(detail));
  }
  std::map<int, bool> checks;
};

// The three rectangles of the layout as a 96-dpi dialog at the screen's origin has them.
void SetTemplateRects(FakeControls& controls) {
  controls.rects[IDC_DRIVE_REGION_GROUP] = {12, 111, 312, 294};
  controls.rects[IDC_CHANGES_LEFT] = {31, 257, 299, 280};
  controls.rects[IDC_REGION1] = {33, 132, 179, 148};
}

class RegionDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDriveAccess();
    text::ResetLanguage();
    SetDeviceSeam(&drives);
    AttachTransferBuffer(buffer.data());
    SetTemplateRects(controls);
  }
  void TearDown() override {
    ResetDriveAccess();
    text::ResetLanguage();
  }

  static emulated::DriveState Drive(char letter) {
    emulated::DriveState drive;
    drive.letter = letter;
    drive.disc.present = true;
    return drive;
  }

  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kTransferBufferSize);
  emulated::EmulatedDrives drives;
  FakeControls controls;
  RecordingSleeper sleeper;
  RegionDialog dialog{controls, sleeper};
};

TEST_F(RegionDialogTest, StartsWithNoDriveInTheDesignedOrder) {
  EXPECT_EQ(dialog.LastReportedIndex(), -1);
  EXPECT_TRUE(dialog.OnInitDialog(437));

  std::vector<std::string> expected = {
      "Text 1006 ",
      "MenuSeparator",
      "MenuItem 32 &Help (Varden)",
      "MenuSeparator",
      "MenuItem 16 &About Varden...",
      "Icon",
      "ProgressOpen 23 1",
  };
  for (int n = 1; n <= 23; ++n) {
    expected.push_back("ProgressStep");
    expected.push_back("ProgressText Now checking device No." + std::to_string(n));
  }
  expected.push_back("ProgressClose");
  for (int id : {IDC_REGION1, IDC_REGION2, IDC_REGION3, IDC_REGION4, IDC_REGION5, IDC_REGION6,
                 IDC_CHANGES_LEFT}) {
    expected.push_back("Move " + std::to_string(id));
  }
  ASSERT_EQ(controls.calls.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(controls.calls[i].starts_with(expected[i])) << i << ": " << controls.calls[i];
  }
  EXPECT_TRUE(dialog.MessageLog().empty());
  EXPECT_EQ(dialog.DriveCount(), 0);
  EXPECT_EQ(controls.selection, -1);
}

TEST_F(RegionDialogTest, StartsWithDrivesListedSelectedThenReported) {
  drives.Add(Drive('E'));
  drives.Add(Drive('G'));
  dialog.OnInitDialog(437);

  ASSERT_EQ(controls.list.size(), 2u);
  EXPECT_EQ(controls.list[0].substr(0, 3), "E: ");
  EXPECT_EQ(controls.list[1].substr(0, 3), "G: ");
  EXPECT_EQ(dialog.DriveLetter(1), 'G');
  // The list is filled during the scan, item 0 selected after its last step and before the
  // progress window goes; the layout follows, then the first report.
  const int inserted = controls.Find("Insert 1 G: ");
  const int last_step = controls.Find("ProgressText Now checking device No.23");
  const int select = controls.Find("Select 0");
  const int close = controls.Find("ProgressClose");
  const int layout = controls.Find("Move ");
  const int report = controls.Find("EditSel ");
  EXPECT_LT(inserted, last_step);
  EXPECT_LT(last_step, select);
  EXPECT_LT(select, close);
  EXPECT_LT(close, layout);
  EXPECT_LT(layout, report);
  EXPECT_EQ(controls.Count("Select "), 1);
  EXPECT_EQ(dialog.LastReportedIndex(), 0);
  EXPECT_NE(dialog.MessageLog().find("Drive has no region.\r\n"), std::string::npos);
}

TEST_F(RegionDialogTest, JapaneseModeReplacesTheLabelsAfterTheLayoutAndBeforeTheReport) {
  drives.Add(Drive('E'));
  dialog.OnInitDialog(text::kJapaneseCodePage);

  EXPECT_GE(controls.Find("MenuItem 32 ヘルプ(&H)"), 0);
  EXPECT_GE(controls.Find("MenuItem 16 Vardenについて(&A)"), 0);
  // The progress text keeps its one form.
  EXPECT_GE(controls.Find("ProgressText Now checking device No.1"), 0);
  const auto labels = text::JapaneseLabels();
  ASSERT_EQ(labels.size(), 17u);
  int previous = controls.Find("Move " + std::to_string(IDC_CHANGES_LEFT));
  for (const text::LabelRow& row : labels) {
    const int at = controls.Find("Text " + std::to_string(row.control_id) + " " + Str(row.text));
    EXPECT_GT(at, previous) << row.control_id;
    previous = at;
  }
  EXPECT_LT(previous, controls.Find("EditSel "));
  EXPECT_EQ(controls.texts[IDC_EXIT], "終了");
  EXPECT_EQ(controls.texts[IDC_TITLE], "");  // never touched: the template's text stays
}

TEST_F(RegionDialogTest, EnglishModeKeepsTheTemplateLabels) {
  dialog.OnInitDialog(850);
  for (const text::LabelRow& row : text::JapaneseLabels()) {
    EXPECT_EQ(controls.texts.count(row.control_id), 0u) << row.control_id;
  }
}

TEST_F(RegionDialogTest, NoSystemMenuMeansNoItems) {
  controls.has_system_menu = false;
  dialog.OnInitDialog(437);
  EXPECT_EQ(controls.Count("Menu"), 0);
}

TEST(RegionButtonLayout, Table) {
  struct Case {
    const char* name;
    Rect group, label, radio;
    int row_height;
  };
  const Case cases[] = {
      // 96 dpi, 13-pixel font: (183 - 23 - 25) / 6 = 22 rest 3.
      {"template at 96 dpi", {12, 111, 312, 294}, {31, 257, 299, 280}, {33, 132, 179, 148}, 22},
      {"exact division", {0, 0, 100, 91}, {0, 0, 10, 6}, {0, 0, 10, 10}, 10},
      // (20 - 10 - 25) = -15: -15 / 6 truncates toward zero to -2, not -3.
      {"negative height truncates toward zero", {5, 50, 45, 70}, {0, 0, 10, 10}, {0, 0, 9, 12}, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RegionButtonLayout layout = LayOutRegionButtons(c.group, c.label, c.radio);
    const int x = c.group.left + 10;
    const int w = c.group.Width() - 15;
    for (int k = 0; k < 6; ++k) {
      EXPECT_EQ(layout.rows[k], (Rect{x, c.group.top + k * c.row_height, x + w,
                                      c.group.top + k * c.row_height + c.row_height}))
          << "row " << k;
    }
    const int label_top = c.group.top + 6 * c.row_height + 5;
    EXPECT_EQ(layout.changes_left, (Rect{x, label_top, x + w, label_top + c.radio.Height()}));
  }
}

TEST(SysCommandRouting, Table) {
  for (unsigned command = 0x10; command <= 0x2F; ++command) {
    SysCommandRoute expected = SysCommandRoute::kDefault;
    if (command <= 0x1F) expected = SysCommandRoute::kAbout;
    if (command == 0x20) expected = SysCommandRoute::kHelp;
    EXPECT_EQ(RouteSysCommand(command), expected) << std::hex << command;
  }
  EXPECT_EQ(RouteSysCommand(0x0F), SysCommandRoute::kDefault);
  EXPECT_EQ(RouteSysCommand(kScClose), SysCommandRoute::kDefault);
  EXPECT_EQ(RouteSysCommand(0xF012), SysCommandRoute::kDefault);  // move by the caption
}

TEST_F(RegionDialogTest, SystemCommandsReachAboutHelpOrDefault) {
  struct Case {
    unsigned command;
    std::string expected;
  };
  const Case cases[] = {
      {0x10, "About Varden Version 1.08"},
      {0x1F, "About Varden Version 1.08"},
      {0x20, "Help .\\kelvane.chm::/Varden.htm"},
      {0x21, "Default 33"},
      {0x2F, "Default 47"},
      {kScClose, "Default 61536"},
  };
  dialog.OnInitDialog(437);
  for (const Case& c : cases) {
    controls.calls.clear();
    controls.help_found = true;
    dialog.OnSysCommand(c.command);
    ASSERT_EQ(controls.calls.size(), 1u) << c.command;
    EXPECT_EQ(controls.calls[0], c.expected);
  }
}

TEST_F(RegionDialogTest, MissingHelpShowsTheErrorBoxInTheRunsLanguageAndLogsNothing) {
  struct Case {
    unsigned code_page;
    std::string help, box;
  };
  const Case cases[] = {
      {437, "Help .\\kelvane.chm::/Varden.htm", "MessageOk Help file is not found.|Error"},
      {932, "Help .\\kelvanej.chm::/Varden.htm",
       "MessageOk ヘルプファイルが見つかりません。|Error"},
  };
  for (const Case& c : cases) {
    FakeControls fresh;
    SetTemplateRects(fresh);
    RegionDialog japanese_or_not(fresh, sleeper);
    japanese_or_not.OnInitDialog(c.code_page);
    fresh.calls.clear();
    japanese_or_not.OnSysCommand(IDM_HELP);
    EXPECT_EQ(fresh.calls, (std::vector<std::string>{c.help, c.box}));
    EXPECT_TRUE(japanese_or_not.MessageLog().empty());
  }
}

TEST_F(RegionDialogTest, AboutBoxShowsTheSameVersionInJapanese) {
  dialog.OnInitDialog(932);
  controls.calls.clear();
  dialog.OnSysCommand(IDM_ABOUTBOX);
  EXPECT_EQ(controls.calls, std::vector<std::string>{"About Varden Version 1.08"});
}

TEST_F(RegionDialogTest, ExitActsAsTheCloseBoxAndTheKeysEndTheDialog) {
  dialog.OnInitDialog(437);
  controls.calls.clear();
  dialog.OnCommand(IDC_EXIT);
  EXPECT_EQ(controls.calls, std::vector<std::string>{"Default 61536"});

  // Enter takes the log control's text back into the message log before it ends.
  controls.calls.clear();
  controls.texts[IDC_LOG] = "typed\r\n";
  dialog.OnOk();
  EXPECT_EQ(controls.calls, std::vector<std::string>{"End 1"});
  EXPECT_EQ(dialog.MessageLog(), "typed\r\n");

  controls.calls.clear();
  dialog.OnCancel();
  EXPECT_EQ(controls.calls, std::vector<std::string>{"End 2"});
}

TEST_F(RegionDialogTest, AppendLogPutsTheCaretAtTheEndAndTheOtherOnlyReplacesTheText) {
  dialog.OnInitDialog(437);
  controls.calls.clear();
  dialog.AppendLog("ab\r\n");
  dialog.AppendLog("地域");  // characters, not bytes, count for the caret
  dialog.AppendLogNoScroll("c");
  EXPECT_EQ(controls.calls,
            (std::vector<std::string>{"Text 1006 ab\r\n", "EditSel 4 -1", "ScrollCaret",
                                      "Text 1006 ab\r\n地域", "EditSel 6 -1", "ScrollCaret",
                                      "Text 1006 ab\r\n地域c"}));
  EXPECT_EQ(dialog.MessageLog(), "ab\r\n地域c");
}

TEST_F(RegionDialogTest, CommandsWithoutADriveLogTheMissingSelection) {
  dialog.OnInitDialog(437);
  dialog.OnCommand(IDC_GET_REGION);
  EXPECT_EQ(dialog.MessageLog(), "Don't select the valid item.");
  dialog.OnCommand(IDC_SET_REGION);
  EXPECT_EQ(dialog.MessageLog(),
            "Don't select the valid item.Don't select the valid item.Don't select the valid item.");
  EXPECT_EQ(dialog.DriveLetter(-1), 0);
  EXPECT_EQ(dialog.DriveLetter(256), 0);
}

TEST_F(RegionDialogTest, SelectionChangeReportsTheNewDrive) {
  drives.Add(Drive('E'));
  emulated::DriveState second = Drive('F');
  second.region_mask = 0xFD;  // region 2
  second.user_changes = 4;
  drives.Add(second);
  dialog.OnInitDialog(437);
  controls.selection = 1;
  dialog.OnCommand(IDC_DRIVE_LIST);
  EXPECT_EQ(dialog.LastReportedIndex(), 1);
  EXPECT_NE(dialog.MessageLog().find("Drive's region is 2.\r\n"), std::string::npos);
  EXPECT_GE(controls.Find("Highlight 1008"), 0);
}

}  // namespace
}  // namespace varden::ui

namespace varden::ui {
namespace {

TEST(MainDialogTemplate, OrderTabStopsAndGroupsAsDesigned) {
  const std::vector<int> order = {1000, 1001, 1003, 1002, 1008, 1009, 1010, 1011, 1012, 1005, 1006,
                                  1007, 1013, 1014, 1015, 1016, 1017, 1018, 1019, 1020, 1021, 1022};
  const std::vector<int> tab_stops = {IDC_DRIVE_LIST, IDC_LOG,  1007,          1013,
                                      1014,           1015,     1016,          1017,
                                      IDC_SET_REGION, IDC_EXIT, IDC_GET_REGION};
  const DialogTemplate& main = MainDialogTemplate();
  std::vector<int> ids, stops, groups;
  for (const ControlTemplate& control : main.controls) {
    ids.push_back(control.id);
    if (control.TabStop()) stops.push_back(control.id);
    if (control.GroupStart()) groups.push_back(control.id);
  }
  EXPECT_EQ(ids, order);
  EXPECT_EQ(stops, tab_stops);
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
