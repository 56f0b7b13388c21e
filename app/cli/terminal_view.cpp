#include "app/cli/terminal_view.h"

#include "drive/region_commands.h"
#include "ui/resources/resource.h"

namespace varden::cli {

void TerminalView::ChooseRegion(int region) {
  for (int n = kFirstRegion; n <= kLastRegion; ++n)
    SetCheck(kRegionButton[n - kFirstRegion], n == region);
}

std::string TerminalView::ControlText(int id) const {
  const auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

std::string TerminalView::LogText() const {
  std::string text;
  for (const LogPiece& piece : log_) text += piece.text;
  return text;
}

char TerminalView::DriveLetter(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= table_.size()) return '\0';
  return table_[static_cast<std::size_t>(index)].Letter();
}

void TerminalView::Mark(std::set<int>& ids, int id, bool on) {
  if (on) {
    ids.insert(id);
  } else {
    ids.erase(id);
  }
}

void TerminalView::Append(std::string_view text, bool scrolls) {
  log_.push_back({std::string(text), scrolls});
  if (sink_) sink_(text);
}

}  // namespace varden::cli
