// The arrow keys within a control group, and where the help window stands beside the dialog.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "data_rows.h"
#include "ui/dialog/group_navigation.h"
#include "ui/dialog/window_placement.h"

namespace varden::ui {
namespace {

// A dialog in letters, one a control (see tests/data/dialog_cases.tsv).
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

// The cases of tests/data/dialog_cases.tsv.
TEST(StepInGroup, MovesWithinTheGroupAsTheDialogManagerDoes) {
  for (const auto& row : test_support::DataRows("dialog_cases.tsv", "group")) {
    const std::vector<NavigableControl> controls = Controls(row[2]);
    std::string path;
    int at = std::stoi(row[3]);
    for (const char key : row[4]) {
      const GroupStep step = StepInGroup(controls, at, key == 'U');
      if (!path.empty()) path += ' ';
      path += step.index < 0 ? "-" : std::to_string(step.index) + (step.check ? "+" : "");
      if (step.index >= 0) at = step.index;
    }
    EXPECT_EQ(path, row[5]) << row[1];
  }
}

TEST(PlaceBeside, BesideWhereItFitsElseCoveringAsLittleAsItMust) {
  constexpr int kWidth = 646, kHeight = 588;  // the help window with its frame
  for (const auto& row : test_support::DataRows("dialog_cases.tsv", "beside")) {
    const Rect placed = PlaceBeside(test_support::RectOf<Rect>(row[2]),
                                    test_support::RectOf<Rect>(row[3]), kWidth, kHeight);
    EXPECT_TRUE(placed == test_support::RectOf<Rect>(row[4]))
        << row[1] << ": " << placed.left << ',' << placed.top << ',' << placed.right << ','
        << placed.bottom;
  }
}

}  // namespace
}  // namespace varden::ui
