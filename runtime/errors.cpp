// SPDX-License-Identifier: GPL-3.0-or-later
// Last error and fatal runtime errors.
#include "runtime/errors.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace vantora::runtime {
namespace {

int32_t g_lastError = 0;

void PrintToStderr(std::string_view caption, std::string_view message) {
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
}

FatalPresenter& Presenter() {
  static FatalPresenter presenter = PrintToStderr;
  return presenter;
}

}  // namespace

int32_t LastError() {
  return g_lastError;
}

void SetLastError(int32_t number) {
  g_lastError = number;
}

std::string_view ErrorText(int32_t number) {
  switch (number) {
    case kErrMemoryCorrupted:
      return "Memory Corrupted";
    case kErrInsufficientMemory:
      return "Insufficient Memory";
    case kErrEntryNotFound:
      return "Entry Not Found";
    case kFatalInternal:
      return "Internal error 01";
    case kFatalUnableToOpenWindow:
      return "Unable to open WINDOW";
    case kFatalWindowNotOpen:
      return "Window is not open";
    case kFatalAcceptNeedsWindow:
      return "ACCEPT loop requires a window";
    default:
      return "";
  }
}

std::string FatalMessage(int32_t number, std::string_view detail) {
  std::string message(ErrorText(number));
  if (message.empty()) {
    message = "Error " + std::to_string(number);
  }
  if (!detail.empty()) {
    message += " : ";
    message += detail;
  }
  return message;
}

void FatalError(int32_t number, std::string_view detail) {
  const std::string message = FatalMessage(number, detail);
  FatalPresenter& presenter = Presenter();
  if (presenter) {
    presenter("Runtime error", message);
  } else {
    PrintToStderr("Runtime error", message);
  }
  // exit, not abort: the profile store still writes back what the user saved.
  std::exit(kFatalExitCode);
}

FatalPresenter SetFatalPresenter(FatalPresenter presenter) {
  return std::exchange(Presenter(), std::move(presenter));
}

}  // namespace vantora::runtime
