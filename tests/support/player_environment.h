// SPDX-License-Identifier: GPL-3.0-or-later
// What a player run needs around it: a temporary settings folder named by VANTORA_CONFIG_DIR and,
// where asked, a virtual drive behind the command device. All of it is undone, and the folder
// removed, when the environment goes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/state.h"
#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/profile/profile.h"

namespace vantora::app::testing {

class PlayerEnvironment {
 public:
  enum class Parts { kSettingsOnly, kSettingsAndDrive };

  // `name` tells the temporary folders of the suites apart. Failures here are fatal to the test.
  explicit PlayerEnvironment(std::string_view name, Parts parts = Parts::kSettingsAndDrive) {
    Make(name, parts);
  }
  ~PlayerEnvironment() {
    if (drive_ != nullptr) {
      platform::InstallCommandDevice(std::move(previousDevice_));
    }
    platform::FlushProfiles();
    unsetenv("VANTORA_CONFIG_DIR");
    if (!dir_.empty()) {
      std::filesystem::remove_all(dir_);
    }
  }
  PlayerEnvironment(const PlayerEnvironment&) = delete;
  PlayerEnvironment& operator=(const PlayerEnvironment&) = delete;

  std::filesystem::path ConfigDir() const { return dir_ / "config"; }
  std::filesystem::path DriveDir() const { return dir_ / "drive"; }
  platform::cdaudio::VirtualDrive& Drive() { return *drive_; }

  void WriteIni(const std::string& text) const {
    std::ofstream(ConfigDir() / kIniFile, std::ios::binary) << text;
  }
  // The INI file as it stands once pending changes are written back.
  std::string IniText() const {
    platform::FlushProfiles();
    std::ifstream in(ConfigDir() / kIniFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Puts the disc of a description into the drive, as a hand would.
  void Insert(const std::string& description) {
    auto reading = platform::cdaudio::ParseDiscDescription(description);
    ASSERT_TRUE(reading.disc) << reading.error;
    ASSERT_TRUE(drive_->Insert(*reading.disc).ok());
  }
  // The commands sent to the device, one per entry, from entry `from` (counted from 0) on.
  static std::vector<std::string> Commands(size_t from = 0) {
    std::vector<std::string> commands;
    const auto& entries = platform::InstalledCommandDevice().Log().Entries();
    for (size_t i = from; i < entries.size(); ++i) {
      commands.push_back(entries[i].command);
    }
    return commands;
  }

 private:
  // Apart from the constructor, where a failed assertion cannot return.
  void Make(std::string_view name, Parts parts) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("vantora-" + std::string(name) + "-XXXXXX"))
            .string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(ConfigDir());
    setenv("VANTORA_CONFIG_DIR", ConfigDir().c_str(), 1);
    if (parts == Parts::kSettingsOnly) {
      return;
    }
    // The demo disc's layout of 12 tracks, silent, nameless and spun up, as every scenario
    // expects it.
    ASSERT_TRUE(platform::cdaudio::VirtualDrive(DriveDir())
                    .Insert(platform::cdaudio::Disc{"", platform::cdaudio::DemoDisc().toc},
                            platform::cdaudio::VirtualDrive::Arrival::Ready)
                    .ok());
    auto virtualDrive = std::make_unique<platform::cdaudio::VirtualDrive>(DriveDir());
    drive_ = virtualDrive.get();
    previousDevice_ = platform::InstallCommandDevice(
        std::make_unique<platform::CommandDevice>(std::move(virtualDrive)));
  }

  std::filesystem::path dir_;
  platform::cdaudio::VirtualDrive* drive_ = nullptr;
  std::unique_ptr<platform::CommandDevice> previousDevice_;
};

}  // namespace vantora::app::testing
