// The pass-through request block: the platform's SCSI_PASS_THROUGH_DIRECT header, a spare
// word and a 32-byte sense area, built and read byte by byte at fixed offsets.
//
// The header keeps the platform's order on every architecture; only the width of the data
// address (and the alignment that follows from it) changes. For a 32-bit build the block is
// 80 bytes: a 44-byte header, the spare word at 44 and the sense area at 48. For a 64-bit
// build the data address is 8 bytes wide and aligned, which gives a 56-byte header, the
// spare word at 56, the sense area at 60 and a 96-byte block. `Length` always holds the
// header's size and `SenseInfoOffset` the sense area's offset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace varden {

constexpr std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

template <std::size_t AddressWidth>
struct PassThroughLayout {
  static_assert(AddressWidth == 4 || AddressWidth == 8);
  static constexpr std::size_t kAddressWidth = AddressWidth;

  static constexpr std::size_t kLength = 0;      // 2 bytes: header size
  static constexpr std::size_t kScsiStatus = 2;  // 1 byte: status on return
  static constexpr std::size_t kPathId = 3;
  static constexpr std::size_t kTargetId = 4;
  static constexpr std::size_t kLun = 5;
  static constexpr std::size_t kCdbLength = 6;
  static constexpr std::size_t kSenseInfoLength = 7;  // asked for going out, delivered on return
  static constexpr std::size_t kDataIn = 8;           // then three bytes of alignment
  static constexpr std::size_t kDataTransferLength = 12;  // 4 bytes
  static constexpr std::size_t kTimeOutValue = 16;        // 4 bytes, seconds
  static constexpr std::size_t kDataBuffer = AlignUp(20, AddressWidth);
  static constexpr std::size_t kSenseInfoOffset = kDataBuffer + AddressWidth;  // 4 bytes
  static constexpr std::size_t kCdb = kSenseInfoOffset + 4;
  static constexpr std::size_t kCdbSize = 16;
  static constexpr std::size_t kHeaderSize = AlignUp(kCdb + kCdbSize, AddressWidth);
  static constexpr std::size_t kSpare = kHeaderSize;  // 4 bytes, always 0
  static constexpr std::size_t kSenseArea = kSpare + 4;
  static constexpr std::size_t kSenseAreaSize = 32;
  static constexpr std::size_t kBlockSize = AlignUp(kSenseArea + kSenseAreaSize, AddressWidth);
};

using Layout32 = PassThroughLayout<4>;
using Layout64 = PassThroughLayout<8>;
static_assert(Layout32::kHeaderSize == 44 && Layout32::kDataBuffer == 20 &&
              Layout32::kSenseInfoOffset == 24 && Layout32::kCdb == 28 &&
              Layout32::kSenseArea == 48 && Layout32::kBlockSize == 80);
static_assert(Layout64::kHeaderSize == 56 && Layout64::kDataBuffer == 24 &&
              Layout64::kSenseInfoOffset == 32 && Layout64::kCdb == 36 &&
              Layout64::kSenseArea == 60 && Layout64::kBlockSize == 96);

// The layout of this build.
using HostLayout = PassThroughLayout<sizeof(void*)>;

// Transfer directions of the `DataIn` byte.
inline constexpr std::uint8_t kScsiIoctlDataOut = 0;
inline constexpr std::uint8_t kScsiIoctlDataIn = 1;
inline constexpr std::uint8_t kScsiIoctlDataUnspecified = 2;

// Sense bytes every request asks for.
inline constexpr std::uint8_t kRequestedSenseLength = 18;

// Little-endian field access at a fixed offset.
inline void PutLe16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLe32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t GetLe16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t GetLe32(std::span<const std::uint8_t> b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}

// The request block of this build, with typed access to the fields the seams need.
struct PassThroughRequest {
  using Layout = HostLayout;
  alignas(8) std::array<std::uint8_t, Layout::kBlockSize> bytes{};

  std::span<std::uint8_t> Span() { return bytes; }
  std::span<const std::uint8_t> Span() const { return bytes; }

  std::uint8_t ScsiStatus() const { return bytes[Layout::kScsiStatus]; }
  std::uint8_t CdbLength() const { return bytes[Layout::kCdbLength]; }
  std::uint8_t SenseInfoLength() const { return bytes[Layout::kSenseInfoLength]; }
  std::uint8_t DataIn() const { return bytes[Layout::kDataIn]; }
  std::uint32_t DataTransferLength() const { return GetLe32(bytes, Layout::kDataTransferLength); }
  std::uint32_t TimeOutValue() const { return GetLe32(bytes, Layout::kTimeOutValue); }
  std::uint32_t SenseInfoOffset() const { return GetLe32(bytes, Layout::kSenseInfoOffset); }
  std::uint8_t* DataBuffer() const;
  std::span<const std::uint8_t> Cdb() const {
    return std::span<const std::uint8_t>(bytes).subspan(Layout::kCdb, Layout::kCdbSize);
  }

  void SetDataBuffer(void* address);
};

inline std::uint8_t* PassThroughRequest::DataBuffer() const {
  std::uintptr_t address = 0;
  for (std::size_t i = 0; i < Layout::kAddressWidth; ++i) {
    address |= static_cast<std::uintptr_t>(bytes[Layout::kDataBuffer + i]) << (8 * i);
  }
  return reinterpret_cast<std::uint8_t*>(address);
}

inline void PassThroughRequest::SetDataBuffer(void* address) {
  const auto value = reinterpret_cast<std::uintptr_t>(address);
  for (std::size_t i = 0; i < Layout::kAddressWidth; ++i) {
    bytes[Layout::kDataBuffer + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace varden
