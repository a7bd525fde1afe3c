// A player run on the model window system, a virtual drive and the manual clock, with its INI
// file and drive in temporary directories.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/cdplayer.h"
#include "app/state.h"
#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/clock.h"
#include "platform/model_window_system.h"
#include "platform/profile/profile.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"
#include "windows/definition.h"
#include "windows/native_spec.h"

namespace vantora::app::testing {

using platform::ModelWindowSystem;
using platform::NativeInput;

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-player-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ / "config");
    setenv("VANTORA_CONFIG_DIR", (dir_ / "config").c_str(), 1);
    ASSERT_TRUE(platform::cdaudio::EnsureDefaultDrive(DriveDir()).ok());
    auto drive = std::make_unique<platform::cdaudio::VirtualDrive>(DriveDir());
    drive_ = drive.get();
    previousDevice_ =
        platform::InstallCommandDevice(std::make_unique<platform::CommandDevice>(std::move(drive)));
    previousSystem_ = platform::SetCurrentWindowSystem(&model_);
    ResetState();
  }
  void TearDown() override {
    runtime::ResetWindows();
    platform::SetCurrentWindowSystem(previousSystem_);
    platform::InstallCommandDevice(std::move(previousDevice_));
    ResetState();
    runtime::ResetValueStacks();
    platform::FlushProfiles();
    unsetenv("VANTORA_CONFIG_DIR");
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path DriveDir() const { return dir_ / "drive"; }
  // The main window, created and opened as the player does, with the device left unopened.
  void OpenMainWindow() {
    MAINWINDOW = runtime::WINDOWCREATE(
        "P2$CDPLAYWIN", "cdplayer$CDPLAYER",
        {&STAYONTOP, &CONTROLPANEL, &AUTOPLAY, &CURRENTTITLE, &PLAYQUEUE, &ALBUMARTIST,
         &SELECTEDPLAYLIST, &PLAYLISTQUEUE, &ALBUMTITLE, &STATUSTEXT, &TIMETEXT, &TIMELABEL});
    ASSERT_NE(MAINWINDOW, 0);
    runtime::WINDOWOPEN(MAINWINDOW);
  }
  // Puts the disc of a description into the drive, as a hand would.
  void Insert(const std::string& description) {
    auto reading = platform::cdaudio::ParseDiscDescription(description);
    ASSERT_TRUE(reading.disc) << reading.error;
    ASSERT_TRUE(Drive().Insert(*reading.disc).ok());
  }
  platform::cdaudio::VirtualDrive& Drive() { return *drive_; }
  // The commands sent to the device so far, one per entry.
  std::vector<std::string> Commands() {
    std::vector<std::string> commands;
    for (const auto& entry : platform::InstalledCommandDevice().Log().Entries()) {
      commands.push_back(entry.command);
    }
    return commands;
  }
  void ClearLog() { platform::InstalledCommandDevice().Log().Clear(); }

  void WriteIni(const std::string& text) {
    std::ofstream(dir_ / "config" / kIniFile, std::ios::binary) << text;
  }
  std::string IniText() {
    platform::FlushProfiles();
    std::ifstream in(dir_ / "config" / kIniFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string Setting(const char* key) {
    char value[64] = {};
    platform::GetPrivateProfileStringA(kSettingsSection, key, "<none>", value, sizeof value,
                                       kIniFile);
    return value;
  }

  uintptr_t MainWindow() const {
    const auto windows = model_.Windows();
    return windows.empty() ? 0 : windows.front();
  }
  const ModelWindowSystem::WindowState& MainState() const { return *model_.Window(MainWindow()); }
  // The state of the main window's control with this number.
  const ModelWindowSystem::ControlState& Control(int32_t number) const {
    const auto& controls = MainState().controls;
    for (const auto& control : controls) {
      if (static_cast<int32_t>(control.spec.id) == NativeId(number)) {
        return control;
      }
    }
    ADD_FAILURE() << "no control " << number;
    return controls.front();
  }
  // The native id of the main window's control with this number.
  int32_t NativeId(int32_t number) const {
    const windows::NativeLayout& layout = Layout();
    for (size_t i = 0; i < layout.controls.size(); ++i) {
      if (layout.controls[i]->number == number) {
        return static_cast<int32_t>(i + 1);
      }
    }
    return 0;
  }
  int32_t ControlWithText(const std::string& text) const {
    for (const auto& control : MainState().controls) {
      if (control.spec.text == text) {
        return control.spec.id;
      }
    }
    return 0;
  }
  void Input(NativeInput::Type type, int32_t control = 0) {
    NativeInput input;
    input.type = type;
    input.window = MainWindow();
    input.control = control;
    model_.QueueInput(input);
  }

  // Runs the player. Each time its loop waits with no input scripted the next step runs (timer
  // ticks come between steps); once the steps are done and nothing is scripted, the window is
  // closed as with the close box.
  void RunPlayer(std::vector<std::function<void()>> steps = {}) {
    size_t next = 0;
    bool closed = false;
    model_.SetWaitHook([&](platform::ClockTime) {
      if (closed || model_.PendingInput() != 0) {
        return;
      }
      if (next < steps.size()) {
        steps[next++]();
      }
      if (model_.PendingInput() == 0 && next == steps.size()) {
        closed = true;
        Input(NativeInput::Type::CloseRequested);
      }
    });
    ASSERT_TRUE(CDPLAYER());
    model_.SetWaitHook({});
    EXPECT_EQ(next, steps.size());
    EXPECT_TRUE(closed);
    EXPECT_TRUE(model_.Windows().empty());
  }

  platform::ManualClock clock_;
  platform::ScopedClock useClock_{clock_};
  ModelWindowSystem model_{&clock_};

 private:
  const windows::NativeLayout& Layout() const {
    if (!layout_) {
      definition_ = windows::FindWindowDefinition("cdplayer$CDPLAYER", "P2$CDPLAYWIN");
      layout_ = windows::ToNativeLayout(*definition_);
    }
    return *layout_;
  }

  std::filesystem::path dir_;
  platform::cdaudio::VirtualDrive* drive_ = nullptr;
  std::unique_ptr<platform::CommandDevice> previousDevice_;
  platform::WindowSystem* previousSystem_ = nullptr;
  mutable std::optional<windows::WindowDefinition> definition_;
  mutable std::optional<windows::NativeLayout> layout_;
};

}  // namespace vantora::app::testing
