#include "drive/linux/sg_translate.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace varden::linux_sg {
namespace {

using L = HostLayout;

constexpr unsigned int kMillisecondsPerSecond = 1000;

// The interface id of the SG_IO version 3 header.
constexpr int kSgInterfaceId = 'S';

// The driver byte of `driver_status`: its low four bits carry the driver's verdict, the high
// four bits a suggestion that older kernels add and that says nothing about success.
constexpr unsigned int kDriverByteMask = 0x0F;
constexpr unsigned int kDriverOk = 0x00;
constexpr unsigned int kDriverSense = 0x08;  // only says that sense bytes are there
constexpr unsigned int kHostOk = 0x00;       // DID_OK; DID_TIME_OUT and the rest are faults

// SCSI_IOCTL_GET_IDLUN's word: one byte per field.
constexpr unsigned int kIdLunTargetShift = 0;
constexpr unsigned int kIdLunLunShift = 8;
constexpr unsigned int kIdLunChannelShift = 16;
constexpr unsigned int kIdLunHostShift = 24;

std::uint8_t ByteAt(std::uint32_t word, unsigned int shift) {
  return static_cast<std::uint8_t>(word >> shift);
}

// The data address of the block, as wide as this build's addresses.
void* DataAddress(std::span<const std::uint8_t> block) {
  std::uintptr_t address = 0;
  for (std::size_t i = 0; i < L::kAddressWidth; ++i) {
    address |= static_cast<std::uintptr_t>(block[L::kDataBuffer + i]) << (8 * i);
  }
  return reinterpret_cast<void*>(address);
}

int Direction(std::uint8_t data_in, std::uint32_t length) {
  // A command that moves no data (TEST UNIT READY) goes out as such, although its block says
  // data-in: SG_IO takes the direction literally and wants none without data.
  if (length == 0) return SG_DXFER_NONE;
  switch (data_in) {
    case kScsiIoctlDataIn:
      return SG_DXFER_FROM_DEV;
    case kScsiIoctlDataOut:
      return SG_DXFER_TO_DEV;
    default:
      return kSgDxferUnknown;
  }
}

}  // namespace

unsigned int TimeoutMilliseconds(std::uint32_t seconds) {
  constexpr auto kMax = std::numeric_limits<unsigned int>::max() - 1;
  if (seconds > kMax / kMillisecondsPerSecond) return kMax;
  return seconds * kMillisecondsPerSecond;
}

sg_io_hdr BlockToSgIo(std::span<const std::uint8_t> block, SenseBuffer& sense) {
  sg_io_hdr hdr{};
  hdr.interface_id = kSgInterfaceId;

  const std::uint32_t length = GetLe32(block, L::kDataTransferLength);
  hdr.dxfer_direction = Direction(block[L::kDataIn], length);
  hdr.dxfer_len = length;
  hdr.dxferp = DataAddress(block);

  // SG_IO only reads the command bytes; the header's pointer is not const-qualified.
  hdr.cmd_len = std::min<std::uint8_t>(block[L::kCdbLength], L::kCdbSize);
  hdr.cmdp = const_cast<std::uint8_t*>(block.data() + L::kCdb);

  hdr.mx_sb_len = std::min<std::uint8_t>(block[L::kSenseInfoLength], sense.size());
  hdr.sbp = sense.data();

  hdr.timeout = TimeoutMilliseconds(GetLe32(block, L::kTimeOutValue));
  return hdr;
}

bool SgIoToBlock(const sg_io_hdr& hdr, const SenseBuffer& sense, std::span<std::uint8_t> block) {
  // Nothing past what was asked for was written; nothing past the sense area fits.
  const std::size_t delivered = std::min<std::size_t>({hdr.sb_len_wr, hdr.mx_sb_len, sense.size()});
  block[L::kScsiStatus] = hdr.status;
  block[L::kSenseInfoLength] = static_cast<std::uint8_t>(delivered);
  std::memcpy(block.data() + L::kSenseArea, sense.data(), delivered);

  const unsigned int driver = hdr.driver_status & kDriverByteMask;
  return hdr.host_status == kHostOk && (driver == kDriverOk || driver == kDriverSense);
}

bool PassBlockThrough(std::span<std::uint8_t> block, const std::function<bool(sg_io_hdr&)>& issue) {
  if (block.size() < L::kBlockSize) return false;
  SenseBuffer sense{};
  sg_io_hdr hdr = BlockToSgIo(block, sense);
  if (hdr.dxfer_direction == kSgDxferUnknown) return false;

  const bool went_through = issue(hdr);
  const bool sound = SgIoToBlock(hdr, sense, block);
  return went_through && sound;
}

ScsiAddress AddressFromIdLun(std::uint32_t dev_id) {
  return ScsiAddress{.port_number = ByteAt(dev_id, kIdLunHostShift),
                     .path_id = ByteAt(dev_id, kIdLunChannelShift),
                     .target_id = ByteAt(dev_id, kIdLunTargetShift),
                     .lun = ByteAt(dev_id, kIdLunLunShift)};
}

}  // namespace varden::linux_sg
