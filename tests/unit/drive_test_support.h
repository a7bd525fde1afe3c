// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the CD drive suites: temporary drive directories, fixtures and test discs.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/cdaudio/cd_types.h"

namespace vantora::platform::cdaudio::testing {

// A fresh directory that is removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantora-cd-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "cannot create a temporary directory";
    }
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The folder of disc descriptions, good and deliberately bad.
inline std::filesystem::path DiscFixture(const std::string& name) {
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures" / "discs" / name;
}

inline Frames Msf(int32_t minutes, int32_t seconds, int32_t frames) {
  return FromMsf(cdaudio::Msf{minutes, seconds, frames});
}

// Three tracks: 03:00:00 from 00:02:00, 00:10:00 and 01:00:30; the lead-out at 04:12:30.
inline Disc ThreeTrackDisc() {
  return Disc{"Three Tracks",
              *Toc::Make({Msf(0, 2, 0), Msf(3, 2, 0), Msf(3, 12, 0)}, Msf(4, 12, 30))};
}

}  // namespace vantora::platform::cdaudio::testing
