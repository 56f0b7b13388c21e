// The arrow keys of a dialog, as the platform's dialog manager moves them: within the control
// group of the control that has the focus. A group runs from a control that starts one to the
// next such control, round the end of the template back to its start; controls before the
// first group start belong to the last group. Controls that cannot take the focus (statics,
// group boxes), disabled and hidden ones are passed by; moving onto an auto radio button
// checks it; a control that takes the arrow keys itself keeps them.
#pragma once

#include <span>

#include "ui/resources/templates.h"

namespace varden::ui {

// What the navigation needs to know of one control, in template order.
struct NavigableControl {
  bool group_start = false;
  bool enabled = true;
  bool visible = true;
  bool takes_focus = true;    // not a static or a group box
  bool auto_radio = false;    // an auto radio button: checked when the focus moves onto it
  bool wants_arrows = false;  // the drop-down list and the log keep the arrow keys
};

// A control's flags as its template gives them; enabled and visible as the template creates it.
NavigableControl NavigationOf(const ControlTemplate& control);

struct GroupStep {
  int index = -1;      // the control that takes the focus; -1: the key is the control's own
  bool check = false;  // the control is to be checked (clicked) as well
};

// Where Down or Right (`backward` false) and Up or Left (`backward` true) move the focus from
// control `current`. When no other control of the group can take it, the focus stays.
GroupStep StepInGroup(std::span<const NavigableControl> controls, int current, bool backward);

}  // namespace varden::ui
