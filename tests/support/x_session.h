// SPDX-License-Identifier: GPL-3.0-or-later
// A desktop of the test's own: an X server, a window manager when asked for, and the player on
// them. What the test learns it asks the server, as any other X client would (xdotool, xprop,
// xwininfo), and what the screen shows it reads back from the server, so that what is
// checked is what a person would see rather than what the program believes it drew.
//
// Failures while setting up are fatal to the test: call the void members through
// ASSERT_NO_FATAL_FAILURE.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <QImage>
#include <QMargins>
#include <QRect>
#include <QUrl>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <xcb/xcb.h>

#include "tests/support/child_process.h"
#include "windows/definition.h"

namespace vantora::testing {

// An X window as the server numbers it; 0 stands for the root window.
using WindowId = unsigned long;
inline constexpr WindowId kRootWindow = 0;

// The numbers in a property's value as Property gives it: window ids ("0x400006, 0x600003") or
// cardinals ("1, 1, 20, 1").
inline std::vector<unsigned long> Numbers(const std::string& value) {
  std::vector<unsigned long> numbers;
  static const std::regex number("0x[0-9a-fA-F]+|\\d+");
  for (auto it = std::sregex_iterator(value.begin(), value.end(), number);
       it != std::sregex_iterator(); ++it) {
    numbers.push_back(std::stoul(it->str(), nullptr, 0));
  }
  return numbers;
}

// What the X server at `display` shows on its first screen, read from the root window in one
// request (xwd reads window by window, and leaves a window that lies wholly over another black);
// a null image when it cannot be read. The screen is taken to be true colour, red above blue.
inline QImage ReadScreen(const std::string& display) {
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  QImage image;
  if (xcb_connection_has_error(connection) == 0) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    int bits = 0;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem != 0;
         xcb_format_next(&formats)) {
      bits = formats.data->depth == screen->root_depth ? formats.data->bits_per_pixel : bits;
    }
    const int width = screen->width_in_pixels, height = screen->height_in_pixels;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
                      static_cast<uint16_t>(width), static_cast<uint16_t>(height), ~0u),
        nullptr);
    const int length = reply != nullptr ? xcb_get_image_data_length(reply) : 0;
    if ((bits == 32 || bits == 24) && height > 0 && length / height >= width * bits / 8 &&
        setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) {
      // A view of the reply's pixels, copied before the reply goes.
      const QImage view(xcb_get_image_data(reply), width, height, length / height,
                        bits == 32 ? QImage::Format_RGB32 : QImage::Format_BGR888);
      image = view.convertToFormat(QImage::Format_RGB32).copy();
    }
    std::free(reply);
  }
  xcb_disconnect(connection);
  return image;
}

// Saves `image` as a PNG at `path`, making its folder.
inline bool SavePng(const QImage& image, const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  return image.save(QString::fromStdString(path.string()), "PNG");
}

// Where a test's screenshot named `name` goes.
inline std::filesystem::path ScreenshotPath(const std::string& name) {
  return std::filesystem::path(VANTORA_SCREENSHOT_DIR) / name;
}

class XSession {
 public:
  enum class WindowManager { kNone, kOpenbox };

  // How the player is started.
  struct PlayerStart {
    // Written as the player's ZQ_CD.INI first; without it, what the last run saved stays.
    std::optional<std::string> ini = {};
    // The folder of the virtual drive (--drive).
    std::optional<std::filesystem::path> drive = {};
    // Further arguments, such as --trace FILE.
    std::vector<std::string> arguments = {};
  };

  // Generous: a loaded machine with two cores may take seconds to start a program.
  static constexpr std::chrono::milliseconds kStartLimit = 60s;

  XSession() = default;
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;
  ~XSession() {
    player_.Stop();
    bus_.Stop();
    window_manager_.Stop();
    server_.Stop();
    if (!dir_.empty()) {
      std::error_code error;
      std::filesystem::remove_all(dir_, error);
    }
  }

  // Makes the session's folder and starts the server, then the window manager if one is asked
  // for, returning once it manages the screen.
  void Start(WindowManager window_manager) {
    std::vector<const char*> tools = {"Xvfb", "xdotool", "xprop", "xwininfo"};
    if (window_manager == WindowManager::kOpenbox) {
      tools.push_back("openbox");
    }
    for (const char* tool : tools) {
      ASSERT_EQ(std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()), 0)
          << tool << " is missing: scripts/deps.sh installs it";
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-x-session-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    display_ = StartXvfb(server_, Environment({}, {}), dir_ / "xvfb.log", kStartLimit);
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start or gave no display number";
    if (window_manager == WindowManager::kOpenbox) {
      ASSERT_NO_FATAL_FAILURE(StartOpenbox());
    }
  }

  const std::filesystem::path& dir() const { return dir_; }
  // The server's display name, ":N".
  const std::string& display() const { return display_; }
  // The player's settings folder (VANTORA_CONFIG_DIR); it outlives the player's runs.
  std::filesystem::path config_dir() const { return dir_ / "config"; }

  // What xdotool printed for `arguments`, given as on a shell's command line.
  std::string Xdotool(const std::string& arguments) const { return Tool("xdotool " + arguments); }

  // The visible top-level windows of process `pid`.
  std::vector<WindowId> VisibleWindows(pid_t pid) const {
    return Numbers(Xdotool("search --onlyvisible --pid " + std::to_string(pid)));
  }

  // The value of `window`'s property `name` as xprop writes it after the name ("= " or ": window
  // id # " taken off), or "" when the window does not have it.
  std::string Property(WindowId window, const std::string& name) const {
    const std::string target = window == kRootWindow ? "-root" : "-id " + std::to_string(window);
    const std::string line = Tool("xprop -notype " + target + " " + name);
    for (const std::string& lead : {name + " = ", name + ": window id # "}) {
      if (line.rfind(lead, 0) == 0) {
        return line.substr(lead.size());
      }
    }
    return "";
  }

  // Where `window`'s own area is on the screen, without the window manager's frame.
  QRect ClientGeometry(WindowId window) const {
    const std::string info = Tool("xwininfo -id " + std::to_string(window));
    const auto value = [&](const std::string& label) {
      std::smatch match;
      return std::regex_search(info, match, std::regex(label + ":\\s+(-?\\d+)"))
                 ? std::stoi(match[1])
                 : 0;
    };
    return QRect(value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                 value("Height"));
  }
  // The frame the window manager put around `window`: left, top, right and bottom.
  QMargins FrameExtents(WindowId window) const {
    const std::vector<unsigned long> sides = Numbers(Property(window, "_NET_FRAME_EXTENTS"));
    if (sides.size() != 4) {
      return {};
    }
    return QMargins(static_cast<int>(sides[0]), static_cast<int>(sides[2]),
                    static_cast<int>(sides[1]), static_cast<int>(sides[3]));
  }
  QRect FrameGeometry(WindowId window) const {
    return ClientGeometry(window).marginsAdded(FrameExtents(window));
  }

  // The top-level window that has the keyboard's input, or 0 when none has.
  WindowId Focus() const {
    const std::vector<unsigned long> focus = Numbers(Xdotool("getwindowfocus"));
    return focus.size() == 1 ? focus[0] : 0;
  }
  // The window the window manager calls active, or 0.
  WindowId ActiveWindow() const {
    const std::vector<unsigned long> active = Numbers(Property(kRootWindow, "_NET_ACTIVE_WINDOW"));
    return active.empty() ? 0 : active[0];
  }

  // What the server shows on the whole screen, or a null image if it could not be read.
  QImage Capture() const { return ReadScreen(display_); }

  // Starts the player on this display and returns once its first window is visible.
  void StartPlayer(const PlayerStart& start) {
    player_.Stop();
    player_window_ = 0;
    std::filesystem::create_directories(config_dir());
    if (start.ini) {
      std::ofstream(config_dir() / "ZQ_CD.INI", std::ios::binary) << *start.ini;
    }
    const auto runtime = dir_ / "runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    std::vector<std::string> argv = {VANTORA_EXECUTABLE};
    if (start.drive) {
      std::filesystem::create_directories(*start.drive);
      argv.insert(argv.end(), {"--drive", start.drive->string()});
    }
    argv.insert(argv.end(), start.arguments.begin(), start.arguments.end());
    ASSERT_TRUE(player_.Start(
        argv,
        // No session bus: without one libdbus would try to start a bus for this display, and
        // what it allocates for that is never freed.
        Environment(
            {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "VANTORA_CONFIG_DIR",
             "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"},
            {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display_,
             "VANTORA_CONFIG_DIR=" + config_dir().string(), "XDG_RUNTIME_DIR=" + runtime.string(),
             "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir_ / "bus").string()}),
        player_log()));
    const std::string window = Poll(kStartLimit, [&] {
      const std::vector<WindowId> windows = VisibleWindows(player_.pid());
      return windows.empty() ? std::string() : std::to_string(windows.front());
    });
    ASSERT_FALSE(window.empty()) << "no window of the player on " << display_ << ":\n"
                                 << Read(player_log());
    player_window_ = std::stoul(window);
  }
  Child& player() { return player_; }
  // The player's first visible window, as StartPlayer found it.
  WindowId player_window() const { return player_window_; }
  // What the player wrote to its standard output and error, over all its runs.
  std::filesystem::path player_log() const { return dir_ / "player.log"; }
  // Closes `window` as a person would, with Alt+F4 to the window manager, which asks the
  // program to close it. Needs the window manager.
  void CloseWindow(WindowId window) const {
    Xdotool("windowactivate --sync " + std::to_string(window));
    Xdotool("key --clearmodifiers alt+F4");
  }
  // Clicks the middle of a toolbar button of the player's main window, found by its number in the
  // definition. The window is as wide as its definition, so that width gives the units' size; the
  // toolbar is measured from the bottom, where the compact form has it. Vertical units are taken
  // to be as large as horizontal ones, which lands well inside the 18-unit-high buttons.
  void ClickToolbarButton(int number) const {
    const auto definition =
        vantora::windows::FindWindowDefinition("cdplayer$CDPLAYER", "P2$CDPLAYWIN");
    ASSERT_TRUE(definition && definition->toolbar);
    const std::string window = std::to_string(player_window_);
    const std::string geometry = Xdotool("getwindowgeometry --shell " + window);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(geometry, match, std::regex("WIDTH=(\\d+)\\nHEIGHT=(\\d+)")))
        << geometry;
    const double unit = std::stod(match[1]) / definition->position.width;
    const int height = std::stoi(match[2]);
    const int toolbar = definition->toolbar->position->height;
    for (const auto& button : definition->toolbar->children) {
      if (button.number == number && button.position) {
        const auto& at = *button.position;
        const int x = static_cast<int>((at.x + at.width / 2.0) * unit);
        const int y = height - static_cast<int>((toolbar - at.y - at.height / 2.0) * unit);
        Xdotool("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
                " click 1");
        return;
      }
    }
    FAIL() << "no toolbar button " << number;
  }

  // Ends the player as the desktop session would (SIGTERM) and returns its exit code, or -1
  // when it had to be killed.
  int StopPlayer() {
    int code = -1;
    if (player_.pid() > 0) {
      ::kill(player_.pid(), SIGTERM);
      if (!player_.WaitForExit(kStartLimit, code)) {
        player_.Stop();
      }
    }
    return code;
  }

  // Starts a session bus at the address the player is given (where otherwise none answers, so
  // that the player runs without one) and returns that address.
  std::string StartBus() {
    const std::string address = "unix:path=" + (dir_ / "bus").string();
    if (!bus_.Start({"dbus-daemon", "--session", "--nofork", "--nosyslog", "--address=" + address},
                    Environment({}, {}), dir_ / "bus.log") ||
        Poll(kStartLimit, [&] {
          return std::filesystem::exists(dir_ / "bus") ? "up" : "";
        }).empty()) {
      ADD_FAILURE() << "no session bus:\n" << Read(dir_ / "bus.log");
      return "";
    }
    return address;
  }

  // Takes the display away, as the end of a desktop session may before its programs have ended.
  void StopServer() {
    window_manager_.Stop();
    server_.Stop();
  }

  // Drags `files` from another program's window and drops them at the point (x, y) of the
  // screen, as a person does with the mouse from a file manager: whether the window there took
  // them. Waits until the drag has ended.
  bool DropFiles(const std::vector<std::filesystem::path>& files, int x, int y) {
    std::vector<std::string> urls;
    for (const auto& file : files) {
      urls.push_back(
          QUrl::fromLocalFile(QString::fromStdString(std::filesystem::absolute(file).string()))
              .toString()
              .toStdString());
    }
    return DropUrls(urls, x, y);
  }
  // The same with any URLs ("http://host/a.flac").
  bool DropUrls(const std::vector<std::string>& urls, int x, int y) {
    // The source's window goes in the corner of the screen farthest from the point, clear of
    // the target.
    const QRect screen(0, 0, 1024, 768);
    const QPoint at(x < screen.center().x() ? screen.right() - 80 : 20,
                    y < screen.center().y() ? screen.bottom() - 80 : 20);
    std::vector<std::string> argv = {VANTORA_DRAG_TOOL, "--at",
                                     std::to_string(at.x()) + "," + std::to_string(at.y())};
    argv.insert(argv.end(), urls.begin(), urls.end());
    const auto log = dir_ / "drag-tool.log";
    std::filesystem::remove(log);
    Child tool;
    if (!tool.Start(argv,
                    Environment({"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"},
                                {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display_}),
                    log)) {
      ADD_FAILURE() << "the drag tool did not start";
      return false;
    }
    const std::string window = Poll(kStartLimit, [&] {
      const std::vector<WindowId> windows = VisibleWindows(tool.pid());
      return windows.empty() ? std::string() : std::to_string(windows.front());
    });
    if (window.empty()) {
      ADD_FAILURE() << "no window of the drag tool:\n" << Read(log);
      return false;
    }
    // Press on the source, then move in steps: each position is answered by the window under
    // the pointer before the next, and the last one before the release.
    const QPoint from = ClientGeometry(std::stoul(window)).center();
    const QPoint to(x, y);
    Xdotool("mousemove --sync " + std::to_string(from.x()) + " " + std::to_string(from.y()));
    Xdotool("mousedown 1");
    constexpr int kSteps = 8;
    for (int step = 1; step <= kSteps; ++step) {
      const QPoint point = from + (to - from) * step / kSteps;
      std::this_thread::sleep_for(100ms);
      Xdotool("mousemove " + std::to_string(point.x()) + " " + std::to_string(point.y()));
    }
    std::this_thread::sleep_for(500ms);
    Xdotool("mouseup 1");
    int code = -1;
    if (!tool.WaitForExit(30s, code)) {
      ADD_FAILURE() << "the drag did not end:\n" << Read(log);
      return false;
    }
    return code == 0;
  }

  // Runs the drive tool on the drive in `drive`, e.g. {"insert", "--mixed"}, and requires it to
  // succeed.
  void DriveTool(const std::filesystem::path& drive, const std::vector<std::string>& arguments) {
    std::filesystem::create_directories(drive);
    std::vector<std::string> argv = {VANTORA_DRIVE_TOOL, "--drive", drive.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Child tool;
    int code = -1;
    const auto log = dir_ / "drive-tool.log";
    std::filesystem::remove(log);
    ASSERT_TRUE(tool.Start(argv, Environment({}, {}), log));
    ASSERT_TRUE(tool.WaitForExit(kStartLimit, code)) << Read(log);
    ASSERT_EQ(code, 0) << Read(log);
  }

 private:
  // Runs an X client on this display; a server that stopped answering must not hold the test
  // up.
  std::string Tool(const std::string& command) const {
    return Output("DISPLAY=" + display_ + " timeout 30 " + command + " 2>/dev/null");
  }

  // Openbox with settings of its own rather than the user's: one desktop, new windows focused,
  // focus by click, and Alt+F4 to close. Presses are bound on the title bar and in the window,
  // not on the whole frame: one bound there is the manager's alone and never reaches the window.
  // Its cache (its log) goes into the session's folder too.
  void StartOpenbox() {
    const auto rc = dir_ / "openbox-rc.xml";
    std::ofstream(rc) << R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <keyboard><keybind key="A-F4"><action name="Close"/></keybind></keyboard>
  <mouse>
    <context name="Titlebar">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Left" action="Drag"><action name="Move"/></mousebind>
    </context>
    <context name="Client">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
  </mouse>
</openbox_config>
)";
    const auto log = dir_ / "openbox.log";
    // It announces itself once it has taken the screen over. On a loaded machine a server just
    // started has turned it away now and then ("Failed to open the display"); it then ends at
    // once, and is started again.
    std::string check;
    for (int attempt = 0; attempt < 3 && check.empty(); ++attempt) {
      ASSERT_TRUE(window_manager_.Start(
          {"openbox", "--sm-disable", "--config-file", rc.string()},
          Environment({"DISPLAY", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"},
                      {"DISPLAY=" + display_, "XDG_CONFIG_HOME=" + (dir_ / "xdg-config").string(),
                       "XDG_CACHE_HOME=" + (dir_ / "xdg-cache").string(),
                       "XDG_DATA_HOME=" + (dir_ / "xdg-data").string()}),
          log));
      bool ended = false;
      check = Poll(kStartLimit, [&] {
        int code = 0;
        ended = window_manager_.WaitForExit(0ms, code);
        return ended ? std::string("ended") : Property(kRootWindow, "_NET_SUPPORTING_WM_CHECK");
      });
      if (ended) {
        check.clear();
        std::this_thread::sleep_for(200ms);
      }
    }
    ASSERT_FALSE(check.empty()) << "openbox did not take the screen over:\n" << Read(log);
  }

  std::filesystem::path dir_;
  std::string display_;
  Child server_;
  Child window_manager_;
  Child bus_;
  Child player_;
  WindowId player_window_ = 0;
};

}  // namespace vantora::testing
