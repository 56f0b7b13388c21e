// The region report: reads the selected drive's RPC state and the inserted disc's copyright
// information, writes what it found into the log and sets the region controls so that they
// offer exactly the regions the user may change to.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "drive/drive_access.h"
#include "drive/region_commands.h"
#include "region/region_operations.h"
#include "text/catalogue.h"
#include "ui/resources/resource.h"

namespace varden {
namespace {

using text::Key;

constexpr std::string_view kLineEnd = "\r\n";

// The drive-region message of region n (1 to 6).
constexpr std::array<Key, kLastRegion> kDriveRegionMessage = {
    Key::MSG_DRIVE_REGION_1, Key::MSG_DRIVE_REGION_2, Key::MSG_DRIVE_REGION_3,
    Key::MSG_DRIVE_REGION_4, Key::MSG_DRIVE_REGION_5, Key::MSG_DRIVE_REGION_6,
};

constexpr int RadioButton(int region) {
  return kRegionButton[region - kFirstRegion];
}
constexpr int DiscBox(int region) {
  return kDiscRegionBox[region - kFirstRegion];
}

// The region a mask names alone, or none for FFh and for masks that name several regions or
// a bit outside 1 to 6.
std::optional<int> RegionNamedBy(std::uint8_t mask) {
  for (int region = kFirstRegion; region <= kLastRegion; ++region) {
    if (mask == RegionMaskOf(region)) return region;
  }
  return std::nullopt;
}

// Whether the disc's region management information lets it play in `region`: a clear bit
// permits. Bits 6 and 7 name no region and are never looked at.
bool DiscPermits(std::uint8_t rmi, int region) {
  return (rmi & (1u << (region - kFirstRegion))) == 0;
}

// All radio buttons off and unchecked, then all disc boxes disabled. The boxes keep their
// check marks and the buttons keep any highlight an earlier report drew.
void ResetRegionControls(RegionView& view) {
  for (int region = kFirstRegion; region <= kLastRegion; ++region) {
    view.EnableControl(RadioButton(region), false);
    view.SetCheck(RadioButton(region), false);
  }
  for (int region = kFirstRegion; region <= kLastRegion; ++region) {
    view.EnableControl(DiscBox(region), false);
  }
}

// The drive part, after a successful REPORT KEY: the label of the changes left, then the
// drive's region as a message and as the radio buttons it leaves on. Answers the message.
std::string ShowDriveState(RegionView& view, const RpcStateBytes& state) {
  const std::string label = state.RpcScheme() == RpcStateBytes::kRpcSchemePhaseII
                                ? text::Format(Key::FMT_CHANGES_LEFT, state.UserChanges())
                                : text::Text(Key::MSG_NO_RPC2);
  view.SetControlText(IDC_CHANGES_LEFT, label);

  const std::uint8_t mask = state.RegionMask();
  if (const std::optional<int> region = RegionNamedBy(mask)) {
    view.EnableControl(RadioButton(*region), true);
    view.SetHighlight(RadioButton(*region));
    view.SetCheck(RadioButton(*region), true);
    return text::Text(kDriveRegionMessage[*region - kFirstRegion]);
  }
  if (mask == kNoRegionMask) {
    // A drive without a region may be set to any of them.
    for (int region = kFirstRegion; region <= kLastRegion; ++region) {
      view.EnableControl(RadioButton(region), true);
    }
    return text::Text(Key::MSG_DRIVE_NO_REGION);
  }
  return text::Format(Key::FMT_DRIVE_REGION_INVALID, mask);
}

// The disc part, after a successful READ DVD STRUCTURE: the disc boxes (and, for a protected
// disc, the radio buttons of the regions it permits). Answers the message.
std::string ShowDiscState(RegionView& view, const DiscCopyrightBytes& copyright) {
  switch (copyright.Cpst()) {
    case kCpstNone:
      for (int region = kFirstRegion; region <= kLastRegion; ++region) {
        view.EnableControl(DiscBox(region), true);
        view.SetCheck(DiscBox(region), true);
      }
      return text::Text(Key::MSG_DISC_UNPROTECTED);
    case kCpstCssCppm:
    case kCpstCprm: {
      std::string line = text::Text(Key::MSG_DISC_ALLOWED_PREFIX);
      for (int region = kFirstRegion; region <= kLastRegion; ++region) {
        if (!DiscPermits(copyright.Rmi(), region)) continue;
        view.EnableControl(DiscBox(region), true);
        view.SetCheck(DiscBox(region), true);
        line += text::RegionPiece(region);
        // The drive may be set to a region the inserted disc plays in.
        view.EnableControl(RadioButton(region), true);
      }
      if (text::JapaneseMode()) line += text::Text(Key::MSG_DISC_ALLOWED_SUFFIX);
      line += kLineEnd;
      return line;
    }
    default:
      return text::Text(Key::MSG_DISC_UNKNOWN_PROTECTION);
  }
}

}  // namespace

void ReportRegion(RegionView& view) {
  std::string working;
  const int index = view.SelectedDriveIndex();
  if (index < 0) {
    // Nothing selected: nothing but the log changes.
    working = text::Text(Key::MSG_NO_VALID_ITEM);
    view.AppendLog(working);
    return;
  }

  view.SetLastReportedIndex(index);
  ResetRegionControls(view);

  if (OpenDrive(view.DriveLetter(index)) != 0) {
    working = text::Text(Key::MSG_DEVICE_OPEN_FAILED);
    view.AppendLog(working);
    return;
  }

  // The RPC state stays behind for the region change whatever the outcome.
  if (ReadRpcState() == kCommandOk) {
    working = ShowDriveState(view, RpcState());
  } else {
    working = text::Text(Key::MSG_GET_DRIVE_REGION_FAILED);
  }
  view.AppendLog(working);

  if (ReadDiscCopyright() == kCommandOk) {
    working = ShowDiscState(view, DiscCopyright());
  } else {
    working = text::Text(Key::MSG_GET_DISC_REGION_FAILED);
  }

  CloseDrive();
  view.AppendLog(working);
}

}  // namespace varden
