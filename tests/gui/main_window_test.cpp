// SPDX-License-Identifier: GPL-3.0-or-later
// The player's main window as a person uses it: the real CDPLAYER on Qt widgets (offscreen), a
// virtual drive and the manual clock; buttons clicked, menu items chosen, drop-list rows picked,
// boxes answered, and what the window, the device log and the INI file show afterwards.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cdplayer.h"
#include "app/dialogs.h"
#include "app/state.h"
#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/clock.h"
#include "platform/qt/qt_images.h"
#include "platform/qt/qt_window_system.h"
#include "platform/text_encoding.h"
#include "runtime/queue.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"
#include "tests/support/player_environment.h"
#include "tests/support/qt_widgets.h"
#include "windows/definition.h"
#include "windows/native_spec.h"

namespace vantora::app {
namespace {

using platform::ClockTime;
using platform::qt::QtWindowSystem;
using runtime::testing::DismissBoxesAndPopups;
using runtime::testing::Id;
using runtime::testing::MenuItem;
using runtime::testing::PickMenuItem;
using runtime::testing::TopLevel;
using runtime::testing::Widget;

constexpr std::string_view kMain = "P2$CDPLAYWIN";
constexpr std::string_view kEditor = "P22$EDITWINDOW";
constexpr std::string_view kAbout = "P27$ABOUTWINDOW";
constexpr std::string_view kTitleDialog = "P26$EDITWINDOW";

// Eleven tracks of twenty seconds, and its album (named by the disc's key: the track count and
// the lengths of the disc and its first three tracks) with a playlist of tracks 3, 1, 2.
constexpr const char* kElevenDisc =
    "vantora-disc 1\ntracks 11\ntrack 1 00:20:00\ntrack 2 00:20:00\ntrack 3 00:20:00\n"
    "track 4 00:20:00\ntrack 5 00:20:00\ntrack 6 00:20:00\ntrack 7 00:20:00\n"
    "track 8 00:20:00\ntrack 9 00:20:00\ntrack 10 00:20:00\ntrack 11 00:20:00\n";
constexpr const char* kElevenAlbum =
    "[1121901200120012001]\r\nTitle=Eleven Songs\r\nArtist=The Testers\r\nTrack 1=Morning\r\n"
    "Track 2=Noon\r\nTrack 3=Evening\r\nTrack 11=Last Light\r\nPlayList Count=1\r\n"
    "PlayList 1 Title=Backwards\r\nPlayList 1=3 3 1 2\r\n";

constexpr const char* kTrackBoxText =
    "This will change the order of play to the track order on the album.  Are you certain you "
    "want to do this?";

class MainWindowTest : public ::testing::Test {
 protected:
  // Generous: a loaded machine and the sanitizers slow every step down.
  static constexpr qint64 kStepLimitMs = 30'000;

  // One thing the user does, and what the window shows after it and after `ticks` ticks of its
  // timer. `expect` holds "key=value" readings (see Read); "sent=C" asks that the step sent the
  // command C, "sent=!C" that it did not.
  struct Step {
    const char* what;
    std::function<void()> act;  // in the main window; may be empty
    int ticks = 0;
    std::vector<std::string> expect = {};
    std::function<void()> modal = {};  // in the box or window that the act opens
  };

  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "main_window_test";
    static char* argv[] = {name, nullptr};
    system_ = std::make_unique<QtWindowSystem>(argc, argv);
  }
  static void TearDownTestSuite() { system_.reset(); }

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(environment_.emplace("main-window"));
    platform::SetCurrentWindowSystem(system_.get());
    ResetState();
    runtime::ResetValueStacks();
  }
  void TearDown() override {
    DismissBoxesAndPopups();
    runtime::ResetWindows();
    platform::SetCurrentWindowSystem(nullptr);
    ResetState();
    runtime::ResetValueStacks();
    environment_.reset();
  }

  void WriteIni(const std::string& text) { environment_->WriteIni(text); }
  std::string IniText() const { return environment_->IniText(); }
  // Puts a disc in as a hand would, and lets it spin up.
  void Insert(const char* description) {
    ASSERT_NO_FATAL_FAILURE(environment_->Insert(description));
    clock_.Advance(ClockTime{2000});
  }
  // A disc of `count` tracks of half a minute.
  static platform::cdaudio::Disc Tracks(int count) {
    std::string text = "vantora-disc 1\ntracks " + std::to_string(count) + "\n";
    for (int track = 1; track <= count; ++track) {
      text += "track " + std::to_string(track) + " 00:30:00\n";
    }
    auto reading = platform::cdaudio::ParseDiscDescription(text);
    EXPECT_TRUE(reading.disc) << reading.error;
    return reading.disc.value_or(platform::cdaudio::Disc{});
  }
  static std::vector<std::string> Commands(size_t from = 0) {
    return testing::PlayerEnvironment::Commands(from);
  }

  // ---- the widgets

  template <typename T = QWidget>
  static T* MainWidget(int32_t number) {
    return Widget<T>(MAINWINDOW, kMain, number);
  }
  // An item of any of the main window's menus.
  static QAction* MainMenuItem(const QString& itemText) {
    return MenuItem(MAINWINDOW, "", itemText);
  }

  // ---- what the user does

  static std::function<void()> Click(int32_t number) {
    return [number] {
      QWidget* widget = MainWidget(number);
      ASSERT_NE(widget, nullptr);
      QTest::mouseClick(widget, Qt::LeftButton);
    };
  }
  // Opens the item's menu and clicks the item.
  static std::function<void()> Choose(const char* itemText) {
    return [itemText] { PickMenuItem(MainMenuItem(itemText), 5000); };
  }
  // Opens a drop list and clicks its row (1-based).
  static std::function<void()> Pick(int32_t number, int row) {
    return [number, row] {
      auto* combo = MainWidget<QComboBox>(number);
      ASSERT_NE(combo, nullptr);
      combo->showPopup();
      QAbstractItemView* view = combo->view();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window(), 5000));
      const QModelIndex index = view->model()->index(row - 1, 0);
      view->scrollTo(index);
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    };
  }
  static void PressCloseBox() {
    if (QWidget* top = TopLevel(MAINWINDOW)) {
      top->close();
    }
  }
  // Answers the box on screen with the button labelled `label`, after noting what it shows.
  std::function<void()> Answer(const char* label) {
    return [this, label] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      QStringList buttons;
      for (QAbstractButton* button : box->buttons()) {
        buttons.append(button->text());
      }
      const QString defaultButton = box->defaultButton() ? box->defaultButton()->text() : "";
      box_ = (box->windowTitle() + "|" + box->text() + "|" +
              (box->icon() == QMessageBox::Question ? "question" : "other") + "|" +
              buttons.join(" ") + "|" + defaultButton)
                 .toStdString();
      for (QAbstractButton* button : box->buttons()) {
        if (button->text() == label) {
          QTest::mouseClick(button, Qt::LeftButton);
          return;
        }
      }
      ADD_FAILURE() << "no button " << label;
    };
  }
  // Saves a picture of the current window (main window or dialog) to the screenshot folder.
  static void Photograph(const char* file) {
    const std::filesystem::path directory = VANTORA_SCREENSHOT_DIR;
    std::filesystem::create_directories(directory);
    const uintptr_t native = runtime::NativeWindowOf(runtime::CurrentWindow());
    EXPECT_TRUE(system_->SaveWindowImage(native, (directory / file).string())) << file;
  }
  // In the playlist editor: a new album title, then OK.
  static std::function<void()> EditAlbumTitle(const QString& title) {
    return [title] {
      const runtime::WindowHandle editor = runtime::CurrentWindow();
      QWidget* top = TopLevel(editor);
      auto* entry = Widget<QLineEdit>(editor, kEditor, 5);
      ASSERT_TRUE(top && entry);
      top->activateWindow();
      // Qt counts the editor as active while its owner still is: wait for the editor itself.
      ASSERT_TRUE(QTest::qWaitFor([top] { return QApplication::activeWindow() == top; }, 5000));
      entry->setFocus();
      entry->selectAll();
      // Character by character as an input method hands them over, whatever their script.
      for (const char32_t c : title.toUcs4()) {
        QTest::sendKeyEvent(QTest::Click, entry, Qt::Key_unknown, QString::fromUcs4(&c, 1),
                            Qt::NoModifier);
      }
      QTest::mouseClick(Widget(editor, kEditor, 14), Qt::LeftButton);
    };
  }
  // ---- what the window shows

  // The button's icon by name ("PLAY", "STOP", ...), "'" after PLAY when the tip reads
  // "selections" rather than "selection(s)", "-" when the button is disabled. The tip must be
  // the one that goes with the icon.
  static std::string ButtonIcon(int32_t number) {
    struct Known {
      const char* name;
      const char* tip;
    };
    static const Known kKnown[] = {{"PLAY", "Play the current selection(s)"},
                                   {"PLAY'", "Play the current selections"},
                                   {"STOP", "Stop the CD Player"},
                                   {"PAUS", "Pause the CD player"},
                                   {"PAU2", "Restart the CD player"},
                                   {"OPEN", "Close the CD door"},
                                   {"CLOS", "Open the CD door"}};
    auto* button = MainWidget<QPushButton>(number);
    if (button == nullptr) {
      return "?";
    }
    const QImage shown = button->icon().pixmap(16, 16).toImage();
    for (const Known& known : kKnown) {
      const std::string file = "~QPX_" + std::string(known.name).substr(0, 4) + ".ICO";
      if (platform::qt::LoadIcon(file).pixmap(16, 16).toImage() == shown &&
          button->toolTip() == known.tip) {
        return std::string(known.name) + (button->isEnabled() ? "" : "-");
      }
    }
    return "unknown icon, tip " + button->toolTip().toStdString();
  }
  static std::string Trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
  }
  std::string Read(const std::string& key) const {
    const uintptr_t native = runtime::NativeWindowOf(MAINWINDOW);
    auto text = [native](int32_t number) {
      return Trimmed(system_->Text(native, Id(kMain, number)).value_or("?"));
    };
    auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    if (key == "caption") {
      QWidget* top = TopLevel(MAINWINDOW);
      return top == nullptr ? "?" : top->windowTitle().toStdString();
    }
    if (key == "height") {
      const auto rect = system_->WindowRect(native);
      return rect ? std::to_string(rect->height) : "?";
    }
    if (key == "status") {
      return text(36);
    }
    if (key == "album") {
      return text(33);
    }
    if (key == "position") {  // whether the position to be saved is where the window is
      const auto rect = system_->WindowRect(native);
      const std::string saved = std::to_string(WINDOWX) + "," + std::to_string(WINDOWY);
      return rect && rect->x == WINDOWX && rect->y == WINDOWY
                 ? "kept"
                 : saved + " for " + std::to_string(rect->x) + "," + std::to_string(rect->y);
    }
    if (key == "time") {
      return text(37) + " " + text(38);
    }
    if (key == "icons") {
      return ButtonIcon(kPlayButton) + " " + ButtonIcon(kPauseButton) + " " +
             ButtonIcon(kDoorButton);
    }
    if (key == "repeat") {
      auto* button = MainWidget<QPushButton>(kRepeatButton);
      return button == nullptr ? "?" : button->text().toStdString();
    }
    if (key == "buttons") {  // the track buttons and "+10" that show, by their labels
      std::string shown;
      for (int32_t number = kFirstTrackButton; number <= kNextPageButton; ++number) {
        auto* button = MainWidget<QPushButton>(number);
        if (button != nullptr && button->isVisibleTo(TopLevel(MAINWINDOW))) {
          shown += (shown.empty() ? "" : " ") + button->text().toStdString();
        }
      }
      return shown;
    }
    if (key == "disabled") {  // the player controls that are disabled, by number
      QAction* playlistItem = MainMenuItem("&Playlist");
      std::string disabled = playlistItem != nullptr && !playlistItem->isEnabled() ? "4" : "";
      for (int32_t number : {11, 12, 13, 14, 15, 16, 17, 18, 19}) {
        QWidget* widget = MainWidget(number);
        if (widget != nullptr && !widget->isEnabled()) {
          disabled += (disabled.empty() ? "" : " ") + std::to_string(number);
        }
      }
      return disabled;
    }
    if (key == "playlist" || key == "track") {
      auto* combo = MainWidget<QComboBox>(key == "playlist" ? 32 : kTrackList);
      return combo == nullptr ? "?"
                              : Trimmed(combo->currentText().toStdString()) + " of " +
                                    std::to_string(combo->count());
    }
    if (key == "trackrow" || key == "playlistrow") {  // the highlighted row, from 1
      auto* combo = MainWidget<QComboBox>(key == "playlistrow" ? 32 : kTrackList);
      return combo == nullptr ? "?" : std::to_string(combo->currentIndex() + 1);
    }
    if (key == "box") {
      return box_;
    }
    if (key == "notice") {  // a box shown without stopping the player: caption|text
      for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(top);
        if (box != nullptr && box->isVisible() && !box->isModal()) {
          return (box->windowTitle() + "|" + box->text()).toStdString();
        }
      }
      return "";
    }
    if (key == "ontop") {
      return flag(system_->IsStayOnTop(native));
    }
    if (key == "checked") {  // the Options menu's check items that are checked
      std::string checked;
      for (const char* item : {"&Stay On Top", "&Control Panel", "&AutoPlay"}) {
        if (QAction* action = MainMenuItem(item); action != nullptr && action->isChecked()) {
          checked += (checked.empty() ? "" : " ") + std::string(item + 1);
        }
      }
      return checked;
    }
    if (key == "PLAYING") {
      return std::to_string(PLAYING);
    }
    if (key == "DISPLAYMODE") {
      return std::to_string(DISPLAYMODE);
    }
    if (key == "STAYONTOP") {
      return std::to_string(STAYONTOP);
    }
    if (key == "entry") {  // the current entry of the play order, of how many
      return std::to_string(runtime::QueuePosition(&PLAYQUEUE)) + " of " +
             std::to_string(runtime::QueueCount(&PLAYQUEUE));
    }
    ADD_FAILURE() << "nothing to read as " << key;
    return "";
  }
  void Check(const Step& step, size_t logFrom) const {
    for (const std::string& expectation : step.expect) {
      const size_t equals = expectation.find('=');
      const std::string key = expectation.substr(0, equals);
      const std::string value = expectation.substr(equals + 1);
      const auto commands = Commands(logFrom);
      std::string log;
      for (const std::string& command : commands) {
        log += "\n  " + command;
      }
      if (key == "sent") {
        const bool wanted = value.empty() || value[0] != '!';
        const std::string command = wanted ? value : value.substr(1);
        const bool sent = std::find(commands.begin(), commands.end(), command) != commands.end();
        EXPECT_EQ(sent, wanted) << step.what << ": " << expectation << log;
      } else {
        EXPECT_EQ(key + "=" + Read(key), expectation) << step.what << log;
      }
    }
  }

  // The timer ticks so far: every tick polls the open device, or tries to open it.
  static size_t Ticks() {
    size_t ticks = 0;
    for (const auto& entry : platform::InstalledCommandDevice().Log().Entries()) {
      ticks += entry.command == "status cdaudio ready" || entry.command == "open cdaudio shareable";
    }
    return ticks;
  }

  // Runs CDPLAYER and the steps, one at a time while it waits for input: each act, then the
  // box or dialog it opens, then its ticks (the clock moved by one timer period each), then the
  // checks. The last step is to close the window; a step that does not finish in time fails
  // the test and closes whatever is open.
  void RunPlayer(const std::vector<Step>& steps) {
    enum class Phase { Act, Acted, Ticking, Done };
    size_t index = 0;
    Phase phase = Phase::Act;
    int ticksLeft = 0;
    size_t ticksBefore = 0;
    bool tickAwaited = false;
    bool modalDone = false;
    size_t logFrom = 0;
    bool failed = false;
    bool busy = false;  // a menu or popup being opened runs a loop of its own
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer pump;
    pump.setInterval(2);
    QObject::connect(&pump, &QTimer::timeout, [&] {
      if (busy) {
        return;
      }
      busy = true;
      const Step& step = steps[std::min(index, steps.size() - 1)];
      if (!failed && elapsed.elapsed() > kStepLimitMs) {
        ADD_FAILURE() << "step '" << step.what << "' did not finish";
        failed = true;
      }
      if (failed) {
        DismissBoxesAndPopups();
        if (const runtime::WindowHandle current = runtime::CurrentWindow(); current != 0) {
          system_->RequestClose(runtime::NativeWindowOf(current));
        }
        busy = false;
        return;
      }
      if (phase == Phase::Done) {  // the window closes, or the step's limit runs out
        busy = false;
        return;
      }
      const bool modal =
          QApplication::activeModalWidget() != nullptr || runtime::CurrentWindow() != MAINWINDOW;
      if (modal) {
        if (phase == Phase::Acted && step.modal && !modalDone) {
          modalDone = true;
          step.modal();
        }
      } else if (phase == Phase::Act) {
        logFrom = platform::InstalledCommandDevice().Log().Entries().size();
        modalDone = false;
        phase = Phase::Acted;
        if (step.act) {
          step.act();
        }
        if (index + 1 == steps.size()) {
          phase = Phase::Done;  // the window closes
        }
      } else {
        if (phase == Phase::Acted) {
          EXPECT_EQ(modalDone, static_cast<bool>(step.modal)) << step.what << ": no dialog";
          phase = Phase::Ticking;
          ticksLeft = step.ticks;
          tickAwaited = false;
        }
        if (tickAwaited && Ticks() > ticksBefore) {
          tickAwaited = false;
          --ticksLeft;
        }
        if (!tickAwaited && ticksLeft > 0) {
          ticksBefore = Ticks();
          tickAwaited = true;
          clock_.Advance(ClockTime{DEVICEOPEN != 0 ? 750 : 2000});
        } else if (!tickAwaited) {
          Check(step, logFrom);
          ++index;
          phase = Phase::Act;
          elapsed.restart();
        }
      }
      busy = false;
    });
    pump.start();
    ASSERT_TRUE(CDPLAYER());
    pump.stop();
    EXPECT_FALSE(failed);
    EXPECT_EQ(index + 1, steps.size()) << "steps left undone";
    EXPECT_EQ(runtime::CurrentWindow(), 0);
  }

  platform::ManualClock clock_;
  platform::ScopedClock useClock_{clock_};
  std::optional<testing::PlayerEnvironment> environment_;
  std::string box_;
  static std::unique_ptr<QtWindowSystem> system_;
};

std::unique_ptr<QtWindowSystem> MainWindowTest::system_;

constexpr const char* kAllTrackButtons = "buttons=1 2 3 4 5 6 7 8 9 10 +10";

TEST_F(MainWindowTest, TheFullWindowsButtonsListsAndMenus) {
  WriteIni(kElevenAlbum);
  Insert(kElevenDisc);
  RunPlayer({
      {"opened on a stopped disc",
       {},
       0,
       {"caption=Vantora     Brennix", "height=202", "status=Stopped", "time=00:00 Album Elapsed",
        "icons=PLAY PAUS CLOS", "repeat=Repeat: None", kAllTrackButtons,
        "playlist=Album Order of 2", "track=Morning of 11", "disabled=", "checked="}},
      {"repeat", Click(kRepeatButton), 0, {"repeat=Repeat: Track"}},
      {"repeat again", Click(kRepeatButton), 0, {"repeat=Repeat: All"}},
      {"repeat once more", Click(kRepeatButton), 0, {"repeat=Repeat: None"}},
      {"time display", Click(34), 0, {"time=03:39 Album Remaining", "DISPLAYMODE=2"}},
      {"time display", Click(34), 0, {"time=03:39 Album Total", "DISPLAYMODE=3"}},
      {"time display", Click(34), 0, {"time=00:00 Track Elapsed", "DISPLAYMODE=4"}},
      {"time display", Click(34), 0, {"time=00:20 Track Remaining", "DISPLAYMODE=5"}},
      {"time display", Click(34), 0, {"time=00:20 Track Total", "DISPLAYMODE=6"}},
      {"time display back", Click(34), 0, {"time=00:00 Album Elapsed", "DISPLAYMODE=1"}},
      {"+10", Click(kNextPageButton), 0, {"buttons=11 +10"}},
      {"+10 back to the first page", Click(kNextPageButton), 0, {kAllTrackButtons}},
      {"+10 again", Click(kNextPageButton), 0, {"buttons=11 +10"}},
      {"track button 11 plays entry 11",
       Click(kFirstTrackButton),
       1,
       {"sent=play cdaudio from 11", "status=Playing Track 11", "icons=STOP PAUS CLOS",
        "track=Last Light of 11", "entry=11 of 11", "PLAYING=1"}},
      {"a row of the track list jumps while playing",
       Pick(kTrackList, 2),
       1,
       {"sent=play cdaudio from 2", "status=Playing Track 2", "track=Noon of 11"}},
      {"previous", Click(kPreviousButton), 1, {"sent=play cdaudio from 1", "track=Morning of 11"}},
      {"next", Click(kNextButton), 1, {"sent=play cdaudio from 2", "status=Playing Track 2"}},
      {"pause",
       Click(kPauseButton),
       1,
       {"sent=pause cdaudio", "status=Paused on track 2", "icons=STOP PAU2 CLOS"}},
      {"resume",
       Click(kPauseButton),
       1,
       {"sent=play cdaudio", "status=Playing Track 2", "icons=STOP PAUS CLOS"}},
      {"play while playing stops",
       Click(kPlayButton),
       1,
       {"sent=stop cdaudio", "status=Stopped", "icons=PLAY PAUS CLOS", "PLAYING=0"}},
      {"previous while stopped only moves",
       Click(kPreviousButton),
       0,
       {"sent=!play cdaudio from 1", "track=Morning of 11", "entry=1 of 11"}},
      {"previous from the first", Click(kPreviousButton), 0, {"entry=11 of 11"}},
      {"next from the last", Click(kNextButton), 0, {"track=Morning of 11", "entry=1 of 11"}},
      {"a row of the track list while stopped",
       Pick(kTrackList, 3),
       0,
       {"sent=!play cdaudio from 3", "track=Evening of 11", "entry=3 of 11"}},
      {"play plays that row", Click(kPlayButton), 1, {"status=Playing Track 3"}},
      {"another playlist stops, no AutoPlay",
       Pick(32, 2),
       0,
       {"sent=stop cdaudio", "sent=!play cdaudio from 3 to 4", "playlist=Backwards of 2",
        "track=Evening of 3", "entry=1 of 3"}},
      // The stop took the drive back to track 1, which is no entry of this playlist: the list
      // shows the entry that Play would play.
      {"stopped", {}, 1, {"status=Stopped", "track=Evening of 3", "entry=1 of 3"}},
      {"the same playlist again", Pick(32, 2), 0, {"sent=!stop cdaudio", "entry=1 of 3"}},
      {"+10 to the first page", Click(kNextPageButton), 0, {kAllTrackButtons}},
      {"a track button declined",
       Click(kFirstTrackButton + 1),
       1,
       {std::string("box=Track Button Selected|") + kTrackBoxText + "|question|&Yes &No|&No",
        "sent=!play cdaudio from 2", "playlist=Backwards of 2", "entry=1 of 3", "status=Stopped"},
       Answer("&No")},
      {"a track button confirmed",
       Click(kFirstTrackButton + 1),
       1,
       {"sent=play cdaudio from 2", "playlist=Album Order of 2", "entry=2 of 11",
        "status=Playing Track 2", "track=Noon of 11"},
       Answer("&Yes")},
      {"Edit Playlist, saved",
       Click(18),
       1,
       {"sent=stop cdaudio", "album=Eleven Songs, Live", "status=Stopped", "PLAYING=0"},
       EditAlbumTitle("Eleven Songs, Live")},
      {"Options, Playlist, cancelled",
       Choose("&Playlist"),
       0,
       {"sent=!stop cdaudio"},
       [] { QTest::mouseClick(Widget(runtime::CurrentWindow(), kEditor, 15), Qt::LeftButton); }},
      {"AutoPlay", Choose("&AutoPlay"), 0, {"checked=AutoPlay"}},
      {"another playlist with AutoPlay",
       Pick(32, 2),
       1,
       {"sent=stop cdaudio", "sent=play cdaudio from 3 to 4", "playlist=Backwards of 2",
        "status=Playing Track 3"}},
      {"the door while playing",
       Click(kDoorButton),
       1,
       {"sent=set cdaudio door open", "status=Door Open", "icons=PLAY'- PAUS- OPEN",
        "disabled=4 11 12 13 14 16 17 18 19", "PLAYING=1"}},
      {"the door while open: closed on the disc, which spins up",
       Click(kDoorButton),
       1,
       {"sent=set cdaudio door closed", "status=Not Ready", "icons=PLAY'- PAUS- CLOS"}},
      // Not through "open" straight to "stopped": the same album stays, and AutoPlay waits.
      {"spun up", {}, 2, {"status=Stopped", "icons=PLAY PAUS CLOS", "disabled=", "PLAYING=0"}},
      {"File, Exit", Choose("E&xit")},
  });
  const std::string ini = IniText();
  for (const char* saved :
       {"Auto Play=1\r\n", "Display Mode=1\r\n", "Control Panel=0\r\n", "Stay On Top=0\r\n"}) {
    EXPECT_NE(ini.find(saved), std::string::npos) << saved << ini;
  }
}

// Names in any script show as meant: those an older player wrote in Windows-1252 and those typed
// into the file by hand in UTF-8. A typed title of any script is kept to sixty characters, reaches
// ZQ_CD.INI as UTF-8 and shows again after a restart; an album the player did not write keeps its
// bytes.
TEST_F(MainWindowTest, NamesInAnyScriptShowAndSurviveTheFileAndARestart) {
  const std::string other = "[OTHER]\r\nTitle=Ol\xe9\r\n";
  std::string album = kElevenAlbum;
  album.replace(album.find("Eleven Songs"), 12, "Caf\xe9 \x93Live\x94");
  album.replace(album.find("Morning"), 7, "Bj\xc3\xb6rk");
  WriteIni(other + album);
  Insert(kElevenDisc);
  // Eighteen characters, then fifty that take two UTF-16 units each: sixty are kept.
  const QString typed = QString::fromUtf8("日本語のアルバム – “Live” ") +
                        QString::fromUtf8("\xf0\x9f\x8e\xb5").repeated(50);
  const std::string kept = typed.left(18 + 2 * 42).toStdString();
  RunPlayer({
      {"opened", {}, 0, {"album=Café “Live”", "track=Björk of 11"}},
      {"a title typed in the editor", Click(18), 1, {"album=" + kept}, EditAlbumTitle(typed)},
      {"File, Exit", Choose("E&xit")},
  });
  const std::string file = IniText();
  EXPECT_EQ(file.substr(0, other.size()), other);
  EXPECT_TRUE(platform::IsUtf8(file.substr(other.size())));
  EXPECT_NE(file.find("\r\nTitle=" + kept + "\r\n"), std::string::npos) << file;
  EXPECT_NE(file.find("\r\nTrack 1=Björk\r\n"), std::string::npos) << file;

  ResetState();
  RunPlayer({{"restarted", {}, 0, {"album=" + kept, "track=Björk of 11"}},
             {"File, Exit", Choose("E&xit")}});
}

// A ZQ_CD.INI the player cannot write (a folder in its place): its first-run settings wait. Three
// seconds on, a box that does not stop the poll names the file and why, once; OK in the editor
// says so at once and leaves the editor open. Once the folder is gone everything is written.
TEST_F(MainWindowTest, ASaveThatCannotBeMadeIsToldAndKeptUntilItCanBe) {
  const std::filesystem::path ini = environment_->ConfigDir() / kIniFile;
  std::filesystem::remove(ini);
  std::filesystem::create_directory(ini);
  Insert(kElevenDisc);
  const std::string told = "Changes Not Saved|Your changes could not be saved to " + ini.string() +
                           ":\nIs a directory.\n\nThey are kept and saved as soon as the file can "
                           "be written, while the player runs.";
  // The editor's OK brings a box of its own; it is answered, then the editor cancelled.
  QTimer chores;
  auto titleThenCancel = [this, &chores] {
    EditAlbumTitle("Kept Title")();
    chores.callOnTimeout([this, &chores] {
      if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr) {
        Answer("OK")();
      } else if (!box_.empty() && runtime::CurrentWindow() != MAINWINDOW) {
        chores.stop();
        QTest::mouseClick(Widget(runtime::CurrentWindow(), kEditor, 15), Qt::LeftButton);
      }
    });
    chores.start(10);
  };
  RunPlayer({
      {"opened", {}, 1, {"album=New Album", "notice="}},
      {"three seconds on", {}, 4, {"notice=" + told, "sent=status cdaudio mode"}},
      {"read, and not shown again",
       runtime::testing::DismissBoxes,
       5,
       {"notice=", "sent=status cdaudio mode"}},
      {"OK in the editor",
       Click(18),
       1,
       {"box=" + told + "|other|OK|OK", "notice="},
       titleThenCancel},
      {"the folder gone", [&ini] { std::filesystem::remove(ini); }, 25, {"notice="}},
      {"File, Exit", Choose("E&xit")},
  });
  const std::string file = IniText();
  EXPECT_NE(file.find("Product="), std::string::npos) << file;
  EXPECT_NE(file.find("Title=Kept Title"), std::string::npos) << file;
}

// Rows that repeat an earlier row's text are chosen by their place: tracks 1 and 3 are both
// Intro, 4 to 11 untitled; "Twice" holds track 2 twice; two playlists are Mix, one is nameless.
TEST_F(MainWindowTest, ARowThatRepeatsATextIsTheOneChosen) {
  WriteIni(
      "[1121901200120012001]\r\nTitle=Echoes\r\nTrack 1=Intro\r\nTrack 2=Noon\r\n"
      "Track 3=Intro\r\nPlayList Count=4\r\nPlayList 1 Title=Twice\r\nPlayList 1=3 020302\r\n"
      "PlayList 2 Title=Mix\r\nPlayList 2=1 5\r\nPlayList 3 Title=Mix\r\nPlayList 3=2 1110\r\n"
      "PlayList 4 Title=\r\nPlayList 4=1 9\r\n");
  Insert(kElevenDisc);
  const auto ok = [] {
    QTest::mouseClick(Widget(runtime::CurrentWindow(), kEditor, 14), Qt::LeftButton);
  };
  RunPlayer({
      {"2nd Intro", Pick(kTrackList, 3), 1, {"trackrow=3", "entry=3 of 11"}},
      {"play", Click(kPlayButton), 1, {"sent=play cdaudio from 3", "trackrow=3"}},
      {"untitled 8", Pick(kTrackList, 8), 2, {"sent=play cdaudio from 8", "trackrow=8"}},
      {"Twice", Pick(32, 2), 1, {"sent=stop cdaudio", "playlistrow=2"}},
      {"its 3rd entry", Pick(kTrackList, 3), 1, {"trackrow=3", "entry=3 of 3"}},
      {"play", Click(kPlayButton), 1, {"sent=play cdaudio from 2 to 3", "trackrow=3"}},
      {"previous", Click(kPreviousButton), 1, {"sent=play cdaudio from 3 to 4"}},
      {"1st Mix", Pick(32, 3), 1, {"sent=stop cdaudio", "playlistrow=3", "entry=1 of 1"}},
      {"2nd Mix", Pick(32, 4), 1, {"sent=stop cdaudio", "playlistrow=4", "entry=1 of 2"}},
      {"play", Click(kPlayButton), 1, {"sent=play cdaudio from 11", "playlistrow=4"}},
      {"saved, loaded again", Click(18), 1, {"playlistrow=4", "entry=1 of 2"}, ok},
      {"nameless", Pick(32, 5), 1, {"sent=stop cdaudio", "playlistrow=5", "entry=1 of 1"}},
      {"File, Exit", Choose("E&xit")},
  });
}

TEST_F(MainWindowTest, CompactFormMinimisedAndAboutShowTheStatusInTheCaption) {
  WriteIni("[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nAuto Play=1\r\n");
  auto top = [] { return TopLevel(MAINWINDOW); };
  RunPlayer({
      {"AutoPlay plays the demo disc",
       {},
       1,
       {"status=Playing Track 1", "caption=Vantora     Brennix", "checked=AutoPlay"}},
      {"compact at once, the caption at the next tick",
       Choose("&Control Panel"),
       0,
       {"height=23", "caption=Vantora     Brennix", "checked=Control Panel AutoPlay"}},
      // A difference of time values shows one second less than its whole seconds: 1.49 s is 00:00.
      {"next tick", {}, 1, {"caption=CD Playing 1  (00:00)", "height=23"}},
      {"the toolbar is all there is", [] { Photograph("player_compact.png"); }},
      {"pause", Click(kPauseButton), 1, {"caption=CD Paused  (00:00)"}},
      {"full at once", Choose("&Control Panel"), 0, {"height=202", "caption=Audio CD Player"}},
      {"resume", Click(kPauseButton), 2, {"caption=Audio CD Player", "status=Playing Track 1"}},
      {"minimised", [&] { top()->showMinimized(); }, 1, {"caption=CD Playing 1  (00:02)"}},
      {"restored", [&] { top()->showNormal(); }, 1, {"caption=Audio CD Player", "position=kept"}},
      {"stay on top", Choose("&Stay On Top"), 0, {"ontop=1", "STAYONTOP=1"}},
      {"not on top", Choose("&Stay On Top"), 0, {"ontop=0", "STAYONTOP=0"}},
      {"a disc playing", [] { Photograph("player_playing.png"); }},
      {"moved", [&] { top()->move(top()->pos() + QPoint(120, 90)); }, 0, {"position=kept"}},
      {"About, and its OK",
       Choose("&About"),
       0,
       {"caption=Audio CD Player"},
       [] {
         ASSERT_NE(runtime::CurrentWindow(), MAINWINDOW);
         Photograph("about_vantora.png");
         QTest::mouseClick(Widget(runtime::CurrentWindow(), kAbout, 1), Qt::LeftButton);
       }},
      {"stopped, compact", Click(kPlayButton), 0, {"sent=stop cdaudio"}},
      {"compact", Choose("&Control Panel"), 1, {"caption=CD Stopped"}},
      {"the door", Click(kDoorButton), 1, {"caption=CD Door Open", "height=23"}},
      {"the door again", Click(kDoorButton), 1, {"caption=CD Not Ready"}},
      {"spun up", {}, 2, {"caption=CD Stopped"}},
      {"close box", PressCloseBox},
  });
  const std::string ini = IniText();
  const std::vector<std::string> settings = {"Auto Play=1\r\n", "Control Panel=1\r\n",
                                             "Stay On Top=0\r\n",
                                             "Window X=" + std::to_string(WINDOWX) + "\r\n",
                                             "Window Y=" + std::to_string(WINDOWY) + "\r\n"};
  for (const std::string& saved : settings) {
    EXPECT_NE(ini.find(saved), std::string::npos) << saved << ini;
  }
  EXPECT_GT(WINDOWX, 0);
}

TEST_F(MainWindowTest, ADriveUnpluggedAtStartLeavesTheWindowWaitingForIt) {
  WriteIni(
      "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nStay On Top=1\r\nControl Panel=1\r\n");
  ASSERT_TRUE(environment_->Drive().SetPlugged(false).ok());
  ASSERT_TRUE(environment_->Drive().Insert(Tracks(25)).ok());
  RunPlayer({
      {"opened",
       {},
       0,
       {"caption=Device Not Available", "height=23", "status=CD Player Not Available",
        "disabled=4 11 12 13 14 15 16 17 18 19", "STAYONTOP=0", "checked=Control Panel",
        "ontop=1"}},
      {"the retry", {}, 1, {"sent=open cdaudio shareable", "caption=Device Not Available"}},
      // The window has stayed on top since the start: choosing the item again changes nothing.
      {"stay on top", Choose("&Stay On Top"), 0, {"STAYONTOP=1", "ontop=1"}},
      {"not on top", Choose("&Stay On Top"), 0, {"STAYONTOP=0", "ontop=0"}},
      {"plugged in: the retry opens it",
       [&] { ASSERT_TRUE(environment_->Drive().SetPlugged(true).ok()); },
       1,
       {"caption=Device Not Available", "status=Stopped", "disabled="}},
      {"polled", {}, 1, {"caption=CD Stopped"}},
      {"+10", Click(kNextPageButton), 0, {"buttons=11 12 13 14 15 16 17 18 19 20 +10"}},
      {"+10 to the last page", Click(kNextPageButton), 0, {"buttons=21 22 23 24 25 +10"}},
      {"+10 back to the first", Click(kNextPageButton), 0, {kAllTrackButtons}},
      {"a disc of ten tracks: one page",
       [&] { ASSERT_TRUE(environment_->Drive().Insert(Tracks(10)).ok()); },
       3,
       {"caption=CD Stopped", "buttons=1 2 3 4 5 6 7 8 9 10"}},
      {"full form", Choose("&Control Panel"), 0, {"height=202", "caption=Audio CD Player"}},
      {"File, Exit", Choose("E&xit")},
  });
  const std::string ini = IniText();
  for (const char* saved : {"Control Panel=0\r\n", "Stay On Top=0\r\n"}) {
    EXPECT_NE(ini.find(saved), std::string::npos) << saved << ini;
  }
}

TEST_F(MainWindowTest, TheTitleDialogHandsBackTheEntryOnlyOnOk) {
  const std::string longTitle(70, 'x');
  struct Case {
    std::string given;
    const char* caption;
    const char* typed;   // replaces the entry's text; nullptr leaves it
    const char* button;  // "OK", "&Cancel", or nullptr for the close box
    std::string result;
  };
  const Case cases[] = {
      {"", "New Playlist Title", nullptr, "&Cancel", ""},
      {"", "New Playlist Title", "Quiet Ones", "OK", "Quiet Ones"},
      {"Favourites", "Edit Playlist Title", nullptr, "&Cancel", "Favourites"},
      {"Favourites", "Edit Playlist Title", "Other", nullptr, "Favourites"},
      {"Favourites", "Edit Playlist Title", "", "OK", ""},
      {longTitle, "Edit Playlist Title", nullptr, "&Cancel", longTitle.substr(0, 60)},
      {longTitle, "Edit Playlist Title", nullptr, "OK", longTitle.substr(0, 60)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given + " " + (c.button ? c.button : "close box"));
    bool done = false;
    QTimer user;
    user.setInterval(2);
    QObject::connect(&user, &QTimer::timeout, [&] {
      const runtime::WindowHandle dialog = runtime::CurrentWindow();
      QWidget* top = TopLevel(dialog);
      if (done || top == nullptr) {
        return;
      }
      done = true;
      auto* entry = Widget<QLineEdit>(dialog, kTitleDialog, 1);
      ASSERT_NE(entry, nullptr);
      EXPECT_EQ(top->windowTitle().toStdString(), c.caption);
      EXPECT_EQ(Trimmed(entry->text().toStdString()), c.given.substr(0, 60));
      if (c.typed != nullptr) {
        entry->setFocus();
        entry->selectAll();
        QTest::keyClick(entry, Qt::Key_Delete);
        QTest::keyClicks(entry, c.typed);
      }
      if (c.given == "Favourites" && c.typed == nullptr) {
        Photograph("playlist_title_dialog.png");
      }
      if (c.button == nullptr) {
        top->close();
      } else {
        QTest::mouseClick(Widget(dialog, kTitleDialog, c.button[0] == 'O' ? 2 : 3), Qt::LeftButton);
      }
    });
    user.start();
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
      ADD_FAILURE() << "the dialog did not close";
      system_->RequestClose(runtime::NativeWindowOf(runtime::CurrentWindow()));
    });
    guard.start(kStepLimitMs);
    const FixedText<60> result = EDITPLAYLISTTITLE(c.given);
    EXPECT_TRUE(done);
    EXPECT_EQ(result.str(), Trimmed(c.result));
    EXPECT_EQ(runtime::CurrentWindow(), 0);
  }
}

}  // namespace
}  // namespace vantora::app
