// varden-cli as a user or a script sees it: the built program run on a temporary state file
// of emulated drives (or on a folder of device nodes), with its standard output, standard
// error and exit status read back. Every JSON document it writes is checked against the
// schema file that the manual page points script authors to.
#include <gtest/gtest.h>
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

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using varden::RegionMaskOf;
using varden::emulated::DriveState;

constexpr const char* kEnglish = "C";

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

  void Save(const std::vector<DriveState>& drives, const fs::path& file = {}) {
    std::string error;
    ASSERT_TRUE(varden::emulated::SaveState(file.empty() ? state_ : file, drives, error)) << error;
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

  // Runs the program with `args` after --emulated=FILE (unless the line names its own state
  // file or `env` points it at device nodes), in a clean environment of the given locale, with
  // `input` as standard input (not a terminal). A JSON document must fit the schema.
  Result Run(std::vector<std::string> args, const std::string& lang = kEnglish,
             const std::string& input = "", const std::string& env = "") {
    const bool json = std::ranges::find(args, "--json") != args.end();
    if (!Has(env, "VARDEN_NODE_PREFIX") && std::ranges::none_of(args, [](const std::string& a) {
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
  EXPECT_EQ(Json::parse(Run({"--json", "list"}).out)["drives"].at(1),
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
      {kEnglish, {"report", "e:"}, english_e},
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
}

TEST_F(CliTest, SetTellsTheCostAsksAndSavesTheNewRegion) {
  const Result answered = Run({"set", "E", "4"}, kEnglish, " y\n");  // blanks around the answer
  EXPECT_EQ(answered.status, 0) << answered.err;
  EXPECT_TRUE(Has(answered.out,
                  "Changes left: 4 now, 3 after this change.\nSet drive E: to region 4? [y/N] \n"
                  "Success to set regional code.\nDrive's region is 4.\n"))
      << answered.out;
  EXPECT_EQ(Saved('E').region_mask, RegionMaskOf(4));
  EXPECT_EQ(Saved('E').user_changes, 3);

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
}

// Drives that are not there, cannot be opened or read, and terminals of other character sets.
TEST_F(CliTest, EachLineEndsAsAUserExpects) {
  const fs::path none = dir_ / "none.json", odd = dir_ / "odd.json", nodes = dir_ / "nodes";
  auto drives = Scenario();
  drives[0].disc.cpst = varden::kCpstCprm;
  drives[1] = Drive('F', RegionMaskOf(2), 4, false);
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
      {kEnglish, "", {N, "report", "--json"}, 1, "\"report\": null", ""},
      {kEnglish, "", {O, "report"}, 0, "Disc permits regions: 2 4\n", ""},
      {kEnglish,
       "",
       {O, "set", "F", "2", "-y"},
       1,
       "",
       "none is, because the drive's region state"},
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
    const std::string hint = "is there, but";  // once for each node this user may not open
    int hints = 0;
    for (auto at = r.err.find(hint); at != std::string::npos; at = r.err.find(hint, at + 1))
      ++hints;
    EXPECT_EQ(hints, c.env == user ? 2 : 0) << r.err;
  }
}

}  // namespace
