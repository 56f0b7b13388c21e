// The Windows device seam against stand-in platform calls: the device path and open flags,
// the capabilities query and its storage-adapter fallback, the address, the pass-through call
// and the aligned buffer for adapters with an alignment mask. Runs under Wine.
#include "drive/win32/win32_device.h"

// <windows.h> first: the other platform headers build on it.
// clang-format off
#include <windows.h>
// clang-format on

#include <ntddscsi.h>
#include <winioctl.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "drive/drive_access.h"
#include "drive/pass_through.h"
#include "drive/region_commands.h"
#include "tests/wine/check.h"

namespace {

using varden::wine_tests::Check;
using varden::wine_tests::CheckEqual;
using L = varden::HostLayout;

const HANDLE kFakeHandle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x1234));

// What the stand-in device does and what reached it.
struct FakeDevice {
  bool exists = true;
  bool capabilities_ok = true;
  DWORD capabilities_mask = 0;
  bool adapter_ok = false;
  DWORD adapter_returned = sizeof(STORAGE_ADAPTER_DESCRIPTOR);
  DWORD adapter_mask = 0;
  bool address_ok = true;
  SCSI_ADDRESS address{sizeof(SCSI_ADDRESS), 7, 1, 2, 3};
  bool pass_through_ok = true;
  std::vector<std::uint8_t> data_in;  // delivered into the data buffer

  std::string path;
  DWORD access = 0, share = 0, disposition = 0, flags = 0;
  std::vector<DWORD> codes;
  int open_handles = 0;
  bool in_equals_out = false;
  DWORD in_size = 0, out_size = 0;
  std::uintptr_t data_address = 0;     // DataBuffer as the device saw it
  std::vector<std::uint8_t> data_out;  // read from the data buffer on a data-out command
};
FakeDevice device;

HANDLE WINAPI FakeCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                             DWORD disposition, DWORD flags, HANDLE) {
  device.path = path;
  device.access = access;
  device.share = share;
  device.disposition = disposition;
  device.flags = flags;
  if (!device.exists) return INVALID_HANDLE_VALUE;
  ++device.open_handles;
  return kFakeHandle;
}

BOOL WINAPI FakeDeviceIoControl(HANDLE, DWORD code, LPVOID in, DWORD in_size, LPVOID out,
                                DWORD out_size, LPDWORD returned, LPOVERLAPPED) {
  device.codes.push_back(code);
  switch (code) {
    case IOCTL_SCSI_GET_CAPABILITIES: {
      if (!device.capabilities_ok || out_size < sizeof(IO_SCSI_CAPABILITIES)) return FALSE;
      auto* caps = static_cast<IO_SCSI_CAPABILITIES*>(out);
      caps->Length = sizeof(IO_SCSI_CAPABILITIES);
      caps->AlignmentMask = device.capabilities_mask;
      *returned = sizeof(IO_SCSI_CAPABILITIES);
      return TRUE;
    }
    case IOCTL_STORAGE_QUERY_PROPERTY: {
      const auto* query = static_cast<const STORAGE_PROPERTY_QUERY*>(in);
      if (!device.adapter_ok || query->PropertyId != StorageAdapterProperty ||
          query->QueryType != PropertyStandardQuery) {
        return FALSE;
      }
      auto* adapter = static_cast<STORAGE_ADAPTER_DESCRIPTOR*>(out);
      adapter->Version = adapter->Size = sizeof(STORAGE_ADAPTER_DESCRIPTOR);
      adapter->AlignmentMask = device.adapter_mask;
      *returned = device.adapter_returned;
      return TRUE;
    }
    case IOCTL_SCSI_GET_ADDRESS:
      if (!device.address_ok || out_size < sizeof(SCSI_ADDRESS)) return FALSE;
      std::memcpy(out, &device.address, sizeof(SCSI_ADDRESS));
      *returned = sizeof(SCSI_ADDRESS);
      return TRUE;
    case IOCTL_SCSI_PASS_THROUGH_DIRECT: {
      device.in_equals_out = in == out;
      device.in_size = in_size;
      device.out_size = out_size;
      auto* block = static_cast<std::uint8_t*>(out);
      varden::PassThroughRequest request;
      std::memcpy(request.bytes.data(), block, L::kBlockSize);
      device.data_address = reinterpret_cast<std::uintptr_t>(request.DataBuffer());
      const std::uint32_t length = request.DataTransferLength();
      if (request.DataIn() == varden::kScsiIoctlDataOut) {
        device.data_out.assign(request.DataBuffer(), request.DataBuffer() + length);
      } else if (!device.data_in.empty()) {
        const auto delivered = static_cast<std::uint32_t>(device.data_in.size());
        std::memcpy(request.DataBuffer(), device.data_in.data(), delivered);
        varden::PutLe32(std::span<std::uint8_t>(block, L::kBlockSize), L::kDataTransferLength,
                        delivered);
      }
      *returned = L::kHeaderSize;
      return device.pass_through_ok;
    }
  }
  return FALSE;
}

BOOL WINAPI FakeCloseHandle(HANDLE) {
  --device.open_handles;
  return TRUE;
}

varden::win32::Win32Device& Seam() {
  static varden::win32::Win32Device seam(
      varden::win32::DeviceCalls{&FakeCreateFile, &FakeDeviceIoControl, &FakeCloseHandle});
  return seam;
}

// A fresh drive-access module on the stand-in device with `buffer` attached.
void Start(FakeDevice fake, std::uint8_t* buffer) {
  device = std::move(fake);
  varden::ResetDriveAccess();
  varden::SetDeviceSeam(&Seam());
  varden::AttachTransferBuffer(buffer);
}

void TestOpen() {
  struct Case {
    const char* name;
    FakeDevice fake;
    int answer;
    std::vector<DWORD> codes;
  };
  FakeDevice good;
  FakeDevice missing;
  missing.exists = false;
  FakeDevice no_scsi;
  no_scsi.capabilities_ok = false;
  FakeDevice storport = no_scsi;
  storport.adapter_ok = true;
  FakeDevice short_descriptor = storport;
  short_descriptor.adapter_returned = 8;
  FakeDevice no_address;
  no_address.address_ok = false;

  const DWORD caps = IOCTL_SCSI_GET_CAPABILITIES;
  const DWORD prop = IOCTL_STORAGE_QUERY_PROPERTY;
  const DWORD addr = IOCTL_SCSI_GET_ADDRESS;
  const std::vector<Case> cases = {
      {"open: a drive that answers both queries", good, 0, {caps, addr}},
      {"open: no device at the letter", missing, -1, {}},
      {"open: neither capabilities nor adapter", no_scsi, -1, {caps, prop}},
      {"open: adapter descriptor stands in for capabilities", storport, 0, {caps, prop, addr}},
      {"open: adapter descriptor too short", short_descriptor, -1, {caps, prop}},
      {"open: address query fails", no_address, -1, {caps, addr}},
  };
  std::array<std::uint8_t, 128> buffer{};
  for (const Case& c : cases) {
    Start(c.fake, buffer.data());
    const int answer = varden::OpenDrive('E');
    CheckEqual(answer, c.answer, std::string(c.name) + ": answer");
    Check(device.codes == c.codes, std::string(c.name) + ": queries sent");
    CheckEqual(device.open_handles, c.answer == 0 ? 1 : 0, std::string(c.name) + ": handles");
    if (c.answer == 0) varden::CloseDrive();
    CheckEqual(device.open_handles, 0, std::string(c.name) + ": closed");
  }

  Start(good, buffer.data());
  varden::OpenDrive('E');
  Check(device.path == "\\\\.\\E:", "open: path", device.path);
  Check(device.access == (GENERIC_READ | GENERIC_WRITE), "open: read and write access");
  Check(device.share == (FILE_SHARE_READ | FILE_SHARE_WRITE), "open: shared");
  Check(device.disposition == OPEN_EXISTING && device.flags == 0, "open: existing, no overlap");
  const varden::ScsiAddress& a = varden::CurrentConnection().address;
  Check(a.port_number == 7 && a.path_id == 1 && a.target_id == 2 && a.lun == 3,
        "open: SCSI address from the address query");
  varden::CloseDrive();
}

void TestPassThrough() {
  // The transfer buffer at an address that meets no mask above 0 (one byte into a block).
  alignas(64) static std::array<std::uint8_t, 256> storage{};
  struct Case {
    const char* name;
    DWORD capabilities_mask;
    bool fallback;  // the mask comes from the adapter descriptor
    std::size_t buffer_offset;
    bool expect_bounce;
  };
  const Case cases[] = {
      {"pass-through: no mask, any address", 0, false, 1, false},
      {"pass-through: word mask, odd address", 1, false, 1, true},
      {"pass-through: dword mask, aligned address", 3, false, 16, false},
      {"pass-through: 32-byte mask, 16-byte address", 31, false, 16, true},
      {"pass-through: adapter descriptor's mask", 3, true, 2, true},
  };
  for (const Case& c : cases) {
    storage.fill(0xEE);
    std::uint8_t* const buffer = storage.data() + c.buffer_offset;
    FakeDevice fake;
    if (c.fallback) {
      fake.capabilities_ok = false;
      fake.adapter_ok = true;
      fake.adapter_mask = c.capabilities_mask;
    } else {
      fake.capabilities_mask = c.capabilities_mask;
    }
    fake.data_in = {0x05, 0x80, 0x02, 0x02, 0x1F};  // a short INQUIRY answer: 5 bytes
    Start(fake, buffer);
    varden::OpenDrive('D');
    const varden::CommandOutcome outcome = varden::SendInquiry();
    const std::string name = c.name;
    CheckEqual(outcome, varden::kCommandOk, name + ": outcome");
    Check(
        device.in_equals_out && device.in_size == L::kBlockSize && device.out_size == L::kBlockSize,
        name + ": the block is input and output");
    CheckEqual<unsigned long>(device.data_address & c.capabilities_mask, 0,
                              name + ": the device sees an aligned buffer");
    CheckEqual(device.data_address != reinterpret_cast<std::uintptr_t>(buffer), c.expect_bounce,
               name + ": moved through the seam's buffer");
    Check(std::memcmp(buffer, device.data_in.data(), device.data_in.size()) == 0,
          name + ": delivered bytes reach the transfer buffer");
    Check(buffer[5] == 0xEE && buffer[95] == 0xEE,
          name + ": bytes the drive did not send keep what they held");
    Check(varden::CurrentRequest().DataBuffer() == buffer,
          name + ": the returned block names the transfer buffer");
    varden::CloseDrive();
  }

  // A data-out command through the aligned buffer carries the parameter list.
  FakeDevice fake;
  fake.capabilities_mask = 63;
  std::array<std::uint8_t, 128> buffer{};
  Start(fake, buffer.data());
  varden::OpenDrive('D');
  varden::SetDriveRegion(2);
  Check(device.data_out.size() == varden::kRpcDataLength && device.data_out[4] == 0xFD,
        "pass-through: SEND KEY's parameter list reaches the device");
  CheckEqual<unsigned long>(device.data_address & 63, 0, "pass-through: data-out aligned");
  varden::CloseDrive();

  // A failed call is reported as failed, and a failed call through the aligned buffer
  // leaves the transfer buffer as it was: the promised length brought nothing.
  fake.pass_through_ok = false;
  fake.data_in.clear();
  storage.fill(0xEE);
  Start(fake, storage.data() + 1);
  varden::OpenDrive('D');
  CheckEqual(varden::TestUnitReady(), varden::kCommandFailed, "pass-through: failed call");
  CheckEqual(varden::SendInquiry(), varden::kCommandFailed, "pass-through: failed INQUIRY");
  Check(storage[1] == 0xEE && storage[96] == 0xEE,
        "pass-through: a failed call through the aligned buffer copies nothing back");
  varden::CloseDrive();
}

}  // namespace

int main() {
  TestOpen();
  TestPassThrough();
  return varden::wine_tests::Finish();
}
