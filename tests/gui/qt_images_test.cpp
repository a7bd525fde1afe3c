// SPDX-License-Identifier: GPL-3.0-or-later
// Icon names in their four forms, and images decoded from the program's resources and files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "platform/qt/qt_images.h"
#include "platform/qt/qt_units.h"
#include "platform/resources/resources.h"

namespace vantora::platform::qt {
namespace {

class QtImagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "qt_images_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr)
      app_ = std::make_unique<QApplication>(argc, argv);
  }
  static void TearDownTestSuite() { app_.reset(); }
  static std::unique_ptr<QApplication> app_;
};
std::unique_ptr<QApplication> QtImagesTest::app_;

TEST_F(QtImagesTest, IconNamesParseInEveryForm) {
  struct Row {
    const char* name;
    std::string text;
    IconSource::Kind kind;
    uint32_t id;
    std::string resource;
    int index;
  };
  const Row rows[] = {
      {"stock question", std::string("\xFF\x01\x03\x7F", 4), IconSource::Kind::Stock, 0x7F02, "",
       -1},
      {"own numeric", std::string("\xFF\x02\x06\x00", 4), IconSource::Kind::ResourceId, 5, "", -1},
      {"numeric zero is nothing", std::string("\xFF\x01\x00\x00", 4), IconSource::Kind::None, 0, "",
       -1},
      {"short binary is a file", std::string("\xFF\x01", 2), IconSource::Kind::File, 0,
       std::string("\xFF\x01", 2), -1},
      {"own resource", "~QPX_PLAY.ICO", IconSource::Kind::Resource, 0, "QPX_PLAY_ICO", -1},
      {"own resource lower case", "~cd.gif", IconSource::Kind::Resource, 0, "CD_GIF", -1},
      {"file", "Cd.ico", IconSource::Kind::File, 0, "Cd.ico", -1},
      {"file with index", "icons.ico[2]", IconSource::Kind::File, 0, "icons.ico", 2},
      {"malformed index stays in the name", "icons.ico[x]", IconSource::Kind::File, 0,
       "icons.ico[x]", -1},
      {"empty index stays in the name", "a[]", IconSource::Kind::File, 0, "a[]", -1},
      {"empty", "", IconSource::Kind::None, 0, "", -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const IconSource source = ParseIconName(row.text);
    EXPECT_EQ(source.kind, row.kind);
    EXPECT_EQ(source.id, row.id);
    EXPECT_EQ(source.name, row.resource);
    EXPECT_EQ(source.index, row.index);
  }
}

TEST_F(QtImagesTest, StockIconsMapToStandardIcons) {
  EXPECT_EQ(StockPixmap(0x7F02), QStyle::SP_MessageBoxQuestion);
  EXPECT_EQ(StockPixmap(0x7F03), QStyle::SP_MessageBoxWarning);
  EXPECT_EQ(StockPixmap(0x7F01), QStyle::SP_MessageBoxCritical);
  EXPECT_EQ(StockPixmap(0x7F04), QStyle::SP_MessageBoxInformation);
  EXPECT_FALSE(StockPixmap(0x1234).has_value());
  EXPECT_FALSE(LoadIcon(std::string("\xFF\x01\x03\x7F", 4)).isNull());
}

TEST_F(QtImagesTest, TheProgramsImagesDecode) {
  // Plain file names as the definitions give them find the program's own copies.
  for (const char* name : {"Cd.ico", "Greenb.ico", "Blueb.ico", "QPX_PLAY.ICO", "~QPX_PAU2.ICO"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(LoadIcon(name).isNull());
  }
  const QImage gif = LoadImage("cd.gif");
  EXPECT_FALSE(gif.isNull()) << "the gif reader is missing";
  const QImage backdrop = LoadImage("~Silvback.bmp");
  EXPECT_FALSE(backdrop.isNull());
  EXPECT_GT(backdrop.width(), 0);
  // The program's own bitmaps are read without Qt's reader, and come out as it reads them.
  for (const char* name : {"Cd.ico", "QPX_STOP.ICO", "Silvback.bmp"}) {
    SCOPED_TRACE(name);
    const auto bytes = FindResource(kImageResourceType, ResourceNameForFile(name));
    ASSERT_TRUE(bytes);
    const QImage qt = QImage::fromData(QByteArray(reinterpret_cast<const char*>(bytes->data()),
                                                  static_cast<qsizetype>(bytes->size())));
    EXPECT_EQ(LoadImage(name).convertToFormat(QImage::Format_ARGB32_Premultiplied),
              qt.convertToFormat(QImage::Format_ARGB32_Premultiplied));
  }
}

TEST_F(QtImagesTest, MissingAndDamagedImagesGiveNothing) {
  EXPECT_TRUE(LoadIcon("~NO_SUCH.ICO").isNull());
  EXPECT_TRUE(LoadIcon("no-such-file.ico").isNull());
  EXPECT_TRUE(LoadImage("no-such-file.bmp").isNull());
  EXPECT_TRUE(LoadIcon(std::string("\xFF\x02\x64\x00", 4)).isNull());
  ResourceModule module("damaged");
  const uint8_t junk[] = {0x00, 0x00, 0x01, 0x00, 0x05, 0x00, 0xFF, 0xFF, 0xFF};
  module.Add(kImageResourceType, "JUNK_ICO", junk);
  module.Add(kImageResourceType, "#7", junk);
  ScopedResourceModule loaded(std::move(module));
  EXPECT_TRUE(LoadIcon("~junk.ico").isNull());
  EXPECT_TRUE(LoadIcon(std::string("\xFF\x02\x08\x00", 4)).isNull());
  EXPECT_TRUE(LoadImage("~junk.ico").isNull());
}

TEST_F(QtImagesTest, FilesLoadWithTheirIndex) {
  QTemporaryDir directory;
  ASSERT_TRUE(directory.isValid());
  QImage first(8, 8, QImage::Format_ARGB32);
  first.fill(Qt::red);
  const QString path = directory.filePath("picture.png");
  ASSERT_TRUE(first.save(path, "PNG"));
  const std::string name = path.toStdString();
  EXPECT_EQ(LoadImage(name).pixelColor(0, 0), QColor(Qt::red));
  EXPECT_FALSE(LoadIcon(name + "[0]").isNull());
  EXPECT_TRUE(LoadIcon(name + "[3]").isNull()) << "a file holds no fourth image";
}

TEST(WindowUnits, MulDivRoundsHalvesAwayFromZero) {
  struct Row {
    int64_t a, b, c;
    int32_t expected;
  };
  for (const Row& row :
       {Row{1, 6, 4, 2}, Row{3, 6, 4, 5}, Row{2, 6, 4, 3}, Row{-1, 6, 4, -2}, Row{-3, 6, 4, -5},
        Row{7, 13, 8, 11}, Row{0, 6, 4, 0}, Row{5, 4, 0, 0}, Row{1, 1, 3, 0}, Row{2, 1, 3, 1}}) {
    EXPECT_EQ(MulDivRound(row.a, row.b, row.c), row.expected)
        << row.a << "*" << row.b << "/" << row.c;
  }
}

TEST(WindowUnits, ScaleFollowsTheFontAndRoundTrips) {
  UnitScale scale;  // the platform's usual 6 x 13 base
  EXPECT_EQ(scale.ToPixelsX(4), 6);
  EXPECT_EQ(scale.ToPixelsY(8), 13);
  EXPECT_EQ(scale.ToUnits(QRect(6, 13, 12, 26)), (Rect{4, 8, 8, 16}));
  for (int32_t units = -50; units <= 500; ++units) {
    ASSERT_EQ(scale.ToUnitsX(scale.ToPixelsX(units)), units);
    ASSERT_EQ(scale.ToUnitsY(scale.ToPixelsY(units)), units);
  }
}

}  // namespace
}  // namespace vantora::platform::qt
