#include "ui/dialog/region_dialog.h"

#include "region/region_operations.h"
#include "text/catalogue.h"
#include "ui/resources/resource.h"

namespace varden::ui {
namespace {

using text::Key;

// The layout's fixed distances, in pixels.
constexpr int kRowIndent = 10;          // rows start this far right of the group box's edge
constexpr int kRowWidthShortfall = 15;  // and end this much short of its width
constexpr int kHeightReserve = 25;      // group box height kept free besides the label
constexpr int kLabelGap = 5;            // between the sixth row and the changes label
constexpr int kRows = 6;

// Masks the low four bits of a system command, which the platform uses internally.
constexpr unsigned kSysCommandMask = 0xFFF0;

// Characters of a UTF-8 text (bytes that do not continue a sequence).
int CharacterCount(std::string_view text) {
  int count = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace

RegionButtonLayout LayOutRegionButtons(const Rect& group, const Rect& changes_left,
                                       const Rect& region1) {
  const int x = group.left + kRowIndent;
  const int w = group.Width() - kRowWidthShortfall;
  // Signed division truncating toward zero, as C++ divides ints.
  const int h = (group.Height() - changes_left.Height() - kHeightReserve) / kRows;
  RegionButtonLayout layout;
  for (int k = 0; k < kRows; ++k) {
    const int top = group.top + k * h;
    layout.rows[k] = Rect{x, top, x + w, top + h};
  }
  const int label_top = group.top + kRows * h + kLabelGap;
  layout.changes_left = Rect{x, label_top, x + w, label_top + region1.Height()};
  return layout;
}

SysCommandRoute RouteSysCommand(unsigned command) {
  if ((command & kSysCommandMask) == IDM_ABOUTBOX) return SysCommandRoute::kAbout;
  if (command == IDM_HELP) return SysCommandRoute::kHelp;
  return SysCommandRoute::kDefault;
}

std::string_view HelpPath() {
  return text::JapaneseMode() ? kHelpPathJapanese : kHelpPathEnglish;
}

RegionDialog::RegionDialog(DialogControls& controls, Sleeper& sleeper)
    : controls_(controls), sleeper_(sleeper) {}

bool RegionDialog::OnInitDialog(unsigned code_page) {
  // The framework's initialisation hands the (empty) log to its control.
  controls_.SetText(IDC_LOG, message_log_);
  text::DecideLanguage(code_page);
  ExtendSystemMenu();
  controls_.SetDialogIcon();

  controls_.ProgressOpen(kScanSteps, 1);
  drive_table_ = DriveTable{};
  drive_count_ = ScanDrives(drive_table_, this, this);
  // Selecting from the program raises no selection change, so no report runs here.
  if (drive_count_ > 0) SelectDrive(0);
  controls_.ProgressClose();

  LayOutRegionButtons();
  if (text::JapaneseMode()) ReplaceLabels();
  if (drive_count_ > 0) ReportRegion(*this);
  return true;
}

void RegionDialog::Step(int n) {
  controls_.ProgressStep();
  controls_.ProgressText(text::Format(Key::FMT_CHECKING_DEVICE, n));
}

void RegionDialog::ExtendSystemMenu() {
  if (!controls_.HasSystemMenu()) return;
  const std::string about = text::Text(Key::MENU_ABOUT);
  const std::string help = text::Text(Key::MENU_HELP);
  if (about.empty() || help.empty()) return;
  controls_.AppendSystemMenuSeparator();
  controls_.AppendSystemMenuItem(IDM_HELP, help);
  controls_.AppendSystemMenuSeparator();
  controls_.AppendSystemMenuItem(IDM_ABOUTBOX, about);
}

void RegionDialog::LayOutRegionButtons() {
  const RegionButtonLayout layout = ui::LayOutRegionButtons(
      controls_.LayoutRect(IDC_DRIVE_REGION_GROUP), controls_.LayoutRect(IDC_CHANGES_LEFT),
      controls_.LayoutRect(IDC_REGION1));
  for (int k = 0; k < kRows; ++k) controls_.MoveControl(kRegionButton[k], layout.rows[k], true);
  controls_.MoveControl(IDC_CHANGES_LEFT, layout.changes_left, true);
}

void RegionDialog::ReplaceLabels() {
  for (const text::LabelRow& row : text::JapaneseLabels()) {
    controls_.SetText(row.control_id, row.text);
  }
}

void RegionDialog::OnGetRegion() {
  ReportRegion(*this);
}
void RegionDialog::OnSetRegion() {
  ChangeRegion(*this, sleeper_);
}
void RegionDialog::OnDriveSelectionChange() {
  ReportRegion(*this);
}
void RegionDialog::OnExit() {
  OnSysCommand(kScClose);
}

void RegionDialog::OnCommand(int id) {
  switch (id) {
    case IDC_GET_REGION:
      OnGetRegion();
      break;
    case IDC_SET_REGION:
      OnSetRegion();
      break;
    case IDC_DRIVE_LIST:
      OnDriveSelectionChange();
      break;
    case IDC_EXIT:
      OnExit();
      break;
    default:
      break;
  }
}

void RegionDialog::OnSysCommand(unsigned command) {
  switch (RouteSysCommand(command)) {
    case SysCommandRoute::kAbout:
      ShowAboutBox();
      break;
    case SysCommandRoute::kHelp:
      ShowHelp();
      break;
    case SysCommandRoute::kDefault:
      controls_.DefaultSysCommand(command);
      break;
  }
}

void RegionDialog::OnOk() {
  // The OK handling takes the log control's text back before the dialog ends.
  message_log_ = controls_.GetText(IDC_LOG);
  controls_.EndDialog(kIdOk);
}

void RegionDialog::OnCancel() {
  controls_.EndDialog(kIdCancel);
}

void RegionDialog::ShowAboutBox() {
  controls_.RunAboutBox(text::Format(Key::FMT_VERSION, kVersionMajor, kVersionMinor));
}

void RegionDialog::ShowHelp() {
  if (controls_.ShowHelpTopic(HelpPath())) return;
  controls_.MessageOk(text::Text(Key::MSG_HELP_NOT_FOUND), text::Text(Key::CAPTION_ERROR));
}

void RegionDialog::EnableControl(int id, bool on) {
  controls_.Enable(id, on);
}
void RegionDialog::SetCheck(int id, bool on) {
  controls_.SetCheck(id, on);
}
void RegionDialog::SetHighlight(int id) {
  controls_.Highlight(id);
}
bool RegionDialog::IsChecked(int id) {
  return controls_.GetCheck(id);
}
void RegionDialog::SetControlText(int id, std::string_view text) {
  controls_.SetText(id, text);
}

void RegionDialog::AppendLog(std::string_view text) {
  message_log_.append(text);
  controls_.SetText(IDC_LOG, message_log_);
  controls_.SetEditSelection(IDC_LOG, CharacterCount(message_log_), -1);
  controls_.ScrollCaret(IDC_LOG);
}

void RegionDialog::AppendLogNoScroll(std::string_view text) {
  message_log_.append(text);
  controls_.SetText(IDC_LOG, message_log_);
}

int RegionDialog::SelectedDriveIndex() {
  return controls_.ComboSelection(IDC_DRIVE_LIST);
}

bool RegionDialog::AskOkCancel(std::string_view text, std::string_view caption) {
  return controls_.MessageOkCancelExclamation(text, caption);
}

void RegionDialog::AddDrive(int index, std::string_view text) {
  controls_.ComboInsert(IDC_DRIVE_LIST, index, text);
}

void RegionDialog::SelectDrive(int index) {
  controls_.ComboSelect(IDC_DRIVE_LIST, index);
}

char RegionDialog::DriveLetter(int index) {
  // A selection outside the table names no drive; at() throws should the guard ever let one by.
  if (index < 0 || index >= static_cast<int>(drive_table_.size())) return 0;
  return drive_table_.at(static_cast<std::size_t>(index)).Letter();
}

}  // namespace varden::ui
