#include "model/CenterProductList.h"

#include "tests/model/ModelFixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {

class CenterProductListTest : public ModelFixture {
  protected:
    static QStringList ids(const CenterProductList& list) {
        QStringList found;
        for (int row = 0; row < list.rowCount(); ++row) {
            found << list.data(list.index(row), CenterProductList::ProductIDRole).toString();
        }
        return found;
    }

    static QVariant role(const CenterProductList& list, const QString& id, int role) {
        return list.data(list.index(static_cast<int>(ids(list).indexOf(id))), role);
    }
};

TEST_F(CenterProductListTest, EachScopeListsItsProductsInCatalogOrder) {
    bundle(shippedProduct("audio"), "1.0", applications);
    useFeed(publishCatalog({{"audio", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    const struct {
        QString scope;
        QStringList ids;
    } rows[] = {
        {"all", {"film", "subtitle", "audio", "library", "video", "effects"}},
        {"others", {"subtitle", "audio", "library", "video", "effects"}},
        {"featured", {"film"}},
        {"installed", {"audio"}},
        {"updates", {"audio"}},
        {"selected", {}},
    };
    for (const auto& row : rows) {
        CenterProductList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        list.setScope(row.scope);
        list.setCenter(model.get());
        EXPECT_EQ(ids(list), row.ids) << row.scope.toStdString();
    }
}

TEST_F(CenterProductListTest, RowsFollowTheModelAndCarryTheIconsOfTheResources) {
    temp.write("resources/video.png", "picture");
    std::unique_ptr<CenterModel> model = makeModel();
    CenterProductList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    list.setCenter(model.get());
    list.setScope("installed");
    EXPECT_EQ(list.count(), 0);

    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
    bundle(shippedProduct("subtitle"), "1.0", applications);
    model->refreshInstalled();
    EXPECT_EQ(ids(list), QStringList{"subtitle"});
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(role(list, "subtitle", CenterProductList::StatusTextRole), "已安装 1.0");
    // The same products again: the rows stay and only announce new texts.
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    model->refreshInstalled();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(changed.count(), 1);

    list.setScope("all");
    // An icon comes from the resources, "repair" uses the video picture, and without a picture
    // the views draw the symbol.
    const QUrl video =
        QUrl::fromLocalFile(QString::fromStdString((resources / "video.png").string()));
    EXPECT_EQ(role(list, "video", CenterProductList::IconURLRole).toUrl(), video);
    EXPECT_EQ(model->iconURL("repair"), video);
    EXPECT_EQ(role(list, "audio", CenterProductList::IconURLRole).toUrl(), QUrl());

    list.setScope("selected");
    model->showDetails(QString("library"), 2);
    EXPECT_EQ(ids(list), QStringList{"library"});
    model->closeDetails();
    EXPECT_EQ(list.count(), 0);
}

} // namespace
