// A scripted device seam for the drive-access tests: it keeps a copy of every request block
// that reaches it and answers each one as the test says.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "drive/device_seam.h"
#include "drive/pass_through.h"

namespace varden::testing {

struct ScriptedAnswer {
  bool call_succeeds = true;
  std::uint8_t status = 0;
  std::uint8_t sense_length = 0;    // written into SenseInfoLength
  std::vector<std::uint8_t> sense;  // written into the sense area
  std::vector<std::uint8_t> data;   // copied into the data buffer
  bool untouched = false;           // leave the block as it went out
};

// Answers that a test scripts, in a few words.
inline ScriptedAnswer Good(std::vector<std::uint8_t> data = {}) {
  ScriptedAnswer a;
  a.data = std::move(data);
  return a;
}
inline ScriptedAnswer Check(std::uint8_t sense_length, std::vector<std::uint8_t> sense) {
  ScriptedAnswer a;
  a.status = 2;
  a.sense_length = sense_length;
  a.sense = std::move(sense);
  return a;
}
inline ScriptedAnswer FailedCall() {
  ScriptedAnswer a;
  a.call_succeeds = false;
  return a;
}

class FakeSeam : public DeviceSeam {
 public:
  // Letters that have a device, and what each query answers.
  std::map<char, bool> devices;  // letter -> capabilities query succeeds
  bool address_succeeds = true;
  ScsiAddress address{1, 2, 3, 4};
  std::vector<ScriptedAnswer> answers;  // consumed in order; empty: good status, no data
  // Answers INQUIRY by letter (optional); used before `answers`.
  std::function<bool(char, std::span<std::uint8_t>)> respond;

  std::vector<PassThroughRequest> blocks;  // every block as it arrived
  std::vector<char> opened;
  int open_handles = 0;
  int queries = 0;

  bool Open(char letter, DeviceHandle& handle) override {
    if (!devices.contains(letter)) return false;
    opened.push_back(letter);
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
  bool PassThrough(DeviceHandle handle, std::span<std::uint8_t> block) override {
    PassThroughRequest copy;
    std::copy(block.begin(), block.end(), copy.bytes.begin());
    blocks.push_back(copy);
    if (respond) return respond(static_cast<char>(handle), block);
    ScriptedAnswer answer;
    if (!answers.empty()) {
      answer = answers.front();
      answers.erase(answers.begin());
    }
    if (answer.untouched) return answer.call_succeeds;
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
