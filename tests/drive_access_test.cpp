// Drive access: the request block of every command byte for byte, the sense capture, and the
// transfer buffer guard. The Linux device seam without a drive: request blocks as SG_IO
// headers, SG_IO answers as the drive commands see them, and the letter-to-node open path.
#include "drive/drive_access.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>

#include "app/transfer_buffer.h"
#include "data_rows.h"
#include "drive/linux/sg_device.h"
#include "drive/linux/sg_translate.h"
#include "drive/region_commands.h"
#include "drive/scsi_codes.h"
#include "fake_seam.h"
#include "recording_view.h"

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

using namespace linux_sg;

// The cases of tests/data/sg_headers.tsv: a block SG_IO cannot carry is refused.
TEST(SgTranslateTest, BlockFieldsBecomeTheSgIoHeader) {
  // clang-format off
  const std::map<std::string, int> directions = {{"in", kScsiIoctlDataIn}, {"out", kScsiIoctlDataOut},
      {"unspecified", kScsiIoctlDataUnspecified}, {"to-dev", SG_DXFER_TO_DEV},
      {"from-dev", SG_DXFER_FROM_DEV}, {"none", SG_DXFER_NONE}, {"unknown", kSgDxferUnknown}};
  // clang-format on
  std::uint8_t data[8];
  for (const auto& row : test_support::DataRows("sg_headers.tsv", "block")) {
    SCOPED_TRACE(row[1]);
    const auto n = [&](int i) { return static_cast<std::uint32_t>(std::stoul(row[i])); };
    PassThroughRequest block;
    block.bytes[L::kCdbLength] = static_cast<std::uint8_t>(n(2));
    block.bytes[L::kSenseInfoLength] = static_cast<std::uint8_t>(n(3));
    block.bytes[L::kDataIn] = static_cast<std::uint8_t>(directions.at(row[4]));
    PutLe32(block.Span(), L::kDataTransferLength, n(5));
    PutLe32(block.Span(), L::kTimeOutValue, n(6));
    block.SetDataBuffer(data);
    SenseBuffer sense{};
    const sg_io_hdr hdr = BlockToSgIo(block.Span(), sense);
    EXPECT_EQ(hdr.interface_id, 'S');
    EXPECT_EQ((std::array<const void*, 3>{hdr.cmdp, hdr.sbp, hdr.dxferp}),
              (std::array<const void*, 3>{block.bytes.data() + L::kCdb, sense.data(), data}));
    EXPECT_EQ((std::array<unsigned, 4>{hdr.cmd_len, hdr.mx_sb_len, hdr.timeout, hdr.dxfer_len}),
              (std::array<unsigned, 4>{n(7), n(8), n(9), n(5)}));
    EXPECT_EQ(hdr.dxfer_direction, directions.at(row[10]));
    // What SG_IO cannot carry (an unknown direction with data, a short block) gets no call.
    const bool carried = row[10] != "unknown";
    int calls = 0;
    const auto issue = [&calls](sg_io_hdr&) { return ++calls, true; };
    EXPECT_FALSE(PassBlockThrough(block.Span().first(L::kBlockSize - 1), issue));
    EXPECT_EQ(PassBlockThrough(block.Span(), issue), carried);
    EXPECT_EQ(calls, carried ? 1 : 0);
  }
}

// What the kernel does with one header.
struct KernelAnswer {
  bool ioctl_succeeds = true;
  std::uint8_t status = scsi::kStatusGood;
  Bytes sense{};                   // copied to the sense buffer, at most mx_sb_len bytes
  int reported_sense_length = -1;  // sb_len_wr; -1: the bytes actually copied
  std::uint16_t host_status = 0, driver_status = 0;
};

struct ScriptedKernel : testing::FakeSeam {
  KernelAnswer answer;
  bool last_result = false;

  bool PassThrough(DeviceHandle, std::span<std::uint8_t> block) override {
    return last_result = PassBlockThrough(block, [this](sg_io_hdr& hdr) {
             const std::size_t copied = std::min<std::size_t>(answer.sense.size(), hdr.mx_sb_len);
             std::copy_n(answer.sense.begin(), copied, hdr.sbp);
             hdr.status = answer.status;
             hdr.sb_len_wr = static_cast<std::uint8_t>(
                 answer.reported_sense_length < 0 ? copied : answer.reported_sense_length);
             hdr.host_status = answer.host_status;
             hdr.driver_status = answer.driver_status;
             return answer.ioctl_succeeds;
           });
  }
};

constexpr std::uint16_t kDriverSense = 0x08, kDriverTimeout = 0x06;
constexpr std::uint16_t kSuggestSense = 0x80;  // a suggestion bit older kernels add
constexpr std::uint16_t kHostError = 0x07;     // DID_ERROR
constexpr std::uint8_t kCheck = scsi::kStatusCheckCondition;

TEST(SgTranslateTest, AnswersReachTheBlockAndTheCommandOutcome) {
  const Bytes earlier(18, 0x11), sense(18, 0x22), long_sense(40, 0x33);
  const KernelAnswer check{.status = kCheck, .sense = sense, .driver_status = kDriverSense};
  KernelAnswer suggesting = check, host_error = check, overlong = check;
  suggesting.driver_status |= kSuggestSense;
  host_error.host_status = kHostError;
  overlong.sense = long_sense;
  overlong.reported_sense_length = 40;
  const KernelAnswer refused{.ioctl_succeeds = false};
  const struct {
    const char* name;
    KernelAnswer answer;
    bool call_result;
    std::uint8_t block_sense_length;
    CommandOutcome outcome;
    bool captures;  // LastSense takes the answer's sense bytes
  } cases[] = {
      {"good status", {}, true, 0, kCommandOk, false},
      {"driver sense with a suggestion bit", suggesting, true, 18, kCommandFailed, true},
      {"sense length past what was asked", overlong, true, 18, kCommandFailed, true},
      {"driver time-out", {.driver_status = kDriverTimeout}, false, 0, kCommandFailed, false},
      {"host error that still carries sense", host_error, false, 18, kCommandFailed, true},
      // The block went out asking for 18 sense bytes; it must not come back claiming them.
      {"ioctl refused before any answer", refused, false, 0, kCommandFailed, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedKernel kernel;
    test_support::RegionBench bench;
    SetDeviceSeam(&kernel);
    ASSERT_EQ(OpenDrive('E'), 0);
    kernel.answer = {.status = kCheck, .sense = earlier, .driver_status = kDriverSense};
    ASSERT_EQ(TestUnitReady(), kCommandFailed) << "leaves sense behind";
    kernel.answer = c.answer;
    EXPECT_EQ(TestUnitReady(), c.outcome);
    EXPECT_EQ(kernel.last_result, c.call_result);
    EXPECT_EQ(CurrentRequest().ScsiStatus(), c.answer.status);
    EXPECT_EQ(CurrentRequest().SenseInfoLength(), c.block_sense_length);
    EXPECT_EQ(LastCommandCapturedSense(), c.captures);
    const Bytes& expected = c.captures ? c.answer.sense : earlier;
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + scsi::kFixedSenseLength,
                           LastSense().begin()));
  }
}

TEST(SgTranslateTest, IdLunWordUnpacksIntoTheAddress) {
  const ScsiAddress a = AddressFromIdLun(0x04030201);  // host 4, channel 3, lun 2, id 1
  EXPECT_EQ((std::array<int, 4>{a.port_number, a.path_id, a.target_id, a.lun}),
            (std::array<int, 4>{4, 3, 1, 2}));
}

std::size_t OpenDescriptors() {
  const auto fds = std::filesystem::directory_iterator("/proc/self/fd");
  return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

// A missing node, and a node that opens but is no SCSI device: both fail, and neither leaves
// a descriptor open.
TEST(SgDeviceTest, NodeThatIsNoScsiDeviceFailsAndLeavesNoDescriptorBehind) {
  char pattern[] = "/tmp/sg_device_test.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path folder = pattern;
  std::ofstream(folder / "sr0") << "not a drive";
  LinuxDevices devices((folder / "sr").string());
  ResetDriveAccess();
  SetDeviceSeam(&devices);
  const std::size_t before = OpenDescriptors();
  EXPECT_EQ(OpenDrive('D'), -1);
  EXPECT_EQ(OpenDrive('E'), -1);
  EXPECT_EQ(OpenDescriptors(), before);

  // Were the capabilities query not asked, the refused SG_IO would come back as a failed call
  // that claims no status and no sense.
  DeviceHandle handle = -1;
  ASSERT_TRUE(devices.Open('D', handle));
  PassThroughRequest block;
  block.bytes[L::kCdbLength] = scsi::kCdb6;
  block.bytes[L::kSenseInfoLength] = kRequestedSenseLength;
  EXPECT_FALSE(devices.PassThrough(handle, block.Span()));
  EXPECT_EQ(block.SenseInfoLength(), 0);
  devices.Close(handle);
  ResetDriveAccess();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace varden
