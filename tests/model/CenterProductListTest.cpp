#include "model/CenterProductList.h"

#include "tests/model/ModelFixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {

using Scope = CenterProductList::Scope;

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

TEST_F(CenterProductListTest, EachScopeListsItsProductsInCatalogOrderAndFollowsTheModel) {
    temp.write("resources/video.png", "picture");
    bundle(shippedProduct("audio"), "1.0", applications);
    useFeed(publishCatalog({{"audio", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    const struct {
        CenterProductList::Scope scope;
        QStringList ids;
    } rows[] = {
        // The pages' scopes show in CenterWindowTest.
        {Scope::All, {"film", "subtitle", "audio", "library", "video", "effects"}},
        {Scope::Updates, {"audio"}},
    };
    for (const auto& row : rows) {
        CenterProductList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        list.setScope(row.scope);
        list.setCenter(model.get());
        EXPECT_EQ(ids(list), row.ids) << static_cast<int>(row.scope);
    }

    // The rows follow the model's refreshes, which detect the copies off the window's thread.
    CenterProductList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    list.setCenter(model.get());
    list.setScope(Scope::Installed);
    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
    bundle(shippedProduct("subtitle"), "1.0", applications);
    model->refreshInstalled();
    waitUntilIdle(*model);
    EXPECT_EQ(ids(list), QStringList({"subtitle", "audio"}));
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(role(list, "subtitle", CenterProductList::StatusTextRole), "已安装 1.0");
    // Nothing changed: no row is announced. A new copy announces its own row alone.
    list.setScope(Scope::All);
    reset.clear();
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    model->refreshInstalled();
    waitUntilIdle(*model);
    EXPECT_EQ(changed.count(), 0);
    bundle(shippedProduct("subtitle"), "2.0", applications);
    model->refreshInstalled();
    waitUntilIdle(*model);
    EXPECT_EQ(reset.count(), 0);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), ids(list).indexOf("subtitle"));
    EXPECT_EQ(changed[0][1].toModelIndex().row(), ids(list).indexOf("subtitle"));

    // An icon comes from the resources, "repair" uses the video picture, and without a picture
    // the views draw the symbol.
    const QUrl video =
        QUrl::fromLocalFile(QString::fromStdString((resources / "video.png").string()));
    EXPECT_EQ(role(list, "video", CenterProductList::IconURLRole).toUrl(), video);
    EXPECT_EQ(model->iconURL("repair"), video);
    EXPECT_EQ(role(list, "audio", CenterProductList::IconURLRole).toUrl(), QUrl());

    list.setScope(Scope::Selected);
    model->showDetails(QString("library"), CenterDetailSection::comments);
    EXPECT_EQ(ids(list), QStringList{"library"});
    model->closeDetails();
    EXPECT_EQ(list.count(), 0);
}

} // namespace
