// The emulated drive as the program sees it: through drive access and the region commands,
// and, where the program cannot build the request (odd masks, short sense areas), through
// request blocks handed straight to the seam.
#include "emulated/emulated_drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "drive/pass_through.h"
#include "drive/region_commands.h"
#include "drive/scsi_codes.h"

namespace varden::emulated {
namespace {

using L = HostLayout;

// Sense key, ASC and ASCQ as a test states them.
struct Sense {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  bool operator==(const Sense&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Sense& s) {
  return out << std::hex << int{s.key} << "/" << int{s.asc} << "/" << int{s.ascq};
}

constexpr Sense kNoDisc{scsi::kSenseKeyNotReady, scsi::kAscMediumNotPresent, 0};
constexpr Sense kBecomingReady{scsi::kSenseKeyNotReady, scsi::kAscNotReady,
                               scsi::kAscqBecomingReady};
constexpr Sense kMediumChanged{scsi::kSenseKeyUnitAttention, scsi::kAscMediumChanged, 0};
constexpr Sense kInvalidField{scsi::kSenseKeyIllegalRequest, scsi::kAscInvalidFieldInCdb, 0};
constexpr Sense kInvalidOpcode{scsi::kSenseKeyIllegalRequest, scsi::kAscInvalidOpcode, 0};
constexpr Sense kNoChangeLeft{scsi::kSenseKeyIllegalRequest, scsi::kAscCopyProtectionFailure,
                              scsi::kAscqNoMoreRegionResets};
constexpr Sense kRegionMismatch{scsi::kSenseKeyIllegalRequest, scsi::kAscCopyProtectionFailure,
                                scsi::kAscqRegionMismatch};
// What a failure that brought no sense bytes back is written as.
constexpr Sense kNoSenseCaptured{0xFF, 0xFF, 0xFF};

// The answer of a command as a test states it: nullopt for carried out, else the sense.
using Result = std::optional<Sense>;
constexpr Result kGood = std::nullopt;

Result ResultOf(CommandOutcome outcome) {
  if (outcome == kCommandOk) return kGood;
  if (!LastCommandCapturedSense()) return kNoSenseCaptured;
  const auto sense = LastSense();
  return Sense{static_cast<std::uint8_t>(sense[scsi::kSenseKey] & 0x0F), sense[scsi::kSenseAsc],
               sense[scsi::kSenseAscq]};
}

DriveState MakersDrive(char letter) {
  DriveState drive;
  drive.letter = letter;
  drive.vendor = "MERIDAX ";
  drive.product = "DVD-ROM MX-1608";
  return drive;
}

Disc ReadyDisc(std::uint8_t cpst = kCpstNone, std::uint8_t rmi = 0x00) {
  return Disc{.present = true, .cpst = cpst, .rmi = rmi};
}

// A request block built as drive access builds one, for cases drive access never sends.
struct RawRequest {
  std::vector<std::uint8_t> cdb;
  std::uint8_t direction = kScsiIoctlDataIn;
  std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  std::uint8_t sense_asked = kRequestedSenseLength;
  std::uint32_t sense_offset = L::kSenseArea;
};

PassThroughRequest BuildBlock(const RawRequest& raw) {
  PassThroughRequest block;
  const auto b = block.Span();
  PutLe16(b, L::kLength, static_cast<std::uint16_t>(L::kHeaderSize));
  b[L::kCdbLength] = static_cast<std::uint8_t>(raw.cdb.size());
  b[L::kSenseInfoLength] = raw.sense_asked;
  b[L::kDataIn] = raw.direction;
  PutLe32(b, L::kDataTransferLength, raw.length);
  PutLe32(b, L::kTimeOutValue, kDvdTimeoutSeconds);
  PutLe32(b, L::kSenseInfoOffset, raw.sense_offset);
  block.SetDataBuffer(raw.data);
  std::copy(raw.cdb.begin(), raw.cdb.end(), b.begin() + L::kCdb);
  return block;
}

std::vector<std::uint8_t> SendKeyCdb() {
  std::vector<std::uint8_t> cdb(scsi::kCdb12, 0);
  cdb[0] = scsi::kOpSendKey;
  cdb[9] = kRpcDataLength;
  cdb[10] = scsi::kKeyFormatRpcStructure;
  return cdb;
}

class EmulatedDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDriveAccess();
    ResetRegionCommands();
    AttachTransferBuffer(buffer_.data());
    SetDeviceSeam(&drives_);
  }
  void TearDown() override {
    CloseDrive();
    ResetDriveAccess();
    ResetRegionCommands();
  }

  // Opens the drive, runs `command`, closes; answers the command's result.
  template <typename Command>
  Result On(char letter, Command command) {
    if (OpenDrive(letter) != 0) {
      ADD_FAILURE() << "drive " << letter << " does not open";
      return kNoSenseCaptured;
    }
    const Result result = ResultOf(command());
    CloseDrive();
    return result;
  }

  // Hands a raw request straight to the seam on a fresh handle; answers the call's result.
  bool SendRaw(char letter, PassThroughRequest& block) {
    DeviceHandle handle = 0;
    if (!drives_.Open(letter, handle)) return false;
    const bool ok = drives_.PassThrough(handle, block.Span());
    drives_.Close(handle);
    return ok;
  }

  static Sense SenseOf(const PassThroughRequest& block) {
    return Sense{static_cast<std::uint8_t>(block.bytes[L::kSenseArea + scsi::kSenseKey] & 0x0F),
                 block.bytes[L::kSenseArea + scsi::kSenseAsc],
                 block.bytes[L::kSenseArea + scsi::kSenseAscq]};
  }

  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kTransferBufferSize);
  EmulatedDrives drives_;
};

// ---- The RPC state machine ----------------------------------------------------------------

TEST_F(EmulatedDriveTest, EachSettingSpendsAChangeUntilTheRegionIsPermanent) {
  drives_.Add(MakersDrive('E'));  // no region, 5 changes, 4 vendor resets
  struct Step {
    int region;
    Result result;
    std::uint8_t byte4;  // type code | vendor resets | user changes
    std::uint8_t mask;
  } const steps[] = {
      {2, kGood, 0x64, 0xFD},          // the first setting spends a change too: 01b, 4 left
      {3, kGood, 0x63, 0xFB},          // 3 left
      {3, kGood, 0x62, 0xFB},          // the same region again spends one
      {5, kGood, 0xA1, 0xEF},          // 10b at the last change
      {6, kGood, 0xE0, 0xDF},          // 11b, none left
      {1, kNoChangeLeft, 0xE0, 0xDF},  // refused, and nothing changes
  };
  ASSERT_EQ(On('E', ReadRpcState), kGood);
  EXPECT_EQ(RpcState().bytes, (std::array<std::uint8_t, 4>{0x25, 0xFF, 0x01, 0x00}));
  for (const Step& s : steps) {
    SCOPED_TRACE("region " + std::to_string(s.region));
    EXPECT_EQ(On('E', [&] { return SetDriveRegion(s.region); }), s.result);
    EXPECT_EQ(On('E', ReadRpcState), kGood);
    EXPECT_EQ(RpcState().TypeCode(), s.byte4 >> 6);
    EXPECT_EQ(RpcState().bytes[0], s.byte4);
    EXPECT_EQ(RpcState().RegionMask(), s.mask);
  }
  // The whole answer: data length 0006h, reserved bytes 0, the RPC scheme.
  const std::array<std::uint8_t, 8> answer = {0x00, 0x06, 0x00, 0x00, 0xE0, 0xDF, 0x01, 0x00};
  EXPECT_TRUE(std::equal(answer.begin(), answer.end(), buffer_.begin()));
}

TEST_F(EmulatedDriveTest, ReportsTheRpcStateWithoutADisc) {
  DriveState drive = MakersDrive('E');
  drive.rpc_scheme = 0x00;
  drive.vendor_resets = 2;
  drive.region_mask = RegionMaskOf(4);
  drive.user_changes = 3;
  drives_.Add(drive);
  EXPECT_EQ(On('E', ReadRpcState), kGood);
  EXPECT_EQ(RpcState().bytes, (std::array<std::uint8_t, 4>{0x53, 0xF7, 0x00, 0x00}));
}

TEST_F(EmulatedDriveTest, MasksNamingNoRegionOrSeveralAreRefused) {
  drives_.Add(MakersDrive('E'));
  for (const std::uint8_t mask : {0xFF, 0xFC, 0x00, 0x7E, 0xF5}) {
    SCOPED_TRACE("mask " + std::to_string(mask));
    std::array<std::uint8_t, 8> list = {0x00, 0x06, 0x00, 0x00, mask, 0x00, 0x00, 0x00};
    PassThroughRequest block = BuildBlock(
        {.cdb = SendKeyCdb(), .direction = kScsiIoctlDataOut, .data = list.data(), .length = 8});
    ASSERT_TRUE(SendRaw('E', block));
    EXPECT_EQ(block.ScsiStatus(), scsi::kStatusCheckCondition);
    EXPECT_EQ(SenseOf(block), kInvalidField);
    EXPECT_EQ(drives_.Find('E')->region_mask, kNoRegionMask);
    EXPECT_EQ(drives_.Find('E')->user_changes, 5);
  }
}

TEST_F(EmulatedDriveTest, ParameterListThatDoesNotReachTheDriveIsRefused) {
  drives_.Add(MakersDrive('E'));
  std::array<std::uint8_t, 8> list = {0x00, 0x06, 0x00, 0x00, RegionMaskOf(1), 0, 0, 0};
  struct Case {
    const char* name;
    RawRequest raw;
  } const cases[] = {
      {"no buffer", {.cdb = SendKeyCdb(), .direction = kScsiIoctlDataOut, .length = 8}},
      {"short transfer",
       {.cdb = SendKeyCdb(), .direction = kScsiIoctlDataOut, .data = list.data(), .length = 4}},
      {"data in",
       {.cdb = SendKeyCdb(), .direction = kScsiIoctlDataIn, .data = list.data(), .length = 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PassThroughRequest block = BuildBlock(c.raw);
    ASSERT_TRUE(SendRaw('E', block));
    EXPECT_EQ(SenseOf(block), kInvalidField);
    EXPECT_EQ(drives_.Find('E')->user_changes, 5);
  }
}

TEST_F(EmulatedDriveTest, ChangeNeedingADiscFollowsTheDiscsRegions) {
  const Disc regions_2_and_4 = ReadyDisc(kCpstCssCppm, 0xF5);
  Disc spinning = regions_2_and_4;
  spinning.becoming_ready_tests = 3;
  struct Case {
    const char* name;
    bool needs_disc;
    std::uint8_t mask;
    Disc disc;
    int region;
    Result result;
  } const cases[] = {
      {"first setting needs no disc", true, kNoRegionMask, Disc{}, 1, kGood},
      {"change without a disc", true, RegionMaskOf(2), Disc{}, 4, kNoDisc},
      {"change to a region the disc plays", true, RegionMaskOf(2), regions_2_and_4, 4, kGood},
      {"change to a region the disc forbids", true, RegionMaskOf(2), regions_2_and_4, 1,
       kRegionMismatch},
      {"disc still spinning up", true, RegionMaskOf(2), spinning, 4, kBecomingReady},
      {"drive without the option", false, RegionMaskOf(2), Disc{}, 1, kGood},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DriveState drive = MakersDrive('E');
    drive.change_needs_disc = c.needs_disc;
    drive.region_mask = c.mask;
    drive.user_changes = 4;
    drive.disc = c.disc;
    drives_.Add(drive);
    EXPECT_EQ(On('E', [&] { return SetDriveRegion(c.region); }), c.result);
    const DriveState& after = *drives_.Find('E');
    EXPECT_EQ(after.region_mask, c.result == kGood ? RegionMaskOf(c.region) : c.mask);
    EXPECT_EQ(after.user_changes, c.result == kGood ? 3 : 4);
  }
}

// ---- Disc states ----------------------------------------------------------------------------

TEST_F(EmulatedDriveTest, TestUnitReadyFollowsTheDisc) {
  Disc inserted = ReadyDisc();
  inserted.unit_attention = true;
  Disc spinning = ReadyDisc();
  spinning.becoming_ready_tests = 2;
  Disc inserted_spinning = inserted;
  inserted_spinning.becoming_ready_tests = 1;
  Faults never_ready;
  never_ready.never_ready = true;
  Faults attention;
  attention.unit_attention_forever = true;
  struct Case {
    const char* name;
    Disc disc;
    Faults faults;
    std::vector<Result> answers;
  } const cases[] = {
      {"no disc", Disc{}, {}, {kNoDisc, kNoDisc}},
      {"ready", ReadyDisc(), {}, {kGood, kGood}},
      {"becoming ready twice", spinning, {}, {kBecomingReady, kBecomingReady, kGood, kGood}},
      {"just inserted", inserted, {}, {kMediumChanged, kGood, kGood}},
      {"inserted, then spinning up",
       inserted_spinning,
       {},
       {kMediumChanged, kBecomingReady, kGood}},
      {"never ready", ReadyDisc(), never_ready, {kBecomingReady, kBecomingReady, kBecomingReady}},
      {"unit attention forever",
       ReadyDisc(),
       attention,
       {kMediumChanged, kMediumChanged, kMediumChanged}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DriveState drive = MakersDrive('E');
    drive.disc = c.disc;
    drive.faults = c.faults;
    drives_.Add(drive);
    ASSERT_EQ(OpenDrive('E'), 0);
    for (std::size_t i = 0; i < c.answers.size(); ++i) {
      EXPECT_EQ(ResultOf(TestUnitReady()), c.answers[i]) << "test " << i;
    }
    CloseDrive();
  }
}

TEST_F(EmulatedDriveTest, InsertedDiscGivesOneUnitAttentionToTheNextMediumAccess) {
  drives_.Add(MakersDrive('E'));
  drives_.InsertDisc('E', ReadyDisc(kCpstCssCppm, 0xF5));
  ASSERT_EQ(OpenDrive('E'), 0);
  // INQUIRY and REPORT KEY do not touch the medium: the attention stays pending.
  EXPECT_EQ(ResultOf(SendInquiry()), kGood);
  EXPECT_EQ(ResultOf(ReadRpcState()), kGood);
  EXPECT_EQ(ResultOf(ReadDiscCopyright()), kMediumChanged);
  EXPECT_EQ(ResultOf(TestUnitReady()), kGood);
  EXPECT_EQ(ResultOf(ReadDiscCopyright()), kGood);
  EXPECT_EQ(DiscCopyright().bytes, (std::array<std::uint8_t, 8>{0, 6, 0, 0, 0x01, 0xF5, 0, 0}));

  drives_.EjectDisc('E');
  EXPECT_EQ(ResultOf(TestUnitReady()), kNoDisc);
  drives_.InsertDisc('E', ReadyDisc());
  EXPECT_EQ(ResultOf(TestUnitReady()), kMediumChanged);
  EXPECT_EQ(ResultOf(TestUnitReady()), kGood);
  CloseDrive();
}

TEST_F(EmulatedDriveTest, ReadDvdStructureAndOtherCommands) {
  Disc spinning = ReadyDisc(kCpstCprm, 0x3E);
  spinning.becoming_ready_tests = 1;
  std::array<std::uint8_t, 8> copyright{};
  struct Case {
    const char* name;
    Disc disc;
    std::function<CommandOutcome()> command;
    Result result;
  } const cases[] = {
      {"copyright, no disc", Disc{}, ReadDiscCopyright, kNoDisc},
      {"copyright, spinning up", spinning, ReadDiscCopyright, kBecomingReady},
      {"other structure format", ReadyDisc(),
       [&] { return ReadDvdStructure(0, 0x00, 8, copyright.data()); }, kInvalidField},
      {"other layer", ReadyDisc(),
       [&] { return ReadDvdStructure(1, scsi::kDvdFormatCopyright, 8, copyright.data()); },
       kInvalidField},
      {"other key format", ReadyDisc(),
       [] {
         // Key format 05h, the authentication success flag, which is not emulated.
         const std::array<std::uint8_t, 12> cdb = {
             scsi::kOpReportKey, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0x05, 0};
         return detail::SendCommand({.cdb = cdb, .transfer_length = 8, .data = TransferBuffer()});
       },
       kInvalidField},
      {"unknown opcode", ReadyDisc(),
       [] {
         const std::array<std::uint8_t, 10> cdb = {0x25};  // READ CAPACITY, not emulated
         return detail::SendCommand({.cdb = cdb, .transfer_length = 8, .data = TransferBuffer()});
       },
       kInvalidOpcode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DriveState drive = MakersDrive('E');
    drive.disc = c.disc;
    drives_.Add(drive);
    EXPECT_EQ(On('E', c.command), c.result);
    EXPECT_EQ(DiscCopyright().bytes, (std::array<std::uint8_t, 8>{}));  // nothing sent
  }
}

TEST_F(EmulatedDriveTest, OnlyTestUnitReadyCountsTheSpinUpDown) {
  DriveState drive = MakersDrive('E');
  drive.disc = ReadyDisc();
  drive.disc.becoming_ready_tests = 1;
  drives_.Add(drive);
  ASSERT_EQ(OpenDrive('E'), 0);
  EXPECT_EQ(ResultOf(ReadDiscCopyright()), kBecomingReady);
  EXPECT_EQ(ResultOf(ReadDiscCopyright()), kBecomingReady);
  EXPECT_EQ(ResultOf(TestUnitReady()), kBecomingReady);
  EXPECT_EQ(ResultOf(ReadDiscCopyright()), kGood);
  EXPECT_EQ(ResultOf(TestUnitReady()), kGood);
  CloseDrive();
}

// ---- INQUIRY --------------------------------------------------------------------------------

TEST_F(EmulatedDriveTest, InquiryAnswersStandardDataOfAnyMaker) {
  DriveState other = MakersDrive('I');
  other.vendor = "OTHERCO";  // padded to eight
  other.product = "CD-RW 52X";
  other.revision = "3";
  drives_.Add(other);
  ASSERT_EQ(On('I', SendInquiry), kGood);
  EXPECT_EQ(buffer_[0], 0x05);  // CD/DVD device
  EXPECT_EQ(buffer_[1], 0x80);  // removable medium
  EXPECT_EQ(buffer_[4], 91);    // additional length: 96 bytes in all
  EXPECT_EQ(std::string(buffer_.begin() + 8, buffer_.begin() + 36), "OTHERCO CD-RW 52X       3   ");
}

TEST_F(EmulatedDriveTest, InquiryNeverWritesMoreThanAskedOrAvailable) {
  constexpr std::uint8_t kUntouched = 0xAA;
  struct Case {
    const char* name;
    int inquiry_length;
    std::uint16_t allocation;
    std::uint32_t transfer;
    std::size_t written;
  } const cases[] = {
      {"whole answer", 96, 96, 96, 96},      {"short answer", 36, 96, 96, 36},
      {"allocation length", 96, 20, 96, 20}, {"transfer length", 96, 96, 12, 12},
      {"no answer", 0, 96, 96, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DriveState drive = MakersDrive('E');
    drive.inquiry_length = c.inquiry_length;
    drives_.Add(drive);
    std::array<std::uint8_t, 128> data;
    data.fill(kUntouched);
    std::vector<std::uint8_t> cdb = {scsi::kOpInquiry,
                                     0,
                                     0,
                                     static_cast<std::uint8_t>(c.allocation >> 8),
                                     static_cast<std::uint8_t>(c.allocation),
                                     0};
    PassThroughRequest block = BuildBlock({.cdb = cdb, .data = data.data(), .length = c.transfer});
    ASSERT_TRUE(SendRaw('E', block));
    EXPECT_EQ(block.ScsiStatus(), scsi::kStatusGood);
    for (std::size_t i = c.written; i < data.size(); ++i) {
      ASSERT_EQ(data[i], kUntouched) << "byte " << i;
    }
    if (c.written > 0) {
      EXPECT_EQ(data[0], 0x05);
    }
  }
}

// ---- Faults, as drive access sees them ------------------------------------------------------

TEST_F(EmulatedDriveTest, FaultsAsDriveAccessSeesThem) {
  enum class Command { kInquiry, kTestUnitReady, kReportKey };
  auto faults = [](auto set) {
    Faults f;
    set(f);
    return f;
  };
  struct Case {
    const char* name;
    Faults faults;
    int inquiry_length;
    bool opens;
    Command command;
    Result result;
    bool recorded;  // the command reached the drive
  } const cases[] = {
      {"no device", faults([](Faults& f) { f.no_device = true; }), 96, false, Command::kInquiry,
       kNoSenseCaptured, false},
      {"capabilities query fails", faults([](Faults& f) { f.capabilities_fails = true; }), 96,
       false, Command::kInquiry, kNoSenseCaptured, false},
      {"address query fails", faults([](Faults& f) { f.address_fails = true; }), 96, false,
       Command::kInquiry, kNoSenseCaptured, false},
      {"call fails, block untouched", faults([](Faults& f) { f.call = CallFault::kUntouched; }), 96,
       true, Command::kInquiry, kNoSenseCaptured, true},
      {"call fails, status 0 and no sense",
       faults([](Faults& f) { f.call = CallFault::kStatusZeroNoSense; }), 96, true,
       Command::kTestUnitReady, kNoSenseCaptured, true},
      {"time-out", faults([](Faults& f) { f.timeout = true; }), 96, true, Command::kReportKey,
       kNoSenseCaptured, true},
      {"status without sense", faults([](Faults& f) { f.status_without_sense = true; }), 96, true,
       Command::kTestUnitReady, kNoSenseCaptured, true},
      {"short inquiry", Faults{}, 36, true, Command::kInquiry, kGood, true},
      {"no REPORT KEY", faults([](Faults& f) { f.no_report_key = true; }), 96, true,
       Command::kReportKey, kInvalidOpcode, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    drives_ = EmulatedDrives();
    DriveState drive = MakersDrive('E');  // no disc: TEST UNIT READY would answer 02/3A/00
    drive.faults = c.faults;
    drive.inquiry_length = c.inquiry_length;
    drives_.Add(drive);
    // An earlier failure on another drive leaves sense that only a capture may replace.
    drives_.Add(MakersDrive('Z'));
    ASSERT_EQ(On('Z', TestUnitReady), kNoDisc);
    const std::array<std::uint8_t, kLastSenseSize> sense_before = [] {
      std::array<std::uint8_t, kLastSenseSize> copy;
      std::copy(LastSense().begin(), LastSense().end(), copy.begin());
      return copy;
    }();
    std::fill(buffer_.begin(), buffer_.begin() + kInquiryLength, 0xAA);
    drives_.ClearCommands();

    EXPECT_EQ(OpenDrive('E'), c.opens ? 0 : -1);
    EXPECT_EQ(drives_.OpenHandles(), c.opens ? 1 : 0);  // a failed open holds nothing
    if (c.opens) {
      const CommandOutcome outcome = c.command == Command::kInquiry         ? SendInquiry()
                                     : c.command == Command::kTestUnitReady ? TestUnitReady()
                                                                            : ReadRpcState();
      EXPECT_EQ(ResultOf(outcome), c.result);
      if (c.result == kNoSenseCaptured) {
        EXPECT_TRUE(std::equal(sense_before.begin(), sense_before.end(), LastSense().begin()));
      }
      CloseDrive();
    }
    EXPECT_EQ(drives_.OpenHandles(), 0);
    EXPECT_EQ(drives_.Commands().size(), c.recorded ? 1u : 0u);
  }
}

TEST_F(EmulatedDriveTest, OverReportedSenseLengthNeverLeadsOutsideTheBlock) {
  DriveState drive = MakersDrive('E');
  drive.faults.reported_sense_length = 200;
  drives_.Add(drive);

  // Through drive access: the capture is clamped to the sense area, whose bytes past the
  // real sense were cleared with the block.
  ASSERT_EQ(On('E', TestUnitReady), kNoDisc);
  EXPECT_EQ(CurrentRequest().SenseInfoLength(), 200);
  const auto sense = LastSense();
  EXPECT_EQ(sense[scsi::kSenseResponseCode], scsi::kSenseCurrentFixed);
  EXPECT_EQ(sense[scsi::kSenseAdditionalLength], 10);
  for (std::size_t i = scsi::kFixedSenseLength; i < sense.size(); ++i) {
    EXPECT_EQ(sense[i], 0) << "byte " << i;
  }

  // Straight to the seam: only the real 18 bytes are written into the sense area.
  PassThroughRequest block = BuildBlock({.cdb = {scsi::kOpTestUnitReady, 0, 0, 0, 0, 0}});
  std::fill(block.bytes.begin() + L::kSenseArea, block.bytes.end(), 0xEE);
  ASSERT_TRUE(SendRaw('E', block));
  EXPECT_EQ(block.SenseInfoLength(), 200);
  EXPECT_EQ(SenseOf(block), kNoDisc);
  for (std::size_t i = L::kSenseArea + scsi::kFixedSenseLength; i < L::kBlockSize; ++i) {
    EXPECT_EQ(block.bytes[i], 0xEE) << "byte " << i;
  }
}

TEST_F(EmulatedDriveTest, SenseBytesStayWithinWhatWasAskedAndWithinTheBlock) {
  drives_.Add(MakersDrive('E'));
  struct Case {
    const char* name;
    std::uint8_t asked;
    std::uint32_t offset;
    std::size_t delivered;
  } const cases[] = {
      {"all 18", kRequestedSenseLength, L::kSenseArea, 18},
      {"fewer asked", 8, L::kSenseArea, 8},
      {"none asked", 0, L::kSenseArea, 0},
      {"more asked than there are", 32, L::kSenseArea, 18},
      {"offset near the end", kRequestedSenseLength, L::kBlockSize - 4, 4},
      {"offset past the end", kRequestedSenseLength, 4096, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The block sits inside a larger area whose bytes after it must stay as they are.
    std::array<std::uint8_t, L::kBlockSize + 64> area;
    area.fill(0xEE);
    PassThroughRequest block = BuildBlock({.cdb = {scsi::kOpTestUnitReady, 0, 0, 0, 0, 0},
                                           .sense_asked = c.asked,
                                           .sense_offset = c.offset});
    std::copy(block.bytes.begin(), block.bytes.begin() + L::kSenseArea, area.begin());
    DeviceHandle handle = 0;
    ASSERT_TRUE(drives_.Open('E', handle));
    ASSERT_TRUE(drives_.PassThrough(handle, std::span(area.data(), L::kBlockSize)));
    drives_.Close(handle);
    EXPECT_EQ(area[L::kSenseInfoLength], c.delivered);
    EXPECT_EQ(area[L::kScsiStatus], scsi::kStatusCheckCondition);
    const std::size_t start = std::min<std::size_t>(c.offset, L::kBlockSize);
    for (std::size_t i = start + c.delivered; i < area.size(); ++i) {
      ASSERT_EQ(area[i], 0xEE) << "byte " << i;
    }
    if (c.delivered > 0) {
      EXPECT_EQ(area[start], scsi::kSenseCurrentFixed);
    }
  }
}

// ---- Recording and handles ------------------------------------------------------------------

TEST_F(EmulatedDriveTest, RecordsEveryCommandThatReachesADrive) {
  DriveState drive = MakersDrive('E');
  drive.disc = ReadyDisc();
  drives_.Add(drive);
  DriveState lost = MakersDrive('F');
  lost.faults.timeout = true;
  drives_.Add(lost);

  ASSERT_EQ(OpenDrive('E'), 0);
  SendInquiry();
  TestUnitReady();
  ReadRpcState();
  SetDriveRegion(2);
  ReadDiscCopyright();
  CloseDrive();
  ASSERT_EQ(OpenDrive('F'), 0);
  SetDriveRegion(6);  // times out: recorded all the same, and nothing changes
  CloseDrive();

  struct Expected {
    char letter;
    std::vector<std::uint8_t> cdb;
    std::uint8_t direction;
    std::uint32_t length;
    std::uint32_t timeout;
  } const expected[] = {
      {'E', {0x12, 0, 0, 0, 0x60, 0}, kScsiIoctlDataIn, 96, 2},
      {'E', {0, 0, 0, 0, 0, 0}, kScsiIoctlDataIn, 0, 2},
      {'E', {0xA4, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0x08, 0}, kScsiIoctlDataIn, 8, 5},
      {'E', {0xA3, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0x06, 0}, kScsiIoctlDataOut, 8, 5},
      {'E', {0xAD, 0, 0, 0, 0, 0, 0, 0x01, 0, 8, 0, 0}, kScsiIoctlDataIn, 8, 5},
      {'F', {0xA3, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0x06, 0}, kScsiIoctlDataOut, 8, 5},
  };
  const auto& commands = drives_.Commands();
  ASSERT_EQ(commands.size(), std::size(expected));
  for (std::size_t i = 0; i < commands.size(); ++i) {
    SCOPED_TRACE("command " + std::to_string(i));
    EXPECT_EQ(commands[i].letter, expected[i].letter);
    EXPECT_EQ(commands[i].cdb, expected[i].cdb);
    EXPECT_EQ(commands[i].direction, expected[i].direction);
    EXPECT_EQ(commands[i].length, expected[i].length);
    EXPECT_EQ(commands[i].timeout_seconds, expected[i].timeout);
  }
  EXPECT_EQ(drives_.Find('E')->region_mask, RegionMaskOf(2));
  EXPECT_EQ(drives_.Find('F')->region_mask, kNoRegionMask);
  EXPECT_EQ(drives_.Find('F')->user_changes, 5);
}

TEST_F(EmulatedDriveTest, HandlesAreCountedAndABadHandleFails) {
  DriveState drive = MakersDrive('E');
  drive.address = {.port_number = 3, .path_id = 1, .target_id = 2, .lun = 0};
  drives_.Add(drive);

  ASSERT_EQ(OpenDrive('E'), 0);
  EXPECT_EQ(CurrentConnection().address.path_id, 1);
  EXPECT_EQ(CurrentConnection().address.target_id, 2);
  EXPECT_EQ(drives_.OpenHandles(), 1);
  const DeviceHandle handle = CurrentConnection().handle;
  CloseDrive();
  EXPECT_EQ(OpenDrive('Q'), -1);  // no drive there
  EXPECT_EQ(drives_.OpenHandles(), 0);
  EXPECT_EQ(drives_.OpenCalls(), 2);

  // The closed handle is no longer good for anything, and nothing reaches a drive through it.
  drives_.ClearCommands();
  PassThroughRequest block = BuildBlock({.cdb = {scsi::kOpTestUnitReady, 0, 0, 0, 0, 0}});
  const PassThroughRequest sent = block;
  ScsiAddress address;
  EXPECT_FALSE(drives_.PassThrough(handle, block.Span()));
  EXPECT_FALSE(drives_.QueryCapabilities(handle));
  EXPECT_FALSE(drives_.QueryAddress(handle, address));
  for (const DeviceHandle bad : {DeviceHandle{0}, DeviceHandle{-1}}) {
    EXPECT_FALSE(drives_.PassThrough(bad, block.Span()));
  }
  drives_.Close(handle);  // a second close changes nothing
  EXPECT_EQ(drives_.OpenHandles(), 0);
  EXPECT_EQ(block.bytes, sent.bytes);
  EXPECT_TRUE(drives_.Commands().empty());
}

}  // namespace
}  // namespace varden::emulated
