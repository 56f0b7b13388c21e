// The DVD region commands: REPORT KEY (RPC State), SEND KEY (RPC Structure) and READ DVD
// STRUCTURE (Copyright Information), each sent through the one request block of drive access.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "drive/drive_access.h"

namespace varden {

inline constexpr int kFirstRegion = 1;
inline constexpr int kLastRegion = 6;
inline constexpr std::uint8_t kNoRegionMask = 0xFF;  // a region mask that names no region

// The mask naming exactly one region (1 to 6): bit region-1 cleared. FFh for anything else.
constexpr std::uint8_t RegionMaskOf(int region) {
  if (region < kFirstRegion || region > kLastRegion) return kNoRegionMask;
  return static_cast<std::uint8_t>(~(1u << (region - 1)));
}

// Bytes 4 to 7 of the RPC State answer, kept from one ReadRpcState to the next.
struct RpcStateBytes {
  std::array<std::uint8_t, 4> bytes{};

  static constexpr std::uint8_t kTypeCodeMask = 0xC0;  // byte 4, bits 7..6
  static constexpr std::uint8_t kTypeCodeShift = 6;
  static constexpr std::uint8_t kVendorResetsMask = 0x38;  // byte 4, bits 5..3
  static constexpr std::uint8_t kVendorResetsShift = 3;
  static constexpr std::uint8_t kUserChangesMask = 0x07;  // byte 4, bits 2..0
  static constexpr std::uint8_t kRpcSchemePhaseII = 0x01;

  std::uint8_t TypeCode() const { return (bytes[0] & kTypeCodeMask) >> kTypeCodeShift; }
  std::uint8_t VendorResets() const { return (bytes[0] & kVendorResetsMask) >> kVendorResetsShift; }
  std::uint8_t UserChanges() const { return bytes[0] & kUserChangesMask; }
  std::uint8_t RegionMask() const { return bytes[1]; }
  std::uint8_t RpcScheme() const { return bytes[2]; }
};

// Type codes of the RPC State answer.
inline constexpr std::uint8_t kTypeCodeNoRegion = 0;
inline constexpr std::uint8_t kTypeCodeRegionSet = 1;
inline constexpr std::uint8_t kTypeCodeLastChange = 2;  // set, with restrictions on a change
inline constexpr std::uint8_t kTypeCodePermanent = 3;

// The Copyright Information answer of READ DVD STRUCTURE, 8 bytes.
struct DiscCopyrightBytes {
  static constexpr std::size_t kSize = 8;
  static constexpr std::size_t kCpstOffset = 4;
  static constexpr std::size_t kRmiOffset = 5;
  alignas(16) std::array<std::uint8_t, kSize> bytes{};

  std::uint8_t Cpst() const { return bytes[kCpstOffset]; }
  std::uint8_t Rmi() const { return bytes[kRmiOffset]; }
};

// Copy protection system types.
inline constexpr std::uint8_t kCpstNone = 0x00;
inline constexpr std::uint8_t kCpstCssCppm = 0x01;
inline constexpr std::uint8_t kCpstCprm = 0x02;

// Length of the RPC State answer and of the RPC Structure parameter list.
inline constexpr std::uint8_t kRpcDataLength = 8;

// REPORT KEY, RPC State, 8 bytes into the transfer buffer; afterwards, whatever the outcome,
// RpcState() holds transfer buffer bytes 4 to 7.
CommandOutcome ReadRpcState();

// SEND KEY, RPC Structure, with RegionMaskOf(region) as the preferred drive region.
CommandOutcome SetDriveRegion(int region);

// READ DVD STRUCTURE into the caller's buffer (at least `length` bytes), cleared first so a
// failed command leaves zeros where the drive sent nothing.
CommandOutcome ReadDvdStructure(std::uint8_t layer, std::uint8_t format, std::uint16_t length,
                                std::uint8_t* buffer);

// ReadDvdStructure(0, Copyright Information, 8, DiscCopyright).
CommandOutcome ReadDiscCopyright();

const RpcStateBytes& RpcState();
const DiscCopyrightBytes& DiscCopyright();

// Zero RpcState and DiscCopyright, as at program start (for tests and tools that start over).
void ResetRegionCommands();

}  // namespace varden
