// The state file of the emulated drives: what is saved comes back, a file that cannot be
// used is reported by name and left alone, and a save cut short never costs the old state.
#include "emulated/state_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "drive/region_commands.h"
#include "region/drive_scan.h"

namespace varden::emulated {
namespace {

namespace fs = std::filesystem;

// Every field of a drive, for comparing.
auto Fields(const DriveState& d) {
  return std::make_tuple(
      d.letter, d.vendor, d.product, d.revision, d.inquiry_length, d.address.port_number,
      d.address.path_id, d.address.target_id, d.address.lun, d.region_mask, d.user_changes,
      d.vendor_resets, d.rpc_scheme, d.change_needs_disc, d.disc.present,
      d.disc.becoming_ready_tests, d.disc.unit_attention, d.disc.cpst, d.disc.rmi,
      d.faults.no_device, d.faults.capabilities_fails, d.faults.address_fails,
      static_cast<int>(d.faults.call), d.faults.status_without_sense, d.faults.timeout,
      d.faults.reported_sense_length, d.faults.never_ready, d.faults.unit_attention_forever,
      d.faults.no_report_key);
}

template <typename Tuple, std::size_t... I>
std::vector<std::size_t> SameAt(const Tuple& a, const Tuple& b, std::index_sequence<I...>) {
  std::vector<std::size_t> same;
  ((std::get<I>(a) == std::get<I>(b) ? same.push_back(I) : void()), ...);
  return same;
}

// A drive in which every field differs from its default.
DriveState Unusual(char letter) {
  DriveState d;
  d.letter = letter;
  d.vendor = "Meridax ";
  d.product = "DVD-ROM MX-9";
  d.revision = "9.Z";
  d.inquiry_length = 36;
  d.address = {.port_number = 255, .path_id = 1, .target_id = 7, .lun = 3};
  d.region_mask = 0xDF;
  d.user_changes = 1;
  d.vendor_resets = 0;
  d.rpc_scheme = 0x00;
  d.change_needs_disc = true;
  d.disc = {.present = true,
            .becoming_ready_tests = 3,
            .unit_attention = true,
            .cpst = 0x02,
            .rmi = 0xC1};
  d.faults = {.no_device = true,
              .capabilities_fails = true,
              .address_fails = true,
              .call = CallFault::kStatusZeroNoSense,
              .status_without_sense = true,
              .timeout = true,
              .reported_sense_length = 200,
              .never_ready = true,
              .unit_attention_forever = true,
              .no_report_key = true};
  return d;
}

std::optional<std::string> ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> FolderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class StateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() /
              ("varden-state-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    file_ = folder_ / "drives.json";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }

  void Save(const std::vector<DriveState>& drives) {
    std::string error;
    ASSERT_TRUE(SaveState(file_, drives, error)) << error;
  }

  fs::path folder_;
  fs::path file_;
};

TEST_F(StateFileTest, EveryFieldComesBack) {
  const std::vector<DriveState> drives = {Unusual('Z'), DriveState{}, Unusual('E')};
  ASSERT_TRUE(SameAt(Fields(drives[0]), Fields(DriveState{}),
                     std::make_index_sequence<std::tuple_size_v<decltype(Fields(drives[0]))>>())
                  .empty())
      << "the sample leaves a field at its default";
  Save(drives);
  const LoadResult loaded = LoadState(file_);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  ASSERT_EQ(loaded.drives.size(), drives.size());
  for (std::size_t i = 0; i < drives.size(); ++i) {
    EXPECT_EQ(Fields(loaded.drives[i]), Fields(drives[i])) << "drive " << i;
  }
  // Codes read as hexadecimal in the file.
  const std::string text = ReadFile(file_).value_or("");
  EXPECT_NE(text.find("\"region_mask\": \"0xDF\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"call\": \"status_zero_no_sense\""), std::string::npos);
}

TEST_F(StateFileTest, HandWrittenFileWithPlainNumbersAndLeftOutFields) {
  WriteFile(file_, R"({"version": 1, "drives": [
      {"letter": "F", "region_mask": 253, "user_changes": 4, "disc": {"present": true,
       "rmi": "0xf5", "cpst": 1}, "address": {"target_id": "0x02"}}]})");
  const LoadResult loaded = LoadState(file_);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  ASSERT_EQ(loaded.drives.size(), 1u);
  DriveState expected;
  expected.letter = 'F';
  expected.region_mask = 0xFD;
  expected.user_changes = 4;
  expected.disc = {.present = true, .cpst = 0x01, .rmi = 0xF5};
  expected.address.target_id = 2;
  EXPECT_EQ(Fields(loaded.drives[0]), Fields(expected));
}

TEST_F(StateFileTest, UnusableFileIsReportedByNameAndLeftAlone) {
  const std::string good_drive = R"({"letter": "E", "user_changes": 5})";
  auto with_drive = [](const std::string& drive) {
    return R"({"version": 1, "drives": [)" + drive + "]}";
  };
  struct Case {
    const char* name;
    std::string text;
    const char* says;  // part of the error
  } const cases[] = {
      {"empty", "", "not valid JSON"},
      {"damaged", R"({"version": 1, "drives": [{"letter": "E",)", "not valid JSON"},
      {"not an object", "[1, 2]", "expected an object"},
      {"no drive list", R"({"version": 1})", "drives: missing"},
      {"drive list of another type", R"({"version": 1, "drives": {}})", "drives: expected a list"},
      {"unknown version", R"({"version": 2, "drives": []})", "version"},
      {"drive not an object", with_drive("\"E\""), "drives[0]: expected an object"},
      {"no letter", with_drive("{}"), "drives[0].letter: missing"},
      {"letter of another type", with_drive(R"({"letter": 5})"), "drives[0].letter"},
      {"letter before D", with_drive(R"({"letter": "C"})"), "from D to Z"},
      {"small letter", with_drive(R"({"letter": "e"})"), "from D to Z"},
      {"letter twice", with_drive(good_drive + "," + good_drive), "drives[1].letter"},
      {"byte too large", with_drive(R"({"letter": "E", "region_mask": 256})"),
       "drives[0].region_mask: 256 is out of range"},
      {"negative byte", with_drive(R"({"letter": "E", "disc": {"cpst": -1}})"),
       "drives[0].disc.cpst"},
      {"hex byte too long", with_drive(R"({"letter": "E", "region_mask": "0x1FF"})"),
       "drives[0].region_mask"},
      {"not hex", with_drive(R"({"letter": "E", "rpc_scheme": "0xZZ"})"), "drives[0].rpc_scheme"},
      {"fractional byte", with_drive(R"({"letter": "E", "address": {"lun": 1.5}})"),
       "drives[0].address.lun: expected a whole number"},
      {"too many changes", with_drive(R"({"letter": "E", "user_changes": 8})"),
       "drives[0].user_changes: 8 is out of range (0 to 7)"},
      {"negative changes", with_drive(R"({"letter": "E", "user_changes": -1})"),
       "drives[0].user_changes"},
      {"changes as text", with_drive(R"({"letter": "E", "user_changes": "5"})"),
       "drives[0].user_changes: expected a whole number"},
      {"too many resets", with_drive(R"({"letter": "E", "vendor_resets": 9})"),
       "drives[0].vendor_resets"},
      {"flag as number", with_drive(R"({"letter": "E", "change_needs_disc": 1})"),
       "drives[0].change_needs_disc: expected true or false"},
      {"unknown call fault", with_drive(R"({"letter": "E", "faults": {"call": "sometimes"}})"),
       "drives[0].faults.call"},
      {"misspelt field", with_drive(R"({"letter": "E", "user_change": 3})"),
       "drives[0].user_change: not a known field"},
      {"vendor too long", with_drive(R"({"letter": "E", "vendor": "MERIDAX CO"})"),
       "drives[0].vendor"},
      {"inquiry too long", with_drive(R"({"letter": "E", "inquiry_length": 97})"),
       "drives[0].inquiry_length"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(file_, c.text);
    const auto listing = FolderListing(folder_);
    const LoadResult loaded = LoadState(file_);
    EXPECT_FALSE(loaded.ok);
    EXPECT_TRUE(loaded.drives.empty());
    EXPECT_NE(loaded.error.find(file_.string()), std::string::npos) << loaded.error;
    EXPECT_NE(loaded.error.find(c.says), std::string::npos) << loaded.error;
    EXPECT_EQ(ReadFile(file_), c.text);          // byte for byte
    EXPECT_EQ(FolderListing(folder_), listing);  // and nothing written beside it
  }
}

TEST_F(StateFileTest, MissingOrOddPathIsReportedWithoutCreatingAnything) {
  for (const fs::path& path :
       {folder_ / "absent.json", folder_ / "absent" / "drives.json", folder_ / "."}) {
    SCOPED_TRACE(path.string());
    const LoadResult loaded = LoadState(path);
    EXPECT_FALSE(loaded.ok);
    EXPECT_NE(loaded.error.find(path.string()), std::string::npos) << loaded.error;
    EXPECT_TRUE(FolderListing(folder_).empty());
  }
}

TEST_F(StateFileTest, SaveCreatesTheFolders) {
  file_ = folder_ / "state" / "varden" / "drives.json";
  Save(DemoScenario());
  const LoadResult loaded = LoadState(file_);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(loaded.drives.size(), DemoScenario().size());
}

TEST_F(StateFileTest, InterruptedSaveLeavesTheOldStateAndTheNextSaveWorks) {
  for (const SaveStop stop : {SaveStop::kAfterHalfTheText, SaveStop::kBeforeRename}) {
    SCOPED_TRACE(static_cast<int>(stop));
    std::vector<DriveState> drives = DemoScenario();
    Save(drives);
    const auto before = ReadFile(file_);

    drives[0].region_mask = RegionMaskOf(3);
    drives[0].user_changes = 4;
    std::string error;
    EXPECT_FALSE(SaveState(file_, drives, error, stop));
    EXPECT_NE(error.find(file_.string()), std::string::npos) << error;
    EXPECT_EQ(ReadFile(file_), before);
    EXPECT_EQ(FolderListing(folder_).size(), 2u) << "the interrupted new file stays behind";
    const LoadResult old_state = LoadState(file_);
    ASSERT_TRUE(old_state.ok) << old_state.error;
    EXPECT_EQ(old_state.drives[0].region_mask, kNoRegionMask);

    // The leftover does not stand in the way of the next save.
    Save(drives);
    const LoadResult new_state = LoadState(file_);
    ASSERT_TRUE(new_state.ok) << new_state.error;
    EXPECT_EQ(new_state.drives[0].region_mask, RegionMaskOf(3));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
}

TEST_F(StateFileTest, FailedSaveKeepsTheOldFileAndLeavesNothingBehind) {
  Save(DemoScenario());
  const auto before = ReadFile(file_);
  std::vector<DriveState> bad = DemoScenario();
  bad[1].letter = bad[0].letter;
  std::string error;
  EXPECT_FALSE(SaveState(file_, bad, error));
  EXPECT_NE(error.find("drives[1].letter"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(file_), before);

  // A folder standing where the file should be: the rename fails and the new file goes.
  const fs::path taken = folder_ / "taken";
  fs::create_directories(taken / "inside");
  EXPECT_FALSE(SaveState(taken, DemoScenario(), error));
  EXPECT_NE(error.find(taken.string()), std::string::npos) << error;
  EXPECT_EQ(FolderListing(folder_), (std::vector<std::string>{"drives.json", "taken"}));
}

TEST_F(StateFileTest, SaveIntoAReadOnlyFolderKeepsTheOldFile) {
  Save(DemoScenario());
  const auto before = ReadFile(file_);
  std::string error;
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(folder_.c_str(), W_OK) == 0) {
    GTEST_SKIP() << "this user writes into read-only folders";
  }
  EXPECT_FALSE(SaveState(file_, {}, error));
  EXPECT_NE(error.find(file_.string()), std::string::npos) << error;
  EXPECT_EQ(ReadFile(file_), before);
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DefaultStateFileTest, FollowsTheStateFolderOfTheUser) {
  struct Case {
    const char* state_home;
    const char* home;
    const char* expected;
  } const cases[] = {
      {"/xdg/state", "/home/u", "/xdg/state/varden/drives.json"},
      {nullptr, "/home/u", "/home/u/.local/state/varden/drives.json"},
      {"", "/home/u", "/home/u/.local/state/varden/drives.json"},
      {"relative/state", "/home/u", "/home/u/.local/state/varden/drives.json"},
  };
  for (const Case& c : cases) {
    ScopedEnv state("XDG_STATE_HOME", c.state_home);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(DefaultStateFile(), fs::path(c.expected));
  }
}

// The demo, as the drive scan and a region report see it.
TEST(DemoScenarioTest, ScanListsTheMakersDrivesOnly) {
  EmulatedDrives drives(DemoScenario());
  std::vector<std::uint8_t> buffer(kTransferBufferSize);
  ResetDriveAccess();
  ResetRegionCommands();
  AttachTransferBuffer(buffer.data());
  SetDeviceSeam(&drives);

  DriveTable table{};
  EXPECT_EQ(ScanDrives(table, nullptr, nullptr), 4);
  std::string letters;
  for (int i = 0; i < 4; ++i) letters += table[static_cast<std::size_t>(i)].Letter();
  EXPECT_EQ(letters, "EFGH");

  struct Expected {
    char letter;
    std::array<std::uint8_t, 4> rpc_state;
    CommandOutcome copyright_outcome;
    std::uint8_t cpst;
    std::uint8_t rmi;
  } const expected[] = {
      {'E', {0x25, 0xFF, 0x01, 0x00}, kCommandOk, 0x00, 0x00},
      {'F', {0x64, 0xFD, 0x01, 0x00}, kCommandOk, 0x01, 0xF5},
      {'G', {0x25, 0xFF, 0x01, 0x00}, kCommandFailed, 0x00, 0x00},
      {'H', {0xE0, 0xFE, 0x01, 0x00}, kCommandOk, 0x00, 0x00},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(std::string(1, e.letter));
    ASSERT_EQ(OpenDrive(e.letter), 0);
    EXPECT_EQ(ReadRpcState(), kCommandOk);
    EXPECT_EQ(RpcState().bytes, e.rpc_state);
    EXPECT_EQ(ReadDiscCopyright(), e.copyright_outcome);
    EXPECT_EQ(DiscCopyright().Cpst(), e.cpst);
    EXPECT_EQ(DiscCopyright().Rmi(), e.rmi);
    CloseDrive();
  }
  EXPECT_EQ(drives.OpenHandles(), 0);
  ResetDriveAccess();
  ResetRegionCommands();
}

}  // namespace
}  // namespace varden::emulated
