// vantora-drive: the user's hand on the virtual drive, as a command line tool.
#include "platform/cdaudio/drive_tool.h"

#include <algorithm>
#include <iostream>
#include <iterator>

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
    "  insert FILE     put in the disc that FILE describes (a disc description, or a CUE sheet\n"
    "                  when FILE ends in .cue) and close the tray\n"
    "  insert --demo   put in the built-in demo disc of 12 tracks and close the tray\n"
    "  eject, remove   take the disc out (the tray stays as it is)\n"
    "  open, close     open or close the tray\n"
    "  unplug, plug    disconnect or connect the drive\n"
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
  out << "tray: " << (view.tray == Tray::Open ? "open" : "closed") << "\n";
  if (!state.disc) {
    out << "disc: none\n";
    return 0;
  }
  const Toc& toc = state.disc->toc;
  out << "disc: " << (state.disc->title.empty() ? "(untitled)" : state.disc->title) << ", "
      << toc.TrackCount() << " tracks, ends at " << FormatMsf(toc.LeadOut()) << "\n";
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
    } else if (arg == "--demo" || arg.empty() || arg[0] != '-' || arg == "-") {
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
  static const char* const kCommands[] = {"insert", "eject", "remove", "open", "close",
                                          "unplug", "plug",  "status", "reset"};
  if (std::find(std::begin(kCommands), std::end(kCommands), command) == std::end(kCommands)) {
    return Usage(err, "unknown command '" + command + "'");
  }
  const size_t wanted = command == "insert" ? 2 : 1;
  if (words.size() < wanted) {
    return Usage(err, "insert needs a disc description file or --demo");
  }
  if (words.size() > wanted) {
    return Usage(err, "unexpected argument '" + words[wanted] + "'");
  }
  // A drive directory that cannot be one is refused before anything else is tried.
  if (const DriveStatus present = drive.Present(); !present.ok()) {
    err << "vantora-drive: no drive there: " << present.detail << "\n";
    return 1;
  }
  if (command == "insert") {
    if (words[1] == "--demo") {
      return Report(drive.Insert(DemoDisc()), err);
    }
    DiscReading reading = ReadDiscFile(words[1]);
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
