// SPDX-License-Identifier: GPL-3.0-or-later
// The player's four windows as the program's embedded definitions yield them.
#include "windows/definition.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantora::windows {
namespace {

constexpr const char* kTag = "cdplayer$CDPLAYER";
constexpr int32_t D = format::kDefaultPosition;
constexpr uint32_t kDefault = format::kDefaultColour;

Font F(const char* face, int32_t size, int32_t weight, uint32_t colour = kDefault) {
  Font font;
  if (face != nullptr) {
    font.face = face;
  }
  font.pointSize = size;
  font.weight = weight;
  font.colour = colour;
  return font;
}
const Font kArialBold = F("Arial", 8, 700);
const Font kPurple = F("Arial", 8, 400, Rgb(128, 0, 128));
const Font kBlueBold = F("Arial", 8, 700, Rgb(0, 0, 255));
const Font kGreen = F(nullptr, 0, 400, Rgb(0, 255, 0));
const Font kGreenBold = F(nullptr, 0, 700, Rgb(0, 255, 0));

Variable Text(uint32_t size) {
  return {18, size, 0};
}
const Variable kLong{6, 4, 0};
const Variable kByte{1, 1, 0};

// One control as the window tables give it; unset fields must be absent in the definition.
struct Expected {
  int depth = 1;
  uint16_t number = 0;
  RecordType type = RecordType::Region;
  std::optional<Position> at{};
  const char* text = nullptr;
  const char* icon = nullptr;
  const char* picture = nullptr;
  const char* format = nullptr;
  int32_t rows = 0;
  std::optional<Font> font{};
  bool colours = false;  // a colour block of three default colours
  const char* status = nullptr;
  const char* tip = nullptr;
  std::optional<Variable> var{};
  std::vector<std::string> dropIds{};
  std::vector<std::string> dragIds{};
  std::vector<uint32_t> alertKeys{};
  bool check = false;
  int32_t action = 0;
  const char* wallpaper = nullptr;
};

std::optional<std::string> Opt(const char* text) {
  return text == nullptr ? std::nullopt : std::optional<std::string>(text);
}

// The controls of a window depth first: menu bar, toolbar, body.
std::vector<std::pair<int, const Control*>> Flatten(const WindowDefinition& window) {
  std::vector<std::pair<int, const Control*>> out;
  auto visit = [&out](const auto& self, const Control& control, int depth) -> void {
    out.emplace_back(depth, &control);
    for (const Control& child : control.children) {
      self(self, child, depth + 1);
    }
  };
  if (window.menuBar) {
    visit(visit, *window.menuBar, 1);
  }
  if (window.toolbar) {
    visit(visit, *window.toolbar, 1);
  }
  for (const Control& control : window.controls) {
    visit(visit, control, 1);
  }
  return out;
}

void ExpectControls(const WindowDefinition& window, const std::vector<Expected>& expected) {
  std::vector<std::pair<int, const Control*>> actual = Flatten(window);
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Expected& e = expected[i];
    const Control& c = *actual[i].second;
    SCOPED_TRACE("row " + std::to_string(i) + ", control " + std::to_string(e.number));
    EXPECT_EQ(actual[i].first, e.depth);
    EXPECT_EQ(c.number, e.number);
    EXPECT_EQ(c.type, e.type);
    EXPECT_EQ(c.position, e.at);
    EXPECT_EQ(c.text, Opt(e.text));
    EXPECT_EQ(c.icon, Opt(e.icon));
    EXPECT_EQ(c.picture, Opt(e.picture));
    EXPECT_EQ(c.format, Opt(e.format));
    EXPECT_EQ(c.dropRows, e.rows);
    EXPECT_EQ(c.font, e.font);
    EXPECT_EQ(c.colours, e.colours
                             ? std::optional<ColourBlock>(ColourBlock{kDefault, kDefault, kDefault})
                             : std::nullopt);
    EXPECT_EQ(c.statusText, Opt(e.status));
    EXPECT_EQ(c.tip, Opt(e.tip));
    EXPECT_EQ(c.variable, e.var);
    EXPECT_EQ(c.dropIds, e.dropIds);
    EXPECT_EQ(c.dragIds, e.dragIds);
    EXPECT_EQ(c.alertKeys, e.alertKeys);
    EXPECT_EQ(c.IsCheckItem(), e.check);
    EXPECT_EQ(c.flags, e.check ? 1u : 0u);
    EXPECT_EQ(c.action, e.action);
    EXPECT_EQ(c.wallpaper, Opt(e.wallpaper));
    EXPECT_EQ(c.buttonFlags, 0);
    EXPECT_EQ(c.times[0], 0);
    EXPECT_EQ(c.times[1], 0);
  }
}

WindowDefinition Find(const char* name) {
  LookupError why = LookupError::None;
  std::optional<WindowDefinition> window = FindWindowDefinition(kTag, name, &why);
  EXPECT_TRUE(window.has_value()) << name << ": " << LookupErrorText(why);
  return window.value_or(WindowDefinition{});
}

using T = RecordType;

std::vector<Expected> MainWindowControls() {
  std::vector<Expected> rows = {
      {.number = 0, .type = T::MenuBar},
      {.depth = 2, .number = 1, .type = T::Menu, .text = "&File"},
      {.depth = 3, .number = 2, .type = T::MenuItem, .text = "E&xit", .action = 15},
      {.depth = 2, .number = 3, .type = T::Menu, .text = "&Options"},
      {.depth = 3, .number = 4, .type = T::MenuItem, .text = "&Playlist"},
      {.depth = 3,
       .number = 5,
       .type = T::MenuItem,
       .text = "&Stay On Top",
       .var = kLong,
       .check = true},
      {.depth = 3,
       .number = 6,
       .type = T::MenuItem,
       .text = "&Control Panel",
       .var = kLong,
       .check = true},
      {.depth = 3,
       .number = 7,
       .type = T::MenuItem,
       .text = "&AutoPlay",
       .var = kByte,
       .check = true},
      {.depth = 3,
       .number = 39,
       .type = T::MenuItem,
       .text = "&Look Up Titles Online",
       .var = kByte,
       .check = true},
      {.depth = 2, .number = 8, .type = T::Menu, .text = "&About"},
      {.depth = 3, .number = 9, .type = T::MenuItem, .text = "&About"},
      {.number = 0,
       .type = T::Toolbar,
       .at = Position{0, 0, 135, 23},
       .wallpaper = "~Silvback.bmp"},
      {.depth = 2,
       .number = 10,
       .type = T::Button,
       .at = Position{148, 2, 21, 18},
       .text = " ",
       .icon = "cd.gif"},
      {.depth = 2,
       .number = 11,
       .type = T::Button,
       .at = Position{4, 2, 18, 18},
       .icon = "QPX_PREV.ICO",
       .tip = "Select the previous track"},
      {.depth = 2,
       .number = 12,
       .type = T::Button,
       .at = Position{25, 2, 18, 18},
       .icon = "QPX_PLAY.ICO",
       .tip = "Play the current selections"},
      {.depth = 2,
       .number = 13,
       .type = T::Button,
       .at = Position{47, 2, 18, 18},
       .icon = "QPX_PAUS.ICO",
       .tip = "Pause the CD player"},
      {.depth = 2,
       .number = 14,
       .type = T::Button,
       .at = Position{69, 2, 18, 18},
       .icon = "QPX_NEXT.ICO",
       .tip = "Select the next track"},
      {.depth = 2,
       .number = 15,
       .type = T::Button,
       .at = Position{91, 2, 18, 18},
       .icon = "QPX_CLOS.ICO",
       .tip = "Open the CD door"},
      {.number = 16,
       .type = T::List,
       .at = Position{42, 161, 125, 10},
       .format = "160L@S40@",
       .rows = 4,
       .font = kGreen,
       .colours = true,
       .tip = "The track currently being played",
       .var = Text(60)},
      {.number = 17,
       .type = T::Button,
       .at = Position{39, 42, 64, 19},
       .text = "&Repeat: None",
       .icon = "Greenb.ico",
       .font = kPurple,
       .tip = "Toggle the player's repeat mode"},
      {.number = 18,
       .type = T::Button,
       .at = Position{107, 42, 64, 19},
       .text = "&Edit Playlist",
       .icon = "Greenb.ico",
       .font = kPurple,
       .tip = "Edit the album's playlist"},
  };
  static const std::vector<std::string> kDigits = {"1", "2", "3", "4", "5",
                                                   "6", "7", "8", "9", "10"};
  for (uint16_t n = 19; n <= 28; ++n) {
    rows.push_back({.number = n,
                    .type = T::Button,
                    .at = Position{1, 6 + 11 * (n - 19), 33, 10},
                    .text = kDigits[n - 19].c_str(),
                    .icon = "Blueb.ico",
                    .font = kBlueBold,
                    .tip = "Play a track from the ablum"});
  }
  std::vector<Expected> rest = {
      {.number = 29,
       .type = T::Button,
       .at = Position{1, 116, 33, 28},
       .text = "+10",
       .icon = "Blueb.ico",
       .font = kBlueBold,
       .tip = "Get next set of play buttons"},
      {.number = 0,
       .type = T::Group,
       .at = Position{38, 95, 133, 32},
       .text = "Artist",
       .font = kArialBold},
      {.depth = 2,
       .number = 30,
       .type = T::TextBox,
       .at = Position{40, 103, 127, 19},
       .font = kGreenBold,
       .colours = true,
       .tip = "The artist who produced the album",
       .var = Text(60)},
      {.number = 31,
       .type = T::Group,
       .at = Position{38, 127, 133, 23},
       .text = "Playlist",
       .font = kArialBold},
      {.depth = 2,
       .number = 32,
       .type = T::List,
       .at = Position{42, 137, 125, 10},
       .format = "160L@S40@",
       .rows = 4,
       .font = kGreen,
       .colours = true,
       .tip = "The current playlist for this album",
       .var = Text(60)},
      {.number = 0,
       .type = T::Group,
       .at = Position{38, 151, 133, 23},
       .text = "Current Track",
       .font = kArialBold},
      {.number = 0,
       .type = T::Group,
       .at = Position{38, 60, 133, 32},
       .text = "Current Album",
       .font = kArialBold},
      {.depth = 2,
       .number = 33,
       .type = T::TextBox,
       .at = Position{40, 71, 127, 19},
       .font = kGreenBold,
       .colours = true,
       .tip = "The album currently in the CD player",
       .var = Text(60)},
      {.number = 34, .type = T::Region, .at = Position{38, 7, 131, 33}},
      {.number = 35,
       .type = T::Group,
       .at = Position{38, 1, 133, 39},
       .text = "Player Status",
       .font = kArialBold},
      {.depth = 2,
       .number = 36,
       .type = T::VarString,
       .at = Position{52, 9, 103, 10},
       .picture = "S40",
       .font = F("MS Sans Serif", 8, 700),
       .var = Text(40)},
      {.depth = 2,
       .number = 37,
       .type = T::VarString,
       .at = Position{87, 18, 34, 12},
       .picture = "S5",
       .font = F("MS Sans Serif", 10, 700, Rgb(0, 0, 128)),
       .var = Text(5)},
      {.depth = 2,
       .number = 38,
       .type = T::VarString,
       .at = Position{47, 28, 113, 10},
       .picture = "S26",
       .var = Text(26)},
  };
  rows.insert(rows.end(), rest.begin(), rest.end());
  return rows;
}

TEST(PlayerWindows, MainWindowRecord) {
  WindowDefinition window = Find("P2$CDPLAYWIN");
  EXPECT_EQ(window.name, "P2$CDPLAYWIN");
  EXPECT_EQ(window.title, "Vantora     Brennix");
  EXPECT_EQ(window.icon, "Cd.ico");
  EXPECT_EQ(window.wallpaper, "~Silvback.bmp");
  EXPECT_EQ(window.font, F("MS Sans Serif", 8, 400));
  EXPECT_EQ(window.position, (Position{D, D, 172, 202}));
  EXPECT_EQ(window.flags, 0x800u);
  EXPECT_EQ(window.flags2, 0x3022u);
}

TEST(PlayerWindows, MainWindowControls) {
  ExpectControls(Find("P2$CDPLAYWIN"), MainWindowControls());
}

TEST(PlayerWindows, MainWindowGeometry) {
  WindowDefinition window = Find("P2$CDPLAYWIN");
  ASSERT_TRUE(window.toolbar);
  // The compact form shrinks the whole window to the toolbar's height.
  EXPECT_EQ(window.toolbar->position->height, 23);
  for (uint16_t n = 20; n <= 28; ++n) {
    const Control* above = FindControl(window, static_cast<uint16_t>(n - 1));
    const Control* button = FindControl(window, n);
    ASSERT_TRUE(above && button);
    EXPECT_EQ(button->position->y - above->position->y, 11) << "button " << n;
  }
  const Control* more = FindControl(window, 29);
  ASSERT_TRUE(more);
  EXPECT_EQ(more->position->y, FindControl(window, 28)->position->y + 11);
  EXPECT_EQ(more->position->height, 28);
}

TEST(PlayerWindows, MainWindowBindingOrder) {
  using K = Binding::Kind;
  std::vector<Binding> expected = {
      {5, K::Variable},  {6, K::Variable},  {7, K::Variable},  {39, K::Variable}, {16, K::Variable},
      {16, K::Rows},     {30, K::Variable}, {32, K::Variable}, {32, K::Rows},     {33, K::Variable},
      {36, K::Variable}, {37, K::Variable}, {38, K::Variable},
  };
  EXPECT_EQ(BindingOrder(Find("P2$CDPLAYWIN")), expected);
}

TEST(PlayerWindows, EditorWindow) {
  WindowDefinition window = Find("P22$EDITWINDOW");
  EXPECT_EQ(window.title, "Edit an Album's Playlist");
  EXPECT_EQ(window.icon, std::nullopt);
  EXPECT_EQ(window.wallpaper, "~Silvback.bmp");
  EXPECT_EQ(window.font, F("MS Sans Serif", 8, 400));
  EXPECT_EQ(window.position, (Position{D, D, 332, 230}));
  EXPECT_EQ(window.flags, 0u);
  EXPECT_EQ(window.flags2, 0x2000u);
  EXPECT_FALSE(window.menuBar);
  EXPECT_FALSE(window.toolbar);

  const std::vector<std::string> move = {"Move Track"};
  const char* kCustom = "Edit the name of a customized playlist";
  ExpectControls(
      window,
      {
          {.number = 1, .type = T::Sheet, .at = Position{6, 5, 319, 201}},
          {.depth = 2, .number = 2, .type = T::Tab, .text = "Album Properties"},
          {.depth = 3,
           .number = 0,
           .type = T::Group,
           .at = Position{15, 22, 148, 24},
           .text = "&Artist",
           .font = kArialBold},
          {.depth = 4,
           .number = 3,
           .type = T::Entry,
           .at = Position{21, 32, 137, 12},
           .picture = "S60",
           .status = "Enter the name of the album's artist here.",
           .tip = "The name of the artist",
           .var = Text(60),
           .dropIds = move},
          {.depth = 3,
           .number = 4,
           .type = T::Group,
           .at = Position{15, 48, 148, 24},
           .text = "&Title",
           .font = kArialBold},
          {.depth = 4,
           .number = 5,
           .type = T::Entry,
           .at = Position{21, 58, D, D},
           .picture = "s60",
           .status = "Enter the title of the album here",
           .tip = "The title of the album",
           .var = Text(60),
           .dropIds = move},
          {.depth = 3,
           .number = 6,
           .type = T::List,
           .at = Position{15, 74, 148, 108},
           .format = "240L@S60@",
           .colours = true,
           .tip = "The music selections on the album",
           .dropIds = move,
           .dragIds = {"Add Track"}},
          {.depth = 3,
           .number = 7,
           .type = T::Entry,
           .at = Position{15, 186, 148, 12},
           .picture = "s60",
           .status = "Enter the title of the track.  Use the cursor keys to select new tracks to "
                     "edit.",
           .tip = "Edit a track's title",
           .var = Text(60),
           .dropIds = move,
           .alertKeys = {0x222, 0x221, 0x22, 0x21, 0x28, 0x26}},
          {.depth = 3,
           .number = 8,
           .type = T::Group,
           .at = Position{171, 22, 149, 47},
           .text = "&Playlist",
           .font = kArialBold},
          {.depth = 4,
           .number = 9,
           .type = T::List,
           .at = Position{177, 32, 137, 12},
           .format = "240L@s60@",
           .rows = 5,
           .colours = true,
           .status = "Select a new playlist to edit",
           .tip = kCustom,
           .var = Text(60),
           .dropIds = move},
          {.depth = 3,
           .number = 10,
           .type = T::List,
           .at = Position{171, 74, 149, 124},
           .format = "240L@S60@",
           .colours = true,
           .status = "Drag tracks to the playlist to add them.  Drag tracks from the playlist to "
                     "remove them.",
           .tip = "The music selections of a playlist",
           .dropIds = {"Add Track", "Move Track"},
           .dragIds = move},
          {.depth = 3,
           .number = 11,
           .type = T::Button,
           .at = Position{177, 49, 39, 12},
           .text = "&New",
           .status = "Add a new playlist",
           .tip = "Add a customized playlist",
           .dropIds = move},
          {.depth = 3,
           .number = 12,
           .type = T::Button,
           .at = Position{226, 49, 39, 12},
           .text = "&Edit",
           .status = "Edit the current playlist's name",
           .tip = kCustom,
           .dropIds = move},
          {.depth = 3,
           .number = 13,
           .type = T::Button,
           .at = Position{275, 49, 39, 12},
           .text = "&Remove",
           .status = "Remove a playlist",
           .tip = "Remove a customized playlist",
           .dropIds = move},
          {.number = 14,
           .type = T::Button,
           .at = Position{199, 210, 40, 14},
           .text = "OK",
           .status = "Accept changes and exit",
           .tip = "Accept your changes and return to the player",
           .dropIds = move},
          {.number = 15,
           .type = T::Button,
           .at = Position{243, 210, 40, 14},
           .text = "&Cancel",
           .status = "Cancel changes and exit",
           .tip = "Cancel your changes and return to the player",
           .dropIds = move},
          {.number = 16,
           .type = T::Button,
           .at = Position{287, 210, 40, 14},
           .text = "&Apply",
           .status = "Apply changes and keep editing",
           .tip = "Apply your changes and keep editing",
           .dropIds = move},
          {.number = 18,
           .type = T::TextBox,
           .at = Position{6, 212, 128, 11},
           .tip = "The disc's MusicBrainz ID",
           .var = Text(60)},
          {.number = 19,
           .type = T::Button,
           .at = Position{136, 210, 60, 14},
           .text = "&MusicBrainz...",
           .status = "Open the page that adds this disc to MusicBrainz",
           .tip = "MusicBrainz does not know this disc: add it there",
           .dropIds = move},
          {.number = 17, .type = T::Region, .at = Position{0, 0, 333, 230}, .dropIds = move},
      });

  using K = Binding::Kind;
  std::vector<Binding> order = {{3, K::Variable}, {5, K::Variable}, {6, K::Rows},
                                {7, K::Variable}, {9, K::Variable}, {9, K::Rows},
                                {10, K::Rows},    {18, K::Variable}};
  EXPECT_EQ(BindingOrder(window), order);
}

TEST(PlayerWindows, PlaylistTitleDialog) {
  WindowDefinition window = Find("P26$EDITWINDOW");
  EXPECT_EQ(window.title, "Edit Playlist Title");
  EXPECT_EQ(window.icon, std::nullopt);
  EXPECT_EQ(window.wallpaper, std::nullopt);
  EXPECT_EQ(window.font, F("MS Sans Serif", 8, 400));
  EXPECT_EQ(window.position, (Position{D, D, 188, 45}));
  EXPECT_EQ(window.flags, 0u);
  EXPECT_EQ(window.flags2, 0x2000u);
  ExpectControls(window,
                 {
                     {.number = 0, .type = T::Prompt, .at = Position{6, 9, D, D}, .text = "Title:"},
                     {.number = 1,
                      .type = T::Entry,
                      .at = Position{39, 6, D, D},
                      .picture = "s60",
                      .tip = "The name of the playlist",
                      .var = Text(60)},
                     {.number = 2,
                      .type = T::Button,
                      .at = Position{95, 22, 40, 14},
                      .text = "OK",
                      .tip = "Accept this playlist name"},
                     {.number = 3,
                      .type = T::Button,
                      .at = Position{139, 22, 40, 14},
                      .text = "&Cancel",
                      .tip = "Cancel changes to the playlist name"},
                 });
}

TEST(PlayerWindows, AboutWindow) {
  WindowDefinition window = Find("P27$ABOUTWINDOW");
  EXPECT_EQ(window.title, std::nullopt);
  EXPECT_EQ(window.icon, std::nullopt);
  EXPECT_EQ(window.font, std::nullopt);
  EXPECT_EQ(window.wallpaper, "~Silvback.bmp");
  EXPECT_EQ(window.position, (Position{D, D, 257, 97}));
  EXPECT_EQ(window.flags, 0x10u);
  EXPECT_EQ(window.flags2, 0x3040u);
  std::vector<std::pair<int, const Control*>> controls = Flatten(window);
  ASSERT_EQ(controls.size(), 5u);
  const Font purple = F("Arial", 10, 700, Rgb(128, 0, 128));
  struct Line {
    Position at;
    Font font;
  };
  const Line lines[] = {
      {{5, 7, 248, 16}, F("Arial", 14, 400, Rgb(128, 0, 0))},
      {{-1, 31, 259, 10}, F("Arial", 12, 700, Rgb(0, 0, 255))},
      {{70, 43, 120, 10}, purple},
      {{5, 55, 247, 10}, purple},
  };
  for (size_t i = 0; i < 4; ++i) {
    const Control& line = *controls[i].second;
    SCOPED_TRACE(i);
    EXPECT_EQ(line.type, T::String);
    EXPECT_EQ(line.number, 0);
    EXPECT_EQ(line.position, lines[i].at);
    EXPECT_EQ(line.font, lines[i].font);
    ASSERT_TRUE(line.text);
    EXPECT_FALSE(line.text->empty());
  }
  EXPECT_NE(controls[0].second->text->find("Vantora"), std::string::npos);
  EXPECT_NE(controls[0].second->text->find("Brennix"), std::string::npos);
  EXPECT_NE(controls[2].second->text->find("example."), std::string::npos);
  EXPECT_NE(controls[3].second->text->find('@'), std::string::npos);
  const Control& ok = *controls[4].second;
  EXPECT_EQ(ok.type, T::Button);
  EXPECT_EQ(ok.number, 1);
  EXPECT_EQ(ok.position, (Position{12, 73, 238, 14}));
  EXPECT_EQ(ok.text, "OK");
  EXPECT_EQ(ok.font, std::nullopt);
  EXPECT_EQ(ok.tip, std::nullopt);
}

TEST(PlayerWindows, WindowsAreToldApartByName) {
  LookupError why = LookupError::None;
  EXPECT_FALSE(FindWindowDefinition(kTag, "P3$CDPLAYWIN", &why));
  EXPECT_EQ(why, LookupError::NoSuchWindow);
  EXPECT_FALSE(FindWindowDefinition(kTag, "p2$cdplaywin", &why));
  EXPECT_EQ(why, LookupError::NoSuchWindow);
  // The two dialogs share a name suffix; only the whole name counts.
  EXPECT_EQ(Find("P26$EDITWINDOW").title, "Edit Playlist Title");
  EXPECT_EQ(Find("P22$EDITWINDOW").title, "Edit an Album's Playlist");
}

TEST(PlayerWindows, FindControlSkipsNumberZero) {
  WindowDefinition window = Find("P2$CDPLAYWIN");
  EXPECT_EQ(FindControl(window, 0), nullptr);
  ASSERT_NE(FindControl(window, 38), nullptr);
  EXPECT_EQ(FindControl(window, 38)->picture, "S26");
  EXPECT_EQ(FindControl(window, 40), nullptr);
}

}  // namespace
}  // namespace vantora::windows
