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

class Questions {
 public:
  // `out` is standard output, flushed before the disc prompt; `talk` where questions go;
  // `yes` answers the cost questions (--yes).
  Questions(Console& out, Console& talk, bool yes) : out_(out), talk_(talk), yes_(yes) {}

  // Tells what setting `drive` to `region` costs and asks; a change that leaves none is asked
  // about again. `state_read`: whether the drive's state is known at all.
  bool ConfirmCost(char drive, int region, bool state_read, const ChangeCost& cost);

  // OK or Cancel on the terminal. Without a terminal nobody can insert a disc and answer, so
  // it is Cancel.
  bool DiscPrompt(std::string_view prompt, std::string_view caption);

 private:
  // Asks a yes/no question; only "y" or "yes" is yes, and the end of input is no.
  bool Confirm(const std::string& question);

  Console& out_;
  Console& talk_;
  bool yes_;
};

}  // namespace varden::cli
