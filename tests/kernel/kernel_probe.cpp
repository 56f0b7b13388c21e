// The kernel test's probe: runs the drive scan, a region report and a region change over the
// Linux device seam against the drives of a real kernel, with a scripted view in place of the
// dialog, and prints what the user and the drive would see: the drive list, every command
// with the kernel's answer, every disc prompt and the log.
//
// Usage: varden-kernel-probe LETTER REGION [ok|cancel]...
//   the drive to select, the region button to check, then the answers to the disc prompts in
//   order (with none left the prompt is answered Cancel). The language follows the locale.
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "drive/linux/sg_device.h"
#include "drive/scsi_codes.h"
#include "recording_view.h"
#include "region/drive_scan.h"
#include "region/region_operations.h"
#include "text/catalogue.h"
#include "text/linux/locale_code_page.h"

namespace varden {
namespace {

constexpr int kFirstAnswerArgument = 3;
constexpr std::size_t kCdbOpcode = 0;

// The text with its "\r\n" line ends as "\n", so that the outputs compare as text files.
std::string Lines(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

// The Linux seam, printing each command's operation code and the kernel's answer to it.
class PrintingDevices : public linux_sg::LinuxDevices {
 public:
  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override {
    const bool called = LinuxDevices::PassThrough(handle, block);
    using Layout = PassThroughRequest::Layout;
    const std::uint8_t status = block[Layout::kScsiStatus];
    std::printf("  command %02X: ", block[Layout::kCdb + kCdbOpcode]);
    if (!called) {
      std::printf("call failed\n");
    } else if (block[Layout::kSenseInfoLength] == 0) {
      std::printf("status %02X\n", status);
    } else {
      const auto sense = block.subspan(Layout::kSenseArea);
      std::printf("status %02X, sense %02X/%02X/%02X\n", status, sense[scsi::kSenseKey],
                  sense[scsi::kSenseAsc], sense[scsi::kSenseAscq]);
    }
    return called;
  }
};

// A sleeper that only notes the wait in the output (the readiness loop's one-second waits).
class NotingSleeper : public Sleeper {
 public:
  void SleepMilliseconds(int milliseconds) override { std::printf("  wait %d ms\n", milliseconds); }
};

class PromptingView : public test_support::RecordingView {
 public:
  bool AskOkCancel(std::string_view text, std::string_view caption) override {
    const bool ok = RecordingView::AskOkCancel(text, caption);
    std::printf("  prompt [%s] %s -> %s\n", std::string(caption).c_str(), Lines(text).c_str(),
                ok ? "OK" : "Cancel");
    return ok;
  }
};

int Run(int argc, char** argv) {
  if (argc < kFirstAnswerArgument) {
    std::fprintf(stderr, "usage: %s LETTER REGION [ok|cancel]...\n", argv[0]);
    return 2;
  }
  const char letter = argv[1][0];
  const int region = std::stoi(argv[2]);
  text::DecideLanguage(text::LocaleCodePage());
  PrintingDevices devices;
  SetDeviceSeam(&devices);
  if (AllocateTransferBuffer() != 0) return 1;

  PromptingView view;
  for (int i = kFirstAnswerArgument; i < argc; ++i) {
    const bool ok = std::string_view(argv[i]) == "ok";
    view.answers.emplace_back([ok] { return ok; });
  }
  DriveTable table{};
  std::printf("scan:\n");
  const int found = ScanDrives(table, &view, nullptr);
  for (int i = 0; i < found; ++i) {
    const DriveEntry& entry = table[static_cast<std::size_t>(i)];
    std::printf("  item %d: [%s]\n", i, std::string(entry.Text()).c_str());
    view.letters.push_back(entry.Letter());
    if (entry.Letter() == letter) view.selected = i;
  }
  std::printf("report on %c:\n", letter);
  ReportRegion(view);
  view.Choose(region);
  std::printf("change to region %d:\n", region);
  NotingSleeper sleeper;
  ChangeRegion(view, sleeper);
  std::printf("log:\n%s\n", Lines(view.log).c_str());
  ReleaseTransferBuffer();
  SetDeviceSeam(nullptr);
  return 0;
}

}  // namespace
}  // namespace varden

int main(int argc, char** argv) {
  return varden::Run(argc, argv);
}
