// The readiness loop's wait in the Linux programs: the calling thread sleeps, as the
// platform's Sleep does.
#pragma once

#include <chrono>
#include <thread>

#include "region/region_view.h"

namespace varden {

class ThreadSleeper final : public Sleeper {
 public:
  void SleepMilliseconds(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace varden
