// SPDX-License-Identifier: GPL-3.0-or-later
// The runtime's event loop on real Qt widgets: the player's windows created with their bound
// variables, driven by clicks, keys, drags and moves on the offscreen platform, and the events the
// loop body sees in return.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/qt/qt_window_system.h"
#include "platform/window_system.h"
#include "runtime/events.h"
#include "runtime/queue.h"
#include "runtime/text.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"
#include "tests/support/player_windows.h"
#include "tests/support/qt_widgets.h"
#include "windows/definition.h"
#include "windows/native_spec.h"

namespace vantora::runtime {
namespace {

using namespace std::chrono_literals;
using platform::ClockTime;
using platform::qt::QtWindowSystem;

constexpr std::string_view kMain = "P2$CDPLAYWIN";
constexpr std::string_view kEditor = "P22$EDITWINDOW";
constexpr std::string_view kTitleDialog = "P26$EDITWINDOW";

using testing::CreateEditorWindow;
using testing::CreateMainWindow;
using testing::DragRow;
using testing::EditorVariables;
using testing::Id;
using testing::kTag;
using testing::MenuItem;
using testing::RowCentre;
using testing::TitleQueue;
using testing::TopLevel;
using testing::Widget;
using MainVariables = testing::MainWindowVariables;

// Gives the menu two seconds to show.
void PickMenuItem(QAction* item) {
  testing::PickMenuItem(item, 2000);
}

class RuntimeEventsTest : public ::testing::Test {
 protected:
  static constexpr int kGuardMs = 10'000;

  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "runtime_events_test";
    static char* argv[] = {name, nullptr};
    system_ = std::make_unique<QtWindowSystem>(argc, argv);
  }
  static void TearDownTestSuite() { system_.reset(); }

  void SetUp() override {
    platform::SetCurrentWindowSystem(system_.get());
    ResetValueStacks();
    guard_.emplace(*system_, kGuardMs, "no end within " + std::to_string(kGuardMs) + " ms",
                   testing::DismissBoxesAndPopups);
  }
  void TearDown() override {
    guard_.reset();
    testing::DismissBoxesAndPopups();
    ResetWindows();
    platform::SetCurrentWindowSystem(nullptr);
  }

  WindowHandle OpenMain() {
    const WindowHandle window = CreateMainWindow(main_);
    EXPECT_NE(window, 0) << WindowCreateError();
    WINDOWOPEN(window);
    REFRESHCONTROLS(0, 0);
    return window;
  }
  WindowHandle OpenEditor() {
    const WindowHandle window = CreateEditorWindow(editor_);
    EXPECT_NE(window, 0) << WindowCreateError();
    WINDOWOPEN(window);
    REFRESHCONTROLS(0, 0);
    return window;
  }

  // Runs `action` once the runtime waits for input: real input arrives while the loop waits.
  static void Later(std::function<void()> action) {
    QTimer::singleShot(0, qApp, std::move(action));
  }

  // Takes the next event of the current window and names it ("EVENT:Accepted 12"); "end" once
  // the loop has ended.
  static std::string Next() {
    if (CurrentWindow() == 0 || !EVENTLOOP()) {
      return "end";
    }
    std::string name(EventNameOf(CURRENTEVENT()));
    return EVENTCONTROL() == 0 ? name : name + " " + std::to_string(EVENTCONTROL());
  }
  // The events before `marker` (which is taken too), selections left out: pressing a row to drag
  // it also selects it.
  static std::vector<std::string> EventsUntil(const std::string& marker) {
    std::vector<std::string> events;
    for (std::string event = Next(); event != marker; event = Next()) {
      if (event.rfind("EVENT:NewSelection", 0) == 0) {
        continue;
      }
      events.push_back(event);
      if (event == "end") {
        break;
      }
    }
    return events;
  }

  static std::unique_ptr<QtWindowSystem> system_;
  std::optional<testing::RunGuard> guard_;
  MainVariables main_;
  EditorVariables editor_;
};

std::unique_ptr<QtWindowSystem> RuntimeEventsTest::system_;

TEST_F(RuntimeEventsTest, OpenWindowComesFirstThenAToolbarClickIsAccepted) {
  const WindowHandle window = OpenMain();
  // Input already waiting does not overtake the open.
  auto* play = Widget<QPushButton>(window, kMain, 12);
  ASSERT_NE(play, nullptr);
  Later([play] { QTest::mouseClick(play, Qt::LeftButton); });
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  EXPECT_EQ(CURRENTEVENT(), EVENT::OpenWindow);
  EXPECT_EQ(ACCEPTEDCONTROL(), 0);
  EXPECT_EQ(Next(), "EVENT:Accepted 12");
  EXPECT_EQ(ACCEPTEDCONTROL(), 12);
  // A disabled button gives nothing; the next click on another does.
  DISABLECONTROLS(13);
  auto* pause = Widget<QPushButton>(window, kMain, 13);
  auto* next = Widget<QPushButton>(window, kMain, 14);
  ASSERT_TRUE(pause && next);
  EXPECT_FALSE(pause->isEnabled());
  Later([pause, next] {
    QTest::mouseClick(pause, Qt::LeftButton);
    QTest::mouseClick(next, Qt::LeftButton);
  });
  EXPECT_EQ(Next(), "EVENT:Accepted 14");
  EXPECT_EQ(ACCEPTEDCONTROL(), 14);
}

TEST_F(RuntimeEventsTest, RegionIsAcceptedForEveryMouseButtonAndDoubleClicks) {
  const WindowHandle window = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  QWidget* region = Widget(window, kMain, 34);
  ASSERT_NE(region, nullptr);
  for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
    SCOPED_TRACE(static_cast<int>(button));
    Later([region, button] {
      QTest::mousePress(region, button);
      QTest::mouseRelease(region, button);
    });
    EXPECT_EQ(Next(), "EVENT:Accepted 34");
    EXPECT_EQ(ACCEPTEDCONTROL(), 34);
  }
  // A double click counts as presses of its own; a button click afterwards marks the end.
  auto* play = Widget<QPushButton>(window, kMain, 12);
  ASSERT_NE(play, nullptr);
  Later([region, play] {
    QTest::mouseDClick(region, Qt::LeftButton);
    QTest::mouseClick(play, Qt::LeftButton);
  });
  const std::vector<std::string> events = EventsUntil("EVENT:Accepted 12");
  EXPECT_FALSE(events.empty());
  for (const std::string& event : events) {
    EXPECT_EQ(event, "EVENT:Accepted 34");
  }
}

TEST_F(RuntimeEventsTest, CheckItemFlipsItsVariableBeforeAccepted) {
  const WindowHandle window = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  QAction* stayOnTop = MenuItem(window, "&Options", "&Stay On Top");
  ASSERT_NE(stayOnTop, nullptr);
  ASSERT_TRUE(stayOnTop->isCheckable());
  EXPECT_FALSE(stayOnTop->isChecked());
  for (const int32_t expected : {1, 0, 1}) {
    SCOPED_TRACE(expected);
    Later([stayOnTop] { PickMenuItem(stayOnTop); });
    EXPECT_EQ(Next(), "EVENT:Accepted 5");
    EXPECT_EQ(ACCEPTEDCONTROL(), 5);
    EXPECT_EQ(main_.STAYONTOP, expected);
    EXPECT_EQ(stayOnTop->isChecked(), expected == 1);
  }
  // The other check items keep their variables.
  EXPECT_EQ(main_.CONTROLPANEL, 0);
  EXPECT_EQ(main_.AUTOPLAY, 0);
}

TEST_F(RuntimeEventsTest, DropListPickHoldsTheRowsFirstFieldBeforeAccepted) {
  main_.PLAYLISTQUEUE.Append("Album Order", 1);
  main_.PLAYLISTQUEUE.Append("Favourites", 2);
  main_.PLAYLISTQUEUE.Append("Quiet ones", 3);
  main_.SELECTEDPLAYLIST = "Favourites";
  const WindowHandle window = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  auto* combo = Widget<QComboBox>(window, kMain, 32);
  ASSERT_NE(combo, nullptr);
  const uintptr_t native = NativeWindowOf(window);
  const int32_t id = Id(kMain, 32);
  // The list shows its variable; the row holding the same text is the current one.
  EXPECT_EQ(system_->Text(native, id), "Favourites");
  EXPECT_EQ(system_->SelectedRow(native, id), 2);
  EXPECT_EQ(combo->count(), 3);
  Later([combo] {
    combo->setFocus();
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window(), 2000));
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Return);
  });
  EXPECT_EQ(Next(), "EVENT:Accepted 32");
  EXPECT_EQ(ACCEPTEDCONTROL(), 32);
  // The title alone: the record's number is no part of the variable.
  EXPECT_EQ(main_.SELECTEDPLAYLIST.str(), "Quiet ones");
  EXPECT_EQ(SELECTEDROW(32), 3);
  EXPECT_EQ(system_->Text(native, id), "Quiet ones");
  EXPECT_EQ(GetText(32), "Quiet ones");
}

TEST_F(RuntimeEventsTest, ListSelectionRaisesNewSelectionWithTheRow) {
  for (const char* title : {"Overture", "Second Movement", "Finale"}) {
    editor_.TRACKQUEUE.Append(title);
  }
  const WindowHandle window = OpenEditor();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  auto* list = Widget<QTreeView>(window, kEditor, 6);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->model()->rowCount(), 3);
  for (const int row : {3, 1}) {
    SCOPED_TRACE(row);
    Later([list, row] {
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, row - 1));
    });
    EXPECT_EQ(Next(), "EVENT:NewSelection 6");
    EXPECT_EQ(SELECTEDROW(), row);
    EXPECT_EQ(SELECTEDROW(6), row);
    EXPECT_EQ(GetSelected(6), row);
    EXPECT_EQ(ACCEPTEDCONTROL(), 0);
  }
}

TEST_F(RuntimeEventsTest, SelectionPastTheLastRowIsNoneAndAClickedRowIsRead) {
  for (const char* title : {"First", "Second", "Third"}) {
    editor_.TRACKLISTQUEUE.Append(title);
  }
  const WindowHandle window = OpenEditor();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  auto* list = Widget<QTreeView>(window, kEditor, 10);
  ASSERT_NE(list, nullptr);
  const uintptr_t native = NativeWindowOf(window);
  const int32_t id = Id(kEditor, 10);
  SetSelected(10, 3);
  for (int i = 0; i < 2; ++i) {
    QueueGet(&editor_.TRACKLISTQUEUE.queue, 1);
    QueueDelete(&editor_.TRACKLISTQUEUE.queue);
  }
  // Before the list draws again, and after.
  EXPECT_EQ(SELECTEDROW(10), 0);
  EXPECT_EQ(system_->SelectedRow(native, id), 0);
  list->viewport()->repaint();
  EXPECT_FALSE(list->selectionModel()->hasSelection());
  Later([list] { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 0)); });
  EXPECT_EQ(Next(), "EVENT:NewSelection 10");
  EXPECT_EQ(SELECTEDROW(), 1);
  EXPECT_EQ(system_->SelectedRow(native, id), 1);
}

TEST_F(RuntimeEventsTest, AlertKeysInTheTrackEntryCarryTheirKey) {
  editor_.TRACKTITLE = "Overture";
  const WindowHandle window = OpenEditor();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  auto* entry = Widget<QLineEdit>(window, kEditor, 7);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), "Overture");
  struct Key {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int32_t code;
  };
  for (const Key& key : {Key{"Down", Qt::Key_Down, {}, 0x28},
                         Key{"Ctrl+PgDn", Qt::Key_PageDown, Qt::ControlModifier, 0x222},
                         Key{"Up", Qt::Key_Up, {}, 0x26}}) {
    SCOPED_TRACE(key.name);
    Later([entry, key] {
      entry->setFocus();
      QTest::keyClick(entry, key.key, key.modifiers);
    });
    EXPECT_EQ(Next(), "EVENT:AlertKey 7");
    EXPECT_EQ(LASTKEY(), key.code);
    EXPECT_EQ(EVENTCONTROL(), 7);
  }
  // A key not on the list is typing; the edit shows once the alert comes, and reads back.
  Later([entry] {
    entry->setFocus();
    QTest::keyClick(entry, Qt::Key_End);
    QTest::keyClicks(entry, " in C");
    QTest::keyClick(entry, Qt::Key_Down);
  });
  EXPECT_EQ(Next(), "EVENT:Accepted 7");
  EXPECT_EQ(Next(), "EVENT:AlertKey 7");
  EXPECT_EQ(LASTKEY(), 0x28);
  READCONTROLS(7);
  EXPECT_EQ(editor_.TRACKTITLE.str(), "Overture in C");
}

TEST_F(RuntimeEventsTest, TypedEntryReachesItsVariableBeforeTheNextControlsEvent) {
  editor_.ALBUMARTIST = "Someone";
  const WindowHandle window = OpenEditor();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  QWidget* top = TopLevel(window);
  auto* artist = Widget<QLineEdit>(window, kEditor, 3);
  auto* apply = Widget<QPushButton>(window, kEditor, 16);
  ASSERT_TRUE(top && artist && apply);
  top->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(top, 2000));
  Later([artist, apply] {
    artist->setFocus();
    artist->selectAll();
    QTest::keyClicks(artist, "Miles Davis");
    QTest::mouseClick(apply, Qt::LeftButton);
  });
  EXPECT_EQ(Next(), "EVENT:Accepted 3");
  EXPECT_EQ(editor_.ALBUMARTIST.str(), "Miles Davis");
  EXPECT_EQ(LASTKEY(), 0) << "the focus went to the mouse";
  EXPECT_EQ(Next(), "EVENT:Accepted 16");
  REFRESHCONTROLS(0, 0);
  EXPECT_EQ(artist->text(), "Miles Davis");
}

TEST_F(RuntimeEventsTest, LastKeyAndMouseRowsComeFromTheUsersInput) {
  for (const char* title : {"Overture", "Second Movement", "Finale"}) {
    editor_.TRACKQUEUE.Append(title);
  }
  const WindowHandle window = OpenEditor();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  QWidget* top = TopLevel(window);
  auto* title = Widget<QLineEdit>(window, kEditor, 5);
  auto* apply = Widget<QPushButton>(window, kEditor, 16);
  auto* tracks = Widget<QTreeView>(window, kEditor, 6);
  ASSERT_TRUE(top && title && apply && tracks);
  top->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(top, 2000));
  // Enter in an entry (which takes the edit and presses OK), Space on a button; then pressed over
  // row 2, released over row 1, moved to row 3 with no button held, and a click.
  Later([title, apply, tracks] {
    title->setFocus();
    QTest::keyClicks(title, "Kind of Blue");
    QTest::keyClick(title, Qt::Key_Return);
    apply->setFocus();
    QTest::keyClick(apply, Qt::Key_Space);
    QTest::mousePress(tracks->viewport(), Qt::LeftButton, {}, RowCentre(tracks, 1));
    QTest::mouseRelease(tracks->viewport(), Qt::LeftButton, {}, RowCentre(tracks, 0));
    QTest::mouseMove(tracks->viewport(), RowCentre(tracks, 2));
    QTest::mouseClick(apply, Qt::LeftButton);
  });
  EXPECT_EQ(Next(), "EVENT:Accepted 5");
  EXPECT_EQ(LASTKEY(), 0x0D);
  EXPECT_EQ(Next(), "EVENT:Accepted 14");
  EXPECT_EQ(LASTKEY(), 0x0D);
  EXPECT_EQ(Next(), "EVENT:Accepted 16");
  EXPECT_EQ(LASTKEY(), 0x20);
  EXPECT_EQ(Next(), "EVENT:NewSelection 6");
  EXPECT_EQ(LASTKEY(), 0);
  EXPECT_EQ(Next(), "EVENT:Accepted 16");
  EXPECT_EQ(LASTKEY(), 0);
  EXPECT_EQ(GetProperty(PROP_MOUSEDOWNROW, 6), "2");
  EXPECT_EQ(GetProperty(PROP_MOUSEUPROW, 6), "1");
  EXPECT_EQ(GetProperty(PROP_MOUSEMOVEROW, 6), "3");
}

class RuntimeDragTest : public RuntimeEventsTest {
 protected:
  void SetUp() override {
    RuntimeEventsTest::SetUp();
    for (const char* title : {"Overture", "Second Movement", "Finale"}) {
      editor_.TRACKQUEUE.Append(title);
    }
    for (const char* title : {"First", "Second"}) {
      editor_.TRACKLISTQUEUE.Append(title);
    }
    window_ = OpenEditor();
    EXPECT_EQ(Next(), "EVENT:OpenWindow");
    tracks_ = Widget<QTreeView>(window_, kEditor, 6);
    playlist_ = Widget<QTreeView>(window_, kEditor, 10);
    apply_ = Widget<QPushButton>(window_, kEditor, 16);
  }

  // The drag, then a click on Apply to mark the end of what it raised.
  std::vector<std::string> Drag(QTreeView* source, int row, QWidget* target, QPoint point) {
    QPushButton* apply = apply_;
    Later([source, row, target, point, apply] {
      DragRow(source, row, target, point);
      QTest::mouseClick(apply, Qt::LeftButton);
    });
    return EventsUntil("EVENT:Accepted 16");
  }

  WindowHandle window_ = 0;
  QTreeView* tracks_ = nullptr;
  QTreeView* playlist_ = nullptr;
  QPushButton* apply_ = nullptr;
};

TEST_F(RuntimeDragTest, TrackDraggedToThePlaylistReachesTheSourceThenTheTarget) {
  ASSERT_TRUE(tracks_ && playlist_ && apply_);
  std::vector<std::string> seen;
  QPushButton* apply = apply_;
  QTreeView* tracks = tracks_;
  QTreeView* playlist = playlist_;
  Later([tracks, playlist, apply] {
    DragRow(tracks, 2, playlist->viewport(), RowCentre(playlist, 1));
    QTest::mouseClick(apply, Qt::LeftButton);
  });
  while (EVENTLOOP()) {
    if (CURRENTEVENT() == EVENT::NewSelection) {
      continue;
    }
    DROPTAG();
    std::string event = std::string(EventNameOf(CURRENTEVENT())) + " " +
                        std::to_string(EVENTCONTROL()) + " [" + PopText() + "]";
    if (CURRENTEVENT() == EVENT::Drop) {
      event += " row " + GetProperty(PROP_MOUSEUPROW, 10);
    }
    seen.push_back(event);
    if (ACCEPTEDCONTROL() == 16) {
      break;
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"EVENT:Drag 6 []", "EVENT:Drop 10 [Add Track] row 2",
                                            "EVENT:Accepted 16 []"}));
  // Below the rows is row 0.
  EXPECT_EQ(
      Drag(tracks_, 0, playlist_->viewport(), QPoint(10, playlist_->viewport()->height() - 3)),
      (std::vector<std::string>{"EVENT:Drag 6", "EVENT:Drop 10"}));
  EXPECT_EQ(GetProperty(PROP_MOUSEUPROW, 10), "0");
}

TEST_F(RuntimeDragTest, DropIdsDecideWhereADragIsTaken) {
  ASSERT_TRUE(tracks_ && playlist_ && apply_);
  // The playlist offers "Move Track", which the track list takes.
  EXPECT_EQ(Drag(playlist_, 1, tracks_->viewport(), RowCentre(tracks_, 0)),
            (std::vector<std::string>{"EVENT:Drag 10", "EVENT:Drop 6"}));
  // The row under the pointer stays readable after the drop.
  EXPECT_EQ(GetProperty(PROP_MOUSEUPROW, 6), "1");
  // The track list offers "Add Track": the entries and buttons take only "Move Track".
  auto* entry = Widget<QLineEdit>(window_, kEditor, 7);
  auto* ok = Widget<QPushButton>(window_, kEditor, 14);
  ASSERT_TRUE(entry && ok);
  EXPECT_TRUE(Drag(tracks_, 1, entry, entry->rect().center()).empty());
  EXPECT_TRUE(Drag(tracks_, 1, ok, ok->rect().center()).empty());
  // Nor does the track list take its own "Add Track" back.
  EXPECT_TRUE(Drag(tracks_, 0, tracks_->viewport(), RowCentre(tracks_, 2)).empty());
}

TEST_F(RuntimeEventsTest, TimerTicksAtItsPeriodOnTheOneClock) {
  platform::ManualClock clock(ClockTime{1000});
  platform::ScopedClock scoped(clock);
  const WindowHandle window = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  const ClockTime start = clock.Now();
  SetTimer(75);
  EXPECT_EQ(GetProperty(PROP_TIMER), "75");
  // Each tick is reached in two steps: just short of it, then onto it.
  QTimer::singleShot(0, qApp, [&clock] { clock.Advance(749ms); });
  QTimer::singleShot(60, qApp, [&clock] { clock.Advance(1ms); });
  EXPECT_EQ(Next(), "EVENT:Timer");
  EXPECT_EQ(clock.Now() - start, 750ms);
  QTimer::singleShot(0, qApp, [&clock] { clock.Advance(700ms); });
  QTimer::singleShot(60, qApp, [&clock] { clock.Advance(50ms); });
  EXPECT_EQ(Next(), "EVENT:Timer");
  EXPECT_EQ(clock.Now() - start, 1500ms);
  // Stopped: time passes without ticks, and input still comes.
  SetTimer(0);
  auto* play = Widget<QPushButton>(window, kMain, 12);
  ASSERT_NE(play, nullptr);
  QTimer::singleShot(0, qApp, [&clock] { clock.Advance(5000ms); });
  QTimer::singleShot(60, qApp, [play] { QTest::mouseClick(play, Qt::LeftButton); });
  EXPECT_EQ(Next(), "EVENT:Accepted 12");
}

// Notes the text of a label each time it is drawn.
class PaintedTexts final : public QObject {
 public:
  explicit PaintedTexts(QLabel* label) : label_(label) { label->installEventFilter(this); }
  bool eventFilter(QObject* object, QEvent* event) override {
    if (object == label_ && event->type() == QEvent::Paint) {
      texts.push_back(label_->text().toStdString());
    }
    return false;
  }
  std::vector<std::string> texts;

 private:
  QLabel* label_;
};

TEST_F(RuntimeEventsTest, RefreshedStatusLineIsDrawnBeforeTheBodyGoesOn) {
  const WindowHandle window = OpenMain();
  auto* status = Widget<QLabel>(window, kMain, 36);
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(TopLevel(window), 2000));
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  QTest::qWait(20);  // what the open left to draw is drawn
  PaintedTexts painted(status);
  // One event's work: the scan's text, then the state found, without waiting in between.
  main_.STATUSTEXT = "Scanning Disc";
  REFRESHCONTROLS(36);
  main_.STATUSTEXT = "Stopped";
  REFRESHCONTROLS(36);
  EXPECT_EQ(painted.texts, (std::vector<std::string>{"Scanning Disc", "Stopped"}));
}

TEST_F(RuntimeEventsTest, CompactHeightKeepsTheToolbarAndTheFullHeightIsTheWindowAsOpened) {
  const WindowHandle window = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  QWidget* top = TopLevel(window);
  auto* play = Widget<QPushButton>(window, kMain, 12);
  ASSERT_TRUE(top && play);
  QWidget* toolbar = play->parentWidget();
  QMenuBar* menu = top->findChild<QMenuBar*>();
  ASSERT_NE(menu, nullptr);
  const QSize opened = top->size();
  const auto height = [] {
    int32_t x = 0, y = 0, width = 0, h = 0;
    READPOSITION(0, x, y, width, h);
    return h;
  };
  EXPECT_EQ(height(), 229);
  // As the player switches: WRITEPOSITION at start, the HEIGHT property from the menu.
  WRITEPOSITION(0, platform::kUnchanged, platform::kUnchanged, platform::kUnchanged, 23);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return top->height() == menu->height() + toolbar->height(); }, 2000));
  EXPECT_EQ(height(), 50);
  SetProperty(PROP_HEIGHT, 0, 229);
  EXPECT_TRUE(QTest::qWaitFor([&] { return top->size() == opened; }, 2000)) << top->height();
  EXPECT_EQ(height(), 229);
}

TEST_F(RuntimeEventsTest, UserMovingTheWindowRaisesMoved) {
  const WindowHandle window = OpenMain();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  int32_t x = 0, y = 0, width = 0, height = 0;
  READPOSITION(0, x, y, width, height);
  QWidget* top = TopLevel(window);
  ASSERT_NE(top, nullptr);
  Later([top] { top->move(top->pos() + QPoint(40, 30)); });  // as the window manager does
  EXPECT_EQ(Next(), "EVENT:Moved");
  EXPECT_EQ(ACCEPTEDCONTROL(), 0);
  int32_t movedX = 0, movedY = 0, movedWidth = 0, movedHeight = 0;
  READPOSITION(0, movedX, movedY, movedWidth, movedHeight);
  EXPECT_GT(movedX, x);
  EXPECT_GT(movedY, y);
  EXPECT_EQ(movedWidth, width);
  EXPECT_EQ(movedHeight, height);
}

TEST_F(RuntimeEventsTest, CloseBoxAndExitItemEndTheLoop) {
  struct Way {
    const char* name;
    std::function<void(WindowHandle)> close;
  };
  const Way ways[] = {
      {"close box",
       [](WindowHandle window) {
         QWidget* top = TopLevel(window);
         ASSERT_NE(top, nullptr);
         EXPECT_FALSE(top->close()) << "the window stays until the program closes it";
       }},
      {"File, Exit", [](WindowHandle window) { PickMenuItem(MenuItem(window, "&File", "E&xit")); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    const WindowHandle window = OpenMain();
    std::vector<std::string> trace;
    while (EVENTLOOP()) {
      trace.emplace_back(EventNameOf(CURRENTEVENT()));
      if (CURRENTEVENT() == EVENT::OpenWindow) {
        Later([&way, window] { way.close(window); });
      }
    }
    EXPECT_EQ(trace, (std::vector<std::string>{"EVENT:OpenWindow", "EVENT:CloseWindow"}));
    EXPECT_EQ(CurrentWindow(), 0);
    // The procedure closes it.
    EXPECT_TRUE(IsWindowOpen(window));
    EXPECT_NE(TopLevel(window), nullptr);
    WINDOWCLOSE(window);
    EXPECT_FALSE(IsWindowOpen(window));
  }
}

TEST_F(RuntimeEventsTest, AboutWindowsOkEndsALoopThatHandlesNothing) {
  const WindowHandle about = WINDOWCREATE("P27$ABOUTWINDOW", kTag, {});
  ASSERT_NE(about, 0) << WindowCreateError();
  WINDOWOPEN(about);
  auto* ok = Widget<QPushButton>(about, "P27$ABOUTWINDOW", 1);
  ASSERT_NE(ok, nullptr);
  Later([ok] { QTest::mouseClick(ok, Qt::LeftButton); });
  std::vector<std::string> trace;
  while (EVENTLOOP()) {
    trace.emplace_back(EventNameOf(CURRENTEVENT()));
  }
  EXPECT_EQ(trace, (std::vector<std::string>{"EVENT:OpenWindow", "EVENT:CloseWindow"}));
  WINDOWCLOSE(about);
}

// Answers the next message box with the button labelled `label`, noting what it showed.
struct SeenBox {
  QString text;
  QString defaultButton;
  QStringList buttons;
  bool answered = false;
};
void AnswerBox(SeenBox& seen, const QString& label) {
  QTimer::singleShot(0, qApp, [&seen, label] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible()) {
        continue;
      }
      seen.text = box->text();
      if (box->defaultButton() != nullptr) {
        seen.defaultButton = box->defaultButton()->text();
      }
      for (QAbstractButton* button : box->buttons()) {
        seen.buttons.append(button->text());
      }
      for (QAbstractButton* button : box->buttons()) {
        if (button->text() == label) {
          seen.answered = true;
          QTest::mouseClick(button, Qt::LeftButton);
          return;
        }
      }
    }
  });
}

TEST_F(RuntimeEventsTest, ExitAsksInsideTheLoopAndTheCloseBoxThenEndsIt) {
  const WindowHandle window = OpenMain();
  QAction* exit = MenuItem(window, "&File", "E&xit");
  QWidget* top = TopLevel(window);
  ASSERT_TRUE(exit && top);
  std::vector<std::string> trace;
  SeenBox seen;
  int32_t answer = -1;
  while (EVENTLOOP()) {
    trace.emplace_back(EventNameOf(CURRENTEVENT()));
    if (CURRENTEVENT() == EVENT::OpenWindow) {
      Later([exit] { PickMenuItem(exit); });
    } else if (CURRENTEVENT() == EVENT::CloseWindow && answer == -1) {
      AnswerBox(seen, "&No");
      PushText("6");  // Yes and No
      PushText("");
      PushText("Vantora");
      PushText("Save changes?|Really?");
      answer = MESSAGEDIALOG(BUTTON_NO, 0);
      trace.push_back("answer " + std::to_string(answer));
      // Not now: the window stays, until the close box.
      SKIPEVENT();
      Later([top] { top->close(); });
    }
  }
  EXPECT_EQ(trace, (std::vector<std::string>{"EVENT:OpenWindow", "EVENT:CloseWindow", "answer 4",
                                             "EVENT:CloseWindow"}));
  EXPECT_TRUE(seen.answered);
  EXPECT_EQ(seen.text, "Save changes?\nReally?");
  EXPECT_EQ(seen.defaultButton, "&No");
  EXPECT_EQ(seen.buttons, (QStringList{"&Yes", "&No"}));
  EXPECT_EQ(ValueStackDepth(), 0u);
  EXPECT_EQ(CurrentWindow(), 0);
  WINDOWCLOSE(window);
}

TEST_F(RuntimeEventsTest, ModalDialogRunsItsLoopInsideTheCallersBody) {
  const WindowHandle window = OpenMain();
  auto* edit = Widget<QPushButton>(window, kMain, 18);
  auto* play = Widget<QPushButton>(window, kMain, 12);
  ASSERT_TRUE(edit && play);
  std::vector<std::string> trace;
  FixedText<60> name("Old name");
  while (EVENTLOOP()) {
    trace.emplace_back(EventNameOf(CURRENTEVENT()));
    if (CURRENTEVENT() == EVENT::OpenWindow) {
      Later([edit] { QTest::mouseClick(edit, Qt::LeftButton); });
    } else if (ACCEPTEDCONTROL() == 18) {
      const WindowHandle dialog = WINDOWCREATE(kTitleDialog, kTag, {&name});
      ASSERT_NE(dialog, 0) << WindowCreateError();
      WINDOWOPEN(dialog);
      REFRESHCONTROLS(0, 0);
      auto* entry = Widget<QLineEdit>(dialog, kTitleDialog, 1);
      auto* ok = Widget<QPushButton>(dialog, kTitleDialog, 2);
      ASSERT_TRUE(entry && ok);
      EXPECT_EQ(entry->text(), "Old name");
      // The main window is beneath the dialog: its buttons raise nothing until the dialog goes.
      Later([entry, ok, play] {
        QTest::mouseClick(play, Qt::LeftButton);
        entry->setFocus();
        entry->selectAll();
        QTest::keyClicks(entry, "Road Songs");
        QTest::mouseClick(ok, Qt::LeftButton);
      });
      while (EVENTLOOP()) {
        trace.push_back("dialog " + std::string(EventNameOf(CURRENTEVENT())) + " " +
                        std::to_string(EVENTCONTROL()));
        EXPECT_EQ(CurrentWindow(), dialog);
        if (ACCEPTEDCONTROL() == 2) {
          READCONTROLS(0, 0);
          POSTEVENT(EVENT::CloseWindow);
        }
      }
      EXPECT_EQ(CurrentWindow(), window);
      WINDOWCLOSE(dialog);
      EXPECT_EQ(name.str(), "Road Songs");
      EXPECT_EQ(ACCEPTEDCONTROL(), 18) << "the caller's event is current again";
      trace.emplace_back("closed");
      Later([play] { QTest::mouseClick(play, Qt::LeftButton); });
    } else if (ACCEPTEDCONTROL() == 12) {
      break;
    }
  }
  // The typed entry is accepted before the button that follows it.
  EXPECT_EQ(trace, (std::vector<std::string>{
                       "EVENT:OpenWindow", "EVENT:Accepted", "dialog EVENT:OpenWindow 0",
                       "dialog EVENT:Accepted 1", "dialog EVENT:Accepted 2",
                       "dialog EVENT:CloseWindow 0", "closed", "EVENT:Accepted"}));
  EXPECT_EQ(CurrentWindow(), window);
}

TEST_F(RuntimeEventsTest, RowsAddedToTheQueueShowWithoutARefresh) {
  editor_.TRACKQUEUE.Append("Overture");
  editor_.TRACKQUEUE.Append("Second Movement");
  const WindowHandle window = OpenEditor();
  EXPECT_EQ(Next(), "EVENT:OpenWindow");
  auto* list = Widget<QTreeView>(window, kEditor, 6);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->model()->rowCount(), 2);
  // The loop body changes the queue and refreshes nothing; the user sees the new row and picks it.
  editor_.TRACKQUEUE.Append("Finale");
  Later([list] {
    // The next draw picks the change up.
    list->viewport()->update();
    ASSERT_TRUE(QTest::qWaitFor([list] { return list->model()->rowCount() == 3; }, 2000));
    EXPECT_EQ(list->model()->index(2, 0).data().toString(), "Finale");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 2));
  });
  EXPECT_EQ(Next(), "EVENT:NewSelection 6");
  EXPECT_EQ(SELECTEDROW(), 3);
  // A deletion shows the same way.
  QueueGet(&editor_.TRACKQUEUE.queue, 1);
  QueueDelete(&editor_.TRACKQUEUE.queue);
  list->viewport()->update();
  EXPECT_TRUE(QTest::qWaitFor([list] { return list->model()->rowCount() == 2; }, 2000));
  EXPECT_EQ(list->model()->index(0, 0).data().toString(), "Second Movement");
}

}  // namespace
}  // namespace vantora::runtime
