// The questions varden-cli asks a person: the cost of a change of region, and the disc prompt
// of the change. Asked on standard output, or on standard error under --json; answered on
// standard input.
#pragma once

#include <optional>
#include <string_view>

#include "app/cli/console.h"

namespace varden::cli {

// What a change of region spends: the user changes left before and after it (nothing when
// the drive's count is not known or does not apply), and whether it spends the last one.
struct ChangeCost {
  std::optional<int> before;
  std::optional<int> after;
  bool becomes_permanent = false;
};

// Tells on `talk` what setting `drive` to `region` costs and asks, unless `yes` (--yes)
// answers; a change that leaves none is asked about again. `state_read`: whether the drive's
// state is known at all.
bool ConfirmCost(Console& talk, bool yes, char drive, int region, bool state_read,
                 const ChangeCost& cost);

// The disc prompt, OK or Cancel, on `talk` after standard output `out` is flushed. Without a
// terminal nobody can insert a disc and answer, so it is Cancel.
bool AskDisc(Console& out, Console& talk, std::string_view prompt, std::string_view caption);

}  // namespace varden::cli
