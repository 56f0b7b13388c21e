// The Windows device seam: a drive letter opened as "\\.\X:", confirmed as served by the SCSI
// port layer, its SCSI address learned, and each request block passed through with
// IOCTL_SCSI_PASS_THROUGH_DIRECT. All calls are synchronous and answer only success or
// failure; the platform's error codes stay here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "drive/device_seam.h"

namespace varden::win32 {

// The three platform calls the seam makes, replaceable so that its tests can stand in for a
// device. PlatformCalls() answers CreateFileA, DeviceIoControl and CloseHandle.
struct DeviceCalls {
  HANDLE(WINAPI* create_file)
  (LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
   DWORD flags, HANDLE template_file);
  BOOL(WINAPI* device_io_control)
  (HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
   LPDWORD returned, LPOVERLAPPED overlapped);
  BOOL(WINAPI* close_handle)(HANDLE handle);
};
DeviceCalls PlatformCalls();

// The device path of a drive letter: backslash, backslash, full stop, backslash, the letter
// and a colon.
std::string DevicePath(char letter);

class Win32Device final : public DeviceSeam {
 public:
  explicit Win32Device(DeviceCalls calls = PlatformCalls());

  // CreateFileA for reading and writing with shared access, OPEN_EXISTING, no overlapped
  // input and output. False when the device cannot be opened.
  bool Open(char letter, DeviceHandle& handle) override;

  // IOCTL_SCSI_GET_CAPABILITIES. Current systems answer it for legacy port drivers only, so
  // when it fails the storage adapter descriptor (IOCTL_STORAGE_QUERY_PROPERTY) confirms the
  // adapter instead. Either answer tells the adapter's alignment mask. False when neither
  // query succeeds.
  bool QueryCapabilities(DeviceHandle handle) override;

  // IOCTL_SCSI_GET_ADDRESS into a 12-byte area: port number, path id, target id, logical unit.
  bool QueryAddress(DeviceHandle handle, ScsiAddress& address) override;

  // IOCTL_SCSI_PASS_THROUGH_DIRECT with the block as input and output. A data buffer that
  // does not meet the adapter's alignment mask moves through an aligned buffer of the seam;
  // the block then names the caller's buffer again on return, and a data-in command copies
  // back only the bytes the drive delivered.
  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override;

  void Close(DeviceHandle handle) override;

  // The alignment mask learned by the last successful QueryCapabilities (0 before).
  DWORD AlignmentMask() const { return alignment_mask_; }

 private:
  DeviceCalls calls_;
  DWORD alignment_mask_ = 0;
  std::vector<std::uint8_t> bounce_;
};

}  // namespace varden::win32
