// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the reading of MusicBrainz replies. The input is the reply's text, read for a
// disc of three audio tracks and for an enhanced disc of the same three and a data track. Names
// found are one per audio track, valid UTF-8, on one line and bounded; a refusal says why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "desktop/title_lookup.h"
#include "fuzz/fuzz_support.h"
#include "platform/text_encoding.h"

namespace {

using vantora::platform::cdaudio::Frames;
using vantora::platform::cdaudio::Toc;
using vantora::platform::cdaudio::TrackKind;
using vantora::platform::cdaudio::TrackNumber;
namespace fz = vantora::fuzz;

// 200 characters of at most 4 bytes each.
constexpr size_t kLongestName = 800;

Toc Disc(bool enhanced) {
  Toc toc = enhanced ? *Toc::Make({Frames{150}, Frames{20000}, Frames{41000}, Frames{71400}},
                                  Frames{90000})
                     : *Toc::Make({Frames{150}, Frames{20000}, Frames{41000}}, Frames{60000});
  if (enhanced) {
    toc.SetKind(TrackNumber{4}, TrackKind::Data);
  }
  return toc;
}

void CheckName(const std::string& name) {
  fz::Expect(name.size() <= kLongestName, "a name is bounded", fz::Printable(name));
  fz::Expect(vantora::platform::IsUtf8(name), "a name is UTF-8", fz::Printable(name));
  for (const char c : name) {
    fz::Expect(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, "a name is one line",
               fz::Printable(name));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  for (const bool enhanced : {false, true}) {
    std::string why;
    const auto names = vantora::desktop::ParseReleases(reply, Disc(enhanced), &why);
    if (!names) {
      fz::Expect(!why.empty(), "a refusal says why");
      continue;
    }
    fz::Expect(names->tracks.size() == 3, "one name per audio track");
    CheckName(names->album);
    CheckName(names->artist);
    for (const std::string& track : names->tracks) {
      CheckName(track);
    }
  }
  return 0;
}
