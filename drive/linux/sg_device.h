// The Linux device seam: the drive letters D to Z stand for the CD-ROM device nodes
// /dev/sr0 to /dev/sr22, in that order, and every request goes through the SG_IO ioctl.
//
// Time-outs: the SCSI layer raises any SG_IO time-out shorter than 7 seconds to 7 seconds on
// these nodes (a time-out of 0 becomes its 60-second default), so a drive that never answers
// holds a call for at least 7 seconds here, plus whatever the error handler then takes, not
// the 2 or 5 seconds the command asks for.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "drive/device_seam.h"

namespace varden::linux_sg {

inline constexpr const char* kDefaultNodePrefix = "/dev/sr";

// The device node of `letter` under `prefix`: prefix + "0" for D up to prefix + "22" for Z.
// Nothing for a letter outside D to Z (lower case included).
std::optional<std::string> DeviceNodePath(const std::string& prefix, char letter);

// A device node that exists but that this user may not read, so that the scan passes it by
// as if no drive were there.
struct RefusedNode {
  char letter = 0;
  std::string path;
  // Who may read it: the node's group by name (its number when the name cannot be looked
  // up, as in a system without a group database), or nothing when only its owner may.
  std::optional<std::string> group;
};

// The nodes of D to Z under `prefix` that exist but that access() refuses for reading
// (EACCES, EPERM), in letter order. Opens nothing. A missing node is simply not a drive.
std::vector<RefusedNode> RefusedNodes(const std::string& prefix = kDefaultNodePrefix);

// One line for the user: the node, its letter, and what to do about it.
std::string RefusedNodeHint(const RefusedNode& node);

class LinuxDevices : public DeviceSeam {
 public:
  // `node_prefix` names the device nodes without their number; tests point it elsewhere.
  explicit LinuxDevices(std::string node_prefix = kDefaultNodePrefix);

  // Opens the letter's node read-only and non-blocking. Answers false when the letter is
  // outside D to Z or the node is missing or cannot be opened (as a missing drive does).
  bool Open(char letter, DeviceHandle& handle) override;

  // True when the SCSI layer serves the node: it answers SG_GET_VERSION_NUM with an SG_IO
  // version 3 or later. A regular file or another kind of device answers false.
  bool QueryCapabilities(DeviceHandle handle) override;

  // The address from SCSI_IOCTL_GET_IDLUN: host number as the port number, channel as the
  // path id, then target id and logical unit. Answers false when the ioctl fails.
  bool QueryAddress(DeviceHandle handle, ScsiAddress& address) override;

  // One SG_IO call for the block (see PassBlockThrough). Answers false when the ioctl fails
  // or the answer reports a host or driver fault, a time-out among them.
  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override;

  void Close(DeviceHandle handle) override;

 private:
  std::string node_prefix_;
};

}  // namespace varden::linux_sg
