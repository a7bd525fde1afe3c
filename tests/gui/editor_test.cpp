// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist editor on real widgets (offscreen): rows dragged with the mouse, titles typed, the
// track entry's keys, the confirmation box and the limits, then what the editor returned, its
// queues and the lines of ZQ_CD.INI.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/editor.h"
#include "app/state.h"
#include "platform/profile/profile.h"
#include "platform/qt/qt_window_system.h"
#include "runtime/queue.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"
#include "tests/support/morning_set.h"
#include "tests/support/player_environment.h"
#include "tests/support/qt_widgets.h"
#include "windows/definition.h"
#include "windows/native_spec.h"

namespace vantora::app {
namespace {

using platform::qt::QtWindowSystem;
using runtime::testing::Id;
using testing::HoldMorningSet;
using testing::MorningSection;
using Parts = testing::PlayerEnvironment::Parts;
using runtime::QueueCount;
using Numbers = std::vector<int32_t>;
using Strings = std::vector<std::string>;

constexpr std::string_view kEditor = "P22$EDITWINDOW";
constexpr std::string_view kTitleDialog = "P26$EDITWINDOW";

class EditorGui : public ::testing::Test {
 protected:
  static constexpr int kGuardMs = 20'000;

  // Something the user does once the editor (or a dialog over it) waits, and what then shows.
  struct Step {
    std::string what;
    std::function<void()> act;
    std::function<void()> then;
  };

  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "editor_test";
    static char* argv[] = {name, nullptr};
    system_ = std::make_unique<QtWindowSystem>(argc, argv);
  }
  static void TearDownTestSuite() { system_.reset(); }

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(environment_.emplace("editor", Parts::kSettingsOnly));
    platform::SetCurrentWindowSystem(system_.get());
    ResetState();
    runtime::ResetValueStacks();
    guard_.emplace(*system_, kGuardMs,
                   "the editor still runs after " + std::to_string(kGuardMs) + " ms",
                   runtime::testing::DismissBoxes);
  }
  void TearDown() override {
    guard_.reset();
    runtime::ResetWindows();
    platform::SetCurrentWindowSystem(nullptr);
    ResetState();
    runtime::ResetValueStacks();
    environment_.reset();
  }

  // The disc in the drive: Morning Set's 12 tracks, the file holding `ini`.
  void Album(const std::string& ini) {
    environment_->WriteIni(ini);
    HoldMorningSet();
  }
  std::string IniText() const { return environment_->IniText(); }

  // Runs EDITPLAYLISTS. Each step acts once the loop on top waits for the user; its checks run
  // at the next wait, after the editor has handled what it did.
  int32_t Edit(const std::vector<Step>& steps) {
    QObject context;
    size_t next = 0;
    std::function<void()> tick = [&] {
      if (next > 0 && steps[next - 1].then) {
        SCOPED_TRACE("after: " + steps[next - 1].what);
        steps[next - 1].then();
      }
      if (next < steps.size()) {
        SCOPED_TRACE(steps[next].what);
        steps[next++].act();
        QTimer::singleShot(0, &context, tick);
      }
    };
    QTimer::singleShot(0, &context, tick);
    const int32_t saved = EDITPLAYLISTS();
    EXPECT_EQ(next, steps.size()) << "the editor closed before its last step";
    return saved;
  }

  static uintptr_t Native() { return runtime::NativeWindowOf(runtime::CurrentWindow()); }
  static QWidget* TopLevel() { return runtime::testing::TopLevel(runtime::CurrentWindow()); }
  // The widget of a control of the window on top (the editor, or the title dialog over it).
  template <typename T = QWidget>
  static T* W(int32_t number, std::string_view window = kEditor) {
    return runtime::testing::Widget<T>(runtime::CurrentWindow(), window, number);
  }
  static QTreeView* Tracks() { return W<QTreeView>(6); }
  static QTreeView* Playlist() { return W<QTreeView>(10); }
  static bool Enabled(int32_t number) {
    return system_->IsControlEnabled(Native(), Id(kEditor, number));
  }
  // What the playlist drop list shows.
  static std::string Chosen() { return system_->Text(Native(), Id(kEditor, 9)).value_or("?"); }
  // Opens the playlist drop list and clicks a row (1-based), as the user does.
  static void PickPlaylist(int row) {
    QComboBox* combo = W<QComboBox>(9);
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window(), 2000));
    const QRect rect = view->visualRect(view->model()->index(row - 1, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
  }

  // Rows here are counted from 1, as the editor's queues count them.
  static QPoint RowCentre(QTreeView* list, int row) {
    return runtime::testing::RowCentre(list, row - 1);
  }
  static void DragRow(QTreeView* source, int row, QWidget* target, QPoint point,
                      const std::function<void()>& midway = {}) {
    runtime::testing::DragRow(source, row - 1, target, point, midway);
  }
  static void AddTrack(int row) { DragRow(Tracks(), row, Playlist()->viewport(), QPoint(20, 8)); }
  static void Click(int32_t number, std::string_view window = kEditor) {
    QTest::mouseClick(W<QPushButton>(number, window), Qt::LeftButton);
  }
  // Types into an entry as the user does: its old text selected and typed over.
  static void TypeInto(QLineEdit* entry, const QString& text) {
    entry->setFocus();
    entry->selectAll();
    QTest::keyClicks(entry, text);
  }
  // "&New" or "&Edit", then a title typed into the dialog and "OK"; `then` checks the editor.
  static void AddTitleSteps(std::vector<Step>& steps, int32_t button, const char* caption,
                            const QString& typed, std::function<void()> then) {
    steps.push_back({"press " + std::to_string(button), [button] { Click(button); }, {}});
    steps.push_back({std::string("title ") + caption,
                     [=] {
                       EXPECT_EQ(TopLevel()->windowTitle(), caption);
                       TypeInto(W<QLineEdit>(1, kTitleDialog), typed);
                       Click(2, kTitleDialog);
                     },
                     std::move(then)});
  }

  // The rows a list shows.
  static Strings Shown(QTreeView* list) {
    list->viewport()->repaint();
    Strings rows;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
      rows.push_back(list->model()->index(row, 0).data().toString().trimmed().toStdString());
    }
    return rows;
  }
  // The tracks of the playlist being edited.
  static Numbers Edited() {
    Numbers tracks;
    // Peeked, so that the editor's record buffer and current entry stay as they are.
    for (int32_t i = 1; i <= QueueCount(&TRACKLISTQUEUE); ++i) {
      TrackListRecord record;
      std::memcpy(&record, runtime::PeekQueueEntry(&TRACKLISTQUEUE, i).data(), sizeof record);
      tracks.push_back(record.PLAYLISTTRACKNUMBER);
    }
    return tracks;
  }

  static std::unique_ptr<QtWindowSystem> system_;
  std::optional<runtime::testing::RunGuard> guard_;
  std::optional<testing::PlayerEnvironment> environment_;
};

std::unique_ptr<QtWindowSystem> EditorGui::system_;

// Answers the message box on show with the button labelled `label`; what it showed, for checks.
std::string AnswerBox(const QString& label) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box == nullptr || !box->isVisible()) {
      continue;
    }
    QString seen = box->windowTitle() + " | " + box->text() + " |";
    for (QAbstractButton* button : box->buttons()) {
      seen += " " + button->text();
    }
    seen += " | " + (box->defaultButton() ? box->defaultButton()->text() : QString());
    for (QAbstractButton* button : box->buttons()) {
      if (button->text() == label) {
        QTest::mouseClick(button, Qt::LeftButton);
      }
    }
    return seen.toStdString();
  }
  return "no box";
}

TEST_F(EditorGui, DragsBuildAPlaylistMoveItsTracksAndDropThemOut) {
  Album(MorningSection(""));
  std::vector<Step> steps;
  steps.push_back({"open",
                   [] {
                     // Without playlists only "&New" works on them.
                     for (const int32_t number : {9, 10, 12, 13}) {
                       EXPECT_FALSE(Enabled(number)) << number;
                     }
                     EXPECT_TRUE(Enabled(11));
                   },
                   {}});
  AddTitleSteps(steps, 11, "New Playlist Title", "Short Mix", [] {
    for (const int32_t number : {9, 10, 12, 13}) {
      EXPECT_TRUE(Enabled(number)) << number;
    }
    EXPECT_EQ(Chosen(), "Short Mix");
    EXPECT_TRUE(Edited().empty());
  });
  struct Drag {
    const char* what;
    std::function<void()> drag;
    Numbers after;
  };
  const std::filesystem::path shot =
      std::filesystem::path(VANTORA_SCREENSHOT_DIR) / "playlist_editor_drag.png";
  std::filesystem::create_directories(shot.parent_path());
  const Drag drags[] = {
      {"album track 12 onto the empty playlist", [] { AddTrack(12); }, {12}},
      {"album track 10 onto row 1: added at the end",
       [] { DragRow(Tracks(), 10, Playlist()->viewport(), RowCentre(Playlist(), 1)); },
       {12, 10}},
      {"album track 11 below the last row",
       [] {
         QWidget* viewport = Playlist()->viewport();
         DragRow(Tracks(), 11, viewport, QPoint(20, viewport->height() - 4));
       },
       {12, 10, 11}},
      {"album track 3, photographed on the way",
       [shot] {
         DragRow(Tracks(), 3, Playlist()->viewport(), QPoint(40, 60),
                 [shot] { EXPECT_TRUE(system_->SaveWindowImage(Native(), shot.string())); });
       },
       {12, 10, 11, 3}},
      {"playlist row 4 onto row 1: moved there",
       [] { DragRow(Playlist(), 4, Playlist()->viewport(), RowCentre(Playlist(), 1)); },
       {3, 12, 10, 11}},
      {"playlist row 1 below the last row: moved to the end",
       [] {
         QWidget* viewport = Playlist()->viewport();
         DragRow(Playlist(), 1, viewport, QPoint(20, viewport->height() - 4));
       },
       {12, 10, 11, 3}},
      {"playlist row 2 onto row 3",
       [] { DragRow(Playlist(), 2, Playlist()->viewport(), RowCentre(Playlist(), 3)); },
       {12, 11, 10, 3}},
      {"playlist row 4 onto the album title: removed",
       [] { DragRow(Playlist(), 4, W(5), QPoint(10, 5)); },
       {12, 11, 10}},
      {"playlist row 3 onto row 2",
       [] { DragRow(Playlist(), 3, Playlist()->viewport(), RowCentre(Playlist(), 2)); },
       {12, 10, 11}},
      {"album track 5", [] { AddTrack(5); }, {12, 10, 11, 5}},
      {"playlist row 4 onto the window's background: removed",
       [] {
         const QPoint leftOfOk = W(14)->mapTo(TopLevel(), QPoint(-30, 5));
         DragRow(Playlist(), 4, TopLevel(), leftOfOk);
       },
       {12, 10, 11}},
      {"album track 6", [] { AddTrack(6); }, {12, 10, 11, 6}},
      {"playlist row 4 onto \"&Edit\": removed, nothing renamed",
       [] { DragRow(Playlist(), 4, W(12), QPoint(5, 5)); },
       {12, 10, 11}},
      {"album track 7", [] { AddTrack(7); }, {12, 10, 11, 7}},
      {"playlist row 4 onto the album's tracks: removed",
       [] { DragRow(Playlist(), 4, Tracks()->viewport(), RowCentre(Tracks(), 1)); },
       {12, 10, 11}},
      {"an album track dropped on the track title: not taken",
       [] { DragRow(Tracks(), 8, W(7), QPoint(10, 5)); },
       {12, 10, 11}},
  };
  for (const Drag& drag : drags) {
    const Numbers after = drag.after;
    steps.push_back({drag.what, drag.drag, [after] {
                       EXPECT_EQ(Edited(), after);
                       Strings titles;
                       for (const int32_t track : after) {
                         titles.push_back(track == 2 ? "Opening"
                                                     : "Track " + std::to_string(track));
                       }
                       EXPECT_EQ(Shown(Playlist()), titles);
                       EXPECT_EQ(TopLevel()->windowTitle(), "Edit an Album's Playlist");
                     }});
  }
  steps.push_back({"OK", [] { Click(14); }, {}});
  EXPECT_EQ(Edit(steps), 1);
  EXPECT_EQ(IniText(), MorningSection("PlayList Count=1\r\nPlayList 1 Title=Short Mix\r\n"
                                      "PlayList 1=3 121011\r\n"));
  EXPECT_EQ(QueueCount(&HOLDQUEUE), 0);
  EXPECT_EQ(QueueCount(&TRACKLISTQUEUE), 0);
  EXPECT_FALSE(QImage(QString::fromStdString(shot.string())).isNull());
}

TEST_F(EditorGui, TrackEntryKeysWalkTheAlbumAndTypedTitlesStay) {
  Album(MorningSection(""));
  const QString longTitle(70, QChar('A'));
  std::vector<Step> steps;
  steps.push_back({"type a title of 70 characters and the artist",
                   [longTitle] {
                     TopLevel()->activateWindow();
                     EXPECT_TRUE(QTest::qWaitForWindowActive(TopLevel(), 2000));
                     TypeInto(W<QLineEdit>(5), longTitle);
                     TypeInto(W<QLineEdit>(3), "The Early Risers");
                     // Enter would press OK: Tab leaves the entry, which takes what was typed.
                     QTest::keyClick(W<QLineEdit>(3), Qt::Key_Tab);
                   },
                   [] {
                     // The entry holds what its variable can.
                     EXPECT_EQ(W<QLineEdit>(5)->text(), QString(60, QChar('A')));
                     EXPECT_EQ(ALBUMTITLE.str(), std::string(60, 'A'));
                     EXPECT_EQ(ALBUMARTIST.str(), "The Early Risers");
                   }});
  struct Key {
    const char* what;
    QString typed;  // typed over the entry first ("" for none)
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int32_t selected;   // then the row selected in the album's tracks (0: none)
    const char* shown;  // and the entry's text
  };
  const Key keys[] = {
      {"Down", "", Qt::Key_Down, {}, 2, "Opening"},
      {"a title, then Down", "Sunrise", Qt::Key_Down, {}, 3, "Track 3"},
      {"Ctrl+PgDn", "", Qt::Key_PageDown, Qt::ControlModifier, 12, "Track 12"},
      {"Down on the last row", "", Qt::Key_Down, {}, 1, "Track 1"},
      {"Up on the first row", "", Qt::Key_Up, {}, 0, "Track 1"},
      {"Up with none", "", Qt::Key_Up, {}, 12, "Track 12"},
      {"PgUp from 12", "", Qt::Key_PageUp, {}, 0, "Track 12"},
      {"a title with none selected, then Tab", "Finale", Qt::Key_Tab, {}, 0, "Finale"},
      {"Ctrl+PgUp", "", Qt::Key_PageUp, Qt::ControlModifier, 1, "Track 1"},
      {"PgDn from 1", "", Qt::Key_PageDown, {}, 0, "Track 1"},
      {"a title of 70 characters, then Ctrl+PgDn", longTitle, Qt::Key_PageDown, Qt::ControlModifier,
       12, "Finale"},
  };
  for (const Key& key : keys) {
    steps.push_back({key.what,
                     [key] {
                       QLineEdit* entry = W<QLineEdit>(7);
                       entry->setFocus();
                       if (!key.typed.isEmpty()) {
                         TypeInto(entry, key.typed);
                       }
                       QTest::keyClick(entry, key.key, key.modifiers);
                     },
                     [key] {
                       EXPECT_EQ(system_->SelectedRow(Native(), Id(kEditor, 6)), key.selected);
                       EXPECT_EQ(Tracks()->selectionModel()->hasSelection(), key.selected != 0);
                       EXPECT_EQ(W<QLineEdit>(7)->text().toStdString(), key.shown);
                     }});
  }
  steps.push_back(
      {"a click on row 5",
       [] { QTest::mouseClick(Tracks()->viewport(), Qt::LeftButton, {}, RowCentre(Tracks(), 5)); },
       [] {
         EXPECT_EQ(W<QLineEdit>(7)->text(), "Track 5");
         EXPECT_EQ(QApplication::focusWidget(), W<QLineEdit>(7));
       }});
  steps.push_back({"PgDn from 5", [] { QTest::keyClick(W<QLineEdit>(7), Qt::Key_PageDown); },
                   [] {
                     EXPECT_EQ(system_->SelectedRow(Native(), Id(kEditor, 6)), 0);
                     EXPECT_EQ(W<QLineEdit>(7)->text(), "Track 5");
                   }});
  steps.push_back({"OK", [] { Click(14); }, {}});
  EXPECT_EQ(Edit(steps), 1);
  std::string expected = MorningSection("PlayList Count=0\r\n");
  const auto replace = [&expected](const std::string& from, const std::string& to) {
    expected.replace(expected.find(from), from.size(), to);
  };
  replace("Title=Morning Set", "Title=" + std::string(60, 'A'));
  replace("Artist=Various", "Artist=The Early Risers");
  replace("Track 1=Track 1", "Track 1=" + std::string(60, 'A'));
  replace("Track 2=Opening", "Track 2=Sunrise");
  replace("Track 12=Track 12", "Track 12=Finale");
  EXPECT_EQ(IniText(), expected);
}

TEST_F(EditorGui, RemovingAsksFirstAndTheLastOneTakesThePlaylistControls) {
  Album(
      MorningSection("PlayList Count=2\r\nPlayList 1 Title=Short Mix\r\nPlayList 1=3 121011\r\n"
                     "PlayList 2 Title=Closing\r\nPlayList 2=1 12\r\n"));
  const std::string box =
      "Confirm Deletion | Are you sure you want to delete this play list? | &Yes &No | &No";
  const auto shows = [](const char* name, Numbers tracks, bool controls) {
    return [=] {
      EXPECT_EQ(Chosen(), name);
      EXPECT_EQ(PLAYLISTNAME.str(), name);
      EXPECT_EQ(Edited(), tracks);
      for (const int32_t number : {9, 10, 12, 13}) {
        EXPECT_EQ(Enabled(number), controls) << number;
      }
    };
  };
  const std::vector<Step> steps = {
      {"open", [] {}, shows("Short Mix", {12, 10, 11}, true)},
      // Edits survive a switch to another playlist and back.
      {"pick Closing", [] { PickPlaylist(2); }, shows("Closing", {12}, true)},
      {"album track 1", [] { AddTrack(1); }, shows("Closing", {12, 1}, true)},
      {"pick Short Mix", [] { PickPlaylist(1); }, shows("Short Mix", {12, 10, 11}, true)},
      {"pick Closing again", [] { PickPlaylist(2); }, shows("Closing", {12, 1}, true)},
      {"pick Short Mix again", [] { PickPlaylist(1); }, {}},
      {"&Remove", [] { Click(13); }, {}},
      {"answer No", [box] { EXPECT_EQ(AnswerBox("&No"), box); },
       shows("Short Mix", {12, 10, 11}, true)},
      {"&Remove", [] { Click(13); }, {}},
      {"answer Yes", [box] { EXPECT_EQ(AnswerBox("&Yes"), box); }, shows("Closing", {12, 1}, true)},
      {"&Remove", [] { Click(13); }, {}},
      {"answer Yes", [box] { EXPECT_EQ(AnswerBox("&Yes"), box); }, shows("", {}, false)},
      {"&Apply", [] { Click(16); },
       [this] {
         EXPECT_EQ(IniText(), MorningSection("PlayList Count=0\r\n"));
         EXPECT_EQ(SAVEDFLAG, 1);
       }},
      {"&Cancel", [] { Click(15); }, {}},
  };
  EXPECT_EQ(Edit(steps), 1);
  // Cancel alone writes nothing and reports no save.
  const std::string before = IniText();
  EXPECT_EQ(Edit({{"&Cancel", [] { Click(15); }, {}}}), 0);
  EXPECT_EQ(IniText(), before);
}

TEST_F(EditorGui, AFullPlaylistAndAFullAlbumRefuseMoreAndSaySo) {
  // 255 playlists; the first holds 98 tracks.
  std::string playlists = "PlayList Count=255\r\nPlayList 1 Title=Long Mix\r\nPlayList 1=98";
  Numbers long98;
  for (int i = 0; i < 98; ++i) {
    long98.push_back(i % 12 + 1);
    playlists += (long98.back() < 10 ? " " : "") + std::to_string(long98.back());
  }
  playlists += "\r\n";
  for (int p = 2; p <= 255; ++p) {
    playlists += "PlayList " + std::to_string(p) + " Title=List " + std::to_string(p) + "\r\n";
  }
  Album(MorningSection(playlists));
  const auto group = [] { return system_->Text(Native(), Id(kEditor, 8)).value_or("?"); };
  const auto tip = [] { return W<QPushButton>(11)->toolTip().toStdString(); };
  // The playlist's length and last track, and what its group's title says.
  const auto full = [=](size_t tracks, int32_t last) {
    return [=] {
      EXPECT_EQ(Edited().size(), tracks);
      EXPECT_EQ(Edited().back(), last);
      EXPECT_EQ(group(), tracks == 99 ? "&Playlist (full: 99 tracks)" : "&Playlist");
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<QMessageBox*>(widget), nullptr) << "no box for a limit";
      }
    };
  };
  const std::filesystem::path shot =
      std::filesystem::path(VANTORA_SCREENSHOT_DIR) / "playlist_editor_full.png";
  std::filesystem::create_directories(shot.parent_path());
  const std::string encore = "Encore " + std::string(63, 'x');
  // What Apply stores below: the 98, filled with 2, the first two swapped, the first dropped out
  // and 1 taken; the refused drop left no trace.
  Numbers stored = long98;
  stored.push_back(2);
  std::swap(stored[0], stored[1]);
  stored.erase(stored.begin());
  stored.push_back(1);
  std::string value = "99";
  for (const int32_t track : stored) {
    value += (track < 10 ? " " : "") + std::to_string(track);
  }
  const std::vector<Step> steps = {
      {"open",
       [&] {
         EXPECT_FALSE(Enabled(11));
         EXPECT_EQ(tip().rfind("An album holds at most 255 playlists", 0), 0u) << tip();
         EXPECT_EQ(W<QComboBox>(9)->count(), 255);
       },
       full(98, 2)},
      {"album track 2 fills the playlist", [] { AddTrack(2); }, full(99, 2)},
      {"album track 1 is refused",
       [&] {
         DragRow(Tracks(), 1, Playlist()->viewport(), QPoint(20, 8),
                 [&] { EXPECT_TRUE(system_->SaveWindowImage(Native(), shot.string())); });
       },
       full(99, 2)},
      {"a move within is still taken",
       [] { DragRow(Playlist(), 1, Playlist()->viewport(), RowCentre(Playlist(), 2)); },
       [] {
         EXPECT_EQ(Edited()[0], 2);
         EXPECT_EQ(Edited()[1], 1);
       }},
      {"one dropped out makes room", [] { DragRow(Playlist(), 1, W(5), QPoint(10, 5)); },
       full(98, 2)},
      {"album track 1 is taken again", [] { AddTrack(1); }, full(99, 1)},
      {"&Apply", [] { Click(16); },
       [&] {
         EXPECT_EQ(Edited(), stored);
         EXPECT_NE(IniText().find("PlayList 1=" + value + "\r\n"), std::string::npos);
       }},
      {"&Remove", [] { Click(13); }, {}},
      {"answer Yes", [] { AnswerBox("&Yes"); },
       [&] {
         EXPECT_TRUE(Enabled(11));
         EXPECT_EQ(tip().rfind("Add a customized playlist", 0), 0u) << tip();
       }},
  };
  std::vector<Step> all = steps;
  AddTitleSteps(all, 11, "New Playlist Title", QString::fromStdString(encore), [&] {
    EXPECT_FALSE(Enabled(11));
    EXPECT_EQ(W<QComboBox>(9)->count(), 255);
    EXPECT_EQ(PLAYLISTNAME.str(), encore.substr(0, 60));
  });
  all.push_back({"OK", [] { Click(14); }, {}});
  EXPECT_EQ(Edit(all), 1);
  const std::string ini = IniText();
  EXPECT_NE(ini.find("PlayList Count=255\r\nPlayList 1 Title=List 2\r\nPlayList 1=0\r\n"),
            std::string::npos);
  EXPECT_NE(ini.find("PlayList 255 Title=" + encore.substr(0, 60) + "\r\n"), std::string::npos);
  EXPECT_NE(ini.find("PlayList 255=0\r\n"), std::string::npos);
  EXPECT_EQ(ini.find("PlayList 256"), std::string::npos);
  EXPECT_EQ(ini.find("Long Mix"), std::string::npos);
}

}  // namespace
}  // namespace vantora::app
