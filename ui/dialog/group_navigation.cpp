#include "ui/dialog/group_navigation.h"

#include <iterator>
#include <vector>

namespace varden::ui {
namespace {

bool CanTakeFocus(const NavigableControl& control) {
  return control.takes_focus && control.enabled && control.visible;
}

}  // namespace

NavigableControl NavigationOf(const ControlTemplate& control) {
  const ControlKind kind = control.kind;
  return NavigableControl{
      .group_start = control.GroupStart(),
      .enabled = !control.Disabled(),
      .visible = (control.style & style::kVisible) != 0,
      .takes_focus = kind != ControlKind::kIcon && kind != ControlKind::kText &&
                     kind != ControlKind::kGroupBox && kind != ControlKind::kProgressBar,
      .auto_radio = kind == ControlKind::kRadioButton,
      .wants_arrows = kind == ControlKind::kComboBox || kind == ControlKind::kEdit};
}

GroupStep StepInGroup(std::span<const NavigableControl> controls, int current, bool backward) {
  const int count = static_cast<int>(controls.size());
  if (current < 0 || current >= count) return {};
  if (controls[current].wants_arrows) return {};
  const auto next = [count](int index) { return (index + 1) % count; };
  // The group's start: the nearest group start at or before the control, round the end.
  int start = current;
  for (int seen = 0; seen < count && !controls[start].group_start; ++seen) {
    start = (start + count - 1) % count;
  }
  if (!controls[start].group_start) start = 0;  // no group start at all: one group
  // The group's members from its start, in template order.
  std::vector<int> members;
  int position = 0;  // of `current` among them
  for (int index = start; std::ssize(members) < count; index = next(index)) {
    if (!members.empty() && controls[index].group_start) break;
    if (index == current) position = static_cast<int>(members.size());
    members.push_back(index);
  }
  const int size = static_cast<int>(members.size());
  for (int step = 1; step < size; ++step) {
    const int at = backward ? (position - step + size) % size : (position + step) % size;
    const NavigableControl& candidate = controls[members[at]];
    if (CanTakeFocus(candidate)) return {members[at], candidate.auto_radio};
  }
  return {current, false};
}

}  // namespace varden::ui
