// The region change: sets the selected drive's region to the checked radio button's region.
// It decides on the RPC state that the last region report kept (it sends no REPORT KEY of
// its own), waits until the drive is ready, sends SEND KEY, logs the outcome and always ends
// with a region report so that the dialog shows the drive's state after the change.
#include <cstdint>
#include <optional>
#include <string>

#include "drive/drive_access.h"
#include "drive/region_commands.h"
#include "drive/scsi_codes.h"
#include "region/region_operations.h"
#include "text/catalogue.h"
#include "ui/resources/resource.h"

namespace varden {
namespace {

using text::Key;

// Type code 11b in bits 7..6 of RPC State byte 4: the region is set permanently.
constexpr std::uint8_t kPermanentTypeCode = RpcStateBytes::kTypeCodeMask;

// A drive that has no region and still has all the user changes a new drive has is set
// without waiting for it to be ready.
constexpr std::uint8_t kNewDriveUserChanges = 5;

bool IsPermanent(const RpcStateBytes& state) {
  return (state.bytes[0] & RpcStateBytes::kTypeCodeMask) == kPermanentTypeCode;
}

bool IsNewDrive(const RpcStateBytes& state) {
  return state.UserChanges() == kNewDriveUserChanges && state.RegionMask() == kNoRegionMask;
}

// Why a TEST UNIT READY failed, as the readiness loop acts on it.
enum class NotReadyReason {
  kUnitAttention,  // test again at once
  kBecomingReady,  // wait a second, test again
  kMediumAbsent,   // ask for a disc
  kOther,          // give up
};

NotReadyReason ClassifyNotReady() {
  // A failure that brought no sense back says nothing; the bytes in LastSense then belong to
  // an earlier command and must not make the loop repeat.
  if (!LastCommandCapturedSense()) return NotReadyReason::kOther;
  const auto sense = LastSense();
  // The sense key byte is compared whole: a flag bit set makes it another reason.
  const std::uint8_t key = sense[scsi::kSenseKey];
  const std::uint8_t asc = sense[scsi::kSenseAsc];
  const std::uint8_t ascq = sense[scsi::kSenseAscq];
  if (key == scsi::kSenseKeyUnitAttention) return NotReadyReason::kUnitAttention;
  if (key == scsi::kSenseKeyNotReady) {
    if (asc == scsi::kAscNotReady && ascq == scsi::kAscqBecomingReady) {
      return NotReadyReason::kBecomingReady;
    }
    if (asc == scsi::kAscMediumNotPresent) return NotReadyReason::kMediumAbsent;
  }
  return NotReadyReason::kOther;
}

// Repeats TEST UNIT READY until the drive is ready. Answers nothing when it is, or the
// message that ends the change.
std::optional<Key> AwaitReadyDrive(RegionView& view, Sleeper& sleeper) {
  int unit_attentions_in_a_row = 0;
  int waits = 0;
  while (TestUnitReady() != kCommandOk) {
    const NotReadyReason reason = ClassifyNotReady();
    if (reason != NotReadyReason::kUnitAttention) unit_attentions_in_a_row = 0;
    switch (reason) {
      case NotReadyReason::kUnitAttention:
        if (++unit_attentions_in_a_row > kMaxUnitAttentionsInARow) return Key::MSG_UNKNOWN_ERROR;
        break;
      case NotReadyReason::kBecomingReady:
        if (waits == kMaxBecomingReadyWaits) return Key::MSG_UNKNOWN_ERROR;
        ++waits;
        view.AppendLogNoScroll(text::Text(Key::MSG_TOC_READING));
        sleeper.SleepMilliseconds(kBecomingReadyWaitMilliseconds);
        break;
      case NotReadyReason::kMediumAbsent: {
        const std::string prompt = text::Text(Key::MSG_INSERT_DISC);
        if (!view.AskOkCancel(prompt, text::Text(Key::CAPTION_ATTENTION))) {
          return Key::MSG_CANCELED;
        }
        break;
      }
      case NotReadyReason::kOther:
        return Key::MSG_UNKNOWN_ERROR;
    }
  }
  return std::nullopt;
}

// The first checked region radio button, 1 to 6, or nothing.
std::optional<int> ChosenRegion(RegionView& view) {
  for (int region = kFirstRegion; region <= kLastRegion; ++region) {
    if (view.IsChecked(kRegionButton[region - kFirstRegion])) return region;
  }
  return std::nullopt;
}

// Steps with the drive open: the permanent-state test, the readiness loop, the choice and
// SEND KEY. Answers the message of the outcome; the caller closes the drive.
Key ChangeOpenDrive(RegionView& view, Sleeper& sleeper) {
  // The kept state, whatever the outcome of the REPORT KEY that last filled it.
  const RpcStateBytes& state = RpcState();
  if (IsPermanent(state)) return Key::MSG_REGION_PERMANENT;

  if (!IsNewDrive(state)) {
    if (const std::optional<Key> ending = AwaitReadyDrive(view, sleeper)) return *ending;
  }

  const std::optional<int> region = ChosenRegion(view);
  if (!region) return Key::MSG_NO_REGION_SELECTED;
  return SetDriveRegion(*region) == kCommandOk ? Key::MSG_SET_REGION_OK
                                               : Key::MSG_SET_REGION_FAILED;
}

}  // namespace

void ChangeRegion(RegionView& view, Sleeper& sleeper) {
  std::string log_text;
  const int index = view.SelectedDriveIndex();
  if (index < 0) {
    log_text = text::Text(Key::MSG_NO_VALID_ITEM);
  } else {
    // The kept RPC state must belong to the selected drive.
    if (index != view.LastReportedIndex()) ReportRegion(view);

    if (OpenDrive(view.DriveLetter(index)) != 0) {
      log_text = text::Text(Key::MSG_DEVICE_OPEN_FAILED);
    } else {
      log_text = text::Text(ChangeOpenDrive(view, sleeper));
      CloseDrive();
    }
  }
  view.AppendLog(log_text);
  ReportRegion(view);
}

}  // namespace varden
