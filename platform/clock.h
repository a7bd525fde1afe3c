// SPDX-License-Identifier: GPL-3.0-or-later
// The one clock: every timer, wait and the virtual drive's play head read time from here.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace vantora::platform {

// A monotonic time in milliseconds; only differences between two readings of one clock mean
// anything.
using ClockTime = std::chrono::milliseconds;

class Clock {
 public:
  virtual ~Clock() = default;
  // The current time; never goes backwards.
  virtual ClockTime Now() const = 0;
  // Names the time line that Now() reads. Readings taken under the same domain are comparable,
  // even across processes; a reading stored under another domain (another boot, a test's manual
  // clock) cannot be compared with Now().
  virtual std::string_view Domain() const = 0;
};

// The machine's monotonic clock (CLOCK_MONOTONIC through steady_clock). Every process on one
// machine reads the same time line until the next boot, so the domain carries the boot's id.
class SystemClock final : public Clock {
 public:
  SystemClock();
  ClockTime Now() const override;
  std::string_view Domain() const override { return domain_; }

 private:
  std::string domain_;
};

// A clock that moves only when told to: minutes of playback in a test without a sleep.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(ClockTime start = ClockTime{0}) : now_(start) {}
  ClockTime Now() const override { return now_; }
  std::string_view Domain() const override { return "manual"; }

  // Moves the clock forward; a negative step is ignored, as the clock is monotonic.
  void Advance(ClockTime step);

 private:
  ClockTime now_;
};

// The process-wide clock: the system clock unless a test has installed another.
Clock& CurrentClock();

// Installs `clock` as the process-wide clock (nullptr restores the system clock); returns the
// previously installed one (nullptr for the system clock). The caller keeps ownership and must
// keep the clock alive while it is installed.
Clock* SetCurrentClock(Clock* clock);

// Installs a clock for the lifetime of a scope, then restores the previous one.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) : previous_(SetCurrentClock(&clock)) {}
  ~ScopedClock() { SetCurrentClock(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace vantora::platform
