// SPDX-License-Identifier: GPL-3.0-or-later
// The command-string device for `cdaudio`: our stand-in for the platform's mciSendStringA, driving
// any CdDrive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cdaudio/cd_drive.h"
#include "platform/cdaudio/device_log.h"

namespace vantora::platform {

// The platform's error numbers for command strings (0 is success).
inline constexpr uint32_t kMciErrUnrecognizedKeyword = 259;
inline constexpr uint32_t kMciErrUnrecognizedCommand = 261;
inline constexpr uint32_t kMciErrHardware = 262;
inline constexpr uint32_t kMciErrInvalidDeviceName = 263;
inline constexpr uint32_t kMciErrDeviceOpen = 265;
inline constexpr uint32_t kMciErrCannotLoadDriver = 266;
inline constexpr uint32_t kMciErrMissingCommandString = 267;
inline constexpr uint32_t kMciErrParamOverflow = 268;
inline constexpr uint32_t kMciErrBadInteger = 270;
inline constexpr uint32_t kMciErrDriverInternal = 272;
inline constexpr uint32_t kMciErrMissingParameter = 273;
inline constexpr uint32_t kMciErrUnsupportedFunction = 274;
inline constexpr uint32_t kMciErrDeviceNotReady = 276;
inline constexpr uint32_t kMciErrOutOfRange = 282;
inline constexpr uint32_t kMciErrFlagsNotCompatible = 284;
inline constexpr uint32_t kMciErrDuplicateAlias = 289;
inline constexpr uint32_t kMciErrMustUseShareable = 291;
inline constexpr uint32_t kMciErrMissingDeviceName = 292;
inline constexpr uint32_t kMciErrBadTimeFormat = 293;
inline constexpr uint32_t kMciErrNoClosingQuote = 294;
inline constexpr uint32_t kMciErrDuplicateFlags = 295;

// Interprets command strings for one drive and records each in its log. Commands name the device
// "cdaudio" or an alias given at open; a command for "cdaudio" while it is not open runs on a
// passing instance opened just for it. Commands return at once ("wait" and "notify" are accepted;
// there is no window to notify). A command the drive's injected failures name fails with their
// error number and does nothing.
class CommandDevice {
 public:
  explicit CommandDevice(std::unique_ptr<cdaudio::CdDrive> drive);

  // Carries out one command; returns the error number and sets `reply` ("" for actions and on
  // failure).
  uint32_t Send(std::string_view command, std::string& reply);

  // The platform's shape: empties `reply`, then writes at most replySize - 1 characters and a
  // terminator. A reply that does not fit is cut and the result is kMciErrParamOverflow.
  uint32_t SendString(const char* command, char* reply, uint32_t replySize, void* callback);

  // The names the disc now in the drive carries; empty names when there is none, or the drive
  // cannot say. Not a command: it leaves no line in the log.
  cdaudio::DiscNames DiscNames();

  DeviceLog& Log() { return log_; }
  cdaudio::CdDrive& Drive() { return *drive_; }

  enum class TimeFormat { Msf, Tmsf, Milliseconds };
  struct Session {
    std::string alias;  // lower case
    uint32_t id = 0;
    bool shareable = false;
    TimeFormat format = TimeFormat::Msf;
  };

 private:
  uint32_t Execute(std::string_view command, std::string& reply);

  std::unique_ptr<cdaudio::CdDrive> drive_;
  std::vector<Session> sessions_;
  DeviceLog log_;
};

// Whether `command` is a command string the device takes, as far as its words go: a known verb,
// the device cdaudio and keywords that verb takes. Says why not in `why`. A failure injected for
// such a command (see CdDrive::InjectedFailures) meets every command with the same verb and
// keywords, in any order and case, on cdaudio or an alias.
bool IsDeviceCommand(std::string_view command, std::string* why = nullptr);

// Whether two command strings the device takes ask the same of it, as injected failures match.
bool SameDeviceRequest(std::string_view a, std::string_view b);

// The process-wide device that mciSendStringA talks to. Until one is installed, the first use
// creates one on the virtual drive in DefaultDriveDirectory().
CommandDevice& InstalledCommandDevice();

// Installs `device` (nullptr: back to the default on first use); returns the one it replaces.
std::unique_ptr<CommandDevice> InstallCommandDevice(std::unique_ptr<CommandDevice> device);

// The command-string call of the platform, on the installed device.
uint32_t mciSendStringA(const char* command, char* reply, uint32_t replySize, void* callback);

}  // namespace vantora::platform
