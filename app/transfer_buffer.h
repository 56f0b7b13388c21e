// The transfer buffer: one zero-filled data area that INQUIRY and REPORT KEY read into,
// owned by the application for its whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace varden {

inline constexpr std::size_t kTransferBufferSize = 425984;  // 68000h

// Allocates the zero-filled transfer buffer with the portable allocator, hands it to drive
// access (which zeroes the SCSI address) and answers 0; answers -1 when the memory cannot be
// had, and then no drive command will be sent. A platform with its own allocator (the
// Windows program's global memory) attaches its block with AttachTransferBuffer instead.
int AllocateTransferBuffer();

// Releases what AllocateTransferBuffer allocated; does nothing when nothing was allocated.
void ReleaseTransferBuffer();

}  // namespace varden
