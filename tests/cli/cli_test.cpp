// varden-cli as a user or a script sees it, on emulated drives or device nodes, alone or
// beside other processes on one state file; every JSON document it writes must fit the schema
// file that script authors are pointed to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool Has(const std::string& text, const std::string& part) {
  return Count(text, part) > 0;
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

  // Runs the program on state_ (unless told otherwise) in a clean environment, with `input`
  // as standard input (not a terminal).
  Result Run(const std::vector<std::string>& args, const std::string& lang = kEnglish,
             const std::string& input = "", const std::string& env = "") {
    std::string line;
    for (const std::string& a : args) line += " '" + a + "'";
    if (!Has(env + line, "VARDEN_NODE_PREFIX") && !Has(line, " '--emulated")) {
      line = " '--emulated=" + state_.string() + "'" + line;
    }
    std::ofstream(dir_ / "in") << input;
    const int status = std::system(("cd " + dir_.string() + " && env -i LANG=" + lang + " " + env +
                                    " " + VARDEN_CLI_PATH + line + " <in >out 2>err")
                                       .c_str());
    Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir_ / "out"),
             ReadFile(dir_ / "err")};
    const bool json = line.find("'--json'") < line.find("'--' ");  // an option, not an operand
    EXPECT_TRUE(!json || FitsSchema(dir_ / "out")) << r.out;
    return r;
  }

  fs::path dir_, state_;
};

TEST_F(CliTest, ListAndReportShowTheMakersDrivesInTheLocalesLanguage) {
  const Result list = Run({"list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(
      list.out,  // the 8 vendor and 16 product bytes with their trailing spaces
      "E: Meridax DVD-ROM MX-120E \nF: Meridax DVD-ROM MX-120F \nG: Meridax DVD-ROM MX-120G \n");
  EXPECT_EQ(Json::parse(Run({"--json", "list"}).out)["drives"].at(1),
            Json({{"index", 1}, {"letter", "F"}, {"text", "F: Meridax DVD-ROM MX-120F "}}));

  const std::string e =
      "Drive's region is 2.\nThis disc is allowed region 2 4\n\nDrive: E: Meridax DVD-ROM MX-120E\n"
      "Region: 2\nRegional code can be changed 4time(s)\nRegions offered for a change: 2 4\n"
      "Disc permits regions: 2 4\n";
  const std::string g =
      "Drive's region is 3.\nGet disc region is failed.\n\nDrive: G: Meridax DVD-ROM MX-120G\n"
      "Region: 3\nRegional code can be changed 3time(s)\nRegions offered for a change: 3\n"
      "Disc: permitted regions not known (no disc, or the drive could not read it)\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"report"}, e}, {{"report", "e:"}, e}, {{"report", "G"}, g}};  // first drive by default
  for (const auto& [args, out] : cases) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, out);
  }
  const Json doc = Json::parse(Run({"report", "E", "--json"}).out);
  EXPECT_TRUE(Holds(doc, R"({"command": "report", "ok": true, "exit_status": 0,
      "log": "Drive's region is 2.\nThis disc is allowed region 2 4\n",
      "report": {"drive_state": {"region": 2, "changes_left": 4, "type_code": 1,
                                 "vendor_resets": 4, "rpc_state": "64fd0100"},
                 "offered_regions": [2, 4], "disc": {"cpst": 1, "permitted_regions": [2, 4]}}})"))
      << doc.dump(2);
}

// The rows run in order on one file: a change asks what it costs, a change that is refused or
// not confirmed sends nothing, the last change is asked about twice, a permanent region
// refuses by itself.
TEST_F(CliTest, SetTellsTheCostAsksAndSendsOnlyWhatWasConfirmed) {
  const std::string no = "Not confirmed: nothing was sent to the drive.\n", ask = "? [y/N] ";
  const std::pair<int, int> same{-1, -1};
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out, err;  // part of standard output (or the document's members), all of error
    std::size_t drive;     // the drive whose saved region mask and changes follow
    std::pair<int, int> saved;
  } const cases[] = {
      {{"set", "E", "6", "--yes"},
       "",
       1,
       "Regions offered for a change: 2 4\n",
       "Region 6 is not offered for this drive (offered: 2 4): nothing was sent to the drive.\n",
       0,
       same},
      {{"set", "E", "4"}, "n\n", 1, "Set drive E: to region 4" + ask, no, 0, same},
      {{"set", "E", "4"}, "", 1, "Set drive E: to region 4" + ask, no, 0, same},
      {{"set", "F", "4"}, "y\n", 1, "Make region 4 permanent" + ask, no, 1, same},
      {{"set", "G", "3", "--yes"},
       "",
       1,  // the disc prompt cancels without a terminal
       "Attention: Disc is not present !\nPlease insert approproiate disc\n"
       "No terminal to answer on: Cancel.\nOperation is canceled.\n",
       "",
       2,
       same},
      {{"set", "E", "4"},
       " y\n",
       0,  // blanks around the answer
       "Changes left: 4 now, 3 after this change.\nSet drive E: to region 4? [y/N] \n"
       "Success to set regional code.\nDrive's region is 4.\n",
       "",
       0,
       {RegionMaskOf(4), 3}},
      {{"set", "E", "2", "-y", "--json"},
       "",
       0,  // the cost on standard error
       R"({"outcome": "set", "changes_left_before": 3, "changes_left_after": 2,
           "becomes_permanent": false, "before": {"drive_state": {"region": 4}},
           "after": {"drive_state": {"region": 2}}})",
       "Changes left: 3 now, 2 after this change.\n",
       0,
       {RegionMaskOf(2), 2}},
      {{"set", "F", "4"},
       "y\nyes\n",
       0,
       "Changes left: 1 now, 0 after this change.\nSet drive F: to region 4? [y/N] \n"
       "This is the last change: afterwards the drive keeps region 4 for good and can "
       "never be changed again.\nMake region 4 permanent? [y/N] \nSuccess to set regional code.\n",
       "",
       1,
       {RegionMaskOf(4), 0}},
      {{"set", "F", "2", "--json"},
       "",
       1,  // nothing is asked, since nothing can be spent
       R"({"outcome": "permanent", "becomes_permanent": false, "changes_left_after": 0,
           "before": {"drive_state": {"type_code": 3}}})",
       "",
       1,
       {RegionMaskOf(4), 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + c.args[2] + c.input);
    const std::string before = ReadFile(state_);
    const Result r = Run(c.args, kEnglish, c.input);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    if (c.out.starts_with("{")) {
      EXPECT_TRUE(Holds(Json::parse(r.out), c.out.c_str())) << r.out;
    } else {
      EXPECT_TRUE(Has(r.out, c.out)) << r.out;
    }
    if (c.saved == same) {
      EXPECT_EQ(ReadFile(state_), before);
    } else {
      EXPECT_EQ(Saved(c.drive), c.saved);
    }
  }
}

TEST_F(CliTest, ADamagedStateFileIsNamedAndLeftAlone) {
  std::ofstream(state_) << "{\"drives\": [";
  for (const auto& args : {std::vector<std::string>{"list"}, {"set", "E", "2", "--yes"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Has(r.err, state_.string()) && Has(r.err, "left as it is")) << r.err;
    EXPECT_EQ(ReadFile(state_), "{\"drives\": [");
  }
  // A file that cannot be written: refused before anything is sent.
  Save(Scenario());
  fs::permissions(state_, fs::perms(0444));
  const Result r = Run({"set", "E", "4", "--yes"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(Has(r.err, "read-only")) << r.err;
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
    EXPECT_EQ(Count(r.err, "\n"), 1) << r.err;
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

TEST_F(CliTest, TheDemoStateFileIsCreatedWhenMissing) {
  Save(varden::emulated::DemoScenario());
  const Result expected = Run({"list"});
  const fs::path home = dir_ / "state";
  const Result r = Run({"--emulated", "list"}, kEnglish, "", "XDG_STATE_HOME=" + home.string());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected.out);
  EXPECT_EQ(Count(r.out, "\n"), 4);  // the other maker's is not listed
  EXPECT_TRUE(fs::exists(home / "varden" / "drives.json"));
}

// Drives that are not there, cannot be opened or read, and terminals of other character sets.
TEST_F(CliTest, EachLineEndsAsAUserExpects) {
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
  const bool user_runs = getuid() != 0 || std::system("setpriv --version >/dev/null") == 0;
  const std::string locales = "LOCPATH=" + (dir_ / "locales").string();
  for (const std::string set : {"EUC-JP", "SHIFT_JIS"}) {
    const std::string make = "localedef --no-warnings=ascii -i ja_JP -f " + set + " " +
                             (dir_ / "locales" / ("ja_JP." + set)).string();
    // Without it the program goes by the character set in the locale's name.
    if (std::system(make.c_str()) != 0) std::cout << "not tested: nl_langinfo for " << set << "\n";
  }
  struct Case {
    std::string lang, env;
    std::vector<std::string> args;
    int status;
    std::string out, err;  // parts
  } const cases[] = {
      {kEnglish, "", {N, "report"}, 1, "", "no drive of the maker was found"},
      {kEnglish, "", {N, "list"}, 0, "", "no drive of the maker was found"},
      {kEnglish, "", {"--json", "--help"}, 0, "\"usage\": \"Usage: varden-cli", ""},
      {kEnglish, "", {"--version", "--json"}, 0, "\"version\": \"varden-cli (", ""},
      {kEnglish, "", {N, "report", "--json"}, 1, "\"report\": null", ""},
      {kEnglish, "", {O, "report"}, 0, "Disc permits regions: 2 4\n", ""},
      {kEnglish, "", {O, "set", "F", "2", "-y"}, 1, "", "none is, because the drive's region"},
      {kEnglish, user, {"list"}, 1, "", "(drive D:) is there, but this user may not open it: only"},
      {kEnglish, user, {"report", "E", "--json"}, 1, "\"drive\": null", "to group '"},
      {kEnglish, user, {"report"}, 1, "", "no drive could be opened: "},
      {kEnglish, user, {"report", "F"}, 2, "", "drive F: is not among the drives found"},
      {"ja_JP.EUC-JP", locales, {"report"}, 0, "\xA5\xC9\xA5\xE9\xA5\xA4\xA5\xD6: E:", ""},
      {"ja_JP.SHIFT_JIS", locales, {"report"}, 0, "\x83\x68\x83\x89\x83\x43\x83\x75: E:", ""},
      {"ja_JP.UTF-8", locales, {"report"}, 0, "ドライブ: E:", ""},
      {"ja_JP.ISO-8859-1", locales, {"report"}, 0, "Drive: E:", ""},  // cannot hold Japanese
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.lang);
    if (c.env == user && !user_runs) {
      std::cout << "skipped: without setpriv the row cannot run as a user without rights\n";
      continue;
    }
    const Result r = Run(c.args, c.lang, "", c.env);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(Has(r.out, c.out)) << r.out;
    EXPECT_TRUE(Has(r.err, c.err)) << r.err;
    // Once for each node this user may not open.
    EXPECT_EQ(Count(r.err, "is there, but"), c.env == user ? 2 : 0) << r.err;
  }
}

// Several processes on one state file: every change is kept, a change that cannot be kept
// says so, and an answer given for an old state sends nothing. (The lock's waits, busy files
// and signals during a save are the store's own tests.)
class SharingTest : public CliTest {
 protected:
  // Starts varden-cli on the state file with `args`, standard output to `out` and error to
  // `out`.err, standard input from the pipe `input` (closed when -1).
  pid_t Start(std::vector<std::string> args, const fs::path& out, int input = -1) {
    args.insert(args.begin(), {"varden-cli", "--emulated=" + state_.string()});
    const pid_t pid = fork();
    if (pid != 0) return pid;
    dup2(input >= 0 ? input : open("/dev/null", O_RDONLY), STDIN_FILENO);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
    dup2(open((out.string() + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(VARDEN_CLI_PATH, argv.data());
    _exit(127);
  }
  // Starts a change of E whose disc takes two seconds to spin up, and waits until it holds
  // the file.
  pid_t StartWaiting() {
    std::vector<DriveState> drives = varden::emulated::DemoScenario();
    drives[0].user_changes = 4;
    drives[0].disc.becoming_ready_tests = 2;
    Save(drives);
    const pid_t pid = Start({"--json", "set", "E", "3", "--yes"}, dir_ / "E");
    const std::string lock = varden::emulated::StateLock::LockFileOf(state_).string();
    for (bool held = false; !held; usleep(20000)) {
      const int fd = open(lock.c_str(), O_RDWR);
      held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0;
      if (fd >= 0) close(fd);
    }
    usleep(300000);
    return pid;
  }
  int Finish(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(SharingTest, TwoWritersKeepBothChangesAndAChangeNotKeptSaysSo) {
  const pid_t waiting = StartWaiting();
  EXPECT_EQ(Finish(Start({"set", "F", "4", "--yes"}, dir_ / "F")), 0);
  EXPECT_EQ(Finish(waiting), 0);
  EXPECT_EQ(Saved(0), std::make_pair(int{RegionMaskOf(3)}, 3));
  EXPECT_EQ(Saved(1), std::make_pair(int{RegionMaskOf(4)}, 3));

  // The file turns read-only while the change waits for the disc: sent, but not kept.
  const pid_t unkept = StartWaiting();
  fs::permissions(state_, fs::perms(0444));
  EXPECT_EQ(Finish(unkept), 1);
  const Json doc = Json::parse(ReadFile(dir_ / "E"));
  EXPECT_TRUE(
      Holds(doc, R"({"outcome": "not_kept", "after": {"drive_state": {"region_mask": 255}}})"))
      << doc;
  EXPECT_EQ(Saved(0), std::make_pair(int{varden::kNoRegionMask}, 4));
}

// The lock is let go while a person answers and taken again after the answer: a drive changed
// meanwhile, or a file busy by then, is not changed on that answer.
TEST_F(SharingTest, AnAnswerGivenForAnOldStateSendsNothing) {
  for (const bool busy : {false, true}) {
    Save(Scenario());
    int answer[2];
    ASSERT_EQ(pipe(answer), 0);
    const fs::path out = dir_ / "out";
    const pid_t pid = Start({"set", "E", "4"}, out, answer[0]);
    close(answer[0]);
    while (!Has(ReadFile(out), "[y/N]")) usleep(20000);
    auto drives = Scenario();
    drives[0].user_changes = busy ? 4 : 1;  // another program spent three changes
    Save(drives);
    const int lock = open(varden::emulated::StateLock::LockFileOf(state_).c_str(), O_RDWR);
    ASSERT_TRUE(!busy || flock(lock, LOCK_EX) == 0);
    ASSERT_EQ(write(answer[1], "y\n", 2), 2);
    close(answer[1]);
    EXPECT_EQ(Finish(pid), 1);
    close(lock);
    EXPECT_TRUE(Has(ReadFile(out.string() + ".err"), busy ? "is busy" : "was changed by another"))
        << ReadFile(out.string() + ".err");
    EXPECT_EQ(Saved(0), std::make_pair(int{RegionMaskOf(2)}, busy ? 4 : 1));
  }
}

}  // namespace
