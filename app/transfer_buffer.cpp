#include "app/transfer_buffer.h"

#include <cstdlib>

#include "drive/drive_access.h"

namespace varden {
namespace {
std::uint8_t* allocated = nullptr;
}

int AllocateTransferBuffer() {
  if (allocated != nullptr) return 0;
  allocated = static_cast<std::uint8_t*>(std::calloc(kTransferBufferSize, 1));
  if (allocated == nullptr) return -1;
  AttachTransferBuffer(allocated);
  return 0;
}

void ReleaseTransferBuffer() {
  if (allocated == nullptr) return;
  DetachTransferBuffer();
  std::free(allocated);
  allocated = nullptr;
}

}  // namespace varden
