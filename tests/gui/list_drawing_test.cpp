// SPDX-License-Identifier: GPL-3.0-or-later
// The player's lists as the screen shows them under a window manager, worked with the mouse and
// keys: a drop list drops down the rows its definition gives, an entry shows the start of a long
// value, and a track dragged into the editor's playlist is on the screen before anything else
// happens.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QImage>
#include <QPixmap>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/x_session.h"
#include "windows/definition.h"

namespace {

using namespace vantora::testing;

constexpr auto kLimit = 10s;

// Lines of text in `area`: runs of pixel rows not all of one colour (rows, their highlight and
// the gaps between them are of one colour across; text is not).
int TextLines(const QImage& screen, QRect area) {
  area &= screen.rect();
  int lines = 0;
  bool inLine = false;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    bool ink = false;
    for (int x = area.left(); x <= area.right() && !ink; ++x) {
      const QRgb a = screen.pixel(x, y), b = screen.pixel(area.left(), y);
      ink = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                std::abs(qBlue(a) - qBlue(b)) >
            96;
    }
    lines += ink && !inLine ? 1 : 0;
    inLine = ink;
  }
  return lines;
}

// The dark pixels of dark text on a light field.
int Ink(const QImage& screen, QRect area) {
  area &= screen.rect();
  int ink = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      ink += qGray(screen.pixel(x, y)) < 100 ? 1 : 0;
    }
  }
  return ink;
}

class ListDrawing : public testing::Test {
 protected:
  // A disc of 25 tracks whose album has eight playlists of two tracks, and an artist and a first
  // track's title too long for their boxes, whose start ("WWW") and end ("...") look nothing
  // alike.
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(session_.Start(XSession::WindowManager::kOpenbox));
    const std::string longValue = std::string(30, 'W') + std::string(30, '.');
    std::string disc = "vantora-disc 1\ntracks 25\n";
    std::string ini =
        "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\n"
        "[25449901180011800118001]\r\nTitle=Long\r\nArtist=" +
        longValue + "\r\nPlayList Count=8\r\n";
    for (int n = 1; n <= 25; ++n) {
      disc += "track " + std::to_string(n) + " 03:00:00\n";
      ini += "Track " + std::to_string(n) + "=" + (n == 1 ? longValue : "T" + std::to_string(n)) +
             "\r\n";
    }
    for (int n = 1; n <= 8; ++n) {
      ini += "PlayList " + std::to_string(n) + " Title=Mix " + std::to_string(n) + "\r\nPlayList " +
             std::to_string(n) + "=2 0102\r\n";
    }
    const auto drive = session_.dir() / "drive", trace = session_.dir() / "trace.log";
    std::ofstream(session_.dir() / "long.disc") << disc;
    ASSERT_NO_FATAL_FAILURE(
        session_.DriveTool(drive, {"insert", (session_.dir() / "long.disc").string()}));
    ASSERT_NO_FATAL_FAILURE(session_.StartPlayer(
        {.ini = ini, .drive = drive, .arguments = {"--trace", trace.string()}}));
    ::setenv("XDG_RUNTIME_DIR", (session_.dir() / "runtime").c_str(), 1);
    main_ = session_.player_window();
    // The album is loaded in the tick that reads the disc's lengths.
    ASSERT_FALSE(Poll(XSession::kStartLimit, [&] {
                   return Read(trace).find("length track 3\t0") != std::string::npos ? "read" : "";
                 }).empty());
  }

  std::string X(const std::string& arguments) const { return session_.Xdotool(arguments); }
  std::string At(QPoint point) const {
    return " " + std::to_string(point.x()) + " " + std::to_string(point.y());
  }

  // Where a control is on the screen, from its definition and its window's client area. The
  // editor's is its definition's size. The main window's body ends at the window's bottom and is
  // as wide as its definition; its vertical units are taken to be as large as its horizontal
  // ones, close enough over the few units from the bottom to its drop lists.
  QRect Control(const char* window, uint16_t number, WindowId id) const {
    const auto definition = vantora::windows::FindWindowDefinition("cdplayer$CDPLAYER", window);
    const auto* control = definition ? vantora::windows::FindControl(*definition, number) : nullptr;
    if (control == nullptr || !control->position) {
      ADD_FAILURE() << "no control " << number << " in " << window;
      return {};
    }
    const QRect client = session_.ClientGeometry(id);
    const auto& at = *control->position;
    const double x = double(client.width()) / definition->position.width;
    if (!definition->toolbar) {
      const double y = double(client.height()) / definition->position.height;
      return QRect(client.left() + int(at.x * x), client.top() + int(at.y * y), int(at.width * x),
                   int(at.height * y));
    }
    const int below = definition->position.height - definition->toolbar->position->height - at.y;
    return QRect(client.left() + int(at.x * x), client.bottom() - int(below * x), int(at.width * x),
                 int(at.height * x));
  }

  // The player's shown window that is neither the main window nor the editor (a dropped-down
  // list, a menu), or 0.
  WindowId Popup() {
    for (const WindowId window : session_.VisibleWindows(session_.player().pid())) {
      if (window != main_ && window != editor_) {
        return window;
      }
    }
    return 0;
  }

  // Reads the screen until `shows` holds of it or `limit` has passed, and saves the last picture.
  QImage Await(const std::string& name, const std::function<bool(const QImage&)>& shows,
               std::chrono::milliseconds limit = kLimit) const {
    QImage screen;
    Poll(limit, [&] { return shows(screen = session_.Capture()) ? "shown" : ""; });
    EXPECT_TRUE(SavePng(screen, ScreenshotPath(name)));
    return screen;
  }

  // Drops a list down with a click at `at`, counts the rows it shows (its frame and scroll bar
  // left out) and closes it again.
  void ExpectDroppedRows(QPoint at, int rows, const std::string& name) {
    X("mousemove" + At(at) + " click 1");
    ASSERT_FALSE(Poll(kLimit, [&] { return Popup() != 0 ? "open" : ""; }).empty());
    const QRect list = session_.ClientGeometry(Popup()).adjusted(3, 2, -20, -2);
    const QImage screen = Await(name, [&](const QImage& s) { return TextLines(s, list) == rows; });
    EXPECT_EQ(TextLines(screen, list), rows) << "a list " << list.height() << " px high";
    X("key Escape");
    Poll(kLimit, [&] { return Popup() == 0 ? "closed" : ""; });
  }

  XSession session_;
  WindowId main_ = 0;
  WindowId editor_ = 0;
};

TEST_F(ListDrawing, DropListsDropTheirRowsEntriesShowTheStartAndADropIsDrawnAtOnce) {
  const std::function<void()> steps[] = {
      [&] {
        SCOPED_TRACE("the Current Track list drops down 4 of the 25 tracks");
        ExpectDroppedRows(Control("P2$CDPLAYWIN", 16, main_).center(), 4, "list_drawing_main.png");
      },
      [&] {
        SCOPED_TRACE("the editor opens from the menu, its entries showing where long values start");
        X("windowactivate --sync " + std::to_string(main_));
        X("key --clearmodifiers alt+o");
        ASSERT_FALSE(Poll(kLimit, [&] { return Popup() != 0 ? "menu" : ""; }).empty());
        X("key p");
        const std::string editor = Poll(kLimit, [&] {
          const std::string popup = std::to_string(Popup());
          return X("getwindowname " + popup) == "Edit an Album's Playlist" ? popup : "";
        });
        ASSERT_FALSE(editor.empty()) << "no editor";
        editor_ = std::stoul(editor);
        // "WWW" fills a box that shows the start of a value; its end ("...") leaves the right half
        // of the box all but bare.
        const auto startShown = [&](const QImage& s, uint16_t entry) {
          const QRect box = Control("P22$EDITWINDOW", entry, editor_).adjusted(4, 3, -4, -3);
          const QRect left = box.adjusted(0, 0, -box.width() / 2, 0);
          const QRect right = box.adjusted(box.width() - left.width(), 0, 0, 0);
          return Ink(s, left) > 0 && Ink(s, right) * 2 > Ink(s, left);
        };
        const QImage screen = Await("list_drawing_entries.png", [&](const QImage& s) {
          return startShown(s, 3) && startShown(s, 7);
        });
        EXPECT_TRUE(startShown(screen, 3)) << "the artist shows the end of its name";
        EXPECT_TRUE(startShown(screen, 7)) << "the track title shows the end of its title";
      },
      [&] {
        SCOPED_TRACE("the editor's playlist list drops down 5 of the 8 playlists");
        ExpectDroppedRows(Control("P22$EDITWINDOW", 9, editor_).center(), 5,
                          "list_drawing_playlists.png");
      },
      [&] {
        SCOPED_TRACE("a track dragged into the playlist is drawn without another event");
        // Its rows are at its top; the drop is low in it, so that a tip under the pointer stays
        // clear of them.
        const QRect playlist = Control("P22$EDITWINDOW", 10, editor_);
        const QRect rows = playlist.adjusted(4, 3, -4, -playlist.height() / 2);
        ASSERT_EQ(TextLines(session_.Capture(), rows), 2);
        const QPoint from = Control("P22$EDITWINDOW", 6, editor_).topLeft() + QPoint(30, 8);
        const QPoint to(playlist.center().x(), playlist.bottom() - 12);
        X("mousemove" + At(from) + " mousedown 1");
        for (int step = 1; step <= 8; ++step) {
          X("mousemove" + At(from + (to - from) * step / 8));
        }
        X("mouseup 1");
        const QImage screen = Await(
            "list_drawing_drop.png", [&](const QImage& s) { return TextLines(s, rows) == 3; }, 3s);
        EXPECT_EQ(TextLines(screen, rows), 3)
            << "the playlist still shows its rows before the drop";
      },
  };
  for (const auto& step : steps) {
    step();
    if (HasFatalFailure()) {
      return;
    }
  }
}

}  // namespace
