// SPDX-License-Identifier: GPL-3.0-or-later
// The program's embedded resources and the module search order.
#include "platform/resources/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vantora::platform {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}
std::string Text(std::optional<ResourceBytes> bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<none>");
}

TEST(Resources, ResourceNameForFile) {
  EXPECT_EQ(ResourceNameForFile("~QPX_PLAY.ICO"), "QPX_PLAY_ICO");
  EXPECT_EQ(ResourceNameForFile("Blueb.ico"), "BLUEB_ICO");
  EXPECT_EQ(ResourceNameForFile("~Silvback.bmp"), "SILVBACK_BMP");
  EXPECT_EQ(ResourceNameForFile("cd.gif"), "CD_GIF");
  EXPECT_EQ(ResourceNameForFile("a.b.c"), "A_B_C");
  EXPECT_EQ(ResourceNameForFile("~"), "");
  EXPECT_EQ(ResourceNameForFile("x~y"), "X~Y");  // only a leading "~" is dropped
}

struct Art {
  const char* file;
  const char* magic;  // the format's leading bytes
};

const Art kArt[] = {
    {"Cd.ico", "\0\0\1\0"},       {"Greenb.ico", "\0\0\1\0"},   {"Blueb.ico", "\0\0\1\0"},
    {"QPX_PREV.ICO", "\0\0\1\0"}, {"QPX_PLAY.ICO", "\0\0\1\0"}, {"QPX_STOP.ICO", "\0\0\1\0"},
    {"QPX_PAUS.ICO", "\0\0\1\0"}, {"QPX_PAU2.ICO", "\0\0\1\0"}, {"QPX_NEXT.ICO", "\0\0\1\0"},
    {"QPX_OPEN.ICO", "\0\0\1\0"}, {"QPX_CLOS.ICO", "\0\0\1\0"}, {"Silvback.bmp", "BM"},
    {"cd.gif", "GIF8"},
};

TEST(Resources, ArtIsEmbeddedUnderItsResourceName) {
  for (const Art& art : kArt) {
    SCOPED_TRACE(art.file);
    std::string name = ResourceNameForFile(art.file);
    std::optional<ResourceBytes> bytes = ProgramModule().Find(kImageResourceType, name);
    ASSERT_TRUE(bytes);
    std::string_view magic(art.magic, art.magic[0] == 0 ? 4 : std::strlen(art.magic));
    ASSERT_GT(bytes->size(), magic.size() + 16);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(bytes->data()), magic.size()), magic);
    // The "~" form used at run time finds the same resource.
    std::optional<ResourceBytes> again =
        FindResource(kImageResourceType, ResourceNameForFile(std::string("~") + art.file));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->data(), bytes->data());
  }
}

TEST(Resources, DefinitionsAreEmbedded) {
  std::optional<ResourceBytes> bytes = ProgramModule().Find("DABDUMP", "CDPLAYER_RSC");
  ASSERT_TRUE(bytes);
  std::string_view tag = "cdplayer$CDPLAYER";
  ASSERT_GT(bytes->size(), tag.size() + 1);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(bytes->data()), tag.size()), tag);
  EXPECT_EQ((*bytes)[tag.size()], 0);
  EXPECT_EQ(ProgramModule().Name(), "vantora");
}

TEST(Resources, TypesAndNamesIgnoreLetterCase) {
  EXPECT_TRUE(ProgramModule().Find("dabdump", "cdplayer_rsc"));
  EXPECT_TRUE(ProgramModule().Find("image", "Qpx_Play_Ico"));
  EXPECT_FALSE(ProgramModule().Find("ICON", "QPX_PLAY_ICO"));
  EXPECT_FALSE(ProgramModule().Find("IMAGE", "QPX_PLAY"));
  EXPECT_FALSE(ProgramModule().Find("IMAGE", "QPX_PLAY_ICO "));
}

TEST(Resources, ModulesAreSearchedProgramFirstThenInLoadOrder) {
  ResourceModule a("a");
  a.Add("T", "SHARED", Bytes("from a"));
  a.Add("T", "ONLY_A", Bytes("a only"));
  ResourceModule b("b");
  b.Add("T", "SHARED", Bytes("from b"));
  b.Add("T", "ONLY_B", Bytes("b only"));
  b.Add("IMAGE", "CD_ICO", Bytes("not the program's"));
  {
    ScopedResourceModule loadedA(std::move(a));
    ScopedResourceModule loadedB(std::move(b));
    std::vector<const ResourceModule*> modules = ResourceModules();
    ASSERT_EQ(modules.size(), 3u);
    EXPECT_EQ(modules[0], &ProgramModule());
    EXPECT_EQ(modules[1]->Name(), "a");
    EXPECT_EQ(modules[2]->Name(), "b");
    EXPECT_EQ(Text(FindResource("T", "SHARED")), "from a");
    EXPECT_EQ(Text(FindResource("T", "ONLY_B")), "b only");
    EXPECT_NE(Text(FindResource("IMAGE", "CD_ICO")), "not the program's");

    // Freeing the first moves the search on to the second.
    EXPECT_TRUE(FreeResourceModule(loadedA.Id()));
    EXPECT_FALSE(FreeResourceModule(loadedA.Id()));
    EXPECT_EQ(Text(FindResource("T", "SHARED")), "from b");
    EXPECT_FALSE(FindResource("T", "ONLY_A"));
  }
  EXPECT_EQ(ResourceModules().size(), 1u);
  EXPECT_FALSE(FindResource("T", "ONLY_B"));
}

TEST(Resources, ModuleKeepsItsOwnCopyAndFirstEntryWins) {
  std::vector<uint8_t> source = Bytes("abc");
  ResourceModule module("m");
  module.Add("T", "N", source);
  module.Add("T", "N", Bytes("second"));
  source[0] = 'x';
  EXPECT_EQ(Text(module.Find("T", "N")), "abc");
  EXPECT_EQ(module.Count(), 2u);
  module.Add("T", "EMPTY", {});
  std::optional<ResourceBytes> empty = module.Find("T", "EMPTY");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
}

}  // namespace
}  // namespace vantora::platform
