// The kernel test's probe: runs the drive scan, a region report and a region change over the
// Linux device seam against the drives of a real kernel, with a scripted view in place of the
// dialog, and prints what the user would see: the drive list, every disc prompt with its
// answer, every wait of the readiness loop and the log. (The commands and the kernel's
// answers are recorded outside the program, from its system calls.)
//
// Usage: varden-kernel-probe LETTER REGION [ok|cancel]...
//   the drive to select, the region button to check, then the answers to the disc prompts in
//   order (with none left the prompt is answered Cancel). The language follows the locale.
#include <iostream>
#include <string>
#include <string_view>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "drive/linux/sg_device.h"
#include "recording_view.h"
#include "region/drive_scan.h"
#include "region/region_operations.h"
#include "text/catalogue.h"
#include "text/linux/locale_code_page.h"

namespace varden {
namespace {

constexpr int kFirstAnswerArgument = 3;

// The text with its "\r\n" line ends as "\n", so that the outputs compare as text files.
std::string Lines(std::string_view text) {
  std::string out(text);
  std::erase(out, '\r');
  return out;
}

// The scripted view, which prints each disc prompt with its answer, and a sleeper that only
// notes the wait in the output (the readiness loop's one-second waits).
class PromptingView : public test_support::RecordingView, public Sleeper {
 public:
  bool AskOkCancel(std::string_view text, std::string_view caption) override {
    const bool ok = RecordingView::AskOkCancel(text, caption);
    std::cout << "  prompt [" << caption << "] " << Lines(text) << " -> " << (ok ? "OK" : "Cancel")
              << '\n';
    return ok;
  }
  void SleepMilliseconds(int milliseconds) override {
    std::cout << "  wait " << milliseconds << " ms\n";
  }
};

int Run(int argc, char** argv) {
  if (argc < kFirstAnswerArgument) {
    std::cerr << "usage: " << argv[0] << " LETTER REGION [ok|cancel]...\n";
    return 2;
  }
  const char letter = argv[1][0];
  const int region = std::stoi(argv[2]);
  text::DecideLanguage(text::LocaleCodePage());
  linux_sg::LinuxDevices devices;
  SetDeviceSeam(&devices);
  if (AllocateTransferBuffer() != 0) return 1;

  PromptingView view;
  for (int i = kFirstAnswerArgument; i < argc; ++i) {
    const bool ok = std::string_view(argv[i]) == "ok";
    view.answers.emplace_back([ok] { return ok; });
  }
  DriveTable table{};
  std::cout << "scan:\n";
  const int found = ScanDrives(table, &view, nullptr);
  for (int i = 0; i < found; ++i) {
    const DriveEntry& entry = table[static_cast<std::size_t>(i)];
    std::cout << "  item " << i << ": [" << entry.Text() << "]\n";
    view.letters.push_back(entry.Letter());
    if (entry.Letter() == letter) view.selected = i;
  }
  std::cout << "report on " << letter << ":\n";
  ReportRegion(view);
  view.Choose(region);
  std::cout << "change to region " << region << ":\n";
  ChangeRegion(view, view);
  std::cout << "log:\n" << Lines(view.log) << '\n';
  ReleaseTransferBuffer();
  SetDeviceSeam(nullptr);
  return 0;
}

}  // namespace
}  // namespace varden

int main(int argc, char** argv) {
  return varden::Run(argc, argv);
}
