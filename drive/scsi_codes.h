// Operation codes, key formats and sense codes of the commands Varden sends.
// Names follow the T10 SPC and MMC command sets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varden::scsi {

// Operation codes.
inline constexpr std::uint8_t kOpTestUnitReady = 0x00;
inline constexpr std::uint8_t kOpInquiry = 0x12;
inline constexpr std::uint8_t kOpSendKey = 0xA3;
inline constexpr std::uint8_t kOpReportKey = 0xA4;
inline constexpr std::uint8_t kOpReadDvdStructure = 0xAD;

// CDB lengths.
inline constexpr std::uint8_t kCdb6 = 6;
inline constexpr std::uint8_t kCdb12 = 12;

// CDB fields. Byte 0 of every CDB is the operation code.
inline constexpr std::size_t kCdbOpcode = 0;
inline constexpr std::size_t kCdbInquiryFlags = 1;       // INQUIRY: EVPD in bit 0
inline constexpr std::size_t kCdbInquiryLengthHigh = 3;  // INQUIRY allocation length, 16 bits
inline constexpr std::size_t kCdbInquiryLengthLow = 4;
// The 12-byte CDBs of REPORT KEY, SEND KEY and READ DVD STRUCTURE.
inline constexpr std::size_t kCdbLayer = 6;       // READ DVD STRUCTURE: layer number
inline constexpr std::size_t kCdbFormat = 7;      // READ DVD STRUCTURE: format code
inline constexpr std::size_t kCdbKeyClass = 7;    // REPORT KEY / SEND KEY: key class
inline constexpr std::size_t kCdbLengthHigh = 8;  // allocation or parameter list length
inline constexpr std::size_t kCdbLengthLow = 9;
inline constexpr std::size_t kCdbKeyFormat = 10;  // AGID in bits 7..6, key format in 5..0

// The 8-byte answers of REPORT KEY (RPC State) and READ DVD STRUCTURE (Copyright
// Information), and the RPC Structure parameter list of SEND KEY: a 2-byte data length, two
// reserved bytes, then four bytes of data.
inline constexpr std::size_t kDataLengthHigh = 0;
inline constexpr std::size_t kDataLengthLow = 1;
inline constexpr std::uint8_t kShortDataLength = 0x06;  // the bytes after the length field
inline constexpr std::size_t kRpcTypeAndCounts = 4;     // type code, vendor resets, user changes
inline constexpr std::size_t kRpcRegionMask = 5;
inline constexpr std::size_t kRpcScheme = 6;
inline constexpr std::size_t kParamPreferredRegion = 4;  // SEND KEY: the region mask to set

// REPORT KEY / SEND KEY key formats (CDB byte 10, bits 5..0; AGID in bits 7..6 stays 0).
inline constexpr std::uint8_t kKeyFormatRpcStructure = 0x06;  // SEND KEY: set the drive region
inline constexpr std::uint8_t kKeyFormatRpcState = 0x08;      // REPORT KEY: read the RPC state
inline constexpr std::uint8_t kKeyFormatMask = 0x3F;

// READ DVD STRUCTURE format codes.
inline constexpr std::uint8_t kDvdFormatCopyright = 0x01;

// SCSI status bytes.
inline constexpr std::uint8_t kStatusGood = 0x00;
inline constexpr std::uint8_t kStatusCheckCondition = 0x02;

// Fixed-format sense data: offsets and the response code a device sends.
inline constexpr std::size_t kSenseResponseCode = 0;
inline constexpr std::size_t kSenseKey = 2;  // sense key in bits 3..0, flag bits above
inline constexpr std::size_t kSenseAdditionalLength = 7;
inline constexpr std::size_t kSenseAsc = 12;
inline constexpr std::size_t kSenseAscq = 13;
inline constexpr std::size_t kFixedSenseLength = 18;
inline constexpr std::uint8_t kSenseCurrentFixed = 0x70;

// Sense keys.
inline constexpr std::uint8_t kSenseKeyNoSense = 0x00;
inline constexpr std::uint8_t kSenseKeyNotReady = 0x02;
inline constexpr std::uint8_t kSenseKeyIllegalRequest = 0x05;
inline constexpr std::uint8_t kSenseKeyUnitAttention = 0x06;

// Additional sense codes and qualifiers.
inline constexpr std::uint8_t kAscNotReady = 0x04;  // logical unit not ready, ...
inline constexpr std::uint8_t kAscqBecomingReady = 0x01;
inline constexpr std::uint8_t kAscqManualInterventionRequired = 0x03;
inline constexpr std::uint8_t kAscInvalidOpcode = 0x20;
inline constexpr std::uint8_t kAscInvalidFieldInCdb = 0x24;
inline constexpr std::uint8_t kAscMediumChanged = 0x28;  // not ready to ready change
inline constexpr std::uint8_t kAscIncompatibleMedium = 0x30;
inline constexpr std::uint8_t kAscMediumNotPresent = 0x3A;
inline constexpr std::uint8_t kAscCopyProtectionFailure = 0x6F;
inline constexpr std::uint8_t kAscqRegionMismatch = 0x04;      // media region code mismatch
inline constexpr std::uint8_t kAscqNoMoreRegionResets = 0x05;  // drive region must be permanent

// Standard INQUIRY data.
inline constexpr std::size_t kInquiryVendorOffset = 8;
inline constexpr std::size_t kInquiryVendorLength = 8;
inline constexpr std::size_t kInquiryProductOffset = 16;
inline constexpr std::size_t kInquiryProductLength = 16;
inline constexpr std::size_t kInquiryRevisionOffset = 32;
inline constexpr std::size_t kInquiryRevisionLength = 4;

}  // namespace varden::scsi
