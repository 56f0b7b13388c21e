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
#include <span>
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

// Whether `doc` holds every member of `expected` (a JSON text), at any depth.
bool Holds(const Json& doc, const char* expected) {
  Json merged = doc;
  merged.merge_patch(Json::parse(expected));
  return merged == doc;
}

struct Result {
  int status;
  std::string out, err;
};

// One run and what it must give. `out` and `err` are parts of standard output and error, found
// once (an empty one: nothing at all; an `out` written as a JSON object: members of the document).
// `drive`: the drive whose saved region mask and changes follow; -1: the file is left as it was.
struct Row {
  std::vector<std::string> args;
  std::string input;
  int status;
  std::string out, err;
  std::string lang = kEnglish, env = "";
  int drive = -1, mask = 0, changes = 0;
};

void ExpectPart(const std::string& stream, const std::string& part) {
  if (part.empty()) {
    EXPECT_EQ(stream, "");
  } else if (part.starts_with("{")) {
    EXPECT_TRUE(Holds(Json::parse(stream), part.c_str())) << stream;
  } else {
    const std::size_t at = stream.find(part);
    EXPECT_TRUE(at != std::string::npos && stream.find(part, at + 1) == std::string::npos)
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
  void Check(std::span<const Row> rows) {
    for (const Row& row : rows) {
      std::string words;
      for (const std::string& a : row.args) words += a + " ";
      SCOPED_TRACE(words + row.input + row.lang);
      const std::string before = ReadFile(state_);
      const Result r = Run(row.args, row.lang, row.input, row.env);
      EXPECT_EQ(r.status, row.status) << r.err;
      ExpectPart(r.out, row.out);
      ExpectPart(r.err, row.err);
      if (row.drive < 0) {
        EXPECT_EQ(ReadFile(state_), before);
      } else {
        EXPECT_EQ(Saved(row.drive), std::make_pair(row.mask, row.changes));
      }
    }
  }

  fs::path dir_, state_;
};

// The rows run in order on one file: the lists and reports, then a change that asks what it
// costs, a change that is refused or not confirmed sends nothing, the last change is asked about
// twice, a permanent region refuses by itself.
TEST_F(CliTest, CommandsShowTheDrivesAndSendOnlyWhatWasConfirmed) {
  // The 8 vendor and 16 product bytes with their trailing spaces; the other maker's not listed.
  const std::string list =
      "E: Meridax DVD-ROM MX-120E \nF: Meridax DVD-ROM MX-120F \nG: Meridax DVD-ROM MX-120G \n";
  const std::string list_json = R"({"drives": [
      {"index": 0, "letter": "E", "text": "E: Meridax DVD-ROM MX-120E "},
      {"index": 1, "letter": "F", "text": "F: Meridax DVD-ROM MX-120F "},
      {"index": 2, "letter": "G", "text": "G: Meridax DVD-ROM MX-120G "}]})";
  const std::string e =
      "Drive's region is 2.\nThis disc is allowed region 2 4\n\nDrive: E: Meridax DVD-ROM MX-120E\n"
      "Region: 2\nRegional code can be changed 4time(s)\nRegions offered for a change: 2 4\n"
      "Disc permits regions: 2 4\n";
  const std::string e_json = R"({"command": "report", "ok": true, "exit_status": 0,
      "log": "Drive's region is 2.\nThis disc is allowed region 2 4\n",
      "report": {"drive_state": {"region": 2, "changes_left": 4, "type_code": 1,
                                 "vendor_resets": 4, "rpc_state": "64fd0100"},
                 "offered_regions": [2, 4], "disc": {"cpst": 1, "permitted_regions": [2, 4]}}})";
  const std::string not_offered =
      "Region 6 is not offered for this drive (offered: 2 4): nothing was sent to the drive.\n";
  const std::string no = "Not confirmed: nothing was sent to the drive.\n";
  // The disc prompt cancels without a terminal.
  const std::string no_disc = "No terminal to answer on: Cancel.\nOperation is canceled.\n";
  const std::string set_e =  // blanks around the answer
      "Changes left: 4 now, 3 after this change.\nSet drive E: to region 4? [y/N] \n"
      "Success to set regional code.\nDrive's region is 4.\n";
  const std::string json_2 = R"({"outcome": "set", "changes_left_before": 3,
      "changes_left_after": 2, "becomes_permanent": false,
      "before": {"drive_state": {"region": 4}}, "after": {"drive_state": {"region": 2}}})";
  const std::string cost = "Changes left: 3 now, 2 after this change.\n";  // on standard error
  const std::string last_f =
      "Changes left: 1 now, 0 after this change.\nSet drive F: to region 4? [y/N] \n"
      "This is the last change: afterwards the drive keeps region 4 for good and can "
      "never be changed again.\nMake region 4 permanent? [y/N] \nSuccess to set regional code.\n";
  const std::string permanent_json =  // nothing is asked, since nothing can be spent
      R"({"outcome": "permanent", "becomes_permanent": false, "changes_left_after": 0,
          "before": {"drive_state": {"type_code": 3}}})";
  const Row rows[] = {
      {{"list"}, "", 0, list, ""},
      {{"--json", "list"}, "", 0, list_json, ""},
      {{"report"}, "", 0, e, ""},  // the first drive
      {{"report", "e:"}, "", 0, e, ""},
      {{"report", "G"}, "", 0, "Disc: permitted regions not known (no disc, or the drive", ""},
      {{"report", "E", "--json"}, "", 0, e_json, ""},
      {{"set", "E", "6", "--yes"}, "", 1, "Regions offered for a change: 2 4\n", not_offered},
      {{"set", "E", "4"}, "n\n", 1, "Set drive E: to region 4? [y/N] ", no},
      {{"set", "E", "4"}, "", 1, "Set drive E: to region 4? [y/N] ", no},
      {{"set", "F", "4"}, "y\n", 1, "Make region 4 permanent? [y/N] ", no},
      {{"set", "G", "3", "--yes"}, "", 1, no_disc, ""},
      {{"set", "E", "4"}, " y\n", 0, set_e, "", kEnglish, "", 0, RegionMaskOf(4), 3},
      {{"set", "E", "2", "-y", "--json"}, "", 0, json_2, cost, kEnglish, "", 0, RegionMaskOf(2), 2},
      {{"set", "F", "4"}, "y\nyes\n", 0, last_f, "", kEnglish, "", 1, RegionMaskOf(4), 0},
      {{"set", "F", "2", "--json"}, "", 1, permanent_json, ""},
  };
  Check(rows);
}

TEST_F(CliTest, ADamagedOrReadOnlyStateFileIsNamedAndLeftAlone) {
  std::ofstream(state_) << "{\"drives\": [";
  const std::string damaged = state_.string() + "\": not valid JSON";
  Check(std::vector<Row>{{{"list"}, "", 1, "", damaged},
                         {{"set", "E", "2", "--yes"}, "", 1, "", "left as it is"}});
  // A file that cannot be written: refused before anything is sent.
  Save(Scenario());
  fs::permissions(state_, fs::perms(0444));
  Check(std::vector<Row>{{{"set", "E", "4", "--yes"}, "", 1, "", "read-only"}});
}

// Bad usage: one line that names the mistake, exit 2, nothing sent, created or changed; with
// --json also one document.
TEST_F(CliTest, BadUsageExitsWithTwoAndOneLineOnStandardError) {
  const std::string folder = (dir_ / "new").string() + "/";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no command given"},
      {{"eject"}, "unknown command 'eject'"},
      {{"set", "E", "1", "-yes"}, "unknown option '-yes' (did you mean '--yes'?)"},
      {{"-yjson", "list"}, "unknown option '-yjson'"},
      {{"set", "Q", "2"}, "drive Q: is not among the drives found"},
      {{"report", "H"}, "drive H: is not among the drives found"},  // another maker's
      {{"report", "E\x1b[2J"}, "'E\\u001B[2J' is not a drive letter"},
      {{"\u009b2Jli\nst"}, "unknown command '\\u009B2Jli\\u000Ast'"},
      {{"list", "--", "--json"}, "'--json' is not an operand of 'list'"},
      {{"--", "report", "x", "set", "E"}, "'set' is not an operand of 'report'"},
      {{"set", "E"}, "too few operands: write 'varden-cli set DRIVE REGION'"},
      {{"set", "E", "0"}, "'0' is not a region: give a number from 1 to 6"},
      {{"--emulated=", "list"}, "--emulated= needs a state file name"},
      {{"--emulated", "", "list"}, "an empty word stands where the command goes"},
      {{"--emulated=a", "--emulated=b", "list"}, "--emulated is given twice"},
      {{"--emulated=" + folder, "list"}, "'" + folder + "' is a folder"},
  };
  const std::string before = ReadFile(state_);
  for (const auto& [args, err] : cases) {
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
  EXPECT_FALSE(fs::exists(folder));
  std::ofstream(dir_ / "wrong") << R"({"command": "list", "ok": true})";
  EXPECT_FALSE(FitsSchema(dir_ / "wrong", " 2>/dev/null"));
}

// The demo's drives, drives that are not there, cannot be opened or read, and terminals of other
// character sets.
TEST_F(CliTest, DrivesElsewhereMissingOrRefusedAndOtherTerminals) {
  const fs::path none = dir_ / "none.json", odd = dir_ / "odd.json", nodes = dir_ / "nodes";
  auto drives = Scenario();
  drives[0].disc.cpst = varden::kCpstCprm;
  drives[1] = Drive('F', 2, 4, false);
  drives[1].faults.no_report_key = true;
  Save(drives, odd);
  Save({drives[3]}, none);
  const std::string N = "--emulated=" + none.string(), O = "--emulated=" + odd.string();

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
  const std::string locales = "LOCPATH=" + (dir_ / "locales").string();
  for (const std::string set : {"EUC-JP", "SHIFT_JIS"}) {
    const std::string make = "localedef --no-warnings=ascii -i ja_JP -f " + set + " " +
                             (dir_ / "locales" / ("ja_JP." + set)).string();
    // Without it the program goes by the character set in the locale's name.
    if (std::system(make.c_str()) != 0) std::cout << "not tested: nl_langinfo for " << set << "\n";
  }
  const std::string euc = "\xA5\xC9\xA5\xE9\xA5\xA4\xA5\xD6: E:",
                    sjis = "\x83\x68\x83\x89\x83\x43\x83\x75: E:";
  const std::string no_drive = "no drive of the maker was found";
  const std::string demo = "XDG_STATE_HOME=" + (dir_ / "state").string();
  std::vector<Row> rows = {
      {{"--emulated", "list"}, "", 0, "G: MERIDAX DVD-ROM MX-1612", "", kEnglish, demo},
      {{N, "report"}, "", 1, "", no_drive},
      {{N, "list"}, "", 0, "", no_drive},
      {{N, "report", "--json"}, "", 1, R"("report": null)", no_drive},
      {{"--json", "--help"}, "", 0, R"("usage": "Usage: varden-cli)", ""},
      {{"--version", "--json"}, "", 0, R"("version": "varden-cli ()", ""},
      {{O, "report"}, "", 0, "Disc permits regions: 2 4\n", ""},
      {{O, "set", "F", "2", "-y"}, "", 1, "Region: unknown", "none is, because the drive's region"},
      {{"report"}, "", 0, euc, "", "ja_JP.EUC-JP", locales},
      {{"report"}, "", 0, sjis, "", "ja_JP.SHIFT_JIS", locales},
      {{"report"}, "", 0, "ドライブ: E:", "", "ja_JP.UTF-8", locales},
      {{"report"}, "", 0, "Drive: E:", "", "ja_JP.ISO-8859-1", locales},  // cannot hold Japanese
  };
  // Each node this user may not open is named once, on a line of its own.
  const std::string refused =
      "(drive D:) is there, but this user may not open it: only its owner "
      "may, so run as root\nvarden-cli: " +
      (nodes / "sr1").string() +
      " (drive E:) is there, but this user may not open it: add the "
      "user to group '";
  if (getuid() != 0 || std::system("setpriv --version >/dev/null") == 0) {
    rows.insert(rows.end(),
                {{{"list"}, "", 1, "", refused, kEnglish, user},
                 {{"report", "E", "--json"}, "", 1, R"("drive": null)", refused, kEnglish, user},
                 {{"report"}, "", 1, "", "no drive could be opened: ", kEnglish, user},
                 {{"report", "F"}, "", 2, "", "drive F: is not among the", kEnglish, user}});
  } else {
    std::cout << "skipped: without setpriv the rows cannot run as a user without rights\n";
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
  EXPECT_TRUE(
      Holds(doc, R"({"outcome": "not_kept", "after": {"drive_state": {"region_mask": 255}}})"))
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
