// The two region operations behind Get Region (and a change of the drive-list selection) and
// Set Region. Each opens the selected drive, sends its commands, closes the drive on every
// path, writes its outcome into the message log and sets the controls through the view.
#pragma once

#include "region/region_view.h"

namespace varden {

// The readiness loop of the region change: the wait before a drive that is becoming ready is
// tested again.
inline constexpr int kBecomingReadyWaitMilliseconds = 1000;
// Bounds that no working drive meets, so that a drive that keeps failing the same way cannot
// hold the program for ever: UNIT ATTENTION answers in a row that are each tested again at
// once, and one-second waits in one change. The answer past either bound ends the change as
// a drive that is not ready for any other reason.
inline constexpr int kMaxUnitAttentionsInARow = 16;
inline constexpr int kMaxBecomingReadyWaits = 120;

// Reads the selected drive's RPC state and the disc's copyright information, appends what
// it found to the log and sets the region controls.
void ReportRegion(RegionView& view);

// Sets the selected drive's region to the checked radio button's region: refuses a
// permanent region, waits for a ready drive (asking for a disc when there is none), sends
// the new region, logs the outcome and ends with a region report.
void ChangeRegion(RegionView& view, Sleeper& sleeper);

}  // namespace varden
