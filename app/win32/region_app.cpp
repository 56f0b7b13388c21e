#include "app/win32/region_app.h"

#include <commctrl.h>

#include <memory>

#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "text/catalogue.h"
#include "ui/win32/region_dlg.h"
#include "ui/win32/wide_text.h"

namespace varden::win32 {

int CRegionApp::AllocateTransferBuffer() {
  block_ = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kTransferBufferSize);
  if (block_ == nullptr) return -1;
  buffer_ = static_cast<std::uint8_t*>(GlobalLock(block_));
  if (buffer_ == nullptr) {
    GlobalFree(block_);
    block_ = nullptr;
    return -1;
  }
  AttachTransferBuffer(buffer_);
  return 0;
}

void CRegionApp::ReleaseTransferBuffer() {
  DetachTransferBuffer();
  if (block_ == nullptr) return;
  GlobalUnlock(block_);
  GlobalFree(block_);
  block_ = nullptr;
  buffer_ = nullptr;
}

BOOL CRegionApp::InitInstance() {
  // No drive command may run without the buffer: refuse to start, and say why.
  if (AllocateTransferBuffer() != 0) {
    // Before the dialog, which fixes the language: chosen here the same way.
    text::DecideLanguage(GetOEMCP());
    const std::string message =
        text::Format(text::Key::FMT_NO_TRANSFER_BUFFER, static_cast<int>(kTransferBufferSize));
    MessageBoxW(nullptr, Widen(message).c_str(),
                Widen(text::Text(text::Key::CAPTION_ERROR)).c_str(), MB_OK | MB_ICONERROR);
    exit_code_ = 1;
    return FALSE;
  }
  SetDeviceSeam(&seam_);

  // The controls' look: the common controls, the progress bar among them.
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  auto dialog = std::make_unique<CRegionDlg>();
  dialog->SetDiscPromptHook(disc_prompt_hook_);
  dialog->DoModal();
  dialog.reset();
  return FALSE;
}

int CRegionApp::ExitInstance() {
  ReleaseTransferBuffer();
  SetDeviceSeam(nullptr);
  return exit_code_;
}

int CRegionApp::Run() {
  InitInstance();
  return ExitInstance();
}

}  // namespace varden::win32
