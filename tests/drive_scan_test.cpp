// The drive scan over emulated drives: which drives are listed, in which slots, with which
// steps, and that every opened drive is closed again.
#include "region/drive_scan.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "emulated/emulated_drive.h"

namespace varden {
namespace {

class Recorder : public DriveListReceiver, public ScanProgress {
 public:
  void AddDrive(int index, std::string_view text) override {
    added.emplace_back(index, std::string(text));
  }
  void Step(int n) override { steps.push_back(n); }
  std::vector<std::pair<int, std::string>> added;
  std::vector<int> steps;
};

// A drive at a letter answering INQUIRY with its 24 identification bytes, vendor (8) and
// product (16); "!" makes its INQUIRY fail.
emulated::DriveState Probe(char letter, const std::string& identification) {
  emulated::DriveState drive;
  drive.letter = letter;
  if (identification == "!") {
    drive.faults.call = emulated::CallFault::kUntouched;
  } else {
    drive.vendor = identification.substr(0, 8);
    drive.product = identification.substr(8);
  }
  return drive;
}

struct Scan {
  explicit Scan(std::vector<emulated::DriveState> drives) : seam(std::move(drives)) {
    ResetDriveAccess();
    SetDeviceSeam(&seam);
    EXPECT_EQ(AllocateTransferBuffer(), 0);
    found = ScanDrives(table, &recorder, &recorder);
    ReleaseTransferBuffer();
    ResetDriveAccess();
  }
  emulated::EmulatedDrives seam;
  Recorder recorder;
  DriveTable table{};
  int found = 0;
};

TEST(DriveScan, ListsOnlyTheMakersDrivesInLetterOrder) {
  struct Case {
    const char* name;
    std::vector<emulated::DriveState> drives;
    std::vector<std::pair<int, std::string>> listed;
  };
  const Case cases[] = {
      {"no drive at all", {}, {}},
      {"upper-case maker on D",
       {Probe('D', "MERIDAX DVD-ROM SD-816  ")},
       {{0, "D: MERIDAX DVD-ROM SD-816  "}}},
      {"mixed-case maker on Z",
       {Probe('Z', "Meridax DVD-ROM SD-816  ")},
       {{0, "Z: Meridax DVD-ROM SD-816  "}}},
      {"lower-case vendor word", {Probe('E', "meridax DVD-ROM SD-816  ")}, {}},
      {"lower-case product prefix", {Probe('E', "MERIDAX dvd-ROM SD-816  ")}, {}},
      {"maker but not a DVD", {Probe('E', "MERIDAX CD-ROM CR-588   ")}, {}},
      {"leading space", {Probe('E', " MERIDAX DVD-ROM SD-816 ")}, {}},
      {"failed INQUIRY and a mismatch leave their slot to the next drive",
       {Probe('D', "!"), Probe('E', "OTHERCO DVD-ROM XYZ     "),
        Probe('F', "MERIDAX DVD-ROM SD-816  ")},
       {{0, "F: MERIDAX DVD-ROM SD-816  "}}},
      {"three drives with others between",
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
    EXPECT_EQ(r.recorder.added, c.listed);
    for (std::size_t i = 0; i < c.listed.size(); ++i) {
      EXPECT_EQ(r.table[i].Text(), c.listed[i].second);
      EXPECT_EQ(r.table[i].Letter(), c.listed[i].second[0]);
    }
    // Nothing of a skipped drive shows past the last found one when it came last.
    if (!c.listed.empty() && c.drives.back().letter == c.listed.back().second[0]) {
      EXPECT_EQ(r.table[c.listed.size()].Text(), "");
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
  EXPECT_EQ(r.recorder.steps, steps);
  EXPECT_EQ(r.found, kScanSteps);
}

}  // namespace
}  // namespace varden
