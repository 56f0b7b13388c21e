// The state file of the emulated drives: what is saved comes back, a file that cannot be
// used is reported by name and left alone, and a save cut short never costs the old state.
#include "emulated/state_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "drive/region_commands.h"

namespace varden::emulated {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

auto Fields(const DriveState& d) {
  const Faults& f = d.faults;
  return std::make_tuple(
      d.letter, d.vendor, d.product, d.revision, d.inquiry_length, d.address.port_number,
      d.address.path_id, d.address.target_id, d.address.lun, d.region_mask, d.user_changes,
      d.vendor_resets, d.rpc_scheme, d.change_needs_disc, d.disc.present,
      d.disc.becoming_ready_tests, d.disc.unit_attention, d.disc.cpst, d.disc.rmi, f.no_device,
      f.capabilities_fails, f.address_fails, static_cast<int>(f.call), f.status_without_sense,
      f.timeout, f.reported_sense_length, f.never_ready, f.unit_attention_forever, f.no_report_key);
}

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

class StateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("varden-state-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    file_ = folder_ / "drives.json";
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Save(const std::vector<DriveState>& drives) {
    std::string error;
    ASSERT_TRUE(SaveState(file_, drives, error)) << error;
  }

  fs::path folder_, file_;
};

TEST_F(StateFileTest, EveryFieldComesBackAndTheFoldersAreCreated) {
  file_ = folder_ / "state" / "varden" / "drives.json";
  const std::vector<DriveState> drives = {Unusual('Z'), DriveState{}, Unusual('E')};
  Save(drives);
  const LoadResult loaded = LoadState(file_);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  ASSERT_EQ(loaded.drives.size(), drives.size());
  for (std::size_t i = 0; i < drives.size(); ++i) {
    EXPECT_EQ(Fields(loaded.drives[i]), Fields(drives[i])) << "drive " << i;
  }
  const std::string text = ReadFile(file_).value_or("");
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
  const LoadResult hand = LoadState(file_);
  ASSERT_EQ(hand.drives.size(), 1u) << hand.error;
  EXPECT_EQ(Fields(hand.drives[0]), Fields(expected));
}

// A state file of one drive E: with `fields` added.
std::string DriveE(const std::string& fields) {
  return R"({"version": 1, "drives": [{"letter": "E", )" + fields + "}]}";
}

TEST_F(StateFileTest, UnusableFileIsReportedByNameAndLeftAlone) {
  const std::pair<std::string, std::string> cases[] = {
      // text, part of the error
      {"", "not valid JSON"},
      {"[1, 2]", "expected an object"},
      {R"({"version": 1})", "drives: missing"},
      {R"({"version": 1, "drives": {}})", "drives: expected a list"},
      {R"({"version": 2, "drives": []})", "version"},
      {R"({"version": 0, "drives": []})", "version: 0 is not a format"},
      {R"({"version": 1, "drives": [], "extra": 1})", "top level.extra: not a known field"},
      {R"({"version": 1, "drives": [{}]})", "drives[0].letter: missing"},
      {R"({"version": 1, "drives": [{"letter": "C"}]})", "from D to Z"},
      {R"({"version": 1, "drives": [{"letter": "e"}]})", "from D to Z"},
      {R"({"version": 1, "drives": [{"letter": "E"}, {"letter": "E"}]})", "drives[1].letter"},
      {DriveE(R"("region_mask": 256)"), "drives[0].region_mask: 256 is out of range"},
      {DriveE(R"("disc": {"cpst": -1})"), "drives[0].disc.cpst"},
      {DriveE(R"("region_mask": "0x1FF")"), "drives[0].region_mask"},
      {DriveE(R"("rpc_scheme": "0xZZ")"), "drives[0].rpc_scheme"},
      {DriveE(R"("address": {"lun": 1.5})"), "drives[0].address.lun: expected a whole number"},
      {DriveE(R"("address": {"lu": 1})"), "drives[0].address.lu: not a known field"},
      {DriveE(R"("user_changes": 8)"), "drives[0].user_changes: 8 is out of range (0 to 7)"},
      {DriveE(R"("user_changes": "5")"), "drives[0].user_changes: expected a whole number"},
      {DriveE(R"("vendor_resets": 9)"), "drives[0].vendor_resets"},
      {DriveE(R"("change_needs_disc": 1)"), "change_needs_disc: expected true or false"},
      {DriveE(R"("faults": {"call": "sometimes"})"), "drives[0].faults.call"},
      {DriveE(R"("user_change": 3)"), "drives[0].user_change: not a known field"},
      {DriveE(R"("vendor": "MERIDAX CO")"), "drives[0].vendor"},
      {DriveE(R"("inquiry_length": 97)"), "drives[0].inquiry_length"},
      {DriveE(R"("vendor": "MX\u0007")"), "drives[0].vendor: only printable ASCII"},
      {std::string(70000, '[') + std::string(70000, ']'), "nested deeper than 4 levels"},
      {DriveE(R"("disc": {"rmi": [1]})"), "nested deeper than 4 levels"},
      {DriveE(R"("user_changes": 3, "user_changes": 4)"), "key \"user_changes\" stands twice"},
      // Shown with C0 and C1 control characters escaped, cut at a character boundary.
      {DriveE(R"("region_mask": "\u001b[31mRED")"), R"(found "\u001B[31mRED")"},
      {DriveE(R"("vendor": "\u009b31m\u001b]0;t\u0007")"), R"("\u009B31m\u001B]0;t\u0007")"},
      {DriveE(R"("product": ")" + std::string(31, 'x') + "\u00e9\u00e9\u00e9\u00e9\u00e9\""),
       "\"" + std::string(31, 'x') + "\u00e9\u00e9\u00e9\u00e9...\""},
  };
  for (const auto& [text, says] : cases) {
    SCOPED_TRACE(text);
    std::ofstream(file_, std::ios::binary) << text;
    const LoadResult loaded = LoadState(file_);
    EXPECT_FALSE(loaded.ok);
    EXPECT_TRUE(loaded.drives.empty());
    EXPECT_TRUE(Has(loaded.error, file_.string())) << loaded.error;
    EXPECT_TRUE(Has(loaded.error, says)) << loaded.error;
    EXPECT_TRUE(std::ranges::none_of(loaded.error, [](char b) { return b >= 0 && b < ' '; }));
    EXPECT_EQ(ReadFile(file_), text);
    EXPECT_EQ(Listing(folder_), Names{"drives.json"});
  }
  for (const fs::path& path : {folder_ / "absent.json", folder_ / "absent" / "x.json", folder_}) {
    const LoadResult loaded = LoadState(path);
    EXPECT_FALSE(loaded.ok);
    EXPECT_TRUE(Has(loaded.error, path.string())) << loaded.error;
    EXPECT_EQ(Listing(folder_), Names{"drives.json"});
  }
}

TEST_F(StateFileTest, InterruptedSaveLeavesTheOldStateAndTheNextSaveWorks) {
  for (const SaveStop stop : {SaveStop::kAfterHalfTheText, SaveStop::kBeforeRename}) {
    SCOPED_TRACE(static_cast<int>(stop));
    fs::remove_all(folder_);
    std::vector<DriveState> drives = DemoScenario();
    Save(drives);
    const auto before = ReadFile(file_);
    drives[0].region_mask = RegionMaskOf(3);
    std::string error;
    EXPECT_FALSE(SaveState(file_, drives, error, stop));
    EXPECT_TRUE(Has(error, file_.string())) << error;
    EXPECT_EQ(ReadFile(file_), before);
    EXPECT_EQ(Listing(folder_).size(), 2u) << "the interrupted new file stays behind";
    // The next save removes leftovers of ended processes (a child's) and of this one.
    const pid_t child = stop == SaveStop::kBeforeRename ? ::fork() : ::getpid();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string pid = "." + std::to_string(::getpid()) + ".";
    for (const std::string& name : Listing(folder_)) {
      if (const auto at = name.find(pid); at != std::string::npos) {
        fs::rename(folder_ / name, folder_ / (name.substr(0, at) + "." + std::to_string(child) +
                                              "." + name.substr(at + pid.size())));
      }
    }
    Save(drives);
    EXPECT_EQ(LoadState(file_).drives.at(0).region_mask, RegionMaskOf(3));
    EXPECT_EQ(Listing(folder_), Names{"drives.json"});
  }
}

// A save writes through links, keeps the mode of the file it replaces (a new file is private),
// and takes a name up to the file system's limit; a file nobody may write is refused before.
TEST_F(StateFileTest, SaveKeepsLinksAndModes) {
  const std::tuple<std::string, bool, int> cases[] = {// name, through a link, mode before
                                                      {std::string(255, 'n'), false, 0644},
                                                      {"a.json", false, 0},
                                                      {"a.json", false, 0640},
                                                      {"a.json", true, 0604},
                                                      {"a.json", true, 0}};
  for (const auto& [name, link, mode] : cases) {
    SCOPED_TRACE(testing::Message() << name.size() << link << mode);
    fs::remove_all(folder_);
    const fs::path target = folder_ / "real" / name, named = link ? file_ : target;
    fs::create_directories(target.parent_path());
    if (mode != 0) std::ofstream(target) << "x";
    if (mode != 0) fs::permissions(target, fs::perms(mode));
    if (link) fs::create_symlink(fs::path("real") / name, file_);
    EXPECT_EQ(CheckWritable(named), "");
    std::string error;
    ASSERT_TRUE(SaveState(named, {Unusual('E')}, error)) << error;
    EXPECT_EQ(fs::is_symlink(file_), link);
    EXPECT_EQ(Fields(LoadState(target).drives.at(0)), Fields(Unusual('E')));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(mode != 0 ? mode : 0600));
    EXPECT_EQ(Listing(folder_ / "real").size(), 1u);
  }
  fs::permissions(file_, fs::perms(0444));  // read-only says so, even to the superuser
  EXPECT_TRUE(Has(CheckWritable(file_), "read-only")) << CheckWritable(file_);
}

TEST_F(StateFileTest, FailedSaveKeepsTheOldFileAndLeavesNothingBehind) {
  Save(DemoScenario());
  const auto before = ReadFile(file_);
  std::string error;
  const std::pair<void (*)(DriveState&), const char*> unreadable_back[] = {
      {[](DriveState& d) { d.letter = 'E'; }, "drives[1].letter"},
      {[](DriveState& d) { d.user_changes = -1; }, "drives[1].user_changes: -1 is out of range"},
      {[](DriveState& d) { d.vendor_resets = -1; }, "drives[1].vendor_resets: -1"},
  };
  for (const auto& [spoil, says] : unreadable_back) {
    std::vector<DriveState> bad = DemoScenario();
    spoil(bad[1]);
    EXPECT_FALSE(SaveState(file_, bad, error));
    EXPECT_TRUE(Has(error, says)) << error;
    EXPECT_EQ(ReadFile(file_), before);
  }
  // A folder standing where the file should be: the rename fails and the new file goes.
  const fs::path taken = folder_ / "taken";
  fs::create_directories(taken / "inside");
  EXPECT_FALSE(SaveState(taken, DemoScenario(), error));
  EXPECT_TRUE(Has(error, taken.string())) << error;
  EXPECT_EQ(Listing(folder_), (Names{"drives.json", "taken"}));
}

// The other tests name their files, so the environment need not be restored.
TEST(DefaultStateFileTest, FollowsTheStateFolderOfTheUser) {
  ::setenv("HOME", "/home/u", 1);
  const char* const kLocal = "/home/u/.local/state/varden/drives.json";
  const std::pair<const char*, const char*> cases[] = {
      {"/xdg/state", "/xdg/state/varden/drives.json"},
      {nullptr, kLocal},
      {"", kLocal},
      {"relative", kLocal}};
  for (const auto& [state_home, expected] : cases) {
    state_home ? ::setenv("XDG_STATE_HOME", state_home, 1) : ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(DefaultStateFile(), fs::path(expected));
  }
  // Without a usable HOME the home folder comes from the system, never a relative path.
  for (const char* unusable : {"", "relative/home"}) {
    ::setenv("HOME", unusable, 1);
    EXPECT_TRUE(DefaultStateFile().is_absolute()) << DefaultStateFile();
  }
}

}  // namespace
}  // namespace varden::emulated
