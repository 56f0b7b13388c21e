#include "drive/linux/sg_device.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

#include "drive/linux/sg_translate.h"

namespace varden::linux_sg {
namespace {

// The first SG_IO version whose header is the sg_io_hdr this seam sends (3.0.0).
constexpr int kFirstSgIoVersion = 30000;

// What SCSI_IOCTL_GET_IDLUN fills in: the packed address word, then a host id that the
// address does not need.
struct IdLun {
  std::uint32_t dev_id = 0;
  std::uint32_t host_unique_id = 0;
};

int Descriptor(DeviceHandle handle) {
  return static_cast<int>(handle);
}

// The name of group `gid`, or its number when the group database does not know it (or is
// not there, as in a small initramfs).
std::string GroupName(gid_t gid) {
  const group* entry = ::getgrgid(gid);
  if (entry != nullptr && entry->gr_name != nullptr) return entry->gr_name;
  return std::to_string(gid);
}

}  // namespace

std::vector<RefusedNode> RefusedNodes(const std::string& prefix) {
  std::vector<RefusedNode> refused;
  for (char letter = kFirstDriveLetter; letter <= kLastDriveLetter; ++letter) {
    const std::string path = *DeviceNodePath(prefix, letter);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) continue;
    if (::access(path.c_str(), R_OK) == 0 || (errno != EACCES && errno != EPERM)) continue;
    RefusedNode node{.letter = letter, .path = path, .group = std::nullopt};
    // The root group is no advice: joining it would give away far more than the drive.
    if ((status.st_mode & S_IRGRP) != 0 && status.st_gid != 0)
      node.group = GroupName(status.st_gid);
    refused.push_back(std::move(node));
  }
  return refused;
}

std::string RefusedNodeHint(const RefusedNode& node) {
  std::string hint =
      node.path + " (drive " + node.letter + ":) is there, but this user may not open it: ";
  if (node.group) {
    hint += "add the user to group '" + *node.group + "' (then log in again), or run as root";
  } else {
    hint += "only its owner may, so run as root";
  }
  return hint;
}

std::optional<std::string> DeviceNodePath(const std::string& prefix, char letter) {
  if (letter < kFirstDriveLetter || letter > kLastDriveLetter) return std::nullopt;
  return prefix + std::to_string(letter - kFirstDriveLetter);
}

LinuxDevices::LinuxDevices(std::string node_prefix) : node_prefix_(std::move(node_prefix)) {}

bool LinuxDevices::Open(char letter, DeviceHandle& handle) {
  const std::optional<std::string> path = DeviceNodePath(node_prefix_, letter);
  if (!path) return false;
  // Read-only and non-blocking, unlike the shared read-write open of the Windows drive:
  // - without O_NONBLOCK the CD-ROM driver refuses to open a drive that holds no disc, and
  //   the region of an empty drive must still be read and set;
  // - the kernel lets a read-only opener send every command this program needs through
  //   SG_IO (INQUIRY, TEST UNIT READY, REPORT KEY, READ DVD STRUCTURE, and SEND KEY, which
  //   it files with the read-safe commands), so no root is needed where the desktop grants
  //   the user the drive, and nothing else can be written by mistake.
  const int fd = ::open(path->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  handle = fd;
  return true;
}

bool LinuxDevices::QueryCapabilities(DeviceHandle handle) {
  int version = 0;
  if (::ioctl(Descriptor(handle), SG_GET_VERSION_NUM, &version) != 0) return false;
  return version >= kFirstSgIoVersion;
}

bool LinuxDevices::QueryAddress(DeviceHandle handle, ScsiAddress& address) {
  // SCSI_IOCTL_GET_IDLUN alone gives all four fields. SCSI_IOCTL_GET_BUS_NUMBER would only
  // repeat the host number (untruncated, but the port number is one byte either way, and
  // SG_IO addresses the drive by its descriptor, not by this address).
  IdLun idlun;
  if (::ioctl(Descriptor(handle), SCSI_IOCTL_GET_IDLUN, &idlun) != 0) return false;
  address = AddressFromIdLun(idlun.dev_id);
  return true;
}

bool LinuxDevices::PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) {
  const int fd = Descriptor(handle);
  return PassBlockThrough(block, [fd](sg_io_hdr& hdr) { return ::ioctl(fd, SG_IO, &hdr) == 0; });
}

void LinuxDevices::Close(DeviceHandle handle) {
  ::close(Descriptor(handle));
}

}  // namespace varden::linux_sg
