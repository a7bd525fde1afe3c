// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory window system: scripted input, waits on the manual clock, message box answers and
// the window procedure chain through it.
#include "platform/model_window_system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantora::platform {
namespace {

NativeWindowSpec TwoControls() {
  NativeWindowSpec spec;
  spec.title = "Test";
  spec.rect = {kDefault, kDefault, 100, 50};
  NativeControl button;
  button.id = 1;
  button.kind = NativeKind::Button;
  button.rect = {1, 2, 3, 4};
  NativeControl entry;
  entry.id = 2;
  entry.kind = NativeKind::Entry;
  spec.controls = {button, entry};
  return spec;
}

TEST(ModelWindowSystem, WaitsDeliverScriptedInputOneAtATimeBeforeMovingTheClock) {
  ManualClock clock(ClockTime{100});
  ModelWindowSystem model(&clock);
  std::vector<NativeInput::Type> seen;
  model.SetInputSink([&](const NativeInput& input) { seen.push_back(input.type); });
  NativeInput input;
  model.QueueInput(input);
  input.type = NativeInput::Type::Moved;
  model.QueueInput(input);
  model.WaitForInput(ClockTime{500});
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(clock.Now(), ClockTime{100});
  model.WaitForInput(ClockTime{500});
  EXPECT_EQ(seen.back(), NativeInput::Type::Moved);
  model.WaitForInput(ClockTime{500});
  EXPECT_EQ(clock.Now(), ClockTime{500});
  model.WaitForInput(ClockTime{50});  // a deadline in the past leaves the clock alone
  EXPECT_EQ(clock.Now(), ClockTime{500});
  int idle = 0;
  model.SetIdleHandler([&] { ++idle; });
  model.WaitForInput(ClockTime::max());
  EXPECT_EQ(idle, 1);
  EXPECT_EQ(clock.Now(), ClockTime{500});
}

TEST(ModelWindowSystem, NothingScriptedAndNoDeadlineEndsTheProgram) {
  ModelWindowSystem model;
  EXPECT_DEATH(model.WaitForInput(ClockTime::max()), "none is scripted");
}

TEST(ModelWindowSystem, WindowsKeepTheirControlsState) {
  ModelWindowSystem model;
  const uintptr_t window = model.CreateWindow(TwoControls());
  ASSERT_NE(window, 0u);
  EXPECT_EQ(model.WindowRect(window), (Rect{0, 0, 100, 50}));  // default places at 0
  EXPECT_TRUE(model.SetWindowRect(window, {kUnchanged, 7, kUnchanged, 9}));
  EXPECT_EQ(model.WindowRect(window), (Rect{0, 7, 100, 9}));
  EXPECT_TRUE(model.SetControlRect(window, 1, {10, kUnchanged, kUnchanged, kUnchanged}));
  EXPECT_EQ(model.ControlRect(window, 1), (Rect{10, 2, 3, 4}));
  EXPECT_TRUE(model.Focus(window, 2));
  EXPECT_TRUE(model.Control(window, 2)->focused);
  EXPECT_TRUE(model.Focus(window, 1));
  EXPECT_FALSE(model.Control(window, 2)->focused);
  // Ids that name nothing fail without touching anything.
  EXPECT_FALSE(model.SetText(window, 3, "x"));
  EXPECT_FALSE(model.SetText(window, 0, "x"));
  EXPECT_FALSE(model.SetEnabled(window + 1, 1, false));
  EXPECT_EQ(model.Text(window, 3), std::nullopt);
  EXPECT_EQ(model.WindowFromNativeHandle(model.NativeHandle(window)), window);
  EXPECT_EQ(model.WindowFromNativeHandle(12345), 0u);
  EXPECT_TRUE(model.DestroyWindow(window));
  EXPECT_FALSE(model.DestroyWindow(window));
  EXPECT_EQ(model.NativeHandle(window), 0u);
}

TEST(ModelWindowSystem, RefusedOrMisnumberedDescriptionsCreateNothing) {
  ModelWindowSystem model;
  NativeWindowSpec spec = TwoControls();
  spec.controls[1].id = 5;
  EXPECT_EQ(model.CreateWindow(spec), 0u);
  model.RefuseWindows(true);
  EXPECT_EQ(model.CreateWindow(TwoControls()), 0u);
  EXPECT_TRUE(model.Windows().empty());
}

TEST(ModelWindowSystem, MessageBoxesAreAnsweredByLabelOrIndex) {
  ModelWindowSystem model;
  MessageBoxSpec spec;
  spec.buttons = {"&Yes", "&No"};
  model.AnswerMessageBox("&No");
  model.AnswerMessageBox("Maybe");
  model.AnswerMessageBoxIndex(0);
  model.AnswerMessageBoxIndex(2);
  EXPECT_EQ(model.MessageBox(0, spec), 1);
  EXPECT_EQ(model.MessageBox(0, spec), -1);  // no such label: closed without a button
  EXPECT_EQ(model.MessageBox(0, spec), 0);
  EXPECT_EQ(model.MessageBox(0, spec), -1);
  EXPECT_EQ(model.MessageBox(0, spec), -1);  // nothing scripted
  EXPECT_EQ(model.MessageBoxes().size(), 5u);
}

TEST(ModelWindowSystem, ALongRunKeepsTheLatestBoxesAndPaints) {
  ModelWindowSystem model;
  const uintptr_t window = model.CreateWindow(TwoControls());
  MessageBoxSpec spec;
  for (int i = 0; i < 100; ++i) {
    spec.caption = std::to_string(i);
    model.MessageBox(window, spec);
  }
  ASSERT_EQ(model.MessageBoxes().size(), 64u);
  EXPECT_EQ(model.MessageBoxes().front().spec.caption, "36");
  EXPECT_EQ(model.MessageBoxes().back().spec.caption, "99");
  model.PaintNow(window, 0);
  model.ClearPaints();
  EXPECT_TRUE(model.Paints().empty());
}

intptr_t g_previous = 0;
std::vector<uint32_t> g_messages;
intptr_t Spy(uint64_t hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  g_messages.push_back(message);
  return CallWindowProcA(g_previous, hwnd, message, wParam, lParam);
}

TEST(ModelWindowSystem, WindowProcedureChainStartsWithTheWindowsOwn) {
  ModelWindowSystem model;
  WindowSystem* before = SetCurrentWindowSystem(&model);
  const uintptr_t window = model.CreateWindow(TwoControls());
  const uint64_t hwnd = model.NativeHandle(window);
  g_previous = SetWindowLongA(hwnd, GWL_WNDPROC, reinterpret_cast<intptr_t>(&Spy));
  ASSERT_NE(g_previous, 0);
  const auto proc = reinterpret_cast<WNDPROC>(model.Window(window)->proc);
  EXPECT_EQ(proc(hwnd, WM_QUERYENDSESSION, 0, 0), 1);  // the window's own agrees
  EXPECT_EQ(g_messages, (std::vector<uint32_t>{WM_QUERYENDSESSION}));
  EXPECT_TRUE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_TRUE(model.Window(window)->stayOnTop);
  SetCurrentWindowSystem(before);
}

}  // namespace
}  // namespace vantora::platform
