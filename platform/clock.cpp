// SPDX-License-Identifier: GPL-3.0-or-later
// The one clock: every timer, wait and the virtual drive's play head read time from here.
#include "platform/clock.h"

#include <atomic>
#include <fstream>

namespace vantora::platform {
namespace {

std::atomic<Clock*> installed{nullptr};

// The kernel's id of this boot: monotonic readings are comparable only within one boot.
std::string BootId() {
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  return id;
}

}  // namespace

SystemClock::SystemClock() : domain_("monotonic:" + BootId()) {}

ClockTime SystemClock::Now() const {
  return std::chrono::duration_cast<ClockTime>(std::chrono::steady_clock::now().time_since_epoch());
}

void ManualClock::Advance(ClockTime step) {
  if (step > ClockTime{0}) {
    now_ += step;
  }
}

Clock& CurrentClock() {
  if (Clock* clock = installed.load()) {
    return *clock;
  }
  static SystemClock system;
  return system;
}

Clock* SetCurrentClock(Clock* clock) {
  return installed.exchange(clock);
}

}  // namespace vantora::platform
