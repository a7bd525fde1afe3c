// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist editor reached from the main window on the model: an unknown disc becomes an album
// with playlists, which the main window then offers and plays, and the editor later removes.
#include <functional>
#include <string>
#include <vector>

#include "app/state.h"
#include "runtime/queue.h"
#include "tests/scenario/player_fixture.h"
#include "tests/support/morning_set.h"

namespace vantora::app {
namespace {

using Type = platform::NativeInput::Type;
using Strings = std::vector<std::string>;

using testing::kMorningKey;
using testing::MorningDisc;
using testing::MorningSection;

constexpr const char* kEditorTitle = "Edit an Album's Playlist";
constexpr int32_t kEditPlaylistButton = 18;
constexpr int32_t kPlaylistChoice = 32;

class EditorScenario : public testing::PlayerTest {
 protected:
  // A step of a run: `act` scripts the user's next input (or only looks); with `until`, the step
  // waits for it while the player's timer ticks.
  struct Step {
    template <typename Act>
    Step(Act a) : act(std::move(a)) {}  // NOLINT: a step is mostly its act
    Step(std::function<bool()> u, std::function<void()> a)
        : until(std::move(u)), act(std::move(a)) {}
    std::function<bool()> until;
    std::function<void()> act;
  };

  // Runs the player from its start. Whenever its loop, or a dialog's, waits with nothing
  // scripted, the next steps run until one scripts input; after the last, each wait closes the
  // window on top until the player has ended.
  void Run(std::vector<Step> steps) {
    size_t next = 0;
    model_.SetWaitHook([&](platform::ClockTime deadline) {
      // A window that closes hands on pending input first: no time for the user there.
      if (deadline <= clock_.Now()) {
        return;
      }
      while (model_.PendingInput() == 0 && next < steps.size()) {
        if (steps[next].until && !steps[next].until()) {
          return;
        }
        steps[next++].act();
      }
      if (model_.PendingInput() == 0 && next >= steps.size()) {
        To(Type::CloseRequested, 0);
      }
    });
    // A script that leaves a dialog waiting fails here instead of hanging.
    model_.SetIdleHandler([&] {
      ADD_FAILURE() << "a window waits at step " << next << " with nothing scripted";
      next = steps.size() + 1;
      To(Type::CloseRequested, 0);
    });
    ASSERT_TRUE(CDPLAYER());
    model_.SetWaitHook({});
    model_.SetIdleHandler({});
    EXPECT_EQ(next, steps.size());
    EXPECT_TRUE(model_.Windows().empty());
  }

  // The window on top: the editor, or a dialog over it.
  uintptr_t Top() const { return model_.Windows().empty() ? 0 : model_.Windows().back(); }
  std::string TopTitle() const { return model_.Window(Top())->title; }
  // The native id of a control of the window on top, by its number.
  int32_t TopId(int32_t number) const {
    const auto& controls = model_.Window(Top())->controls;
    const std::string name = TopTitle() == kEditorTitle ? "P22$EDITWINDOW" : "P26$EDITWINDOW";
    const auto definition = windows::FindWindowDefinition("cdplayer$CDPLAYER", name);
    const windows::NativeLayout layout = windows::ToNativeLayout(*definition);
    for (size_t i = 0; i < layout.controls.size() && i < controls.size(); ++i) {
      if (layout.controls[i]->number == number) {
        return static_cast<int32_t>(i + 1);
      }
    }
    ADD_FAILURE() << "no control " << number << " in " << name;
    return 0;
  }
  const platform::ModelWindowSystem::ControlState& TopControl(int32_t number) const {
    return *model_.Control(Top(), TopId(number));
  }
  // Input to a control of the window on top.
  void To(Type type, int32_t number, int32_t row = 0, int32_t target = 0) {
    platform::NativeInput input;
    input.type = type;
    input.window = Top();
    input.control = number == 0 ? 0 : TopId(number);
    input.target = target == 0 ? 0 : TopId(target);
    input.row = row;
    model_.QueueInput(input);
  }
  void Enter(int32_t number, const std::string& text) {
    model_.Type(Top(), TopId(number), text);
    To(Type::EntryChanged, number);
  }
  void Click(int32_t number) { To(Type::Activated, number); }
  // Drags a row of the album's tracks onto the playlist's tracks: pressing the row selects it.
  void AddTrack(int32_t row) {
    To(Type::RowSelected, 6, row);
    To(Type::Dropped, 6, 0, 10);
  }
  // "&New", then the title dialog's entry and "OK".
  std::vector<Step> NewPlaylist(const std::string& title) {
    return {[this] { Click(11); },
            [this, title] {
              EXPECT_EQ(TopTitle(), "New Playlist Title");
              model_.Type(Top(), TopId(1), title);
              Click(2);
            }};
  }
  // What a list shows, one row each.
  static Strings Rows(const platform::ModelWindowSystem::ControlState& list) {
    Strings rows;
    for (int32_t row = 1; list.rows != nullptr && row <= list.rows->RowCount(); ++row) {
      const std::string cell = list.rows->Cell(row, 0);
      rows.push_back(cell.substr(0, cell.find_last_not_of(' ') + 1));
    }
    return rows;
  }
  // A section as the player writes it into a new file, whose lines end in LF.
  static std::string LfLines(std::string text) {
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
      text.erase(at, 1);
    }
    return text;
  }
  std::string AlbumSection() {
    const std::string ini = IniText();
    const size_t start = ini.find("[" + kMorningKey + "]");
    if (start == std::string::npos) {
      return "";
    }
    const size_t end = ini.find("\r\n[", start);
    return ini.substr(start, end == std::string::npos ? end : end + 2 - start);
  }
  static std::vector<Step> Join(std::vector<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (auto& part : parts) {
      all.insert(all.end(), part.begin(), part.end());
    }
    return all;
  }
};

TEST_F(EditorScenario, AnUnknownDiscBecomesMorningSetThenLosesAPlaylist) {
  Insert(MorningDisc());
  const auto albumLoaded = [] { return ALBUMKEY == kMorningKey && TRACKCOUNT == 12; };
  Run(Join({
      {{albumLoaded,
        [this] {
          EXPECT_EQ(ALBUMTITLE, "New Album");
          Input(Type::Activated, NativeId(kEditPlaylistButton));
        }},
       [this] {
         // No playlists yet: the playlist controls wait for "&New".
         EXPECT_EQ(TopTitle(), kEditorTitle);
         for (const int32_t number : {9, 10, 12, 13}) {
           EXPECT_FALSE(TopControl(number).enabled) << number;
         }
         EXPECT_EQ(TopControl(7).text, "Track 1");
         Enter(5, "Morning Set");
         Enter(3, "Various");
         To(Type::RowSelected, 6, 2);
       },
       [this] {
         EXPECT_EQ(TopControl(7).text, "Track 2");
         Enter(7, "Opening");
       }},
      NewPlaylist("Short Mix"),
      {[this] {
        for (const int32_t number : {9, 10, 12, 13}) {
          EXPECT_TRUE(TopControl(number).enabled) << number;
        }
        EXPECT_EQ(Rows(TopControl(6))[1], "Opening");
        AddTrack(12);
        AddTrack(10);
        AddTrack(11);
      }},
      NewPlaylist("Closing"),
      {[this] {
         EXPECT_TRUE(Rows(TopControl(10)).empty());
         AddTrack(12);
       },
       [this] {
         EXPECT_EQ(Rows(TopControl(9)), (Strings{"Short Mix", "Closing"}));
         EXPECT_EQ(Rows(TopControl(10)), (Strings{"Track 12"}));
         Click(14);
       },
       [this] {
         // Saved, and the album loaded again from the file.
         EXPECT_EQ(AlbumSection(), LfLines(MorningSection("PlayList Count=2\r\n"
                                                          "PlayList 1 Title=Short Mix\r\n"
                                                          "PlayList 1=3 121011\r\n"
                                                          "PlayList 2 Title=Closing\r\n"
                                                          "PlayList 2=1 12\r\n")));
         EXPECT_EQ(Control(33).text, "Morning Set");
         EXPECT_EQ(Rows(Control(kPlaylistChoice)),
                   (Strings{"Album Order", "Short Mix", "Closing"}));
         model_.QueueInput({Type::RowPicked, MainWindow(), NativeId(kPlaylistChoice), 0, 2});
       },
       [this] {
         EXPECT_EQ(SELECTEDPLAYLIST, "Short Mix");
         EXPECT_EQ(Rows(Control(kTrackList)), (Strings{"Track 12", "Track 10", "Track 11"}));
         ClearLog();
         Input(Type::Activated, NativeId(kPlayButton));
       },
       [this] {
         // An entry that plays alone has its length asked, so that its end is met at once.
         EXPECT_EQ(Commands(),
                   (Strings{"set cdaudio time format tmsf", "play cdaudio from 12",
                            "set cdaudio time format msf", "status cdaudio length track 12"}));
         // The editor again: "Short Mix" is the one shown; removed, "Closing" is.
         Input(Type::Activated, NativeId(kEditPlaylistButton));
       },
       [this] {
         EXPECT_EQ(TopControl(9).text, "Short Mix");
         model_.AnswerMessageBox("&Yes");
         Click(13);
       },
       [this] {
         ASSERT_EQ(model_.MessageBoxes().size(), 1u);
         const auto& box = model_.MessageBoxes()[0].spec;
         EXPECT_EQ(box.caption, "Confirm Deletion");
         EXPECT_EQ(box.lines, (Strings{"Are you sure you want to delete this play list?"}));
         EXPECT_EQ(box.buttons, (Strings{"&Yes", "&No"}));
         EXPECT_EQ(box.buttons[box.defaultButton], "&No");
         EXPECT_EQ(TopControl(9).text, "Closing");
         EXPECT_EQ(Rows(TopControl(10)), (Strings{"Track 12"}));
         Click(16);
       },
       [this] { Click(15); },
       [this] {
         // Apply, then Cancel: the main window still reloads what Apply saved.
         const std::string section = AlbumSection();
         EXPECT_EQ(section, LfLines(MorningSection("PlayList Count=1\r\n"
                                                   "PlayList 1 Title=Closing\r\n"
                                                   "PlayList 1=1 12\r\n")));
         EXPECT_EQ(section.find("PlayList 2"), std::string::npos);
         EXPECT_EQ(Rows(Control(kPlaylistChoice)), (Strings{"Album Order", "Closing"}));
         EXPECT_EQ(SELECTEDPLAYLIST, "Album Order");
       }},
  }));
}

TEST_F(EditorScenario, ApplyAndTheTitleDialogKeepWhatIsBeingEdited) {
  const std::string stored = MorningSection(
      "PlayList Count=2\r\nPlayList 1 Title=Short Mix\r\nPlayList 1=3 121011\r\n"
      "PlayList 2 Title=Closing\r\nPlayList 2=1 12\r\n");
  WriteIni(stored);
  Insert(MorningDisc());
  const auto titleDialog = [this](const char* caption, const char* shown) {
    EXPECT_EQ(TopTitle(), caption);
    EXPECT_EQ(TopControl(1).text, shown);
  };
  Run({{[] { return ALBUMTITLE == "Morning Set"; },
        [this] { Input(Type::Activated, NativeId(kEditPlaylistButton)); }},
       [this] {
         To(Type::RowSelected, 6, 3);
         Click(16);
       },
       [&] {
         // Apply stored everything and left the editor where it was: the key stores the title
         // shown back into track 3, and the drag adds to the playlist shown.
         EXPECT_EQ(AlbumSection(), stored);
         EXPECT_EQ(TopControl(7).text, "Track 3");
         model_.QueueInput({Type::AlertKey, Top(), TopId(7), 0, 0, 0x28});
         AddTrack(1);
         Click(12);
       },
       [&] {
         titleDialog("Edit Playlist Title", "Short Mix");
         Click(3);
       },
       [this] {
         EXPECT_EQ(TopControl(9).text, "Short Mix");
         EXPECT_EQ(TopControl(7).text, "Track 1");
         EXPECT_EQ(Rows(TopControl(10)), (Strings{"Track 12", "Track 10", "Track 11", "Track 1"}));
         Click(11);
       },
       [&] {
         titleDialog("New Playlist Title", "");
         Click(3);  // Cancel
       },
       [this] { Click(11); },
       [this] { To(Type::CloseRequested, 0); },  // the close box
       [this] { Click(11); },
       [this] { Click(2); },  // OK, blank
       [this] {
         EXPECT_EQ(Rows(TopControl(9)), (Strings{"Short Mix", "Closing"}));
         EXPECT_EQ(TopControl(9).text, "Short Mix");
         Click(12);
       },
       [this] {
         model_.Type(Top(), TopId(1), "");
         Click(2);
       },
       [this] { Click(14); }});
  EXPECT_EQ(AlbumSection(), MorningSection("PlayList Count=2\r\nPlayList 1 Title=\r\n"
                                           "PlayList 1=4 121011 1\r\n"
                                           "PlayList 2 Title=Closing\r\nPlayList 2=1 12\r\n"));
}

}  // namespace
}  // namespace vantora::app
