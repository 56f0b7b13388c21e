// The two region operations behind Get Region (and a change of the drive-list selection) and
// Set Region. Each opens the selected drive, sends its commands, closes the drive on every
// path, writes its outcome into the message log and sets the controls through the view.
#pragma once

#include "region/region_view.h"

namespace varden {

// Reads the selected drive's RPC state and the disc's copyright information, appends what
// it found to the log and sets the region controls.
void ReportRegion(RegionView& view);

// Sets the selected drive's region to the checked radio button's region: refuses a
// permanent region, waits for a ready drive (asking for a disc when there is none), sends
// the new region, logs the outcome and ends with a region report.
void ChangeRegion(RegionView& view, Sleeper& sleeper);

}  // namespace varden
