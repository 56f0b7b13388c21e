// The least a listing of emulated drives can cost: reads the state file, parses it and prints
// one line per drive, with nothing checked. scripts/measure-cli-list.sh measures
// `varden-cli --emulated=FILE list` against it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: varden_list_floor STATE-FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  const nlohmann::ordered_json root = nlohmann::ordered_json::parse(text, nullptr, false);
  if (root.is_discarded() || !root.contains("drives")) return 1;
  for (const auto& drive : root["drives"]) {
    std::printf("%s: %s %s %s\n", drive.value("letter", "").c_str(),
                drive.value("vendor", "").c_str(), drive.value("product", "").c_str(),
                drive.value("region_mask", "").c_str());
  }
  return 0;
}
