// Drive access: the one drive connection, the request block, command outcomes and sense
// capture, INQUIRY and TEST UNIT READY. Plain functions over one module-level state; every
// command clears the block, copies the SCSI address, fills the header and the CDB, makes one
// synchronous pass-through call and settles the outcome. Nothing here shows a message or
// throws: opening answers 0 or -1, commands answer a CommandOutcome.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "drive/device_seam.h"
#include "drive/pass_through.h"

namespace varden {

// Answer of every drive command.
using CommandOutcome = std::int32_t;
inline constexpr CommandOutcome kCommandOk = 0;
inline constexpr CommandOutcome kCommandFailed = 2;

// Bytes of inquiry data that INQUIRY asks for.
inline constexpr std::uint8_t kInquiryLength = 96;

// Time-outs in seconds.
inline constexpr std::uint32_t kShortTimeoutSeconds = 2;  // INQUIRY, TEST UNIT READY
inline constexpr std::uint32_t kDvdTimeoutSeconds = 5;  // REPORT KEY, SEND KEY, READ DVD STRUCTURE

inline constexpr std::size_t kLastSenseSize = HostLayout::kSenseAreaSize;

// The connection to the one open drive.
struct DriveConnection {
  bool open = false;
  DeviceHandle handle = 0;
  ScsiAddress address;
};

// Chooses the device seam that every later call goes through (the real drives of the
// platform, or the emulated drive). Set once by a program or a test; nullptr means none,
// and then OpenDrive fails.
void SetDeviceSeam(DeviceSeam* seam);
DeviceSeam* CurrentDeviceSeam();

// Hands drive access the application's transfer buffer (at least kTransferBufferSize bytes)
// and zeroes the SCSI address, so that a request built before any drive was opened carries
// address 0/0/0. Until a buffer is attached no command is sent: each answers kCommandFailed.
void AttachTransferBuffer(std::uint8_t* buffer);
void DetachTransferBuffer();
std::uint8_t* TransferBuffer();

// Opens the drive of `letter`: the device, then the capabilities query, then the address
// query. Answers 0 with the connection open, or -1 with no handle held.
int OpenDrive(char letter);

// Closes the open connection; answers 0.
int CloseDrive();

// INQUIRY, standard data, 96 bytes into the start of the transfer buffer.
CommandOutcome SendInquiry();

// TEST UNIT READY; after kCommandFailed, LastSense() may tell why.
CommandOutcome TestUnitReady();

// Settles a pass-through call from its result and the returned block:
//   call succeeded, status 0            -> 0, LastSense unchanged
//   status not 0                        -> 2, sense captured
//   call failed, status 0, no sense     -> 2, LastSense unchanged
//   call failed, status 0, sense length -> 2, LastSense unchanged (the block may be the one
//                                          that went out, untouched: nothing in it is news)
// The capture copies the returned SenseInfoLength bytes from the sense area, clamped to the
// size of the sense area whatever the platform reports.
CommandOutcome SettleOutcome(bool call_succeeded, const PassThroughRequest& block);

// Sense bytes of the most recent command that ended with a status other than 0; never
// cleared, only overwritten by the bytes a capture copies.
std::span<const std::uint8_t, kLastSenseSize> LastSense();

// Whether the most recent command brought sense bytes back (captured at least one byte).
// The readiness loop of the region change uses it so that it never decides on stale sense.
bool LastCommandCapturedSense();

// The connection and the request block as they stand (for the seams' tests and the tools).
const DriveConnection& CurrentConnection();
const PassThroughRequest& CurrentRequest();

// Returns the whole module to its state at program start (no drive open, no seam, no
// buffer, zero sense). For tests and for tools that start over.
void ResetDriveAccess();

namespace detail {
// The shared sequence of every command: clear, address, header, CDB, send, settle.
struct CommandRequest {
  std::span<const std::uint8_t> cdb;
  std::uint8_t direction = kScsiIoctlDataIn;
  std::uint32_t transfer_length = 0;
  std::uint32_t timeout_seconds = kShortTimeoutSeconds;
  void* data = nullptr;
};
CommandOutcome SendCommand(const CommandRequest& command);
}  // namespace detail

}  // namespace varden
