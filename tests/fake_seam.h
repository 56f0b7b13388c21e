// A scripted device seam: it keeps a copy of every request block that reaches it and answers
// each one with the next scripted answer (with none left: good status); it moves no data.
#pragma once

#include <algorithm>
#include <deque>
#include <vector>

#include "drive/device_seam.h"
#include "drive/pass_through.h"
#include "drive/scsi_codes.h"

namespace varden::testing {

struct ScriptedAnswer {
  bool call_succeeds = true;
  std::uint8_t status = 0, sense_length = 0;
  std::vector<std::uint8_t> sense{};
};
inline ScriptedAnswer Check(std::uint8_t sense_length, std::vector<std::uint8_t> sense) {
  return {.status = scsi::kStatusCheckCondition, .sense_length = sense_length, .sense = sense};
}
// CHECK CONDITION with the 18 bytes of fixed-format sense.
inline ScriptedAnswer Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0) {
  std::vector<std::uint8_t> sense(scsi::kFixedSenseLength);
  sense[scsi::kSenseResponseCode] = scsi::kSenseCurrentFixed;
  sense[scsi::kSenseKey] = key;
  sense[scsi::kSenseAdditionalLength] = scsi::kFixedSenseLength - scsi::kSenseAdditionalLength - 1;
  sense[scsi::kSenseAsc] = asc;
  sense[scsi::kSenseAscq] = ascq;
  return Check(scsi::kFixedSenseLength, sense);
}

class FakeSeam : public DeviceSeam {
 public:
  std::deque<ScriptedAnswer> answers;
  std::vector<PassThroughRequest> blocks;

  bool Open(char letter, DeviceHandle& handle) override {
    return letter == 'E' && (handle = letter, true);  // the one letter with a device
  }
  bool QueryCapabilities(DeviceHandle) override { return true; }
  bool QueryAddress(DeviceHandle, ScsiAddress& out) override { return out = {1, 2, 3, 4}, true; }
  bool PassThrough(DeviceHandle, std::span<std::uint8_t> block) override {
    PassThroughRequest copy;
    std::copy(block.begin(), block.end(), copy.bytes.begin());
    blocks.push_back(copy);
    ScriptedAnswer a;
    if (!answers.empty()) a = answers.front(), answers.pop_front();
    block[HostLayout::kScsiStatus] = a.status;
    block[HostLayout::kSenseInfoLength] = a.sense_length;
    std::copy(a.sense.begin(), a.sense.end(), block.begin() + HostLayout::kSenseArea);
    return a.call_succeeds;
  }
  void Close(DeviceHandle) override {}
};

}  // namespace varden::testing
