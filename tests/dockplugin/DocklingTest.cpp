#include "core/PropertyList.h"
#include "dockplugin/DockTile.h"
#include "dockplugin/DockTilePlugIn.h"
#include "tests/support/TemporaryDirectory.h"

#include <QPluginLoader>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// A copy of the built plug-in inside an application bundle whose path has spaces and Chinese,
// loaded as the Dock loads it: the library the Info.plist names, of its principal class.
class Dockling : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(bundle.parent_path());
        fs::copy(DOCKLING_BUNDLE, bundle, fs::copy_options::recursive);
        const std::optional<PropertyList> info = PropertyList::read(bundle / "Contents/Info.plist");
        ASSERT_TRUE(info);
        loader.setFileName(QString::fromStdString(
            (bundle / "Contents/MacOS" / info->string("CFBundleExecutable").value()).string()));
        ASSERT_NE(loader.instance(), nullptr) << loader.errorString().toStdString();
        EXPECT_EQ(loader.instance()->metaObject()->className(), info->string("NSPrincipalClass"));
        plugIn = qobject_cast<DockTilePlugIn*>(loader.instance());
        ASSERT_NE(plugIn, nullptr);
    }

    TemporaryDirectory folder;
    const fs::path bundle =
        folder / "Applications/KESTRYN 软件中心.app/Contents/PlugIns/Dockling.docktileplugin";
    QPluginLoader loader;
    DockTilePlugIn* plugIn = nullptr;
};

// Whether the tile's pixel at a fraction of a square's side from its left and top is covered.
bool covered(const DockTile& tile, const QRectF& square, std::pair<double, double> at) {
    const QPointF point = square.topLeft() + QPointF(at.first, at.second) * square.width();
    return qAlpha(tile.image().pixel(point.toPoint())) == 255;
}

TEST_F(Dockling, ShowsTheIconInAViewThatFillsTheTileAndKeepsTheIconsProportions) {
    // Square, wide, tall, and larger than the biggest image in the icon file.
    for (const QSize size :
         {QSize(256, 256), QSize(300, 200), QSize(120, 180), QSize(2048, 1600)}) {
        SCOPED_TRACE(size.width());
        DockTile tile(size);
        plugIn->setDockTile(&tile);

        const auto* view = dynamic_cast<const DockImageView*>(tile.contentView());
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->frame(), QRectF(0, 0, size.width(), size.height()));
        ASSERT_EQ(tile.image().size(), size) << "the tile was not displayed";

        // The icon is a rounded tile with a margin of 7 % of its side. Drawn proportionally it
        // fills the centred square of the tile's shorter side: covered a tenth of that square in
        // from each edge, clear 3 % in.
        const qreal side = std::min(size.width(), size.height());
        QRectF square(0, 0, side, side);
        square.moveCenter(QRectF(QPointF(), QSizeF(size)).center());
        for (const auto& at : {std::pair{0.1, 0.5}, {0.9, 0.5}, {0.5, 0.1}, {0.5, 0.9}}) {
            EXPECT_TRUE(covered(tile, square, at)) << at.first << "," << at.second;
        }
        for (const auto& at : {std::pair{0.03, 0.5}, {0.97, 0.5}, {0.5, 0.03}, {0.5, 0.97}}) {
            EXPECT_FALSE(covered(tile, square, at)) << at.first << "," << at.second;
        }
        tile.setSize(size / 2);
        EXPECT_EQ(tile.contentView()->frame(), QRectF(QPointF(), QSizeF(size / 2)));
    }
}

TEST_F(Dockling, LeavesTheTileAsItWasWithoutAReadableIconOrWithoutATile) {
    plugIn->setDockTile(nullptr);
    folder.write(bundle / "Contents/Resources/AppIcon.icns", "icns, but not an icon file");
    DockTile tile(QSize(128, 128));
    tile.setContentView(std::make_unique<DockImageView>(QRectF(0, 0, 64, 64)));
    const DockView* shown = tile.contentView();
    plugIn->setDockTile(&tile);
    EXPECT_EQ(tile.contentView(), shown);
    EXPECT_EQ(shown->frame(), QRectF(0, 0, 64, 64));
    EXPECT_TRUE(tile.image().isNull()) << "the tile was displayed";
}

} // namespace
