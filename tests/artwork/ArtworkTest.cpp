#include "core/Registry.h"

#include <QImage>
#include <QImageReader>
#include <gtest/gtest.h>
#include <string>

namespace {

// The share of an image's pixels that are opaque and light: the glyph on the dark tile.
double lightShare(const QImage& image) {
    int light = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            light += qAlpha(image.pixel(x, y)) == 255 && qGray(image.pixel(x, y)) > 150 ? 1 : 0;
        }
    }
    return static_cast<double>(light) / (image.width() * image.height());
}

TEST(Artwork, EveryIconIsADarkTileWithALightGlyphAtItsSizeAndTheWordmarkReads) {
    std::vector<std::pair<std::string, int>> icons = {{"KESAppIcon", 512}};
    for (const auto& [id, bundleID] : CenterCore::productBundleIDs()) {
        icons.emplace_back(id, 256);
    }
    for (const auto& [name, size] : icons) {
        SCOPED_TRACE(name);
        const QImage image(QString::fromStdString(KESTRYN_RESOURCES_DIR "/" + name + ".png"));
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(2, 2)), 0) << "the corner is clear";
        EXPECT_EQ(qAlpha(image.pixel(size / 10, size / 2)), 255);
        EXPECT_LT(qGray(image.pixel(size / 10, size / 2)), 40) << "the tile is dark";
        EXPECT_GT(lightShare(image), 0.03) << "the glyph is light";
    }
    EXPECT_EQ(QImageReader(KESTRYN_RESOURCES_DIR "/KESWordmark.svg").size(), QSize(124, 28));
}

} // namespace
