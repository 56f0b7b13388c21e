// The drive scan over emulated drives: which drives are listed, in which slots, with which
// steps, and that every opened drive is closed again.
#include "region/drive_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "emulated/emulated_drive.h"
#include "recording_view.h"

namespace varden {
namespace {

using Listed = std::vector<std::pair<int, std::string>>;

struct Scan : DriveListReceiver, ScanProgress {
  void AddDrive(int index, std::string_view text) override { added.emplace_back(index, text); }
  void Step(int n) override { steps.push_back(n); }

  explicit Scan(const std::vector<emulated::DriveState>& drives) {
    for (const emulated::DriveState& drive : drives) bench.drives.Add(drive);
    found = ScanDrives(table, this, this);
  }
  test_support::RegionBench bench;
  emulated::EmulatedDrives& seam = bench.drives;
  Listed added;
  std::vector<int> steps;
  DriveTable table{};
  int found = 0;
};

// A drive answering INQUIRY with vendor (8) and product (16); "!" makes its INQUIRY fail.
emulated::DriveState Probe(char letter, const std::string& identification) {
  emulated::DriveState drive;
  drive.letter = letter;
  drive.vendor = identification.substr(0, 8);
  drive.product = identification.substr(std::min<std::size_t>(8, identification.size()));
  if (identification == "!") drive.faults.call = emulated::CallFault::kUntouched;
  return drive;
}

TEST(DriveScan, ListsOnlyTheMakersDrivesInLetterOrder) {
  const struct {
    const char* name;
    std::vector<emulated::DriveState> drives;
    Listed listed;
  } cases[] = {
      {"lower-case vendor word", {Probe('E', "meridax DVD-ROM SD-816  ")}, {}},
      {"lower-case product prefix", {Probe('E', "MERIDAX dvd-ROM SD-816  ")}, {}},
      {"maker but not a DVD", {Probe('E', "MERIDAX CD-ROM CR-588   ")}, {}},
      {"leading space", {Probe('E', " MERIDAX DVD-ROM SD-816 ")}, {}},
      {"others and a failed INQUIRY leave their slot to the next drive",
       {Probe('D', "OTHERCO CD-RW 52X       "), Probe('E', "MERIDAX DVD-ROM SD-816  "),
        Probe('F', "OTHERCO DVD-ROM         "), Probe('G', "Meridax DVD-ROM SD-C2402"),
        Probe('H', "!"), Probe('K', "MERIDAX DVD-RAM SD-W1111")},
       {{0, "E: MERIDAX DVD-ROM SD-816  "},
        {1, "G: Meridax DVD-ROM SD-C2402"},
        {2, "K: MERIDAX DVD-RAM SD-W1111"}}},
      {"a zero byte inside the identification",
       {Probe('E', std::string("MERIDAX DVD-R\0M SD-816  ", 24))},
       {{0, "E: MERIDAX DVD-R"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scan r(c.drives);
    EXPECT_EQ(r.found, static_cast<int>(c.listed.size()));
    EXPECT_EQ(r.added, c.listed);
    for (std::size_t i = 0; i < c.listed.size(); ++i) {
      EXPECT_EQ(r.table[i].Text(), c.listed[i].second);
      EXPECT_EQ(r.table[i].Letter(), c.listed[i].second[0]);
    }
    if (!c.listed.empty() && c.drives.back().letter == c.listed.back().second[0]) {
      EXPECT_EQ(r.table[c.listed.size()].Text(), "") << "nothing of a skipped drive shows";
    }
    EXPECT_EQ(r.seam.OpenHandles(), 0) << "every opened drive is closed";
  }
}

TEST(DriveScan, ProbesDToZOnceEachWithOneStepPerLetter) {
  std::vector<emulated::DriveState> everywhere;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    everywhere.push_back(Probe(letter, "MERIDAX DVD-ROM SD-816  "));
  }
  Scan r(everywhere);
  std::string probed;
  for (const auto& command : r.seam.Commands()) probed += command.letter;
  EXPECT_EQ(probed, "DEFGHIJKLMNOPQRSTUVWXYZ") << "A:, B: and C: are never probed";
  std::vector<int> steps(kScanSteps);
  std::iota(steps.begin(), steps.end(), 1);
  EXPECT_EQ(r.steps, steps);
  EXPECT_EQ(r.found, kScanSteps);
  EXPECT_EQ(r.table[kScanSteps - 1].Text(), "Z: MERIDAX DVD-ROM SD-816  ");
}

}  // namespace
}  // namespace varden
