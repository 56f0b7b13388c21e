// The main dialog's behaviour, without a toolkit: the start-up sequence, the routing of the
// user's commands to the region operations, the message log, the drive table, the region
// view operations, the region-button layout, the system-menu commands, the About box and the
// help topic. A toolkit builds the dialog's window from its template, implements
// DialogControls and forwards each event to the matching handler here.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "region/drive_scan.h"
#include "region/region_view.h"
#include "ui/dialog/dialog_controls.h"

namespace varden::ui {

// The help topic of each language, relative to the current directory.
inline constexpr std::string_view kHelpPathEnglish = ".\\kelvane.chm::/Varden.htm";
inline constexpr std::string_view kHelpPathJapanese = ".\\kelvanej.chm::/Varden.htm";

// The program's version as the About box shows it (1.08: the minor part with two digits),
// from the build's one version.
inline constexpr int kVersionMajor = VARDEN_VERSION_MAJOR;
inline constexpr int kVersionMinor = VARDEN_VERSION_MINOR;

// The region-button layout: where the six radio buttons and the changes label go.
struct RegionButtonLayout {
  std::array<Rect, 6> rows;  // IDC_REGION1 to IDC_REGION6
  Rect changes_left;         // IDC_CHANGES_LEFT
};

// Lays the radio buttons out in six rows of equal height inside the drive-region group box
// and puts the changes label 5 pixels below the sixth row. `group`, `changes_left` and
// `region1` are the rectangles of IDC_DRIVE_REGION_GROUP, IDC_CHANGES_LEFT and IDC_REGION1
// before anything moves. The row height divides as signed integers, truncating toward zero.
RegionButtonLayout LayOutRegionButtons(const Rect& group, const Rect& changes_left,
                                       const Rect& region1);

// Which handler a system command reaches.
enum class SysCommandRoute {
  kAbout,    // (command & FFF0h) == IDM_ABOUTBOX
  kHelp,     // command == IDM_HELP exactly
  kDefault,  // everything else: the platform's default processing
};
SysCommandRoute RouteSysCommand(unsigned command);

// The help path of the current language.
std::string_view HelpPath();

class RegionDialog : public RegionView, private ScanProgress {
 public:
  // `controls` and `sleeper` must outlive the dialog. LastReportedIndex starts at -1 and the
  // message log empty.
  RegionDialog(DialogControls& controls, Sleeper& sleeper);

  // Start-up, once, after the toolkit has built the window from IDD_MAIN and before it is
  // first shown. `code_page` is the platform's stand-in for the OEM code page (932 means
  // Japanese). Answers true: the platform sets the focus.
  bool OnInitDialog(unsigned code_page);

  // Commands of the dialog's controls.
  void OnGetRegion();             // BN_CLICKED on IDC_GET_REGION
  void OnSetRegion();             // BN_CLICKED on IDC_SET_REGION
  void OnDriveSelectionChange();  // CBN_SELCHANGE on IDC_DRIVE_LIST
  void OnExit();                  // BN_CLICKED on IDC_EXIT: acts as the close box
  // Routes a control command by id (BN_CLICKED of the push buttons, CBN_SELCHANGE of the
  // drive list); other ids do nothing.
  void OnCommand(int id);

  // Every system command the dialog receives (system menu, close box).
  void OnSysCommand(unsigned command);
  // The dialog keys: Enter while no push button has the focus (OK handling copies the log
  // control's text back into the message log first) and Escape.
  void OnOk();
  void OnCancel();

  // The About box and the help topic (also reached from the toolkit's F1).
  void ShowAboutBox();
  void ShowHelp();

  const std::string& MessageLog() const { return message_log_; }
  const DriveTable& Drives() const { return drive_table_; }
  int DriveCount() const { return drive_count_; }

  // RegionView
  void EnableControl(int id, bool on) override;
  void SetCheck(int id, bool on) override;
  void SetHighlight(int id) override;
  bool IsChecked(int id) override;
  void SetControlText(int id, std::string_view text) override;
  void AppendLog(std::string_view text) override;
  void AppendLogNoScroll(std::string_view text) override;
  int SelectedDriveIndex() override;
  bool AskOkCancel(std::string_view text, std::string_view caption) override;
  void AddDrive(int index, std::string_view text) override;
  void SelectDrive(int index) override;
  char DriveLetter(int index) override;
  int LastReportedIndex() const override { return last_reported_index_; }
  void SetLastReportedIndex(int index) override { last_reported_index_ = index; }

 private:
  // ScanProgress: the progress window's step n.
  void Step(int n) override;

  void ExtendSystemMenu();
  void LayOutRegionButtons();
  void ReplaceLabels();

  DialogControls& controls_;
  Sleeper& sleeper_;
  int last_reported_index_ = -1;
  DriveTable drive_table_{};
  int drive_count_ = 0;
  std::string message_log_;
};

}  // namespace varden::ui
