// SPDX-License-Identifier: GPL-3.0-or-later
// A player run on the model window system, a virtual drive and the manual clock, with its INI
// file and drive in temporary directories.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cdplayer.h"
#include "app/state.h"
#include "platform/cdaudio/command_device.h"
#include "platform/clock.h"
#include "platform/model_window_system.h"
#include "platform/profile/profile.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"
#include "tests/support/player_environment.h"
#include "windows/definition.h"
#include "windows/native_spec.h"

namespace vantora::app::testing {

using platform::ModelWindowSystem;
using platform::NativeInput;

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(environment_.emplace("player"));
    previousSystem_ = platform::SetCurrentWindowSystem(&model_);
    ResetState();
  }
  void TearDown() override {
    runtime::ResetWindows();
    platform::SetCurrentWindowSystem(previousSystem_);
    ResetState();
    runtime::ResetValueStacks();
    environment_.reset();
  }

  std::filesystem::path DriveDir() const { return environment_->DriveDir(); }
  // The main window, created and opened as the player does, with the device left unopened.
  void OpenMainWindow() {
    MAINWINDOW =
        runtime::WINDOWCREATE("P2$CDPLAYWIN", "cdplayer$CDPLAYER",
                              {&STAYONTOP, &CONTROLPANEL, &AUTOPLAY, &LOOKUPTITLES, &CURRENTTITLE,
                               &PLAYQUEUE, &ALBUMARTIST, &SELECTEDPLAYLIST, &PLAYLISTQUEUE,
                               &ALBUMTITLE, &STATUSTEXT, &TIMETEXT, &TIMELABEL});
    ASSERT_NE(MAINWINDOW, 0);
    runtime::WINDOWOPEN(MAINWINDOW);
  }
  // Puts the disc of a description into the drive, as a hand would.
  void Insert(const std::string& description) { environment_->Insert(description); }
  platform::cdaudio::VirtualDrive& Drive() { return environment_->Drive(); }
  // The commands sent to the device so far, one per entry.
  std::vector<std::string> Commands() { return PlayerEnvironment::Commands(); }
  void ClearLog() { platform::InstalledCommandDevice().Log().Clear(); }

  void WriteIni(const std::string& text) { environment_->WriteIni(text); }
  std::string IniText() { return environment_->IniText(); }
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

  std::optional<PlayerEnvironment> environment_;
  platform::WindowSystem* previousSystem_ = nullptr;
  mutable std::optional<windows::WindowDefinition> definition_;
  mutable std::optional<windows::NativeLayout> layout_;
};

}  // namespace vantora::app::testing
