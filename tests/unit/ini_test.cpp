// SPDX-License-Identifier: GPL-3.0-or-later
// INI access through the value stack: argument order, trailing blanks, limits and flags.
#include "runtime/ini.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/profile/profile.h"
#include "runtime/decimal.h"
#include "runtime/value_stack.h"

namespace vantora::runtime {
namespace {

class Ini : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("vantora-ini-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    setenv("VANTORA_CONFIG_DIR", dir_.c_str(), 1);
    ResetValueStacks();
  }
  void TearDown() override {
    ResetValueStacks();
    platform::FlushProfiles();  // pending writes must not leak into the next test's file
    unsetenv("VANTORA_CONFIG_DIR");
    std::filesystem::remove_all(dir_);
  }

  // The caller's order: file, value (or default), key, section.
  static void Push(const std::string& file, const std::string& value, const std::string& key,
                   const std::string& section) {
    PushText(file);
    PushText(value);
    PushText(key);
    PushText(section);
  }
  static std::string Get(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& fallback) {
    Push(file, fallback, key, section);
    GETINI();
    return PopText();
  }
  std::string FileText(const std::string& name) {
    platform::FlushProfiles();
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path dir_;
};

TEST_F(Ini, MissingKeyYieldsDefaultAndStackIsBalanced) {
  EXPECT_EQ(Get("ZQ_CD.INI", "CD Player Settings", "Auto Play", "1"), "1");
  EXPECT_EQ(ValueStackDepth(), 0u);
  Push("ZQ_CD.INI", "x", "k", "s");
  WRITEINI();
  EXPECT_EQ(ValueStackDepth(), 0u);
}

TEST_F(Ini, TrailingBlanksAreRemovedFromEveryArgument) {
  Push("ZQ_CD.INI   ", "Abbey Road   ", "Title   ", "Album 1   ");
  WRITEINI();
  EXPECT_EQ(FileText("ZQ_CD.INI"), "[Album 1]\nTitle=Abbey Road\n");
  EXPECT_EQ(Get("ZQ_CD.INI  ", "Album 1  ", "Title  ", "none  "), "Abbey Road");
  EXPECT_EQ(Get("ZQ_CD.INI", "Album 1", "Artist", "none   "), "none");
}

TEST_F(Ini, ValueOmittedDeletesTheKeyAndKeyOmittedTheSection) {
  Push("ZQ_CD.INI", "a", "One", "S");
  WRITEINI();
  Push("ZQ_CD.INI", "b", "Two", "S");
  WRITEINI();
  Push("ZQ_CD.INI", "", "One", "S");
  WRITEINI(false, true);
  EXPECT_EQ(Get("ZQ_CD.INI", "S", "One", "gone"), "gone");
  EXPECT_EQ(Get("ZQ_CD.INI", "S", "Two", "gone"), "b");

  Push("ZQ_CD.INI", "ignored", "ignored", "S");
  WRITEINI(true, false);
  EXPECT_EQ(Get("ZQ_CD.INI", "S", "Two", "gone"), "gone");
  EXPECT_EQ(FileText("ZQ_CD.INI"), "");
}

TEST_F(Ini, TextsAreCutToTheirBuffers) {
  const std::string longValue(1500, 'v');
  const std::string longKey(80, 'k');
  const std::string longSection(80, 's');
  Push("ZQ_CD.INI", longValue, longKey, longSection);
  WRITEINI();
  const std::string text = FileText("ZQ_CD.INI");
  EXPECT_EQ(text, "[" + std::string(63, 's') + "]\n" + std::string(63, 'k') + "=" +
                      std::string(1023, 'v') + "\n");
  // The cut names find the value again; a read result is at most 1,023 characters.
  EXPECT_EQ(Get("ZQ_CD.INI", longSection, longKey, ""), std::string(1023, 'v'));
}

TEST_F(Ini, EmptyFileNameUsesThePlatformProfile) {
  Push("", "Windows", "Theme", "Desktop");
  WRITEINI();
  EXPECT_EQ(FileText("win.ini"), "[Desktop]\nTheme=Windows\n");
  EXPECT_EQ(Get("", "Desktop", "Theme", ""), "Windows");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "ZQ_CD.INI"));
}

TEST_F(Ini, NumbersComeBackAsText) {
  PushText("ZQ_CD.INI");
  PushInteger(-42);
  PushText("Window X");
  PushText("CD Player Settings");
  WRITEINI();
  Push("ZQ_CD.INI", "0", "Window X", "CD Player Settings");
  GETINI();
  PopNumber();
  EXPECT_EQ(DecPopInteger(), -42);
}

}  // namespace
}  // namespace vantora::runtime
