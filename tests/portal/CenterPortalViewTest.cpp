#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlExtensionPlugin>
#include <QQuickItem>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

Q_IMPORT_QML_PLUGIN(Kestryn_PortalPlugin)

namespace {

std::unique_ptr<QQuickItem> create(QQmlEngine& engine, const char* properties) {
    QQmlComponent component(&engine);
    component.setData(QByteArray("import Kestryn.Portal\nCenterPortalView { ") + properties + " }",
                      {});
    std::unique_ptr<QQuickItem> view(qobject_cast<QQuickItem*>(component.create()));
    EXPECT_TRUE(view) << component.errorString().toStdString();
    return view;
}

bool contains(QQuickItem* root, const QString& text) {
    if (root->isVisible() && root->property("text").toString() == text) {
        return true;
    }
    const QList<QQuickItem*> children = root->childItems();
    return std::any_of(children.begin(), children.end(),
                       [&](QQuickItem* child) { return contains(child, text); });
}

// A product outside the portal's table gets a message and no web page: nothing loads. Embedded
// without its header, the view has no size of its own.
TEST(CenterPortalView, ShowsAMessageForAProductThePortalDoesNotKnow) {
    QQmlEngine engine;
    std::unique_ptr<QQuickItem> view =
        create(engine, "destination: \"guide\"; productID: \"Film\"");
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->property("showsHeader").toBool());
    EXPECT_TRUE(contains(view.get(), "没有找到这款软件的页面。"));
    EXPECT_TRUE(contains(view.get(), "使用说明"));
    EXPECT_EQ(view->property("page").value<QQuickItem*>(), nullptr);
    EXPECT_FALSE(view->property("isLoading").toBool());
    EXPECT_EQ(view->property("errorText").toString(), "");
    EXPECT_EQ(view->implicitWidth(), 800);

    view = create(engine, "destination: \"community\"; productID: \"\"; showsHeader: false");
    ASSERT_TRUE(view);
    EXPECT_EQ(view->implicitWidth(), 0);
    EXPECT_EQ(view->implicitHeight(), 0);
    EXPECT_FALSE(contains(view.get(), "建议与评论"));
}

} // namespace
