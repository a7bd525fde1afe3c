// SPDX-License-Identifier: GPL-3.0-or-later
// Files dropped from another program through a real X server onto a window without an owner.
//
// Dropped on one of its buttons, the local paths reach the window system's handler in order; a
// drag of no local file is refused.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/qt/qt_window_system.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;
using vantora::platform::CurrentClock;
using vantora::platform::NativeKind;
using vantora::platform::NativeWindowSpec;
using vantora::platform::qt::QtWindowSystem;
using Path = std::filesystem::path;

TEST(FileDrop, LocalFilesReachTheHandlerAndOtherUrlsAreRefused) {
  XSession x;
  ASSERT_NO_FATAL_FAILURE(x.Start(XSession::WindowManager::kNone));
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  ::setenv("DISPLAY", x.display().c_str(), 1);
  static int argc = 1;
  static char name[] = "file_drop_test";
  static char* argv[] = {name, nullptr};
  QtWindowSystem windows(argc, argv);
  std::vector<std::pair<uintptr_t, std::vector<Path>>> drops;
  windows.SetFileDropHandler([&](uintptr_t window, std::vector<Path> files) {
    drops.emplace_back(window, std::move(files));
  });
  NativeWindowSpec spec;
  spec.title = "Drop here";
  spec.rect = {40, 40, 160, 80};
  vantora::platform::NativeControl button;
  button.id = 1;
  button.kind = NativeKind::Button;
  button.rect = {0, 0, 160, 80};  // the whole window: the drop lands on the button
  spec.controls.push_back(button);
  const uintptr_t window = windows.CreateWindow(spec);
  ASSERT_TRUE(windows.ShowWindow(window));

  // Runs the window system until `done`, or for `limit`.
  const auto run = [&](const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = CurrentClock().Now() + limit;
    while (!done() && CurrentClock().Now() < end)
      windows.WaitForInput(CurrentClock().Now() + 20ms);
  };
  // Whether the window took what was dragged, the drag going on beside the window system.
  const auto drag = [&](const std::function<bool()>& dragging) {
    std::atomic<int> taken = -1;
    std::thread source([&] { taken = dragging() ? 1 : 0; });
    run([&] { return taken >= 0; }, 10min);
    source.join();
    return taken == 1;
  };
  run([] { return false; }, 300ms);  // shown on the server
  const QPoint at = x.ClientGeometry(windows.NativeHandle(window)).center();

  const std::vector<Path> files = {x.dir() / "Blue Train.cue", x.dir() / "01 Moment's Notice.flac"};
  EXPECT_TRUE(drag([&] { return x.DropFiles(files, at.x(), at.y()); }));
  run([&] { return !drops.empty(); }, 10s);
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0].first, window);
  EXPECT_EQ(drops[0].second, files);

  EXPECT_FALSE(drag([&] { return x.DropUrls({"http://example.com/a.flac"}, at.x(), at.y()); }));
  run([] { return false; }, 1s);
  EXPECT_EQ(drops.size(), 1u);
}

}  // namespace
