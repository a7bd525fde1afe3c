// SPDX-License-Identifier: GPL-3.0-or-later
// vantora-drive: the user's hand on the virtual drive, as a command line tool.
#include "platform/cdaudio/drive_tool.h"

#include <algorithm>
#include <charconv>
#include <iostream>
#include <iterator>

#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/virtual_drive.h"

namespace vantora::platform::cdaudio {
namespace {

constexpr const char* kUsage =
    "Usage: vantora-drive [--drive DIR] COMMAND\n"
    "Acts on the virtual CD drive as a hand would; a running player sees the change on its next\n"
    "command.\n"
    "\n"
    "Commands:\n"
    "  insert FILE     put in the disc that FILE describes (a disc description, a CUE sheet\n"
    "                  when FILE ends in .cue, whose WAV, FLAC or BIN files the disc plays, or\n"
    "                  a sound file) and close the tray\n"
    "  insert --demo   put in the demo disc, five pieces of music made for it, and close the\n"
    "                  tray\n"
    "  insert --mixed  put in the demo disc's music behind a data track 1 (a mixed-mode disc)\n"
    "  insert --blank  put in a blank disc, which has no tracks\n"
    "  eject, remove   take the disc out (the tray stays as it is)\n"
    "  open, close     open or close the tray\n"
    "  unplug, plug    disconnect or connect the drive\n"
    "  can-eject no    make a drive whose tray commands cannot move (the hand still can);\n"
    "                  can-eject yes undoes it\n"
    "  fail COMMAND ERROR\n"
    "                  make the command string COMMAND fail with error number ERROR until\n"
    "                  cleared, e.g. fail \"status cdaudio mode\" 262 (keyword order and case\n"
    "                  do not matter)\n"
    "  fail --clear [COMMAND]\n"
    "                  let COMMAND work again; without COMMAND, every command\n"
    "  status          show the drive's state\n"
    "  reset           start over with an empty drive (a damaged state is kept as state.damaged)\n"
    "\n"
    "Options:\n"
    "  --drive DIR     the drive's directory, which must exist (default: $VANTORA_DRIVE, else\n"
    "                  $XDG_DATA_HOME/vantora/drive, else ~/.local/share/vantora/drive)\n"
    "  --help          show this text\n"
    "  --version       show the version\n";

int Usage(std::ostream& err, const std::string& problem) {
  err << "vantora-drive: " << problem << "\nTry 'vantora-drive --help'.\n";
  return 2;
}

int Report(const DriveStatus& status, std::ostream& err) {
  if (status.ok()) {
    return 0;
  }
  err << "vantora-drive: " << (status.detail.empty() ? "the drive refused" : status.detail) << "\n";
  return 1;
}

const char* HeadName(Head head) {
  switch (head) {
    case Head::Playing:
      return "playing";
    case Head::Paused:
      return "paused";
    case Head::Stopped:
      break;
  }
  return "stopped";
}

// Words that stand for options of a command, not for the tool.
bool IsCommandOption(const std::string& arg) {
  return arg == "--demo" || arg == "--mixed" || arg == "--blank" || arg == "--clear";
}

// Words [from, to) as one command string.
std::string Joined(const std::vector<std::string>& words, size_t from, size_t to) {
  std::string text;
  for (size_t i = from; i < to; ++i) {
    text += (text.empty() ? "" : " ") + words[i];
  }
  return text;
}

int Fail(VirtualDrive& drive, const std::vector<std::string>& words, std::ostream& err) {
  if (words.size() >= 2 && words[1] == "--clear") {
    const std::string command = Joined(words, 2, words.size());
    return Report(drive.ClearFailures([&command](const InjectedFailure& failure) {
      return command.empty() || SameDeviceRequest(failure.command, command);
    }),
                  err);
  }
  if (words.size() < 3) {
    return Usage(err, "fail needs a command string and an error number");
  }
  const std::string& number = words.back();
  uint32_t error = 0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), error);
  if (ec != std::errc() || end != number.data() + number.size() || error == 0) {
    return Usage(err, "error number '" + number + "' is not a number from 1 to 4294967295");
  }
  const std::string command = Joined(words, 1, words.size() - 1);
  std::string why;
  if (!IsDeviceCommand(command, &why)) {
    return Usage(err, why);
  }
  // One failure per request, whichever way it was written.
  const DriveStatus cleared = drive.ClearFailures([&command](const InjectedFailure& failure) {
    return SameDeviceRequest(failure.command, command);
  });
  return Report(cleared.ok() ? drive.InjectFailure(command, error) : cleared, err);
}

int Status(VirtualDrive& drive, std::ostream& out, std::ostream& err) {
  const StateReading reading = drive.Store().Read();
  out << "drive: " << drive.Store().Directory().string() << "\n";
  if (!reading.state) {
    err << "vantora-drive: the drive's state is damaged: " << reading.error
        << "\n(vantora-drive reset starts over)\n";
    return 1;
  }
  const DriveState& state = *reading.state;
  const Clock& clock = CurrentClock();
  const DriveView view = Observe(state, clock.Now(), clock.Domain());
  out << "connected: " << (view.plugged ? "yes" : "no") << "\n";
  out << "tray: " << (view.tray == Tray::Open ? "open" : "closed")
      << (state.canEject ? "" : " (commands cannot move it)") << "\n";
  for (const InjectedFailure& failure : state.failures) {
    out << "fails: \"" << failure.command << "\" with " << failure.error << "\n";
  }
  if (!state.disc) {
    out << "disc: none\n";
    return 0;
  }
  const Toc& toc = state.disc->toc;
  if (toc.TrackCount() == 0) {
    out << "disc: blank, no tracks\n";
    return 0;
  }
  std::string data;
  for (int32_t t = 1; t <= toc.TrackCount(); ++t) {
    if (toc.Kind(TrackNumber{t}) == TrackKind::Data) {
      data += (data.empty() ? " (data: " : ", ") + std::to_string(t);
    }
  }
  out << "disc: " << (state.disc->title.empty() ? "(untitled)" : state.disc->title) << ", "
      << toc.TrackCount() << " tracks" << (data.empty() ? "" : data + ")") << ", ends at "
      << FormatMsf(toc.LeadOut()) << "\n";
  if (!state.disc->artist.empty()) {
    out << "artist: " << state.disc->artist << "\n";
  }
  if (state.disc->sound) {
    for (const SoundSource& source : state.disc->sound->sources) {
      out << "sound: " << source.file
          << (source.format == SoundFormat::Detect ? "" : " (raw CD sectors)") << "\n";
    }
  }
  if (!view.Ready()) {
    out << "head: " << (view.spinningUp ? "spinning up" : "not ready") << "\n";
    return 0;
  }
  const TrackNumber track = toc.TrackAt(view.position);
  out << "head: " << HeadName(view.head) << ", track " << track.value << " at "
      << FormatMsf(view.position - toc.Start(track)) << " (" << FormatMsf(view.position) << ")";
  if (view.head == Head::Playing) {
    out << " until " << FormatMsf(view.playEnd);
  }
  out << "\n";
  return 0;
}

}  // namespace

int RunDriveTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::filesystem::path directory;
  MissingDrive missing = MissingDrive::Fresh;
  std::vector<std::string> words;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      out << kUsage;
      return 0;
    }
    if (arg == "--version") {
      out << "vantora-drive " << VANTORA_VERSION << "\n";
      return 0;
    }
    if (arg == "--drive") {
      if (i + 1 == args.size() || args[i + 1].empty()) {
        return Usage(err, "--drive needs a directory");
      }
      directory = args[++i];
      missing = MissingDrive::Absent;
    } else if (arg.rfind("--drive=", 0) == 0) {
      directory = arg.substr(8);
      missing = MissingDrive::Absent;
      if (directory.empty()) {
        return Usage(err, "--drive needs a directory");
      }
    } else if (IsCommandOption(arg) || arg.empty() || arg[0] != '-' || arg == "-" ||
               (!words.empty() && words[0] == "fail")) {
      words.push_back(arg);
    } else {
      return Usage(err, "unknown option '" + arg + "'");
    }
  }
  if (words.empty()) {
    return Usage(err, "no command given");
  }
  if (directory.empty()) {
    directory = DefaultDriveDirectory();
  }
  VirtualDrive drive(directory, missing);
  const std::string& command = words[0];
  static const char* const kCommands[] = {"insert", "eject",     "remove", "open",
                                          "close",  "unplug",    "plug",   "status",
                                          "reset",  "can-eject", "fail"};
  if (std::find(std::begin(kCommands), std::end(kCommands), command) == std::end(kCommands)) {
    return Usage(err, "unknown command '" + command + "'");
  }
  if (command != "fail") {
    const size_t wanted = command == "insert" || command == "can-eject" ? 2 : 1;
    if (words.size() < wanted) {
      return Usage(err, command == "insert"
                            ? "insert needs a disc description file, --demo, --mixed or --blank"
                            : "can-eject needs yes or no");
    }
    if (words.size() > wanted) {
      return Usage(err, "unexpected argument '" + words[wanted] + "'");
    }
    if (command == "can-eject" && words[1] != "yes" && words[1] != "no") {
      return Usage(err, "can-eject needs yes or no, not '" + words[1] + "'");
    }
  }
  // A drive directory that cannot be one is refused before anything else is tried.
  if (const DriveStatus present = drive.Present(); !present.ok()) {
    err << "vantora-drive: no drive there: " << present.detail << "\n";
    return 1;
  }
  if (command == "fail") {
    return Fail(drive, words, err);
  }
  if (command == "can-eject") {
    return Report(drive.SetCanEject(words[1] == "yes"), err);
  }
  if (command == "insert") {
    if (words[1] == "--demo") {
      return Report(drive.Insert(AudibleDemoDisc()), err);
    }
    if (words[1] == "--mixed") {
      return Report(drive.Insert(BehindDataTrack(AudibleDemoDisc())), err);
    }
    if (words[1] == "--blank") {
      return Report(drive.Insert(Disc{}), err);
    }
    DiscReading reading = ReadDiscImage(words[1]);
    if (!reading.disc) {
      err << "vantora-drive: " << reading.error << "\n";
      return 1;
    }
    return Report(drive.Insert(std::move(*reading.disc)), err);
  }
  if (command == "eject" || command == "remove") {
    return Report(drive.Remove(), err);
  }
  if (command == "open" || command == "close") {
    return Report(drive.MoveTray(command == "open" ? Tray::Open : Tray::Closed), err);
  }
  if (command == "unplug" || command == "plug") {
    return Report(drive.SetPlugged(command == "plug"), err);
  }
  if (command == "status") {
    return Status(drive, out, err);
  }
  return Report(drive.Reset(), err);
}

int DriveToolMain(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  return RunDriveTool(args, std::cout, std::cerr);
}

}  // namespace vantora::platform::cdaudio
