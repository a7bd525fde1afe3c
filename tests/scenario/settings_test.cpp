// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry and settings: the main window from start-up to close against the model window
// system, asserting on the INI file and the window's state.
#include <string>

#include "app/settings.h"
#include "tests/scenario/player_fixture.h"

namespace vantora::app {
namespace {

using platform::ModelWindowSystem;
using platform::NativeInput;

using ProgramEntry = testing::PlayerTest;

TEST_F(ProgramEntry, FirstRunWritesProductThenAllSettingsOnClose) {
  RunPlayer({[&] {
    EXPECT_EQ(IniText(), "[CD Player Settings]\nProduct=Vantora - Brennix\nCopyright=" +
                             std::string(kCopyright) + "\n");
    EXPECT_EQ(SETTINGSFOUND, 0);
  }});
  EXPECT_EQ(IniText(), "[CD Player Settings]\nProduct=Vantora - Brennix\nCopyright=" +
                           std::string(kCopyright) +
                           "\nWindow X=0\nWindow Y=0\nStay On Top=0\nControl Panel=0\n"
                           "Auto Play=0\nLook Up Titles=0\nDisplay Mode=1\nVolume=100\n");
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
