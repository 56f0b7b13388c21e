#include "app/cli/terminal_view.h"

#include <algorithm>

#include "drive/region_commands.h"
#include "ui/resources/resource.h"

namespace varden::cli {

TerminalView::TerminalView(const DriveTable& table, AskFunction ask)
    : table_(table), ask_(std::move(ask)) {}

void TerminalView::ChooseRegion(int region) {
  for (int n = kFirstRegion; n <= kLastRegion; ++n) {
    controls_[kRegionButton[n - kFirstRegion]].checked = n == region;
  }
}

bool TerminalView::IsEnabled(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? ControlState{}.enabled : it->second.enabled;
}

std::string TerminalView::LogText() const {
  std::string text;
  for (const LogPiece& piece : log_) text += piece.text;
  return text;
}

void TerminalView::AddDrive(int index, std::string_view text) {
  const auto position =
      static_cast<std::size_t>(std::clamp(index, 0, static_cast<int>(drive_list_.size())));
  drive_list_.insert(drive_list_.begin() + static_cast<std::ptrdiff_t>(position),
                     std::string(text));
}

void TerminalView::EnableControl(int id, bool on) {
  controls_[id].enabled = on;
}

void TerminalView::SetCheck(int id, bool on) {
  controls_[id].checked = on;
}

void TerminalView::SetHighlight(int) {}  // a highlight shows nothing on a terminal

bool TerminalView::IsChecked(int id) {
  const auto it = controls_.find(id);
  return it != controls_.end() && it->second.checked;
}

void TerminalView::SetControlText(int id, std::string_view text) {
  texts_[id] = text;
}

void TerminalView::AppendLog(std::string_view text) {
  Append(text, true);
}

void TerminalView::AppendLogNoScroll(std::string_view text) {
  Append(text, false);
}

bool TerminalView::AskOkCancel(std::string_view text, std::string_view caption) {
  return ask_ ? ask_(text, caption) : false;
}

char TerminalView::DriveLetter(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= table_.size()) return '\0';
  return table_[static_cast<std::size_t>(index)].Letter();
}

void TerminalView::Append(std::string_view text, bool scrolls) {
  log_.push_back({std::string(text), scrolls});
  if (sink_) sink_(text);
}

}  // namespace varden::cli
