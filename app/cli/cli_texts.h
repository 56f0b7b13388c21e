// The command line's own texts, in English and Japanese: the summary lines that tell the
// state the dialog would show, and the questions of the region change. They follow the
// catalogue's language, decided once at start. Texts that take a value are split into the
// pieces before and after it.
#pragma once

#include <string>
#include <string_view>

namespace varden::cli {

enum class CliText {
  kDriveLabel,        // "Drive: "
  kRegionLabel,       // "Region: "
  kRegionNone,        // the drive has no region
  kRegionInvalid,     // followed by " (7fh)"
  kStateNotRead,      // the drive's state could not be read
  kChangesUnknown,    // in place of the changes-left label when it was not read
  kOfferedLabel,      // "Regions offered for a change: "
  kNoRegions,         // "none"
  kDiscPermitsLabel,  // "Disc permits regions: "
  kDiscUnprotected,   // after the six regions of a disc without copy protection
  kDiscNotRead,       // the disc's copyright information could not be read
  kDiscUnknownType,   // followed by the hex CPST and kDiscUnknownTypeEnd
  kDiscUnknownTypeEnd,
  kCostBefore,  // kCostBefore, n, kCostBetween, m, kCostAfter
  kCostBetween,
  kCostAfter,
  kCostNoRpc2,    // the drive does not follow RPC Phase II
  kCostUnknown,   // the change count could not be read
  kAskSetBefore,  // kAskSetBefore, "E:", kAskSetBetween, n, kAskSetAfter
  kAskSetBetween,
  kAskSetAfter,
  kLastChangeBefore,  // kLastChangeBefore, n, kLastChangeAfter
  kLastChangeAfter,
  kAskPermanentBefore,  // kAskPermanentBefore, n, kAskPermanentAfter
  kAskPermanentAfter,
  kNotConfirmed,
  kRefusedBefore,  // kRefusedBefore, n, kRefusedBetween, regions, kRefusedAfter
  kRefusedBetween,
  kRefusedAfter,
  kRefusedStateUnread,  // after kRefusedBefore, n: why none is offered and what to do
  kDiscPromptChoice,    // after the disc prompt's text: how to answer
  kDiscPromptNoTerminal,
};

// The text in the catalogue's current language.
std::string_view Text(CliText key);

// Every text in the current language, one after the other: what the terminal must be able
// to show.
std::string AllTexts();

}  // namespace varden::cli
