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
#include <utility>
#include <vector>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

#include "app/cdplayer.h"
#include "app/names.h"
#include "app/settings.h"
#include "app/state.h"
#include "desktop/lookup_module.h"
#include "desktop/mpris.h"
#include "platform/audio/audible_drive.h"
#include "platform/audio/deferred_output.h"
#include "platform/cdaudio/cdio_drive.h"
#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/modules.h"
#include "platform/paths.h"
#include "platform/profile/profile.h"
#include "platform/qt/qt_window_system.h"
#include "runtime/errors.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

// The exclamation mark of the platform's message boxes.
constexpr char kExclamationIcon[] = "\xFF\x01\x04\x7F";

constexpr const char* kUsage =
    "Usage: vantora [OPTION]... [FILE]...\n"
    "A small audio CD player.\n"
    "\n"
    "Each FILE goes into the virtual drive as a disc, shown at once and, with\n"
    "AutoPlay, played: a CUE sheet (over WAV or FLAC files, or over a BIN image),\n"
    "a sound file (a disc of one track, or of the tracks its own cue points mark),\n"
    "several sound files (a disc of them, in order), or a disc description.\n"
    "\n"
    "  --drive DIR        use the virtual drive in DIR, a folder that exists (default:\n"
    "                     $VANTORA_DRIVE, else the machine's CD drive if it has one\n"
    "                     and no FILE is given, else the data directory's\n"
    "                     vantora/drive, created with a demo disc)\n"
    "  --device PATH      use the CD drive PATH (such as /dev/sr0), or a CD image\n"
    "                     that libcdio reads (a BIN/CUE sheet, TOC or NRG file)\n"
    "  --trace FILE       append every device command, its error and reply to FILE\n"
    "  --audio-out FILE   record what the disc plays to FILE, a WAV file, instead of\n"
    "                     playing it on the desktop's sound output\n"
    "  --screenshot FILE  save a PNG of the player once it has settled, then close it\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -display, -style and the rest) work as Qt documents.\n"
    "Settings live in ZQ_CD.INI in $VANTORA_CONFIG_DIR, else $XDG_CONFIG_HOME/vantora,\n"
    "else ~/.config/vantora.\n";

struct Options {
  std::optional<std::filesystem::path> drive;
  std::optional<std::filesystem::path> device;
  std::optional<std::filesystem::path> trace;
  std::optional<std::filesystem::path> audioOut;
  std::optional<std::string> screenshot;
  std::vector<std::filesystem::path> files;  // the disc to put in
  bool qtPlatform = false;                   // -platform names where the windows go
};

// How often the sound under the play head goes to the output: little enough that the output
// holds well under 0.1 s.
constexpr std::chrono::milliseconds kPumpPeriod{20};

// The options QApplication takes off the command line itself: those with a value, then flags.
constexpr const char* kQtValueOptions[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "title",         "name",
    "style",           "stylesheet"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

std::string Local(const QString& text) {
  return text.toLocal8Bit().toStdString();
}

// Parses the command line; on a bad argument prints why and returns nullopt with `exitCode` set.
std::optional<Options> ParseOptions(int argc, char** argv, int& exitCode) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    arguments.append(QString::fromLocal8Bit(argv[i]));
  }
  QCommandLineParser parser;
  // "-platform offscreen" is Qt's form; "--drive=DIR" and "--drive DIR" are ours.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({"h", "help"}, {});
  const QCommandLineOption version("version", {});
  const QCommandLineOption drive("drive", {}, "DIR");
  const QCommandLineOption device("device", {}, "PATH");
  const QCommandLineOption trace("trace", {}, "FILE");
  const QCommandLineOption audioOut("audio-out", {}, "FILE");
  const QCommandLineOption screenshot("screenshot", {}, "FILE");
  parser.addOptions({help, version, drive, device, trace, audioOut, screenshot});
  for (const char* name : kQtValueOptions) {
    parser.addOption(QCommandLineOption(name, {}, "VALUE"));
  }
  for (const char* name : kQtFlags) {
    parser.addOption(QCommandLineOption(name));
  }
  auto refuse = [&exitCode](const std::string& why) {
    std::fprintf(stderr, "vantora: %s (try --help)\n", why.c_str());
    exitCode = 1;
    return std::nullopt;
  };
  if (!parser.parse(arguments)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
      const std::string name = Local(unknown.front());
      return refuse("unknown option '" + std::string(name.size() == 1 ? "-" : "--") + name + "'");
    }
    return refuse(Local(parser.errorText()));
  }
  if (parser.isSet(help)) {
    std::fputs(kUsage, stdout);
    exitCode = 0;
    return std::nullopt;
  }
  if (parser.isSet(version)) {
    std::printf("vantora %s\n", VANTORA_VERSION);
    exitCode = 0;
    return std::nullopt;
  }
  Options options;
  for (const auto& [option, place] :
       {std::pair{&drive, &options.drive}, std::pair{&device, &options.device},
        std::pair{&trace, &options.trace}, std::pair{&audioOut, &options.audioOut}}) {
    if (parser.isSet(*option)) {
      const std::string value = Local(parser.value(*option));
      if (value.empty()) {
        return refuse("option '--" + Local(option->names().front()) + "' needs a value");
      }
      *place = value;
    }
  }
  if (parser.isSet(screenshot)) {
    options.screenshot = Local(parser.value(screenshot));
    if (options.screenshot->empty()) {
      return refuse("option '--screenshot' needs a value");
    }
  }
  options.qtPlatform = parser.isSet("platform");
  for (const QString& file : parser.positionalArguments()) {
    options.files.emplace_back(Local(file));
  }
  if (options.drive && options.device) {
    return refuse("'--drive' and '--device' each name the drive; give one");
  }
  if (options.device && !options.files.empty()) {
    return refuse("a FILE goes into the virtual drive, which '--device' replaces; give one");
  }
  return options;
}

// The disc that the files on the command line, or dropped on the window, make: one CUE sheet,
// disc description or sound file, or several sound files as the tracks of one disc.
platform::cdaudio::DiscReading ReadDisc(const std::vector<std::filesystem::path>& files) {
  namespace cdaudio = platform::cdaudio;
  if (files.size() == 1) {
    return cdaudio::ReadDiscImage(files.front());
  }
  for (const std::filesystem::path& file : files) {
    if (!cdaudio::IsSoundFileName(file)) {
      return cdaudio::DiscReading{std::nullopt,
                                  file.string() +
                                      ": not a sound file; give one CUE sheet, or sound files "
                                      "to play as the tracks of one disc"};
    }
  }
  return cdaudio::ReadSoundFilesDisc(files);
}

// Puts the disc the files make into the virtual drive in `directory`, as a hand would; the reason
// when it cannot.
std::string PutInDisc(const std::filesystem::path& directory,
                      const std::vector<std::filesystem::path>& files) {
  namespace cdaudio = platform::cdaudio;
  cdaudio::DiscReading reading = ReadDisc(files);
  if (!reading.disc) {
    return reading.error;
  }
  cdaudio::VirtualDrive hand(directory, cdaudio::MissingDrive::Absent);
  if (const cdaudio::DriveStatus status =
          hand.Insert(std::move(*reading.disc), cdaudio::VirtualDrive::Arrival::Ready);
      !status.ok()) {
    return "the disc could not go into the drive: " + status.detail;
  }
  return {};
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
  // The desktop's output, its sound server and libraries, come with the first sound.
  output = platform::audio::OpenDeferredOutput(
      [](std::string* reason) -> std::unique_ptr<platform::audio::SoundOutput> {
        using Open = platform::audio::SoundOutput* (*)(std::string*);
        auto* open = reinterpret_cast<Open>(
            platform::ModuleEntry("sound", "vantora_open_desktop_output", reason));
        return std::unique_ptr<platform::audio::SoundOutput>(open ? open(reason) : nullptr);
      },
      [](const std::string& reason) {
        std::fprintf(stderr, "vantora: %s, so playback is silent\n", reason.c_str());
      });
  return true;
}

// The drive the player uses: the one --device names; else the virtual drive that --drive or
// $VANTORA_DRIVE names; else, with no disc to put in, the machine's CD drive; else the default
// virtual drive, created with the demo disc when missing. The disc the files make goes in. What
// goes wrong is said on standard error and added to `problems` for the window.
std::unique_ptr<platform::cdaudio::CdDrive> OpenDrive(
    const Options& options, std::optional<std::filesystem::path>& virtualDrive,
    std::vector<std::string>& problems) {
  namespace cdaudio = platform::cdaudio;
  auto problem = [&problems](const std::string& text) {
    std::fprintf(stderr, "vantora: %s\n", text.c_str());
    problems.push_back(text);
  };
  std::optional<std::filesystem::path> device = options.device;
  const char* named = std::getenv("VANTORA_DRIVE");
  if (!device && !options.drive && (named == nullptr || *named == '\0') && options.files.empty()) {
    device = cdaudio::FindCdDrive();
  }
  if (device) {
    auto drive = std::make_unique<cdaudio::CdioDrive>(*device);
    if (const cdaudio::DriveStatus status = drive->Connected(); !status.ok()) {
      // The player still starts: the device reports the drive as unavailable.
      problem("device '" + device->string() + "': " + status.detail);
    }
    return drive;
  }
  const std::filesystem::path dir = options.drive.value_or(cdaudio::DefaultDriveDirectory());
  // A named drive that is not there is no drive at all, never a new empty one.
  const cdaudio::DriveStatus status =
      options.drive ? cdaudio::EnsureNamedDrive(dir) : cdaudio::EnsureDefaultDrive(dir);
  if (!status.ok()) {
    // The player still starts: the device reports the drive as unavailable.
    problem("The virtual drive cannot be used: " + status.detail);
  } else {
    virtualDrive = dir;
    if (!options.files.empty()) {
      if (const std::string why = PutInDisc(dir, options.files); !why.empty()) {
        problem(why);
      }
    }
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
bool SetUpDevice(const Options& options, std::unique_ptr<platform::audio::SoundOutput> output,
                 std::optional<std::filesystem::path>& virtualDrive,
                 std::vector<std::string>& problems) {
  std::unique_ptr<platform::cdaudio::CdDrive> drive = OpenDrive(options, virtualDrive, problems);
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

// A box that says what went wrong.
platform::MessageBoxSpec ProblemBox(std::vector<std::string> problems) {
  platform::MessageBoxSpec spec;
  spec.caption = "Vantora";
  spec.lines = std::move(problems);
  spec.icon = kExclamationIcon;
  return spec;
}

// Files opened while a player runs on the drive they would go into (a file manager's "Open With"
// with the player open) go to that player, which shows the disc as it would one put in by hand.
// The exit code when they went, or were refused there, and this process has nothing more to do.
std::optional<int> HandOver(platform::qt::QtWindowSystem& windows, const Options& options) {
  namespace cdaudio = platform::cdaudio;
  if (options.files.empty() || options.trace || options.audioOut || options.screenshot) {
    return std::nullopt;
  }
  const std::filesystem::path dir = options.drive.value_or(cdaudio::DefaultDriveDirectory());
  cdaudio::VirtualDrive drive(dir, cdaudio::MissingDrive::Absent);
  if (!drive.Present().ok() || !drive.HeldElsewhere()) {
    return std::nullopt;
  }
  if (const std::string why = PutInDisc(dir, options.files); !why.empty()) {
    std::fprintf(stderr, "vantora: %s\n", why.c_str());
    windows.MessageBox(0, ProblemBox({why}));
    return 1;
  }
  desktop::Mpris::RaiseRunning();
  std::puts("vantora: the disc went into the drive of the player already running");
  return 0;
}

// Tells the user, over the window, what went wrong where the window cannot say it.
void ShowProblem(platform::qt::QtWindowSystem& windows, uintptr_t window,
                 const std::vector<std::string>& problems) {
  windows.ShowNotice(window, ProblemBox(problems));
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
  if (!HaveDisplay() && !options->qtPlatform) {
    std::fputs(
        "vantora: no display to show the player on (DISPLAY and WAYLAND_DISPLAY are unset).\n"
        "Start it from a desktop session, or run scripts/run.sh to see it on a virtual display.\n",
        stderr);
    return 1;
  }
  platform::qt::QtWindowSystem windows(argc, argv);
  if (const std::optional<int> handed = HandOver(windows, *options)) {
    return *handed;
  }
  std::unique_ptr<platform::audio::SoundOutput> output;
  if (!OpenSound(*options, output)) {
    return 1;
  }
  // The device owns the output from here on, and outlives the player's window.
  if (platform::audio::SoundOutput* sound = output.get()) {
    SetVolumeHook([sound](int32_t percent) { sound->SetVolume(percent / 100.0); });
  }
  std::optional<std::filesystem::path> virtualDrive;
  std::vector<std::string> problems;
  if (!SetUpDevice(*options, std::move(output), virtualDrive, problems)) {
    SetVolumeHook(nullptr);
    return 1;
  }
  if (!problems.empty()) {
    // Once the window manager has placed the window, so that the box comes over it.
    windows.AfterFirstShow(
        500, [&windows, problems](uintptr_t window) { ShowProblem(windows, window, problems); });
  }
  // A file dropped on the window goes into the virtual drive as the command line's would.
  windows.SetFileDropHandler(
      [&windows, virtualDrive](uintptr_t window, std::vector<std::filesystem::path> files) {
        std::string why;
        if (!virtualDrive) {
          why = "Files play in the virtual drive, and this player uses another drive.";
        } else {
          why = PutInDisc(*virtualDrive, files);
        }
        if (!why.empty()) {
          std::fprintf(stderr, "vantora: %s\n", why.c_str());
          ShowProblem(windows, window, {why});
        }
      });
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

  // Names for unknown discs, looked up once the user has turned it on; the answer arrives while
  // the player waits for input and is taken at its next tick.
  std::unique_ptr<desktop::LoadedTitleLookup> lookup;
  app::SetTitleLookupHook([&lookup](std::function<void(app::LookupAnswer)> done) {
    const auto toc = platform::InstalledCommandDevice().Drive().ReadToc();
    if (!lookup) {
      std::string why;
      lookup = desktop::LoadedTitleLookup::Start(&why);
      if (!lookup) {
        std::fprintf(stderr, "vantora: names cannot be looked up: %s\n", why.c_str());
      }
    }
    if (!toc.ok() || !lookup) {
      done({});
      return;
    }
    lookup->Ask(toc.value, [toc = toc.value, done](desktop::LookupResult result) {
      if (!result.names) {
        std::fprintf(stderr, "vantora: no names found online: %s\n", result.why.c_str());
        done({std::nullopt, result.unknown});
        return;
      }
      // One name a track: the look-up names the audio tracks only.
      app::FoundNames names{result.names->album, result.names->artist, {}};
      size_t next = 0;
      for (int32_t t = 1; t <= toc.TrackCount(); ++t) {
        const bool audio =
            toc.Kind(platform::cdaudio::TrackNumber{t}) == platform::cdaudio::TrackKind::Audio;
        names.tracks.push_back(audio && next < result.names->tracks.size()
                                   ? result.names->tracks[next++]
                                   : std::string());
      }
      done({std::move(names), false});
    });
  });
  app::SetDiscIdentityHook([] {
    const auto toc = platform::InstalledCommandDevice().Drive().ReadToc();
    if (!toc.ok()) {
      return app::DiscIdentity{};
    }
    return app::DiscIdentity{desktop::MusicBrainzDiscId(toc.value),
                             desktop::SubmissionUrl(toc.value)};
  });
  app::SetOpenLinkHook(
      [](const std::string& url) { QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); });
  // Media keys reach the player through the session bus while it runs; the bus comes once the
  // window shows, since the first frame does not need it.
  std::unique_ptr<desktop::Mpris> mpris;
  windows.AfterFirstShow(100, [&mpris](uintptr_t) { mpris = desktop::Mpris::Start(); });
  const bool ran = CDPLAYER();
  if (!ran) {
    std::fprintf(stderr, "vantora: the main window could not be created: %.*s\n",
                 static_cast<int>(runtime::WindowCreateError().size()),
                 runtime::WindowCreateError().data());
  }
  app::SetTitleLookupHook(nullptr);
  app::SetDiscIdentityHook(nullptr);
  app::SetOpenLinkHook(nullptr);
  lookup.reset();
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
