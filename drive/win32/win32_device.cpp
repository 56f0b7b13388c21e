#include "drive/win32/win32_device.h"

#include <ntddscsi.h>
#include <winioctl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "drive/pass_through.h"

namespace varden::win32 {
namespace {

using L = HostLayout;

// The request block is built byte by byte at the offsets of drive/pass_through.h; the
// platform's own declaration of the header must agree with every one of them, in the
// 32-bit build (44-byte header) and in the 64-bit build (56-byte header) alike.
#ifdef _WIN64
static_assert(std::is_same_v<HostLayout, Layout64>);
#else
static_assert(std::is_same_v<HostLayout, Layout32>);
#endif
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Length) == L::kLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, ScsiStatus) == L::kScsiStatus);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, PathId) == L::kPathId);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TargetId) == L::kTargetId);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Lun) == L::kLun);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, CdbLength) == L::kCdbLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoLength) == L::kSenseInfoLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn) == L::kDataIn);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == L::kDataTransferLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == L::kTimeOutValue);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == L::kDataBuffer);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT::DataBuffer) == L::kAddressWidth);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == L::kSenseInfoOffset);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == L::kCdb);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT::Cdb) == L::kCdbSize);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == L::kHeaderSize);
static_assert(SCSI_IOCTL_DATA_OUT == kScsiIoctlDataOut && SCSI_IOCTL_DATA_IN == kScsiIoctlDataIn &&
              SCSI_IOCTL_DATA_UNSPECIFIED == kScsiIoctlDataUnspecified);

// The control codes and their values.
constexpr DWORD kIoctlScsiGetCapabilities = 0x41010;
constexpr DWORD kIoctlScsiGetAddress = 0x41018;
constexpr DWORD kIoctlScsiPassThroughDirect = 0x4D014;
static_assert(IOCTL_SCSI_GET_CAPABILITIES == kIoctlScsiGetCapabilities);
static_assert(IOCTL_SCSI_GET_ADDRESS == kIoctlScsiGetAddress);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == kIoctlScsiPassThroughDirect);

// The capabilities answer: 24 bytes, of which only the alignment mask is read.
constexpr std::size_t kCapabilitiesSize = 24;
static_assert(sizeof(IO_SCSI_CAPABILITIES) == kCapabilitiesSize);

// The address area: 12 bytes; the platform fills the first eight as SCSI_ADDRESS.
constexpr std::size_t kAddressAreaSize = 12;
constexpr std::size_t kAddressPortNumber = 4;
constexpr std::size_t kAddressPathId = 5;
constexpr std::size_t kAddressTargetId = 6;
constexpr std::size_t kAddressLun = 7;
static_assert(offsetof(SCSI_ADDRESS, PortNumber) == kAddressPortNumber);
static_assert(offsetof(SCSI_ADDRESS, PathId) == kAddressPathId);
static_assert(offsetof(SCSI_ADDRESS, TargetId) == kAddressTargetId);
static_assert(offsetof(SCSI_ADDRESS, Lun) == kAddressLun);
static_assert(sizeof(SCSI_ADDRESS) <= kAddressAreaSize);

// The device path's text buffer, cleared before the path is written.
constexpr std::size_t kPathBufferSize = 256;
constexpr char kDevicePrefix[] = "\\\\.\\";

HANDLE ToHandle(DeviceHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

DeviceCalls PlatformCalls() {
  return DeviceCalls{&CreateFileA, &DeviceIoControl, &CloseHandle};
}

std::string DevicePath(char letter) {
  return std::string(kDevicePrefix) + letter + ':';
}

Win32Device::Win32Device(DeviceCalls calls) : calls_(calls) {}

bool Win32Device::Open(char letter, DeviceHandle& handle) {
  std::array<char, kPathBufferSize> path{};
  const std::string device = DevicePath(letter);
  std::copy(device.begin(), device.end(), path.begin());

  const HANDLE opened =
      calls_.create_file(path.data(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  alignment_mask_ = 0;
  handle = reinterpret_cast<DeviceHandle>(opened);
  return true;
}

bool Win32Device::QueryCapabilities(DeviceHandle handle) {
  IO_SCSI_CAPABILITIES capabilities{};
  DWORD returned = 0;
  if (calls_.device_io_control(ToHandle(handle), kIoctlScsiGetCapabilities, nullptr, 0,
                               &capabilities, kCapabilitiesSize, &returned, nullptr)) {
    alignment_mask_ = capabilities.AlignmentMask;
    return true;
  }

  // The storage stack's own description of the adapter confirms it just as well.
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageAdapterProperty;
  query.QueryType = PropertyStandardQuery;
  STORAGE_ADAPTER_DESCRIPTOR adapter{};
  returned = 0;
  if (!calls_.device_io_control(ToHandle(handle), IOCTL_STORAGE_QUERY_PROPERTY, &query,
                                sizeof(query), &adapter, sizeof(adapter), &returned, nullptr)) {
    return false;
  }
  // A descriptor too short to hold the mask does not describe an adapter.
  constexpr DWORD kThroughMask =
      offsetof(STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask) + sizeof(DWORD);
  if (returned < kThroughMask) return false;
  alignment_mask_ = adapter.AlignmentMask;
  return true;
}

bool Win32Device::QueryAddress(DeviceHandle handle, ScsiAddress& address) {
  alignas(SCSI_ADDRESS) std::array<std::uint8_t, kAddressAreaSize> area{};
  DWORD returned = 0;
  if (!calls_.device_io_control(ToHandle(handle), kIoctlScsiGetAddress, nullptr, 0, area.data(),
                                kAddressAreaSize, &returned, nullptr)) {
    return false;
  }
  address.port_number = area[kAddressPortNumber];
  address.path_id = area[kAddressPathId];
  address.target_id = area[kAddressTargetId];
  address.lun = area[kAddressLun];
  return true;
}

bool Win32Device::PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) {
  if (block.size() != L::kBlockSize) return false;

  PassThroughRequest request;
  std::copy(block.begin(), block.end(), request.bytes.begin());
  std::uint8_t* const data = request.DataBuffer();
  const std::uint32_t length = request.DataTransferLength();
  const bool data_in = request.DataIn() == kScsiIoctlDataIn;

  // A buffer the adapter cannot address directly moves through an aligned one.
  const auto misalignment = reinterpret_cast<std::uintptr_t>(data) & alignment_mask_;
  const bool bounced = length > 0 && data != nullptr && misalignment != 0;
  std::uint8_t* aligned = nullptr;
  if (bounced) {
    bounce_.assign(length + alignment_mask_, 0);
    const auto start = reinterpret_cast<std::uintptr_t>(bounce_.data());
    aligned = reinterpret_cast<std::uint8_t*>((start + alignment_mask_) &
                                              ~std::uintptr_t{alignment_mask_});
    if (!data_in) std::memcpy(aligned, data, length);
    request.SetDataBuffer(aligned);
    std::copy(request.bytes.begin(), request.bytes.end(), block.begin());
  }

  DWORD returned = 0;
  const DWORD size = static_cast<DWORD>(block.size());
  const BOOL ok =
      calls_.device_io_control(ToHandle(handle), kIoctlScsiPassThroughDirect, block.data(), size,
                               block.data(), size, &returned, nullptr);

  if (bounced) {
    // The platform reports in DataTransferLength how many bytes moved; only those are news.
    // After a failed call the block may be the one that went out, whose length promises
    // bytes that never came: nothing is copied then, so the caller's buffer keeps what it had.
    if (data_in && ok != FALSE) {
      const std::uint32_t delivered = std::min(GetLe32(block, L::kDataTransferLength), length);
      std::memcpy(data, aligned, delivered);
    }
    std::copy(block.begin(), block.end(), request.bytes.begin());
    request.SetDataBuffer(data);
    std::copy(request.bytes.begin(), request.bytes.end(), block.begin());
  }
  return ok != FALSE;
}

void Win32Device::Close(DeviceHandle handle) {
  calls_.close_handle(ToHandle(handle));
}

}  // namespace varden::win32
