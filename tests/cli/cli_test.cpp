// varden-cli as a user or a script sees it, on emulated drives or device nodes, alone or
// beside other processes on one state file; every JSON document it writes must fit the schema
// file that script authors are pointed to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "drive/region_commands.h"
#include "emulated/emulated_drive.h"
#include "emulated/state_file.h"
#include "emulated/state_store.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using varden::RegionMaskOf;
using varden::emulated::DriveState;

constexpr const char* kEnglish = "C";

// The disc permits regions 2 and 4.
DriveState Drive(char letter, int region, int changes, bool disc, const char* vendor = "Meridax ") {
  return {.letter = letter,
          .vendor = vendor,
          .product = std::string("DVD-ROM MX-120") + letter,
          .region_mask = RegionMaskOf(region),
          .user_changes = changes,
          .disc = {.present = disc, .cpst = varden::kCpstCssCppm, .rmi = 0xF5},
          .faults = {}};
}

// F has its last change; H is another maker's.
std::vector<DriveState> Scenario() {
  return {Drive('E', 2, 4, true), Drive('F', 2, 1, true), Drive('G', 3, 3, false),
          Drive('H', 0, 5, true, "OTHERCO ")};
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Whether the document in `file` fits the schema file, by Debian's JSON Schema validator.
bool FitsSchema(const fs::path& file, const std::string& errors = "") {
  return std::system(("/usr/bin/python3 -c 'import json, sys, jsonschema; jsonschema.validate("
                      "json.load(open(sys.argv[1])), json.load(open(sys.argv[2])))' '" +
                      file.string() + "' '" VARDEN_CLI_SCHEMA_PATH "'" + errors)
                         .c_str()) == 0;
}

// Whether `doc` holds every member of `expected`, at any depth.
bool Holds(const Json& doc, const Json& expected) {
  Json merged = doc;
  merged.merge_patch(expected);
  return merged == doc;
}

struct Result {
  int status;
  std::string out, err;
};

// The rows of `group` in the table of command lines (its "about" says what a row holds), each
// "{dir}" in them standing for `dir` and "{user}" for `user`.
Json Rows(const char* group, const fs::path& dir, const std::string& user = "") {
  std::string text = ReadFile(VARDEN_CLI_ROWS_PATH);
  for (const auto& [name, value] : {std::pair{"{dir}", dir.string()}, {"{user}", user}}) {
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
      text.replace(at, std::string_view(name).size(), value);
    }
  }
  return Json::parse(text).at(group);
}

// `part` of a stream: a text found once, nothing at all when empty, or members of the document.
void ExpectPart(const std::string& stream, const Json& part) {
  if (part.is_object()) {
    EXPECT_TRUE(Holds(Json::parse(stream), part)) << stream;
  } else if (const std::string text = part; text.empty()) {
    EXPECT_EQ(stream, "");
  } else {
    const std::size_t at = stream.find(text);
    EXPECT_TRUE(at != std::string::npos && stream.find(text, at + 1) == std::string::npos)
        << stream;  // once
  }
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "varden-cli-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
    state_ = dir_ / "drives.json";
    Save(Scenario());
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Save(const std::vector<DriveState>& drives, const fs::path& file = {}) {
    std::string error;
    ASSERT_TRUE(varden::emulated::SaveState(file.empty() ? state_ : file, drives, error)) << error;
  }

  std::pair<int, int> Saved(std::size_t i) {
    const DriveState d = varden::emulated::LoadState(state_).drives.at(i);
    return {d.region_mask, d.user_changes};
  }

  // The shell command that runs the program on state_ (unless told otherwise) in a clean
  // environment, in dir_: standard input from the file `in`, output to `out` and `out`.err.
  std::string Line(const std::vector<std::string>& args, const std::string& lang,
                   const std::string& env, const std::string& in, const std::string& out) {
    std::string words;
    for (const std::string& a : args) words += " '" + a + "'";
    if (!Has(env + words, "VARDEN_NODE_PREFIX") && !Has(words, " '--emulated")) {
      words = " '--emulated=" + state_.string() + "'" + words;
    }
    return "cd " + dir_.string() + " && env -i LANG=" + lang + " " + env + " " + VARDEN_CLI_PATH +
           words + " <" + in + " >" + out + " 2>" + out + ".err";
  }

  // Runs the program with `input` as standard input (not a terminal).
  Result Run(const std::vector<std::string>& args, const std::string& lang = kEnglish,
             const std::string& input = "", const std::string& env = "") {
    std::ofstream(dir_ / "in") << input;
    const int status = std::system(Line(args, lang, env, "in", "out").c_str());
    Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir_ / "out"),
             ReadFile(dir_ / "out.err")};
    const bool json = std::ranges::find(args, "--json") < std::ranges::find(args, "--");
    EXPECT_TRUE(!json || FitsSchema(dir_ / "out")) << r.out;
    return r;
  }

  // Runs the rows in order on state_.
  void Check(const Json& rows) {
    for (const Json& row : rows) {
      SCOPED_TRACE(row.dump(-1, ' ', false, Json::error_handler_t::replace));
      const std::string before = ReadFile(state_);
      const Result r =
          Run(row["args"], row.value("lang", kEnglish), row.value("in", ""), row.value("env", ""));
      EXPECT_EQ(r.status, row["status"]) << r.err;
      ExpectPart(r.out, row["out"]);
      ExpectPart(r.err, row["err"]);
      if (const Json saved = row.value("saved", Json()); saved.is_null()) {
        EXPECT_EQ(ReadFile(state_), before);
      } else {
        EXPECT_EQ(Saved(saved[0]), std::make_pair(int{RegionMaskOf(saved[1])}, int{saved[2]}));
      }
    }
  }

  fs::path dir_, state_;
};

// The rows run in order on one file: the lists and reports, then a change that asks what it
// costs, a change that is refused or not confirmed sends nothing, the last change is asked about
// twice, a permanent region refuses by itself.
TEST_F(CliTest, CommandsShowTheDrivesAndSendOnlyWhatWasConfirmed) {
  Check(Rows("commands", dir_));
}

TEST_F(CliTest, ADamagedOrReadOnlyStateFileIsNamedAndLeftAlone) {
  std::ofstream(state_) << "{\"drives\": [";
  Check(Rows("damaged", dir_));
  // A file that cannot be written: refused before anything is sent.
  Save(Scenario());
  fs::permissions(state_, fs::perms(0444));
  Check(Rows("read_only", dir_));
}

// Bad usage: one line that names the mistake, exit 2, nothing sent, created or changed; with
// --json also one document.
TEST_F(CliTest, BadUsageExitsWithTwoAndOneLineOnStandardError) {
  const std::string before = ReadFile(state_);
  for (const Json& row : Rows("bad_usage", dir_)) {
    const std::vector<std::string> args = row[0];
    const std::string err = row[1];
    SCOPED_TRACE(err);
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Has(r.err, err)) << r.err;
    EXPECT_EQ(std::ranges::count(r.err, '\n'), 1) << r.err;
    std::vector<std::string> json_args = args;
    json_args.insert(json_args.begin(), "--json");
    const Result json = Run(json_args);
    EXPECT_EQ(json.status, 2);
    const Json doc = Json::parse(json.out);
    EXPECT_EQ(doc["exit_status"], 2);
    EXPECT_FALSE(Has(doc["error"], "\n")) << doc;
  }
  EXPECT_EQ(ReadFile(state_), before);
  EXPECT_FALSE(fs::exists(dir_ / "new"));
  std::ofstream(dir_ / "wrong") << R"({"command": "list", "ok": true})";
  EXPECT_FALSE(FitsSchema(dir_ / "wrong", " 2>/dev/null"));
}

// The demo's drives, drives that are not there, cannot be opened or read, and terminals of other
// character sets.
TEST_F(CliTest, DrivesElsewhereMissingOrRefusedAndOtherTerminals) {
  const fs::path nodes = dir_ / "nodes";
  auto drives = Scenario();
  drives[0].disc.cpst = varden::kCpstCprm;
  drives[1] = Drive('F', 2, 4, false);
  drives[1].faults.no_report_key = true;
  Save(drives, dir_ / "odd.json");
  Save({drives[3]}, dir_ / "none.json");

  // D: a node only its owner may read; E: one its group may read; F: a file that is no drive.
  fs::create_directories(dir_ / "locales");
  fs::create_directory(nodes);
  fs::permissions(dir_, fs::perms::others_exec, fs::perm_options::add);
  for (const auto& [name, mode, group] :
       {std::tuple{"sr0", 0, 0}, {"sr1", 040, 1}, {"sr2", 0644, 0}}) {
    std::ofstream(nodes / name).put('\0');
    chmod((nodes / name).c_str(), mode);
    EXPECT_TRUE(getuid() != 0 || chown((nodes / name).c_str(), 0, group) == 0);
  }
  std::string user = "VARDEN_NODE_PREFIX=" + (nodes / "sr").string();
  if (getuid() == 0) user += " setpriv --reuid=65534 --regid=65534 --clear-groups";
  const bool as_user = getuid() != 0 || std::system("setpriv --version >/dev/null") == 0;
  Json rows = Rows("elsewhere", dir_);
  if (const Json more = Rows("as_user", dir_, user); as_user) {
    rows.insert(rows.end(), more.begin(), more.end());
  } else {
    std::cout << "skipped: without setpriv the rows cannot run as a user without rights\n";
  }
  // A Japanese terminal of another character set: "ドライブ: E:" in it.
  for (const auto& [set, shown] : {std::pair{"EUC-JP", "\xA5\xC9\xA5\xE9\xA5\xA4\xA5\xD6: E:"},
                                   {"SHIFT_JIS", "\x83\x68\x83\x89\x83\x43\x83\x75: E:"}}) {
    const std::string make = "localedef --no-warnings=ascii -i ja_JP -f " + std::string(set) + " " +
                             (dir_ / "locales" / ("ja_JP." + std::string(set))).string();
    // Without it the program goes by the character set in the locale's name.
    if (std::system(make.c_str()) != 0) std::cout << "not tested: nl_langinfo for " << set << "\n";
    rows.push_back({{"args", {"report"}},
                    {"lang", "ja_JP." + std::string(set)},
                    {"env", "LOCPATH=" + (dir_ / "locales").string()},
                    {"status", 0},
                    {"out", shown},
                    {"err", ""}});
  }
  Check(rows);
  EXPECT_TRUE(fs::exists(dir_ / "state" / "varden" / "drives.json"));  // made when missing
}

// Several processes on one state file: every change is kept, a change that cannot be kept
// says so, and an answer given for an old state sends nothing. (The lock's waits, busy files
// and signals during a save are the store's own tests.)
class SharingTest : public CliTest {
 protected:
  // Starts the program in the background, its output in `out`; Finish answers its exit status.
  void Start(const std::vector<std::string>& args, const std::string& out,
             const std::string& in = "/dev/null") {
    const std::string line = Line(args, kEnglish, "", in, out);
    ASSERT_EQ(std::system(("(" + line + "; echo $? >" + out + ".status) &").c_str()), 0);
  }
  int Finish(const std::string& out) {
    const fs::path status = dir_ / (out + ".status");
    while (ReadFile(status).empty()) usleep(20000);
    return std::stoi(ReadFile(status));
  }
  // Starts a change of E whose disc takes two seconds to spin up, and waits until it holds
  // the file.
  void StartWaiting() {
    std::vector<DriveState> drives = varden::emulated::DemoScenario();
    drives[0].user_changes = 4;
    drives[0].disc.becoming_ready_tests = 2;
    Save(drives);
    fs::remove(dir_ / "E.status");
    Start({"--json", "set", "E", "3", "--yes"}, "E");
    const std::string lock = varden::emulated::StateLock::LockFileOf(state_).string();
    for (bool held = false; !held; usleep(20000)) {
      const int fd = open(lock.c_str(), O_RDWR);
      held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0;
      if (fd >= 0) close(fd);
    }
    usleep(300000);
  }
};

TEST_F(SharingTest, TwoWritersKeepBothChangesAndAChangeNotKeptSaysSo) {
  StartWaiting();
  Start({"set", "F", "4", "--yes"}, "F");
  EXPECT_EQ(Finish("F"), 0);
  EXPECT_EQ(Finish("E"), 0);
  EXPECT_EQ(Saved(0), std::make_pair(int{RegionMaskOf(3)}, 3));
  EXPECT_EQ(Saved(1), std::make_pair(int{RegionMaskOf(4)}, 3));

  // The file turns read-only while the change waits for the disc: sent, but not kept.
  StartWaiting();
  fs::permissions(state_, fs::perms(0444));
  EXPECT_EQ(Finish("E"), 1);
  const Json doc = Json::parse(ReadFile(dir_ / "E"));
  EXPECT_TRUE(Holds(
      doc,
      Json::parse(R"({"outcome": "not_kept", "after": {"drive_state": {"region_mask": 255}}})")))
      << doc;
  EXPECT_EQ(Saved(0), std::make_pair(int{varden::kNoRegionMask}, 4));
}

// The lock is let go while a person answers and taken again after the answer: a drive changed
// meanwhile, or a file busy by then, is not changed on that answer.
TEST_F(SharingTest, AnAnswerGivenForAnOldStateSendsNothing) {
  ASSERT_EQ(mkfifo((dir_ / "answer").c_str(), 0600), 0);
  for (const bool busy : {false, true}) {
    Save(Scenario());
    const std::string out = busy ? "busy" : "changed";
    Start({"set", "E", "4"}, out, "answer");
    const int answer = open((dir_ / "answer").c_str(), O_WRONLY);
    while (!Has(ReadFile(dir_ / out), "[y/N]")) usleep(20000);
    auto drives = Scenario();
    drives[0].user_changes = busy ? 4 : 1;  // another program spent three changes
    Save(drives);
    const int lock = open(varden::emulated::StateLock::LockFileOf(state_).c_str(), O_RDWR);
    ASSERT_TRUE(!busy || flock(lock, LOCK_EX) == 0);
    ASSERT_EQ(write(answer, "y\n", 2), 2);
    close(answer);
    EXPECT_EQ(Finish(out), 1);
    close(lock);
    const std::string err = ReadFile(dir_ / (out + ".err"));
    EXPECT_TRUE(Has(err, busy ? "is busy" : "was changed by another")) << err;
    EXPECT_EQ(Saved(0), std::make_pair(int{RegionMaskOf(2)}, busy ? 4 : 1));
  }
}

}  // namespace
