// Speed of the drive scan over the 23 letters and of one command's round trip through the
// core, on emulated drives.
#include <benchmark/benchmark.h>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "drive/region_commands.h"
#include "emulated/emulated_drive.h"
#include "emulated/state_file.h"
#include "region/drive_scan.h"

namespace varden {
namespace {

struct Setup {
  explicit Setup(std::vector<emulated::DriveState> state) : drives(std::move(state)) {
    ResetDriveAccess();
    SetDeviceSeam(&drives);
    AllocateTransferBuffer();
  }
  ~Setup() {
    ReleaseTransferBuffer();
    ResetDriveAccess();
  }
  emulated::EmulatedDrives drives;
};

// Scans D to Z over and over on the given drives.
void RunScans(benchmark::State& state, std::vector<emulated::DriveState> drives) {
  Setup setup(std::move(drives));
  auto table = std::make_unique<DriveTable>();
  for (auto _ : state) {
    *table = DriveTable{};
    benchmark::DoNotOptimize(ScanDrives(*table, nullptr, nullptr));
    setup.drives.ClearCommands();
  }
}

// The demo's five drives: most letters fail at the open, as on a real machine.
void BM_ScanDemoDrives(benchmark::State& state) {
  RunScans(state, emulated::DemoScenario());
}
BENCHMARK(BM_ScanDemoDrives);

// A drive at every letter, each answering INQUIRY.
void BM_ScanTwentyThreeDrives(benchmark::State& state) {
  std::vector<emulated::DriveState> all;
  for (char letter = kFirstDriveLetter; letter <= kLastDriveLetter; ++letter) {
    emulated::DriveState drive;
    drive.letter = letter;
    all.push_back(drive);
  }
  RunScans(state, std::move(all));
}
BENCHMARK(BM_ScanTwentyThreeDrives);

// One REPORT KEY: clear and fill the block, pass it through, settle, copy the state.
void BM_ReportKeyRoundTrip(benchmark::State& state) {
  emulated::DriveState drive;
  drive.letter = 'E';
  Setup setup({drive});
  OpenDrive('E');
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadRpcState());
    setup.drives.ClearCommands();
  }
  CloseDrive();
}
BENCHMARK(BM_ReportKeyRoundTrip);

}  // namespace
}  // namespace varden

BENCHMARK_MAIN();
