// An emulated optical drive of the maker (and of others), answering through the same device
// seam as real drives: INQUIRY, TEST UNIT READY, REPORT KEY (RPC State), SEND KEY (RPC
// Structure) and READ DVD STRUCTURE (Copyright Information), as an RPC Phase II drive does
// (T10 MMC). For tests, and for running Varden without hardware.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "drive/device_seam.h"

namespace varden::emulated {

// The disc in the drive.
struct Disc {
  bool present = false;
  int becoming_ready_tests = 0;  // TEST UNIT READY answers 02/04/01 this many more times
  bool unit_attention = false;   // one 06/28/00 pending, as after an insertion
  std::uint8_t cpst = 0x00;      // copy protection system type
  std::uint8_t rmi = 0x00;       // region management information: bit n-1 set forbids region n
  friend bool operator==(const Disc&, const Disc&) = default;
};

// How a failing pass-through call looks.
enum class CallFault {
  kNone,
  kUntouched,          // the call fails and the block comes back as it went out
  kStatusZeroNoSense,  // the call fails, status 0, no sense bytes
};

// Faults the drive can be told to show.
struct Faults {
  bool no_device = false;             // no device at the letter: the open fails
  bool capabilities_fails = false;    // opens, but the capabilities query fails
  bool address_fails = false;         // opens, but the address query fails
  CallFault call = CallFault::kNone;  // every pass-through call fails this way
  bool status_without_sense = false;  // failures answer CHECK CONDITION with no sense bytes
  bool timeout = false;           // every command times out (a failed call, the block untouched)
  int reported_sense_length = 0;  // when not 0: SenseInfoLength reported on a failure,
                                  // whatever was asked for (a faulty driver)
  // TEST UNIT READY and medium access (READ DVD STRUCTURE, a SEND KEY that needs the disc)
  // answer 02/04/01 for ever, disc or not; or 06/28/00 for ever.
  bool never_ready = false;
  bool unit_attention_forever = false;
  bool no_report_key = false;  // REPORT KEY answers 05/20/00
  friend bool operator==(const Faults&, const Faults&) = default;
};

// The whole state of one drive: plain data.
struct DriveState {
  char letter = 'D';
  std::string vendor = "MERIDAX ";  // 8 bytes in the answer, padded with spaces
  std::string product = "DVD-ROM";  // 16 bytes, padded with spaces
  std::string revision = "1.08";    // 4 bytes, padded with spaces
  int inquiry_length = 96;          // bytes INQUIRY delivers (fewer for a short answer)
  ScsiAddress address{};
  std::uint8_t region_mask = 0xFF;  // FFh: no region
  int user_changes = 5;             // user controlled changes available
  int vendor_resets = 4;
  std::uint8_t rpc_scheme = 0x01;  // 01h RPC Phase II; 00h does not enforce regions
  bool change_needs_disc = false;  // changing a set region needs a disc the new region plays
  Disc disc;
  Faults faults;
  friend bool operator==(const DriveState&, const DriveState&) = default;
};

// The RPC State type code that the drive reports for its state: 00b no region, 01b set with
// two or more changes left, 10b set with one left, 11b none left.
std::uint8_t TypeCodeOf(const DriveState& drive);

// One command as it reached a drive.
struct RecordedCommand {
  char letter = 0;
  std::vector<std::uint8_t> cdb;  // CdbLength bytes
  std::uint8_t direction = 0;     // DataIn byte of the block
  std::uint32_t length = 0;       // DataTransferLength
  std::uint32_t timeout_seconds = 0;
};

// A set of emulated drives behind the device seam. A call that fails (a time-out, a call
// fault) leaves the drive as it was; SEND KEY spends a change for every region it sets, the
// same region again included, as the drives of the field do.
class EmulatedDrives : public DeviceSeam {
 public:
  EmulatedDrives() = default;
  explicit EmulatedDrives(std::vector<DriveState> drives);

  // Adds a drive (replacing one at the same letter) and answers it.
  DriveState& Add(DriveState drive);
  // The drive at a letter, or nullptr.
  DriveState* Find(char letter);
  std::vector<DriveState>& Drives() { return drives_; }
  const std::vector<DriveState>& Drives() const { return drives_; }

  // Puts a disc in, with one UNIT ATTENTION pending, which the next TEST UNIT READY or medium
  // access reports.
  void InsertDisc(char letter, Disc disc);

  // Every command received, in order, and the number of handles open now.
  const std::vector<RecordedCommand>& Commands() const { return commands_; }
  void ClearCommands() { commands_.clear(); }
  int OpenHandles() const { return open_handles_; }
  int OpenCalls() const { return open_calls_; }

  // DeviceSeam
  bool Open(char letter, DeviceHandle& handle) override;
  bool QueryCapabilities(DeviceHandle handle) override;
  bool QueryAddress(DeviceHandle handle, ScsiAddress& address) override;
  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override;
  void Close(DeviceHandle handle) override;

 private:
  // The drive behind an open handle, or nullptr for a handle that is not open (or whose
  // drive has since been removed).
  DriveState* DriveOf(DeviceHandle handle);

  // Handles are numbered from here, so that a stray 0 or -1 is never taken for one.
  static constexpr DeviceHandle kFirstHandle = 0x4D00;

  std::vector<DriveState> drives_;
  std::vector<RecordedCommand> commands_;
  std::map<DeviceHandle, char> handles_;  // open handles and the letter each was opened on
  DeviceHandle next_handle_ = kFirstHandle;
  int open_handles_ = 0;
  int open_calls_ = 0;
};

}  // namespace varden::emulated
