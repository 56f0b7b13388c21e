// Fuzzes the state file's loader: whatever a file holds, loading answers without a crash,
// and drives that load save and load again as the same drives.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "emulated/state_file.h"

namespace fs = std::filesystem;
using namespace varden::emulated;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path folder =
      fs::temp_directory_path() / ("varden-fuzz-" + std::to_string(getpid()));
  static const bool made = fs::create_directories(folder) || fs::is_directory(folder);
  if (!made) std::abort();
  const fs::path input = folder / "input.json";
  const fs::path saved = folder / "saved.json";
  std::ofstream(input, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const LoadResult loaded = LoadState(input);
  if (!loaded.ok) return 0;
  std::string error;
  if (!SaveState(saved, loaded.drives, error)) {
    std::fprintf(stderr, "loaded drives do not save: %s\n", error.c_str());
    std::abort();
  }
  const LoadResult again = LoadState(saved);
  if (!again.ok || StateText(again.drives) != StateText(loaded.drives)) {
    std::fprintf(stderr, "saved drives do not load back the same: %s\n", again.error.c_str());
    std::abort();
  }
  return 0;
}
