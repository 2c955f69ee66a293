#include "app/CenterSingleWindow.h"
#include "model/CenterPreferences.h"
#include "tests/app/WindowFixture.h"

#include <QQmlExtensionPlugin>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

Q_IMPORT_QML_PLUGIN(Kestryn_CenterPlugin)
Q_IMPORT_QML_PLUGIN(Kestryn_PortalPlugin)

namespace {

namespace fs = std::filesystem;

class CenterWindowTest : public WindowFixture {
  protected:
    const CenterProduct audio = shippedProduct("audio");

    // A catalog with releases of audio and subtitle, checked at start.
    void offerUpdates() { useFeed(publishCatalog({{"audio", "2.0"}, {"subtitle", "2.0"}})); }
};

TEST_F(CenterWindowTest, EachMenuOpensAgainAfterEscapeAndControlRChecksOnTheUpdatesPage) {
    offerUpdates();
    open();
    QObject* bar = find("menuBar");
    ASSERT_NE(bar, nullptr);
    auto title = [bar](const QString& text) {
        for (QQuickItem* item : bar->findChildren<QQuickItem*>()) {
            if (item->inherits("QQuickMenuBarItem") && item->property("text") == text) {
                return item;
            }
        }
        return static_cast<QQuickItem*>(nullptr);
    };
    // The same menu twice, then another; each shows its entries' shortcuts.
    for (const char* menuTitle : {"视图", "视图", "软件中心"}) {
        QQuickItem* item = title(menuTitle);
        ASSERT_NE(item, nullptr);
        // The pointer rests on the title, which lights up under it as on a desktop.
        item->setProperty("hoverEnabled", true);
        QTest::mouseMove(
            &window(), item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
        settle();
        click(item);
        auto* menu = item->property("menu").value<QObject*>();
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(menu->property("visible").toBool()) << menuTitle;
        EXPECT_EQ(text("menuShortcut-检查工具更新"), "Ctrl+R");
        QTest::keyClick(&window(), Qt::Key_Escape);
        settle();
        EXPECT_FALSE(menu->property("visible").toBool());
    }

    QTest::keyClick(&window(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(model->page(), CenterPage::updates);
    EXPECT_TRUE(model->isChecking());
    waitUntilIdle(*model);
}

TEST_F(CenterWindowTest, OnAnEmptyCenterTheBarPagesSettingsAndHelpReachTheModel) {
    open();
    EXPECT_EQ(text("installedLine"), "已安装 0 款工具");
    goTo("mine");
    EXPECT_EQ(model->page(), CenterPage::mine);
    click("emptyImportButton");
    EXPECT_EQ(prompts.asked, std::vector<std::string>{"导入 KESTRYN 安装包"});
    EXPECT_EQ(text("statusText"), "已检测到 0 款软件");

    // An error shows the alert, and its button clears it.
    model->setError("网络连接未完成。");
    settle();
    EXPECT_EQ(text("errorAlertText"), "网络连接未完成。");
    click("errorAlertButton");
    EXPECT_FALSE(model->error());
    EXPECT_FALSE(isShown("errorAlert"));

    // The feedback picker replaces the page and keeps its choice across pages.
    goTo("feedback");
    EXPECT_EQ(find("portalView")->property("productID").toString(), "film");
    QObject* picker = find("feedbackPicker");
    picker->setProperty("currentIndex", 2);
    QMetaObject::invokeMethod(picker, "activated", Q_ARG(int, 2));
    settle();
    EXPECT_EQ(find("portalView")->property("productID").toString(), "audio");

    // The settings edit the model's addresses and history; the help link opens the guide.
    goTo("settings");
    EXPECT_EQ(text("diskUseLine"), "历史版本占用 0 字节，下载的安装包占用 0 字节。");
    EXPECT_FALSE(shown("pruneBackupsButton")->isEnabled());
    click("keepBackupsChoice");
    click("keepBackupsOption-2");
    EXPECT_EQ(model->preferences()->keepBackups(), 2);
    EXPECT_EQ(shown("keepBackupsChoice")->property("displayText").toString(), "2 个");
    EXPECT_TRUE(shown("pruneBackupsButton")->isEnabled());
    click("pruneBackupsButton");
    waitUntilIdle(*model);
    EXPECT_EQ(model->status(), "没有需要清理的旧版本备份或安装包。");

    shown("feedField")->forceActiveFocus();
    for (char typed : std::string("https://www.kestryn.com/catalog.json")) {
        QTest::keyClick(&window(), typed);
    }
    EXPECT_EQ(model->preferences()->feedURL(), "https://www.kestryn.com/catalog.json");
    click("autoCheckSwitch");
    EXPECT_FALSE(model->preferences()->autoCheck());

    fs::copy_file(KESTRYN_RESOURCES_DIR "/使用与更新说明.html", resources / "使用与更新说明.html");
    click("helpLink");
    EXPECT_EQ(workspace.calls, std::vector<std::string>{"openFile .html"});
    goTo("feedback");
    EXPECT_EQ(find("portalView")->property("productID").toString(), "audio");
}

TEST_F(CenterWindowTest, ThePagesAndTheDetailShowTheModelsRowsStatesBusyProductAndBackups) {
    bundle(audio, "1.0", applications);
    bundle(shippedProduct("subtitle"), "1.0", homeApplications);
    offerUpdates();
    open();
    // The all page features film alone and shows previews as disabled.
    EXPECT_TRUE(isShown("heroCard"));
    EXPECT_EQ(find("productCard-film"), nullptr);
    EXPECT_FALSE(shown("actionButton-effects")->isEnabled());
    EXPECT_EQ(text("productStatus-audio"), "有可用更新");
    EXPECT_EQ(text("actionButton-audio"), "更新");
    EXPECT_EQ(text("navBadgeText-mine"), "2");
    goTo("mine");
    EXPECT_TRUE(isShown("productRow-audio"));
    goTo("updates");
    EXPECT_TRUE(isShown("productRow-subtitle"));
    EXPECT_TRUE(text("offerLine-subtitle").starts_with("新版本 2.0（1） · "))
        << text("offerLine-subtitle");
    EXPECT_EQ(text("sourceLabel"), "在线发布目录 · 签名已验证");
    EXPECT_EQ(text("lastCheckedLine").rfind("最近检查：", 0), 0u);

    // A busy product disables every action and the check and shows the spinner; the download
    // never ends, so the installation stays in progress.
    goTo("all");
    server.route("/audio-2.0.zip", {.silent = true});
    click("actionButton-audio");
    ASSERT_EQ(model->busyProduct().value_or(""), "audio");
    settle();
    for (const char* id : {"audio", "subtitle", "library", "effects", "film"}) {
        EXPECT_FALSE(shown(QString("actionButton-") + id)->isEnabled()) << id;
    }
    EXPECT_FALSE(shown("checkButton")->isEnabled());
    EXPECT_TRUE(isShown("statusSpinner"));
    EXPECT_FALSE(isShown("statusDot"));
    EXPECT_TRUE(isShown("cancelButton"));

    // The detail has the way out too.
    click("productCard-audio");
    click("detailCancelButton");
    waitUntilIdle(*model);
    settle();
    EXPECT_FALSE(isShown("cancelButton"));
    click("detailClose");
    server.route("/audio-2.0.zip", HttpsResponse::fileContent(temp / "site/audio-2.0.zip"));

    // The detail opens from the hero and the cards, and closes each way.
    click("heroMore");
    EXPECT_TRUE(isShown("detailSheet"));
    QTest::keyClick(&window(), Qt::Key_Escape);
    settle();
    EXPECT_FALSE(model->selected());
    // The sheet opens again after each way of closing it.
    click("productCard-audio");
    EXPECT_EQ(text("detailName"), "回响工坊");
    EXPECT_TRUE(isShown("detailShowPackage"));
    click("detailCheckIntegrity");
    waitUntilIdle(*model);
    settle();
    EXPECT_EQ(text("detailIntegrity"), "回响工坊 1.0：完整。");
    click("detailBack");
    EXPECT_FALSE(isShown("detailSheet"));
    click("productCard-effects");
    EXPECT_FALSE(shown("detailActionButton")->isEnabled());
    click("detailTab-1");
    EXPECT_EQ(model->detailSection(), CenterDetailSection::guide);
    EXPECT_TRUE(isShown("portalView"));
    click("detailClose");

    // An update's backup is listed, its button asks the model, and the list follows the restore.
    act(*model, "audio");
    click("productCard-audio");
    EXPECT_EQ(text("backupTitle-0"), "版本 1.0（1）");
    prompts.answers = {std::size_t{0}};
    click("restoreBackup-0");
    waitUntilIdle(*model);
    settle();
    EXPECT_EQ(text("backupTitle-0"), "版本 2.0（1）");

    // Updating all starts the model's queue, which CenterModelUpdateAll proves.
    click("detailClose");
    goTo("updates");
    click("updateAllButton");
    EXPECT_FALSE(shown("updateAllButton")->isEnabled());
    waitUntilIdle(*model);
}

TEST_F(CenterWindowTest, TheDialogsAnswerTheModelsQuestionsOnceEach) {
    open(Prompts::dialogs);
    const fs::path list = temp / "导出 文件夹/版本清单";
    fs::create_directories(list.parent_path());

    // Cancelled, then accepted: the file gets the list's extension.
    for (bool accept : {false, true}) {
        model->exportDiagnostics();
        settle();
        answerFileDialog("saveDialog", accept ? std::optional(list) : std::nullopt);
        EXPECT_EQ(dialogs.kind(), "");
    }
    EXPECT_TRUE(fs::exists(list.string() + ".txt"));

    // An import: a file of a kind the dialog does not offer is no answer; then the package,
    // the product from the list, and the confirmation, cancelled.
    package(audio, "1.5");
    model->importInstaller();
    settle();
    // Qt's own panel speaks Chinese too.
    for (QObject* object : window().findChildren<QObject*>()) {
        const QString label = object->property("text").toString();
        EXPECT_FALSE(label == "Open" || label == "Cancel" || label == "Filter")
            << label.toStdString();
    }
    answerFileDialog("openDialog", temp.write("site/说明.txt", "说明"));
    EXPECT_FALSE(isShown("chooser"));
    EXPECT_FALSE(model->error()) << *model->error();
    model->importInstaller();
    settle();
    answerFileDialog("openDialog", temp / "site/audio-1.5.zip");
    EXPECT_TRUE(isShown("chooser"));
    QObject* entries = find("chooserList");
    EXPECT_EQ(entries->property("count").toInt(), 5);
    // The product whose identifier the package carries, 回响工坊, is the one offered first.
    EXPECT_EQ(entries->property("currentIndex").toInt(), 2);
    click("chooserButton-0");
    ASSERT_TRUE(QTest::qWaitFor([this] { return isShown("alert"); }));
    click("alertButton-1");
    waitUntilIdle(*model);
    settle();
    EXPECT_EQ(text("actionButton-audio"), "安装");

    // Questions left open when the window closes, the one shown and one waiting behind it, are
    // answered as cancelled.
    model->exportDiagnostics();
    settle();
    std::optional<std::size_t> waiting;
    dialogs.ask({"安装 KESTRYN 回响工坊 2.0？", "", {"安装", "取消"}},
                [&](std::size_t button) { waiting = button; });
    EXPECT_EQ(dialogs.kind(), "save");
    // The test goes on after the window; the program would end here.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    window().close();
    settle();
    EXPECT_EQ(dialogs.kind(), "");
    EXPECT_EQ(waiting, 1U);
    EXPECT_TRUE(model->isIdle());
}

TEST_F(CenterWindowTest, ASecondStartBringsTheFirstWindowForwardPastAStaleSocket) {
    open();
    const fs::path socket = temp / "运行 目录/center.socket";
    fs::create_directories(socket.parent_path());
    // What a killed center leaves behind: a socket file that nobody answers.
    {
        const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof(address.sun_path) - 1);
        ASSERT_EQ(::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(descriptor);
    }
    const QString name = QString::fromStdString(socket.string());
    CenterSingleWindow first(name);
    ASSERT_TRUE(first.claim());
    first.serve(window());

    QWindow other;
    other.show();
    other.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    CenterSingleWindow second(name);
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window()));
}

} // namespace
