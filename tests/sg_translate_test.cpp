// The Linux device seam without a drive: request blocks as SG_IO headers, SG_IO answers as the
// drive commands see them, and the letter-to-node open path.
#include "drive/linux/sg_translate.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>

#include "drive/drive_access.h"
#include "drive/linux/sg_device.h"
#include "drive/scsi_codes.h"
#include "fake_seam.h"
#include "recording_view.h"

namespace varden::linux_sg {
namespace {

using L = HostLayout;
using Bytes = std::vector<std::uint8_t>;

// Blocks filled field by field, with what the commands never build: nothing may be read or
// written past the block's CDB field or sense area, and a block SG_IO cannot carry is refused.
TEST(SgTranslateTest, BlockFieldsBecomeTheSgIoHeader) {
  constexpr std::uint8_t kIn = kScsiIoctlDataIn, kAny = kScsiIoctlDataUnspecified;
  constexpr std::uint32_t kMaxSeconds = std::numeric_limits<std::uint32_t>::max();
  constexpr unsigned int kMaxMs = std::numeric_limits<unsigned int>::max() - 1;
  const struct {
    const char* name;
    std::uint8_t cdb_length, sense_length, direction;
    std::uint32_t length, timeout_s;
    unsigned int cmd_len, mx_sb_len, timeout_ms;
    int dxfer_direction;
  } cases[] = {
      {"SEND KEY", 12, 18, kScsiIoctlDataOut, 8, 5, 12, 18, 5000, SG_DXFER_TO_DEV},
      {"CDB past its field", 40, 18, kIn, 8, 5, 16, 18, 5000, SG_DXFER_FROM_DEV},
      {"sense past its area", 6, 0xFF, kIn, 8, 2, 6, L::kSenseAreaSize, 2000, SG_DXFER_FROM_DEV},
      {"unspecified with data", 6, 18, kAny, 8, 2, 6, 18, 2000, kSgDxferUnknown},
      {"data-in, nothing moves; time-out would wrap", 6, 18, kIn, 0, kMaxSeconds, 6, 18, kMaxMs,
       SG_DXFER_NONE},
      {"longest time-out that fits", 6, 18, kIn, 8, kMaxMs / 1000, 6, 18, kMaxMs / 1000 * 1000,
       SG_DXFER_FROM_DEV},
  };
  std::uint8_t data[8];
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PassThroughRequest block;
    block.bytes[L::kCdbLength] = c.cdb_length;
    block.bytes[L::kSenseInfoLength] = c.sense_length;
    block.bytes[L::kDataIn] = c.direction;
    PutLe32(block.Span(), L::kDataTransferLength, c.length);
    PutLe32(block.Span(), L::kTimeOutValue, c.timeout_s);
    block.SetDataBuffer(data);
    SenseBuffer sense{};
    const sg_io_hdr hdr = BlockToSgIo(block.Span(), sense);
    EXPECT_EQ(hdr.interface_id, 'S');
    EXPECT_EQ((std::array<const void*, 3>{hdr.cmdp, hdr.sbp, hdr.dxferp}),
              (std::array<const void*, 3>{block.bytes.data() + L::kCdb, sense.data(), data}));
    EXPECT_EQ((std::array<unsigned, 4>{hdr.cmd_len, hdr.mx_sb_len, hdr.timeout, hdr.dxfer_len}),
              (std::array<unsigned, 4>{c.cmd_len, c.mx_sb_len, c.timeout_ms, c.length}));
    EXPECT_EQ(hdr.dxfer_direction, c.dxfer_direction);
    // What SG_IO cannot carry (an unknown direction with data, a short block) gets no call.
    const bool carried = c.dxfer_direction != kSgDxferUnknown;
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
}  // namespace varden::linux_sg
