// A scripted device seam for the drive-access tests: it keeps a copy of every request block
// that reaches it and answers each one with the next scripted answer.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "drive/device_seam.h"
#include "drive/pass_through.h"

namespace varden::testing {

struct ScriptedAnswer {
  bool call_succeeds = true;
  std::uint8_t status = 0;
  std::uint8_t sense_length = 0;      // written into SenseInfoLength
  std::vector<std::uint8_t> sense{};  // written into the sense area
  std::vector<std::uint8_t> data{};   // copied into the data buffer
};

inline ScriptedAnswer Good(std::vector<std::uint8_t> data = {}) {
  return {.data = std::move(data)};
}
inline ScriptedAnswer Check(std::uint8_t sense_length, std::vector<std::uint8_t> sense) {
  return {.status = 2, .sense_length = sense_length, .sense = std::move(sense)};
}

class FakeSeam : public DeviceSeam {
 public:
  std::map<char, bool> devices;  // letters that have a device -> capabilities query succeeds
  bool address_succeeds = true;
  ScsiAddress address{1, 2, 3, 4};
  std::deque<ScriptedAnswer> answers;  // in order; with none left: good status, no data

  std::vector<PassThroughRequest> blocks;  // every block as it arrived
  int open_handles = 0;
  int queries = 0;

  bool Open(char letter, DeviceHandle& handle) override {
    if (!devices.contains(letter)) return false;
    handle = letter;
    ++open_handles;
    return true;
  }
  bool QueryCapabilities(DeviceHandle handle) override {
    ++queries;
    return devices[static_cast<char>(handle)];
  }
  bool QueryAddress(DeviceHandle, ScsiAddress& out) override {
    ++queries;
    if (address_succeeds) out = address;
    return address_succeeds;
  }
  bool PassThrough(DeviceHandle, std::span<std::uint8_t> block) override {
    PassThroughRequest copy;
    std::copy(block.begin(), block.end(), copy.bytes.begin());
    blocks.push_back(copy);
    ScriptedAnswer answer;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    using L = HostLayout;
    block[L::kScsiStatus] = answer.status;
    block[L::kSenseInfoLength] = answer.sense_length;
    std::copy(answer.sense.begin(), answer.sense.end(), block.begin() + L::kSenseArea);
    if (std::uint8_t* data = copy.DataBuffer()) {
      const std::size_t n = std::min<std::size_t>(answer.data.size(), copy.DataTransferLength());
      if (n > 0) std::memcpy(data, answer.data.data(), n);
    }
    return answer.call_succeeds;
  }
  void Close(DeviceHandle) override { --open_handles; }
};

}  // namespace varden::testing
