// Program entry and settings: the main window from start-up to close against the model window
// system, asserting on the INI file and the window's state.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/cdplayer.h"
#include "app/settings.h"
#include "app/state.h"
#include "platform/model_window_system.h"
#include "platform/profile/profile.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using platform::ModelWindowSystem;
using platform::NativeInput;

class ProgramEntry : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() / ("vantora-settings-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    setenv("VANTORA_CONFIG_DIR", dir_.c_str(), 1);
    previous_ = platform::SetCurrentWindowSystem(&model_);
    ResetState();
  }
  void TearDown() override {
    runtime::ResetWindows();
    platform::SetCurrentWindowSystem(previous_);
    ResetState();
    runtime::ResetValueStacks();
    platform::FlushProfiles();
    unsetenv("VANTORA_CONFIG_DIR");
    std::filesystem::remove_all(dir_);
  }

  void WriteIni(const std::string& text) {
    std::ofstream(dir_ / "ZQ_CD.INI", std::ios::binary) << text;
  }
  std::string IniText() {
    platform::FlushProfiles();
    std::ifstream in(dir_ / "ZQ_CD.INI", std::ios::binary);
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
  // The native id of the control whose text is `text`.
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

  // Runs the player. Each time its loop waits for input the next step runs; when a step leaves
  // no input to deliver, the window is closed.
  void RunPlayer(std::vector<std::function<void()>> steps = {}) {
    size_t next = 0;
    int closes = 0;
    model_.SetIdleHandler([&] {
      if (next < steps.size()) {
        steps[next++]();
      }
      if (model_.PendingInput() == 0) {
        ASSERT_EQ(closes++, 0) << "the player went on waiting after its window was closed";
        Input(NativeInput::Type::CloseRequested);
      }
    });
    ASSERT_TRUE(CDPLAYER());
    EXPECT_EQ(next, steps.size());
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(model_.Windows().empty());
  }

  ModelWindowSystem model_;
  platform::WindowSystem* previous_ = nullptr;
  std::filesystem::path dir_;
};

TEST_F(ProgramEntry, FirstRunWritesProductThenAllSettingsOnClose) {
  RunPlayer({[&] {
    EXPECT_EQ(IniText(), "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nCopyright=" +
                             std::string(kCopyright) + "\r\n");
    EXPECT_EQ(SETTINGSFOUND, 0);
  }});
  EXPECT_EQ(IniText(), "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nCopyright=" +
                           std::string(kCopyright) +
                           "\r\nWindow X=0\r\nWindow Y=0\r\nStay On Top=0\r\nControl Panel=0\r\n"
                           "Auto Play=0\r\nDisplay Mode=1\r\n");
}

TEST_F(ProgramEntry, ProductAloneReadsZerosAndDisplayModeOne) {
  WriteIni("[CD Player Settings]\r\nProduct=Vantora - Brennix\r\n");
  STAYONTOP = 7;  // every setting is read, none kept from before
  DISPLAYMODE = 4;
  RunPlayer({[&] {
    EXPECT_EQ(SETTINGSFOUND, 1);
    EXPECT_EQ(STAYONTOP, 0);
    EXPECT_EQ(CONTROLPANEL, 0);
    EXPECT_EQ(AUTOPLAY, 0);
    EXPECT_EQ(DISPLAYMODE, 1);
    EXPECT_EQ(MainState().rect.x, 0);
    EXPECT_EQ(MainState().rect.y, 0);
  }});
}

TEST_F(ProgramEntry, SettingsWithoutProductCountAsFirstRun) {
  WriteIni("[CD Player Settings]\r\nProduct=   \r\nStay On Top=1\r\nDisplay Mode=3\r\n");
  RunPlayer({[&] {
    EXPECT_EQ(SETTINGSFOUND, 0);
    EXPECT_EQ(STAYONTOP, 0);
    EXPECT_FALSE(MainState().stayOnTop);
  }});
  EXPECT_EQ(Setting("Product"), "Vantora - Brennix");
  EXPECT_EQ(Setting("Stay On Top"), "0");
  EXPECT_EQ(Setting("Display Mode"), "1");
}

TEST_F(ProgramEntry, ControlPanelOpensCompactAtTheSavedPosition) {
  WriteIni(
      "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nControl Panel=1\r\nWindow X=30\r\n"
      "Window Y=40\r\nAuto Play=257\r\n");
  RunPlayer({[&] {
    EXPECT_EQ(CAPTIONMODE, 1);
    EXPECT_EQ(LASTCONTROLPANEL, 1);
    EXPECT_EQ(MainState().rect.x, 30);
    EXPECT_EQ(MainState().rect.y, 40);
    EXPECT_EQ(MainState().rect.height, kCompactHeight);
    EXPECT_EQ(AUTOPLAY, 1);  // a byte setting keeps the low 8 bits
  }});
}

TEST_F(ProgramEntry, StayOnTopIsAppliedBeforeTheFirstWait) {
  WriteIni("[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nStay On Top=1\r\n");
  RunPlayer({[&] {
    EXPECT_TRUE(MainState().stayOnTop);
    EXPECT_EQ(LASTSTAYONTOP, 1);
  }});
}

TEST_F(ProgramEntry, CheckItemsFlipTheirSettingsAndTakeEffect) {
  RunPlayer({[&] {
               Input(NativeInput::Type::Activated, ControlWithText("&Stay On Top"));
               Input(NativeInput::Type::Activated, ControlWithText("&Control Panel"));
               Input(NativeInput::Type::Activated, ControlWithText("&AutoPlay"));
             },
             [&] {
               EXPECT_TRUE(MainState().stayOnTop);
               EXPECT_EQ(MainState().rect.height, kCompactHeight);
             }});
  EXPECT_EQ(Setting("Stay On Top"), "1");
  EXPECT_EQ(Setting("Control Panel"), "1");
  EXPECT_EQ(Setting("Auto Play"), "1");
}

TEST_F(ProgramEntry, MovedWindowSavesItsPositionAndAnUnmovedOneKeepsTheSavedOne) {
  WriteIni("[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nWindow X=12\r\nWindow Y=34\r\n");
  RunPlayer();
  EXPECT_EQ(Setting("Window X"), "12");
  EXPECT_EQ(Setting("Window Y"), "34");

  ResetState();
  RunPlayer({[&] {
    platform::Rect moved = MainState().rect;
    moved.x = 100;
    moved.y = 120;
    model_.SetWindowRect(MainWindow(), moved);
    Input(NativeInput::Type::Moved);
  }});
  EXPECT_EQ(Setting("Window X"), "100");
  EXPECT_EQ(Setting("Window Y"), "120");
}

TEST_F(ProgramEntry, MovesWhileMinimisedAreNotSaved) {
  RunPlayer({[&] {
    model_.SetIconized(MainWindow(), true);
    platform::Rect moved = MainState().rect;
    moved.x = 500;
    model_.SetWindowRect(MainWindow(), moved);
    Input(NativeInput::Type::Moved);
  }});
  EXPECT_EQ(Setting("Window X"), "0");
}

TEST_F(ProgramEntry, SessionEndSavesThroughTheWindowProcedure) {
  RunPlayer({[&] {
    const ModelWindowSystem::WindowState& state = MainState();
    ASSERT_EQ(state.proc, reinterpret_cast<intptr_t>(&CDPLAYERWNDPROC));
    DISPLAYMODE = 5;
    EXPECT_EQ(platform::CallWindowProcA(state.proc, state.nativeHandle,
                                        platform::WM_QUERYENDSESSION, 0, 0),
              1);
    EXPECT_EQ(Setting("Display Mode"), "<none>");  // asking does not save
    EXPECT_EQ(
        platform::CallWindowProcA(state.proc, state.nativeHandle, platform::WM_ENDSESSION, 1, 0),
        1);
    EXPECT_EQ(Setting("Display Mode"), "5");
    // Other messages go on to the procedure it replaced.
    EXPECT_NE(PREVPROC, 0);
  }});
}

}  // namespace
}  // namespace vantora::app
