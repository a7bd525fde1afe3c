// SPDX-License-Identifier: GPL-3.0-or-later
// Device replies as time values and time values as mm:ss, on the boundaries.
#include "app/times.h"

#include <gtest/gtest.h>

#include "runtime/decimal.h"
#include "runtime/value_stack.h"

namespace vantora::app {
namespace {

TEST(Times, RepliesConvertToTimeValuesWithTheFramesDropped) {
  const struct {
    const char* reply;
    int32_t value;
  } cases[] = {
      {"00:00:00", 0},      {"00:00:74", 0},      {"00:02:00", 201},
      {"04:05:00", 24501},  {"45:12:40", 271201}, {"59:59:74", 359901},
      {"60:00:00", 360001}, {"72:10:00", 433001}, {"99:59:74", 599901},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MSFTOTIME(c.reply), c.value) << c.reply;
  }
  MSFTOTIME("276");  // a failed query's error number: meaningless, but harmless
  EXPECT_EQ(runtime::ValueStackDepth(), 0u);
  EXPECT_EQ(runtime::DecimalStackDepth(), 0u);
}

TEST(Times, TimeValuesAndDifferencesShowAsMinutesAndSeconds) {
  const struct {
    int32_t value;
    const char* shown;
  } cases[] = {
      {-500, "00:00"},  {0, "00:00"},      {1, "00:00"},      {100, "00:00"},    {101, "00:01"},
      {75200, "12:31"}, {359901, "59:59"}, {360001, "60:00"}, {433001, "72:10"}, {599901, "99:59"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TIMETOMMSS(c.value), c.shown) << c.value;
  }
}

}  // namespace
}  // namespace vantora::app
