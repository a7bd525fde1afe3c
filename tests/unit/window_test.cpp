// SPDX-License-Identifier: GPL-3.0-or-later
// The window API on the model window system, with the player's own window definitions.
#include "runtime/window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/model_window_system.h"
#include "platform/resources/resources.h"
#include "runtime/errors.h"
#include "runtime/value_stack.h"
#include "tests/support/player_windows.h"
#include "windows/definition.h"
#include "windows/description.h"
#include "windows/native_spec.h"
#include "windows/writer.h"

namespace vantora::runtime {
namespace {

using platform::NativeInput;

using testing::CreateEditorWindow;
using testing::CreateMainWindow;
using testing::EditorVariables;
using testing::kTag;
using testing::MainWindowVariables;
using testing::TitleQueue;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetCurrentWindowSystem(&model_);
    ResetValueStacks();
    main_.AUTOPLAY = 1;  // so that a flip of the byte check item shows
  }
  void TearDown() override {
    ResetWindows();
    platform::SetCurrentWindowSystem(nullptr);
  }

  WindowHandle CreateMain() { return CreateMainWindow(main_); }
  WindowHandle OpenMain() {
    const WindowHandle window = CreateMain();
    EXPECT_NE(window, 0) << WindowCreateError();
    WINDOWOPEN(window);
    return window;
  }
  WindowHandle OpenEditor() {
    const WindowHandle window = CreateEditorWindow(editor_);
    EXPECT_NE(window, 0) << WindowCreateError();
    WINDOWOPEN(window);
    return window;
  }

  // The native id the model knows a control of a player window by.
  static int32_t Id(std::string_view windowName, int32_t number) {
    const auto definition = windows::FindWindowDefinition(kTag, windowName);
    const windows::NativeLayout layout = windows::ToNativeLayout(*definition);
    for (size_t i = 0; i < layout.controls.size(); ++i) {
      if (layout.controls[i]->number == number) {
        return static_cast<int32_t>(i + 1);
      }
    }
    return 0;
  }
  const platform::ModelWindowSystem::ControlState& Main(int32_t number) {
    return *model_.Control(NativeWindowOf(mainWindow_), Id("P2$CDPLAYWIN", number));
  }
  void Input(WindowHandle window, NativeInput::Type type, int32_t number, int32_t row = 0,
             std::string_view windowName = "P2$CDPLAYWIN") {
    NativeInput input;
    input.type = type;
    input.window = NativeWindowOf(window);
    input.control = number == 0 ? 0 : Id(windowName, number);
    input.row = row;
    model_.QueueInput(input);
  }
  // Takes the next event and names it ("EVENT:Accepted 5").
  static std::string Next() {
    if (!EVENTLOOP()) {
      return "end";
    }
    std::string name(EventNameOf(CURRENTEVENT()));
    return EVENTCONTROL() == 0 ? name : name + " " + std::to_string(EVENTCONTROL());
  }

  platform::ManualClock clock_{platform::ClockTime{1000}};
  platform::ScopedClock scopedClock_{clock_};
  platform::ModelWindowSystem model_{&clock_};
  MainWindowVariables main_;
  EditorVariables editor_;
  WindowHandle mainWindow_ = 0;
};

TEST_F(WindowTest, EveryPlayerWindowIsCreatedWithItsBindings) {
  EXPECT_NE(CreateMain(), 0) << WindowCreateError();
  EditorVariables& v = editor_;
  EXPECT_NE(WINDOWCREATE("P22$EDITWINDOW", kTag,
                         {&v.ALBUMARTIST, &v.ALBUMTITLE, &v.TRACKQUEUE.queue, &v.TRACKTITLE,
                          &v.PLAYLISTNAME, &v.HOLDQUEUE.queue, &v.TRACKLISTQUEUE.queue, &v.DISCID}),
            0)
      << WindowCreateError();
  FixedText<60> name;
  EXPECT_NE(WINDOWCREATE("P26$EDITWINDOW", kTag, {&name}), 0) << WindowCreateError();
  EXPECT_NE(WINDOWCREATE("P27$ABOUTWINDOW", kTag, {}), 0) << WindowCreateError();
  EXPECT_EQ(WindowCreateError(), "");
  // Nothing is shown before WINDOWOPEN.
  EXPECT_TRUE(model_.Windows().empty());
}

TEST_F(WindowTest, MismatchedBindingsAndUnknownWindowsGiveNoHandle) {
  MainWindowVariables& v = main_;
  FixedText<60> name;
  FixedText<40> shortName;
  TitleQueue queue;
  struct Case {
    const char* label;
    std::function<WindowHandle()> create;
    const char* why;
  };
  const Case cases[] = {
      {"too few", [&] { return WINDOWCREATE("P26$EDITWINDOW", kTag, {}); }, "binds 1"},
      {"too many",
       [&] {
         return WINDOWCREATE("P26$EDITWINDOW", kTag, {&name, &name});
       },
       "binds 1"},
      {"queue for a variable", [&] { return WINDOWCREATE("P26$EDITWINDOW", kTag, {&queue.queue}); },
       "needs a variable"},
      {"wrong size", [&] { return WINDOWCREATE("P26$EDITWINDOW", kTag, {&shortName}); },
       "needs 60 bytes"},
      {"variable for rows",
       [&] {
         return WINDOWCREATE(
             "P2$CDPLAYWIN", kTag,
             {&v.STAYONTOP, &v.CONTROLPANEL, &v.AUTOPLAY, &v.LOOKUPTITLES, &v.CURRENTTITLE,
              &v.ALBUMARTIST, &v.ALBUMARTIST, &v.SELECTEDPLAYLIST, &v.PLAYLISTQUEUE.queue,
              &v.ALBUMTITLE, &v.STATUSTEXT, &v.TIMETEXT, &v.TIMELABEL});
       },
       "needs a queue"},
      {"long where a byte is bound",
       [&] {
         return WINDOWCREATE(
             "P2$CDPLAYWIN", kTag,
             {&v.STAYONTOP, &v.CONTROLPANEL, &v.CONTROLPANEL, &v.LOOKUPTITLES, &v.CURRENTTITLE,
              &v.PLAYQUEUE.queue, &v.ALBUMARTIST, &v.SELECTEDPLAYLIST, &v.PLAYLISTQUEUE.queue,
              &v.ALBUMTITLE, &v.STATUSTEXT, &v.TIMETEXT, &v.TIMELABEL});
       },
       "needs 1 bytes"},
      {"unknown window", [&] { return WINDOWCREATE("P3$CDPLAYWIN", kTag, {}); }, "P3$CDPLAYWIN"},
      {"unknown tag", [&] { return WINDOWCREATE("P27$ABOUTWINDOW", "other$OTHER", {}); },
       "other$OTHER"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.create(), 0) << c.label;
    EXPECT_NE(WindowCreateError().find(c.why), std::string_view::npos)
        << c.label << ": " << WindowCreateError();
  }
}

TEST_F(WindowTest, OpenShowsTheWindowAndDeliversOpenWindowFirst) {
  mainWindow_ = CreateMain();
  WINDOWOPEN(mainWindow_);
  Input(mainWindow_, NativeInput::Type::Moved, 0);
  POSTEVENT(EVENT::Accepted, 12);  // queued after the open: comes after it
  const auto* window = model_.Window(NativeWindowOf(mainWindow_));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->shown);
  EXPECT_EQ(window->title, "Vantora     Brennix");
  EXPECT_EQ(CurrentWindow(), mainWindow_);
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  EXPECT_EQ(CURRENTEVENT(), 0x203);
  EXPECT_EQ(Next(), "EVENT:Accepted 12");
  EXPECT_EQ(Next(), "EVENT:Moved");
  EXPECT_EQ(CURRENTEVENT(), 0x230);
}

TEST_F(WindowTest, RangesReachEveryNamedControlAndSkipMissingNumbers) {
  mainWindow_ = OpenMain();
  auto disabled = [&] {
    std::vector<int32_t> numbers;
    for (int32_t n = 1; n <= 38; ++n) {
      if (!Main(n).enabled)
        numbers.push_back(n);
    }
    return numbers;
  };
  DISABLECONTROLS(9, 10);
  EXPECT_EQ(disabled(), (std::vector<int32_t>{9, 10}));  // 9 is a menu item
  ENABLECONTROLS(0, 0);
  DISABLECONTROLS(10, 9);
  EXPECT_EQ(disabled(), (std::vector<int32_t>{9, 10}));
  ENABLECONTROLS(9);
  EXPECT_EQ(disabled(), (std::vector<int32_t>{10}));
  DISABLECONTROLS(0, 0);
  EXPECT_EQ(disabled().size(), 38u);
  for (const auto& control : model_.Window(NativeWindowOf(mainWindow_))->controls) {
    EXPECT_FALSE(control.enabled);  // the unnumbered groups too
  }
  ENABLECONTROLS(0, 0);
  DISABLECONTROLS(39, 60);  // names no control
  DISABLECONTROLS(-3);
  EXPECT_TRUE(disabled().empty());
  HIDECONTROLS(19, 29);
  EXPECT_TRUE(Main(19).hidden && Main(29).hidden);
  EXPECT_FALSE(Main(18).hidden || Main(30).hidden);
  UNHIDECONTROLS(29, 0);
  EXPECT_FALSE(Main(29).hidden);
  EXPECT_TRUE(Main(28).hidden);
}

TEST_F(WindowTest, CheckItemsFlipTheirVariableBeforeAccepted) {
  mainWindow_ = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  Input(mainWindow_, NativeInput::Type::Activated, 5);
  EXPECT_EQ(Next(), "EVENT:Accepted 5");
  EXPECT_EQ(ACCEPTEDCONTROL(), 5);
  EXPECT_EQ(main_.STAYONTOP, 1);
  EXPECT_TRUE(Main(5).checked);
  Input(mainWindow_, NativeInput::Type::Activated, 5);
  Input(mainWindow_, NativeInput::Type::Activated, 7);
  EXPECT_EQ(Next(), "EVENT:Accepted 5");
  EXPECT_EQ(main_.STAYONTOP, 0);
  EXPECT_FALSE(Main(5).checked);
  EXPECT_EQ(Next(), "EVENT:Accepted 7");
  EXPECT_EQ(main_.AUTOPLAY, 0);  // the byte variable, from 1
  EXPECT_EQ(main_.CONTROLPANEL, 0);
  // A refresh shows the variables as they are now.
  main_.CONTROLPANEL = 1;
  REFRESHCONTROLS(6);
  EXPECT_TRUE(Main(6).checked);
}

TEST_F(WindowTest, CloseWindowEndsTheLoopUnlessTheBodySkipsIt) {
  mainWindow_ = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  Input(mainWindow_, NativeInput::Type::Activated, 2);  // File, Exit: the standard close
  EXPECT_EQ(Next(), "EVENT:CloseWindow");
  SKIPEVENT();
  Input(mainWindow_, NativeInput::Type::CloseRequested, 0);
  EXPECT_EQ(Next(), "EVENT:CloseWindow");
  EXPECT_EQ(ACCEPTEDCONTROL(), 0);
  EXPECT_EQ(Next(), "end");
  EXPECT_EQ(CurrentWindow(), 0);
  // Still open for the procedure's close.
  EXPECT_TRUE(IsWindowOpen(mainWindow_));
  WINDOWCLOSE(mainWindow_);
  EXPECT_FALSE(IsWindowOpen(mainWindow_));
  EXPECT_TRUE(model_.Windows().empty());
}

TEST_F(WindowTest, AboutWindowsOkClosesItWithoutTheBodysHelp) {
  const WindowHandle about = WINDOWCREATE("P27$ABOUTWINDOW", kTag, {});
  ASSERT_NE(about, 0) << WindowCreateError();
  WINDOWOPEN(about);
  NativeInput ok;
  ok.window = NativeWindowOf(about);
  ok.control = Id("P27$ABOUTWINDOW", 1);
  model_.QueueInput(ok);
  // Were the loop still waiting, the close box would end it.
  model_.SetIdleHandler([this, about] { Input(about, NativeInput::Type::CloseRequested, 0); });
  std::vector<std::string> trace;
  while (EVENTLOOP()) {
    trace.emplace_back(EventNameOf(CURRENTEVENT()));
  }
  EXPECT_EQ(trace, (std::vector<std::string>{"EVENT:OpenWindow", "EVENT:CloseWindow"}));
  WINDOWCLOSE(about);
}

TEST_F(WindowTest, PostToAWindowUnderADialogWaitsForItsOwnLoop) {
  mainWindow_ = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  const WindowHandle about = WINDOWCREATE("P27$ABOUTWINDOW", kTag, {});
  ASSERT_NE(about, 0) << WindowCreateError();
  WINDOWOPEN(about);
  POSTEVENTTO(mainWindow_, EVENT::Accepted, 12);
  // Handles of no open window queue nothing, and nothing breaks.
  for (const WindowHandle nowhere : {0, -1, -4, 9999}) {
    POSTEVENTTO(nowhere, EVENT::Accepted, 13);
  }
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  model_.SetIdleHandler([this, about] { Input(about, NativeInput::Type::CloseRequested, 0); });
  EXPECT_EQ(Next(), "EVENT:CloseWindow");
  EXPECT_EQ(Next(), "end");
  WINDOWCLOSE(about);
  model_.SetIdleHandler(nullptr);
  EXPECT_EQ(CurrentWindow(), mainWindow_);
  EXPECT_EQ(Next(), "EVENT:Accepted 12");
  // The current window itself takes it like POSTEVENT.
  POSTEVENTTO(mainWindow_, EVENT::Accepted, 14);
  EXPECT_EQ(Next(), "EVENT:Accepted 14");
}

TEST_F(WindowTest, LoopEndsWhenThePlatformWindowIsGone) {
  mainWindow_ = OpenMain();
  POSTEVENT(EVENT::Accepted, 12);
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  model_.DestroyWindow(NativeWindowOf(mainWindow_));
  EXPECT_EQ(Next(), "end");
  EXPECT_EQ(CurrentWindow(), 0);
  WINDOWCLOSE(mainWindow_);
  EXPECT_FALSE(IsWindowOpen(mainWindow_));
}

TEST_F(WindowTest, RegionsButtonsAndTheMoveArriveAsTheirEvents) {
  mainWindow_ = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  Input(mainWindow_, NativeInput::Type::Activated, 34);
  Input(mainWindow_, NativeInput::Type::Activated, 12);
  Input(mainWindow_, NativeInput::Type::Moved, 0);
  EXPECT_EQ(Next(), "EVENT:Accepted 34");
  EXPECT_EQ(Next(), "EVENT:Accepted 12");
  EXPECT_EQ(Next(), "EVENT:Moved");
  EXPECT_EQ(ACCEPTEDCONTROL(), 0);
  // A disabled control raises nothing.
  DISABLECONTROLS(12);
  Input(mainWindow_, NativeInput::Type::Activated, 12);
  Input(mainWindow_, NativeInput::Type::Activated, 13);
  EXPECT_EQ(Next(), "EVENT:Accepted 13");
}

TEST_F(WindowTest, TimerTicksAtItsPeriodAndStopsAtZero) {
  mainWindow_ = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  const platform::ClockTime start = clock_.Now();
  SetTimer(75);
  EXPECT_EQ(GetProperty(PROP_TIMER), "75");
  EXPECT_EQ(Next(), "EVENT:Timer");
  EXPECT_EQ(clock_.Now() - start, platform::ClockTime{750});
  EXPECT_EQ(Next(), "EVENT:Timer");
  EXPECT_EQ(clock_.Now() - start, platform::ClockTime{1500});
  SetTimer(0);
  EXPECT_EQ(GetProperty(PROP_TIMER), "0");
  bool idle = false;
  model_.SetIdleHandler([&] {
    idle = true;
    Input(mainWindow_, NativeInput::Type::CloseRequested, 0);
  });
  EXPECT_EQ(Next(), "EVENT:CloseWindow");
  EXPECT_TRUE(idle);  // no tick came: the loop waited without a deadline
  EXPECT_EQ(clock_.Now() - start, platform::ClockTime{1500});
  SKIPEVENT();
  clock_.Advance(platform::ClockTime{100});
  SetTimer(75);  // ticks again 750 ms from now
  EXPECT_EQ(Next(), "EVENT:Timer");
  EXPECT_EQ(clock_.Now() - start, platform::ClockTime{1500 + 100 + 750});
  // Input scripted before a tick is due comes first.
  Input(mainWindow_, NativeInput::Type::Activated, 11);
  EXPECT_EQ(Next(), "EVENT:Accepted 11");
  EXPECT_EQ(Next(), "EVENT:Timer");
  EXPECT_EQ(clock_.Now() - start, platform::ClockTime{1500 + 100 + 1500});
}

TEST_F(WindowTest, WindowPropertiesTextIconizedHandlePosition) {
  mainWindow_ = OpenMain();
  const uintptr_t native = NativeWindowOf(mainWindow_);
  SetText(0, "Audio CD Player   ");
  EXPECT_EQ(model_.Window(native)->title, "Audio CD Player");
  EXPECT_EQ(GetText(0), "Audio CD Player");
  EXPECT_EQ(GetProperty(PROP_TEXT, 0, mainWindow_), "Audio CD Player");

  EXPECT_EQ(GetProperty(PROP_ICONIZED), "");
  EXPECT_FALSE(GetIconized());
  SetProperty(PROP_ICONIZED, 0, 1);
  EXPECT_TRUE(model_.Window(native)->iconized);
  EXPECT_EQ(GetProperty(PROP_ICONIZED), "1");
  SetProperty(PROP_ICONIZED, 0, 0);
  EXPECT_FALSE(model_.Window(native)->iconized);

  EXPECT_EQ(GetHandle(), model_.NativeHandle(native));
  EXPECT_EQ(GetProperty(PROP_HANDLE), std::to_string(model_.NativeHandle(native)));

  // The height counts title and menu bar (27 units) over the definition's 202-unit client area.
  int32_t x = 0, y = 0, width = 0, height = 0;
  READPOSITION(0, x, y, width, height);
  EXPECT_EQ(width, 172);
  EXPECT_EQ(height, 229);
  WRITEPOSITION(0, 40, 50, platform::kUnchanged, platform::kUnchanged);
  READPOSITION(0, x, y, width, height);
  EXPECT_EQ((platform::Rect{x, y, width, height}), (platform::Rect{40, 50, 172, 229}));
  // The compact form keeps the toolbar alone; the full form is the window as opened.
  struct Step {
    int32_t height;
    int32_t client;
    const char* reads;
  };
  for (const Step& step : {Step{23, 23, "50"}, Step{229, 202, "229"}, Step{-7, 23, "50"},
                           Step{INT32_MAX, INT32_MAX - 27, "2147483647"}, Step{229, 202, "229"}}) {
    SCOPED_TRACE(step.height);
    SetProperty(PROP_HEIGHT, 0, step.height);
    EXPECT_EQ(model_.Window(native)->rect.height, step.client);
    EXPECT_EQ(GetProperty(PROP_HEIGHT), step.reads);
  }
  EXPECT_EQ(GetProperty(PROP_XPOS), "40");
  EXPECT_EQ(GetProperty(PROP_WIDTH), "172");
  WRITEPOSITION(17, platform::kUnchanged, 60, 70, platform::kUnchanged);
  READPOSITION(17, x, y, width, height);
  EXPECT_EQ((platform::Rect{x, y, width, height}), (platform::Rect{39, 60, 70, 19}));
  // A property the window does not have reads as empty.
  EXPECT_EQ(GetProperty(PROP_SELECTED), "");
  EXPECT_EQ(GetProperty(0x7D00), "");
}

TEST_F(WindowTest, ControlPropertiesIconTipSelectedMouseRows) {
  mainWindow_ = OpenMain();
  SetIcon(12, "~QPX_STOP.ICO");
  EXPECT_EQ(Main(12).icon, "~QPX_STOP.ICO");
  const std::string stock("\xFF\x01\x03\x7F", 4);
  SetIcon(13, stock);
  EXPECT_EQ(Main(13).icon, stock);
  EXPECT_EQ(GetProperty(PROP_ICON, 13), stock);
  SetToolTip(12, "Stop the CD player  ");
  EXPECT_EQ(Main(12).tip, "Stop the CD player");
  EXPECT_EQ(GetProperty(PROP_TOOLTIP, 12), "Stop the CD player");

  main_.PLAYQUEUE.Append("One");
  main_.PLAYQUEUE.Append("Two");
  SetSelected(16, 2);
  EXPECT_EQ(GetSelected(16), 2);
  EXPECT_EQ(SELECTEDROW(16), 2);
  EXPECT_EQ(Main(16).selectedRow, 2);
  SetSelected(16, 3);  // beyond the last row
  EXPECT_EQ(GetSelected(16), 0);
  EXPECT_EQ(SELECTEDROW(99), 0);
  EXPECT_EQ(SELECTEDROW(12), 0);  // not a list

  EXPECT_EQ(GetProperty(PROP_MOUSEUPROW, 16), "0");
  SetProperty(PROP_MOUSEDOWNROW, 16, 4);
  EXPECT_EQ(GetProperty(PROP_MOUSEDOWNROW, 16), "4");
  EXPECT_EQ(GetProperty(PROP_MOUSEUPROW, 99), "");  // no such control
}

TEST_F(WindowTest, SystemTimingValuesAreKeptInMilliseconds) {
  SetProperty(PROP_SYSTEMTIMING1, 0, 100, SYSTEMTARGET);
  SetProperty(PROP_SYSTEMTIMING2, 0, "700  ", SYSTEMTARGET);
  EXPECT_EQ(SystemTimingMs(PROP_SYSTEMTIMING1), 1000);
  EXPECT_EQ(SystemTimingMs(PROP_SYSTEMTIMING2), 7000);
  EXPECT_EQ(GetProperty(PROP_SYSTEMTIMING2, 0, SYSTEMTARGET), "700");
  // Beyond what milliseconds hold in 32 bits, or below zero: clamped, never wrapped.
  SetProperty(PROP_SYSTEMTIMING1, 0, "300000000", SYSTEMTARGET);
  EXPECT_EQ(GetProperty(PROP_SYSTEMTIMING1, 0, SYSTEMTARGET), "214748364");
  SetProperty(PROP_SYSTEMTIMING2, 0, -5, SYSTEMTARGET);
  EXPECT_EQ(SystemTimingMs(PROP_SYSTEMTIMING2), 0);
  EXPECT_EQ(GetProperty(PROP_TEXT, 0, SYSTEMTARGET), "");
  // No window is needed for the runtime-wide values, nor for the printer.
  EXPECT_EQ(GetProperty(PROP_TEXT, 0, PRINTERTARGET), "");
  EXPECT_EQ(ValueStackDepth(), 0u);
}

TEST_F(WindowTest, RefreshShowsVariablesThroughTheirPictures) {
  mainWindow_ = OpenMain();
  main_.STATUSTEXT = "Playing Track 1";
  main_.TIMETEXT = "03:25";
  main_.ALBUMTITLE = "Blue Train";
  main_.TIMELABEL = "Track Time Elapsed and a longer tail";
  REFRESHCONTROLS(0, 0);
  EXPECT_EQ(Main(36).text, "Playing Track 1");
  EXPECT_EQ(Main(37).text, "03:25");
  EXPECT_EQ(Main(33).text, "Blue Train");
  EXPECT_EQ(Main(38).text, "Track Time Elapsed and a l");  // S26
  main_.STATUSTEXT = "Stopped";
  REFRESHCONTROLS(33, 35);  // 36 is outside
  EXPECT_EQ(Main(36).text, "Playing Track 1");
  REFRESHCONTROLS(36);
  EXPECT_EQ(Main(36).text, "Stopped");
}

TEST_F(WindowTest, RefreshIsDrawnAtOnce) {
  mainWindow_ = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  const int32_t status = Id("P2$CDPLAYWIN", 36);
  // Within one event, as the scan does.
  main_.STATUSTEXT = "Scanning Disc";
  REFRESHCONTROLS(36);
  main_.STATUSTEXT = "Stopped";
  REFRESHCONTROLS(36);
  REFRESHCONTROLS(0, 0);
  std::vector<std::string> painted;
  for (const auto& paint : model_.Paints()) {
    if (paint.control == status) {
      painted.push_back(paint.text);
    }
  }
  EXPECT_EQ(painted, (std::vector<std::string>{"Scanning Disc", "Stopped", "Stopped"}));
}

TEST_F(WindowTest, DropListPickAssignsTheRowsFirstFieldBeforeAccepted) {
  mainWindow_ = OpenMain();
  main_.PLAYQUEUE.Append("Moanin'", 1);
  main_.PLAYQUEUE.Append(std::string(60, 'x'), 2);
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  Input(mainWindow_, NativeInput::Type::RowPicked, 16, 1);
  Input(mainWindow_, NativeInput::Type::RowPicked, 16, 2);
  EXPECT_EQ(Next(), "EVENT:Accepted 16");
  EXPECT_EQ(main_.CURRENTTITLE, "Moanin'");
  EXPECT_EQ(SELECTEDROW(0), 1);
  EXPECT_EQ(Next(), "EVENT:Accepted 16");
  // The whole field: the picture only governs what the list shows.
  EXPECT_EQ(main_.CURRENTTITLE.str(), std::string(60, 'x'));
  EXPECT_EQ(SELECTEDROW(), 2);
  // A row the queue no longer has picks nothing.
  Input(mainWindow_, NativeInput::Type::RowPicked, 16, 3);
  Input(mainWindow_, NativeInput::Type::Activated, 11);
  EXPECT_EQ(Next(), "EVENT:Accepted 11");
  EXPECT_EQ(SELECTEDROW(16), 2);
  // A refresh selects the row that holds the variable.
  main_.CURRENTTITLE = "Moanin'";
  REFRESHCONTROLS(16);
  EXPECT_EQ(GetSelected(16), 1);
  EXPECT_EQ(Main(16).text, "Moanin'");
}

TEST_F(WindowTest, ListSelectionRaisesNewSelection) {
  const WindowHandle editor = OpenEditor();
  editor_.TRACKQUEUE.Append("A");
  editor_.TRACKQUEUE.Append("B");
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  Input(editor, NativeInput::Type::RowSelected, 6, 2, "P22$EDITWINDOW");
  EXPECT_EQ(Next(), "EVENT:NewSelection 6");
  EXPECT_EQ(SELECTEDROW(), 2);
  EXPECT_EQ(GetSelected(6), 2);
  POSTEVENT(EVENT::NewSelection, 6);
  EXPECT_EQ(Next(), "EVENT:NewSelection 6");
}

TEST_F(WindowTest, SelectionPastTheLastRowIsNoneAndAClickedRowIsRead) {
  const WindowHandle editor = OpenEditor();
  for (const char* title : {"A", "B", "C"}) {
    editor_.TRACKLISTQUEUE.Append(title);
  }
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  const uintptr_t native = NativeWindowOf(editor);
  const int32_t list = Id("P22$EDITWINDOW", 10);
  SetSelected(10, 3);
  for (int i = 0; i < 2; ++i) {
    QueueGet(&editor_.TRACKLISTQUEUE.queue, 1);
    QueueDelete(&editor_.TRACKLISTQUEUE.queue);
  }
  // No refresh: the runtime and the list agree all the same.
  EXPECT_EQ(SELECTEDROW(10), 0);
  EXPECT_EQ(GetSelected(10), 0);
  EXPECT_EQ(model_.SelectedRow(native, list), 0);
  Input(editor, NativeInput::Type::RowSelected, 10, 1, "P22$EDITWINDOW");
  EXPECT_EQ(Next(), "EVENT:NewSelection 10");
  EXPECT_EQ(SELECTEDROW(), 1);
  EXPECT_EQ(model_.SelectedRow(native, list), 1);
}

TEST_F(WindowTest, AlertKeysCarryTheirMaskedKey) {
  const WindowHandle editor = OpenEditor();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  NativeInput input;
  input.type = NativeInput::Type::AlertKey;
  input.window = NativeWindowOf(editor);
  input.control = Id("P22$EDITWINDOW", 7);
  input.key = 0x1000 | 0x222;  // Caps Lock on, Ctrl+PgDn
  model_.QueueInput(input);
  EXPECT_EQ(Next(), "EVENT:AlertKey 7");
  EXPECT_EQ(LASTKEY(), 0x222);
}

TEST_F(WindowTest, LastKeyAndMouseRowsComeWithTheInput) {
  const WindowHandle editor = OpenEditor();
  editor_.TRACKQUEUE.Append("A");
  SetTimer(75);
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  const auto input = [&](NativeInput::Type type, int32_t number, uint32_t key, int32_t row = 0,
                         NativeInput::Mouse mouse = NativeInput::Mouse::Pressed) {
    NativeInput in{type, NativeWindowOf(editor), Id("P22$EDITWINDOW", number), 0, row, key};
    in.mouse = mouse;
    model_.QueueInput(in);
  };
  input(NativeInput::Type::EntryChanged, 7, 0x0D);  // Enter
  input(NativeInput::Type::Activated, 16, 0x1120);  // Shift+Space, Caps Lock on
  input(NativeInput::Type::MouseRow, 6, 0, 2);      // rows raise no event
  input(NativeInput::Type::MouseRow, 6, 0, 3, NativeInput::Mouse::Moved);
  input(NativeInput::Type::MouseRow, 6, 0, 0, NativeInput::Mouse::Released);
  input(NativeInput::Type::Activated, 15, 0);  // a click
  EXPECT_EQ(Next(), "EVENT:Accepted 7");
  EXPECT_EQ(LASTKEY(), 0x0D);
  EXPECT_EQ(Next(), "EVENT:Accepted 16");
  EXPECT_EQ(LASTKEY(), 0x120);
  EXPECT_EQ(Next(), "EVENT:Accepted 15");
  EXPECT_EQ(LASTKEY(), 0);
  EXPECT_EQ(GetProperty(PROP_MOUSEDOWNROW, 6), "2");
  EXPECT_EQ(GetProperty(PROP_MOUSEMOVEROW, 6), "3");
  EXPECT_EQ(GetProperty(PROP_MOUSEUPROW, 6), "0");  // below the rows
  EXPECT_EQ(Next(), "EVENT:Timer");
  EXPECT_EQ(LASTKEY(), 0);
}

TEST_F(WindowTest, EditedEntriesAreAcceptedOnceAndReadBack) {
  const WindowHandle editor = OpenEditor();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  const uintptr_t native = NativeWindowOf(editor);
  const int32_t entry = Id("P22$EDITWINDOW", 7);
  model_.Type(native, entry, "So What");
  Input(editor, NativeInput::Type::EntryChanged, 7, 0, "P22$EDITWINDOW");
  Input(editor, NativeInput::Type::Activated, 7, 0, "P22$EDITWINDOW");
  Input(editor, NativeInput::Type::Activated, 14, 0, "P22$EDITWINDOW");
  EXPECT_EQ(Next(), "EVENT:Accepted 7");
  EXPECT_EQ(editor_.TRACKTITLE, "So What");
  EXPECT_EQ(Next(), "EVENT:Accepted 14");
  EXPECT_EQ(GetText(7), "So What");
  // The artist typed before another button was pressed survives a redisplay.
  model_.Type(native, Id("P22$EDITWINDOW", 3), "Miles Davis");
  Input(editor, NativeInput::Type::EntryChanged, 3, 0, "P22$EDITWINDOW");
  Input(editor, NativeInput::Type::Activated, 16, 0, "P22$EDITWINDOW");
  EXPECT_EQ(Next(), "EVENT:Accepted 3");
  EXPECT_EQ(Next(), "EVENT:Accepted 16");
  REFRESHCONTROLS(0, 0);
  EXPECT_EQ(editor_.ALBUMARTIST, "Miles Davis");
  EXPECT_EQ(model_.Control(native, Id("P22$EDITWINDOW", 3))->text, "Miles Davis");
  model_.Type(native, entry, "Blue in Green");
  READCONTROLS(7);
  EXPECT_EQ(editor_.TRACKTITLE, "Blue in Green");
  // A refresh puts the variable back through the entry's picture.
  editor_.ALBUMTITLE = "Kind of Blue";
  REFRESHCONTROLS(5);
  EXPECT_EQ(model_.Control(native, Id("P22$EDITWINDOW", 5))->text, "Kind of Blue");
  // Reading entries only: the drop list keeps its variable.
  editor_.PLAYLISTNAME = "Favourites";
  READCONTROLS(0, 0);
  EXPECT_EQ(editor_.PLAYLISTNAME, "Favourites");
  EXPECT_EQ(editor_.ALBUMTITLE, "Kind of Blue");
}

TEST_F(WindowTest, DragReachesTheSourceBeforeTheDropReachesTheTarget) {
  const WindowHandle editor = OpenEditor();
  editor_.TRACKQUEUE.Append("Track 1");
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  NativeInput drop;
  drop.type = NativeInput::Type::Dropped;
  drop.window = NativeWindowOf(editor);
  drop.control = Id("P22$EDITWINDOW", 6);
  drop.target = Id("P22$EDITWINDOW", 10);
  drop.row = 3;
  model_.QueueInput(drop);
  // Refused: entry 3 takes only "Move Track".
  drop.target = Id("P22$EDITWINDOW", 3);
  model_.QueueInput(drop);
  // List 10 offers "Move Track", which the covering region takes; below the rows is row 0.
  drop.control = Id("P22$EDITWINDOW", 10);
  drop.target = Id("P22$EDITWINDOW", 17);
  drop.row = 0;
  model_.QueueInput(drop);

  EXPECT_EQ(Next(), "EVENT:Drag 6");
  DROPTAG();
  EXPECT_EQ(PopText(), "");
  EXPECT_EQ(Next(), "EVENT:Drop 10");
  DROPTAG();
  EXPECT_EQ(PopText(), "Add Track");
  EXPECT_EQ(GetProperty(PROP_MOUSEUPROW, 10), "3");
  // A skipped drag still hands its drop on.
  EXPECT_EQ(Next(), "EVENT:Drag 10");
  SKIPEVENT();
  EXPECT_EQ(Next(), "EVENT:Drop 17");
  DROPTAG();
  EXPECT_EQ(PopText(), "Move Track");
  EXPECT_EQ(GetProperty(PROP_MOUSEUPROW, 17), "0");
  EXPECT_EQ(model_.PendingInput(), 0u);
}

TEST_F(WindowTest, DisabledOrHiddenControlsTakeNoDrop) {
  const WindowHandle editor = OpenEditor();
  editor_.TRACKQUEUE.Append("Track 1");
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  NativeInput drop;
  drop.type = NativeInput::Type::Dropped;
  drop.window = NativeWindowOf(editor);
  drop.control = Id("P22$EDITWINDOW", 6);
  drop.target = Id("P22$EDITWINDOW", 10);
  drop.row = 1;
  // Disabled, hidden, and on a hidden tab; a click on Apply marks the end of each.
  struct Case {
    int32_t first;
    int32_t last;
    bool hide;
  };
  for (const Case c : {Case{9, 10, false}, Case{10, 0, true}, Case{2, 0, true}}) {
    c.hide ? HIDECONTROLS(c.first, c.last) : DISABLECONTROLS(c.first, c.last);
    model_.QueueInput(drop);
    Input(editor, NativeInput::Type::Activated, 16, 0, "P22$EDITWINDOW");
    EXPECT_EQ(Next(), "EVENT:Accepted 16") << c.first;
    c.hide ? UNHIDECONTROLS(c.first, c.last) : ENABLECONTROLS(c.first, c.last);
  }
  model_.QueueInput(drop);
  EXPECT_EQ(Next(), "EVENT:Drag 6");
}

TEST_F(WindowTest, DropIdentifiersMatchWithoutRegardToCase) {
  constexpr std::string_view kDescription = R"(set test$DRAGS
window DRAGWIN
  at default default 100 100
  1 list at 0 0 50 50 format "40L@S10@" dragids "move TRACK"
  2 list at 50 0 50 50 format "40L@S10@" dropids "Other" "Move Track"
  3 region at 0 50 100 50 dropids "Moved Track"
)";
  windows::DescriptionError error;
  const auto set = windows::ParseDescription(kDescription, &error);
  ASSERT_TRUE(set) << error.line << ": " << error.message;
  platform::ResourceModule module("drags");
  const std::vector<uint8_t> bytes = windows::WriteDefinitionSet(*set);
  module.Add(platform::kDefinitionResourceType, windows::DefinitionResourceName("test$DRAGS"),
             bytes);
  const platform::ModuleId id = platform::LoadResourceModule(std::move(module));
  TitleQueue a;
  TitleQueue b;
  const WindowHandle window = WINDOWCREATE("DRAGWIN", "test$DRAGS", {&a.queue, &b.queue});
  ASSERT_NE(window, 0) << WindowCreateError();
  WINDOWOPEN(window);
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  NativeInput drop;
  drop.type = NativeInput::Type::Dropped;
  drop.window = NativeWindowOf(window);
  drop.control = 1;
  drop.target = 3;  // "Moved Track" is another identifier
  model_.QueueInput(drop);
  drop.target = 2;
  drop.row = 1;
  model_.QueueInput(drop);
  EXPECT_EQ(Next(), "EVENT:Drag 1");
  EXPECT_EQ(Next(), "EVENT:Drop 2");
  DROPTAG();
  EXPECT_EQ(PopText(), "move TRACK");  // the source's own identifier
  WINDOWCLOSE(window);
  platform::FreeResourceModule(id);
}

TEST_F(WindowTest, MessageDialogButtonsLinesAndAnswers) {
  struct Case {
    const char* label;
    std::string buttons;
    int32_t defaultButton;
    int32_t style;
    std::function<void()> answer;
    std::vector<std::string> expectedButtons;
    int32_t expectedDefault;
    int32_t result;
  };
  const Case cases[] = {
      {"Yes/No answered No",
       "6",
       BUTTON_NO,
       0,
       [&] { model_.AnswerMessageBox("&No"); },
       {"&Yes", "&No"},
       1,
       4},
      {"Yes/No answered Yes",
       "6",
       BUTTON_NO,
       0,
       [&] { model_.AnswerMessageBox("&Yes"); },
       {"&Yes", "&No"},
       1,
       2},
      {"every bit",
       "255",
       BUTTON_HELP,
       1,
       [&] { model_.AnswerMessageBox("Cancel"); },
       {"OK", "&Yes", "&No", "&Abort", "&Retry", "&Ignore", "Cancel", "&Help"},
       7,
       64},
      {"custom labels",
       "Keep|Discard|Later",
       2,
       0,
       [&] { model_.AnswerMessageBox("Later"); },
       {"Keep", "Discard", "Later"},
       1,
       3},
      {"closed without a button", "6", BUTTON_NO, 0, [] {}, {"&Yes", "&No"}, 1, 0},
      {"no bits", "0", 0, 0, [&] { model_.AnswerMessageBoxIndex(0); }, {"OK"}, 0, 1},
  };
  for (const Case& c : cases) {
    c.answer();
    PushText(c.buttons);
    PushText(std::string("\xFF\x01\x03\x7F", 4));
    PushText("Confirm");
    PushText("a|b");
    EXPECT_EQ(MESSAGEDIALOG(c.defaultButton, c.style), c.result) << c.label;
    const platform::MessageBoxSpec& shown = model_.MessageBoxes().back().spec;
    EXPECT_EQ(shown.lines, (std::vector<std::string>{"a", "b"})) << c.label;
    EXPECT_EQ(shown.caption, "Confirm");
    EXPECT_EQ(shown.icon, std::string("\xFF\x01\x03\x7F", 4));
    EXPECT_EQ(shown.buttons, c.expectedButtons) << c.label;
    EXPECT_EQ(shown.defaultButton, c.expectedDefault) << c.label;
    EXPECT_EQ(shown.systemModal, c.style != 0) << c.label;
    EXPECT_EQ(ValueStackDepth(), 0u);
  }
}

TEST_F(WindowTest, ModalDialogRunsInsideTheCallersLoopBody) {
  mainWindow_ = OpenMain();
  SetTimer(75);
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  Input(mainWindow_, NativeInput::Type::Activated, 18);
  std::vector<std::string> trace;
  while (EVENTLOOP()) {
    trace.push_back(std::string(EventNameOf(CURRENTEVENT())));
    if (ACCEPTEDCONTROL() == 18) {
      FixedText<60> name("Old name");
      const WindowHandle dialog = WINDOWCREATE("P26$EDITWINDOW", kTag, {&name});
      WINDOWOPEN(dialog);
      REFRESHCONTROLS(0, 0);
      const uintptr_t native = NativeWindowOf(dialog);
      EXPECT_EQ(model_.Control(native, 2)->text, "Old name");  // the entry
      model_.Type(native, 2, "New name");
      NativeInput ok;
      ok.window = native;
      ok.control = 3;  // "OK"
      model_.QueueInput(ok);
      while (EVENTLOOP()) {
        trace.push_back("dialog " + std::string(EventNameOf(CURRENTEVENT())));
        EXPECT_EQ(CurrentWindow(), dialog);
        if (ACCEPTEDCONTROL() == 2) {
          READCONTROLS(0, 0);
          POSTEVENT(EVENT::CloseWindow);
        }
      }
      EXPECT_EQ(CurrentWindow(), mainWindow_);
      WINDOWCLOSE(dialog);
      EXPECT_EQ(name, "New name");
      // The caller's event is current again.
      EXPECT_EQ(ACCEPTEDCONTROL(), 18);
      trace.push_back("closed");
    } else if (CURRENTEVENT() == EVENT::Timer) {
      break;
    }
  }
  EXPECT_EQ(trace, (std::vector<std::string>{"EVENT:Accepted", "dialog EVENT:OpenWindow",
                                             "dialog EVENT:Accepted", "dialog EVENT:CloseWindow",
                                             "closed", "EVENT:Timer"}));
  EXPECT_EQ(CurrentWindow(), mainWindow_);
}

TEST_F(WindowTest, InputForAWindowBeneathAModalDialogIsDropped) {
  mainWindow_ = OpenMain();
  FixedText<60> name;
  const WindowHandle dialog = WINDOWCREATE("P26$EDITWINDOW", kTag, {&name});
  WINDOWOPEN(dialog);
  Input(mainWindow_, NativeInput::Type::Activated, 12);
  Input(dialog, NativeInput::Type::CloseRequested, 0);
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  EXPECT_EQ(Next(), "EVENT:CloseWindow");
  EXPECT_EQ(Next(), "end");
  WINDOWCLOSE(dialog);
  EXPECT_EQ(Next(), "EVENT:OpenWindow");  // the main window's own first event
}

TEST_F(WindowTest, HelpFileGetsAnExtensionAndTheTopicGoesToTheNewWindow) {
  mainWindow_ = CreateMain();
  PushText("Contents");
  PushText("ZQ15EXAM");
  SETHELPFILE();
  EXPECT_EQ(HelpFile(), "ZQ15EXAM.HLP");
  EXPECT_EQ(HelpTopic(mainWindow_), "Contents");
  PushText("");
  PushText("");
  SETHELPFILE();
  EXPECT_EQ(HelpFile(), "ZQ15EXAM.HLP");  // an empty name keeps the file
  PushText("");
  PushText("help.v2\\PLAYER");
  SETHELPFILE();
  EXPECT_EQ(HelpFile(), "help.v2\\PLAYER.HLP");  // a dot in a folder is no extension
  PushText("");
  PushText("player.chm");
  SETHELPFILE();
  EXPECT_EQ(HelpFile(), "player.chm");
}

using WindowDeathTest = WindowTest;

TEST_F(WindowDeathTest, PropertyOfAWindowThatIsNotOpenIsFatal) {
  mainWindow_ = CreateMain();
  EXPECT_EXIT(GetProperty(PROP_TEXT, 0, mainWindow_), ::testing::ExitedWithCode(2),
              "Window is not open");
  EXPECT_EXIT(SetText(0, "x"), ::testing::ExitedWithCode(2), "Window is not open");
  WINDOWOPEN(mainWindow_);
  WINDOWCLOSE(mainWindow_);
  EXPECT_EXIT(GetProperty(PROP_TEXT, 0, mainWindow_), ::testing::ExitedWithCode(2),
              "Window is not open");
}

TEST_F(WindowDeathTest, EventLoopWithoutAWindowIsFatal) {
  EXPECT_EXIT(EVENTLOOP(), ::testing::ExitedWithCode(2), "ACCEPT loop requires a window");
}

TEST_F(WindowDeathTest, RefusedWindowIsFatal) {
  mainWindow_ = CreateMain();
  model_.RefuseWindows(true);
  EXPECT_EXIT(WINDOWOPEN(mainWindow_), ::testing::ExitedWithCode(2), "Unable to open WINDOW");
  EXPECT_EXIT(WINDOWOPEN(0), ::testing::ExitedWithCode(2), "Unable to open WINDOW");
}

TEST(EventTable, NamesEveryEventByValue) {
  EXPECT_EQ(EventTable().size(), 61u);
  struct Row {
    int32_t value;
    std::string_view name;
  };
  const Row rows[] = {{0x01, "EVENT:Accepted"},
                      {0x02, "EVENT:NewSelection"},
                      {0x0F, "EVENT:AlertKey"},
                      {0x12, "EVENT:Drag"},
                      {0x13, "EVENT:Drop"},
                      {0x1E, "EVENT:ColumnResize"},
                      {0x101, "EVENT:Selected"},
                      {0x201, "EVENT:CloseWindow"},
                      {0x203, "EVENT:OpenWindow"},
                      {0x206, "EVENT:GainFocus"},
                      {0x207, ""},
                      {0x208, "EVENT:Suspend"},
                      {0x20B, "EVENT:Timer"},
                      {0x211, "EVENT:DDEclosed"},
                      {0x212, ""},
                      {0x220, "EVENT:Move"},
                      {0x225, "EVENT:Completed"},
                      {0x230, "EVENT:Moved"},
                      {0x234, "EVENT:Iconized"},
                      {0x242, "EVENT:BuildDone"},
                      {0, ""},
                      {0x1F, ""}};
  for (const Row& row : rows) {
    EXPECT_EQ(EventNameOf(row.value), row.name) << std::hex << row.value;
  }
  int32_t previous = 0;
  for (const EventName& event : EventTable()) {
    EXPECT_GT(event.value, previous) << event.name;  // sorted, no value twice
    previous = event.value;
  }
  EXPECT_TRUE(IsFieldEvent(EVENT::Drop));
  EXPECT_FALSE(IsFieldEvent(EVENT::Timer));
}

// The main window shows what its loop body changed once the body is done; the title dialog,
// without the flag, only what the body refreshes.
TEST_F(WindowTest, TheMainWindowRedisplaysItsVariablesAfterEachEvent) {
  mainWindow_ = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  main_.STATUSTEXT = "Stopped";
  EXPECT_EQ(Main(36).text, "");
  Input(mainWindow_, NativeInput::Type::Activated, 12);
  EXPECT_EQ(Next(), "EVENT:Accepted 12");
  EXPECT_EQ(Main(36).text, "Stopped");

  FixedText<60> entry;
  const WindowHandle dialog = WINDOWCREATE("P26$EDITWINDOW", kTag, {&entry});
  ASSERT_NE(dialog, 0);
  WINDOWOPEN(dialog);
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  entry = "Changed";
  Input(dialog, NativeInput::Type::Activated, 2, 0, "P26$EDITWINDOW");
  EXPECT_EQ(Next(), "EVENT:Accepted 2");
  EXPECT_EQ(model_.Control(NativeWindowOf(dialog), Id("P26$EDITWINDOW", 1))->text, "");
}

}  // namespace
}  // namespace vantora::runtime
