// The state file of the emulated drives and the store that shares it: what is saved comes
// back, a file that cannot be used is reported by name and left alone, a save cut short never
// costs the old state, a command is one transaction other processes wait for, and nobody
// else's file is touched whatever other users planted beside it.
#include "emulated/state_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "data_rows.h"
#include "drive/region_commands.h"
#include "emulated/state_store.h"

namespace varden::emulated {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// A drive in which every field differs from its default.
DriveState Unusual(char letter) {
  const Disc disc{true, 3, true, 0x02, 0xC1};
  const Faults f{true, true, true, CallFault::kStatusZeroNoSense, true, true, 200,
                 true, true, true};
  return {letter, "Meridax ", "DVD-ROM MX-9", "9.Z", 36, {255, 1, 7, 3}, 0xDF, 1,
          0,      0,          true,           disc,  f};
}

std::optional<std::string> ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Names Listing(const fs::path& folder) {
  Names names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::ranges::sort(names);
  return names;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

constexpr uid_t kNobody = 65534;

// The error of connecting to `file`, or "ok".
std::string Connected(const fs::path& file, bool will_change = false) {
  return StoredDrives(file).Connect(will_change).value_or("ok");
}

void SpendChange(EmulatedDrives& drives) {
  --drives.Drives()[0].user_changes;
}

class StateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("varden-state-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::permissions(folder_, fs::perms(01777));  // shared with other users, sticky
    file_ = folder_ / "drives.json";
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Save(const std::vector<DriveState>& drives) {
    std::string error;
    ASSERT_TRUE(SaveState(file_, drives, error)) << error;
  }
  int UserChanges() { return LoadState(file_).drives.at(0).user_changes; }

  fs::path folder_, file_;
};

// A save writes through links into folders it makes, keeps the mode of the file it replaces
// (a new file is private), takes a name up to the file system's limit, and every field
// comes back.
TEST_F(StateFileTest, EveryFieldComesBackThroughLinksAndModes) {
  const std::vector<DriveState> drives = {Unusual('Z'), DriveState{}, Unusual('E')};
  const struct {
    std::string name;
    bool link;
    int mode;  // of the file before; 0: none, nor its folder
  } cases[] = {{std::string(255, 'n'), false, 0644},
               {"a.json", false, 0},
               {"a.json", false, 0640},
               {"a.json", true, 0604},
               {"a.json", true, 0}};
  for (const auto& [name, link, mode] : cases) {
    SCOPED_TRACE(testing::Message() << name.size() << link << mode);
    fs::remove_all(folder_ / "real");
    fs::remove(file_);
    const fs::path target = folder_ / "real" / "state" / name, named = link ? file_ : target;
    if (mode != 0 || link) {  // else the save makes the folders
      fs::create_directories(target.parent_path());
      EXPECT_EQ(CheckWritable(named), "");
    }
    if (mode != 0) std::ofstream(target) << "x", fs::permissions(target, fs::perms(mode));
    if (link) fs::create_symlink(fs::path("real") / "state" / name, file_);
    std::string error;
    ASSERT_TRUE(SaveState(named, drives, error)) << error;
    EXPECT_EQ(fs::is_symlink(file_), link);
    EXPECT_EQ(LoadState(target).drives, drives);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(mode != 0 ? mode : 0600));
    EXPECT_EQ(Listing(target.parent_path()).size(), 1u);
  }
  const std::string text = ReadFile(folder_ / "real" / "state" / "a.json").value_or("");
  EXPECT_TRUE(Has(text, "\"region_mask\": \"0xDF\"")) << text;
  EXPECT_TRUE(Has(text, "\"call\": \"status_zero_no_sense\""));

  // Written by hand: plain numbers, hexadecimal in either case, fields left out.
  std::ofstream(file_) << R"({"version": 1, "drives": [{"letter": "F", "region_mask": 253,
      "user_changes": 4, "disc": {"present": true, "rmi": "0xf5", "cpst": 1},
      "address": {"target_id": "0x02"}}]})";
  DriveState expected{
      .letter = 'F', .region_mask = 0xFD, .user_changes = 4, .disc = {}, .faults = {}};
  expected.disc = {.present = true, .cpst = 0x01, .rmi = 0xF5};
  expected.address.target_id = 2;
  EXPECT_EQ(LoadState(file_).drives, std::vector{expected});
}

// The files of tests/data/state_files.tsv, and one nested 70000 levels deep.
TEST_F(StateFileTest, UnusableFileIsReportedByNameAndLeftAlone) {
  auto cases = test_support::DataRows("state_files.tsv", "unusable");
  cases.push_back(
      {"", std::string(70000, '[') + std::string(70000, ']'), "nested deeper than 4 levels"});
  for (const auto& row : cases) {
    const std::string &text = row[1], &says = row[2];
    SCOPED_TRACE(text);
    std::ofstream(file_, std::ios::binary) << text;
    const LoadResult loaded = LoadState(file_);
    EXPECT_TRUE(!loaded.ok && loaded.drives.empty() && Has(loaded.error, file_.string()));
    EXPECT_TRUE(Has(loaded.error, says)) << loaded.error;
    EXPECT_TRUE(std::ranges::none_of(loaded.error, [](char b) { return b >= 0 && b < ' '; }));
    EXPECT_EQ(ReadFile(file_), text);
    EXPECT_EQ(Listing(folder_), Names{"drives.json"});
  }
  for (const fs::path& path : {folder_ / "absent.json", folder_ / "absent" / "x.json", folder_}) {
    const LoadResult loaded = LoadState(path);
    EXPECT_TRUE(!loaded.ok && Has(loaded.error, path.string())) << loaded.error;
    EXPECT_EQ(Listing(folder_), Names{"drives.json"});
  }
}

// A save that fails or is cut short costs the old state and leaves only what it was cut
// short with; the next save removes leftovers of ended processes (a child's) and of this one.
TEST_F(StateFileTest, AFailedSaveCostsNothingAndTheNextSaveCleansUp) {
  const struct {
    SaveStop stop;
    bool unreadable;  // what could not be read back is not written
    std::size_t files;
  } cases[] = {{SaveStop::kAfterHalfTheText, false, 2},
               {SaveStop::kBeforeRename, false, 2},
               {SaveStop::kNever, true, 1}};
  for (const auto& [stop, unreadable, files] : cases) {
    SCOPED_TRACE(static_cast<int>(stop));
    fs::remove_all(folder_);
    std::vector<DriveState> drives = DemoScenario();
    Save(drives);
    const auto before = ReadFile(file_);
    drives[0].region_mask = RegionMaskOf(3);
    drives[1].letter = unreadable ? drives[0].letter : drives[1].letter;
    std::string error;
    EXPECT_FALSE(SaveState(file_, drives, error, stop));
    EXPECT_TRUE(Has(error, unreadable ? "drives[1].letter" : file_.string())) << error;
    EXPECT_EQ(ReadFile(file_), before);
    EXPECT_EQ(Listing(folder_).size(), files);
    const pid_t child = stop == SaveStop::kBeforeRename ? ::fork() : ::getpid();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string pid = std::to_string(::getpid());
    for (const std::string& name : Listing(folder_)) {
      if (const auto at = name.find("." + pid + "."); at != std::string::npos) {
        fs::rename(folder_ / name,
                   folder_ / std::string(name).replace(at + 1, pid.size(), std::to_string(child)));
      }
    }
    drives[1].letter = DemoScenario()[1].letter;
    Save(drives);
    EXPECT_EQ(LoadState(file_).drives.at(0).region_mask, RegionMaskOf(3));
    EXPECT_EQ(Listing(folder_), Names{"drives.json"});
  }
  // A folder standing where the file should be: the rename fails and the new file goes.
  std::string error;
  fs::create_directories(folder_ / "taken" / "inside");
  EXPECT_FALSE(SaveState(folder_ / "taken", DemoScenario(), error));
  EXPECT_TRUE(Has(error, (folder_ / "taken").string())) << error;
  EXPECT_EQ(Listing(folder_), (Names{"drives.json", "taken"}));
}

// Another process inside its transaction: this one waits for it (and reads what it saved),
// or calls the file busy after waiting long; no change is lost either way.
TEST_F(StateFileTest, ACommandWaitsForAnotherInsideItsTransaction) {
  for (const bool busy : {false, true}) {
    Save(DemoScenario());
    StoredDrives drives(file_);
    ASSERT_FALSE(drives.Connect(false));
    int inside[2], go[2];
    ASSERT_EQ(::pipe(inside) | ::pipe(go), 0);
    const pid_t other = ::fork();
    if (other == 0) {
      StoredDrives theirs(file_);
      char c = 0;
      if (theirs.Connect(false) || theirs.Begin() || ::write(inside[1], "i", 1) != 1) ::_exit(1);
      busy ? (void)::read(go[0], &c, 1) : (void)::usleep(300000);
      ::_exit(theirs.Apply(SpendChange) ? (theirs.End(), 0) : 1);
    }
    char c = 0;
    ASSERT_EQ(::read(inside[0], &c, 1), 1);
    std::optional<std::string> begun = drives.Begin();
    EXPECT_EQ(begun.has_value(), busy);
    if (begun) {
      EXPECT_NE(begun->find("is busy"), std::string::npos) << *begun;
      EXPECT_EQ(::write(go[1], "g", 1), 1);
      ::waitpid(other, nullptr, 0);
      ASSERT_FALSE(drives.Begin());
    }
    EXPECT_EQ(drives.KeptState('E')->user_changes, 4);
    EXPECT_TRUE(drives.Apply(SpendChange));
    drives.End();
    ::waitpid(other, nullptr, 0);
    EXPECT_EQ(UserChanges(), 3);
    for (const int fd : {inside[0], inside[1], go[0], go[1]}) ::close(fd);
  }
}

// What stands at a path: a state file reached through a link only as the protected-links
// rule allows, a lock file that is no plain file or cannot be opened. A command that may save
// never runs unlocked and never hangs, a refused path is left as it was with nothing made
// beside it, and a lock made by one user (with a strict umask) serves the file's other users.
TEST_F(StateFileTest, OnlySafeLinksAndPlainLocksAreUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "plays another user: needs root";
  const fs::path lock = StateLock::LockFileOf(file_);
  const auto link = [&](const char* name, const char* to, uid_t owner = 0) {
    fs::create_symlink(to, folder_ / name);
    ::lchown((folder_ / name).c_str(), owner, owner);
    return folder_ / name;
  };
  const struct {
    std::function<fs::path()> plant;  // the path to connect to
    bool nobody;                      // connects as the user nobody, to change the drives
    const char* says;
  } cases[] = {
      {[&] { return link("theirs", "drives.json", kNobody); }, false, "belongs to another user"},
      {[&] { return link("mine", "drives.json"); }, false, "ok"},
      {[&] { return link("dangling", "gone/x.json"); }, false, "does not exist"},
      {[&] { return link("loop", "loop"); }, false, "links in a row"},
      {[&] { return ::mkfifo((folder_ / "fifo").c_str(), 0644), folder_ / "fifo"; }, false,
       "not a regular file"},
      {[&] { return ::mkfifo(lock.c_str(), 0644), file_; }, true, "not a regular file"},
      {[&] { return link(lock.filename().c_str(), "elsewhere"), file_; }, true,
       "cannot open the lock file"},
      {[&] { return ::close(::open(lock.c_str(), O_CREAT | O_WRONLY, 0600)), file_; }, true,
       "cannot open the lock"},
      {[&] { return ::umask(077), (void)Connected(file_, true), ::umask(022), file_; }, true, "ok"},
      {[&] { return ::close(::open(lock.c_str(), O_CREAT, 0600)), (void)Connected(file_), file_; },
       true, "ok"},
  };
  for (const auto& [plant, nobody, says] : cases) {
    SCOPED_TRACE(says);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::permissions(folder_, fs::perms(01777));
    Save(DemoScenario());
    fs::permissions(file_, fs::perms(0666));
    std::ofstream(folder_ / "elsewhere") << "x";
    const fs::path path = plant();
    const auto before = Listing(folder_);
    const pid_t child = ::fork();  // killed if it hangs
    if (child == 0) {
      ::alarm(5);
      if (nobody && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(99);
      ::_exit(Has(Connected(path, nobody), says) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(std::string(says) == "ok" || Listing(folder_) == before);
  }
  // Root's change of another user's file keeps its owner, and the link stays a link.
  ::chown(file_.c_str(), kNobody, kNobody);
  StoredDrives drives(link("mine", "drives.json"));
  ASSERT_FALSE(drives.Connect(true));
  EXPECT_TRUE(drives.Apply(SpendChange));
  EXPECT_TRUE(fs::is_symlink(folder_ / "mine"));
  struct stat st {};
  EXPECT_EQ((::stat(file_.c_str(), &st), st.st_uid), kNobody);
  EXPECT_EQ(UserChanges(), 4);
}

// A change of region that cannot be saved is undone; a spun-up disc lives on in memory and
// reaches the file when the transaction ends.
TEST_F(StateFileTest, WhatIsKeptIsSavedAtOnceAndTheRestAtTheEnd) {
  EXPECT_EQ(Connected(file_, true), "ok");  // makes the demo's file
  fs::permissions(file_, fs::perms(0444));
  EXPECT_NE(Connected(file_, true).find("read-only"), std::string::npos);
  StoredDrives drives(file_);
  ASSERT_FALSE(drives.Connect(false));
  EXPECT_FALSE(drives.Apply(SpendChange));
  EXPECT_TRUE(drives.NotKept().has_value());
  EXPECT_EQ(drives.KeptState('E')->user_changes, 5);
  const auto spin = [](EmulatedDrives& d) { d.Drives()[2].disc.present = true; };
  EXPECT_TRUE(drives.Apply(spin));
  EXPECT_TRUE(drives.KeptState('G')->disc.present);
  fs::permissions(file_, fs::perms(0644));
  ASSERT_FALSE(drives.Begin());
  EXPECT_TRUE(drives.Apply(SpendChange));
  EXPECT_EQ(UserChanges(), 4);
  EXPECT_TRUE(drives.Apply([](EmulatedDrives& d) { d.Drives()[2].disc.unit_attention = true; }));
  EXPECT_FALSE(LoadState(file_).drives.at(2).disc.unit_attention);
  drives.End();
  EXPECT_TRUE(LoadState(file_).drives.at(2).disc.unit_attention);
  DeviceHandle handle = 0;
  EXPECT_FALSE(drives.Open('Z', handle));  // no drive: the transaction it began is over
  EXPECT_EQ(Connected(file_), "ok");
  // A link put in the file's place after it was found is not read.
  fs::rename(file_, folder_ / "other");
  fs::create_symlink("other", file_);
  EXPECT_NE(drives.Begin().value_or("").find("a link"), std::string::npos);
}

// A signal that ends the program waits for the save in progress, and then takes effect.
TEST_F(StateFileTest, ASignalNeverLeavesHalfASave) {
  const std::string text = StateText(DemoScenario());
  Save(DemoScenario());  // there even when a signal comes before the first save
  for (int delay_us = 1000; delay_us < 6000; delay_us += 1000) {
    const pid_t saver = ::fork();
    if (saver == 0) ::alarm(5);  // ends a saver that never sees the signal
    for (std::string error; saver == 0;) ReplaceFile(file_, text, error);
    ::usleep(delay_us);
    ::kill(saver, SIGTERM);
    int status = 0;
    ::waitpid(saver, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(Listing(folder_), std::vector<std::string>{"drives.json"}) << delay_us;
  }
}

// The other tests name their files, so the environment need not be restored.
TEST(DefaultStateFileTest, FollowsTheStateFolderOfTheUser) {
  for (const auto& row : test_support::DataRows("state_files.tsv", "default")) {
    const std::string &home = row[1], &state_home = row[2], &expected = row[3];
    ::setenv("HOME", home.c_str(), 1);
    state_home == "-" ? ::unsetenv("XDG_STATE_HOME")
                      : ::setenv("XDG_STATE_HOME", state_home.c_str(), 1);
    const fs::path file = DefaultStateFile();
    EXPECT_TRUE(expected.empty() ? file.is_absolute() : file == expected) << home << " " << file;
  }
}

}  // namespace
}  // namespace varden::emulated
