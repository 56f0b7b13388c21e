#include "drive/region_commands.h"

#include <cstring>

#include "drive/scsi_codes.h"

namespace varden {
namespace {

RpcStateBytes rpc_state;
DiscCopyrightBytes disc_copyright;

using namespace scsi;

alignas(16) std::array<std::uint8_t, kRpcDataLength> rpc_structure{};

}  // namespace

CommandOutcome ReadRpcState() {
  std::array<std::uint8_t, scsi::kCdb12> cdb{};
  cdb[kCdbOpcode] = scsi::kOpReportKey;
  cdb[kCdbLengthLow] = kRpcDataLength;
  cdb[kCdbKeyFormat] = scsi::kKeyFormatRpcState;
  const CommandOutcome outcome = detail::SendCommand({.cdb = cdb,
                                                      .direction = kScsiIoctlDataIn,
                                                      .transfer_length = kRpcDataLength,
                                                      .timeout_seconds = kDvdTimeoutSeconds,
                                                      .data = TransferBuffer()});
  // Kept whatever the outcome: after a failure these are whatever the buffer held.
  if (const std::uint8_t* buffer = TransferBuffer()) {
    std::memcpy(rpc_state.bytes.data(), buffer + kRpcTypeAndCounts, rpc_state.bytes.size());
  }
  return outcome;
}

CommandOutcome SetDriveRegion(int region) {
  rpc_structure.fill(0);
  rpc_structure[kDataLengthLow] = kShortDataLength;
  rpc_structure[kParamPreferredRegion] = RegionMaskOf(region);

  std::array<std::uint8_t, scsi::kCdb12> cdb{};
  cdb[kCdbOpcode] = scsi::kOpSendKey;
  cdb[kCdbLengthLow] = kRpcDataLength;
  cdb[kCdbKeyFormat] = scsi::kKeyFormatRpcStructure;
  return detail::SendCommand({.cdb = cdb,
                              .direction = kScsiIoctlDataOut,
                              .transfer_length = kRpcDataLength,
                              .timeout_seconds = kDvdTimeoutSeconds,
                              .data = rpc_structure.data()});
}

CommandOutcome ReadDvdStructure(std::uint8_t layer, std::uint8_t format, std::uint16_t length,
                                std::uint8_t* buffer) {
  std::memset(buffer, 0, length);
  std::array<std::uint8_t, scsi::kCdb12> cdb{};
  cdb[kCdbOpcode] = scsi::kOpReadDvdStructure;
  cdb[kCdbLayer] = layer;
  cdb[kCdbFormat] = format;
  cdb[kCdbLengthHigh] = static_cast<std::uint8_t>(length >> 8);
  cdb[kCdbLengthLow] = static_cast<std::uint8_t>(length);
  return detail::SendCommand({.cdb = cdb,
                              .direction = kScsiIoctlDataIn,
                              .transfer_length = length,
                              .timeout_seconds = kDvdTimeoutSeconds,
                              .data = buffer});
}

CommandOutcome ReadDiscCopyright() {
  return ReadDvdStructure(0, scsi::kDvdFormatCopyright, DiscCopyrightBytes::kSize,
                          disc_copyright.bytes.data());
}

const RpcStateBytes& RpcState() {
  return rpc_state;
}
const DiscCopyrightBytes& DiscCopyright() {
  return disc_copyright;
}

void ResetRegionCommands() {
  rpc_state = RpcStateBytes{};
  disc_copyright = DiscCopyrightBytes{};
}

}  // namespace varden
