// The platform's device calls, behind one small seam. The drive commands know nothing of
// the system they run on: drive/linux (SG_IO), drive/win32 (IOCTL_SCSI_PASS_THROUGH_DIRECT)
// and the emulated drive each implement this interface.
#pragma once

#include <cstdint>
#include <span>

namespace varden {

// The drive letters a seam serves, in the order the scan probes them.
inline constexpr char kFirstDriveLetter = 'D';
inline constexpr char kLastDriveLetter = 'Z';

// An open device as the seam knows it; meaningless outside the seam that answered it.
using DeviceHandle = std::intptr_t;

// The SCSI address of a drive, one byte each.
struct ScsiAddress {
  std::uint8_t port_number = 0;
  std::uint8_t path_id = 0;
  std::uint8_t target_id = 0;
  std::uint8_t lun = 0;
  friend bool operator==(const ScsiAddress&, const ScsiAddress&) = default;
};

class DeviceSeam {
 public:
  virtual ~DeviceSeam() = default;

  // Opens the drive named by `letter` (upper-case ASCII, kFirstDriveLetter to
  // kLastDriveLetter) for reading and
  // writing with shared access. Answers true and sets `handle` on success; answers false
  // when there is no such device or it cannot be opened, and then holds nothing open.
  virtual bool Open(char letter, DeviceHandle& handle) = 0;

  // Confirms that the SCSI layer serves the open device. Answers false when it does not
  // (the caller then closes the handle).
  virtual bool QueryCapabilities(DeviceHandle handle) = 0;

  // Learns the device's port number, path id, target id and logical unit. Answers false
  // when the query fails (the caller then closes the handle).
  virtual bool QueryAddress(DeviceHandle handle, ScsiAddress& address) = 0;

  // Passes one request through, synchronously. `block` is the whole request block of
  // drive/pass_through.h, read for the command and written back with the answer: the
  // SCSI status, the number of sense bytes delivered and the sense bytes in the sense area.
  // Data moves through the block's `DataBuffer` address, `DataTransferLength` bytes at most.
  // Answers false when the call itself failed (refused, transport or host error, time-out);
  // the block may then be untouched.
  virtual bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) = 0;

  // Closes a handle that Open answered.
  virtual void Close(DeviceHandle handle) = 0;
};

}  // namespace varden
