#include "core/PropertyList.h"
#include "dockplugin/DockTile.h"
#include "dockplugin/DockTilePlugIn.h"
#include "tests/support/TemporaryDirectory.h"

#include <QPluginLoader>
#include <QString>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// A copy of the built plug-in inside an application bundle whose path has spaces and Chinese,
// loaded the way the Dock loads it: the library the Info.plist names, checked for its
// principal class.
class Dockling : public ::testing::Test {
  protected:
    TemporaryDirectory folder;
    QPluginLoader loader;
    const fs::path bundle =
        folder / "Applications/KESTRYN 软件中心.app/Contents/PlugIns" / "Dockling.docktileplugin";

    void SetUp() override {
        fs::create_directories(bundle.parent_path());
        fs::copy(DOCKLING_BUNDLE, bundle, fs::copy_options::recursive);
    }

    DockTilePlugIn* load() {
        const std::optional<PropertyList> info = PropertyList::read(bundle / "Contents/Info.plist");
        if (!info) {
            ADD_FAILURE() << "Info.plist is not readable";
            return nullptr;
        }
        const fs::path library =
            bundle / "Contents/MacOS" / info->string("CFBundleExecutable").value();
        loader.setFileName(QString::fromStdString(library.string()));
        QObject* instance = loader.instance();
        if (instance == nullptr) {
            ADD_FAILURE() << loader.errorString().toStdString();
            return nullptr;
        }
        EXPECT_EQ(instance->metaObject()->className(), info->string("NSPrincipalClass"));
        return qobject_cast<DockTilePlugIn*>(instance);
    }
};

// Whether the pixel at a fraction of a square's side from its left or top edge is covered.
bool covered(const QImage& image, const QRectF& square, double x, double y) {
    const QPointF point = square.topLeft() + QPointF(x * square.width(), y * square.height());
    return qAlpha(image.pixel(point.toPoint())) == 255;
}

TEST_F(Dockling, ShowsTheIconInAViewThatFillsTheTileAndKeepsTheIconsProportions) {
    DockTilePlugIn* plugIn = load();
    ASSERT_NE(plugIn, nullptr);
    // Square, wide, tall, and larger than the biggest image in the icon file.
    for (const QSize size :
         {QSize(256, 256), QSize(300, 200), QSize(120, 180), QSize(2048, 1600)}) {
        SCOPED_TRACE(size.width());
        DockTile tile(size);
        plugIn->setDockTile(&tile);

        const auto* view = dynamic_cast<const DockImageView*>(tile.contentView());
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->frame(), QRectF(0, 0, size.width(), size.height()));
        EXPECT_EQ(view->autoresizingMask(), 18U);
        EXPECT_EQ(static_cast<int>(view->imageScaling()), 3);
        ASSERT_EQ(tile.image().size(), size);

        // The icon is a rounded tile with a margin of 7 % of its side. Drawn proportionally it
        // fills the centred square of the tile's shorter side: covered at a tenth of that square
        // in from each edge, clear at 3 % in from each edge and outside it.
        const int side = std::min(size.width(), size.height());
        QRectF square(0, 0, side, side);
        square.moveCenter(QRectF(QPointF(), QSizeF(size)).center());
        for (const auto& [x, y] : {std::pair{0.1, 0.5}, {0.9, 0.5}, {0.5, 0.1}, {0.5, 0.9}}) {
            EXPECT_TRUE(covered(tile.image(), square, x, y)) << x << "," << y;
        }
        for (const auto& [x, y] : {std::pair{0.03, 0.5}, {0.97, 0.5}, {0.5, 0.03}, {0.5, 0.97}}) {
            EXPECT_FALSE(covered(tile.image(), square, x, y)) << x << "," << y;
        }
    }
}

TEST_F(Dockling, TheInstalledViewFollowsTheTilesSize) {
    DockTilePlugIn* plugIn = load();
    ASSERT_NE(plugIn, nullptr);
    DockTile tile(QSize(128, 128));
    plugIn->setDockTile(&tile);
    tile.setSize(QSize(256, 192));
    ASSERT_NE(tile.contentView(), nullptr);
    EXPECT_EQ(tile.contentView()->frame(), QRectF(0, 0, 256, 192));
}

TEST_F(Dockling, LeavesTheTileAsItWasWithoutAReadableIconOrWithoutATile) {
    const fs::path icon = bundle / "Contents/Resources/AppIcon.icns";
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"removed", [&] { fs::remove(icon); }},
        {"not an icon file", [&] { folder.write(icon, "icns but not really"); }},
        {"a folder in its place",
         [&] {
             fs::remove(icon);
             fs::create_directory(icon);
         }},
    };
    DockTilePlugIn* plugIn = load();
    ASSERT_NE(plugIn, nullptr);
    plugIn->setDockTile(nullptr);
    for (const auto& [name, spoil] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(bundle / "Contents/Resources");
        fs::copy(fs::path(DOCKLING_BUNDLE) / "Contents/Resources", bundle / "Contents/Resources");
        spoil();
        DockTile tile(QSize(128, 128));
        auto previous = std::make_unique<DockImageView>(QRectF(0, 0, 64, 64));
        DockView* shown = previous.get();
        tile.setContentView(std::move(previous));

        plugIn->setDockTile(&tile);
        EXPECT_EQ(tile.contentView(), shown);
        EXPECT_EQ(tile.contentView()->frame(), QRectF(0, 0, 64, 64));
        EXPECT_TRUE(tile.image().isNull()) << "the tile was displayed";
    }
}

} // namespace
