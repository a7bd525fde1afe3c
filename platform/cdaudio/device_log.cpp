// SPDX-License-Identifier: GPL-3.0-or-later
// The device log: every command string sent to the device, with its error number and reply.
#include "platform/cdaudio/device_log.h"

#include <cerrno>
#include <cstring>

namespace vantora::platform {
namespace {

void AppendEscaped(std::string& line, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\t':
        line += "\\t";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      case '\\':
        line += "\\\\";
        break;
      default:
        line += c;
    }
  }
}

}  // namespace

void DeviceLog::Record(std::string_view command, uint32_t error, std::string_view reply) {
  DeviceLogEntry entry{std::string(command), error, std::string(reply)};
  if (file_) {
    const std::string line = FormatLine(entry) + "\n";
    // Flushed at once so that a trace survives a crash of the program.
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
  }
  if (entries_.size() == kKeptEntries) {
    entries_.pop_front();
    ++dropped_;
  }
  entries_.push_back(std::move(entry));
}

void DeviceLog::Clear() {
  entries_.clear();
  dropped_ = 0;
}

bool DeviceLog::AppendTo(const std::filesystem::path& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "ae");
  if (file == nullptr) {
    if (error != nullptr) {
      *error = path.string() + ": " + std::strerror(errno);
    }
    return false;
  }
  file_.reset(file);
  return true;
}

std::string DeviceLog::FormatLine(const DeviceLogEntry& entry) {
  std::string line;
  AppendEscaped(line, entry.command);
  line += '\t';
  line += std::to_string(entry.error);
  line += '\t';
  AppendEscaped(line, entry.reply);
  return line;
}

}  // namespace vantora::platform
