// SPDX-License-Identifier: GPL-3.0-or-later
// Last error and the fatal runtime error path.
#include "runtime/errors.h"

#include <gtest/gtest.h>

namespace vantora::runtime {
namespace {

TEST(Errors, StringTableTexts) {
  EXPECT_EQ(ErrorText(kErrMemoryCorrupted), "Memory Corrupted");
  EXPECT_EQ(ErrorText(kErrInsufficientMemory), "Insufficient Memory");
  EXPECT_EQ(ErrorText(kErrEntryNotFound), "Entry Not Found");
  EXPECT_EQ(ErrorText(12345), "");
}

TEST(Errors, FatalMessageJoinsTextAndDetail) {
  EXPECT_EQ(FatalMessage(501, "Out of memory in QVKARRAY!"),
            "Internal error 01 : Out of memory in QVKARRAY!");
  EXPECT_EQ(FatalMessage(536, ""), "Window is not open");
  EXPECT_EQ(FatalMessage(999, ""), "Error 999");
}

TEST(ErrorsDeathTest, FatalErrorShowsRuntimeErrorAndExitsWithCode2) {
  EXPECT_EXIT(FatalError(kFatalAcceptNeedsWindow), testing::ExitedWithCode(2),
              "Runtime error: ACCEPT loop requires a window");
}

TEST(ErrorsDeathTest, FatalErrorUsesInstalledPresenter) {
  EXPECT_EXIT(
      {
        SetFatalPresenter([](std::string_view caption, std::string_view message) {
          std::fprintf(stderr, "[%.*s|%.*s]", static_cast<int>(caption.size()), caption.data(),
                       static_cast<int>(message.size()), message.data());
        });
        FatalError(kFatalInternal, "detail");
      },
      testing::ExitedWithCode(2), "\\[Runtime error\\|Internal error 01 : detail\\]");
}

}  // namespace
}  // namespace vantora::runtime
