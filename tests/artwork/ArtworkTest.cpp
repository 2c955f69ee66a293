#include "core/Registry.h"
#include "tests/support/TemporaryDirectory.h"

#include <QImage>
#include <QImageReader>
#include <gtest/gtest.h>
#include <string>

namespace {

// The part of an image's pixels that are light: the glyph drawn on the dark tile.
double lightShare(const QImage& image) {
    int light = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            light += qAlpha(pixel) == 255 && qGray(pixel) > 150 ? 1 : 0;
        }
    }
    return static_cast<double>(light) / (image.width() * image.height());
}

TEST(Artwork, EachIconIsADarkTileWithALightGlyphOnATransparentCanvasOfItsSize) {
    const std::vector<std::pair<std::string, int>> icons = {
        {"KESAppIcon", 512}, {"film", 256},  {"subtitle", 256}, {"audio", 256},
        {"library", 256},    {"video", 256}, {"effects", 256},
    };
    for (const auto& [name, size] : icons) {
        SCOPED_TRACE(name);
        const QImage image(QString::fromStdString(KESTRYN_RESOURCES_DIR "/" + name + ".png"));
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(2, 2)), 0) << "corner";
        const QRgb edge = image.pixel(size / 10, size / 2);
        EXPECT_EQ(qAlpha(edge), 255);
        EXPECT_LT(qGray(edge), 40) << "the tile is dark";
        EXPECT_GT(lightShare(image), 0.03) << "the glyph is light";
    }
}

TEST(Artwork, EveryRegisteredProductHasItsIcon) {
    for (const auto& [id, bundleID] : CenterCore::productBundleIDs()) {
        EXPECT_FALSE(
            QImage(QString::fromStdString(KESTRYN_RESOURCES_DIR "/" + id + ".png")).isNull())
            << id;
    }
}

TEST(Artwork, ShipsTheWordmarkAsItsSourceInTheProportionsTheWindowShows) {
    const std::string shipped = fileContents(KESTRYN_RESOURCES_DIR "/KESWordmark.svg");
    EXPECT_EQ(shipped, fileContents(KESTRYN_ARTWORK_DIR "/KESWordmark.svg"));
    EXPECT_EQ(QImageReader(KESTRYN_RESOURCES_DIR "/KESWordmark.svg").size(), QSize(124, 28));
}

TEST(Artwork, PacksTheDockIconInAnIconFileWithTheLargestImageFirst) {
    QImageReader reader(DOCKLING_BUNDLE "/Contents/Resources/AppIcon.icns", "icns");
    ASSERT_EQ(reader.imageCount(), 4);
    std::vector<int> sides;
    for (int index = 0; index < reader.imageCount(); ++index) {
        ASSERT_TRUE(reader.jumpToImage(index));
        sides.push_back(reader.read().width());
    }
    EXPECT_EQ(sides, (std::vector<int>{1024, 512, 256, 128}));
}

} // namespace
