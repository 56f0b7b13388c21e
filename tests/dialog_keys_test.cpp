// The arrow keys within a control group, and where the help window stands beside the dialog.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "ui/dialog/group_navigation.h"
#include "ui/dialog/window_placement.h"

namespace varden::ui {
namespace {

// A dialog in letters, one a control: b takes the focus, r an auto radio button, s a static,
// l keeps the arrow keys, x disabled, h hidden; upper case starts a group.
std::vector<NavigableControl> Controls(const std::string& layout) {
  std::vector<NavigableControl> controls;
  for (char c : layout) {
    const char kind = static_cast<char>(std::tolower(c));
    controls.push_back({.group_start = c != kind,
                        .enabled = kind != 'x',
                        .visible = kind != 'h',
                        .takes_focus = kind != 's',
                        .auto_radio = kind == 'r',
                        .wants_arrows = kind == 'l'});
  }
  return controls;
}

TEST(StepInGroup, MovesWithinTheGroupAsTheDialogManagerDoes) {
  // Keys D (down) and U (up) from control `from`: where the focus goes after each ("+": the
  // control is checked too; "-": the control keeps the key and the focus stays).
  const struct {
    const char* layout;
    int from;
    const char* keys;
    const char* path;
  } cases[] = {
      {"Sbrrsl", 1, "DDDD", "2+ 3+ 5 -"},  // radios checked, static passed, list keeps keys
      {"bBbbBb", 3, "DDU", "1 2 1"},       // round within the group, not into the next one
      {"bBbbBb", 0, "DU", "4 0"},          // before the first group start: the last group
      {"Bxhbr", 0, "DDUU", "3 4+ 3 0"},    // disabled and hidden controls passed by
  };
  for (const auto& c : cases) {
    const std::vector<NavigableControl> controls = Controls(c.layout);
    std::string path;
    int at = c.from;
    for (const char key : std::string(c.keys)) {
      const GroupStep step = StepInGroup(controls, at, key == 'U');
      if (!path.empty()) path += ' ';
      path += step.index < 0 ? "-" : std::to_string(step.index) + (step.check ? "+" : "");
      if (step.index >= 0) at = step.index;
    }
    EXPECT_EQ(path, c.path) << c.layout << " from " << c.from;
  }
}

TEST(PlaceBeside, BesideWhereItFitsElseCoveringAsLittleAsItMust) {
  constexpr int kWidth = 646, kHeight = 588;  // the help window with its frame
  const struct {
    Rect area, dialog, expected;
  } cases[] = {
      {{0, 0, 2560, 1600}, {1128, 543, 1432, 1056}, {1432, 543, 2078, 1131}},  // right of it
      {{0, 0, 1280, 1024}, {600, 255, 904, 768}, {0, 255, 646, 843}},          // more room left
      {{0, 0, 1280, 1024}, {488, 255, 792, 768}, {640, 255, 1280, 843}},       // half kept
      {{0, 24, 800, 600}, {248, 55, 552, 568}, {400, 24, 800, 600}},           // within the area
  };
  for (const auto& c : cases) {
    const Rect placed = PlaceBeside(c.area, c.dialog, kWidth, kHeight);
    EXPECT_TRUE(placed == c.expected) << c.dialog.left << ": " << placed.left << ',' << placed.top
                                      << ',' << placed.right << ',' << placed.bottom;
  }
}

}  // namespace
}  // namespace varden::ui
