// varden-cli as a user or a script sees it: the built program run on a temporary state file
// of emulated drives, with its standard output, standard error and exit status read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "drive/region_commands.h"
#include "emulated/emulated_drive.h"
#include "emulated/state_file.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using varden::RegionMaskOf;
using varden::emulated::DriveState;

constexpr const char* kEnglish = "C";
constexpr const char* kJapanese = "ja_JP.UTF-8";

// Region management information: bit n-1 set forbids region n.
constexpr std::uint8_t kPermitsRegions2And4 = 0xF5;

DriveState Drive(char letter, std::uint8_t region_mask, int changes, bool disc) {
  DriveState d;
  d.letter = letter;
  d.vendor = "Meridax ";
  d.product = std::string("DVD-ROM MX-120") + letter;
  d.region_mask = region_mask;
  d.user_changes = changes;
  d.disc.present = disc;
  d.disc.cpst = varden::kCpstCssCppm;
  d.disc.rmi = kPermitsRegions2And4;
  return d;
}

// E: region 2 with four changes; F: region 2 with its last change; G: region 3 and no disc;
// H: another maker's drive.
std::vector<DriveState> Scenario() {
  DriveState other = Drive('H', varden::kNoRegionMask, 5, true);
  other.vendor = "OTHERCO ";
  return {Drive('E', RegionMaskOf(2), 4, true), Drive('F', RegionMaskOf(2), 1, true),
          Drive('G', RegionMaskOf(3), 3, false), other};
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "varden-cli-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
    state_ = dir_ / "drives.json";
    SaveScenario(Scenario());
  }
  void TearDown() override { fs::remove_all(dir_); }

  void SaveScenario(const std::vector<DriveState>& drives) {
    std::string error;
    ASSERT_TRUE(varden::emulated::SaveState(state_, drives, error)) << error;
  }

  DriveState SavedDrive(char letter) {
    const auto loaded = varden::emulated::LoadState(state_);
    EXPECT_TRUE(loaded.ok) << loaded.error;
    for (const DriveState& d : loaded.drives) {
      if (d.letter == letter) return d;
    }
    ADD_FAILURE() << "no drive " << letter;
    return {};
  }

  // Runs the program on the test's state file with `args` after --emulated=FILE, in the
  // given locale, with `input` as standard input (not a terminal).
  Result Run(std::vector<std::string> args, const std::string& lang = kEnglish,
             const std::string& input = "", std::vector<std::string> env = {},
             bool emulated_file = true) {
    if (emulated_file) args.insert(args.begin(), "--emulated=" + state_.string());
    return RunProgram(args, lang, input, env);
  }

  Result RunProgram(const std::vector<std::string>& args, const std::string& lang,
                    const std::string& input, std::vector<std::string> env) {
    const fs::path in = dir_ / "stdin", out = dir_ / "stdout", err = dir_ / "stderr";
    WriteFile(in, input);

    std::vector<std::string> argv_text = {VARDEN_CLI_PATH};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The caller's locale and state folder must not leak into the run.
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry = *e;
      if (entry.starts_with("LANG") || entry.starts_with("LC_") ||
          entry.starts_with("XDG_STATE_HOME=")) {
        continue;
      }
      env.emplace_back(entry);
    }
    env.push_back("LANG=" + lang);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Result result;
    const int spawned =
        posix_spawn(&pid, VARDEN_CLI_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << VARDEN_CLI_PATH;
      return result;
    }
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
  }

  fs::path dir_;
  fs::path state_;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CliTest, ListShowsTheMakersDrivesAsTheDriveListDoes) {
  const Result r = Run({"list"});
  EXPECT_EQ(r.status, 0) << r.err;
  // Letter, colon, space, then the 8 vendor and 16 product bytes with their trailing spaces.
  EXPECT_EQ(r.out,
            "E: Meridax DVD-ROM MX-120E \n"
            "F: Meridax DVD-ROM MX-120F \n"
            "G: Meridax DVD-ROM MX-120G \n");
}

TEST_F(CliTest, ReportShowsTheLogAndTheDialogsStateInTheLocalesLanguage) {
  const std::string english_e =
      "Drive's region is 2.\n"
      "This disc is allowed region 2 4\n"
      "\n"
      "Drive: E: Meridax DVD-ROM MX-120E\n"
      "Region: 2\n"
      "Regional code can be changed 4time(s)\n"
      "Regions offered for a change: 2 4\n"
      "Disc permits regions: 2 4\n";
  struct Case {
    const char* name;
    std::string lang;
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {"first drive by default", kEnglish, {"report"}, english_e},
      {"lower-case letter", kEnglish, {"report", "e"}, english_e},
      {"Japanese",
       kJapanese,
       {"report", "E:"},
       "ドライブのリージョンコードは２です.\n"
       "このディスクは地域 2 4での視聴が許可されています。\n"
       "\n"
       "ドライブ: E: Meridax DVD-ROM MX-120E\n"
       "リージョン: 2\n"
       "リージョンコードはあと4回変更可能です。\n"
       "変更先として選べるリージョン: 2 4\n"
       "ディスクが許可するリージョン: 2 4\n"},
      {"no disc",
       kEnglish,
       {"report", "G"},
       "Drive's region is 3.\n"
       "Get disc region is failed.\n"
       "\n"
       "Drive: G: Meridax DVD-ROM MX-120G\n"
       "Region: 3\n"
       "Regional code can be changed 3time(s)\n"
       "Regions offered for a change: 3\n"
       "Disc: permitted regions not known (no disc, or the drive could not read it)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = Run(c.args, c.lang);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
}

TEST_F(CliTest, ReportOnADriveThatCannotBeReadFailsWithTheLogsReason) {
  auto drives = Scenario();
  drives[0].faults.no_report_key = true;
  SaveScenario(drives);
  const Result r = Run({"report", "E", "--json"});
  EXPECT_EQ(r.status, 1);
  const Json doc = Json::parse(r.out);
  EXPECT_FALSE(doc["ok"]);
  EXPECT_EQ(doc["log"], "Get drive region is failed.\nThis disc is allowed region 2 4\n");
  EXPECT_FALSE(doc["report"]["drive_state"]["read"]);
  EXPECT_TRUE(doc["report"]["drive_state"]["region"].is_null());
  // The disc alone still offers its regions, as in the dialog.
  EXPECT_EQ(doc["report"]["offered_regions"], Json({2, 4}));
}

TEST_F(CliTest, JsonDocumentsCarryTheDrivesState) {
  const Result list = Run({"--json", "list"});
  ASSERT_EQ(list.status, 0) << list.err;
  const Json drives = Json::parse(list.out)["drives"];
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[1],
            Json({{"index", 1}, {"letter", "F"}, {"text", "F: Meridax DVD-ROM MX-120F "}}));

  const Result report = Run({"report", "E", "--json"});
  ASSERT_EQ(report.status, 0) << report.err;
  const Json doc = Json::parse(report.out);
  EXPECT_EQ(doc["command"], "report");
  EXPECT_TRUE(doc["ok"]);
  EXPECT_EQ(doc["exit_status"], 0);
  EXPECT_EQ(doc["log"], "Drive's region is 2.\nThis disc is allowed region 2 4\n");
  const Json& state = doc["report"]["drive_state"];
  EXPECT_EQ(state["region"], 2);
  EXPECT_EQ(state["changes_left"], 4);
  EXPECT_EQ(state["type_code"], 1);
  EXPECT_EQ(state["vendor_resets"], 4);
  // Type code 01b, four vendor resets, four changes; mask FDh; RPC Phase II.
  EXPECT_EQ(state["rpc_state"], "64fd0100");
  EXPECT_EQ(doc["report"]["offered_regions"], Json({2, 4}));
  EXPECT_EQ(doc["report"]["disc"]["cpst"], 1);
  EXPECT_EQ(doc["report"]["disc"]["permitted_regions"], Json({2, 4}));

  const Result set = Run({"set", "E", "4", "--yes", "--json"});
  ASSERT_EQ(set.status, 0) << set.err;
  const Json change = Json::parse(set.out);  // the cost went to standard error
  EXPECT_EQ(change["outcome"], "set");
  EXPECT_EQ(change["changes_left_before"], 4);
  EXPECT_EQ(change["changes_left_after"], 3);
  EXPECT_FALSE(change["becomes_permanent"]);
  EXPECT_EQ(change["before"]["drive_state"]["region"], 2);
  EXPECT_EQ(change["after"]["drive_state"]["region"], 4);
  EXPECT_TRUE(Has(change["log"], "Success to set regional code.\nDrive's region is 4.\n"));
  EXPECT_TRUE(Has(set.err, "Changes left: 4 now, 3 after this change."));
}

TEST_F(CliTest, SetTellsTheCostAsksAndSavesTheNewRegion) {
  struct Case {
    std::string lang;
    std::string cost;
    std::string question;
    std::string outcome;
  } cases[] = {
      {kEnglish, "Changes left: 4 now, 3 after this change.\n", "Set drive E: to region 4? [y/N] ",
       "Success to set regional code.\nDrive's region is 4.\n"},
      {kJapanese, "残りの変更回数: 現在 4 回、この変更の後 3 回。\n",
       "ドライブ E: のリージョンを 4 に設定しますか? [y/N] ",
       "リージョンの設定は成功しました。\nドライブのリージョンコードは４です.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    SaveScenario(Scenario());
    const Result r = Run({"set", "E", "4"}, c.lang, "y\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, c.cost + c.question + "\n" + c.outcome)) << r.out;
    const DriveState e = SavedDrive('E');
    EXPECT_EQ(e.region_mask, RegionMaskOf(4));
    EXPECT_EQ(e.user_changes, 3);
  }
}

TEST_F(CliTest, NothingIsSentWhenTheRegionIsRefusedOrTheChangeNotConfirmed) {
  const std::string last_change =
      "This is the last change: afterwards the drive keeps region 4 for good and can never be "
      "changed again.\nMake region 4 permanent? [y/N] ";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string err;
    std::string out;  // also shown on standard output
  } cases[] = {
      {"region not offered",
       {"set", "E", "3", "--yes"},
       "",
       "Region 3 is not offered for this drive (offered: 2 4): nothing was sent to the drive.\n",
       "Regions offered for a change: 2 4\n"},
      {"answered no",
       {"set", "E", "4"},
       "n\n",
       "Not confirmed: nothing was sent to the drive.\n",
       "Set drive E: to region 4? [y/N] "},
      {"no answer",
       {"set", "E", "4"},
       "",
       "Not confirmed: nothing was sent to the drive.\n",
       "Set drive E: to region 4? [y/N] "},
      {"last change not confirmed",
       {"set", "F", "4"},
       "y\n",
       "Not confirmed: nothing was sent to the drive.\n",
       last_change},
  };
  const std::string before = ReadFile(state_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = Run(c.args, kEnglish, c.input);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(Has(r.out, c.out)) << r.out;
    EXPECT_FALSE(Has(r.out, "regional code.")) << r.out;  // no SEND KEY outcome
    EXPECT_EQ(ReadFile(state_), before);
  }
}

TEST_F(CliTest, TheLastChangeIsAskedAboutTwiceAndThenTheRegionIsPermanent) {
  const Result r = Run({"set", "F", "4"}, kEnglish, "y\nyes\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out,
                  "Changes left: 1 now, 0 after this change.\n"
                  "Set drive F: to region 4? [y/N] \n"
                  "This is the last change: afterwards the drive keeps region 4 for good and can "
                  "never be changed again.\n"
                  "Make region 4 permanent? [y/N] \n"
                  "Success to set regional code.\n"))
      << r.out;
  EXPECT_EQ(SavedDrive('F').user_changes, 0);

  // Now the drive refuses by itself; nothing is asked, since nothing can be spent.
  const std::string before = ReadFile(state_);
  const Result again = Run({"set", "F", "2", "--json"});
  EXPECT_EQ(again.status, 1);
  const Json doc = Json::parse(again.out);
  EXPECT_EQ(doc["outcome"], "permanent");
  EXPECT_FALSE(doc["becomes_permanent"]);
  EXPECT_EQ(doc["changes_left_after"], 0);
  EXPECT_EQ(doc["before"]["drive_state"]["type_code"], 3);
  EXPECT_TRUE(Has(doc["log"], "Drive regional code is already permanent state.\n"));
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(SavedDrive('F').region_mask, RegionMaskOf(4));
}

TEST_F(CliTest, TheDiscPromptCountsAsCancelWithoutATerminal) {
  const Result r = Run({"set", "G", "3", "--yes", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "Attention: Disc is not present !\nPlease insert approproiate disc\n"));
  const Json doc = Json::parse(r.out);
  EXPECT_EQ(doc["outcome"], "cancelled");
  EXPECT_TRUE(Has(doc["log"], "Operation is canceled.\nDrive's region is 3.\n"));
  const DriveState g = SavedDrive('G');
  EXPECT_EQ(g.region_mask, RegionMaskOf(3));
  EXPECT_EQ(g.user_changes, 3);
}

TEST_F(CliTest, ADamagedStateFileIsNamedAndLeftAlone) {
  const std::vector<std::string> damaged = {
      "{\"drives\": [",
      "{\"drives\": [{\"letter\": \"3\"}]}",
  };
  for (const std::string& text : damaged) {
    SCOPED_TRACE(text);
    WriteFile(state_, text);
    for (const auto& args : {std::vector<std::string>{"list"}, {"set", "E", "2", "--yes"}}) {
      const Result r = Run(args);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      EXPECT_TRUE(Has(r.err, state_.string())) << r.err;
      EXPECT_TRUE(Has(r.err, "left as it is")) << r.err;
      EXPECT_EQ(ReadFile(state_), text);
    }
  }
}

TEST_F(CliTest, BadUsageExitsWithTwoAndOneLineOnStandardError) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, "no command given"},
      {{"eject"}, "unknown command 'eject'"},
      {{"list", "--verbose"}, "unknown option '--verbose'"},
      {{"report", "Q"}, "drive Q: is not among the drives found"},
      {{"report", "H"}, "drive H: is not among the drives found"},  // another maker's
      {{"report", "EF"}, "'EF' is not a drive letter"},
      {{"set", "E"}, "write 'varden-cli set DRIVE REGION'"},
      {{"set", "E", "0"}, "'0' is not a region: give a number from 1 to 6"},
      {{"set", "E", "7"}, "'7' is not a region"},
      {{"--emulated=", "list"}, "--emulated= needs a state file name"},
  };
  const std::string before = ReadFile(state_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Has(r.err, c.err)) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(ReadFile(state_), before);
  }
}

TEST_F(CliTest, TheDemoStateFileIsCreatedWhenMissing) {
  SaveScenario(varden::emulated::DemoScenario());
  const Result expected = Run({"list"});

  const fs::path home = dir_ / "state";
  const Result r = Run({"--emulated", "list"}, kEnglish, "", {"XDG_STATE_HOME=" + home.string()},
                       /*emulated_file=*/false);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected.out);
  EXPECT_TRUE(fs::exists(home / "varden" / "drives.json"));
}

}  // namespace
