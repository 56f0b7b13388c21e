// The emulated drive as the program sees it (drive access, region commands) and, for requests
// the program never builds, through blocks handed straight to the seam.
#include "emulated/emulated_drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "app/transfer_buffer.h"
#include "data_rows.h"
#include "drive/drive_access.h"
#include "drive/region_commands.h"
#include "drive/scsi_codes.h"
#include "recording_view.h"

namespace varden::emulated {
namespace {

using L = HostLayout;
using Bytes = std::vector<std::uint8_t>;
namespace s = scsi;
using Sense = std::array<std::uint8_t, 3>;  // sense key, ASC, ASCQ
constexpr Sense kNoDisc{s::kSenseKeyNotReady, s::kAscMediumNotPresent, 0};
constexpr Sense kBecomingReady{s::kSenseKeyNotReady, s::kAscNotReady, s::kAscqBecomingReady};
constexpr Sense kMediumChanged{s::kSenseKeyUnitAttention, s::kAscMediumChanged, 0};
constexpr Sense kInvalidOpcode{s::kSenseKeyIllegalRequest, s::kAscInvalidOpcode, 0};
constexpr Sense kNoChangeLeft{s::kSenseKeyIllegalRequest, s::kAscCopyProtectionFailure,
                              s::kAscqNoMoreRegionResets};
constexpr Sense kNoSense{0xFF, 0xFF, 0xFF};  // a failure that brought no sense bytes back
using Result = std::optional<Sense>;         // nullopt: carried out
constexpr Result kGood = std::nullopt;

Sense SenseAt(std::span<const std::uint8_t> sense) {
  return {static_cast<std::uint8_t>(sense[scsi::kSenseKey] & 0x0F), sense[scsi::kSenseAsc],
          sense[scsi::kSenseAscq]};
}

Result ResultOf(CommandOutcome outcome) {
  if (outcome == kCommandOk) return kGood;
  if (!LastCommandCapturedSense()) return kNoSense;
  return SenseAt(LastSense());
}

DriveState MakersDrive(Disc disc = {}, Faults faults = {}, char letter = 'E') {
  return {.letter = letter, .product = "DVD-ROM MX-1608", .disc = disc, .faults = faults};
}

// A TEST UNIT READY block as drive access builds one, but with a sense length and offset that
// drive access never sends.
PassThroughRequest TestUnitReadyBlock(std::uint8_t sense_asked, std::uint32_t sense_offset) {
  PassThroughRequest block;
  PutLe16(block.Span(), L::kLength, static_cast<std::uint16_t>(L::kHeaderSize));
  block.bytes[L::kCdbLength] = scsi::kCdb6;
  block.bytes[L::kSenseInfoLength] = sense_asked;
  block.bytes[L::kDataIn] = kScsiIoctlDataIn;
  PutLe32(block.Span(), L::kTimeOutValue, kDvdTimeoutSeconds);
  PutLe32(block.Span(), L::kSenseInfoOffset, sense_offset);
  return block;
}

// Emulated drives behind drive access, with a transfer buffer; the state is restored after.
class EmulatedDriveTest : public ::testing::Test {
 protected:
  Result On(const std::function<CommandOutcome()>& command, char letter = 'E') {
    if (OpenDrive(letter) != 0) return kNoSense;
    const Result result = ResultOf(command());
    CloseDrive();
    return result;
  }

  test_support::RegionBench bench_;
  EmulatedDrives& drives_ = bench_.drives;
};

TEST_F(EmulatedDriveTest, EachSettingSpendsAChangeUntilTheRegionIsPermanent) {
  DriveState drive = MakersDrive();  // no region, 5 changes
  drive.vendor_resets = 2;
  drives_.Add(drive);
  ASSERT_EQ(On(ReadRpcState), kGood);
  EXPECT_EQ(RpcState().bytes, (std::array<std::uint8_t, 4>{0x15, 0xFF, 0x01, 0x00}));
  for (const auto& row : test_support::DataRows("emulated_drive_cases.tsv", "setting")) {
    SCOPED_TRACE(row[1]);
    EXPECT_EQ(On([&] { return SetDriveRegion(std::stoi(row[2])); }),
              row[3] == "ok" ? kGood : kNoChangeLeft);
    EXPECT_EQ(On(ReadRpcState), kGood);
    EXPECT_EQ(RpcState().bytes[0], std::stoi(row[4], nullptr, 16));
    EXPECT_EQ(RpcState().RegionMask(), std::stoi(row[5], nullptr, 16));
  }
  EXPECT_EQ(Bytes(bench_.buffer.begin(), bench_.buffer.begin() + 8),
            (Bytes{0x00, 0x06, 0x00, 0x00, 0xD0, 0xDF, 0x01, 0x00}));
}

TEST_F(EmulatedDriveTest, ChangeNeedingADiscFollowsTheDiscsRegions) {
  constexpr Disc kRegions2And4{.present = true, .cpst = kCpstCssCppm, .rmi = 0xF5};
  constexpr Disc kSpinning{.present = true, .becoming_ready_tests = 3, .rmi = 0xF5};
  const struct {
    const char* name;
    bool needs_disc;
    std::uint8_t mask;
    Disc disc;
    int region;
    Result result;
  } cases[] = {
      {"first setting needs no disc", true, kNoRegionMask, {}, 1, kGood},
      {"change without a disc", true, RegionMaskOf(2), {}, 4, kNoDisc},
      {"region the disc plays", true, RegionMaskOf(2), kRegions2And4, 4, kGood},
      {"disc still spinning up", true, RegionMaskOf(2), kSpinning, 4, kBecomingReady},
      {"drive without the option", false, RegionMaskOf(2), {}, 1, kGood},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DriveState drive = MakersDrive(c.disc);
    drive.change_needs_disc = c.needs_disc;
    drive.region_mask = c.mask;
    drive.user_changes = 4;
    drives_.Add(drive);
    EXPECT_EQ(On([&] { return SetDriveRegion(c.region); }), c.result);
    const DriveState& after = *drives_.Find('E');
    EXPECT_EQ(after.region_mask, c.result == kGood ? RegionMaskOf(c.region) : c.mask);
    EXPECT_EQ(after.user_changes, c.result == kGood ? 3 : 4);
  }
}

// The cases of tests/data/emulated_drive_cases.tsv.
TEST_F(EmulatedDriveTest, MediumAccessFollowsTheDisc) {
  const std::map<char, CommandOutcome (*)()> commands = {
      {'t', TestUnitReady}, {'d', ReadDiscCopyright}, {'i', SendInquiry}, {'k', ReadRpcState}};
  const std::map<std::string, Result> results = {
      {"ok", kGood}, {"up", kBecomingReady}, {"ua", kMediumChanged}};
  for (const auto& row : test_support::DataRows("emulated_drive_cases.tsv", "medium")) {
    SCOPED_TRACE(row[1]);
    const Disc disc{.present = true,
                    .becoming_ready_tests = std::stoi(row[2]),
                    .unit_attention = row[3] == "yes"};
    drives_.Add(MakersDrive(disc, {.never_ready = row[4] == "never-ready",
                                   .unit_attention_forever = row[4] == "attention-for-ever"}));
    ASSERT_EQ(OpenDrive('E'), 0);
    std::istringstream steps(row[5]);
    for (std::string step; steps >> step;) {
      EXPECT_EQ(ResultOf(commands.at(step[0])()), results.at(step.substr(2))) << step;
    }
    CloseDrive();
  }
}

TEST_F(EmulatedDriveTest, FaultsAsDriveAccessSeesThem) {
  const struct {
    const char* name;
    Faults faults;
    std::function<CommandOutcome()> command;  // nullptr: the open fails
    Result result;
  } cases[] = {
      {"no device", {.no_device = true}, nullptr, {}},
      {"capabilities query fails", {.capabilities_fails = true}, nullptr, {}},
      {"address query fails", {.address_fails = true}, nullptr, {}},
      {"call fails, untouched", {.call = CallFault::kUntouched}, SendInquiry, kNoSense},
      {"call fails, no sense", {.call = CallFault::kStatusZeroNoSense}, TestUnitReady, kNoSense},
      {"time-out", {.timeout = true}, [] { return SetDriveRegion(6); }, kNoSense},
      {"status without sense", {.status_without_sense = true}, TestUnitReady, kNoSense},
      {"no REPORT KEY", {.no_report_key = true}, ReadRpcState, kInvalidOpcode},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    drives_ = EmulatedDrives();
    drives_.Add(MakersDrive({}, c.faults));
    // An earlier failure on another drive leaves sense that only a capture may replace.
    drives_.Add(MakersDrive({}, {}, 'Z'));
    ASSERT_EQ(On(TestUnitReady, 'Z'), kNoDisc);
    drives_.ClearCommands();

    const bool opens = c.command != nullptr;
    EXPECT_EQ(OpenDrive('E'), opens ? 0 : -1);
    EXPECT_EQ(drives_.OpenHandles(), opens ? 1 : 0);  // a failed open holds nothing
    EXPECT_EQ(CurrentConnection().open, opens);
    if (opens) {
      EXPECT_EQ(ResultOf(c.command()), c.result);
      EXPECT_EQ(SenseAt(LastSense()), c.result == kNoSense ? kNoDisc : *c.result);
      CloseDrive();
    }
    EXPECT_EQ(drives_.OpenHandles(), 0);
    EXPECT_EQ(drives_.Commands().size(), opens ? 1u : 0u);
    EXPECT_EQ(drives_.Find('E')->user_changes, 5);  // a failed call leaves the drive as it was
  }
}

TEST_F(EmulatedDriveTest, SenseBytesStayWithinWhatWasAskedAndWithinTheBlock) {
  const struct {
    const char* name;
    int driver_reports;  // a faulty driver's SenseInfoLength on a failure, 0: none
    std::uint8_t asked;
    std::uint32_t offset;
    std::size_t reported, written;
  } cases[] = {
      {"fewer asked", 0, 8, L::kSenseArea, 8, 8},
      {"more asked than there are", 0, 32, L::kSenseArea, 18, 18},
      {"offset near the end", 0, 18, L::kBlockSize - 4, 4, 4},
      {"offset past the end", 0, 18, 4096, 0, 0},
      {"length over-reported", 200, 18, L::kSenseArea, 200, 18},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    drives_.Add(MakersDrive({}, {.reported_sense_length = c.driver_reports}));
    // The block sits inside a larger area whose bytes after it must stay as they are.
    std::array<std::uint8_t, L::kBlockSize + 64> area;
    area.fill(0xEE);
    const PassThroughRequest block = TestUnitReadyBlock(c.asked, c.offset);
    std::copy(block.bytes.begin(), block.bytes.begin() + L::kSenseArea, area.begin());
    DeviceHandle handle = 0;
    ASSERT_TRUE(drives_.Open('E', handle));
    ASSERT_TRUE(drives_.PassThrough(handle, std::span(area.data(), L::kBlockSize)));
    drives_.Close(handle);
    EXPECT_EQ(area[L::kSenseInfoLength], c.reported);
    EXPECT_EQ(area[L::kScsiStatus], scsi::kStatusCheckCondition);
    const std::size_t start = std::min<std::size_t>(c.offset, L::kBlockSize);
    EXPECT_TRUE(std::all_of(area.begin() + start + c.written, area.end(),
                            [](std::uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(area[start], c.written > 0 ? scsi::kSenseCurrentFixed : 0xEE);
  }
}

// INQUIRY's standard data, and handles that are not open (or letters without a drive) reaching
// no drive.
TEST_F(EmulatedDriveTest, InquiryDataAndStrayHandles) {
  drives_.Add(MakersDrive());
  ASSERT_EQ(OpenDrive('E'), 0);
  const DeviceHandle handle = CurrentConnection().handle;
  ASSERT_EQ(SendInquiry(), kCommandOk);
  const std::uint8_t* data = TransferBuffer();
  // CD/DVD, removable, standard format, 91 more bytes.
  EXPECT_EQ((Bytes{data[0], data[1], data[3], data[4]}), (Bytes{0x05, 0x80, 0x02, 91}));
  EXPECT_EQ(std::string(data + 8, data + 36), "MERIDAX DVD-ROM MX-1608 1.08");
  // Allocation lengths below the transfer length: only the allocation is written.
  for (const auto& [cdb, allocation] :
       {std::pair{Bytes{scsi::kOpInquiry, 0, 0, 0, 20, 0}, 20},
        {Bytes{scsi::kOpReportKey, 0, 0, 0, 0, 0, 0, 0, 0, 4, scsi::kKeyFormatRpcState, 0}, 4}}) {
    PassThroughRequest block = TestUnitReadyBlock(kRequestedSenseLength, L::kSenseArea);
    block.bytes[L::kCdbLength] = static_cast<std::uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), block.bytes.begin() + L::kCdb);
    PutLe32(block.Span(), L::kDataTransferLength, 96);
    Bytes answer(96, 0xEE);
    block.SetDataBuffer(answer.data());
    ASSERT_TRUE(drives_.PassThrough(handle, block.Span()));
    EXPECT_EQ(std::count(answer.begin(), answer.end(), 0xEE), 96 - allocation) << cdb[0];
  }
  CloseDrive();
  drives_.ClearCommands();
  PassThroughRequest block = TestUnitReadyBlock(kRequestedSenseLength, L::kSenseArea);
  for (const DeviceHandle stray : {handle, DeviceHandle{0}, DeviceHandle{-1}}) {
    EXPECT_FALSE(drives_.PassThrough(stray, block.Span()));
  }
  DeviceHandle none = 0;
  EXPECT_FALSE(drives_.Open('Q', none)) << "no drive at Q:";
  EXPECT_TRUE(drives_.Commands().empty());
}

}  // namespace
}  // namespace varden::emulated
