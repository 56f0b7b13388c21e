// Drive access: the request block of every command byte for byte, the sense capture, and the
// transfer buffer guard.
#include "drive/drive_access.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "app/transfer_buffer.h"
#include "drive/region_commands.h"
#include "fake_seam.h"

namespace varden {
namespace {

using L = HostLayout;
using testing::Check;
using Bytes = std::vector<std::uint8_t>;

static_assert(RegionMaskOf(1) == 0xFE && RegionMaskOf(2) == 0xFD && RegionMaskOf(3) == 0xFB &&
              RegionMaskOf(4) == 0xF7 && RegionMaskOf(5) == 0xEF && RegionMaskOf(6) == 0xDF &&
              RegionMaskOf(0) == 0xFF && RegionMaskOf(7) == 0xFF);

class DriveAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDriveAccess();
    ResetRegionCommands();
    SetDeviceSeam(&seam);
    ASSERT_EQ(AllocateTransferBuffer(), 0);
    ASSERT_EQ(OpenDrive('E'), 0);
  }
  void TearDown() override {
    ReleaseTransferBuffer();
    ResetDriveAccess();
  }
  Bytes Sense() const { return Bytes(LastSense().begin(), LastSense().end()); }

  testing::FakeSeam seam;
};

TEST_F(DriveAccessTest, EveryCommandFillsTheBlockFieldByField) {
  std::vector<std::uint8_t> structure(300, 0xEE);
  const struct {
    const char* name;
    std::function<CommandOutcome()> send;
    Bytes cdb;
    std::uint8_t direction;
    std::uint32_t length, timeout;
    const std::uint8_t* data;  // data-in: where it goes, nullptr for the transfer buffer
  } cases[] = {
      // clang-format off
      {"INQUIRY", SendInquiry, {0x12, 0, 0, 0, 0x60, 0}, kScsiIoctlDataIn, 96, 2, nullptr},
      {"TEST UNIT READY", TestUnitReady, {0, 0, 0, 0, 0, 0}, kScsiIoctlDataIn, 0, 2, nullptr},
      {"REPORT KEY", ReadRpcState, {0xA4, 0, 0, 0, 0, 0, 0, 0, 0, 8, 8, 0}, kScsiIoctlDataIn, 8, 5, nullptr},
      {"SEND KEY", [] { return SetDriveRegion(2); }, {0xA3, 0, 0, 0, 0, 0, 0, 0, 0, 8, 6, 0}, kScsiIoctlDataOut, 8, 5, nullptr},
      {"READ DVD STRUCTURE copyright", ReadDiscCopyright, {0xAD, 0, 0, 0, 0, 0, 0, 1, 0, 8, 0, 0}, kScsiIoctlDataIn, 8, 5, DiscCopyright().bytes.data()},
      {"READ DVD STRUCTURE layer 1 format 0 length 300", [&] { return ReadDvdStructure(1, 0, 300, structure.data()); },
       {0xAD, 0, 0, 0, 0, 0, 1, 0, 0x01, 0x2C, 0, 0}, kScsiIoctlDataIn, 300, 5, structure.data()},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    seam.blocks.clear();
    ASSERT_EQ(c.send(), kCommandOk);
    ASSERT_EQ(seam.blocks.size(), 1u);
    const auto& b = seam.blocks[0];
    using Fields = std::array<std::size_t, 9>;  // what goes out, in the block's order
    EXPECT_EQ(
        (Fields{GetLe16(b.bytes, L::kLength), b.bytes[L::kPathId], b.bytes[L::kTargetId],
                b.bytes[L::kLun], b.SenseInfoLength(), b.DataIn(), b.DataTransferLength(),
                b.TimeOutValue(), b.SenseInfoOffset()}),
        (Fields{L::kHeaderSize, 2, 3, 4, 18, c.direction, c.length, c.timeout, L::kSenseArea}));
    if (c.direction == kScsiIoctlDataIn) {
      EXPECT_EQ(b.DataBuffer(), c.data ? c.data : TransferBuffer());
    }
    EXPECT_EQ(Bytes(b.bytes.begin() + L::kCdb, b.bytes.begin() + L::kCdb + b.CdbLength()), c.cdb);
    EXPECT_EQ(b.ScsiStatus(), 0);
    for (std::size_t i = L::kDataIn + 1; i < L::kDataTransferLength; ++i) EXPECT_EQ(b.bytes[i], 0);
    for (std::size_t i = L::kCdb + c.cdb.size(); i < L::kBlockSize; ++i) EXPECT_EQ(b.bytes[i], 0);
  }
  EXPECT_EQ(structure, Bytes(300, 0)) << "the structure buffer is cleared first";
  ASSERT_EQ(SetDriveRegion(6), kCommandOk);
  const std::uint8_t* list = seam.blocks.back().DataBuffer();
  EXPECT_EQ(Bytes(list, list + 8), (Bytes{0, 6, 0, 0, 0xDF, 0, 0, 0})) << "the RPC structure";
}

// A good answer with a stray sense length, a status without sense and a failed call that
// came back untouched all leave the first sense as it was.
TEST_F(DriveAccessTest, LastSenseIsOverwrittenOnlyWhereACaptureCopies) {
  const Bytes second = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x00};
  Bytes area(32);
  std::iota(area.begin(), area.end(), 1);
  seam.answers = {Check(18, Bytes(18, 0x11)),
                  {.sense_length = 18, .sense = Bytes(18, 0x22)},
                  Check(0, {}),
                  {.call_succeeds = false, .sense_length = 18},
                  Check(14, second)};
  for (const auto outcome : {kCommandFailed, kCommandOk, kCommandFailed, kCommandFailed}) {
    EXPECT_EQ(TestUnitReady(), outcome);
  }
  Bytes expected(32, 0);
  std::fill(expected.begin(), expected.begin() + 18, 0x11);
  EXPECT_EQ(Sense(), expected);
  EXPECT_EQ(TestUnitReady(), kCommandFailed);
  std::copy(second.begin(), second.end(), expected.begin());
  EXPECT_EQ(Sense(), expected);
  for (const int reported : {32, 33, 200, 255}) {
    seam.answers = {Check(static_cast<std::uint8_t>(reported), area)};
    EXPECT_EQ(TestUnitReady(), kCommandFailed);
    EXPECT_EQ(Sense(), area) << reported;
  }
}

TEST_F(DriveAccessTest, NoCommandIsSentWithoutTheTransferBufferOrAnOpenDrive) {
  ReleaseTransferBuffer();
  EXPECT_EQ(SendInquiry(), kCommandFailed);
  EXPECT_EQ(ReadRpcState(), kCommandFailed);
  CloseDrive();
  ASSERT_EQ(CurrentConnection().address.path_id, 2);
  EXPECT_EQ(AllocateTransferBuffer(), 0);
  const ScsiAddress& a = CurrentConnection().address;
  EXPECT_EQ((Bytes{a.path_id, a.target_id, a.lun}), (Bytes{0, 0, 0})) << "attaching zeroes it";
  EXPECT_EQ(TestUnitReady(), kCommandFailed) << "no drive open";
  EXPECT_TRUE(seam.blocks.empty());
  SetDeviceSeam(nullptr);
  EXPECT_EQ(OpenDrive('E'), -1);
  EXPECT_FALSE(CurrentConnection().open);
}

}  // namespace
}  // namespace varden
