// Fuzzes the state file's loader: whatever a file holds, loading answers without a crash,
// and drives that load save and load again as the same drives.
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "emulated/state_file.h"

namespace fs = std::filesystem;
using namespace varden::emulated;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  static const fs::path folder =
      fs::temp_directory_path() / ("varden-fuzz-" + std::to_string(getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "input.json", std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const LoadResult loaded = LoadState(folder / "input.json");
  std::string error;
  if (!loaded.ok) return 0;
  if (!SaveState(folder / "saved.json", loaded.drives, error)) std::abort();
  const LoadResult again = LoadState(folder / "saved.json");
  if (!again.ok || StateText(again.drives) != StateText(loaded.drives)) std::abort();
  return 0;
}
