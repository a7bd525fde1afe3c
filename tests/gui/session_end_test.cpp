// SPDX-License-Identifier: GPL-3.0-or-later
// The end of the session: what the window procedures save on the way out reaches the disk.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/profile/profile.h"
#include "platform/qt/qt_window_system.h"

namespace vantora::platform::qt {
namespace {

intptr_t g_previous = 0;

// Saves a setting on WM_ENDSESSION, as the player's procedure does; the write stays in the
// profile store's cache until something writes it back.
intptr_t SavingProcedure(uint64_t hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == WM_ENDSESSION) {
    WritePrivateProfileStringA("CD Player Settings", "Display Mode", "4", "ZQ_CD.INI");
    return 1;
  }
  return CallWindowProcA(g_previous, hwnd, message, wParam, lParam);
}

class SessionEnd : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-session-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    setenv("VANTORA_CONFIG_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("VANTORA_CONFIG_DIR");
    std::filesystem::remove_all(dir_);
  }
  std::string IniText() const {
    std::ifstream in(dir_ / "ZQ_CD.INI", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // In a child process: a window with the saving procedure, then the session ends by `how`.
  static void RunUntilSessionEnds(void (*how)(QtWindowSystem&)) {
    int argc = 1;
    char name[] = "session_end_test";
    char* argv[] = {name, nullptr};
    QtWindowSystem system(argc, argv);
    SetCurrentWindowSystem(&system);
    NativeWindowSpec spec;
    spec.title = "Session";
    spec.rect = {0, 0, 80, 40};
    const uintptr_t window = system.CreateWindow(spec);
    system.ShowWindow(window);
    g_previous = SetWindowLongA(system.NativeHandle(window), GWL_WNDPROC,
                                reinterpret_cast<intptr_t>(&SavingProcedure));
    how(system);
    // Only reached when the session end did not end the process.
    std::_Exit(3);
  }

  std::filesystem::path dir_;
};

TEST_F(SessionEnd, SettingsSavedAtTheEndOfTheSessionAreWrittenBack) {
  EXPECT_EXIT(RunUntilSessionEnds([](QtWindowSystem& system) { system.EndSession(); }),
              testing::ExitedWithCode(0), "");
  EXPECT_EQ(IniText(), "[CD Player Settings]\nDisplay Mode=4\n");
}

TEST_F(SessionEnd, LogoutSignalEndsTheSessionThroughTheEventLoop) {
  EXPECT_EXIT(RunUntilSessionEnds([](QtWindowSystem& system) {
                system.InstallSessionEndSignals();
                std::raise(SIGTERM);
                // The signal is handled on the event loop, not inside the handler.
                system.WaitForInput(CurrentClock().Now() + ClockTime{5000});
              }),
              testing::ExitedWithCode(0), "");
  EXPECT_EQ(IniText(), "[CD Player Settings]\nDisplay Mode=4\n");
}

}  // namespace
}  // namespace vantora::platform::qt
