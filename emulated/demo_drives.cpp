// The demo's drives and where the demo keeps them.
#include "emulated/demo_drives.h"

#include <cstdlib>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include "drive/region_commands.h"
#include "drive/scsi_codes.h"

namespace varden::emulated {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kRpcSchemeNotEnforced = 0x00;
constexpr std::uint8_t kRmiAllRegions = 0x00;  // no bit set: no region forbidden
// Bit n-1 set forbids region n: everything but regions 2 and 4.
constexpr std::uint8_t kRmiRegions2And4 = static_cast<std::uint8_t>(
    ~(static_cast<std::uint8_t>(~RegionMaskOf(2)) | static_cast<std::uint8_t>(~RegionMaskOf(4))));
static_assert(kRmiRegions2And4 == 0xF5);

}  // namespace

std::vector<DriveState> DemoScenario() {
  std::vector<DriveState> drives;

  DriveState fresh;  // never set: no region, all five changes, an unprotected disc
  fresh.letter = 'E';
  fresh.vendor = "MERIDAX ";
  fresh.product = "DVD-ROM MX-1608";
  fresh.revision = "1.08";
  fresh.address = {.port_number = 1, .path_id = 0, .target_id = 0, .lun = 0};
  fresh.region_mask = kNoRegionMask;
  fresh.user_changes = 5;
  fresh.disc = {.present = true, .cpst = kCpstNone, .rmi = kRmiAllRegions};
  drives.push_back(fresh);

  DriveState region2;  // region 2, four changes left, a protected disc for regions 2 and 4
  region2.letter = 'F';
  region2.vendor = "Meridax ";
  region2.product = "DVD-ROM MX-1204";
  region2.revision = "2.10";
  region2.address = {.port_number = 1, .path_id = 0, .target_id = 1, .lun = 0};
  region2.region_mask = RegionMaskOf(2);
  region2.user_changes = 4;
  region2.disc = {.present = true, .cpst = kCpstCssCppm, .rmi = kRmiRegions2And4};
  drives.push_back(region2);

  DriveState empty;  // no disc in the tray
  empty.letter = 'G';
  empty.vendor = "MERIDAX ";
  empty.product = "DVD-ROM MX-1612";
  empty.revision = "1.12";
  empty.address = {.port_number = 2, .path_id = 0, .target_id = 0, .lun = 0};
  empty.region_mask = kNoRegionMask;
  empty.user_changes = 5;
  drives.push_back(empty);

  DriveState permanent;  // region 1 for good: no change left
  permanent.letter = 'H';
  permanent.vendor = "MERIDAX ";
  permanent.product = "DVD-ROM MX-0824";
  permanent.revision = "1.02";
  permanent.address = {.port_number = 2, .path_id = 0, .target_id = 1, .lun = 0};
  permanent.region_mask = RegionMaskOf(1);
  permanent.user_changes = 0;
  permanent.disc = {.present = true, .cpst = kCpstNone, .rmi = kRmiAllRegions};
  drives.push_back(permanent);

  DriveState other;  // another maker's drive, which the scan passes over
  other.letter = 'I';
  other.vendor = "OTHERCO ";
  other.product = "CD-RW 52X";
  other.revision = "3.00";
  other.address = {.port_number = 3, .path_id = 0, .target_id = 0, .lun = 0};
  other.region_mask = kNoRegionMask;
  other.rpc_scheme = kRpcSchemeNotEnforced;
  drives.push_back(other);

  return drives;
}

std::filesystem::path DefaultStateFile() {
  fs::path tail = fs::path("varden") / "drives.json";
  // A relative XDG_STATE_HOME is to be ignored, as the base directory convention says.
  if (const char* state = std::getenv("XDG_STATE_HOME");
      state != nullptr && fs::path(state).is_absolute()) {
    return fs::path(state) / tail;
  }
  if (const char* home = std::getenv("HOME");
      home != nullptr && fs::path(home).has_root_directory()) {
    return fs::path(home) / ".local" / "state" / tail;
  }
#ifndef _WIN32
  // No usable HOME: the home folder the system knows for the user.
  if (const passwd* user = ::getpwuid(::getuid());
      user != nullptr && user->pw_dir != nullptr && fs::path(user->pw_dir).is_absolute()) {
    return fs::path(user->pw_dir) / ".local" / "state" / tail;
  }
#endif
  return {};  // no home folder at all: no default, never a path relative to the working folder
}

}  // namespace varden::emulated
