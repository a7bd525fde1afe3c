// SPDX-License-Identifier: GPL-3.0-or-later
// The sound on a disc, read by place: what a drive that can be heard plays from.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantora::platform::audio {

class DiscAudio {
 public:
  virtual ~DiscAudio() = default;
  // Fills `out` with `frames` stereo sample frames, the first at sample frame `first` counted
  // from the very start of the disc (absolute disc frame N begins at sample frame N * 588).
  // Places without sound (the lead-in gap, data tracks, past the end) read as silence. False
  // when the medium could not be read; `out` then holds silence.
  virtual bool Read(int64_t first, int16_t* out, size_t frames) = 0;
};

}  // namespace vantora::platform::audio
