// Drive access: the request block of every command byte for byte, the outcome rule and the
// sense capture, opening and closing, and the transfer buffer guard.
#include "drive/drive_access.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "app/transfer_buffer.h"
#include "drive/region_commands.h"
#include "fake_seam.h"

namespace varden {
namespace {

using L = HostLayout;
using testing::FakeSeam;
using testing::ScriptedAnswer;
using Bytes = std::vector<std::uint8_t>;

class DriveAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDriveAccess();
    ResetRegionCommands();
    seam.devices['E'] = true;
    SetDeviceSeam(&seam);
    ASSERT_EQ(AllocateTransferBuffer(), 0);
  }
  void TearDown() override {
    ReleaseTransferBuffer();
    ResetDriveAccess();
  }
  void Open() { ASSERT_EQ(OpenDrive('E'), 0); }

  FakeSeam seam;
};

Bytes CdbOf(const PassThroughRequest& block) {
  return Bytes(block.bytes.begin() + L::kCdb, block.bytes.begin() + L::kCdb + block.CdbLength());
}

struct CommandCase {
  const char* name;
  std::function<CommandOutcome()> send;
  Bytes cdb;
  std::uint8_t direction;
  std::uint32_t length;
  std::uint32_t timeout;
};

TEST_F(DriveAccessTest, EveryCommandFillsTheBlockFieldByField) {
  const CommandCase cases[] = {
      {"INQUIRY", SendInquiry, {0x12, 0, 0, 0, 0x60, 0}, kScsiIoctlDataIn, 96, 2},
      {"TEST UNIT READY", TestUnitReady, {0, 0, 0, 0, 0, 0}, kScsiIoctlDataIn, 0, 2},
      {"REPORT KEY",
       ReadRpcState,
       {0xA4, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x08, 0},
       kScsiIoctlDataIn,
       8,
       5},
      {"SEND KEY region 2",
       [] { return SetDriveRegion(2); },
       {0xA3, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x06, 0},
       kScsiIoctlDataOut,
       8,
       5},
      {"READ DVD STRUCTURE copyright",
       ReadDiscCopyright,
       {0xAD, 0, 0, 0, 0, 0, 0, 0x01, 0, 0x08, 0, 0},
       kScsiIoctlDataIn,
       8,
       5},
      {"READ DVD STRUCTURE layer 1 format 0 length 300",
       [&] { return ReadDvdStructure(1, 0, 300, nullptr); },
       {0xAD, 0, 0, 0, 0, 0, 1, 0, 0x01, 0x2C, 0, 0},
       kScsiIoctlDataIn,
       300,
       5},
  };
  Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    seam.blocks.clear();
    if (std::string_view(c.name).starts_with("READ DVD STRUCTURE layer 1")) {
      std::vector<std::uint8_t> big(300, 0xEE);
      ASSERT_EQ(ReadDvdStructure(1, 0, 300, big.data()), kCommandOk);
      EXPECT_EQ(big, std::vector<std::uint8_t>(300, 0)) << "buffer is cleared first";
    } else {
      ASSERT_EQ(c.send(), kCommandOk);
    }
    ASSERT_EQ(seam.blocks.size(), 1u);
    const auto& b = seam.blocks[0];
    EXPECT_EQ(GetLe16(b.bytes, L::kLength), L::kHeaderSize);
    EXPECT_EQ(b.ScsiStatus(), 0);
    EXPECT_EQ(b.bytes[L::kPathId], 2);
    EXPECT_EQ(b.bytes[L::kTargetId], 3);
    EXPECT_EQ(b.bytes[L::kLun], 4);
    EXPECT_EQ(b.CdbLength(), c.cdb.size());
    EXPECT_EQ(b.SenseInfoLength(), 18);
    EXPECT_EQ(b.DataIn(), c.direction);
    EXPECT_EQ(b.DataTransferLength(), c.length);
    EXPECT_EQ(b.TimeOutValue(), c.timeout);
    EXPECT_EQ(b.SenseInfoOffset(), L::kSenseArea);
    EXPECT_EQ(CdbOf(b), c.cdb);
    // Alignment, CDB tail, spare word and sense area all go out as zeros.
    for (std::size_t i = L::kDataIn + 1; i < L::kDataTransferLength; ++i) EXPECT_EQ(b.bytes[i], 0);
    for (std::size_t i = L::kCdb + c.cdb.size(); i < L::kBlockSize; ++i) {
      EXPECT_EQ(b.bytes[i], 0) << "offset " << i;
    }
  }
}

TEST_F(DriveAccessTest, InquiryAndReportKeyReadIntoTheTransferBufferAndTestUnitReadyNamesIt) {
  Open();
  SendInquiry();
  TestUnitReady();
  ReadRpcState();
  ReadDiscCopyright();
  ASSERT_EQ(seam.blocks.size(), 4u);
  EXPECT_EQ(seam.blocks[0].DataBuffer(), TransferBuffer());
  EXPECT_EQ(seam.blocks[1].DataBuffer(), TransferBuffer());
  EXPECT_EQ(seam.blocks[2].DataBuffer(), TransferBuffer());
  EXPECT_EQ(seam.blocks[3].DataBuffer(), DiscCopyright().bytes.data());
}

TEST_F(DriveAccessTest, SendKeyCarriesTheRpcStructureParameterList) {
  Open();
  for (int region = 1; region <= 6; ++region) {
    Bytes sent;
    seam.respond = [&](char, std::span<std::uint8_t> block) {
      PassThroughRequest r;
      std::copy(block.begin(), block.end(), r.bytes.begin());
      sent.assign(r.DataBuffer(), r.DataBuffer() + r.DataTransferLength());
      return true;
    };
    ASSERT_EQ(SetDriveRegion(region), kCommandOk);
    EXPECT_EQ(sent, (Bytes{0x00, 0x06, 0x00, 0x00, RegionMaskOf(region), 0x00, 0x00, 0x00}));
  }
}

TEST(RegionMask, NamesExactlyOneRegion) {
  const std::pair<int, std::uint8_t> cases[] = {{1, 0xFE}, {2, 0xFD}, {3, 0xFB}, {4, 0xF7},
                                                {5, 0xEF}, {6, 0xDF}, {0, 0xFF}, {7, 0xFF}};
  for (auto [region, mask] : cases) EXPECT_EQ(RegionMaskOf(region), mask) << region;
}

struct SettleCase {
  const char* name;
  bool call_succeeds;
  std::uint8_t status;
  std::uint8_t sense_length;
  CommandOutcome outcome;
  bool captured;
};

TEST_F(DriveAccessTest, SettleOutcomeFollowsTheOutcomeRule) {
  const SettleCase cases[] = {
      {"good", true, 0, 0, kCommandOk, false},
      {"good, stray sense length", true, 0, 18, kCommandOk, false},
      {"check condition", true, 2, 18, kCommandFailed, true},
      {"status without sense", true, 2, 0, kCommandFailed, false},
      {"failed call with status", false, 2, 18, kCommandFailed, true},
      {"failed call, nothing back", false, 0, 0, kCommandFailed, false},
      // The block may be the one that went out, untouched: a failure, and nothing captured.
      {"failed call, status 0, sense length 18", false, 0, 18, kCommandFailed, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetDriveAccess();
    PassThroughRequest block;
    block.bytes[L::kScsiStatus] = c.status;
    block.bytes[L::kSenseInfoLength] = c.sense_length;
    for (std::size_t i = 0; i < L::kSenseAreaSize; ++i) {
      block.bytes[L::kSenseArea + i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    EXPECT_EQ(SettleOutcome(c.call_succeeds, block), c.outcome);
    EXPECT_EQ(LastCommandCapturedSense(), c.captured);
    EXPECT_EQ(LastSense()[0], c.captured ? 0xA0 : 0x00);
  }
}

TEST_F(DriveAccessTest, LastSenseIsOverwrittenOnlyWhereACaptureCopies) {
  Open();
  Bytes first(18, 0x11);
  Bytes second = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x00};
  seam.answers = {
      testing::Check(18, first),
      testing::Good(),             // good: LastSense unchanged
      testing::Check(0, {}),       // status, no sense: unchanged
      testing::FailedCall(),       // failed call, nothing back: unchanged
      testing::Check(14, second),  // partial overwrite
  };
  EXPECT_EQ(TestUnitReady(), kCommandFailed);
  EXPECT_EQ(TestUnitReady(), kCommandOk);
  EXPECT_EQ(TestUnitReady(), kCommandFailed);
  EXPECT_EQ(TestUnitReady(), kCommandFailed);
  const Bytes after_three(LastSense().begin(), LastSense().end());
  Bytes expected(32, 0);
  std::fill(expected.begin(), expected.begin() + 18, 0x11);
  EXPECT_EQ(after_three, expected);

  EXPECT_EQ(TestUnitReady(), kCommandFailed);
  std::copy(second.begin(), second.end(), expected.begin());
  EXPECT_EQ(Bytes(LastSense().begin(), LastSense().end()), expected);
}

TEST_F(DriveAccessTest, AnOverReportedSenseLengthIsClampedToTheSenseArea) {
  Open();
  Bytes area(32);
  std::iota(area.begin(), area.end(), 1);
  for (std::uint8_t reported :
       {std::uint8_t{32}, std::uint8_t{33}, std::uint8_t{200}, std::uint8_t{255}}) {
    SCOPED_TRACE(int{reported});
    seam.answers = {testing::Check(reported, area)};
    EXPECT_EQ(TestUnitReady(), kCommandFailed);
    EXPECT_EQ(Bytes(LastSense().begin(), LastSense().end()), area);
  }
}

TEST_F(DriveAccessTest, OpenDriveAnswersMinusOneAndHoldsNothingWhenAStepFails) {
  struct Case {
    const char* name;
    char letter;
    bool capabilities;
    bool address;
    int answer;
    int queries;
  };
  const Case cases[] = {
      {"no device", 'F', true, true, -1, 0},
      {"capabilities query fails", 'E', false, true, -1, 1},
      {"address query fails", 'E', true, false, -1, 2},
      {"opens", 'E', true, true, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSeam fresh;
    fresh.devices['E'] = c.capabilities;
    fresh.address_succeeds = c.address;
    SetDeviceSeam(&fresh);
    EXPECT_EQ(OpenDrive(c.letter), c.answer);
    EXPECT_EQ(fresh.queries, c.queries);
    EXPECT_EQ(CurrentConnection().open, c.answer == 0);
    EXPECT_EQ(fresh.open_handles, c.answer == 0 ? 1 : 0);
    if (c.answer == 0) {
      EXPECT_EQ(CurrentConnection().address.target_id, 3);
      EXPECT_EQ(CloseDrive(), 0);
      EXPECT_EQ(fresh.open_handles, 0);
    }
  }
}

TEST_F(DriveAccessTest, NoCommandIsSentWithoutTheTransferBufferOrAnOpenDrive) {
  EXPECT_EQ(TestUnitReady(), kCommandFailed) << "no drive open";
  Open();
  ReleaseTransferBuffer();
  EXPECT_EQ(SendInquiry(), kCommandFailed);
  EXPECT_EQ(ReadRpcState(), kCommandFailed);
  EXPECT_TRUE(seam.blocks.empty());
  EXPECT_EQ(AllocateTransferBuffer(), 0);
  EXPECT_EQ(SendInquiry(), kCommandOk);
}

TEST_F(DriveAccessTest, AttachingTheBufferZeroesTheScsiAddress) {
  Open();
  CloseDrive();
  ASSERT_EQ(CurrentConnection().address.path_id, 2);
  ReleaseTransferBuffer();
  ASSERT_EQ(AllocateTransferBuffer(), 0);
  EXPECT_EQ(CurrentConnection().address.path_id, 0);
  EXPECT_EQ(CurrentConnection().address.target_id, 0);
  EXPECT_EQ(CurrentConnection().address.lun, 0);
}

TEST_F(DriveAccessTest, ReadRpcStateKeepsBufferBytesFourToSevenWhateverTheOutcome) {
  Open();
  // The scan's INQUIRY leaves its data in the buffer; a failed REPORT KEY then keeps
  // bytes 4 to 7 of it.
  Bytes inquiry(96, 0);
  inquiry[4] = 0x1F;
  inquiry[5] = 0x00;
  inquiry[6] = 0x10;
  inquiry[7] = 0x02;
  seam.answers = {testing::Good(inquiry), testing::Check(18, Bytes(18, 0)),
                  testing::Good({0, 6, 0, 0, 0x64, 0xFD, 0x01, 0})};
  ASSERT_EQ(SendInquiry(), kCommandOk);
  EXPECT_EQ(ReadRpcState(), kCommandFailed);
  EXPECT_EQ(Bytes(RpcState().bytes.begin(), RpcState().bytes.end()),
            (Bytes{0x1F, 0x00, 0x10, 0x02}));
  EXPECT_EQ(ReadRpcState(), kCommandOk);
  EXPECT_EQ(RpcState().TypeCode(), 1);
  EXPECT_EQ(RpcState().VendorResets(), 4);
  EXPECT_EQ(RpcState().UserChanges(), 4);
  EXPECT_EQ(RpcState().RegionMask(), 0xFD);
  EXPECT_EQ(RpcState().RpcScheme(), 1);
}

TEST_F(DriveAccessTest, AFailedCopyrightReadLeavesZerosWhereTheDriveSentNothing) {
  Open();
  seam.answers = {testing::Good({0, 6, 0, 0, 0x01, 0xF5, 0, 0}), testing::Check(18, Bytes(18, 0))};
  ASSERT_EQ(ReadDiscCopyright(), kCommandOk);
  EXPECT_EQ(DiscCopyright().Cpst(), 0x01);
  EXPECT_EQ(DiscCopyright().Rmi(), 0xF5);
  EXPECT_EQ(ReadDiscCopyright(), kCommandFailed);
  EXPECT_EQ(Bytes(DiscCopyright().bytes.begin(), DiscCopyright().bytes.end()), Bytes(8, 0));
}

TEST_F(DriveAccessTest, AShortInquiryLeavesEarlierBufferBytes) {
  Open();
  std::fill(TransferBuffer(), TransferBuffer() + 96, 0x5A);
  seam.answers = {testing::Good(Bytes(36, 0x01))};
  EXPECT_EQ(SendInquiry(), kCommandOk);
  EXPECT_EQ(TransferBuffer()[35], 0x01);
  EXPECT_EQ(TransferBuffer()[36], 0x5A);
}

}  // namespace
}  // namespace varden
