// SPDX-License-Identifier: GPL-3.0-or-later
// The whole player over simulated hours: a seeded run of what a user and a hand on the drive do,
// on the model window system and the manual clock, with what must always hold checked after
// every step.
//
// CI runs a short sequence. A longer one, replayable by its seed:
//   VANTORA_SOAK_HOURS=24 VANTORA_SOAK_SEED=7 build/tests/soak_test
// A failure names the seed, the step and the last actions; the same hours and seed replay it.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <fstream>
#include <initializer_list>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/cdplayer.h"
#include "app/state.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/profile/ini_document.h"
#include "platform/profile/profile.h"
#include "runtime/decimal.h"
#include "runtime/value_stack.h"
#include "tests/scenario/player_fixture.h"
#include "tests/support/live_heap.h"
#include "tests/support/morning_set.h"

namespace vantora::app {
namespace {

using platform::ClockTime;
using platform::ModelWindowSystem;
using platform::NativeInput;
using platform::cdaudio::Disc;
using platform::cdaudio::DriveError;
using platform::cdaudio::DriveMode;
using platform::cdaudio::Tray;
using Type = NativeInput::Type;

constexpr int64_t kHourMs = 3600 * 1000;

// The process ends at the end of the session, after the procedures have seen it: no more of the
// player runs. Thrown from a wait, as the window system's session end never returns either.
struct ProcessEnded {};
// A broken invariant ends the run where it was found.
struct SoakStopped {};

int64_t EnvNumber(const char* name, int64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoll(text, nullptr, 10) : fallback;
}

// Discs for the hand: track counts from none to 25, a data track before the music, a blank one.
std::vector<Disc> SoakDiscs() {
  std::vector<std::string> texts = {
      "vantora-disc 1\ntracks 3\ntrack 1 00:10:00\ntrack 2 00:10:00\ntrack 3 00:10:00\n",
      "vantora-disc 1\ntracks 1\ntrack 1 01:30:00\n", testing::MorningDisc(),
      "vantora-disc 1\ntracks 4\ntrack 1 02:00:00 data\ntrack 2 00:20:00\ntrack 3 00:25:00\n"
      "track 4 00:15:00\n"};
  std::string pages = "vantora-disc 1\ntracks 25\n";
  for (int n = 1; n <= 25; ++n) {
    pages += "track " + std::to_string(n) + " 00:" + std::to_string(10 + n) + ":00\n";
  }
  std::string eleven = "vantora-disc 1\ntracks 11\n";
  for (int n = 1; n <= 11; ++n) {
    eleven += "track " + std::to_string(n) + " 00:05:" + std::to_string(n) + "\n";
  }
  texts.push_back(pages);
  texts.push_back(eleven);
  std::vector<Disc> discs = {platform::cdaudio::DemoDisc(), platform::cdaudio::MixedModeDemoDisc(),
                             Disc{}};
  for (const std::string& text : texts) {
    discs.push_back(*platform::cdaudio::ParseDiscDescription(text).disc);
  }
  return discs;
}

// What a user types: ordinary titles, the INI file's own punctuation, blanks, bytes above 127,
// a title cut in the middle of a character, and nothing.
const std::vector<std::string> kTitles = {
    "Morning Set",
    "Various",
    "Opening",
    "Side B",
    "[Live]",
    "a=b",
    ";not a comment",
    "  padded  ",
    "Caf\xc3\xa9 Bl\xc3\xbc",
    "\xe9t\xe9",
    std::string(70, 'x'),
    std::string(29, '-') + "\xe2\x82\xac\xe2\x82\xac" + std::string(40, '+'),
    "",
    "Track 1"};

class Soak : public testing::PlayerTest {
 protected:
  enum class Top { kMain, kEditor, kTitle, kAbout };

  void SetUp() override {
    PlayerTest::SetUp();
    seed_ = static_cast<uint64_t>(EnvNumber("VANTORA_SOAK_SEED", 1));
    runHours_ = std::max<int64_t>(EnvNumber("VANTORA_SOAK_HOURS", 0), 0);
    rng_.seed(seed_);
    discs_ = SoakDiscs();
  }

  uint64_t Pick(uint64_t n) { return rng_() % n; }
  bool Chance(uint64_t percent) { return Pick(100) < percent; }
  template <typename T>
  const T& OneOf(const std::vector<T>& values) {
    return values[Pick(values.size())];
  }
  ClockTime Seconds(int64_t from, int64_t to) {
    return ClockTime{1000 * (from + static_cast<int64_t>(Pick(static_cast<uint64_t>(to - from))))};
  }

  // The run: sessions of the player until the clock reaches the end.
  void Run(int64_t endMs) {
    end_ = ClockTime{endMs};
    while (!stopped_ && clock_.Now() < end_) {
      RunSession();
    }
  }

  void RunSession() {
    ++sessions_;
    ticksSinceStep_ = 0;
    model_.SetWaitHook([this](ClockTime deadline) { OnWait(deadline); });
    model_.SetIdleHandler([this] { Fail("a window waits with nothing scripted"); });
    sessionStarted_ = false;
    try {
      EXPECT_TRUE(CDPLAYER());
      EXPECT_TRUE(model_.Windows().empty());
      closedWith_ = Settings();
    } catch (const ProcessEnded&) {
    } catch (const SoakStopped&) {
      stopped_ = true;
    }
    model_.SetWaitHook({});
    model_.SetIdleHandler({});
    // The next session is a new process on the same files.
    runtime::ResetWindows();
    ResetState();
    runtime::ResetValueStacks();
  }

  // The settings a run saves and the next one reads back (the stay-on-top flag is left out: a
  // player without a device drops it).
  static std::vector<int32_t> Settings() { return {CONTROLPANEL, AUTOPLAY, DISPLAYMODE}; }

  Top TopWindow() const {
    const std::string& title = model_.Window(model_.Windows().back())->spec.title;
    if (title == "Edit an Album's Playlist") {
      return Top::kEditor;
    }
    if (title == "Edit Playlist Title") {
      return Top::kTitle;
    }
    return model_.Windows().size() == 1 ? Top::kMain : Top::kAbout;
  }
  // The native id of control `number` in the window on top.
  int32_t TopId(int32_t number) {
    static const std::map<Top, const char*> kNames = {{Top::kMain, "P2$CDPLAYWIN"},
                                                      {Top::kEditor, "P22$EDITWINDOW"},
                                                      {Top::kTitle, "P26$EDITWINDOW"},
                                                      {Top::kAbout, "P27$ABOUTWINDOW"}};
    std::vector<int32_t>& numbers = layouts_[TopWindow()];
    if (numbers.empty()) {
      const auto definition =
          windows::FindWindowDefinition("cdplayer$CDPLAYER", kNames.at(TopWindow()));
      for (const auto* control : windows::ToNativeLayout(*definition).controls) {
        numbers.push_back(control->number);
      }
    }
    const auto found = std::find(numbers.begin(), numbers.end(), number);
    return found == numbers.end() ? 0 : static_cast<int32_t>(found - numbers.begin() + 1);
  }
  const ModelWindowSystem::ControlState& TopControl(int32_t number) {
    return *model_.Control(model_.Windows().back(), TopId(number));
  }
  // Whether a click on the control reaches it (a message box follows only then).
  bool Reachable(int32_t number) {
    const auto& control = TopControl(number);
    return control.enabled && !control.hidden;
  }
  int32_t Rows(int32_t number) {
    const auto* rows = TopControl(number).rows;
    return rows == nullptr ? 0 : rows->RowCount();
  }
  // A row of the list; one in ten times none, or one past its end.
  int32_t AnyRow(int32_t number) {
    const int32_t rows = Rows(number);
    if (rows == 0 || Chance(10)) {
      return Chance(50) ? 0 : rows + 1;
    }
    return 1 + static_cast<int32_t>(Pick(static_cast<uint64_t>(rows)));
  }
  void To(Type type, int32_t number, int32_t row = 0, int32_t target = 0, uint32_t key = 0) {
    NativeInput input;
    input.type = type;
    input.window = model_.Windows().back();
    input.control = number == 0 ? 0 : TopId(number);
    input.target = target == 0 ? 0 : TopId(target);
    input.row = row;
    input.key = key;
    model_.QueueInput(input);
  }
  std::string Click(int32_t number, const char* what) {
    To(Type::Activated, number);
    return what;
  }
  std::string Answer(bool yes) {
    model_.AnswerMessageBox(yes ? "&Yes" : "&No");
    return yes ? " Yes" : " No";
  }

  // Every wait of every window's loop: a step when one is due, else time passes.
  void OnWait(ClockTime deadline) {
    if (deadline <= clock_.Now() || model_.PendingInput() != 0) {
      return;  // a window handing on input as it closes, or input already on its way
    }
    const bool main = TopWindow() == Top::kMain;
    if (!sessionStarted_) {
      sessionStarted_ = true;
      if (!closedWith_.empty() && Settings() != closedWith_) {
        Fail("the settings the last run saved did not come back");
      }
    }
    if (main && clock_.Now() < nextStep_) {
      ++ticksSinceStep_;
      return;
    }
    if (!CheckInvariants(main)) {
      ++ticksSinceStep_;  // the player gets a few ticks to catch up with the drive
      return;
    }
    if (clock_.Now() >= end_ || stopped_) {
      To(Type::CloseRequested, 0);
      return;
    }
    // A modal window has no timer: steps follow one another until one scripts input.
    do {
      Record(main ? MainStep() : ModalStep());
      ticksSinceStep_ = 0;
    } while (!main && model_.PendingInput() == 0);
    nextStep_ = clock_.Now() + Delay();
  }

  // Mostly seconds between steps, sometimes minutes, now and then a long idle stretch.
  ClockTime Delay() {
    const uint64_t r = Pick(100);
    return r < 75   ? Seconds(1, 8)
           : r < 95 ? Seconds(8, 60)
           : r < 99 ? Seconds(60, 300)
                    : Seconds(600, 1800);
  }

  void Record(const std::string& action) {
    ++steps_;
    std::ostringstream line;
    line << "step " << steps_ << " at " << clock_.Now().count() / 1000 << " s: " << action;
    recent_.push_back(line.str());
    if (recent_.size() > 12) {
      recent_.pop_front();
    }
  }

  [[noreturn]] void Fail(const std::string& what) {
    std::string trail;
    for (const std::string& line : recent_) {
      trail += "  " + line + "\n";
    }
    ADD_FAILURE() << what << "\nplayer: mode \"" << OLDMODE.clipped() << "\", playing " << PLAYING
                  << ", paused " << PAUSED << ", repeat " << int{REPEATMODE} << ", "
                  << TRACKCOUNT + 0 << " tracks, playlist \"" << SELECTEDPLAYLIST.clipped()
                  << "\", entry " << runtime::QueuePosition(&PLAYQUEUE) << " of "
                  << runtime::QueueCount(&PLAYQUEUE) << "\nseed " << seed_ << ", step " << steps_
                  << ", hours " << runHours_ << "; replay with VANTORA_SOAK_SEED=" << seed_
                  << " VANTORA_SOAK_HOURS=" << runHours_ << "\nlast actions:\n"
                  << trail;
    stopped_ = true;
    throw SoakStopped{};
  }

  // An index into `weights`, drawn in proportion to them.
  size_t Weighted(std::initializer_list<uint64_t> weights) {
    uint64_t total = 0;
    for (const uint64_t weight : weights) {
      total += weight;
    }
    uint64_t r = Pick(total);
    size_t index = 0;
    for (const uint64_t weight : weights) {
      if (r < weight) {
        break;
      }
      r -= weight;
      ++index;
    }
    return index;
  }

  std::string MainStep() {
    enum {
      kHand,
      kFailures,
      kSleep,
      kSessionEnd,
      kPrevious,
      kPlay,
      kPause,
      kNext,
      kDoor,
      kRepeat,
      kEdit,
      kPlaylistItem,
      kTrackButton,
      kPage,
      kTime,
      kTrackRow,
      kPlaylistRow,
      kStayOnTop,
      kControlPanel,
      kAutoPlay,
      kAbout,
      kIconize,
      kMove,
      kPicture
    };
    switch (Weighted({14, 2, 1, 2, 3, 8, 4, 3, 3, 3, 8, 2, 10, 2, 3, 5, 6, 2, 2, 2, 2, 2, 2, 1})) {
      case kHand:
        return Hand();
      case kFailures:
        return Failures();
      case kSleep: {
        const ClockTime slept = Seconds(300, 1800);
        clock_.Advance(slept);  // the machine sleeps: no tick, the drive plays on
        return "sleep " + std::to_string(slept.count() / 1000) + " s";
      }
      case kSessionEnd:
        return SessionEnd();
      case kPrevious:
        return Click(kPreviousButton, "previous");
      case kPlay:
        return Click(kPlayButton, "play/stop");
      case kPause:
        return Click(kPauseButton, "pause");
      case kNext:
        return Click(kNextButton, "next");
      case kDoor:
        return Click(kDoorButton, "door button");
      case kRepeat:
        return Click(kRepeatButton, "repeat");
      case kEdit:
        return Click(18, "Edit Playlist");
      case kPlaylistItem:
        return Click(4, "Options, Playlist");
      case kTrackButton: {
        const int32_t button = kFirstTrackButton + static_cast<int32_t>(Pick(10));
        std::string what = "track button " + TopControl(button).text;
        if (Reachable(button) && runtime::QueuePosition(&PLAYLISTQUEUE) > 1) {
          what += Answer(Chance(50));
        }
        return Click(button, what.c_str());
      }
      case kPage:
        return Click(kNextPageButton, "+10");
      case kTime:
        return Click(34, "time display");
      case kTrackRow: {
        const int32_t row = AnyRow(kTrackList);
        To(Type::RowPicked, kTrackList, row);
        return "track list row " + std::to_string(row);
      }
      case kPlaylistRow: {
        const int32_t row = AnyRow(32);
        To(Type::RowPicked, 32, row);
        return "playlist row " + std::to_string(row);
      }
      case kStayOnTop:
        return Click(5, "Stay On Top");
      case kControlPanel:
        return Click(6, "Control Panel");
      case kAutoPlay:
        return Click(7, "AutoPlay");
      case kAbout:
        return Click(9, "About");
      case kIconize: {
        const bool iconized = !model_.IsIconized(model_.Windows().back());
        model_.SetIconized(model_.Windows().back(), iconized);
        To(Type::Iconized, 0);
        return iconized ? "minimise" : "restore";
      }
      case kMove: {
        platform::Rect rect = *model_.WindowRect(model_.Windows().back());
        rect.x = static_cast<int32_t>(Pick(1600));
        rect.y = static_cast<int32_t>(Pick(900));
        model_.SetWindowRect(model_.Windows().back(), rect);
        To(Type::Moved, 0);
        return "move";
      }
      default:
        return Click(10, "the CD picture");
    }
  }

  std::string ModalStep() {
    if (Chance(5)) {
      return Hand();
    }
    if (Chance(5)) {
      const ClockTime thought = Seconds(5, 180);
      clock_.Advance(thought);  // the user reads, the drive plays on unpolled
      return "think " + std::to_string(thought.count() / 1000) + " s";
    }
    if (Chance(1)) {
      return SessionEnd();
    }
    switch (TopWindow()) {
      case Top::kEditor:
        return EditorStep();
      case Top::kTitle: {
        const uint64_t r = Pick(20);
        if (r < 14) {
          const std::string& title = OneOf(kTitles);
          model_.Type(model_.Windows().back(), TopId(1), title);
          return Click(2, ("title \"" + title + "\", OK").c_str());
        }
        return r < 18 ? Click(3, "title, Cancel") : Closed("title dialog");
      }
      default:
        return Closed("About");
    }
  }

  std::string Closed(const std::string& what) {
    To(Type::CloseRequested, 0);
    return what + " closed";
  }

  std::string EditorStep() {
    enum {
      kType,
      kTrackRow,
      kKey,
      kAdd,
      kMove,
      kChoose,
      kNew,
      kRemove,
      kRename,
      kApply,
      kOk,
      kCancel,
      kClose
    };
    const int32_t playlists = Rows(9);
    // An album keeps a handful of playlists: New gives way to Remove as they add up.
    const uint64_t news = playlists < 6 ? 3 : 0;
    const size_t choice = Weighted({6, 3, 3, 8, 6, 3, news, 2, 1, 2, 2, 1, 1});
    switch (choice) {
      case kType: {
        static constexpr int32_t kEntries[] = {3, 5, 7, 7};
        const int32_t entry = kEntries[Pick(4)];
        const std::string& text = OneOf(kTitles);
        model_.Type(model_.Windows().back(), TopId(entry), text);
        To(Type::EntryChanged, entry);
        return "type \"" + text + "\" in " + std::to_string(entry);
      }
      case kTrackRow: {
        const int32_t row = AnyRow(6);
        To(Type::RowSelected, 6, row);
        return "album track row " + std::to_string(row);
      }
      case kKey: {
        static constexpr uint32_t kKeys[] = {0x26, 0x28, 0x21, 0x22, 0x221, 0x222};
        const uint32_t key = kKeys[Pick(6)];
        To(Type::AlertKey, 7, 0, 0, key);
        return "key " + std::to_string(key) + " in the track title";
      }
      case kAdd: {
        if (Rows(6) == 0) {
          return Click(16, "Apply");
        }
        const int32_t row = 1 + static_cast<int32_t>(Pick(static_cast<uint64_t>(Rows(6))));
        To(Type::RowSelected, 6, row);
        To(Type::Dropped, 6, 0, 10);
        return "drag album track " + std::to_string(row) + " to the playlist";
      }
      case kMove: {
        const int32_t tracks = Rows(10);
        if (tracks == 0) {
          return Click(11, "New, no tracks to drag");
        }
        const int32_t row = 1 + static_cast<int32_t>(Pick(static_cast<uint64_t>(tracks)));
        To(Type::RowSelected, 10, row);
        // Within the list, or out of it onto anything else that takes a dropped track.
        static constexpr int32_t kTargets[] = {10, 10, 10, 3, 5, 6, 7, 9, 11, 14, 17};
        const int32_t target = kTargets[Pick(std::size(kTargets))];
        const int32_t over = static_cast<int32_t>(Pick(static_cast<uint64_t>(tracks) + 1));
        To(Type::Dropped, 10, target == 10 ? over : 0, target);
        return "drag playlist track " + std::to_string(row) + " to " + std::to_string(target) +
               " row " + std::to_string(over);
      }
      case kChoose: {
        const int32_t row = AnyRow(9);
        To(Type::RowPicked, 9, row);
        return "playlist choice " + std::to_string(row);
      }
      case kNew:
        return Click(11, "New");
      case kRemove: {
        std::string what = "Remove";
        if (Reachable(13)) {
          what += Answer(Chance(60));
        }
        return Click(13, what.c_str());
      }
      case kRename:
        return Click(12, "Edit");
      case kApply:
      case kOk:
        // The album is in ZQ_CD.INI from now on, whatever comes later (a player that has not
        // scanned a disc has no album to save).
        if (!ALBUMKEY.clipped().empty()) {
          albums_.insert(std::string(ALBUMKEY.clipped()));
        }
        return choice == kOk ? Click(14, "OK") : Click(16, "Apply");
      case kCancel:
        return Click(15, "Cancel");
      default:
        return Closed("editor");
    }
  }

  // The user's hand on the drive: mostly what a person does next with the drive as it is, so
  // that it spends most of the day usable.
  std::string Hand() {
    if (failing_.contains(kDamaged)) {
      return "hand: waits for the drive to be put right";
    }
    platform::cdaudio::VirtualDrive& drive = Drive();
    const auto mode = drive.Mode();
    const bool unplugged = mode.error == DriveError::Unplugged;
    const bool open = mode.ok() && mode.value == DriveMode::Open;
    platform::cdaudio::DriveStatus done = platform::cdaudio::DriveStatus::Ok({});
    std::string what;
    const uint64_t r = Pick(100);
    if ((unplugged && r < 70) || r < 3) {
      done = drive.SetPlugged(unplugged);
      what = unplugged ? "plugged in" : "unplugged";
    } else if ((open && r < 50) || r < 8) {
      done = drive.MoveTray(open ? Tray::Closed : Tray::Open);
      what = open ? "tray pushed shut" : "tray pulled open";
    } else if (r < 60) {
      const size_t disc = Pick(discs_.size());
      done = drive.Insert(discs_[disc]);
      what = "disc " + std::to_string(disc) + " inserted";
    } else if (r < 68) {
      done = drive.Remove();
      what = "disc taken out";
    } else if (r < 72) {
      const bool can = Chance(60);
      done = drive.SetCanEject(can);
      what = can ? "can eject" : "cannot eject";
    } else {
      done = drive.MoveTray(Tray::Open);
      what = "tray pulled open";
    }
    if (!done.ok()) {
      Fail("the hand could not do it: " + what + ": " + done.detail);
    }
    return "hand: " + what;
  }

  // Commands that fail for a while, as a drive that errs, or a drive whose state is damaged.
  static constexpr const char* kDamaged = "damaged";
  std::string Failures() {
    static const std::vector<std::string> kCommands = {"status cdaudio mode",
                                                       "status cdaudio ready",
                                                       "status cdaudio media present",
                                                       "status cdaudio number of tracks",
                                                       "status cdaudio current track",
                                                       "status cdaudio position",
                                                       "status cdaudio length",
                                                       "play cdaudio from 1",
                                                       "pause cdaudio",
                                                       "seek cdaudio to start",
                                                       "set cdaudio door open",
                                                       "open cdaudio shareable",
                                                       "set cdaudio time format tmsf",
                                                       "capability cdaudio can eject"};
    // A damaged drive takes no more failures; it is put right as the drive tool does it: started
    // over, empty.
    const bool damaged = failing_.contains(kDamaged);
    if (damaged || failing_.size() >= 3 || (!failing_.empty() && Chance(50))) {
      failing_.clear();
      if (!(damaged ? Drive().Reset() : Drive().ClearFailures([](const auto&) {
             return true;
           })).ok()) {
        Fail("the failures could not be cleared");
      }
      return damaged ? "drive reset" : "failures cleared";
    }
    if (Chance(10)) {
      std::ofstream(DriveDir() / "state", std::ios::binary) << "vantora-drive 1\nplugged maybe\n";
      failing_.insert(kDamaged);
      return "the drive's state file damaged";
    }
    const std::string& command = OneOf(kCommands);
    const uint32_t error = Chance(50) ? 262 : 266;
    if (!Drive().InjectFailure(command, error).ok()) {
      Fail("no failure for " + command);
    }
    failing_.insert(command);
    return "\"" + command + "\" fails with " + std::to_string(error);
  }

  // The end of the player's run: its close box, File, Exit, or the session ending under it.
  std::string SessionEnd() {
    if (TopWindow() == Top::kMain && Chance(67)) {
      return Chance(50) ? Closed("player") : Click(2, "File, Exit");
    }
    Record("session end");
    for (const uintptr_t window : model_.Windows()) {
      const auto& state = *model_.Window(window);
      EXPECT_EQ(platform::CallWindowProcA(state.proc, state.nativeHandle,
                                          platform::WM_QUERYENDSESSION, 0, 0),
                1);
      platform::CallWindowProcA(state.proc, state.nativeHandle, platform::WM_ENDSESSION, 1, 0);
    }
    platform::FlushProfiles();
    closedWith_ = Settings();
    throw ProcessEnded{};
  }

  // What must hold after every step. False when the player has not yet caught up with the
  // drive: it gets a few more ticks before that counts as a fault.
  bool CheckInvariants(bool main) {
    if (runtime::ValueStackDepth() != 0 || runtime::DecimalStackDepth() != 0) {
      Fail("values left on the stacks between events: " +
           std::to_string(runtime::ValueStackDepth()) + " and " +
           std::to_string(runtime::DecimalStackDepth()));
    }
    CheckAlbumsKept();
    const std::string status = Control(kStatusString).text;
    // A mode query that fails from the start leaves the line as the window opened it.
    if (!KnownStatus(status) && !(status.empty() && !failing_.empty())) {
      Fail("the status line reads \"" + status + "\"");
    }
    if (!main) {
      return true;
    }
    SampleHeap();
    const bool settled = ticksSinceStep_ >= 4 && failing_.empty();
    if (!settled) {
      return true;
    }
    const std::string problem = DisagreesWithDrive(status);
    if (problem.empty()) {
      lagging_ = 0;
      return true;
    }
    if (++lagging_ <= 3) {
      return false;
    }
    Fail(problem);
  }

  static bool KnownStatus(const std::string& status) {
    for (const char* fixed : {"CD Player Not Available", "Not Ready", "Door Open", "Stopped"}) {
      if (status == fixed) {
        return true;
      }
    }
    for (const std::string prefix : {"Playing Track ", "Paused on track "}) {
      if (status.starts_with(prefix) && status.size() > prefix.size() &&
          status.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
        return true;
      }
    }
    return false;
  }

  // The status line and the enabled controls against what the drive really does; "" if they agree.
  std::string DisagreesWithDrive(const std::string& status) {
    const auto mode = Drive().Mode();
    const auto present = Drive().MediaPresent();
    const bool unplugged = mode.error == DriveError::Unplugged;
    if (!unplugged && !mode.ok()) {
      return "the drive cannot be read: " + mode.detail;
    }
    std::vector<std::string> expected;
    if (DEVICEOPEN == 0) {
      expected = {"CD Player Not Available"};
    } else if (unplugged || mode.value == DriveMode::NotReady) {
      expected = {"Not Ready"};
    } else if (mode.value == DriveMode::Open) {
      expected = {"Door Open"};
    } else if (mode.value == DriveMode::Playing) {
      expected = {"Playing Track "};
    } else if (mode.value == DriveMode::Paused) {
      expected = {"Paused on track "};
    } else {
      expected = {"Stopped"};
    }
    if (std::none_of(expected.begin(), expected.end(),
                     [&](const std::string& s) { return status.starts_with(s); })) {
      return "the status line reads \"" + status + "\" while the drive is in mode " +
             (unplugged ? "unplugged" : std::to_string(static_cast<int>(mode.value)));
    }
    // The player's own account agrees with the line: a stop plays nothing, a pause is the user's.
    if ((status == "Stopped" && PLAYING != 0) ||
        (status.starts_with("Paused on track ") && PAUSED == 0)) {
      return "\"" + status + "\" with playing " + std::to_string(PLAYING) + " and paused " +
             std::to_string(PAUSED);
    }
    // A disc behind a closed door, spun up, in a drive that answers: the player is usable. A
    // blank disc counts too: the drive reports it present and stopped.
    const bool usable = DEVICEOPEN != 0 && !unplugged && present.ok() && present.value &&
                        mode.value != DriveMode::NotReady && mode.value != DriveMode::Open;
    for (const int32_t number : {11, 12, 13, 14, 16, 17, 18, 19, 4}) {
      if (Control(number).enabled != usable) {
        return "control " + std::to_string(number) + (usable ? " disabled" : " enabled") +
               " with the status \"" + status + "\"";
      }
    }
    if (Control(kDoorButton).enabled != (DEVICEOPEN != 0 && CANEJECT != 0)) {
      return "the door button does not follow the drive's eject capability";
    }
    return "";
  }

  // ZQ_CD.INI as the profile store reads it: every album section seen so far is still there,
  // with its title key.
  void CheckAlbumsKept() {
    std::ifstream in(std::string(std::getenv("VANTORA_CONFIG_DIR")) + "/" + kIniFile,
                     std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const platform::IniDocument ini(bytes.str());
    iniBytes_ = ini.Base().size();
    for (const std::string_view name : ini.SectionNames()) {
      if (name != kSettingsSection) {
        albums_.insert(std::string(name));
      }
    }
    for (const std::string& album : albums_) {
      if (!ini.Find(album, "Title")) {
        Fail("album [" + album + "] lost from " + kIniFile);
      }
    }
  }

  // Live heap at a step on the main window, with the size of ZQ_CD.INI. The device log and the
  // paint log are emptied first: they are the test's records of commands and paints, which a long
  // run fills to their caps.
  void SampleHeap() {
    ClearLog();
    model_.ClearPaints();
    if (clock_.Now() >= end_) {
      return;
    }
    const auto hour = static_cast<size_t>(clock_.Now().count() / kHourMs);
    if (hours_.size() <= hour) {
      hours_.resize(hour + 1);
    }
    hours_[hour].heap += static_cast<double>(testing::LiveHeapBytes());
    hours_[hour].ini += static_cast<double>(iniBytes_);
    hours_[hour].samples += 1;
  }

  struct Hour {
    double heap = 0;  // sums over the samples
    double ini = 0;
    int64_t samples = 0;
    double Heap() const { return samples == 0 ? 0 : heap / static_cast<double>(samples); }
    double Ini() const { return samples == 0 ? 0 : ini / static_cast<double>(samples); }
  };

  uint64_t seed_ = 1;
  int64_t runHours_ = 0;
  std::mt19937_64 rng_;
  std::vector<Disc> discs_;
  ClockTime end_{0};
  ClockTime nextStep_{0};
  int64_t steps_ = 0;
  int64_t sessions_ = 0;
  int32_t ticksSinceStep_ = 0;
  int32_t lagging_ = 0;
  bool stopped_ = false;
  bool sessionStarted_ = false;
  std::vector<int32_t> closedWith_;
  std::set<std::string> failing_;
  std::set<std::string> albums_;
  std::deque<std::string> recent_;
  std::map<Top, std::vector<int32_t>> layouts_;
  size_t iniBytes_ = 0;
  std::vector<Hour> hours_;  // per simulated hour
};

TEST_F(Soak, ThePlayerHoldsTogetherOverSimulatedHours) {
  // CI's run is short: six hours of the manual clock, a few seconds of the machine's.
  const int64_t hours = runHours_ > 0 ? runHours_ : 6;
  const auto started = std::chrono::steady_clock::now();
  Run(hours * kHourMs);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_FALSE(stopped_);
  ASSERT_GE(hours_.size(), 2u);
  const Hour& first = hours_.front();
  const Hour& last = hours_.back();
  std::printf(
      "soak: seed %llu, %lld steps, %lld sessions, %lld simulated hours, %.1f s wall; live heap "
      "%.0f bytes in hour 1, %.0f in hour %zu; ZQ_CD.INI %.0f and %.0f bytes\n",
      static_cast<unsigned long long>(seed_), static_cast<long long>(steps_),
      static_cast<long long>(sessions_), static_cast<long long>(hours), wall, first.Heap(),
      last.Heap(), hours_.size(), first.Ini(), last.Ini());
  // Flat, within a slack: 64 KiB for what the first hour has not yet grown to (the model's record
  // of message boxes fills to its cap, queues to their largest album) and the allocator's
  // rounding; eight bytes for each byte ZQ_CD.INI gained, which the profile store holds parsed
  // (its text, the copy written back and an index of its keys; each new album key adds a
  // section); and, where the count is not exact, glibc's cache of freed chunks.
  const double slack = 64 * 1024 + 8 * std::max(0.0, last.Ini() - first.Ini()) +
                       (testing::kExactLiveHeap ? 0 : 256 * 1024);
  EXPECT_LE(last.Heap(), first.Heap() + slack) << "the live heap grew over the run";
  EXPECT_FALSE(albums_.empty());
}

}  // namespace
}  // namespace vantora::app
