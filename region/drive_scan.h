// The drive scan: probes the letters D to Z once at start and keeps the maker's DVD drives.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "drive/device_seam.h"

namespace varden {

inline constexpr int kScanSteps = kLastDriveLetter - kFirstDriveLetter + 1;  // 23

// One drive found by the scan: the letter, ":", " ", the 24 identification bytes of its
// INQUIRY data (vendor then product, trailing spaces kept), zeros after. Read as a
// zero-terminated text it is the drive-list item.
struct DriveEntry {
  static constexpr std::size_t kSize = 256;
  static constexpr std::size_t kLetter = 0;
  static constexpr std::size_t kColon = 1;
  static constexpr std::size_t kSpace = 2;
  static constexpr std::size_t kIdentification = 3;
  static constexpr std::size_t kIdentificationLength = 24;
  std::array<char, kSize> bytes{};

  char Letter() const { return bytes[kLetter]; }
  // The slot as a zero-terminated text.
  std::string_view Text() const;
};

inline constexpr std::size_t kDriveTableSlots = 256;
using DriveTable = std::array<DriveEntry, kDriveTableSlots>;

// Receives each found drive's list text at its index (the drive list of the main dialog).
class DriveListReceiver {
 public:
  virtual ~DriveListReceiver() = default;
  virtual void AddDrive(int index, std::string_view text) = 0;
};

// Receives each step of the scan, 1 to 23, before its letter is probed (the progress window).
class ScanProgress {
 public:
  virtual ~ScanProgress() = default;
  virtual void Step(int n) = 0;
};

// The identification of the maker's DVD drives, compared with INQUIRY bytes 8 to 18 as they
// stand: no case folding, no trimming.
inline constexpr std::string_view kMakerIdUpper = "MERIDAX DVD";
inline constexpr std::string_view kMakerIdMixed = "Meridax DVD";

// Runs the scan over D to Z into `table` (zeroed by the caller), handing found drives to
// `list` and steps to `progress`; either may be null. Answers the number of drives found.
int ScanDrives(DriveTable& table, DriveListReceiver* list, ScanProgress* progress);

}  // namespace varden
