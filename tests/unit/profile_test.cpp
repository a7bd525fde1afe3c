// SPDX-License-Identifier: GPL-3.0-or-later
// The profile functions: parsing, writing, deleting, caching and safe write-back of INI files,
// also by processes sharing one.
#include "platform/profile/profile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile/ini_document.h"
#include "platform/profile/profile_file.h"
#include "runtime/errors.h"

namespace vantora::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class ProfileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FlushProfiles());
    std::string pattern = (fs::temp_directory_path() / "vantora-profile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    setenv("VANTORA_CONFIG_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    FlushProfiles();
    unsetenv("VANTORA_CONFIG_DIR");
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  // Writes in place (same inode), as an editor or another program might.
  void WriteRaw(const std::string& name, const std::string& bytes) const {
    std::ofstream out(dir_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
  }
  std::string ReadRaw(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static std::string Get(const char* section, const char* key, const char* defaultValue = "dflt",
                         const std::string& file = "test.ini") {
    char buffer[2048];
    uint32_t count =
        GetPrivateProfileStringA(section, key, defaultValue, buffer, sizeof buffer, file.c_str());
    return std::string(buffer, count);
  }
  static int Set(const char* section, const char* key, const char* value,
                 const std::string& file = "test.ini") {
    return WritePrivateProfileStringA(section, key, value, file.c_str());
  }

  fs::path dir_;
};

// --- Parsing ---------------------------------------------------------------------------------

struct ParseCase {
  const char* name;
  std::string file;
  const char* section;
  const char* key;
  std::string expected;
};

class ProfileParseTest : public ProfileTest, public testing::WithParamInterface<ParseCase> {};

TEST_P(ProfileParseTest, ReadsValue) {
  WriteRaw("test.ini", GetParam().file);
  EXPECT_EQ(Get(GetParam().section, GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileParseTest,
    testing::Values(
        ParseCase{"CrLf", "[s]\r\na=1\r\nb=2\r\n", "s", "b", "2"},
        ParseCase{"Lf", "[s]\na=1\nb=2\n", "s", "b", "2"},
        ParseCase{"CrOnly", "[s]\ra=1\rb=2", "s", "b", "2"},
        ParseCase{"MixedEndingsNoFinal", "[s]\r\na=1\rb=2\nc=3", "s", "c", "3"},
        ParseCase{"CrCrIsTwoLines", "[s]\r\ra=1\r\r", "s", "a", "1"},
        ParseCase{"BlanksTrimmed", " \t[ s ] \t\r\n\t key \t=\t va lue \t\r\n", "s", "key",
                  "va lue"},
        ParseCase{"TextAfterBracketIgnored", "[s] junk=1\r\na=1\r\n", "s", "a", "1"},
        ParseCase{"NameEndsAtFirstBracket", "[s]t]\r\na=1\r\n", "s", "a", "1"},
        ParseCase{"MissingBracketTolerated", "[s\r\na=1\r\n", "s", "a", "1"},
        ParseCase{"LinesBeforeFirstSectionIgnored", "a=0\r\n[s]\r\nb=1\r\n", "s", "a", "dflt"},
        ParseCase{"FirstEqualsSplits", "[s]\r\na = b=c \r\n", "s", "a", "b=c"},
        ParseCase{"EmptyValueIsNotDefault", "[s]\r\na=\r\n", "s", "a", ""},
        ParseCase{"CommentNeverMatched", "[s]\r\n;a=1\r\n", "s", ";a", "dflt"},
        ParseCase{"CommentSkipped", "[s]\r\n  ;a=1\r\na=2\r\n", "s", "a", "2"},
        ParseCase{"NoInlineComment", "[s]\r\na=b ;c\r\n", "s", "a", "b ;c"},
        ParseCase{"HashIsNoComment", "[s]\r\n#a=1\r\n", "s", "#a", "1"},
        ParseCase{"LineWithoutEqualsIsNoKey", "[s]\r\na\r\n", "s", "a", "dflt"},
        ParseCase{"CaseInsensitiveNames", "[CD Player]\r\nAutoPlay=1\r\n", "cd PLAYER", "autoplay",
                  "1"},
        ParseCase{"CallersBlanksIgnored", "[s]\r\na=1\r\n", " \ts ", "\ta  ", "1"},
        ParseCase{"FirstSectionCounts", "[s]\r\na=1\r\n[S]\r\nb=2\r\n", "s", "b", "dflt"},
        ParseCase{"FirstKeyCounts", "[s]\r\na=1\r\nA=2\r\n", "s", "a", "1"},
        ParseCase{"DoubleQuotesRemoved", "[s]\r\na=\" x \"\r\n", "s", "a", " x "},
        ParseCase{"SingleQuotesRemoved", "[s]\r\na='x'\r\n", "s", "a", "x"},
        ParseCase{"OnlyOnePairRemoved", "[s]\r\na=\"\"x\"\"\r\n", "s", "a", "\"x\""},
        ParseCase{"EmptyQuotes", "[s]\r\na=\"\"\r\n", "s", "a", ""},
        ParseCase{"LoneQuoteKept", "[s]\r\na=\"\r\n", "s", "a", "\""},
        ParseCase{"MismatchedQuotesKept", "[s]\r\na=\"x'\r\n", "s", "a", "\"x'"},
        ParseCase{"InnerQuotesKept", "[s]\r\na=x\"y\"\r\n", "s", "a", "x\"y\""},
        ParseCase{"NamesNeverUnquoted", "[\"s\"]\r\na=1\r\n", "s", "a", "dflt"},
        ParseCase{"QuotedNameMatchesAsIs", "[\"s\"]\r\n'a'=1\r\n", "\"s\"", "'a'", "1"},
        ParseCase{"NulEndsValue", "[s]\r\na=x\0y\r\nb=2\r\n"s, "s", "a", "x"},
        ParseCase{"NulLineDoesNotHideNext", "[s]\r\n\0\0\0\r\nb=2\r\n"s, "s", "b", "2"},
        ParseCase{"SingleByteNamesMatchAsTheyAre", "[\xc4lbum]\r\nT\xeftle=1\r\n", "\xc4lbum",
                  "T\xeftle", "1"},
        ParseCase{"Utf8ValueAsItIs", "[s]\r\na=Bj\xc3\xb6rk \xe2\x80\x93 \xf0\x9f\x8e\xb5\r\n", "s",
                  "a", "Bj\u00f6rk \u2013 \U0001F3B5"},
        ParseCase{"OtherBytesReadAsWindows1252", "[s]\r\na=Bj\xf6rk \x93\x96\x94 \x80\x81\r\n", "s",
                  "a", "Bj\u00f6rk \u201c\u2013\u201d \u20ac\u0081"},
        ParseCase{"EmptySectionName", "[]\r\na=1\r\n", "", "a", "1"},
        ParseCase{"EmptyFile", "", "s", "a", "dflt"},
        ParseCase{"ByteOrderMarkIsNothing", "\xEF\xBB\xBF[s]\r\na=1\r\n", "s", "a", "1"},
        ParseCase{"ByteOrderMarkOnlyAtStart",
                  "[s]\r\n\xEF\xBB\xBF"
                  "a=1\r\n",
                  "s",
                  "\xEF\xBB\xBF"
                  "a",
                  "1"}),
    [](const testing::TestParamInfo<ParseCase>& row) { return std::string(row.param.name); });

TEST_F(ProfileTest, MissingFileGivesDefaultWithTrailingBlanksRemoved) {
  EXPECT_EQ(Get("s", "a", "1"), "1");
  EXPECT_EQ(Get("s", "a", " x \t "), " x");
  EXPECT_EQ(Get("s", "a", nullptr), "");
  EXPECT_FALSE(fs::exists(dir_ / "test.ini"));
}

TEST_F(ProfileTest, BufferLimits) {
  WriteRaw("test.ini", "[s]\r\na=abcdef\r\n");
  char buffer[8] = "zzzzzzz";
  EXPECT_EQ(GetPrivateProfileStringA("s", "a", "", buffer, 0, "test.ini"), 0u);
  EXPECT_STREQ(buffer, "zzzzzzz");
  EXPECT_EQ(GetPrivateProfileStringA("s", "a", "", buffer, 1, "test.ini"), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetPrivateProfileStringA("s", "a", "", buffer, 4, "test.ini"), 3u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(GetPrivateProfileStringA("s", "a", "", buffer, 6, "test.ini"), 5u);
  EXPECT_STREQ(buffer, "abcde");
  EXPECT_EQ(GetPrivateProfileStringA("s", "a", "", buffer, 7, "test.ini"), 6u);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(GetPrivateProfileStringA("s", "zz", "defaultvalue", buffer, 5, "test.ini"), 4u);
  EXPECT_STREQ(buffer, "defa");
  EXPECT_EQ(GetPrivateProfileStringA("s", "a", "", nullptr, 10, "test.ini"), 0u);
  WriteRaw("test.ini", "[s]\r\na=Bj\xc3\xb6rk\r\n");
  EXPECT_EQ(GetPrivateProfileStringA("s", "a", "", buffer, 4, "test.ini"), 2u);
  EXPECT_STREQ(buffer, "Bj");  // never half a character
}

TEST_F(ProfileTest, KeyAndSectionLists) {
  WriteRaw(
      "test.ini",
      "x=0\r\n[one]\r\nA=1\r\n;c=2\r\nnokey\r\nbb=2\r\na=3\r\n[two]\r\n[ONE]\r\nz=1\r\n[]\r\n");
  char buffer[64];
  EXPECT_EQ(GetPrivateProfileStringA("one", nullptr, "d", buffer, sizeof buffer, "test.ini"), 5u);
  EXPECT_EQ(std::string(buffer, 6), "A\0bb\0\0"s);
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, sizeof buffer, "test.ini"), 8u);
  EXPECT_EQ(std::string(buffer, 9), "one\0two\0\0"s);
  // Cut short: the list ends in two NULs and size - 2 is returned.
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, 7, "test.ini"), 5u);
  EXPECT_EQ(std::string(buffer, 7), "one\0t\0\0"s);
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, 2, "test.ini"), 0u);
  EXPECT_EQ(std::string(buffer, 2), "\0\0"s);
  // An empty section lists nothing; a missing one gives the default.
  EXPECT_EQ(GetPrivateProfileStringA("two", nullptr, "d", buffer, sizeof buffer, "test.ini"), 0u);
  EXPECT_EQ(std::string(buffer, 2), "\0\0"s);
  EXPECT_EQ(GetPrivateProfileStringA("three", nullptr, "d", buffer, sizeof buffer, "test.ini"), 1u);
  EXPECT_STREQ(buffer, "d");
}

TEST_F(ProfileTest, GarbageAndHugeLinesNeverCrashAndSurviveAWrite) {
  std::mt19937 random(7);
  std::string garbage(200'000, '\0');
  for (char& c : garbage) {
    c = static_cast<char>(random() % 256);
    if (c == '[') {
      c = ']';  // no sections, so our section is new
    } else if (c == '\r') {
      c = '\n';  // lines ending in LF, which the new ones take
    }
  }
  garbage += std::string(5'000'000, 'x') + "=" + std::string(10, 'y');  // past a write chunk
  WriteRaw("test.ini", garbage);
  EXPECT_EQ(Get("s", "x"), "dflt");
  EXPECT_EQ(Set("s", "a", "1"), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), garbage + "\n[s]\na=1\n");
}

TEST_F(ProfileTest, OversizedFileReadsAsDefaultAndIsNeverWritten) {
  WriteRaw("test.ini", "[s]\r\na=1\r\n");
  ASSERT_EQ(truncate(PathOf("test.ini").c_str(), off_t{257} << 20), 0);
  EXPECT_EQ(Get("s", "a"), "dflt");
  EXPECT_EQ(Set("s", "a", "2"), 0);
  EXPECT_FALSE(FlushProfiles());
  EXPECT_EQ(fs::file_size(dir_ / "test.ini"), uintmax_t{257} << 20);
  // Kept: once the file is a profile again, the change reaches it.
  WriteRaw("test.ini", "[s]\r\na=1\r\n");
  EXPECT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=2\r\n");
}

// --- Writing ---------------------------------------------------------------------------------

struct WriteCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

class ProfileWriteTest : public ProfileTest, public testing::WithParamInterface<WriteCase> {};

TEST_P(ProfileWriteTest, ResultingBytes) {
  if (!GetParam().before.empty()) {
    WriteRaw("test.ini", GetParam().before);
  }
  ASSERT_EQ(Set(GetParam().section, GetParam().key, GetParam().value), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileWriteTest,
    testing::Values(
        WriteCase{"ExistingKeyKeepsPlaceAndCasing", "; top\r\n[S]\r\n  Key = old  \r\n;c\r\nz=1\n",
                  "s", "KEY", "new", "; top\r\n[S]\r\nKey=new\r\n;c\r\nz=1\n"},
        WriteCase{"LfFileKeepsLfOnRewrittenLine", "[s]\na=1\nb=2\n", "s", "a", "3",
                  "[s]\na=3\nb=2\n"},
        WriteCase{"FirstOfDuplicateKeysRewritten", "[s]\r\na=1\r\na=2\r\n", "s", "A", "3",
                  "[s]\r\na=3\r\na=2\r\n"},
        WriteCase{"NewKeyBeforeTrailingComments", "[s]\r\na=1\r\n; end\r\n\r\n[t]\r\nx=1\r\n", "s",
                  "b", "2", "[s]\r\na=1\r\nb=2\r\n; end\r\n\r\n[t]\r\nx=1\r\n"},
        WriteCase{"NewKeyInSectionWithoutEntries", "[s]\r\n; only\r\n", "s", "b", "2",
                  "[s]\r\nb=2\r\n; only\r\n"},
        WriteCase{"NewKeyAfterLastLineWithoutEnding", "[s]\r\na=1", "s", "b", "2",
                  "[s]\r\na=1\r\nb=2\r\n"},
        WriteCase{"NewSectionAppended", "x=0\r\n[s]\r\na=1\r\n", "t", "k", "v",
                  "x=0\r\n[s]\r\na=1\r\n[t]\r\nk=v\r\n"},
        WriteCase{"NewSectionAfterLastLineWithoutEnding", "[s]\na=1", "t", "k", "v",
                  "[s]\na=1\n[t]\nk=v\n"},
        WriteCase{"NewLinesEndLikeTheFilesFirst", "[s]\na=1\r\n", "s", "b", "2",
                  "[s]\na=1\r\nb=2\n"},
        WriteCase{"MissingFileCreated", "", "CD Player Settings", "AutoPlay", "1",
                  "[CD Player Settings]\nAutoPlay=1\n"},
        WriteCase{"CallersNamesTrimmedValueAsGiven", "", " t ", "\tk ", "  v \"q\" ",
                  "[t]\nk=  v \"q\" \n"},
        WriteCase{"BytesPassThrough", "", "\xc4", "\xe9", "\xff\x80", "[\xc4]\n\xe9=\xff\x80\n"},
        WriteCase{"EmptyValue", "[s]\r\na=1\r\n", "s", "a", "", "[s]\r\na=\r\n"}),
    [](const testing::TestParamInfo<WriteCase>& row) { return std::string(row.param.name); });

TEST_F(ProfileTest, ReadsSeeOwnWritesBeforeWriteBack) {
  WriteRaw("test.ini", "[s]\r\na=1\r\n");
  ASSERT_EQ(Set("s", "a", "2"), 1);
  ASSERT_EQ(Set("t", "b", "3"), 1);
  EXPECT_EQ(Get("s", "a"), "2");
  EXPECT_EQ(Get("T", "B"), "3");
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=1\r\n");
  EXPECT_EQ(Set(nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=2\r\n[t]\r\nb=3\r\n");
}

TEST_F(ProfileTest, RefusesWritesThatWouldReadBackDifferently) {
  WriteRaw("test.ini", "[s]\r\na=1\r\n");
  EXPECT_EQ(Set("s", "a", "x\r\n[evil]"), 0);
  EXPECT_EQ(Set("s", "a=b", "x"), 0);
  EXPECT_EQ(Set("s", "[k", "x"), 0);
  EXPECT_EQ(Set("s", ";k", "x"), 0);
  EXPECT_EQ(Set("s]x", "a", "x"), 0);
  EXPECT_EQ(Set("s\n", "a", "x"), 0);
  EXPECT_EQ(Set(nullptr, "a", "x"), 0);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=1\r\n");
}

TEST_F(ProfileTest, ByteOrderMarkKeptThroughWriteBacks) {
  // The second write-back starts from the compacted copy of the first.
  WriteRaw("test.ini", "\xEF\xBB\xBF[s]\r\na=1\r\n");
  ASSERT_EQ(Set("s", "a", "2"), 1);
  ASSERT_EQ(Set("t", "b", "3"), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "\xEF\xBB\xBF[s]\r\na=2\r\n[t]\r\nb=3\r\n");
  ASSERT_EQ(Set("s", nullptr, nullptr), 1);
  ASSERT_EQ(Set("t", "c", "4"), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "\xEF\xBB\xBF[t]\r\nb=3\r\nc=4\r\n");
  EXPECT_EQ(Get("t", "c"), "4");
}

// --- Deleting --------------------------------------------------------------------------------

TEST_F(ProfileTest, NullValueDeletesKeyAndLeavesSection) {
  WriteRaw("test.ini", "[s]\r\na=1\r\n;c\r\nb=2\r\n");
  EXPECT_EQ(Set("s", "A", nullptr), 1);
  EXPECT_EQ(Get("s", "a"), "dflt");
  EXPECT_EQ(Set("s", "b", nullptr), 1);
  EXPECT_EQ(Set("s", "never", nullptr), 1);
  EXPECT_EQ(Set("nosuch", "never", nullptr), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\n;c\r\n");
}

TEST_F(ProfileTest, DeletingFromMissingFileCreatesNothing) {
  EXPECT_EQ(Set("s", "a", nullptr), 1);
  EXPECT_EQ(Set("s", nullptr, nullptr), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_FALSE(fs::exists(dir_ / "test.ini"));
}

TEST_F(ProfileTest, NullKeyDeletesSectionWithItsComments) {
  WriteRaw("test.ini", "[a]\r\nx=1\r\n[s]\r\n;c\r\ny=2\r\n\r\n[b]\r\nz=3\r\n");
  EXPECT_EQ(Set("S", nullptr, "ignored"), 1);
  EXPECT_EQ(Get("s", "y"), "dflt");
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[a]\r\nx=1\r\n[b]\r\nz=3\r\n");
}

TEST_F(ProfileTest, DeletingFirstOfDuplicateSectionsUncoversTheNext) {
  WriteRaw("test.ini", "[s]\r\na=1\r\n[t]\r\n[s]\r\na=2\r\n");
  EXPECT_EQ(Set("s", nullptr, nullptr), 1);
  EXPECT_EQ(Get("s", "a"), "2");
  EXPECT_EQ(Set("s", "a", "3"), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[t]\r\n[s]\r\na=3\r\n");
}

TEST_F(ProfileTest, RandomEditsMatchASimpleModel) {
  // Exercises the key index across inserts and deletes, write-backs between edits, and a fresh
  // parse of what was written.
  std::mt19937 random(11);
  const char* sections[] = {"Alpha", "beta", "GAMMA"};
  const char* keys[] = {"one", "Two", "THREE", "four"};
  std::map<std::string, std::map<std::string, std::string>> model;  // folded names
  auto fold = [](std::string text) {
    for (char& c : text)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  auto check = [&](const std::string& file) {
    for (const char* section : sections) {
      for (const char* key : keys) {
        auto found = model.find(fold(section));
        std::string expected = "dflt";
        if (found != model.end() && found->second.count(fold(key)) != 0) {
          expected = found->second.at(fold(key));
        }
        ASSERT_EQ(Get(section, key, "dflt", file), expected) << section << "/" << key;
      }
    }
  };
  WriteRaw("test.ini", "; kept\r\n[Beta]\r\nfour=4\r\n; tail\r\n");
  model["beta"]["four"] = "4";
  for (int step = 0; step < 400; ++step) {
    std::string section = sections[random() % 3];
    std::string key = keys[random() % 4];
    if (random() % 2 == 0) {
      section = fold(section);  // callers spell names as they like
    }
    int action = static_cast<int>(random() % 10);
    if (action < 6) {
      std::string value = "v" + std::to_string(step);
      ASSERT_EQ(Set(section.c_str(), key.c_str(), value.c_str()), 1);
      model[fold(section)][fold(key)] = value;
    } else if (action < 9) {
      ASSERT_EQ(Set(section.c_str(), key.c_str(), nullptr), 1);
      if (model.count(fold(section)) != 0) {
        model[fold(section)].erase(fold(key));
      }
    } else {
      ASSERT_EQ(Set(section.c_str(), nullptr, nullptr), 1);
      model.erase(fold(section));
    }
    if (step % 37 == 0) {
      ASSERT_TRUE(FlushProfiles());
    }
    check("test.ini");
  }
  ASSERT_TRUE(FlushProfiles());
  WriteRaw("copy.ini", ReadRaw("test.ini"));
  check("copy.ini");
  EXPECT_EQ(ReadRaw("test.ini").rfind("; kept\r\n", 0), 0u);
}

// --- File names ------------------------------------------------------------------------------

TEST_F(ProfileTest, BareNamesLiveInConfigDirectoryOtherNamesArePaths) {
  fs::create_directory(dir_ / "sub");
  EXPECT_EQ(Set("s", "a", "bare"), 1);
  EXPECT_EQ(Set("s", "a", "path", PathOf("sub/test.ini")), 1);
  EXPECT_EQ(Set("s", "a", "backslash", dir_.string() + "\\sub\\other.ini"), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\na=bare\n");
  EXPECT_EQ(ReadRaw("sub/test.ini"), "[s]\na=path\n");
  EXPECT_EQ(ReadRaw("sub/other.ini"), "[s]\na=backslash\n");
}

TEST_F(ProfileTest, ConfigDirectoryCreatedOnFirstWrite) {
  setenv("VANTORA_CONFIG_DIR", (dir_ / "new" / "deeper").c_str(), 1);
  EXPECT_EQ(Set("s", "a", "1"), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("new/deeper/test.ini"), "[s]\na=1\n");
}

TEST_F(ProfileTest, WriteIntoMissingOrBogusDirectoryIsKeptUntilItCanBeWritten) {
  WriteRaw("plain", "not a directory");
  EXPECT_EQ(Set("s", "a", "1", PathOf("missing/test.ini")), 0);
  EXPECT_EQ(Set("s", "a", "1", PathOf("plain/test.ini")), 0);
  // Refused for now, but kept: reads see it and every write-back tries it again.
  EXPECT_EQ(Get("s", "a", "d", PathOf("plain/test.ini")), "1");
  EXPECT_FALSE(FlushProfiles());
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  fs::create_directory(dir_ / "missing");
  fs::remove(dir_ / "plain");
  fs::create_directory(dir_ / "plain");
  EXPECT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("missing/test.ini"), "[s]\na=1\n");
  EXPECT_EQ(ReadRaw("plain/test.ini"), "[s]\na=1\n");
}

TEST_F(ProfileTest, EmptyNullAndOverlongFileNames) {
  std::string overlong(5000, 'n');
  for (const char* name : {"", static_cast<const char*>(nullptr), overlong.c_str()}) {
    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("s", "a", "d", buffer, sizeof buffer, name), 1u);
    EXPECT_STREQ(buffer, "d");
    EXPECT_EQ(WritePrivateProfileStringA("s", "a", "1", name), 0);
  }
  std::string longComponent(300, 'n');
  EXPECT_EQ(Set("s", "a", "1", longComponent), 0);
  EXPECT_TRUE(FlushProfiles());
}

TEST_F(ProfileTest, PlatformProfileIsWinIniInConfigDirectory) {
  EXPECT_EQ(WriteProfileStringA("Windows", "Beep", "yes"), 1);
  char buffer[16];
  EXPECT_EQ(GetProfileStringA("windows", "beep", "", buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "yes");
  EXPECT_EQ(Get("Windows", "Beep", "", "win.ini"), "yes");
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("win.ini"), "[Windows]\nBeep=yes\n");
  EXPECT_EQ(WriteProfileStringA("Windows", nullptr, nullptr), 1);
  EXPECT_EQ(WriteProfileStringA(nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(ReadRaw("win.ini"), "");
}

// --- Caching ---------------------------------------------------------------------------------

TEST_F(ProfileTest, OutsideChangeOfSameSizeWithinSameTickIsSeen) {
  // In place, same size, microseconds apart: neither size nor a coarse time stamp tells.
  for (int round = 0; round < 50; ++round) {
    std::string value = std::to_string(round % 10);
    WriteRaw("test.ini", "[s]\r\na=" + value + "\r\n");
    ASSERT_EQ(Get("s", "a"), value) << "round " << round;
  }
}

TEST_F(ProfileTest, OutsideChangeKeepingSizeAndStampIsSeen) {
  // A coarse file system, or a program that restores the stamp, leaves size, inode and time
  // stamp as they were; only the content tells. Whole seconds mark a coarse stamp.
  timespec stamp{time(nullptr), 0};
  timespec times[2] = {stamp, stamp};
  WriteRaw("test.ini", "[s]\r\na=1\r\n");
  ASSERT_EQ(utimensat(AT_FDCWD, PathOf("test.ini").c_str(), times, 0), 0);
  EXPECT_EQ(Get("s", "a"), "1");
  WriteRaw("test.ini", "[s]\r\na=2\r\n");
  ASSERT_EQ(utimensat(AT_FDCWD, PathOf("test.ini").c_str(), times, 0), 0);
  EXPECT_EQ(Get("s", "a"), "2");
  // The same with a change of ours pending: both survive the write-back.
  ASSERT_EQ(Set("s", "b", "9"), 1);
  WriteRaw("test.ini", "[s]\r\na=3\r\n");
  ASSERT_EQ(utimensat(AT_FDCWD, PathOf("test.ini").c_str(), times, 0), 0);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=3\r\nb=9\r\n");
}

TEST_F(ProfileTest, OutsideReplacementVanishingAndDirectoryAreSeen) {
  WriteRaw("test.ini", "[s]\r\na=1\r\n");
  EXPECT_EQ(Get("s", "a"), "1");
  WriteRaw("other.ini", "[s]\r\na=22\r\n");
  fs::rename(dir_ / "other.ini", dir_ / "test.ini");
  EXPECT_EQ(Get("s", "a"), "22");
  fs::remove(dir_ / "test.ini");
  EXPECT_EQ(Get("s", "a"), "dflt");
  fs::create_directory(dir_ / "test.ini");
  EXPECT_EQ(Get("s", "a"), "dflt");
  EXPECT_EQ(Set("s", "a", "3"), 0);
  fs::remove(dir_ / "test.ini");
  WriteRaw("test.ini", "[s]\r\na=4\r\nb=5\r\n");
  // The refused change was kept, and lands on what the file holds now.
  EXPECT_EQ(Get("s", "a"), "3");
  EXPECT_EQ(Get("s", "b"), "5");
  EXPECT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=3\r\nb=5\r\n");
}

TEST_F(ProfileTest, PendingChangesMergedWithOutsideChange) {
  WriteRaw("test.ini", "[s]\r\na=1\r\nb=1\r\n");
  ASSERT_EQ(Set("s", "a", "9"), 1);
  ASSERT_EQ(Set("n", "k", "v"), 1);
  // Another program rewrites the file in place, same size, before we write back.
  WriteRaw("test.ini", "[s]\r\na=1\r\nb=2\r\n");
  EXPECT_EQ(Get("s", "b"), "2");
  EXPECT_EQ(Get("s", "a"), "9");
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=9\r\nb=2\r\n[n]\r\nk=v\r\n");

  // And once more right after our own write-back, again with a different size.
  ASSERT_EQ(Set("s", "b", nullptr), 1);
  WriteRaw("test.ini", "[s]\r\na=9\r\nb=2\r\n[n]\r\nk=v\r\n[o]\r\nx=1\r\n");
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=9\r\n[n]\r\nk=v\r\n[o]\r\nx=1\r\n");
}

TEST_F(ProfileTest, PendingChangesSurviveFileVanishing) {
  WriteRaw("test.ini", "[s]\r\na=1\r\n");
  ASSERT_EQ(Set("s", "b", "2"), 1);
  fs::remove(dir_ / "test.ini");
  EXPECT_EQ(Get("s", "a"), "dflt");
  EXPECT_EQ(Get("s", "b"), "2");
  ASSERT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\nb=2\n");
}

// --- Safe write-back -------------------------------------------------------------------------

TEST_F(ProfileTest, FailedWriteBackLeavesOldFileAndKeepsChangesPending) {
  fs::create_directory(dir_ / "sub");
  const std::string path = PathOf("sub/test.ini");
  std::ofstream(path, std::ios::binary) << "[s]\r\na=1\r\n";
  ASSERT_EQ(Set("s", "a", "2", path), 1);
  // The directory moves away and a plain file takes its name: the write-back cannot land.
  fs::rename(dir_ / "sub", dir_ / "moved");
  WriteRaw("sub", "plain");
  EXPECT_FALSE(FlushProfiles());
  EXPECT_EQ(Set(nullptr, nullptr, nullptr, path), 0);
  EXPECT_EQ(ReadRaw("moved/test.ini"), "[s]\r\na=1\r\n");
  EXPECT_EQ(ReadRaw("sub"), "plain");
  fs::remove(dir_ / "sub");
  fs::rename(dir_ / "moved", dir_ / "sub");
  EXPECT_TRUE(FlushProfiles());
  EXPECT_EQ(ReadRaw("sub/test.ini"), "[s]\r\na=2\r\n");
}

TEST_F(ProfileTest, FullDiskDuringWriteBackLeavesOldFileWhole) {
  std::string original = "[s]\r\n";
  for (int i = 0; i < 100; ++i) {
    original += "Track" + std::to_string(i) + "=Some title of a reasonable length\r\n";
  }
  WriteRaw("test.ini", original);
  EXPECT_EQ(Get("s", "Track1"), "Some title of a reasonable length");
  // A file size limit makes the write fail part-way, as a full disk would; even root obeys it.
  auto saveOnFullDisk = [&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    int code = 0;
    code |= Set("s", "Track1", "Changed") == 1 ? 0 : 1;
    code |= FlushProfiles() ? 2 : 0;
    code |= ReadRaw("test.ini") == original ? 0 : 4;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      std::string name = entry.path().filename().string();
      code |= name == "test.ini" || name == ".test.ini.lock" ? 0 : 8;
    }
    std::_Exit(code);
  };
  EXPECT_EXIT(saveOnFullDisk(), testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadRaw("test.ini"), original);
}

TEST_F(ProfileTest, WriteBackKeepsPermissionsAndSymlinks) {
  WriteRaw("real.ini", "[s]\r\na=1\r\n");
  fs::permissions(dir_ / "real.ini", fs::perms(0640));
  fs::create_symlink("real.ini", dir_ / "link.ini");
  ASSERT_EQ(Set("s", "a", "2", "link.ini"), 1);
  ASSERT_EQ(Set("s", "a", "3", "real.ini"), 1);
  ASSERT_TRUE(FlushProfiles());
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
  EXPECT_EQ(fs::status(dir_ / "real.ini").permissions(), fs::perms(0640));
  // Both names are the same file: the second write-back merged the first.
  EXPECT_EQ(ReadRaw("real.ini"), "[s]\r\na=3\r\n");
  EXPECT_EQ(Get("s", "a", "", "link.ini"), "3");
}

TEST_F(ProfileTest, ReadOnlyFileAndDirectoryRefuseWrites) {
  WriteRaw("test.ini", "[s]\r\na=1\r\n");
  fs::permissions(dir_ / "test.ini", fs::perms(0444));
  fs::permissions(dir_, fs::perms(0555));
  // The superuser may write anything, so the checks run as an ordinary user.
  auto writeAsUser = [&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
      std::_Exit(16);
    }
    int code = 0;
    code |= Get("s", "a") == "1" ? 0 : 1;
    code |= Set("s", "a", "2") == 0 ? 0 : 2;
    code |= Set("s", "a", "2", "new.ini") == 0 ? 0 : 4;
    std::_Exit(code);
  };
  EXPECT_EXIT(writeAsUser(), testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=1\r\n");
}

// --- Write-back at exit ----------------------------------------------------------------------

TEST_F(ProfileTest, PendingChangesWrittenAtExit) {
  EXPECT_EXIT(
      {
        Set("s", "a", "1");
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\na=1\n");
  EXPECT_EQ(Get("s", "a"), "1");
}

TEST_F(ProfileTest, WriteBackStillFailingAtExitIsReportedAndOldFileKept) {
  std::string original = "[s]\r\n";
  for (int i = 0; i < 100; ++i) {
    original += "Track" + std::to_string(i) + "=Some title of a reasonable length\r\n";
  }
  WriteRaw("test.ini", original);
  // A file size limit stands in for a disk that stays full; the message still fits.
  auto saveOnFullDisk = [&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    Set("s", "Track1", "Changed");
    if (FlushProfiles()) {
      std::_Exit(1);
    }
    std::exit(0);
  };
  EXPECT_EXIT(saveOnFullDisk(), testing::ExitedWithCode(0), testing::HasSubstr(PathOf("test.ini")));
  EXPECT_EQ(ReadRaw("test.ini"), original);
}

TEST_F(ProfileTest, PendingChangesWrittenOnFatalError) {
  EXPECT_EXIT(
      {
        Set("s", "a", "2");
        runtime::FatalError(runtime::kFatalInternal, "test");
      },
      testing::ExitedWithCode(runtime::kFatalExitCode), "");
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\na=2\n");
}

// --- Processes sharing a file ----------------------------------------------------------------

// Runs `work` in a child process, whose exit status is its result.
template <typename Work>
pid_t Spawn(Work work) {
  const pid_t pid = fork();
  if (pid == 0) {
    _exit(work());
  }
  return pid;
}

// A write-back gives up on a lock held past its short wait and keeps its changes; a writer that
// must see them on the disk tries again.
bool FlushedSoon() {
  for (int tries = 0; tries < 100; ++tries) {
    if (FlushProfiles()) {
      return true;
    }
  }
  return false;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(ProfileTest, WatchSeesAnotherProgramsChangeThatSizeAndStampHide) {
  // Same size and the old stamp put back, as long ago as no stamp check doubts: only the kernel's
  // notice tells, between two reads and under a pending write-back alike.
  const std::string path = PathOf("test.ini");
  const timespec old = {time(nullptr) - 3600, 0};
  const timespec times[2] = {old, old};
  auto rewrite = [&](const std::string& bytes) {
    EXPECT_EQ(Wait(Spawn([&] {
                WriteRaw("test.ini", bytes);
                return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 0 : 1;
              })),
              0);
  };
  rewrite("[s]\r\na=1\r\n");
  ProfileFile file{fs::path(path)};
  file.Refresh();
  if (!file.Watched()) {
    GTEST_SKIP() << "the kernel cannot watch " << dir_;
  }
  EXPECT_EQ(file.Document().Find("s", "a"), "1");
  rewrite("[s]\r\na=2\r\n");
  file.Refresh();
  EXPECT_EQ(file.Document().Find("s", "a"), "2");

  ASSERT_EQ(file.Apply({"s", "b", "9"}), ProfileFile::Applied::kWritable);
  rewrite("[s]\r\na=3\r\n");
  ASSERT_TRUE(file.Flush());
  EXPECT_EQ(ReadRaw("test.ini"), "[s]\r\na=3\r\nb=9\r\n");
}

TEST_F(ProfileTest, WritersWritingBackAfterEveryWriteLoseNothing) {
  constexpr int kWriters = 3;
  constexpr int kKeys = 40;
  auto key = [](int writer, int k) { return std::to_string(writer) + "/" + std::to_string(k); };
  // Each sets keys of its own in one section and deletes every fifth but one it set before.
  std::vector<pid_t> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    writers.push_back(Spawn([&key, writer] {
      for (int k = 0; k < kKeys; ++k) {
        if (Set("s", key(writer, k).c_str(), "v") != 1 || !FlushedSoon()) {
          return 1;
        }
        if (k % 5 == 4 && (Set("s", key(writer, k - 2).c_str(), nullptr) != 1 || !FlushedSoon())) {
          return 2;
        }
      }
      return 0;
    }));
  }
  for (pid_t writer : writers) {
    EXPECT_EQ(Wait(writer), 0);
  }
  const IniDocument document(ReadRaw("test.ini"));
  int wrong = 0;
  for (int writer = 0; writer < kWriters; ++writer) {
    for (int k = 0; k < kKeys; ++k) {
      const bool deleted = k % 5 == 2 && k + 2 < kKeys;
      wrong += document.Find("s", key(writer, k)).has_value() == deleted ? 1 : 0;
    }
  }
  EXPECT_EQ(wrong, 0) << "keys lost or deleted ones back";
}

TEST_F(ProfileTest, WriterKilledAtAnyMomentLeavesEveryAlbumWhole) {
  constexpr int kAlbums = 300;
  constexpr int kKeys = 12;
  constexpr int kKills = 200;
  constexpr int kWritten = kAlbums / 2;
  auto album = [](int n) { return "Album " + std::to_string(n); };
  auto track = [](int k) { return "Track " + std::to_string(k); };
  auto value = [](const std::string& round, int k) { return round + "/" + std::to_string(k); };
  auto section = [&](int n, const std::string& round) {
    std::string text = "[" + album(n) + "]\r\n";
    for (int k = 0; k < kKeys; ++k) {
      text += track(k) + "=" + value(round, k) + "\r\n";
    }
    return text;
  };
  // The albums before and after the written one: a write-back leaves their bytes as they are.
  std::string before;
  std::string after;
  for (int n = 0; n < kAlbums; ++n) {
    if (n != kWritten) {
      (n < kWritten ? before : after) += section(n, std::to_string(n));
    }
  }
  WriteRaw("test.ini", before + section(kWritten, "old") + after);

  // Each writer saves the album over and over, all its keys in one write-back per round, until
  // it is killed: before its first write-back, while writing, renaming, or between rounds.
  std::mt19937 random(12);
  std::uniform_int_distribution<useconds_t> delay(0, 15'000);
  int saves = 0;  // kills after which the album had changed
  std::string lastRound = "old";
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t writer = Spawn([&, kill] {
      for (int round = 0;; ++round) {
        const std::string tag = std::to_string(kill) + "." + std::to_string(round);
        for (int k = 0; k < kKeys; ++k) {
          if (Set(album(kWritten).c_str(), track(k).c_str(), value(tag, k).c_str()) != 1) {
            return 1;
          }
        }
        if (!FlushedSoon()) {
          return 2;
        }
      }
    });
    usleep(delay(random));
    ::kill(writer, SIGKILL);
    ASSERT_EQ(Wait(writer), 100 + SIGKILL);

    const std::string bytes = ReadRaw("test.ini");
    ASSERT_TRUE(bytes.starts_with(before) && bytes.ends_with(after)) << "after kill " << kill;
    // One round's keys, all of them.
    const IniDocument document(bytes);
    const std::optional<std::string_view> first = document.Find(album(kWritten), track(0));
    ASSERT_TRUE(first) << "after kill " << kill;
    const std::string round(first->substr(0, first->find('/')));
    ASSERT_EQ(bytes, before + section(kWritten, round) + after) << "after kill " << kill;
    saves += round != lastRound ? 1 : 0;
    lastRound = round;
  }
  EXPECT_GT(saves, 1) << "the writers never got to write back";
  // What the killed writers left beside the file goes with the next write-back.
  ASSERT_EQ(Set("s", "a", "1"), 1);
  ASSERT_TRUE(FlushProfiles());
  for (const auto& entry : fs::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "test.ini" || name == ".test.ini.lock") << name;
  }
}

}  // namespace
}  // namespace vantora::platform
