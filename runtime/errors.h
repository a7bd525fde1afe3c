// SPDX-License-Identifier: GPL-3.0-or-later
// The runtime's error reporting: the last-error number for soft failures and the one path for
// fatal runtime errors.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vantora::runtime {

// Last-error numbers of the runtime's string table.
inline constexpr int32_t kErrMemoryCorrupted = 7;
inline constexpr int32_t kErrInsufficientMemory = 8;
inline constexpr int32_t kErrEntryNotFound = 30;

// Fatal runtime error numbers.
inline constexpr int32_t kFatalInternal = 501;
inline constexpr int32_t kFatalUnableToOpenWindow = 529;
inline constexpr int32_t kFatalWindowNotOpen = 536;
inline constexpr int32_t kFatalAcceptNeedsWindow = 537;

// The exit code of a program ended by a fatal runtime error.
inline constexpr int kFatalExitCode = 2;

// The runtime's last-error number: 0 after a successful operation.
int32_t LastError();
void SetLastError(int32_t number);

// The runtime string table's text for an error number ("Entry Not Found"); "" when unknown.
std::string_view ErrorText(int32_t number);

// The message a fatal error shows: the error's text, then " : " and the detail when there is one.
std::string FatalMessage(int32_t number, std::string_view detail);

// Shows a fatal error under the caption "Runtime error" and ends the program with exit code 2.
[[noreturn]] void FatalError(int32_t number, std::string_view detail = {});

// How a fatal error is shown before the program ends. The window system installs a message box;
// until then, and when none is installed, the message goes to standard error. Returns the
// previous presenter.
using FatalPresenter = std::function<void(std::string_view caption, std::string_view message)>;
FatalPresenter SetFatalPresenter(FatalPresenter presenter);

}  // namespace vantora::runtime
