// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for everything the virtual drive reads from files: disc descriptions, CUE sheets
// and the drive's state file. Every input must give a disc (a valid one) or an error message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/drive_state.h"

using namespace vantora::platform::cdaudio;
using vantora::platform::ClockTime;

namespace {

void Check(const DiscReading& reading) {
  if (reading.disc.has_value() == !reading.error.empty()) {
    std::abort();
  }
  if (reading.disc &&
      (reading.disc->toc.TrackCount() < 1 || reading.disc->toc.LeadOut() > kLatestFrame)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Check(ParseDiscDescription(text));
  Check(ParseCueSheet(text));
  // Every FILE a minute long, so that sheets of several files are laid out too; a disc with
  // sound is written to a state and read back as the same disc.
  const DiscReading laid = ParseCueSheet(text, "/nowhere", [](const CueFile& file) {
    return AudioFileFacts{
        Frames{4500}, {}, file.raw ? SoundFormat::RawLittle : SoundFormat::Detect};
  });
  Check(laid);
  if (laid.disc && laid.disc->sound) {
    DriveState written;
    written.clockDomain = "fuzz";
    written.disc = laid.disc;
    const StateReading back = ParseDriveState(FormatDriveState(written));
    if (!back.state || back.state->disc->sound != laid.disc->sound) {
      std::abort();
    }
  }
  const StateReading state = ParseDriveState(text);
  if (state.state.has_value() == !state.error.empty()) {
    std::abort();
  }
  if (state.state) {
    // What was read is written back the same way.
    const StateReading again = ParseDriveState(FormatDriveState(*state.state));
    if (!again.state) {
      std::abort();
    }
    // The play head of any readable state can be worked out at any moment at all.
    for (const ClockTime now : {ClockTime{INT64_MIN}, ClockTime{0}, ClockTime{INT64_MAX}}) {
      const DriveView view = Observe(*state.state, now, state.state->clockDomain);
      if (view.position.count < 0 || view.position > kLatestFrame) {
        std::abort();
      }
    }
  }
  return 0;
}
