// Several varden-cli processes on one state file: every change is kept, a busy file is
// refused, a change that cannot be kept says so, and a signal never leaves half a save.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "drive/region_commands.h"
#include "emulated/state_file.h"
#include "emulated/state_store.h"

namespace varden::emulated {
namespace {

namespace fs = std::filesystem;
const fs::path kDir = fs::temp_directory_path() / ("varden-sharing-" + std::to_string(getpid()));
const fs::path kFile = kDir / "drives.json";

// E has no region and a change spent, so its change waits two seconds for the disc.
void Reset() {
  fs::remove_all(kDir);
  std::vector<DriveState> drives = DemoScenario();
  drives[0].user_changes = 4;
  drives[0].disc.becoming_ready_tests = 2;
  std::string error;
  ASSERT_TRUE(SaveState(kFile, drives, error)) << error;
}

// Starts `varden-cli --json set DRIVE REGION --yes`, its standard output to kDir/DRIVE.
pid_t Start(const std::string& drive, int region) {
  const std::string out = (kDir / drive).string(), state = "--emulated=" + kFile.string();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
  execl(VARDEN_CLI_PATH, "varden-cli", "--json", state.c_str(), "set", drive.c_str(),
        std::to_string(region).c_str(), "--yes", nullptr);
  _exit(127);
}

// Starts a change of E that waits for its disc, and waits until it has tested it once.
pid_t StartWaiting() {
  const pid_t pid = Start("E", 3);
  while (LoadState(kFile).drives.at(0).disc.becoming_ready_tests == 2) usleep(20000);
  return pid;
}

// The exit status (128 + the signal that ended it) and the document it printed.
std::pair<int, nlohmann::json> Finish(pid_t pid, const std::string& drive) {
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
          nlohmann::json::parse(std::ifstream(kDir / drive), nullptr, false)};
}

std::pair<int, int> RegionAndCount(std::size_t i) {
  const DriveState d = LoadState(kFile).drives.at(i);
  return {d.region_mask, d.user_changes};
}

TEST(StateSharingTest, TwoWritersKeepBothChangesAndFailuresSaySo) {
  Reset();
  const pid_t waiting = StartWaiting();
  EXPECT_EQ(Finish(Start("F", 4), "F").first, 0) << "not held up by the other's spin-up";
  EXPECT_EQ(Finish(waiting, "E").first, 0);
  EXPECT_EQ(RegionAndCount(0), std::make_pair(int{RegionMaskOf(3)}, 3));
  EXPECT_EQ(RegionAndCount(1), std::make_pair(int{RegionMaskOf(4)}, 3));

  // Another program holds the file for long: refused, nothing sent.
  const int lock = open(StateLock::LockFileOf(kFile).c_str(), O_RDWR);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  const auto [busy_status, busy] = Finish(Start("F", 2), "F");
  close(lock);
  EXPECT_EQ(busy_status, 1);
  EXPECT_NE(busy["error"].get<std::string>().find("is busy"), std::string::npos) << busy;
  EXPECT_EQ(RegionAndCount(1), std::make_pair(int{RegionMaskOf(4)}, 3));

  // The file turns read-only while a change waits for the disc: sent, but not kept.
  Reset();
  const pid_t unkept = StartWaiting();
  fs::permissions(kFile, fs::perms(0444));
  const auto [status, doc] = Finish(unkept, "E");
  EXPECT_EQ(status, 1) << doc;
  EXPECT_EQ(doc["outcome"], "not_kept");
  EXPECT_EQ(doc["after"]["drive_state"]["region_mask"], kNoRegionMask) << doc;
  EXPECT_EQ(RegionAndCount(0), std::make_pair(int{kNoRegionMask}, 4));
  fs::remove_all(kDir);
}

TEST(StateSharingTest, SignalNeverLeavesHalfASave) {
  // About when the change is saved, two one-second waits after the first test of the disc.
  for (const auto& [signal, ms] : {std::pair{SIGINT, 1980}, {SIGTERM, 2000}, {SIGHUP, 2020}}) {
    Reset();
    const pid_t pid = StartWaiting();
    usleep(static_cast<useconds_t>(ms) * 1000);
    kill(pid, signal);
    const auto [status, doc] = Finish(pid, "E");
    EXPECT_TRUE(status == 0 || status == 128 + signal) << status;
    EXPECT_TRUE(RegionAndCount(0).first == RegionMaskOf(3) || status != 0) << doc;
    EXPECT_EQ(std::distance(fs::directory_iterator(kDir), fs::directory_iterator()), 3)
        << "no temporary file beside the file, its lock and the output";
  }
  fs::remove_all(kDir);
}

}  // namespace
}  // namespace varden::emulated
