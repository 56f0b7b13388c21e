#include "drive/drive_access.h"

#include <algorithm>
#include <cstring>

#include "drive/scsi_codes.h"

namespace varden {
namespace {

using L = HostLayout;

// The module-level state; all of it zero at program start.
struct DriveState {
  DeviceSeam* seam = nullptr;
  std::uint8_t* transfer_buffer = nullptr;
  DriveConnection connection;
  PassThroughRequest request;
  std::array<std::uint8_t, kLastSenseSize> last_sense{};
  bool last_captured = false;
};

DriveState state;

}  // namespace

void SetDeviceSeam(DeviceSeam* seam) {
  state.seam = seam;
}
DeviceSeam* CurrentDeviceSeam() {
  return state.seam;
}

void AttachTransferBuffer(std::uint8_t* buffer) {
  state.connection.address.path_id = 0;
  state.connection.address.target_id = 0;
  state.connection.address.lun = 0;
  state.transfer_buffer = buffer;
}

void DetachTransferBuffer() {
  state.transfer_buffer = nullptr;
}
std::uint8_t* TransferBuffer() {
  return state.transfer_buffer;
}

int OpenDrive(char letter) {
  if (state.seam == nullptr) return -1;
  DeviceHandle handle = 0;
  if (!state.seam->Open(letter, handle)) return -1;
  if (!state.seam->QueryCapabilities(handle)) {
    state.seam->Close(handle);
    return -1;
  }
  ScsiAddress address;
  if (!state.seam->QueryAddress(handle, address)) {
    state.seam->Close(handle);
    return -1;
  }
  state.connection.open = true;
  state.connection.handle = handle;
  state.connection.address = address;
  return 0;
}

int CloseDrive() {
  if (state.connection.open && state.seam != nullptr) state.seam->Close(state.connection.handle);
  state.connection.open = false;
  state.connection.handle = 0;
  return 0;
}

CommandOutcome SettleOutcome(bool call_succeeded, const PassThroughRequest& block) {
  state.last_captured = false;
  const std::uint8_t status = block.ScsiStatus();
  if (status == scsi::kStatusGood) return call_succeeded ? kCommandOk : kCommandFailed;

  // A status other than good: capture what the platform says it delivered, but never more
  // than the sense area holds, so nothing is read past the block or written past LastSense.
  const std::size_t delivered = std::min<std::size_t>(block.SenseInfoLength(), kLastSenseSize);
  std::memcpy(state.last_sense.data(), block.bytes.data() + L::kSenseArea, delivered);
  state.last_captured = delivered > 0;
  return kCommandFailed;
}

std::span<const std::uint8_t, kLastSenseSize> LastSense() {
  return state.last_sense;
}
bool LastCommandCapturedSense() {
  return state.last_captured;
}
const DriveConnection& CurrentConnection() {
  return state.connection;
}
const PassThroughRequest& CurrentRequest() {
  return state.request;
}

void ResetDriveAccess() {
  state = DriveState{};
}

namespace detail {

CommandOutcome SendCommand(const CommandRequest& command) {
  state.last_captured = false;
  // No command goes out without the transfer buffer or an open drive.
  if (state.transfer_buffer == nullptr || !state.connection.open || state.seam == nullptr) {
    return kCommandFailed;
  }
  auto& block = state.request;
  block.bytes.fill(0);

  const auto b = block.Span();
  b[L::kPathId] = state.connection.address.path_id;
  b[L::kTargetId] = state.connection.address.target_id;
  b[L::kLun] = state.connection.address.lun;

  PutLe16(b, L::kLength, static_cast<std::uint16_t>(L::kHeaderSize));
  b[L::kSenseInfoLength] = kRequestedSenseLength;
  PutLe32(b, L::kSenseInfoOffset, static_cast<std::uint32_t>(L::kSenseArea));
  b[L::kCdbLength] = static_cast<std::uint8_t>(command.cdb.size());
  b[L::kDataIn] = command.direction;
  PutLe32(b, L::kDataTransferLength, command.transfer_length);
  PutLe32(b, L::kTimeOutValue, command.timeout_seconds);
  block.SetDataBuffer(command.data);
  std::copy(command.cdb.begin(), command.cdb.end(), b.begin() + L::kCdb);

  const bool succeeded = state.seam->PassThrough(state.connection.handle, b);
  return SettleOutcome(succeeded, block);
}

}  // namespace detail

CommandOutcome SendInquiry() {
  const std::array<std::uint8_t, scsi::kCdb6> cdb = {
      scsi::kOpInquiry,
      0x00,            // EVPD 0: standard inquiry data
      0x00,            // page code
      0x00,            // allocation length, high byte
      kInquiryLength,  // allocation length, low byte
      0x00,            // control
  };
  return detail::SendCommand({.cdb = cdb,
                              .direction = kScsiIoctlDataIn,
                              .transfer_length = kInquiryLength,
                              .timeout_seconds = kShortTimeoutSeconds,
                              .data = state.transfer_buffer});
}

CommandOutcome TestUnitReady() {
  const std::array<std::uint8_t, scsi::kCdb6> cdb = {scsi::kOpTestUnitReady, 0, 0, 0, 0, 0};
  // Data-in with no data: the transfer buffer is named but nothing moves.
  return detail::SendCommand({.cdb = cdb,
                              .direction = kScsiIoctlDataIn,
                              .transfer_length = 0,
                              .timeout_seconds = kShortTimeoutSeconds,
                              .data = state.transfer_buffer});
}

}  // namespace varden
