#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlExtensionPlugin>
#include <gtest/gtest.h>
#include <memory>

Q_IMPORT_QML_PLUGIN(Kestryn_PortalPlugin)

namespace {

TEST(CenterPortalView, IsCreatedForADestination) {
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import Kestryn.Portal\nCenterPortalView { destination: \"support\" }", {});
    std::unique_ptr<QObject> view(component.create());
    ASSERT_TRUE(view) << component.errorString().toStdString();
    EXPECT_EQ(view->property("destination").toString(), "support");
    EXPECT_TRUE(view->property("showsHeader").toBool());
}

} // namespace
