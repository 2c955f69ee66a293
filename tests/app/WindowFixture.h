#pragma once

#include "app/KestrynCenterApp.h"
#include "app/WindowPrompts.h"
#include "tests/model/ModelFixture.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QVariant>
#include <memory>
#include <optional>
#include <string>

// The real window over a real model of ModelFixture, offscreen. The model asks the fixture's
// scripted prompts, or the window's own dialogs when a test opens it with them.
class WindowFixture : public ModelFixture {
  protected:
    WindowPrompts dialogs;
    CenterActivation activation;
    std::unique_ptr<CenterModel> model;
    std::unique_ptr<KestrynCenterApp> app;

    enum class Prompts { scripted, dialogs };

    void open(Prompts asked = Prompts::scripted) {
        CenterModelSetup setup = modelSetup();
        if (asked == Prompts::dialogs) {
            setup.prompts = &dialogs;
        }
        setup.activation = &activation;
        model = std::make_unique<CenterModel>(std::move(setup));
        waitUntilIdle(*model);
        app =
            std::make_unique<KestrynCenterApp>(*model, workspace, dialogs, &activation, resources);
        ASSERT_NE(app->window(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(app->window()));
        settle();
    }

    [[nodiscard]] QQuickWindow& window() const { return *app->window(); }

    // Lets bindings, layouts and popups follow the last change.
    static void settle() {
        for (int round = 0; round < 5; ++round) {
            QCoreApplication::processEvents();
            QTest::qWait(10);
        }
    }

    // The object with this name anywhere in the window, a shown one first; null when there is
    // none.
    [[nodiscard]] QObject* find(const QString& name) const {
        QObjectList found;
        search(app->window(), name, found);
        for (QObject* object : found) {
            if (auto* item = qobject_cast<QQuickItem*>(object);
                item != nullptr && item->isVisible()) {
                return object;
            }
        }
        return found.isEmpty() ? nullptr : found.front();
    }

    // The visible item with this name; fails the test when there is none.
    [[nodiscard]] QQuickItem* shown(const QString& name) const {
        QObject* found = find(name);
        auto* item = qobject_cast<QQuickItem*>(found);
        EXPECT_TRUE(item != nullptr && item->isVisible()) << name.toStdString() << " is not shown";
        return item;
    }

    // Whether an item or a popup of this name is shown.
    [[nodiscard]] bool isShown(const QString& name) const {
        QObject* found = find(name);
        return found != nullptr && found->property("visible").toBool();
    }

    [[nodiscard]] std::string text(const QString& name) const {
        QObject* found = find(name);
        return found != nullptr ? found->property("text").toString().toStdString() : "";
    }

    // Clicks the item in its middle, as the user would, first scrolling the page or sheet that
    // holds it until its middle is in view.
    void click(const QString& name) { click(shown(name)); }
    void click(QQuickItem* item) {
        ASSERT_NE(item, nullptr);
        QQuickItem* scroller = item->parentItem();
        while (scroller != nullptr && !scroller->inherits("QQuickFlickable")) {
            scroller = scroller->parentItem();
        }
        const QPointF inside = item->mapToItem(scroller, QPointF(0, item->height() / 2));
        if (scroller != nullptr && (inside.y() < 0 || inside.y() > scroller->height())) {
            scroller->setProperty("contentY", scroller->property("contentY").toReal() + inside.y() -
                                                  scroller->height() / 2);
            settle();
        }
        QTest::mouseClick(
            app->window(), Qt::LeftButton, Qt::NoModifier,
            item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
        settle();
    }

    void goTo(const QString& page) { click("navItem-" + page); }

    // Picks the file in the open or save dialog of this name, as the user would in its own
    // panel, and accepts it; or cancels the dialog.
    void answerFileDialog(const QString& name, const std::optional<std::filesystem::path>& file) {
        QObject* dialog = find(name);
        ASSERT_TRUE(dialog != nullptr && dialog->property("visible").toBool())
            << name.toStdString();
        if (!file) {
            QMetaObject::invokeMethod(dialog, "reject");
            settle();
            return;
        }
        const QUrl url = QUrl::fromLocalFile(QString::fromStdString(file->string()));
        QObjectList panels;
        for (QObject* object : app->window()->findChildren<QObject*>()) {
            if (object->inherits("QQuickFileDialogImpl") && object->property("visible").toBool()) {
                panels << object;
            }
        }
        ASSERT_EQ(panels.size(), 1);
        panels.front()->setProperty("currentFolder", QUrl::fromLocalFile(QString::fromStdString(
                                                         file->parent_path().string())));
        settle();
        panels.front()->setProperty("selectedFile", url);
        QMetaObject::invokeMethod(dialog, "accept");
        settle();
    }

  private:
    static void search(QObject* object, const QString& name, QObjectList& found) {
        if (object == nullptr || found.contains(object)) {
            return;
        }
        if (object->objectName() == name) {
            found << object;
        }
        QObjectList children = object->children();
        if (auto* item = qobject_cast<QQuickItem*>(object)) {
            for (QQuickItem* child : item->childItems()) {
                if (!children.contains(child)) {
                    children << child;
                }
            }
        }
        if (auto* quickWindow = qobject_cast<QQuickWindow*>(object)) {
            children << quickWindow->contentItem();
        }
        for (QObject* child : children) {
            search(child, name, found);
        }
    }
};
