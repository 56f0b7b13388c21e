// varden-cli as a user or a script sees it: the built program run on a temporary state file
// of emulated drives (or on a folder of device nodes), with its standard output, standard
// error and exit status read back. Every JSON document it writes is checked against the
// schema file that the manual page points script authors to.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "drive/region_commands.h"
#include "emulated/emulated_drive.h"
#include "emulated/state_file.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using varden::RegionMaskOf;
using varden::emulated::DriveState;

constexpr const char* kEnglish = "C";
constexpr const char* kJapanese = "ja_JP.UTF-8";

DriveState Drive(char letter, std::uint8_t region_mask, int changes, bool disc) {
  DriveState d;
  d.letter = letter;
  d.vendor = "Meridax ";
  d.product = std::string("DVD-ROM MX-120") + letter;
  d.region_mask = region_mask;
  d.user_changes = changes;
  d.disc = {.present = disc, .cpst = varden::kCpstCssCppm, .rmi = 0xF5};  // regions 2 and 4
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

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Whether `doc` fits `schema`, for the part of JSON Schema that the schema file uses.
bool Fits(const Json& doc, const Json& schema, const Json& root) {
  static const std::string kDefs = "#/$defs/";
  if (schema.contains("$ref")) {
    return Fits(doc, root["$defs"][schema["$ref"].get<std::string>().substr(kDefs.size())], root);
  }
  if (schema.contains("oneOf")) {
    const auto& ways = schema["oneOf"];
    if (std::ranges::count_if(ways, [&](const Json& s) { return Fits(doc, s, root); }) != 1) {
      return false;
    }
  }
  const auto in = [](const Json& values, const Json& value) {
    return std::ranges::find(values, value) != values.end();
  };
  const Json types = schema.value("type", Json::array());
  if ((!types.empty() && !in(types.is_string() ? Json::array({types}) : types,
                             doc.is_number_integer() ? "integer" : doc.type_name())) ||
      (schema.contains("const") && doc != schema["const"]) ||
      (schema.contains("enum") && !in(schema["enum"], doc)) ||
      (doc.is_number() && schema.contains("minimum") && doc < schema["minimum"]) ||
      (doc.is_number() && schema.contains("maximum") && doc > schema["maximum"])) {
    return false;
  }
  for (const auto& name : schema.value("required", Json::array())) {
    if (!doc.contains(name)) return false;
  }
  const Json properties = schema.value("properties", Json::object());
  for (auto it = doc.begin(); doc.is_object() && it != doc.end(); ++it) {
    if (properties.contains(it.key()) ? !Fits(*it, properties[it.key()], root)
                                      : !schema.value("additionalProperties", true)) {
      return false;
    }
  }
  return !doc.is_array() || !schema.contains("items") ||
         std::ranges::all_of(doc,
                             [&](const Json& item) { return Fits(item, schema["items"], root); });
}

bool FitsSchema(const Json& doc) {
  static const Json schema = Json::parse(std::ifstream(VARDEN_CLI_SCHEMA_PATH));
  return Fits(doc, schema, schema);
}

// Whether `doc` holds every member of `expected` (a JSON text), at any depth.
bool Holds(const Json& doc, const char* expected) {
  Json merged = doc;
  merged.merge_patch(Json::parse(expected));
  return merged == doc;
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
    Save(Scenario());
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Save(const std::vector<DriveState>& drives) {
    std::string error;
    ASSERT_TRUE(varden::emulated::SaveState(state_, drives, error)) << error;
  }

  DriveState Saved(char letter) {
    const auto loaded = varden::emulated::LoadState(state_);
    EXPECT_TRUE(loaded.ok) << loaded.error;
    for (const DriveState& d : loaded.drives) {
      if (d.letter == letter) return d;
    }
    ADD_FAILURE() << "no drive " << letter;
    return {};
  }

  // Runs the program with `args` after --emulated=FILE (unless `env` is given or the line
  // names its own state file), in a clean environment of the given locale, with `input` as
  // standard input (not a terminal). A JSON document must fit the schema.
  Result Run(std::vector<std::string> args, const std::string& lang = kEnglish,
             const std::string& input = "", const std::string& env = "") {
    const bool json = std::ranges::find(args, "--json") != args.end();
    if (env.empty() && std::ranges::none_of(args, [](const std::string& a) {
          return a.starts_with("--emulated");
        })) {
      args.insert(args.begin(), "--emulated=" + state_.string());
    }
    std::ofstream(dir_ / "stdin") << input;
    std::string command = "env -i LANG=" + lang + " " + env + " " + VARDEN_CLI_PATH;
    for (const std::string& a : args) command += " '" + a + "'";
    command += " <" + (dir_ / "stdin").string() + " >" + (dir_ / "stdout").string() + " 2>" +
               (dir_ / "stderr").string();
    const int wait_status = std::system(command.c_str());
    Result r{WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1, ReadFile(dir_ / "stdout"),
             ReadFile(dir_ / "stderr")};
    if (json) {
      EXPECT_TRUE(FitsSchema(Json::parse(r.out))) << r.out;
    }
    return r;
  }

  fs::path dir_;
  fs::path state_;
};

TEST_F(CliTest, ListShowsTheMakersDrivesAsTheDriveListDoes) {
  const Result r = Run({"list"});
  EXPECT_EQ(r.status, 0) << r.err;
  // Letter, colon, space, then the 8 vendor and 16 product bytes with their trailing spaces.
  EXPECT_EQ(r.out,
            "E: Meridax DVD-ROM MX-120E \n"
            "F: Meridax DVD-ROM MX-120F \n"
            "G: Meridax DVD-ROM MX-120G \n");
  const Json drives = Json::parse(Run({"--json", "list"}).out)["drives"];
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[1],
            Json({{"index", 1}, {"letter", "F"}, {"text", "F: Meridax DVD-ROM MX-120F "}}));
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
    std::string lang;
    std::vector<std::string> args;
    std::string out;
  } const cases[] = {
      {kEnglish, {"report"}, english_e},  // the first drive
      {kEnglish, {"report", "e"}, english_e},
      {kJapanese,
       {"report", "E:"},
       "ドライブのリージョンコードは２です.\n"
       "このディスクは地域 2 4での視聴が許可されています。\n"
       "\n"
       "ドライブ: E: Meridax DVD-ROM MX-120E\n"
       "リージョン: 2\n"
       "リージョンコードはあと4回変更可能です。\n"
       "変更先として選べるリージョン: 2 4\n"
       "ディスクが許可するリージョン: 2 4\n"},
      {kEnglish,
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
    SCOPED_TRACE(c.args.back());
    const Result r = Run(c.args, c.lang);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
  }

  const Json doc = Json::parse(Run({"report", "E", "--json"}).out);
  EXPECT_TRUE(Holds(doc, R"({"command": "report", "ok": true, "exit_status": 0,
      "log": "Drive's region is 2.\nThis disc is allowed region 2 4\n",
      "report": {"drive_state": {"region": 2, "changes_left": 4, "type_code": 1,
                                 "vendor_resets": 4, "rpc_state": "64fd0100"},
                 "offered_regions": [2, 4], "disc": {"cpst": 1, "permitted_regions": [2, 4]}}})"))
      << doc.dump(2);

  // A drive that cannot be read: the report fails with the log's reason.
  auto drives = Scenario();
  drives[0].faults.no_report_key = true;
  Save(drives);
  const Result failed = Run({"report", "E", "--json"});
  EXPECT_EQ(failed.status, 1);
  const Json failed_doc = Json::parse(failed.out);
  // The disc alone still offers its regions, as in the dialog.
  EXPECT_TRUE(Holds(failed_doc, R"({"ok": false,
      "log": "Get drive region is failed.\nThis disc is allowed region 2 4\n",
      "report": {"drive_state": {"read": false}, "offered_regions": [2, 4]}})"))
      << failed_doc.dump(2);
  EXPECT_TRUE(failed_doc["report"]["drive_state"]["region"].is_null());
}

TEST_F(CliTest, SetTellsTheCostAsksAndSavesTheNewRegion) {
  struct Case {
    std::string lang;
    std::string cost, question, outcome;
  } const cases[] = {
      {kEnglish, "Changes left: 4 now, 3 after this change.\n", "Set drive E: to region 4? [y/N] ",
       "Success to set regional code.\nDrive's region is 4.\n"},
      {kJapanese, "残りの変更回数: 現在 4 回、この変更の後 3 回。\n",
       "ドライブ E: のリージョンを 4 に設定しますか? [y/N] ",
       "リージョンの設定は成功しました。\nドライブのリージョンコードは４です.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    Save(Scenario());
    const Result r = Run({"set", "E", "4"}, c.lang, "y\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, c.cost + c.question + "\n" + c.outcome)) << r.out;
    EXPECT_EQ(Saved('E').region_mask, RegionMaskOf(4));
    EXPECT_EQ(Saved('E').user_changes, 3);
  }

  // With --yes and --json: the document on standard output, the cost on standard error.
  Save(Scenario());
  const Result r = Run({"set", "E", "4", "--yes", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json doc = Json::parse(r.out);
  EXPECT_TRUE(Holds(doc, R"({"outcome": "set", "changes_left_before": 4,
      "changes_left_after": 3, "becomes_permanent": false,
      "before": {"drive_state": {"region": 2}}, "after": {"drive_state": {"region": 4}}})"))
      << doc.dump(2);
  EXPECT_TRUE(Has(doc["log"], "Success to set regional code.\nDrive's region is 4.\n"));
  EXPECT_TRUE(Has(r.err, "Changes left: 4 now, 3 after this change."));
}

TEST_F(CliTest, NothingIsSentWhenTheChangeIsRefusedOrNotConfirmed) {
  const std::string kNotConfirmed = "Not confirmed: nothing was sent to the drive.\n";
  struct Case {
    std::vector<std::string> args;
    std::string input, err, out;  // all of standard error, part of standard output
  } const cases[] = {
      {{"set", "E", "3", "--yes"},
       "",
       "Region 3 is not offered for this drive (offered: 2 4): nothing was sent to the drive.\n",
       "Regions offered for a change: 2 4\n"},
      {{"set", "E", "4"}, "n\n", kNotConfirmed, "Set drive E: to region 4? [y/N] "},
      {{"set", "E", "4"}, "", kNotConfirmed, "Set drive E: to region 4? [y/N] "},
      {{"set", "F", "4"}, "y\n", kNotConfirmed, "Make region 4 permanent? [y/N] "},
      // The disc prompt counts as cancel without a terminal.
      {{"set", "G", "3", "--yes"},
       "",
       "",
       "Attention: Disc is not present !\nPlease insert approproiate disc\n"
       "No terminal to answer on: Cancel.\nOperation is canceled.\n"},
  };
  const std::string before = ReadFile(state_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + c.args[2] + c.input);
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
  EXPECT_EQ(Saved('F').user_changes, 0);

  // Now the drive refuses by itself; nothing is asked, since nothing can be spent.
  const Result again = Run({"set", "F", "2", "--json"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "");
  const Json doc = Json::parse(again.out);
  EXPECT_TRUE(Holds(doc, R"({"outcome": "permanent", "becomes_permanent": false,
      "changes_left_after": 0, "before": {"drive_state": {"type_code": 3}}})"))
      << doc.dump(2);
  EXPECT_TRUE(Has(doc["log"], "Drive regional code is already permanent state.\n"));
  EXPECT_EQ(Saved('F').region_mask, RegionMaskOf(4));
}

TEST_F(CliTest, ADamagedStateFileIsNamedAndLeftAlone) {
  for (const std::string text : {"{\"drives\": [", "{\"drives\": [{\"letter\": \"3\"}]}"}) {
    std::ofstream(state_) << text;
    for (const auto& args : {std::vector<std::string>{"list"}, {"set", "E", "2", "--yes"}}) {
      SCOPED_TRACE(text + " " + args[0]);
      const Result r = Run(args);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      EXPECT_TRUE(Has(r.err, state_.string())) << r.err;
      EXPECT_TRUE(Has(r.err, "left as it is")) << r.err;
      EXPECT_EQ(ReadFile(state_), text);
    }
  }
}

// Bad usage: one line that names the mistake, exit 2, nothing sent, created or changed; with
// --json also one document.
TEST_F(CliTest, BadUsageExitsWithTwoAndOneLineOnStandardError) {
  const std::string folder = (dir_ / "new").string() + "/";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no command given"},
      {{"eject"}, "unknown command 'eject'"},
      {{"list", "--verbose"}, "unknown option '--verbose'"},
      {{"set", "E", "1", "-yes"}, "unknown option '-yes' (did you mean '--yes'?)"},
      {{"-yjson", "list"}, "unknown option '-yjson'"},
      {{"set", "Q", "2"}, "drive Q: is not among the drives found"},
      {{"report", "H"}, "drive H: is not among the drives found"},  // another maker's
      {{"report", "E\x1b[2J"}, "'E?[2J' is not a drive letter"},
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
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    std::vector<std::string> json_args = args;
    json_args.insert(json_args.begin(), "--json");
    const Result json = Run(json_args);
    EXPECT_EQ(json.status, 2);
    EXPECT_EQ(Json::parse(json.out)["exit_status"], 2);
  }
  EXPECT_EQ(ReadFile(state_), before);
  EXPECT_FALSE(fs::exists(folder));
  const Json not_a_document = {{"command", "list"}, {"ok", true}};
  EXPECT_FALSE(FitsSchema(not_a_document));
}

TEST_F(CliTest, TheDemoStateFileIsCreatedWhenMissing) {
  Save(varden::emulated::DemoScenario());
  const Result expected = Run({"list"});
  const fs::path home = dir_ / "state";
  const Result r = Run({"--emulated", "list"}, kEnglish, "", "XDG_STATE_HOME=" + home.string());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected.out);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);  // the other maker's is not listed
  EXPECT_TRUE(fs::exists(home / "varden" / "drives.json"));

  // A bare --emulated never takes the next word as its file, before or after the command.
  const std::string env = "XDG_STATE_HOME=" + home.string();
  for (const auto& args : {std::vector<std::string>{"report", "--emulated", "E"},
                           std::vector<std::string>{"--emulated", "report", "E"}}) {
    const Result report = Run(args, kEnglish, "", env);
    EXPECT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find("Drive has no region."), std::string::npos) << report.out;
  }
}

}  // namespace
