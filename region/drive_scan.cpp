#include "region/drive_scan.h"

#include <cstring>

#include "drive/drive_access.h"
#include "drive/scsi_codes.h"

namespace varden {

std::string_view DriveEntry::Text() const {
  return std::string_view(bytes.data(), strnlen(bytes.data(), bytes.size()));
}

namespace {

bool IsMakersDrive(const std::uint8_t* inquiry) {
  const auto* id = reinterpret_cast<const char*>(inquiry + scsi::kInquiryVendorOffset);
  return std::memcmp(id, kMakerIdUpper.data(), kMakerIdUpper.size()) == 0 ||
         std::memcmp(id, kMakerIdMixed.data(), kMakerIdMixed.size()) == 0;
}

}  // namespace

int ScanDrives(DriveTable& table, DriveListReceiver* list, ScanProgress* progress) {
  int found = 0;
  int step = 0;
  for (char letter = kFirstDriveLetter; letter <= kLastDriveLetter; ++letter) {
    ++step;
    if (progress != nullptr) progress->Step(step);
    if (OpenDrive(letter) != 0) continue;

    DriveEntry& slot = table[static_cast<std::size_t>(found)];
    slot.bytes[DriveEntry::kLetter] = letter;
    slot.bytes[DriveEntry::kColon] = ':';
    slot.bytes[DriveEntry::kSpace] = ' ';
    if (SendInquiry() != kCommandOk) {
      CloseDrive();
      continue;  // the slot stays free for the next drive
    }
    std::memcpy(slot.bytes.data() + DriveEntry::kIdentification,
                TransferBuffer() + scsi::kInquiryVendorOffset, DriveEntry::kIdentificationLength);
    if (!IsMakersDrive(TransferBuffer())) {
      CloseDrive();
      continue;  // the slot is reused
    }
    if (list != nullptr) list->AddDrive(found, slot.Text());
    ++found;
    CloseDrive();
  }
  return found;
}

}  // namespace varden
