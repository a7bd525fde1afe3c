// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt window system on the offscreen platform: the player's four windows built from their
// definitions, and real clicks, keys and drags turned into native input.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/qt/qt_window_system.h"
#include "windows/definition.h"
#include "windows/native_spec.h"

namespace vantora::platform::qt {
namespace {

using namespace std::chrono_literals;

class FakeRows final : public NativeRows {
 public:
  explicit FakeRows(std::vector<std::string> rows) : rows_(std::move(rows)) {}
  int32_t RowCount() const override { return static_cast<int32_t>(rows_.size()); }
  std::string Cell(int32_t row, int32_t) const override {
    return row >= 1 && row <= RowCount() ? rows_[static_cast<size_t>(row - 1)] : "";
  }
  uint32_t Changes() const override { return changes_; }
  void Add(std::string row) {
    rows_.push_back(std::move(row));
    ++changes_;
  }

 private:
  std::vector<std::string> rows_;
  uint32_t changes_ = 0;
};

// One built window and the definition its layout points into.
struct Built {
  windows::WindowDefinition definition;
  windows::NativeLayout layout;
  uintptr_t handle = 0;

  // The native id of the control with this number.
  int32_t Id(uint16_t number) const {
    for (size_t i = 0; i < layout.controls.size(); ++i) {
      if (layout.controls[i]->number == number)
        return static_cast<int32_t>(i + 1);
    }
    ADD_FAILURE() << "no control " << number;
    return -1;
  }
};

class QtWindowSystemTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "qt_window_system_test";
    static char* argv[] = {name, nullptr};
    system_ = std::make_unique<QtWindowSystem>(argc, argv);
    SetCurrentWindowSystem(system_.get());
  }
  static void TearDownTestSuite() {
    SetCurrentWindowSystem(nullptr);
    system_.reset();
  }

  void SetUp() override {
    system_->SetInputSink([this](const NativeInput& input) { inputs_.push_back(input); });
  }
  void TearDown() override {
    for (const uintptr_t handle : handles_)
      system_->DestroyWindow(handle);
    system_->SetInputSink(nullptr);
  }

  std::unique_ptr<Built> Build(std::string_view name, bool show = true) {
    auto built = std::make_unique<Built>();
    auto definition = windows::FindWindowDefinition("cdplayer$CDPLAYER", name);
    EXPECT_TRUE(definition.has_value()) << name;
    if (!definition)
      return built;
    built->definition = std::move(*definition);
    built->layout = windows::ToNativeLayout(built->definition);
    built->handle = Create(built->layout.spec, show);
    return built;
  }

  uintptr_t Create(const NativeWindowSpec& spec, bool show = true) {
    const uintptr_t handle = system_->CreateWindow(spec);
    EXPECT_NE(handle, 0u);
    handles_.push_back(handle);
    if (show) {
      system_->ShowWindow(handle);
      QTest::qWait(0);
    }
    return handle;
  }

  static QWidget* TopLevel(uintptr_t handle) {
    const uint64_t hwnd = system_->NativeHandle(handle);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->internalWinId() != 0 && static_cast<uint64_t>(widget->winId()) == hwnd) {
        return widget;
      }
    }
    return nullptr;
  }

  template <typename T = QWidget>
  static T* Widget(uintptr_t handle, int32_t id) {
    QWidget* top = TopLevel(handle);
    if (top == nullptr)
      return nullptr;
    for (QWidget* child : top->findChildren<QWidget*>()) {
      if (child->property("vantoraControl").toInt() == id &&
          child->property("vantoraWindow").toULongLong() == handle) {
        if (auto* typed = qobject_cast<T*>(child))
          return typed;
      }
    }
    return nullptr;
  }

  // Handles events until `count` inputs have arrived; false after two seconds.
  bool WaitForInputs(size_t count) {
    const ClockTime giveUp = CurrentClock().Now() + 2000ms;
    while (inputs_.size() < count && CurrentClock().Now() < giveUp) {
      system_->WaitForInput(CurrentClock().Now() + 200ms);
    }
    return inputs_.size() >= count;
  }

  // Lets pending events run and collects whatever input they produced.
  void Settle() {
    QTest::qWait(20);
    system_->WaitForInput(CurrentClock().Now());
  }

  static std::unique_ptr<QtWindowSystem> system_;
  std::vector<NativeInput> inputs_;
  std::vector<uintptr_t> handles_;
};

std::unique_ptr<QtWindowSystem> QtWindowSystemTest::system_;

// A box nobody answers would hang the test: this closes any message box after five seconds,
// and the test then fails on Active().
class ModalGuard {
 public:
  ModalGuard() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget))
          box->done(0);
      }
    });
    timer_.start(5000);
  }
  bool Active() const { return timer_.isActive(); }

 private:
  QTimer timer_;
};

bool Is(const NativeInput& input, NativeInput::Type type, int32_t control) {
  return input.type == type && input.control == control;
}

TEST_F(QtWindowSystemTest, WakeEndsAWaitWithoutInput) {
  // From inside the wait, as a bus call would: the wait ends long before its deadline.
  QTimer::singleShot(50, [] { system_->Wake(); });
  const auto start = std::chrono::steady_clock::now();
  system_->WaitForInput(CurrentClock().Now() + 20s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_TRUE(inputs_.empty());
  // A wake taken by that wait is not left over for the next one.
  const auto again = std::chrono::steady_clock::now();
  system_->WaitForInput(CurrentClock().Now() + 300ms);
  EXPECT_GE(std::chrono::steady_clock::now() - again, 250ms);
}

TEST_F(QtWindowSystemTest, TheFourWindowsAreBuiltAndPhotographed) {
  const std::filesystem::path directory = VANTORA_SCREENSHOT_DIR;
  std::filesystem::create_directories(directory);
  // What the player shows while a disc plays, so that the pictures show real text.
  FakeRows tracks({"Morning Light", "Harbour Song", "The Long Road Home", "Quiet Streets"});
  FakeRows playlists({"Album Order", "Favourites"});
  struct Text {
    uint16_t number;
    const char* text;
  };
  struct Row {
    const char* name;
    const char* file;
    int width;  // client width in window units
    std::vector<Text> texts;
    std::vector<std::pair<uint16_t, const NativeRows*>> rows;
  };
  const Row rows[] = {
      {"P2$CDPLAYWIN",
       "main_window.png",
       172,
       {{36, "Playing Track 3"},
        {37, "02:41"},
        {38, "Track Time Elapsed"},
        {33, "Northern Skies"},
        {30, "The Example Quartet"},
        {16, "The Long Road Home"},
        {32, "Album Order"}},
       {{16, &tracks}, {32, &playlists}}},
      {"P22$EDITWINDOW",
       "playlist_editor.png",
       332,
       {{3, "The Example Quartet"}, {5, "Northern Skies"}, {7, "Morning Light"}, {9, "Favourites"}},
       {{6, &tracks}, {9, &playlists}, {10, &tracks}}},
      {"P26$EDITWINDOW", "playlist_title.png", 188, {{1, "Favourites"}}, {}},
      {"P27$ABOUTWINDOW", "about_window.png", 257, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto built = Build(row.name);
    ASSERT_NE(built->handle, 0u);
    for (const auto& [number, list] : row.rows) {
      EXPECT_TRUE(system_->SetRows(built->handle, built->Id(number), list));
    }
    for (const Text& text : row.texts) {
      EXPECT_TRUE(system_->SetText(built->handle, built->Id(text.number), text.text));
    }
    QTest::qWait(0);
    const auto rect = system_->WindowRect(built->handle);
    ASSERT_TRUE(rect.has_value());
    EXPECT_EQ(rect->width, row.width);
    const std::string path = (directory / row.file).string();
    ASSERT_TRUE(system_->SaveWindowImage(built->handle, path));
    const QImage image(QString::fromStdString(path));
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), TopLevel(built->handle)->width());
    system_->DestroyWindow(built->handle);
  }
}

TEST_F(QtWindowSystemTest, DefinitionFacesMapToInstalledMetricCompatibleFonts) {
  auto built = Build("P2$CDPLAYWIN");
  auto* repeat = Widget<QPushButton>(built->handle, built->Id(17));  // Arial 8
  ASSERT_NE(repeat, nullptr);
  const QString arial = QFontInfo(repeat->font()).family();
  EXPECT_TRUE(arial == "Liberation Sans" || arial == "Arimo") << arial.toStdString();
  auto* status = Widget(built->handle, built->Id(36));  // MS Sans Serif 8 bold
  ASSERT_NE(status, nullptr);
  EXPECT_NE(QFontInfo(status->font()).family(), QString("MS Sans Serif"));
  EXPECT_TRUE(QFontInfo(status->font()).bold());
  EXPECT_EQ(QFontInfo(status->font()).pointSize(), 8);
}

TEST_F(QtWindowSystemTest, ButtonsAndToolbarButtonsReportActivation) {
  auto built = Build("P2$CDPLAYWIN");
  for (const uint16_t number : {12, 19, 17}) {
    auto* button = Widget<QPushButton>(built->handle, built->Id(number));
    ASSERT_NE(button, nullptr) << number;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  ASSERT_TRUE(WaitForInputs(3));
  EXPECT_TRUE(Is(inputs_[0], NativeInput::Type::Activated, built->Id(12)));
  EXPECT_TRUE(Is(inputs_[1], NativeInput::Type::Activated, built->Id(19)));
  EXPECT_TRUE(Is(inputs_[2], NativeInput::Type::Activated, built->Id(17)));
  EXPECT_EQ(inputs_[0].window, built->handle);
}

TEST_F(QtWindowSystemTest, ToolbarStripsTheClientAreaAndIconsLoad) {
  auto built = Build("P2$CDPLAYWIN");
  auto* play = Widget<QPushButton>(built->handle, built->Id(12));
  auto* disc = Widget<QPushButton>(built->handle, built->Id(10));
  auto* status = Widget(built->handle, built->Id(35));
  ASSERT_TRUE(play && disc && status);
  EXPECT_FALSE(play->icon().isNull());
  EXPECT_FALSE(disc->icon().isNull()) << "cd.gif";
  EXPECT_TRUE(disc->text().isEmpty()) << "a label of blanks leaves an icon-only button";
  // The body starts below the toolbar; the disc button at x 148 stays inside the strip.
  EXPECT_GE(status->mapTo(TopLevel(built->handle), QPoint(0, 0)).y(),
            play->parentWidget()->mapTo(TopLevel(built->handle), QPoint(0, 0)).y() +
                play->parentWidget()->height());
  EXPECT_LE(disc->geometry().right(), disc->parentWidget()->width());
  // Setting another icon replaces the image.
  const qint64 before = play->icon().cacheKey();
  EXPECT_TRUE(system_->SetIcon(built->handle, built->Id(12), "~QPX_STOP.ICO"));
  EXPECT_NE(play->icon().cacheKey(), before);
}

TEST_F(QtWindowSystemTest, CheckItemPickedFromTheMenuFlipsAndReports) {
  auto built = Build("P2$CDPLAYWIN");
  QMenuBar* bar = TopLevel(built->handle)->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  QMenu* options = nullptr;
  for (QAction* action : bar->actions()) {
    if (action->text() == "&Options")
      options = action->menu();
  }
  ASSERT_NE(options, nullptr);
  QAction* stayOnTop = nullptr;
  for (QAction* action : options->actions()) {
    if (action->text() == "&Stay On Top")
      stayOnTop = action;
  }
  ASSERT_NE(stayOnTop, nullptr);
  ASSERT_TRUE(stayOnTop->isCheckable());
  ASSERT_FALSE(stayOnTop->isChecked());
  options->popup(QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(options, 2000));
  QTest::mouseClick(options, Qt::LeftButton, {}, options->actionGeometry(stayOnTop).center());
  ASSERT_TRUE(WaitForInputs(1));
  EXPECT_TRUE(Is(inputs_[0], NativeInput::Type::Activated, built->Id(5)));
  EXPECT_TRUE(stayOnTop->isChecked());
  // The runtime's own setting raises nothing.
  EXPECT_TRUE(system_->SetChecked(built->handle, built->Id(5), false));
  EXPECT_FALSE(stayOnTop->isChecked());
  Settle();
  EXPECT_EQ(inputs_.size(), 1u);
  EXPECT_FALSE(system_->SetChecked(built->handle, built->Id(4), true)) << "not a check item";
  // Menu items take part in enabling and hiding like any control.
  ASSERT_TRUE(system_->SetEnabled(built->handle, built->Id(4), false));
  EXPECT_FALSE(system_->IsControlEnabled(built->handle, built->Id(4)));
  ASSERT_TRUE(system_->SetHidden(built->handle, built->Id(3), true));
  EXPECT_FALSE(options->menuAction()->isVisible());
  EXPECT_FALSE(system_->IsControlVisible(built->handle, built->Id(5)));
}

TEST_F(QtWindowSystemTest, RegionReportsPressesOfAnyButtonAndDoubleClicks) {
  auto built = Build("P2$CDPLAYWIN");
  const int32_t region = built->Id(34);
  QWidget* widget = Widget(built->handle, region);
  ASSERT_NE(widget, nullptr);
  // The press lands on the region even over its group's frame and texts.
  QWidget* top = TopLevel(built->handle);
  const QPoint centre = widget->mapTo(top, widget->rect().center());
  EXPECT_EQ(top->childAt(centre), widget);
  QTest::mousePress(widget, Qt::RightButton);
  QTest::mouseRelease(widget, Qt::RightButton);
  QTest::mousePress(widget, Qt::MiddleButton);
  QTest::mouseRelease(widget, Qt::MiddleButton);
  QTest::mouseDClick(widget, Qt::LeftButton);
  ASSERT_TRUE(WaitForInputs(3));
  for (const NativeInput& input : inputs_) {
    EXPECT_TRUE(Is(input, NativeInput::Type::Activated, region));
  }
}

TEST_F(QtWindowSystemTest, DropListShowsItsVariableAndReportsThePickedRow) {
  auto built = Build("P2$CDPLAYWIN");
  FakeRows rows({"Album Order", "Favourites", "Quiet ones"});
  const int32_t id = built->Id(32);
  ASSERT_TRUE(system_->SetRows(built->handle, id, &rows));
  ASSERT_TRUE(system_->SetText(built->handle, id, "Favourites"));
  EXPECT_EQ(system_->SelectedRow(built->handle, id), 2);
  EXPECT_EQ(system_->Text(built->handle, id), "Favourites");
  auto* combo = Widget<QComboBox>(built->handle, id);
  ASSERT_NE(combo, nullptr);
  combo->setFocus();
  combo->showPopup();
  QAbstractItemView* view = combo->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window(), 2000));
  QTest::keyClick(view, Qt::Key_Down);
  QTest::keyClick(view, Qt::Key_Return);
  ASSERT_TRUE(WaitForInputs(1));
  EXPECT_EQ(inputs_[0].type, NativeInput::Type::RowPicked);
  EXPECT_EQ(inputs_[0].control, id);
  EXPECT_EQ(inputs_[0].row, 3);
  EXPECT_EQ(system_->Text(built->handle, id), "Quiet ones");
}

TEST_F(QtWindowSystemTest, ListShowsAddedRowsWithoutRefreshAndReportsSelection) {
  auto built = Build("P22$EDITWINDOW");
  const int32_t id = built->Id(6);
  FakeRows rows({"Overture", "Second Movement"});
  ASSERT_TRUE(system_->SetRows(built->handle, id, &rows));
  auto* list = Widget<QTreeView>(built->handle, id);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->model()->rowCount(), 2);
  rows.Add("Finale");
  list->viewport()->repaint();  // the next draw picks up the change
  EXPECT_EQ(list->model()->rowCount(), 3);
  EXPECT_EQ(list->model()->index(2, 0).data().toString(), "Finale");

  ASSERT_TRUE(system_->SetSelectedRow(built->handle, id, 2));
  EXPECT_EQ(system_->SelectedRow(built->handle, id), 2);
  Settle();
  EXPECT_TRUE(inputs_.empty()) << "the runtime's own selection raises nothing";

  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(2, 0)).center());
  // Between the rows under the press and under the release.
  ASSERT_TRUE(WaitForInputs(3));
  EXPECT_TRUE(Is(inputs_[1], NativeInput::Type::RowSelected, id));
  EXPECT_EQ(inputs_[1].row, 3);
  // A change keeps the highlighted row.
  rows.Add("Encore");
  EXPECT_TRUE(system_->RefreshRows(built->handle, id));
  EXPECT_EQ(system_->SelectedRow(built->handle, id), 3);
}

TEST_F(QtWindowSystemTest, EntryReportsAlertKeysAndEdits) {
  auto built = Build("P22$EDITWINDOW");
  const int32_t id = built->Id(7);
  auto* entry = Widget<QLineEdit>(built->handle, id);
  ASSERT_NE(entry, nullptr);
  ASSERT_NE(entry->validator(), nullptr);  // sixty characters, whatever their UTF-16 length
  entry->setFocus();
  struct Key {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    uint32_t code;
  };
  const Key keys[] = {{"Ctrl+PgDn", Qt::Key_PageDown, Qt::ControlModifier, 0x222},
                      {"Ctrl+PgUp", Qt::Key_PageUp, Qt::ControlModifier, 0x221},
                      {"PgDn", Qt::Key_PageDown, {}, 0x22},
                      {"PgUp", Qt::Key_PageUp, {}, 0x21},
                      {"Down", Qt::Key_Down, {}, 0x28},
                      {"Up", Qt::Key_Up, {}, 0x26}};
  for (const Key& key : keys) {
    QTest::keyClick(entry, key.key, key.modifiers);
  }
  ASSERT_TRUE(WaitForInputs(6));
  for (size_t i = 0; i < std::size(keys); ++i) {
    SCOPED_TRACE(keys[i].name);
    EXPECT_TRUE(Is(inputs_[i], NativeInput::Type::AlertKey, id));
    EXPECT_EQ(inputs_[i].key, keys[i].code);
  }
  inputs_.clear();
  // Shift+Up is not on the list; typing is an edit, reported once the entry loses focus.
  QTest::keyClick(entry, Qt::Key_Up, Qt::ShiftModifier);
  QTest::keyClicks(entry, std::string(70, 'x').c_str());
  EXPECT_EQ(entry->text().size(), 60);
  Settle();
  EXPECT_TRUE(inputs_.empty());
  QTest::keyClick(entry, Qt::Key_Return);
  ASSERT_TRUE(WaitForInputs(1));
  EXPECT_TRUE(Is(inputs_[0], NativeInput::Type::EntryChanged, id));
  EXPECT_EQ(system_->Text(built->handle, id), std::string(60, 'x'));
  // An edit pending when an alert key comes is reported first, so the runtime reads it.
  inputs_.clear();
  QTest::keyClick(entry, Qt::Key_Backspace);
  QTest::keyClick(entry, Qt::Key_Down);
  ASSERT_TRUE(WaitForInputs(2));
  EXPECT_TRUE(Is(inputs_[0], NativeInput::Type::EntryChanged, id));
  EXPECT_TRUE(Is(inputs_[1], NativeInput::Type::AlertKey, id));
  EXPECT_EQ(system_->Text(built->handle, id), std::string(59, 'x'));
}

class DragTest : public QtWindowSystemTest {
 protected:
  // Drags row `row` of the source list and releases over `point` of `target`.
  static void DragRow(QTreeView* source, int row, QWidget* target, QPoint point) {
    const QPoint start = source->visualRect(source->model()->index(row, 0)).center();
    QTest::mousePress(source->viewport(), Qt::LeftButton, {}, start);
    const QPoint far = source->viewport()->mapFromGlobal(target->mapToGlobal(point));
    QTest::mouseMove(source->viewport(), start + QPoint(0, 3));
    QTest::mouseMove(source->viewport(), far);
    QTest::mouseRelease(target, Qt::LeftButton, {}, point);
  }
};

TEST_F(DragTest, DropAcceptedWhereTheIdsMatchWithTheRowUnderThePointer) {
  auto built = Build("P22$EDITWINDOW");
  FakeRows tracks({"One", "Two", "Three"});
  FakeRows playlist({"First", "Second"});
  const int32_t source = built->Id(6);
  const int32_t target = built->Id(10);
  system_->SetRows(built->handle, source, &tracks);
  system_->SetRows(built->handle, target, &playlist);
  auto* from = Widget<QTreeView>(built->handle, source);
  auto* to = Widget<QTreeView>(built->handle, target);
  ASSERT_TRUE(from && to);
  QTest::qWait(0);

  DragRow(from, 2, to->viewport(), to->visualRect(to->model()->index(1, 0)).center());
  DragRow(from, 0, to->viewport(), QPoint(10, to->viewport()->height() - 3));
  ASSERT_TRUE(WaitForInputs(2));
  std::vector<NativeInput> drops;
  for (const NativeInput& input : inputs_) {
    if (input.type == NativeInput::Type::Dropped)
      drops.push_back(input);
  }
  ASSERT_EQ(drops.size(), 2u);
  EXPECT_EQ(drops[0].control, source);
  EXPECT_EQ(drops[0].target, target);
  EXPECT_EQ(drops[0].row, 2);
  EXPECT_EQ(drops[1].row, 0) << "below the rows";
  // The source list's selection stays with the pressed row while dragging.
  EXPECT_EQ(system_->SelectedRow(built->handle, source), 1);
}

TEST_F(DragTest, DropRefusedWhereNoIdMatches) {
  auto built = Build("P22$EDITWINDOW");
  FakeRows tracks({"One", "Two"});
  const int32_t source = built->Id(6);  // offers "Add Track"
  system_->SetRows(built->handle, source, &tracks);
  auto* from = Widget<QTreeView>(built->handle, source);
  auto* entry = Widget<QLineEdit>(built->handle, built->Id(3));  // takes "Move Track" only
  ASSERT_TRUE(from && entry);
  QTest::qWait(0);
  DragRow(from, 1, entry, entry->rect().center());
  Settle();
  for (const NativeInput& input : inputs_) {
    EXPECT_NE(input.type, NativeInput::Type::Dropped);
  }
}

TEST_F(DragTest, DisabledControlTakesNoDrop) {
  auto built = Build("P22$EDITWINDOW");
  FakeRows tracks({"One", "Two"});
  FakeRows playlist({"First"});
  system_->SetRows(built->handle, built->Id(6), &tracks);
  system_->SetRows(built->handle, built->Id(10), &playlist);
  auto* from = Widget<QTreeView>(built->handle, built->Id(6));
  auto* to = Widget<QTreeView>(built->handle, built->Id(10));
  ASSERT_TRUE(from && to);
  ASSERT_TRUE(system_->SetEnabled(built->handle, built->Id(10), false));
  QTest::qWait(0);
  DragRow(from, 1, to->viewport(), to->visualRect(to->model()->index(0, 0)).center());
  Settle();
  for (const NativeInput& input : inputs_) {
    EXPECT_NE(input.type, NativeInput::Type::Dropped) << "onto control " << input.target;
  }
}

TEST_F(DragTest, DropIdsMatchRegardlessOfCase) {
  NativeWindowSpec spec;
  spec.rect = {kDefault, kDefault, 200, 100};
  NativeControl list;
  list.id = 1;
  list.kind = NativeKind::List;
  list.rect = {4, 4, 80, 80};
  list.dragIds = {"add track"};
  NativeControl region;
  region.id = 2;
  region.kind = NativeKind::Region;
  region.rect = {100, 4, 90, 80};
  region.dropIds = {"ADD TRACK"};
  spec.controls = {list, region};
  const uintptr_t handle = Create(spec);
  FakeRows rows({"One"});
  system_->SetRows(handle, 1, &rows);
  auto* from = Widget<QTreeView>(handle, 1);
  QWidget* to = Widget(handle, 2);
  ASSERT_TRUE(from && to);
  DragRow(from, 0, to, to->rect().center());
  ASSERT_TRUE(WaitForInputs(2));
  const NativeInput& drop = inputs_.back();
  EXPECT_EQ(drop.type, NativeInput::Type::Dropped);
  EXPECT_EQ(drop.target, 2);
  EXPECT_EQ(drop.row, 0);
}

TEST_F(QtWindowSystemTest, CloseBoxIsReportedAndLeavesTheWindowOpen) {
  auto built = Build("P26$EDITWINDOW");
  QWidget* top = TopLevel(built->handle);
  ASSERT_NE(top, nullptr);
  EXPECT_FALSE(top->close());
  ASSERT_TRUE(WaitForInputs(1));
  EXPECT_EQ(inputs_[0].type, NativeInput::Type::CloseRequested);
  EXPECT_EQ(inputs_[0].window, built->handle);
  EXPECT_TRUE(top->isVisible());
  EXPECT_TRUE(system_->DestroyWindow(built->handle));
  EXPECT_FALSE(system_->DestroyWindow(built->handle));
  EXPECT_EQ(system_->NativeHandle(built->handle), 0u);
  EXPECT_FALSE(system_->SetText(built->handle, 1, "gone"));
}

TEST_F(QtWindowSystemTest, UserMovesAndMinimisingAreReported) {
  auto built = Build("P26$EDITWINDOW");
  QWidget* top = TopLevel(built->handle);
  top->move(top->pos() + QPoint(40, 30));  // as the window manager does
  ASSERT_TRUE(WaitForInputs(1));
  EXPECT_EQ(inputs_[0].type, NativeInput::Type::Moved);
  inputs_.clear();
  top->setWindowState(top->windowState() | Qt::WindowMinimized);
  ASSERT_TRUE(WaitForInputs(1));
  EXPECT_EQ(inputs_[0].type, NativeInput::Type::Iconized);
  EXPECT_TRUE(system_->IsIconized(built->handle));
}

TEST_F(QtWindowSystemTest, IconizingAndStayOnTopFromTheRuntimeRaiseNothing) {
  auto built = Build("P2$CDPLAYWIN");
  QWidget* top = TopLevel(built->handle);
  EXPECT_TRUE(system_->SetIconized(built->handle, true));
  EXPECT_TRUE(system_->IsIconized(built->handle));
  EXPECT_TRUE(system_->SetIconized(built->handle, false));
  EXPECT_FALSE(system_->IsIconized(built->handle));
  Settle();
  EXPECT_TRUE(inputs_.empty()) << "after iconizing";
  // The z-order call through the native handle.
  const uint64_t hwnd = system_->NativeHandle(built->handle);
  ASSERT_NE(hwnd, 0u);
  EXPECT_EQ(system_->WindowFromNativeHandle(hwnd), built->handle);
  EXPECT_TRUE(
      SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE));
  EXPECT_TRUE(system_->IsStayOnTop(built->handle));
  top = TopLevel(built->handle);
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(top->isVisible());
  EXPECT_TRUE(SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_FALSE(system_->IsStayOnTop(built->handle));
  EXPECT_FALSE(SetWindowPos(hwnd + 12345, HWND_TOPMOST, 0, 0, 0, 0, 0));
  Settle();
  EXPECT_TRUE(inputs_.empty()) << "first: " << static_cast<int>(inputs_.front().type);
}

TEST_F(QtWindowSystemTest, PositionsRoundTripInWindowUnits) {
  auto built = Build("P2$CDPLAYWIN");
  const uintptr_t h = built->handle;
  // The compact form: as tall as the toolbar, then back.
  ASSERT_TRUE(system_->SetWindowRect(h, {kUnchanged, kUnchanged, kUnchanged, 23}));
  EXPECT_EQ(system_->WindowRect(h)->height, 23);
  EXPECT_EQ(system_->WindowRect(h)->width, 172);
  ASSERT_TRUE(system_->SetWindowRect(h, {kUnchanged, kUnchanged, kUnchanged, 229}));
  EXPECT_EQ(system_->WindowRect(h)->height, 229);
  // A move leaves the size alone.
  ASSERT_TRUE(system_->SetWindowRect(h, {40, 30, kUnchanged, kUnchanged}));
  const Rect moved = *system_->WindowRect(h);
  EXPECT_EQ(moved, (Rect{40, 30, 172, 229}));

  struct Row {
    const char* name;
    uint16_t number;
    Rect rect;
  };
  for (const Row& row :
       {Row{"track button", 19, {1, 6, 33, 10}}, Row{"+10 button", 29, {1, 116, 33, 28}},
        Row{"status string", 36, {52, 9, 103, 10}}, Row{"toolbar button", 15, {91, 2, 18, 18}}}) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(system_->ControlRect(h, built->Id(row.number)), row.rect);
  }
  const int32_t button = built->Id(20);
  ASSERT_TRUE(system_->SetControlRect(h, button, {5, kUnchanged, kUnchanged, 13}));
  EXPECT_EQ(system_->ControlRect(h, button), (Rect{5, 17, 33, 13}));
  for (int32_t units = 0; units <= 400; ++units) {
    ASSERT_TRUE(system_->SetControlRect(h, button, {units, units, units, units}));
    ASSERT_EQ(system_->ControlRect(h, button), (Rect{units, units, units, units}));
  }
}

TEST_F(QtWindowSystemTest, HidingAGroupHidesItsControls) {
  auto built = Build("P22$EDITWINDOW");
  const int32_t group = built->Id(4);
  const int32_t entry = built->Id(5);
  EXPECT_TRUE(system_->IsControlVisible(built->handle, entry));
  ASSERT_TRUE(system_->SetHidden(built->handle, group, true));
  EXPECT_FALSE(system_->IsControlVisible(built->handle, entry));
  EXPECT_FALSE(Widget(built->handle, entry)->isVisible());
  ASSERT_TRUE(system_->SetHidden(built->handle, group, false));
  EXPECT_TRUE(Widget(built->handle, entry)->isVisible());
  ASSERT_TRUE(system_->SetEnabled(built->handle, entry, false));
  EXPECT_FALSE(system_->IsControlEnabled(built->handle, entry));
  // A default-width entry reaches across its group like the sized one above it.
  const Rect sized = *system_->ControlRect(built->handle, built->Id(3));
  const Rect natural = *system_->ControlRect(built->handle, entry);
  EXPECT_NEAR(natural.width, sized.width, 2);
}

TEST_F(QtWindowSystemTest, MessageBoxAnsweredWithNo) {
  auto built = Build("P2$CDPLAYWIN");
  MessageBoxSpec spec;
  spec.caption = "Remove Playlist";
  spec.lines = {"Remove this playlist?", "It cannot be undone."};
  spec.icon = std::string("\xFF\x01\x03\x7F", 4);
  spec.buttons = {"&Yes", "&No"};
  spec.defaultButton = 1;
  QString seenText;
  QString seenCaption;
  QString seenDefault;
  bool question = false;
  QTimer::singleShot(0, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible())
        continue;
      seenText = box->text();
      seenCaption = box->windowTitle();
      question = box->icon() == QMessageBox::Question;
      if (box->defaultButton() != nullptr)
        seenDefault = box->defaultButton()->text();
      for (QAbstractButton* button : box->buttons()) {
        if (button->text() == "&No")
          QTest::mouseClick(button, Qt::LeftButton);
      }
    }
  });
  ModalGuard guard;
  EXPECT_EQ(system_->MessageBox(built->handle, spec), 1);
  EXPECT_TRUE(guard.Active()) << "the box was not answered";
  EXPECT_EQ(seenCaption, "Remove Playlist");
  EXPECT_EQ(seenText, "Remove this playlist?\nIt cannot be undone.");
  EXPECT_TRUE(question);
  EXPECT_EQ(seenDefault, "&No");
}

TEST_F(QtWindowSystemTest, MessageBoxClosedWithoutAButtonGivesMinusOne) {
  MessageBoxSpec spec;
  spec.caption = "Question";
  spec.lines = {"Go on?"};
  spec.buttons = {"&Yes", "&No"};
  spec.systemModal = true;
  bool onTop = false;
  QTimer::singleShot(0, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible())
        continue;
      onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint) &&
              box->windowModality() == Qt::ApplicationModal;
      box->reject();
    }
  });
  ModalGuard guard;
  EXPECT_EQ(system_->MessageBox(0, spec), -1);
  EXPECT_TRUE(guard.Active());
  EXPECT_TRUE(onTop) << "system-modal: application-modal and on top";
}

TEST_F(QtWindowSystemTest, WaitForInputReturnsAtTheDeadline) {
  const ClockTime start = CurrentClock().Now();
  system_->WaitForInput(start + 150ms);
  const ClockTime waited = CurrentClock().Now() - start;
  EXPECT_GE(waited.count(), 150);
  EXPECT_LT(waited.count(), 2000);
  EXPECT_TRUE(inputs_.empty());
  // A deadline already passed returns at once.
  const ClockTime again = CurrentClock().Now();
  system_->WaitForInput(again - 10ms);
  EXPECT_LT((CurrentClock().Now() - again).count(), 100);
}

TEST_F(QtWindowSystemTest, WaitForInputFollowsAManualClock) {
  ManualClock clock(ClockTime{1000});
  ScopedClock scoped(clock);
  QTimer::singleShot(20, [&] { clock.Advance(499ms); });
  QTimer::singleShot(40, [&] { clock.Advance(1ms); });
  system_->WaitForInput(ClockTime{1500});
  EXPECT_EQ(clock.Now(), ClockTime{1500});
  EXPECT_TRUE(inputs_.empty());
}

TEST_F(QtWindowSystemTest, FocusMovesToTheControl) {
  auto built = Build("P22$EDITWINDOW");
  QWidget* top = TopLevel(built->handle);
  top->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(top, 2000));
  auto* entry = Widget<QLineEdit>(built->handle, built->Id(7));
  ASSERT_TRUE(system_->Focus(built->handle, built->Id(7)));
  EXPECT_TRUE(entry->hasFocus());
  ASSERT_TRUE(system_->Focus(built->handle, built->Id(3)));
  EXPECT_FALSE(entry->hasFocus());
  EXPECT_FALSE(system_->Focus(built->handle, 999));
}

TEST_F(QtWindowSystemTest, WaitForInputReturnsOnInputBeforeTheDeadline) {
  auto built = Build("P26$EDITWINDOW");
  auto* ok = Widget<QPushButton>(built->handle, built->Id(2));
  ASSERT_NE(ok, nullptr);
  QTimer::singleShot(30, ok, [ok] { QTest::mouseClick(ok, Qt::LeftButton); });
  const ClockTime start = CurrentClock().Now();
  system_->WaitForInput(start + 5000ms);
  EXPECT_LT((CurrentClock().Now() - start).count(), 2000);
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_TRUE(Is(inputs_[0], NativeInput::Type::Activated, built->Id(2)));
}

TEST_F(QtWindowSystemTest, TabsShowOnlyTheCurrentPagesControls) {
  NativeWindowSpec spec;
  spec.rect = {kDefault, kDefault, 200, 120};
  const auto control = [](int32_t id, int32_t parent, NativeKind kind, Rect rect,
                          std::string text) {
    NativeControl c;
    c.id = id;
    c.parent = parent;
    c.kind = kind;
    c.rect = rect;
    c.text = std::move(text);
    return c;
  };
  const Rect none{kDefault, kDefault, kDefault, kDefault};
  spec.controls = {control(1, 0, NativeKind::Sheet, {4, 4, 190, 110}, ""),
                   control(2, 1, NativeKind::Tab, none, "&One"),
                   control(3, 2, NativeKind::Entry, {12, 30, 80, 12}, "first"),
                   control(4, 1, NativeKind::Tab, none, "&Two"),
                   control(5, 4, NativeKind::Entry, {12, 30, 80, 12}, "second")};
  const uintptr_t handle = Create(spec);
  EXPECT_TRUE(system_->IsControlVisible(handle, 3));
  EXPECT_FALSE(system_->IsControlVisible(handle, 5));
  auto* sheet = Widget(handle, 1);
  ASSERT_NE(sheet, nullptr);
  auto* bar = sheet->findChild<QTabBar*>();
  ASSERT_NE(bar, nullptr);
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_FALSE(Widget(handle, 3)->isVisible());
  EXPECT_TRUE(Widget(handle, 5)->isVisible());
  // A control hidden on its own stays hidden when its page comes back.
  ASSERT_TRUE(system_->SetHidden(handle, 3, true));
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
  EXPECT_FALSE(Widget(handle, 3)->isVisible());
  ASSERT_TRUE(system_->SetText(handle, 4, "&Second"));
  EXPECT_EQ(bar->tabText(1), "&Second");
  EXPECT_EQ(system_->Text(handle, 4), "&Second");
}

TEST_F(QtWindowSystemTest, TextsTipsAndStatusTexts) {
  auto built = Build("P26$EDITWINDOW");
  const uintptr_t h = built->handle;
  QWidget* top = TopLevel(h);
  ASSERT_TRUE(system_->SetText(h, 0, "Audio CD Player"));
  EXPECT_EQ(top->windowTitle(), "Audio CD Player");
  EXPECT_EQ(system_->Text(h, 0), "Audio CD Player");
  auto* ok = Widget<QPushButton>(h, built->Id(2));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->toolTip(), "Accept this playlist name");
  ASSERT_TRUE(system_->SetTip(h, built->Id(2), "Keep the name"));
  EXPECT_EQ(ok->toolTip(), "Keep the name");
  ASSERT_TRUE(system_->SetText(h, built->Id(2), "&Keep"));
  EXPECT_EQ(ok->text(), "&Keep");
  // The prompt shows its text without the mnemonic marker.
  int32_t prompt = 0;
  for (const NativeControl& c : built->layout.spec.controls) {
    if (c.kind == NativeKind::Prompt)
      prompt = c.id;
  }
  ASSERT_NE(prompt, 0);
  ASSERT_TRUE(system_->SetText(h, prompt, "&Name:"));
  EXPECT_EQ(Widget<QLabel>(h, prompt)->text(), "Name:");
  EXPECT_FALSE(system_->SetText(h, 999, "nobody"));
  EXPECT_FALSE(system_->Text(h, 999).has_value());

  // The editor's controls carry status texts: they show under the tip.
  auto editor = Build("P22$EDITWINDOW");
  auto* newButton = Widget<QPushButton>(editor->handle, editor->Id(11));
  ASSERT_NE(newButton, nullptr);
  EXPECT_EQ(newButton->toolTip(), "Add a customized playlist\nAdd a new playlist");
}

TEST_F(QtWindowSystemTest, DropListKeepsATextThatNamesNoRow) {
  auto built = Build("P2$CDPLAYWIN");
  FakeRows rows({"Album Order"});
  const int32_t id = built->Id(16);
  ASSERT_TRUE(system_->SetRows(built->handle, id, &rows));
  ASSERT_TRUE(system_->SetText(built->handle, id, "No Disc"));
  EXPECT_EQ(system_->Text(built->handle, id), "No Disc");
  EXPECT_EQ(system_->SelectedRow(built->handle, id), 0);
  EXPECT_TRUE(system_->SetSelectedRow(built->handle, id, 1));
  EXPECT_EQ(system_->SelectedRow(built->handle, id), 1);
  EXPECT_TRUE(system_->SetSelectedRow(built->handle, id, 5)) << "out of range clears";
  EXPECT_EQ(system_->SelectedRow(built->handle, id), 0);
  EXPECT_FALSE(system_->SetRows(built->handle, built->Id(17), &rows)) << "a button has no rows";
}

TEST_F(QtWindowSystemTest, FatalMessageOffersOkAndCancel) {
  QStringList labels;
  QString text;
  QTimer::singleShot(0, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible())
        continue;
      text = box->text();
      for (QAbstractButton* button : box->buttons())
        labels.append(button->text());
      box->button(QMessageBox::Ok)->click();
    }
  });
  ModalGuard guard;
  ShowFatalMessage("Runtime error", "Window is not open");
  EXPECT_TRUE(guard.Active());
  EXPECT_EQ(text, "Window is not open");
  EXPECT_EQ(labels.size(), 2);
}

// The procedure a program installs in front of the window's own.
struct ChainLog {
  static inline std::vector<std::pair<uint32_t, uintptr_t>> messages;
  static inline std::vector<intptr_t> answers;
  static inline intptr_t previous = 0;
};
intptr_t LoggingProc(uint64_t hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  ChainLog::messages.emplace_back(message, wParam);
  const intptr_t answer = CallWindowProcA(ChainLog::previous, hwnd, message, wParam, lParam);
  ChainLog::answers.push_back(answer);
  return answer;
}

TEST_F(QtWindowSystemTest, SessionEndTravelsThroughTheInstalledProcedure) {
  auto built = Build("P2$CDPLAYWIN");
  const uint64_t hwnd = system_->NativeHandle(built->handle);
  ChainLog::messages.clear();
  ChainLog::answers.clear();
  ChainLog::previous = SetWindowLongA(hwnd, GWL_WNDPROC, reinterpret_cast<intptr_t>(&LoggingProc));
  EXPECT_EQ(ChainLog::previous, reinterpret_cast<intptr_t>(&DefWindowProcA));
  EXPECT_EQ(SetWindowLongA(hwnd + 999, GWL_WNDPROC, reinterpret_cast<intptr_t>(&LoggingProc)), 0);
  int ended = 0;
  system_->SetSessionEndAction([&] { ++ended; });
  ASSERT_TRUE(system_->InstallSessionEndSignals());
  ASSERT_EQ(std::raise(SIGTERM), 0);
  const ClockTime giveUp = CurrentClock().Now() + 2000ms;
  while (ended == 0 && CurrentClock().Now() < giveUp) {
    system_->WaitForInput(CurrentClock().Now() + 50ms);
  }
  ASSERT_EQ(ended, 1);
  ASSERT_EQ(ChainLog::messages.size(), 2u);
  EXPECT_EQ(ChainLog::messages[0], std::make_pair(WM_QUERYENDSESSION, uintptr_t{0}));
  EXPECT_EQ(ChainLog::answers[0], 1) << "the window's own procedure lets the session end";
  EXPECT_EQ(ChainLog::messages[1], std::make_pair(WM_ENDSESSION, uintptr_t{1}));
  // The same entry without a signal.
  system_->EndSession();
  EXPECT_EQ(ended, 2);
  EXPECT_EQ(ChainLog::messages.size(), 4u);
  system_->SetSessionEndAction(nullptr);
}

}  // namespace
}  // namespace vantora::platform::qt
