#include "emulated/state_file.h"

#include <system_error>

namespace varden::emulated {

namespace fs = std::filesystem;

LoadResult LoadState(const fs::path& file) {
  const std::string prefix = "state file " + Quoted(file) + ": ";
  std::string text;
  std::string error;
  if (!ReadWholeFile(LinkTarget(file), text, error))
    return {.ok = false, .error = prefix + error, .drives = {}};
  LoadResult result = ParseState(text);
  if (!result.ok) result.error = prefix + result.error;
  return result;
}

bool SaveState(const fs::path& file, const std::vector<DriveState>& drives, std::string& error,
               SaveStop stop) {
  const std::string prefix = "cannot save the state to " + Quoted(file) + ": ";
  if (const std::string problem = CheckDrives(drives); !problem.empty()) {
    error = prefix + problem;
    return false;
  }
  const fs::path target = LinkTarget(file);
  const fs::path folder = target.parent_path();
  std::error_code ec;
  if (!folder.empty()) {
    fs::create_directories(folder, ec);
    if (ec) {
      error = prefix + "cannot create the folder " + Quoted(folder) + " (" + ec.message() + ")";
      return false;
    }
  }
  if (ReplaceFile(target, StateText(drives), error, stop)) return true;
  error = prefix + error;
  return false;
}

std::string CheckWritable(const fs::path& file) {
  std::string problem = WhyNotWritable(LinkTarget(file));
  return problem.empty() ? problem : "cannot change the state in " + Quoted(file) + ": " + problem;
}

}  // namespace varden::emulated
