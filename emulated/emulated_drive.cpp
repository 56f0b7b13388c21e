// The emulated drives. Each request block is read field by field, the command is recorded,
// the drive's faults are applied, and then the command runs against the drive's state:
//
// - A pass-through call that fails (a time-out or one of the call faults) does not reach the
//   drive's logic: nothing in the drive changes, as when a request is lost on its way.
// - A UNIT ATTENTION pending after an insertion is reported once, by the next TEST UNIT READY
//   or medium access (READ DVD STRUCTURE, or a SEND KEY that needs the disc); INQUIRY and
//   the RPC commands that do not touch the disc pass it by.
// - SEND KEY spends one user change for every region it sets, the first setting from "no
//   region" and the setting of the region the drive already has included, as the drives of
//   the field do.
// - The RPC scheme byte is only reported: a drive that reports 00h still takes a region.
// - Sense bytes go to the block's sense offset, at most the 18 of fixed-format sense and at
//   most as many as were asked for, and never past the end of the block.
#include "emulated/emulated_drive.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <optional>

#include "drive/pass_through.h"
#include "drive/region_commands.h"
#include "drive/scsi_codes.h"

namespace varden::emulated {
namespace {

using L = HostLayout;

using namespace scsi;

// CDB field values that the drive checks.
constexpr std::uint8_t kInquiryEvpd = 0x01;
constexpr std::uint8_t kKeyClassDvdCssCppm = 0x00;  // the only key class a DVD drive takes
constexpr std::uint8_t kFirstLayer = 0;

// Standard INQUIRY data.
constexpr std::size_t kInquiryDataSize = 96;
constexpr std::size_t kInquiryPeripheral = 0;
constexpr std::uint8_t kPeripheralCdDvd = 0x05;  // qualifier 0, device type CD/DVD
constexpr std::size_t kInquiryRemovable = 1;
constexpr std::uint8_t kRemovableMedium = 0x80;  // RMB
constexpr std::size_t kInquiryResponseFormat = 3;
constexpr std::uint8_t kResponseFormatStandard = 0x02;
constexpr std::size_t kInquiryAdditionalLength = 4;  // bytes that follow byte 4
constexpr std::size_t kInquiryHeaderSize = 5;
constexpr char kInquiryPad = ' ';

// The 8-byte answers and parameter list (fields in drive/scsi_codes.h).
constexpr std::size_t kShortAnswerSize = 8;
constexpr std::uint8_t kCountMask = 0x07;  // vendor resets and user changes: 3 bits each

// Fixed-format sense data.
constexpr std::uint8_t kSenseKeyField = 0x0F;
constexpr std::uint8_t kAdditionalSenseLength = scsi::kFixedSenseLength - 8;  // bytes after 7
constexpr std::uint8_t kNoAscq = 0x00;
constexpr std::uint32_t kMaxReportedSenseLength = 0xFF;  // the field is one byte

// What the drive answers to one command.
struct Answer {
  std::uint8_t status = scsi::kStatusGood;
  std::uint8_t sense_key = scsi::kSenseKeyNoSense;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  std::array<std::uint8_t, kInquiryDataSize> data{};
  std::size_t data_length = 0;  // data-in bytes, already cut to the allocation length
};

Answer Good() {
  return Answer{};
}

Answer Check(std::uint8_t sense_key, std::uint8_t asc, std::uint8_t ascq) {
  Answer answer;
  answer.status = scsi::kStatusCheckCondition;
  answer.sense_key = sense_key;
  answer.asc = asc;
  answer.ascq = ascq;
  return answer;
}

Answer InvalidField() {
  return Check(scsi::kSenseKeyIllegalRequest, scsi::kAscInvalidFieldInCdb, kNoAscq);
}
Answer InvalidOpcode() {
  return Check(scsi::kSenseKeyIllegalRequest, scsi::kAscInvalidOpcode, kNoAscq);
}
Answer BecomingReady() {
  return Check(scsi::kSenseKeyNotReady, scsi::kAscNotReady, scsi::kAscqBecomingReady);
}
Answer MediumNotPresent() {
  return Check(scsi::kSenseKeyNotReady, scsi::kAscMediumNotPresent, kNoAscq);
}
Answer MediumChanged() {
  return Check(scsi::kSenseKeyUnitAttention, scsi::kAscMediumChanged, kNoAscq);
}

// The request as the drive sees it. CDB bytes past CdbLength read as 0.
struct Request {
  std::array<std::uint8_t, L::kCdbSize> cdb{};
  std::uint8_t cdb_length = 0;
  std::uint8_t direction = 0;
  std::uint32_t transfer_length = 0;
  std::uint32_t timeout_seconds = 0;
  std::uint8_t* data = nullptr;
  std::uint8_t sense_asked = 0;

  std::uint16_t Cdb16(std::size_t high, std::size_t low) const {
    return static_cast<std::uint16_t>((cdb[high] << 8) | cdb[low]);
  }
  std::uint8_t KeyFormat() const { return cdb[kCdbKeyFormat] & scsi::kKeyFormatMask; }
};

Request ReadRequest(std::span<const std::uint8_t> block) {
  Request request;
  request.cdb_length = block[L::kCdbLength];
  std::copy_n(block.begin() + L::kCdb, request.cdb_length, request.cdb.begin());
  request.direction = block[L::kDataIn];
  request.transfer_length = GetLe32(block, L::kDataTransferLength);
  request.timeout_seconds = GetLe32(block, L::kTimeOutValue);
  request.sense_asked = block[L::kSenseInfoLength];
  std::uintptr_t address = 0;
  for (std::size_t i = 0; i < L::kAddressWidth; ++i) {
    address |= static_cast<std::uintptr_t>(block[L::kDataBuffer + i]) << (8 * i);
  }
  request.data = reinterpret_cast<std::uint8_t*>(address);
  return request;
}

// Whether the medium can be accessed now; otherwise the answer that says why. `counts` is
// true for TEST UNIT READY, whose answers count the spin-up down.
std::optional<Answer> MediumNotReady(DriveState& drive, bool counts) {
  if (drive.faults.unit_attention_forever) return MediumChanged();
  if (drive.faults.never_ready) return BecomingReady();
  Disc& disc = drive.disc;
  if (!disc.present) return MediumNotPresent();
  if (disc.unit_attention) {
    disc.unit_attention = false;
    return MediumChanged();
  }
  if (disc.becoming_ready_tests > 0) {
    if (counts) --disc.becoming_ready_tests;
    return BecomingReady();
  }
  return std::nullopt;
}

void PutPadded(std::array<std::uint8_t, kInquiryDataSize>& data, std::size_t at, std::size_t width,
               const std::string& text) {
  for (std::size_t i = 0; i < width; ++i) {
    data[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : kInquiryPad);
  }
}

Answer Inquiry(const DriveState& drive, const Request& request) {
  if ((request.cdb[kCdbInquiryFlags] & kInquiryEvpd) != 0) return InvalidField();  // no VPD
  Answer answer = Good();
  auto& data = answer.data;
  data[kInquiryPeripheral] = kPeripheralCdDvd;
  data[kInquiryRemovable] = kRemovableMedium;
  data[kInquiryResponseFormat] = kResponseFormatStandard;
  data[kInquiryAdditionalLength] = kInquiryDataSize - kInquiryHeaderSize;
  PutPadded(data, scsi::kInquiryVendorOffset, scsi::kInquiryVendorLength, drive.vendor);
  PutPadded(data, scsi::kInquiryProductOffset, scsi::kInquiryProductLength, drive.product);
  PutPadded(data, scsi::kInquiryRevisionOffset, scsi::kInquiryRevisionLength, drive.revision);
  const std::size_t deliverable =
      static_cast<std::size_t>(std::clamp<int>(drive.inquiry_length, 0, kInquiryDataSize));
  answer.data_length = std::min<std::size_t>(
      deliverable, request.Cdb16(kCdbInquiryLengthHigh, kCdbInquiryLengthLow));
  return answer;
}

Answer TestUnitReady(DriveState& drive) {
  if (auto not_ready = MediumNotReady(drive, /*counts=*/true)) return *not_ready;
  return Good();
}

// An 8-byte answer with data length 0006h, cut to the allocation length.
Answer ShortAnswer(const Request& request) {
  Answer answer = Good();
  answer.data[kDataLengthHigh] = 0;
  answer.data[kDataLengthLow] = kShortDataLength;
  answer.data_length =
      std::min<std::size_t>(kShortAnswerSize, request.Cdb16(kCdbLengthHigh, kCdbLengthLow));
  return answer;
}

Answer ReportKey(const DriveState& drive, const Request& request) {
  if (drive.faults.no_report_key) return InvalidOpcode();
  if (request.cdb[kCdbKeyClass] != kKeyClassDvdCssCppm) return InvalidField();
  if (request.KeyFormat() != scsi::kKeyFormatRpcState) return InvalidField();
  Answer answer = ShortAnswer(request);
  const auto resets = static_cast<std::uint8_t>(drive.vendor_resets) & kCountMask;
  const auto changes = static_cast<std::uint8_t>(drive.user_changes) & kCountMask;
  answer.data[kRpcTypeAndCounts] =
      static_cast<std::uint8_t>((TypeCodeOf(drive) << RpcStateBytes::kTypeCodeShift) |
                                (resets << RpcStateBytes::kVendorResetsShift) | changes);
  answer.data[kRpcRegionMask] = drive.region_mask;
  answer.data[kRpcScheme] = drive.rpc_scheme;
  return answer;
}

// Whether a region mask names exactly one region: exactly one bit cleared.
bool NamesOneRegion(std::uint8_t mask) {
  return std::popcount(static_cast<std::uint8_t>(~mask)) == 1;
}

Answer SendKey(DriveState& drive, const Request& request) {
  if (request.cdb[kCdbKeyClass] != kKeyClassDvdCssCppm) return InvalidField();
  if (request.KeyFormat() != scsi::kKeyFormatRpcStructure) return InvalidField();
  // The whole parameter list must come out to the drive.
  if (request.Cdb16(kCdbLengthHigh, kCdbLengthLow) < kShortAnswerSize ||
      request.transfer_length < kShortAnswerSize || request.data == nullptr ||
      request.direction != kScsiIoctlDataOut) {
    return InvalidField();
  }
  const std::uint8_t mask = request.data[kParamPreferredRegion];
  if (!NamesOneRegion(mask)) return InvalidField();
  if (drive.user_changes <= 0) {
    return Check(scsi::kSenseKeyIllegalRequest, scsi::kAscCopyProtectionFailure,
                 scsi::kAscqNoMoreRegionResets);
  }
  if (drive.change_needs_disc && drive.region_mask != kNoRegionMask) {
    if (auto not_ready = MediumNotReady(drive, /*counts=*/false)) return *not_ready;
    // RMI bit n-1 set: the disc may not be played in region n.
    const auto new_region_bit = static_cast<std::uint8_t>(~mask);
    if ((drive.disc.rmi & new_region_bit) != 0) {
      return Check(scsi::kSenseKeyIllegalRequest, scsi::kAscCopyProtectionFailure,
                   scsi::kAscqRegionMismatch);
    }
  }
  drive.region_mask = mask;
  --drive.user_changes;
  return Good();
}

Answer ReadDvdStructure(DriveState& drive, const Request& request) {
  if (request.cdb[kCdbFormat] != scsi::kDvdFormatCopyright) return InvalidField();
  if (request.cdb[kCdbLayer] != kFirstLayer) return InvalidField();  // single-layer discs
  if (auto not_ready = MediumNotReady(drive, /*counts=*/false)) return *not_ready;
  Answer answer = ShortAnswer(request);
  answer.data[DiscCopyrightBytes::kCpstOffset] = drive.disc.cpst;
  answer.data[DiscCopyrightBytes::kRmiOffset] = drive.disc.rmi;
  return answer;
}

Answer Execute(DriveState& drive, const Request& request) {
  switch (request.cdb[kCdbOpcode]) {
    case scsi::kOpTestUnitReady:
      return TestUnitReady(drive);
    case scsi::kOpInquiry:
      return Inquiry(drive, request);
    case scsi::kOpReportKey:
      return ReportKey(drive, request);
    case scsi::kOpSendKey:
      return SendKey(drive, request);
    case scsi::kOpReadDvdStructure:
      return ReadDvdStructure(drive, request);
    default:
      return InvalidOpcode();
  }
}

// Writes the answer back: data in, status, and on a CHECK CONDITION the sense bytes.
void WriteAnswer(const Answer& answer, const Request& request, const Faults& faults,
                 std::span<std::uint8_t> block) {
  if (request.direction == kScsiIoctlDataIn && request.data != nullptr) {
    const std::size_t length = std::min<std::size_t>(answer.data_length, request.transfer_length);
    std::copy_n(answer.data.begin(), length, request.data);
  }
  block[L::kScsiStatus] = answer.status;
  if (answer.status == scsi::kStatusGood) {
    block[L::kSenseInfoLength] = 0;
    return;
  }

  std::array<std::uint8_t, scsi::kFixedSenseLength> sense{};
  sense[scsi::kSenseResponseCode] = scsi::kSenseCurrentFixed;
  sense[scsi::kSenseKey] = answer.sense_key & kSenseKeyField;
  sense[scsi::kSenseAdditionalLength] = kAdditionalSenseLength;
  sense[scsi::kSenseAsc] = answer.asc;
  sense[scsi::kSenseAscq] = answer.ascq;

  std::size_t delivered =
      faults.status_without_sense ? 0 : std::min<std::size_t>(sense.size(), request.sense_asked);
  const std::size_t offset = GetLe32(block, L::kSenseInfoOffset);
  delivered = offset < block.size() ? std::min(delivered, block.size() - offset) : 0;
  std::copy_n(sense.begin(), delivered, block.begin() + static_cast<std::ptrdiff_t>(offset));

  // A faulty driver may claim more than it wrote; the claim is reported as it is.
  const std::uint32_t reported =
      faults.reported_sense_length > 0
          ? std::min<std::uint32_t>(static_cast<std::uint32_t>(faults.reported_sense_length),
                                    kMaxReportedSenseLength)
          : static_cast<std::uint32_t>(delivered);
  block[L::kSenseInfoLength] = static_cast<std::uint8_t>(reported);
}

}  // namespace

std::uint8_t TypeCodeOf(const DriveState& drive) {
  if (drive.region_mask == kNoRegionMask) return kTypeCodeNoRegion;
  if (drive.user_changes >= 2) return kTypeCodeRegionSet;
  if (drive.user_changes == 1) return kTypeCodeLastChange;
  return kTypeCodePermanent;
}

EmulatedDrives::EmulatedDrives(std::vector<DriveState> drives) {
  for (auto& drive : drives) Add(std::move(drive));
}

DriveState& EmulatedDrives::Add(DriveState drive) {
  if (DriveState* existing = Find(drive.letter)) {
    *existing = std::move(drive);
    return *existing;
  }
  return drives_.emplace_back(std::move(drive));
}

DriveState* EmulatedDrives::Find(char letter) {
  const auto it = std::find_if(drives_.begin(), drives_.end(),
                               [letter](const DriveState& d) { return d.letter == letter; });
  return it == drives_.end() ? nullptr : &*it;
}

void EmulatedDrives::InsertDisc(char letter, Disc disc) {
  DriveState* drive = Find(letter);
  if (drive == nullptr) return;
  drive->disc = disc;
  drive->disc.present = true;
  drive->disc.unit_attention = true;
}

DriveState* EmulatedDrives::DriveOf(DeviceHandle handle) {
  const auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : Find(it->second);
}

bool EmulatedDrives::Open(char letter, DeviceHandle& handle) {
  ++open_calls_;
  const DriveState* drive = Find(letter);
  if (drive == nullptr || drive->faults.no_device) return false;
  handle = next_handle_++;
  handles_.emplace(handle, letter);
  ++open_handles_;
  return true;
}

bool EmulatedDrives::QueryCapabilities(DeviceHandle handle) {
  const DriveState* drive = DriveOf(handle);
  return drive != nullptr && !drive->faults.capabilities_fails;
}

bool EmulatedDrives::QueryAddress(DeviceHandle handle, ScsiAddress& address) {
  const DriveState* drive = DriveOf(handle);
  if (drive == nullptr || drive->faults.address_fails) return false;
  address = drive->address;
  return true;
}

bool EmulatedDrives::PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) {
  DriveState* drive = DriveOf(handle);
  // A bad handle or a malformed block never reaches a drive.
  if (drive == nullptr || block.size() < L::kBlockSize) return false;
  const std::uint8_t cdb_length = block[L::kCdbLength];
  if (cdb_length == 0 || cdb_length > L::kCdbSize) return false;

  const Request request = ReadRequest(block);
  commands_.push_back(RecordedCommand{
      .letter = drive->letter,
      .cdb = std::vector<std::uint8_t>(request.cdb.begin(), request.cdb.begin() + cdb_length),
      .direction = request.direction,
      .length = request.transfer_length,
      .timeout_seconds = request.timeout_seconds});

  const Faults& faults = drive->faults;
  if (faults.timeout || faults.call == CallFault::kUntouched) return false;
  if (faults.call == CallFault::kStatusZeroNoSense) {
    block[L::kScsiStatus] = scsi::kStatusGood;
    block[L::kSenseInfoLength] = 0;
    return false;
  }

  const Answer answer = Execute(*drive, request);
  WriteAnswer(answer, request, faults, block);
  return true;
}

void EmulatedDrives::Close(DeviceHandle handle) {
  if (handles_.erase(handle) > 0) --open_handles_;
}

}  // namespace varden::emulated
