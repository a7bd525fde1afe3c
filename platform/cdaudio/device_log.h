// SPDX-License-Identifier: GPL-3.0-or-later
// The device log: every command string sent to the device, with its error number and reply.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace vantora::platform {

struct DeviceLogEntry {
  std::string command;
  uint32_t error = 0;
  std::string reply;

  bool operator==(const DeviceLogEntry&) const = default;
};

// Keeps the latest entries in memory (for tests to assert on) and can append each one as a line
// to a file (for users who want a trace).
class DeviceLog {
 public:
  // The player polls twice a second for hours; memory keeps only the latest this many.
  static constexpr size_t kKeptEntries = 100000;

  void Record(std::string_view command, uint32_t error, std::string_view reply);

  const std::deque<DeviceLogEntry>& Entries() const { return entries_; }
  // Entries that fell out of memory because there were more than kKeptEntries.
  uint64_t Dropped() const { return dropped_; }
  void Clear();

  // Appends every later entry to `path`, created if missing. On failure says why in `error` and
  // keeps the file it had.
  bool AppendTo(const std::filesystem::path& path, std::string* error = nullptr);
  void StopAppending() { file_.reset(); }

  // One line of the file, without its newline: command, error number and reply, separated by
  // tabs. A tab, newline, carriage return or backslash inside a text is written as \t, \n, \r or
  // \\, so that every entry stays one line.
  static std::string FormatLine(const DeviceLogEntry& entry);

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  std::deque<DeviceLogEntry> entries_;
  uint64_t dropped_ = 0;
  std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace vantora::platform
