// The drive scan: which drives are listed, in which slots, with which steps, and that every
// opened drive is closed again.
#include "region/drive_scan.h"

#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "fake_seam.h"

namespace varden {
namespace {

using L = HostLayout;

// A drive as the scan meets it: its 24 identification bytes, or a failing INQUIRY.
struct Probe {
  std::string identification;  // vendor (8) + product (16)
  bool inquiry_fails = false;
};

class Recorder : public DriveListReceiver, public ScanProgress {
 public:
  void AddDrive(int index, std::string_view text) override {
    added.emplace_back(index, std::string(text));
  }
  void Step(int n) override { steps.push_back(n); }
  std::vector<std::pair<int, std::string>> added;
  std::vector<int> steps;
};

struct ScanResult {
  int found;
  Recorder recorder;
  DriveTable table{};
  std::vector<char> opened;
  int open_handles;
};

ScanResult Scan(const std::map<char, Probe>& drives) {
  ResetDriveAccess();
  testing::FakeSeam seam;
  for (const auto& [letter, probe] : drives) seam.devices[letter] = true;
  seam.respond = [&](char letter, std::span<std::uint8_t> block) {
    const Probe& probe = drives.at(letter);
    if (probe.inquiry_fails) {
      block[L::kScsiStatus] = 2;
      return true;
    }
    PassThroughRequest r;
    std::copy(block.begin(), block.end(), r.bytes.begin());
    std::uint8_t* data = r.DataBuffer();
    std::fill(data + 8, data + 32, ' ');
    std::copy(probe.identification.begin(), probe.identification.end(), data + 8);
    return true;
  };
  SetDeviceSeam(&seam);
  EXPECT_EQ(AllocateTransferBuffer(), 0);
  ScanResult result;
  result.found = ScanDrives(result.table, &result.recorder, &result.recorder);
  result.opened = seam.opened;
  result.open_handles = seam.open_handles;
  ReleaseTransferBuffer();
  ResetDriveAccess();
  return result;
}

const std::string kMaker = "MERIDAX DVD-ROM SD-816   ";

TEST(DriveScan, ListsOnlyTheMakersDrivesInLetterOrder) {
  struct Case {
    const char* name;
    std::map<char, Probe> drives;
    std::vector<std::pair<int, std::string>> listed;
  };
  const Case cases[] = {
      {"no drive at all", {}, {}},
      {"upper-case maker on D",
       {{'D', {"MERIDAX DVD-ROM SD-816  "}}},
       {{0, "D: MERIDAX DVD-ROM SD-816  "}}},
      {"mixed-case maker on Z",
       {{'Z', {"Meridax DVD-ROM SD-816  "}}},
       {{0, "Z: Meridax DVD-ROM SD-816  "}}},
      {"lower-case vendor word", {{'E', {"meridax DVD-ROM SD-816  "}}}, {}},
      {"lower-case product prefix", {{'E', {"MERIDAX dvd-ROM SD-816  "}}}, {}},
      {"maker but not a DVD", {{'E', {"MERIDAX CD-ROM CR-588   "}}}, {}},
      {"leading space", {{'E', {" MERIDAX DVD-ROM SD-816 "}}}, {}},
      {"three drives with others between",
       {{'D', {"OTHERCO CD-RW 52X       "}},
        {'E', {"MERIDAX DVD-ROM SD-816  "}},
        {'F', {"OTHERCO DVD-ROM         "}},
        {'G', {"Meridax DVD-ROM SD-C2402"}},
        {'H', {"MERIDAX DVD", true}},
        {'K', {"MERIDAX DVD-RAM SD-W1111"}}},
       {{0, "E: MERIDAX DVD-ROM SD-816  "},
        {1, "G: Meridax DVD-ROM SD-C2402"},
        {2, "K: MERIDAX DVD-RAM SD-W1111"}}},
      {"a zero byte inside the identification",
       {{'E', {std::string("MERIDAX DVD-R\0M SD-816  ", 24)}}},
       {{0, "E: MERIDAX DVD-R"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScanResult r = Scan(c.drives);
    EXPECT_EQ(r.found, static_cast<int>(c.listed.size()));
    EXPECT_EQ(r.recorder.added, c.listed);
    for (std::size_t i = 0; i < c.listed.size(); ++i) {
      EXPECT_EQ(r.table[i].Text(), c.listed[i].second);
      EXPECT_EQ(r.table[i].Letter(), c.listed[i].second[0]);
    }
    EXPECT_EQ(r.open_handles, 0) << "every opened drive is closed";
  }
}

TEST(DriveScan, ProbesDToZOnceEachWithOneStepPerLetter) {
  std::map<char, Probe> everywhere;
  for (char letter = 'A'; letter <= 'Z'; ++letter) everywhere[letter] = {kMaker};
  ScanResult r = Scan(everywhere);
  std::vector<char> letters;
  for (char letter = 'D'; letter <= 'Z'; ++letter) letters.push_back(letter);
  EXPECT_EQ(r.opened, letters) << "A:, B: and C: are never probed";
  std::vector<int> steps(23);
  std::iota(steps.begin(), steps.end(), 1);
  EXPECT_EQ(r.recorder.steps, steps);
  EXPECT_EQ(r.found, 23);
}

TEST(DriveScan, AFailedInquiryOrAMismatchLeavesItsSlotForTheNextDrive) {
  ScanResult r = Scan({{'D', {"MERIDAX DVD", true}},
                       {'E', {"OTHERCO DVD-ROM XYZ     "}},
                       {'F', {"MERIDAX DVD-ROM SD-816  "}}});
  ASSERT_EQ(r.found, 1);
  EXPECT_EQ(r.table[0].Text(), "F: MERIDAX DVD-ROM SD-816  ");
  // Nothing of the skipped drives shows past the found ones.
  EXPECT_EQ(r.table[1].Text(), "");
}

TEST(DriveScan, ReceiversMayBeAbsent) {
  ResetDriveAccess();
  testing::FakeSeam seam;
  SetDeviceSeam(&seam);
  ASSERT_EQ(AllocateTransferBuffer(), 0);
  DriveTable table{};
  EXPECT_EQ(ScanDrives(table, nullptr, nullptr), 0);
  ReleaseTransferBuffer();
  ResetDriveAccess();
}

}  // namespace
}  // namespace varden
