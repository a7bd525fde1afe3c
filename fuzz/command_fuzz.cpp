// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the command-string device: whole command lines against a virtual drive in a
// temporary directory, on a manual clock, with the user's hand on the drive in between. Every
// command must end in an error number the device knows (or one the hand injected) or in a reply
// that fits its buffer, NUL-terminated inside it; a failure injected for a command must meet that
// command; and after any sequence the device must still answer "status cdaudio mode".
//
// Each line of the input is a command string, sent as it is, unless it starts with "@":
//   @t MS   the clock moves on MS milliseconds     @b N   replies go into buffers of N bytes
//   @0      a null command                          @n CMD CMD with no reply buffer at all
//   @i      the demo disc goes in; @j the mixed-mode demo; @k a blank disc; @D TEXT a disc
//           described by TEXT (escapes as in fuzz_support.h)
//   @r      the disc comes out   @o / @c the tray is pushed open / shut   @u / @p unplug / plug
//   @e / @E the drive cannot / can move its tray by command
//   @f ERR CMD  CMD is to fail with ERR    @F  every failure is cleared   @R  the drive is reset
//   @x      the state file is damaged      @G  the drive's directory is removed
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/clock.h"

namespace {

namespace fz = vantora::fuzz;
namespace cd = vantora::platform::cdaudio;
using vantora::platform::ClockTime;
using vantora::platform::CommandDevice;

constexpr size_t kMostSteps = 200;
constexpr uint32_t kMostBuffer = 1024;
constexpr size_t kLongestReply = 64;

constexpr std::array<uint32_t, 21> kDeviceErrors = {vantora::platform::kMciErrUnrecognizedKeyword,
                                                    vantora::platform::kMciErrUnrecognizedCommand,
                                                    vantora::platform::kMciErrHardware,
                                                    vantora::platform::kMciErrInvalidDeviceName,
                                                    vantora::platform::kMciErrDeviceOpen,
                                                    vantora::platform::kMciErrCannotLoadDriver,
                                                    vantora::platform::kMciErrMissingCommandString,
                                                    vantora::platform::kMciErrParamOverflow,
                                                    vantora::platform::kMciErrBadInteger,
                                                    vantora::platform::kMciErrDriverInternal,
                                                    vantora::platform::kMciErrMissingParameter,
                                                    vantora::platform::kMciErrUnsupportedFunction,
                                                    vantora::platform::kMciErrDeviceNotReady,
                                                    vantora::platform::kMciErrOutOfRange,
                                                    vantora::platform::kMciErrFlagsNotCompatible,
                                                    vantora::platform::kMciErrDuplicateAlias,
                                                    vantora::platform::kMciErrMustUseShareable,
                                                    vantora::platform::kMciErrMissingDeviceName,
                                                    vantora::platform::kMciErrBadTimeFormat,
                                                    vantora::platform::kMciErrNoClosingQuote,
                                                    vantora::platform::kMciErrDuplicateFlags};

constexpr std::array<std::string_view, 5> kModes = {"not ready", "open", "stopped", "playing",
                                                    "seeking"};

// The words of a command in lower case, without "wait" and "notify"; none when a quote makes
// the words harder to tell apart.
std::vector<std::string> Words(std::string_view command) {
  std::vector<std::string> words;
  if (command.find('"') != std::string_view::npos) {
    return words;
  }
  for (size_t at = 0; (at = command.find_first_not_of(" \t\r\n", at)) != std::string_view::npos;) {
    const size_t end = std::min(command.find_first_of(" \t\r\n", at), command.size());
    std::string word(command.substr(at, end - at));
    std::transform(word.begin(), word.end(), word.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    if (word != "wait" && word != "notify") {
      words.push_back(std::move(word));
    }
    at = end;
  }
  return words;
}

// What "status ... mode" says of the drive's mode.
std::string_view ModeName(const cd::DriveResult<cd::DriveMode>& mode) {
  if (mode.error == cd::DriveError::Unplugged) {
    return "not ready";
  }
  switch (mode.value) {
    case cd::DriveMode::NotReady:
      return "not ready";
    case cd::DriveMode::Open:
      return "open";
    case cd::DriveMode::Playing:
      return "playing";
    case cd::DriveMode::Seeking:
      return "seeking";
    case cd::DriveMode::Stopped:
    case cd::DriveMode::Paused:
      break;
  }
  return "stopped";
}

class Run {
 public:
  Run()
      : directory_(fz::ProcessDirectory() / "drive"),
        hand_(directory_),
        device_(std::make_unique<cd::VirtualDrive>(directory_)) {
    fz::Expect(hand_.Reset().ok(), "a fresh drive can be made");
    fz::Expect(hand_.Insert(cd::DemoDisc()).ok(), "the demo disc goes in");
    clock_.Advance(cd::kSpinUpTime);
  }

  void Step(std::string_view line) {
    if (line.empty() || line.front() != '@') {
      Send(std::string(line), true);
      return;
    }
    const char op = line.size() > 1 ? line[1] : ' ';
    std::string_view rest = line.substr(std::min<size_t>(line.size(), 2));
    if (!rest.empty() && rest.front() == ' ') {
      rest.remove_prefix(1);
    }
    switch (op) {
      case 't':
        clock_.Advance(ClockTime{fz::ReadNumber(rest, 1000)});
        break;
      case 'b':
        bufferSize_ =
            std::min<uint32_t>(static_cast<uint32_t>(fz::ReadNumber(rest, 128)), kMostBuffer);
        break;
      case '0':
        SendNull();
        break;
      case 'n':
        Send(std::string(rest), false);
        break;
      case 'i':
        Hand(hand_.Insert(cd::DemoDisc()));
        break;
      case 'j':
        Hand(hand_.Insert(cd::MixedModeDemoDisc()));
        break;
      case 'k':
        Hand(hand_.Insert(cd::Disc{}));
        break;
      case 'D':
        if (const cd::DiscReading reading = cd::ParseDiscDescription(fz::Unescape(rest));
            reading.disc) {
          Hand(hand_.Insert(*reading.disc));
        }
        break;
      case 'r':
        Hand(hand_.Remove());
        break;
      case 'o':
        Hand(hand_.MoveTray(cd::Tray::Open));
        break;
      case 'c':
        Hand(hand_.MoveTray(cd::Tray::Closed));
        break;
      case 'u':
        Hand(hand_.SetPlugged(false));
        break;
      case 'p':
        Hand(hand_.SetPlugged(true));
        break;
      case 'e':
        Hand(hand_.SetCanEject(false));
        break;
      case 'E':
        Hand(hand_.SetCanEject(true));
        break;
      case 'f':
        Inject(rest);
        break;
      case 'F':
        Hand(hand_.ClearFailures([](const cd::InjectedFailure&) { return true; }));
        break;
      case 'R':
        fz::Expect(hand_.Reset().ok(), "the drive can always be reset");
        damaged_ = false;
        break;
      case 'x':
        std::filesystem::create_directories(directory_);
        fz::WriteFile(directory_ / "state", "vantora-drive 1\ntray sideways\n");
        damaged_ = true;
        break;
      case 'G': {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        damaged_ = false;
        break;
      }
      default:
        break;
    }
  }

  // The device answers its most common question after whatever came before, and again on a
  // fresh drive.
  void Finish() {
    Hand(hand_.ClearFailures([](const cd::InjectedFailure&) { return true; }));
    bufferSize_ = kMostBuffer;
    if (!damaged_) {
      // Without an open session an unplugged drive cannot be opened for the question.
      const Answer mode = Send("status cdaudio mode", true);
      const bool unplugged = hand_.Connected().error == cd::DriveError::Unplugged;
      fz::Expect((mode.error == 0 &&
                  std::find(kModes.begin(), kModes.end(), mode.reply) != kModes.end()) ||
                     (unplugged && mode.error == vantora::platform::kMciErrCannotLoadDriver),
                 "\"status cdaudio mode\" answers with a mode",
                 std::to_string(mode.error) + " '" + mode.reply + "'");
    }
    fz::Expect(hand_.Reset().ok(), "the drive can always be reset");
    damaged_ = false;
    const Answer mode = Send("status cdaudio mode", true);
    fz::Expect(mode.error == 0 && mode.reply == "not ready", "a fresh, empty drive is not ready",
               std::to_string(mode.error) + " " + mode.reply);
    fz::Expect(Send("close all", true).error == 0, "\"close all\" always works");
    const Answer open = Send("open cdaudio shareable alias cd", true);
    fz::Expect(open.error == 0 && open.reply == "1", "the device opens again after \"close all\"",
               std::to_string(open.error) + " " + open.reply);
  }

 private:
  struct Answer {
    uint32_t error = 0;
    std::string reply;
  };

  // The hand's actions may fail (an unplugged drive, a damaged state), but never crash.
  static void Hand(const cd::DriveStatus&) {}

  void Inject(std::string_view rest) {
    const size_t blank = rest.find(' ');
    const uint32_t error = static_cast<uint32_t>(fz::ReadNumber(rest, 0));
    const std::string command(blank == std::string_view::npos ? "" : rest.substr(blank + 1));
    if (!hand_.InjectFailure(command, error).ok()) {
      return;
    }
    // The drive keeps the command's words, with blanks and control characters as one blank; a
    // command they leave as it was must meet its failure.
    const bool plain = command.find('"') == std::string::npos &&
                       command.find("  ") == std::string::npos &&
                       std::none_of(command.begin(), command.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < ' '; });
    if (plain && vantora::platform::IsDeviceCommand(command)) {
      const Answer answer = Send(command, true);
      fz::Expect(answer.error == InjectedErrorFor(command),
                 "a command a failure was injected for fails with its error",
                 command + ": " + std::to_string(answer.error));
    }
  }

  // The error of the first injected failure that asks what `command` asks; 0 when none does.
  uint32_t InjectedErrorFor(std::string_view command) {
    for (const cd::InjectedFailure& failure : hand_.InjectedFailures()) {
      if (failure.error != 0 && vantora::platform::SameDeviceRequest(failure.command, command)) {
        return failure.error;
      }
    }
    return 0;
  }

  bool KnownError(uint32_t error) {
    if (std::find(kDeviceErrors.begin(), kDeviceErrors.end(), error) != kDeviceErrors.end()) {
      return true;
    }
    const auto failures = hand_.InjectedFailures();
    return std::any_of(failures.begin(), failures.end(),
                       [error](const cd::InjectedFailure& f) { return f.error == error; });
  }

  void SendNull() {
    auto buffer = std::make_unique<char[]>(bufferSize_);
    const uint32_t error = device_.SendString(nullptr, buffer.get(), bufferSize_, nullptr);
    fz::Expect(error == vantora::platform::kMciErrMissingCommandString,
               "a null command is a missing command string");
    fz::Expect(bufferSize_ == 0 || buffer[0] == '\0', "a null command leaves an empty reply");
  }

  Answer Send(const std::string& line, bool withBuffer) {
    const uint32_t size = withBuffer ? bufferSize_ : 0;
    // Exactly `size` bytes: the sanitizer sees any write past them.
    auto buffer = std::make_unique<char[]>(size);
    std::fill_n(buffer.get(), size, '\x55');
    // Without a buffer the size still says how much there would be.
    const uint32_t error =
        device_.SendString(line.c_str(), withBuffer ? buffer.get() : nullptr, bufferSize_, nullptr);
    const std::string command(line.c_str());  // what a C caller sent

    fz::Expect(KnownError(error) || error == 0, "every error number is one the device knows",
               command + ": " + std::to_string(error));
    const auto& entries = device_.Log().Entries();
    fz::Expect(
        !entries.empty() && entries.back().command == command && entries.back().error == error,
        "every command is logged with its error", command);
    const std::string& full = entries.back().reply;
    fz::Expect(
        full.size() <= kLongestReply &&
            std::all_of(full.begin(), full.end(), [](char c) { return c >= 0x20 && c < 0x7F; }),
        "a reply is a short line of printable text", full);

    std::string reply;
    if (size > 0) {
      const auto* end = std::find(buffer.get(), buffer.get() + size, '\0');
      fz::Expect(end != buffer.get() + size, "a reply is NUL-terminated inside its buffer",
                 command);
      reply.assign(static_cast<const char*>(buffer.get()), end);
    }
    const bool overflow = error == vantora::platform::kMciErrParamOverflow && !full.empty();
    if (overflow) {
      fz::Expect(size > 0 && full.size() >= size && reply == full.substr(0, size - 1),
                 "a reply too long for its buffer is cut to it", command);
    } else if (error != 0) {
      fz::Expect(full.empty() && reply.empty(), "a failed command has no reply", command);
    } else {
      fz::Expect(size == 0 || reply == full, "a reply that fits is given whole", command);
      CheckShape(command, full);
    }
    return Answer{error, reply};
  }

  // Actions answer nothing; questions always answer something, and the mode is the one the
  // user's hand sees at the same moment.
  void CheckShape(std::string_view command, std::string_view reply) {
    const std::vector<std::string> words = Words(command);
    const std::string verb = words.empty() ? std::string() : words.front();
    if (words.size() == 3 && verb == "status" && words[2] == "mode") {
      const auto mode = hand_.Mode();
      fz::Expect((mode.ok() || mode.error == cd::DriveError::Unplugged) && reply == ModeName(mode),
                 "the mode a command reads is the drive's", std::string(reply));
    }
    if (verb == "play" || verb == "pause" || verb == "stop" || verb == "seek" || verb == "close" ||
        verb == "set") {
      fz::Expect(reply.empty(), "an action has no reply", command);
    } else if (verb == "status" || verb == "capability") {
      fz::Expect(!reply.empty(), "a question has an answer", command);
    } else if (verb == "open") {
      fz::Expect(!reply.empty() && reply.find_first_not_of("0123456789") == std::string::npos &&
                     reply != "0",
                 "an open answers with the device's id", reply);
    }
  }

  std::filesystem::path directory_;
  vantora::platform::ManualClock clock_{ClockTime{0}};
  vantora::platform::ScopedClock scoped_{clock_};
  // The user's hand: another view of the same drive directory, as vantora-drive would have.
  cd::VirtualDrive hand_;
  CommandDevice device_;
  uint32_t bufferSize_ = 128;
  bool damaged_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run run;
  size_t steps = 0;
  for (const std::string_view line :
       fz::Lines(std::string_view(reinterpret_cast<const char*>(data), size))) {
    if (++steps > kMostSteps) {
      break;
    }
    run.Step(line);
  }
  run.Finish();
  return 0;
}
