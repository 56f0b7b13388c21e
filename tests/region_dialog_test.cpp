// The main dialog's logic on fake controls that record every call: the start-up order with the
// drive scan, the region-button layout, the system-menu commands, the About box, the help topic,
// the dialog keys, the log's caret and the dialog templates.
#include "ui/dialog/region_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data_rows.h"
#include "drive/scsi_codes.h"
#include "recording_view.h"
#include "text/catalogue.h"
#include "ui/resources/resource.h"
#include "ui/resources/templates.h"

namespace varden::ui {
namespace {

using test_support::DiscOf;
using test_support::Drive;
using Calls = std::vector<std::string>;
using std::string;
using sv = std::string_view;
string N(long n) {
  return std::to_string(n);
}

// Records the calls that change what the user sees and keeps the state a toolkit would keep.
class FakeControls : public DialogControls {
 public:
  Calls calls;
  std::map<int, string> texts;
  int selection = -1;
  bool has_system_menu = true, help_found = false;

  void Enable(int id, bool on) override { Log("Enable", id, on); }
  void SetCheck(int id, bool on) override { checks[id] = Record(on, "Check", id, on); }
  bool GetCheck(int id) override { return checks[id]; }
  void Highlight(int id) override { Log("Highlight", id); }
  void SetText(int id, sv t) override { texts[id] = Record(string(t), "Text", id, t); }
  string GetText(int id) override { return texts[id]; }
  void ComboInsert(int, int i, sv t) override { Log("Insert", i, t); }
  void ComboSelect(int, int index) override { selection = Record(index, "Select", index); }
  int ComboSelection(int) override { return selection; }
  void SetEditSelection(int, int start, int end) override { Log("EditSel", start, end); }
  void ScrollCaret(int) override { Log("ScrollCaret"); }
  Rect LayoutRect(int) override { return {}; }
  void MoveControl(int id, const Rect&, bool repaint) override { Log("Move", id, repaint); }
  void SetDialogIcon() override { Log("Icon"); }
  bool HasSystemMenu() override { return has_system_menu; }
  void AppendSystemMenuSeparator() override { Log("MenuSeparator"); }
  void AppendSystemMenuItem(unsigned c, sv t) override { Log("MenuItem", c, t); }
  void DefaultSysCommand(unsigned command) override { Log("Default", command); }
  void EndDialog(int result) override { Log("End", result); }
  bool MessageOkCancelExclamation(sv, sv) override { return true; }
  void MessageOk(sv t, sv c) override { Log("MessageOk", string(t) + "|" + string(c)); }
  void ProgressOpen(int high, int step) override { Log("ProgressOpen", high, step); }
  void ProgressStep() override { Log("ProgressStep"); }
  void ProgressText(sv text) override { Log("ProgressText", text); }
  void ProgressClose() override { Log("ProgressClose"); }
  void RunAboutBox(sv version) override { Log("About", version); }
  bool ShowHelpTopic(sv path) override { return Record(help_found, "Help", path); }

 private:
  // Records "<call> <arg> <arg>..." and answers `value`.
  template <class... A>
  void Log(const char* call, const A&... args) {
    std::ostringstream line;
    line << call;
    ((line << ' ' << args), ...);
    calls.push_back(line.str());
  }
  template <class T, class... A>
  T Record(T value, const char* call, const A&... args) {
    Log(call, args...);
    return value;
  }
  std::map<int, bool> checks;
};

// A dialog over emulated drives.
struct DialogBench {
  // Starts the dialog up without drives and forgets the start-up's calls.
  void Start(unsigned code_page) {
    dialog.OnInitDialog(code_page);
    controls.calls.clear();
  }
  test_support::RegionBench bench;
  FakeControls controls;
  RegionDialog dialog{controls, bench.sleeper};
};

// A drive answering INQUIRY with vendor (8) and product (16); "!" makes its INQUIRY fail.
emulated::DriveState Probe(char letter, const string& identification) {
  emulated::DriveState drive;
  drive.letter = letter;
  drive.vendor = identification.substr(0, 8);
  drive.product = identification.substr(std::min<std::size_t>(8, identification.size()));
  if (identification == "!") drive.faults.call = emulated::CallFault::kUntouched;
  return drive;
}
constexpr const char* kSd816 = "MERIDAX DVD-ROM SD-816  ";

// Without drives or system menu at a code page other than Japanese's, with drives of the maker
// and of others, and in Japanese, where the labels are replaced after the layout and before
// the report. The scan probes D: to Z: once each, one step a letter, and lists only the
// maker's DVD drives, in letter order, each after its step; a drive left out leaves its slot
// to the next.
TEST(RegionDialog, StartsUpInTheStartUpOrder) {
  const emulated::DriveState kE = Drive(0xFF, 5, DiscOf(kCpstNone));
  const string kEntry = "E: MERIDAX DVD-ROM         ";
  const struct {
    const char* name;
    unsigned code_page;
    bool menu;
    std::vector<emulated::DriveState> drives;
    std::vector<string> listed;
    const char* log = nullptr;  // the first report's, when checked
  } cases[] = {
      {"no drive, no system menu", 850, false, {}, {}, ""},
      {"two drives",
       437,
       true,
       {kE, Drive(0xFF, 5, DiscOf(kCpstNone), 'G')},
       {kEntry, "G: MERIDAX DVD-ROM         "},
       "Drive has no region.\r\nNo copyright protrction disc.\r\nAll region is allowed.\r\n"},
      {"Japanese", text::kJapaneseCodePage, true, {kE}, {kEntry}},
      {"lower-case vendor word", 437, true, {Probe('E', "meridax DVD-ROM SD-816  ")}, {}},
      {"lower-case product prefix", 437, true, {Probe('E', "MERIDAX dvd-ROM SD-816  ")}, {}},
      {"maker but not a DVD", 437, true, {Probe('E', "MERIDAX CD-ROM CR-588   ")}, {}},
      {"leading space", 437, true, {Probe('E', " MERIDAX DVD-ROM SD-816 ")}, {}},
      {"A: to C: never probed; others and a failed INQUIRY leave their slot to the next",
       437,
       true,
       {Probe('A', kSd816), Probe('C', kSd816), Probe('D', "OTHERCO CD-RW 52X       "),
        Probe('E', kSd816), Probe('F', "OTHERCO DVD-ROM         "),
        Probe('G', "Meridax DVD-ROM SD-C2402"), Probe('H', "!"),
        Probe('K', "MERIDAX DVD-RAM SD-W1111"), Probe('Z', kSd816)},
       {"E: MERIDAX DVD-ROM SD-816  ", "G: Meridax DVD-ROM SD-C2402", "K: MERIDAX DVD-RAM SD-W1111",
        "Z: MERIDAX DVD-ROM SD-816  "}},
      {"a zero byte inside the identification",
       437,
       true,
       {Probe('E', string("MERIDAX DVD-R\0M SD-816  ", 24))},
       {"E: MERIDAX DVD-R"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DialogBench b;
    for (const emulated::DriveState& drive : c.drives) b.bench.drives.Add(drive);
    b.controls.has_system_menu = c.menu;
    EXPECT_TRUE(b.dialog.OnInitDialog(c.code_page));

    Calls expected = {"Text 1006 "};
    if (c.menu) {
      expected.insert(expected.end(),
                      {"MenuSeparator", "MenuItem 32 " + text::Text(text::Key::MENU_HELP),
                       "MenuSeparator", "MenuItem 16 " + text::Text(text::Key::MENU_ABOUT)});
    }
    expected.insert(expected.end(), {"Icon", "ProgressOpen 23 1"});
    std::size_t listed = 0;
    for (int n = 1; n <= kScanSteps; ++n) {
      expected.insert(expected.end(),
                      {"ProgressStep", "ProgressText Now checking device No." + N(n)});
      if (listed < c.listed.size() && c.listed[listed][0] == 'C' + n) {
        expected.push_back("Insert " + N(static_cast<long>(listed)) + " " + c.listed[listed]);
        ++listed;
      }
    }
    // Item 0 is selected after the last step and before the progress window goes; the layout
    // follows, then the labels in Japanese, in the dialog's order, then the first report.
    const bool drives = !c.listed.empty();
    if (drives) expected.push_back("Select 0");
    expected.push_back("ProgressClose");
    for (int id : kRegionButton) expected.push_back("Move " + N(id) + " 1");  // repainted
    expected.push_back("Move " + N(IDC_CHANGES_LEFT) + " 1");
    const bool japanese = c.code_page == text::kJapaneseCodePage;
    for (const text::LabelRow& row : text::JapaneseLabels()) {
      if (japanese) expected.push_back("Text " + N(row.control_id) + " " + string(row.text));
    }
    const Calls& seen = b.controls.calls;
    ASSERT_GE(seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const bool whole = expected[i].starts_with("Insert ");
      EXPECT_TRUE(whole ? seen[i] == expected[i] : seen[i].starts_with(expected[i])) << seen[i];
    }
    EXPECT_EQ(b.dialog.DriveCount(), static_cast<int>(c.listed.size()));
    for (std::size_t i = 0; i < c.listed.size(); ++i) {
      EXPECT_EQ(b.dialog.DriveLetter(static_cast<int>(i)), c.listed[i][0]);
    }
    if (drives && c.drives.back().letter == c.listed.back()[0]) {
      EXPECT_EQ(b.dialog.DriveLetter(static_cast<int>(c.listed.size())), 0) << "nothing skipped";
    }
    EXPECT_EQ(b.dialog.LastReportedIndex(), drives ? 0 : -1);
    EXPECT_EQ(seen.size() > expected.size(), drives) << "a report only with a drive";
    EXPECT_TRUE(!c.log || b.dialog.MessageLog() == c.log) << b.dialog.MessageLog();
    EXPECT_EQ(b.controls.texts.count(IDC_TITLE), 0u);  // the template's text stays
    EXPECT_EQ(b.bench.drives.OpenHandles(), 0) << "every opened drive is closed";
    string probed, present;
    for (const auto& command : b.bench.drives.Commands()) {
      if (command.cdb.at(0) == scsi::kOpInquiry) probed += command.letter;
    }
    for (const emulated::DriveState& drive : c.drives) {
      if (drive.letter >= 'D') present += drive.letter;
    }
    EXPECT_EQ(probed, present);
  }
}

// The cases of tests/data/dialog_cases.tsv.
TEST(RegionButtonLayout, Table) {
  for (const auto& row : test_support::DataRows("dialog_cases.tsv", "buttons")) {
    SCOPED_TRACE(row[1]);
    const RegionButtonLayout layout =
        LayOutRegionButtons(test_support::RectOf<Rect>(row[2]), test_support::RectOf<Rect>(row[3]),
                            test_support::RectOf<Rect>(row[4]));
    const Rect r = test_support::RectOf<Rect>(row[5]);
    for (int k = 0; k < 6; ++k) {
      const int down = k * std::stoi(row[6]);
      EXPECT_EQ(layout.rows[k], (Rect{r.left, r.top + down, r.right, r.bottom + down})) << k;
    }
    EXPECT_EQ(layout.changes_left, test_support::RectOf<Rect>(row[7]));
  }
}

// The About command is masked (10h to 1Fh), the help command is not (20h alone); the help cases
// of tests/data/dialog_cases.tsv; the About box's version line is the same in both languages.
TEST(SysCommandRouting, AboutHelpOrTheDefault) {
  std::vector<unsigned> commands = {kScClose, 0xF012};  // close box, move by the caption
  for (unsigned command = 0x0F; command <= 0x30; ++command) commands.push_back(command);
  for (const auto& row : test_support::DataRows("dialog_cases.tsv", "help")) {
    DialogBench b;
    b.Start(std::stoul(row[1]));
    b.controls.help_found = row[3] == "-";
    Calls help = {"Help " + row[2]};
    if (!b.controls.help_found) help.push_back("MessageOk " + row[3] + "|Error");
    for (unsigned command : commands) {
      b.controls.calls.clear();
      b.dialog.OnSysCommand(command);
      const Calls expected = command >= 0x10 && command <= 0x1F ? Calls{"About Varden Version 1.08"}
                             : command == 0x20                  ? help
                                                                : Calls{"Default " + N(command)};
      EXPECT_EQ(b.controls.calls, expected) << std::hex << command;
    }
    EXPECT_EQ(b.dialog.MessageLog(), "");
  }
}

// Exit acts as the close box; OK takes the log control's text back first; characters, not
// bytes, count for the caret; without a drive the commands log the missing selection.
TEST(RegionDialog, KeysCaretAndCommandsWithoutADrive) {
  DialogBench b;
  b.Start(437);
  b.dialog.OnCommand(IDC_EXIT);
  b.controls.texts[IDC_LOG] = "typed\r\n";
  b.dialog.OnOk();
  b.dialog.OnCancel();
  EXPECT_EQ(b.dialog.MessageLog(), "typed\r\n");
  b.dialog.AppendLog("地域");
  b.dialog.AppendLogNoScroll("c");
  EXPECT_EQ(b.controls.calls, (Calls{"Default 61536", "End 1", "End 2", "Text 1006 typed\r\n地域",
                                     "EditSel 9 -1", "ScrollCaret", "Text 1006 typed\r\n地域c"}));
  b.controls.texts[IDC_LOG] = "";
  b.dialog.OnOk();  // empties the message log
  b.dialog.OnCommand(IDC_GET_REGION);
  b.dialog.OnCommand(IDC_SET_REGION);  // and its closing report
  b.dialog.OnCommand(IDC_DRIVE_LIST);
  EXPECT_EQ(b.dialog.MessageLog(), test_support::Repeat("Don't select the valid item.", 4));
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
