// The Windows device seam against stand-in platform calls: opening, the capabilities query and
// its adapter fallback, the address, the pass-through call and its aligned buffer. Under Wine.
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

// The cases' designated initializers name only the fields that differ from a sound drive.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using varden::wine_tests::Check;
using L = varden::HostLayout;
constexpr DWORD kAdapter = sizeof(STORAGE_ADAPTER_DESCRIPTOR);

// What the stand-in device does, then what reached it.
struct FakeDevice {
  bool exists = true, caps_ok = true;
  DWORD caps_mask = 0, adapter = 0, adapter_mask = 0;  // adapter: descriptor bytes, 0: refused
  bool address_ok = true, call_ok = true;

  std::string path;
  std::vector<DWORD> opened, codes;  // CreateFile's access, share, disposition and flags
  int open_handles = 0;
  bool block_in_out = false;                    // the request block is both input and output, whole
  std::uintptr_t data_address = 0;              // DataBuffer as the device saw it
  std::vector<std::uint8_t> data_in, data_out;  // delivered into, or read from, the data buffer
};
FakeDevice device;
// Room for the transfer buffer, aligned for every mask; the cases start the buffer inside it.
alignas(64) std::array<std::uint8_t, 256> storage{};

HANDLE WINAPI FakeCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                             DWORD disposition, DWORD flags, HANDLE) {
  device.path = path;
  device.opened = {access, share, disposition, flags};
  if (!device.exists) return INVALID_HANDLE_VALUE;
  ++device.open_handles;
  return reinterpret_cast<HANDLE>(std::intptr_t{0x1234});
}

BOOL WINAPI FakeDeviceIoControl(HANDLE, DWORD code, LPVOID in, DWORD in_size, LPVOID out,
                                DWORD out_size, LPDWORD returned, LPOVERLAPPED) {
  device.codes.push_back(code);
  switch (code) {
    case IOCTL_SCSI_GET_CAPABILITIES:
      if (!device.caps_ok || out_size < sizeof(IO_SCSI_CAPABILITIES)) return FALSE;
      *static_cast<IO_SCSI_CAPABILITIES*>(out) = {
          .Length = *returned = sizeof(IO_SCSI_CAPABILITIES), .AlignmentMask = device.caps_mask};
      return TRUE;
    case IOCTL_STORAGE_QUERY_PROPERTY: {
      const auto* query = static_cast<const STORAGE_PROPERTY_QUERY*>(in);
      if (device.adapter == 0 || query->PropertyId != StorageAdapterProperty ||
          query->QueryType != PropertyStandardQuery)
        return FALSE;
      *static_cast<STORAGE_ADAPTER_DESCRIPTOR*>(out) = {
          .Version = kAdapter, .Size = kAdapter, .AlignmentMask = device.adapter_mask};
      *returned = device.adapter;
      return TRUE;
    }
    case IOCTL_SCSI_GET_ADDRESS:
      if (!device.address_ok || out_size < sizeof(SCSI_ADDRESS)) return FALSE;
      *static_cast<SCSI_ADDRESS*>(out) = {*returned = sizeof(SCSI_ADDRESS), 7, 1, 2, 3};
      return TRUE;
    case IOCTL_SCSI_PASS_THROUGH_DIRECT: {
      device.block_in_out = in == out && in_size == L::kBlockSize && out_size == L::kBlockSize;
      auto* block = static_cast<std::uint8_t*>(out);
      varden::PassThroughRequest request;
      std::memcpy(request.bytes.data(), block, L::kBlockSize);
      std::uint8_t* const data = request.DataBuffer();
      device.data_address = reinterpret_cast<std::uintptr_t>(data);
      if (request.DataIn() == varden::kScsiIoctlDataOut) {
        device.data_out.assign(data, data + request.DataTransferLength());
      } else if (!device.data_in.empty()) {
        const auto delivered = static_cast<std::uint32_t>(device.data_in.size());
        std::memcpy(data, device.data_in.data(), delivered);
        varden::PutLe32(std::span<std::uint8_t>(block, L::kBlockSize), L::kDataTransferLength,
                        delivered);
      }
      *returned = L::kHeaderSize;
      return device.call_ok;
    }
  }
  return FALSE;
}

BOOL WINAPI FakeCloseHandle(HANDLE) {
  --device.open_handles;
  return TRUE;
}

// A fresh drive-access module on the stand-in device with `buffer` attached, opened at `letter`.
int Open(FakeDevice fake, std::uint8_t* buffer, char letter = 'D') {
  static varden::win32::Win32Device seam(
      varden::win32::DeviceCalls{&FakeCreateFile, &FakeDeviceIoControl, &FakeCloseHandle});
  device = std::move(fake);
  varden::ResetDriveAccess();
  varden::SetDeviceSeam(&seam);
  varden::AttachTransferBuffer(buffer);
  return varden::OpenDrive(letter);
}

void TestOpen() {
  const DWORD caps = IOCTL_SCSI_GET_CAPABILITIES, prop = IOCTL_STORAGE_QUERY_PROPERTY,
              addr = IOCTL_SCSI_GET_ADDRESS;
  const struct {
    const char* name;
    FakeDevice fake;
    int answer;
    std::vector<DWORD> codes;
  } cases[] = {
      {"a drive that answers both queries", {}, 0, {caps, addr}},
      {"no device at the letter", {.exists = false}, -1, {}},
      {"neither capabilities nor adapter", {.caps_ok = false}, -1, {caps, prop}},
      {"adapter for capabilities", {.caps_ok = false, .adapter = kAdapter}, 0, {caps, prop, addr}},
      {"adapter descriptor too short", {.caps_ok = false, .adapter = 8}, -1, {caps, prop}},
      {"address query fails", {.address_ok = false}, -1, {caps, addr}},
  };
  const std::vector<DWORD> opened = {GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0};
  for (const auto& c : cases) {
    const std::string name = std::string("open: ") + c.name;
    Check(Open(c.fake, storage.data(), 'E') == c.answer, name + ": answer");
    Check(device.codes == c.codes, name + ": queries sent");
    Check(device.open_handles == (c.answer == 0 ? 1 : 0), name + ": handles");
    if (c.answer == 0) {
      Check(device.path == "\\\\.\\E:" && device.opened == opened, name + ": path and flags");
      const varden::ScsiAddress& a = varden::CurrentConnection().address;
      Check(a.port_number == 7 && a.path_id == 1 && a.target_id == 2 && a.lun == 3,
            name + ": SCSI address from the address query");
      varden::CloseDrive();
    }
    Check(device.open_handles == 0, name + ": closed");
  }
}

void TestPassThrough() {
  struct {
    const char* name;
    FakeDevice fake;
    std::size_t offset;
    bool bounce;
  } cases[] = {
      {"no mask, any address", {}, 1, false},
      {"word mask, odd address", {.caps_mask = 1}, 1, true},
      {"dword mask, aligned address", {.caps_mask = 3}, 16, false},
      {"32-byte mask, 16-byte address", {.caps_mask = 31}, 16, true},
      {"adapter's mask", {.caps_ok = false, .adapter = kAdapter, .adapter_mask = 3}, 2, true},
  };
  const std::vector<std::uint8_t> inquiry = {0x05, 0x80, 0x02, 0x02, 0x1F};  // 5 bytes only
  for (auto c : cases) {
    storage.fill(0xEE);
    std::uint8_t* const buffer = storage.data() + c.offset;
    c.fake.data_in = inquiry;
    Open(c.fake, buffer);
    const std::string name = std::string("pass-through: ") + c.name;
    Check(varden::SendInquiry() == varden::kCommandOk, name + ": outcome");
    Check(device.block_in_out, name + ": the block is input and output");
    Check((device.data_address & (c.fake.caps_mask | c.fake.adapter_mask)) == 0,
          name + ": aligned");
    Check((device.data_address != reinterpret_cast<std::uintptr_t>(buffer)) == c.bounce,
          name + ": moved through the seam's buffer");
    Check(std::memcmp(buffer, inquiry.data(), inquiry.size()) == 0 && buffer[5] == 0xEE &&
              buffer[95] == 0xEE,
          name + ": delivered bytes arrive, the rest keep what they held");
    Check(varden::CurrentRequest().DataBuffer() == buffer, name + ": block names the buffer");
    varden::CloseDrive();
  }

  // A data-out command through the aligned buffer carries the parameter list.
  Open({.caps_mask = 63}, storage.data() + 1);
  varden::SetDriveRegion(2);
  Check(device.data_out.size() == varden::kRpcDataLength && device.data_out[4] == 0xFD,
        "pass-through: SEND KEY's parameter list reaches the device");
  Check((device.data_address & 63) == 0, "pass-through: data-out aligned");
  varden::CloseDrive();

  // A failed call is reported as failed; through the aligned buffer it copies nothing back.
  storage.fill(0xEE);
  Open({.caps_mask = 63, .call_ok = false}, storage.data() + 1);
  Check(varden::TestUnitReady() == varden::kCommandFailed, "pass-through: failed call");
  Check(varden::SendInquiry() == varden::kCommandFailed, "pass-through: failed INQUIRY");
  Check(storage[1] == 0xEE && storage[96] == 0xEE, "pass-through: failed, nothing copied back");
  varden::CloseDrive();
}

}  // namespace

int main() {
  TestOpen();
  TestPassThrough();
  return varden::wine_tests::failures;
}
