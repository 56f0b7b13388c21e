// The Windows application object: allocates the transfer buffer from global memory, runs the
// main dialog modally, and releases the buffer when the dialog has gone.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "drive/device_seam.h"

namespace varden::win32 {

class CRegionApp {
 public:
  // `seam` serves every drive operation of the run and must outlive the application.
  explicit CRegionApp(DeviceSeam& seam) : seam_(seam) {}

  // For the demo: called after the user answered the disc prompt with OK.
  void SetDiscPromptHook(std::function<void(char letter)> hook) { disc_prompt_hook_ = hook; }

  // Start: the transfer buffer, the controls' look, the main dialog run modally. Answers
  // FALSE, so that the program ends instead of running a message loop.
  BOOL InitInstance();

  // End: releases the transfer buffer; answers the exit code.
  int ExitInstance();

  // InitInstance, then ExitInstance; answers the exit code.
  int Run();

  // The locked transfer buffer, or nullptr before InitInstance, after ExitInstance, or when
  // the allocation failed (no drive command is sent then).
  std::uint8_t* Buffer() const { return buffer_; }

 private:
  // Allocates the zero-filled fixed block, locks it and hands it to drive access; answers
  // 0, or -1 when the memory cannot be had.
  int AllocateTransferBuffer();
  void ReleaseTransferBuffer();

  DeviceSeam& seam_;
  std::function<void(char letter)> disc_prompt_hook_;
  HGLOBAL block_ = nullptr;
  std::uint8_t* buffer_ = nullptr;
  int exit_code_ = 0;
};

}  // namespace varden::win32
