// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: the command line, the platform's services, then the player.
#include "app/program.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/cdplayer.h"
#include "app/settings.h"
#include "app/state.h"
#include "desktop/mpris.h"
#include "platform/audio/audible_drive.h"
#include "platform/cdaudio/cdio_drive.h"
#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/paths.h"
#include "platform/profile/profile.h"
#include "platform/qt/qt_window_system.h"
#include "platform/qt_audio/desktop_output.h"
#include "runtime/errors.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

constexpr const char* kUsage =
    "Usage: vantora [OPTION]...\n"
    "A small audio CD player.\n"
    "\n"
    "  --drive DIR        use the virtual drive in DIR (default: $VANTORA_DRIVE, else\n"
    "                     the machine's CD drive if it has one, else the data\n"
    "                     directory's vantora/drive, created with a demo disc)\n"
    "  --device PATH      use the CD drive PATH (such as /dev/sr0), or a CD image\n"
    "                     that libcdio reads (a BIN/CUE sheet, TOC or NRG file)\n"
    "  --trace FILE       append every device command, its error and reply to FILE\n"
    "  --audio-out FILE   record what the disc plays to FILE, a WAV file, instead of\n"
    "                     playing it on the desktop's sound output\n"
    "  --screenshot FILE  save a PNG of the player once it has settled, then close it\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Settings live in ZQ_CD.INI in $VANTORA_CONFIG_DIR, else $XDG_CONFIG_HOME/vantora,\n"
    "else ~/.config/vantora.\n";

struct Options {
  std::optional<std::filesystem::path> drive;
  std::optional<std::filesystem::path> device;
  std::optional<std::filesystem::path> trace;
  std::optional<std::filesystem::path> audioOut;
  std::optional<std::string> screenshot;
};

// How often the sound under the play head goes to the output: little enough that the output
// holds well under 0.1 s.
constexpr std::chrono::milliseconds kPumpPeriod{20};

// Parses the command line; on a bad argument prints why and returns nullopt with `exitCode` set.
std::optional<Options> ParseOptions(int argc, char** argv, int& exitCode) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      exitCode = 0;
      return std::nullopt;
    }
    if (arg == "--version") {
      std::printf("vantora %s\n", VANTORA_VERSION);
      exitCode = 0;
      return std::nullopt;
    }
    if (arg == "--drive" || arg == "--device" || arg == "--trace" || arg == "--audio-out" ||
        arg == "--screenshot") {
      if (i + 1 >= argc || *argv[i + 1] == '\0') {
        std::fprintf(stderr, "vantora: option '%s' needs a value (try --help)\n", argv[i]);
        exitCode = 1;
        return std::nullopt;
      }
      const char* value = argv[++i];
      if (arg == "--drive") {
        options.drive = value;
      } else if (arg == "--device") {
        options.device = value;
      } else if (arg == "--trace") {
        options.trace = value;
      } else if (arg == "--audio-out") {
        options.audioOut = value;
      } else {
        options.screenshot = value;
      }
      continue;
    }
    std::fprintf(stderr, "vantora: unknown argument '%s' (try --help)\n", argv[i]);
    exitCode = 1;
    return std::nullopt;
  }
  if (options.drive && options.device) {
    std::fputs("vantora: '--drive' and '--device' each name the drive; give one (try --help)\n",
               stderr);
    exitCode = 1;
    return std::nullopt;
  }
  return options;
}

// Where the disc's sound goes: the recorder --audio-out names, else the desktop's output. false
// when the recorder cannot be made; without a desktop output that plays the disc's format the
// player plays silently.
bool OpenSound(const Options& options, std::unique_ptr<platform::audio::SoundOutput>& output) {
  std::string why;
  if (options.audioOut) {
    output = platform::audio::OpenRecorder(*options.audioOut, &why);
    if (!output) {
      std::fprintf(stderr, "vantora: --audio-out: %s\n", why.c_str());
      return false;
    }
    return true;
  }
  output = platform::qt::OpenDesktopOutput(&why);
  if (!output) {
    std::fprintf(stderr, "vantora: %s, so playback is silent\n", why.c_str());
  }
  return true;
}

// The drive the player uses: the one --device names; else the virtual drive that --drive or
// $VANTORA_DRIVE names; else the machine's CD drive; else the default virtual drive, created with
// the demo disc when missing.
std::unique_ptr<platform::cdaudio::CdDrive> OpenDrive(const Options& options) {
  namespace cdaudio = platform::cdaudio;
  std::optional<std::filesystem::path> device = options.device;
  const char* named = std::getenv("VANTORA_DRIVE");
  if (!device && !options.drive && (named == nullptr || *named == '\0')) {
    device = cdaudio::FindCdDrive();
  }
  if (device) {
    auto drive = std::make_unique<cdaudio::CdioDrive>(*device);
    if (const cdaudio::DriveStatus status = drive->Connected(); !status.ok()) {
      // The player still starts: the device reports the drive as unavailable.
      std::fprintf(stderr, "vantora: device '%s': %s\n", device->c_str(), status.detail.c_str());
    }
    return drive;
  }
  const std::filesystem::path dir = options.drive.value_or(cdaudio::DefaultDriveDirectory());
  // A named drive that is not there is no drive at all, never a new empty one.
  const cdaudio::DriveStatus status =
      options.drive ? cdaudio::EnsureNamedDrive(dir) : cdaudio::EnsureDefaultDrive(dir);
  if (!status.ok()) {
    // The player still starts: the device reports the drive as unavailable.
    std::fprintf(stderr, "vantora: drive '%s': %s\n", dir.c_str(), status.detail.c_str());
  }
  auto drive = std::make_unique<cdaudio::VirtualDrive>(
      dir, options.drive ? cdaudio::MissingDrive::Absent : cdaudio::MissingDrive::Fresh);
  // Other players see this one use the drive, and leave its play alone as they end.
  drive->Hold();
  return drive;
}

// The drive heard through the sound output while the device has it. A player that ends at the
// session's end (quick_exit, which destroys nothing) stops the drive's play here; any other ending,
// a display gone included (exit), destroys the installed device, and the drive stops as it goes.
// Not an atexit handler too: the device, a function's static, is destroyed before it would run.
platform::audio::AudibleDrive* gSounding = nullptr;

void StopSoundingAtExit() {
  if (gSounding != nullptr) {
    gSounding->StopSounding();
  }
}

// Puts the CD device on the chosen drive; with a sound output, the drive is heard through it.
bool SetUpDevice(const Options& options, std::unique_ptr<platform::audio::SoundOutput> output) {
  std::unique_ptr<platform::cdaudio::CdDrive> drive = OpenDrive(options);
  if (output) {
    auto audible =
        std::make_unique<platform::audio::AudibleDrive>(std::move(drive), std::move(output));
    audible->StartPumping(kPumpPeriod);
    gSounding = audible.get();
    std::at_quick_exit(StopSoundingAtExit);
    drive = std::move(audible);
  }
  platform::InstallCommandDevice(std::make_unique<platform::CommandDevice>(std::move(drive)));
  if (options.trace) {
    std::string error;
    if (!platform::InstalledCommandDevice().Log().AppendTo(*options.trace, &error)) {
      std::fprintf(stderr, "vantora: --trace '%s': %s\n", options.trace->c_str(), error.c_str());
      return false;
    }
  }
  return true;
}

// Whether Qt has a screen to show windows on; without one it would abort the process.
bool HaveDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return true;
    }
  }
  return false;
}

}  // namespace

int RunProgram(int argc, char** argv) {
  int exitCode = 0;
  const std::optional<Options> options = ParseOptions(argc, argv, exitCode);
  if (!options) {
    return exitCode;
  }
  if (!HaveDisplay()) {
    std::fputs(
        "vantora: no display to show the player on (DISPLAY and WAYLAND_DISPLAY are unset).\n"
        "Start it from a desktop session, or run scripts/run.sh to see it on a virtual display.\n",
        stderr);
    return 1;
  }
  platform::qt::QtWindowSystem windows(argc, argv);
  std::unique_ptr<platform::audio::SoundOutput> output;
  if (!OpenSound(*options, output)) {
    return 1;
  }
  // The device owns the output from here on, and outlives the player's window.
  if (platform::audio::SoundOutput* sound = output.get()) {
    SetVolumeHook([sound](int32_t percent) { sound->SetVolume(percent / 100.0); });
  }
  if (!SetUpDevice(*options, std::move(output))) {
    SetVolumeHook(nullptr);
    return 1;
  }
  platform::SetCurrentWindowSystem(&windows);
  windows.InstallSessionEndSignals();
  runtime::SetFatalPresenter(platform::qt::ShowFatalMessage);
  if (options->screenshot) {
    // The picture shows the player once it has settled (a disc found and, with AutoPlay,
    // playing), or after ten seconds whatever it shows.
    const std::string path = *options->screenshot;
    auto taken = std::make_shared<bool>(false);
    auto takeShot = [&windows, path, taken](uintptr_t window) {
      if (window == 0 || *taken) {
        return;
      }
      *taken = true;
      if (windows.SaveWindowImage(window, path)) {
        std::printf("vantora: saved a picture of the player to %s: %s\n", path.c_str(),
                    app::STATUSTEXT.str().c_str());
      } else {
        std::fprintf(stderr, "vantora: could not save a picture to '%s'\n", path.c_str());
      }
      std::fflush(stdout);
      windows.RequestClose(window);
    };
    app::SetSettledHook(takeShot);
    windows.AfterFirstShow(10000, [takeShot](uintptr_t window) {
      app::SetSettledHook(nullptr);
      takeShot(window);
    });
  }

  // Media keys reach the player through the session bus while it runs.
  const std::unique_ptr<desktop::Mpris> mpris = desktop::Mpris::Start();
  const bool ran = CDPLAYER();
  if (!ran) {
    std::fprintf(stderr, "vantora: the main window could not be created: %.*s\n",
                 static_cast<int>(runtime::WindowCreateError().size()),
                 runtime::WindowCreateError().data());
  }
  runtime::ResetWindows();
  platform::SetCurrentWindowSystem(nullptr);
  platform::FlushProfiles();
  SetVolumeHook(nullptr);
  // The device goes while the program is whole: the drive sends what it played last and its
  // sound output ends on its own thread; a drive still playing is stopped.
  gSounding = nullptr;
  platform::InstallCommandDevice(nullptr);
  return ran ? 0 : 1;
}

}  // namespace vantora::app
