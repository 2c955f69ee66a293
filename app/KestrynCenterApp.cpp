#include "app/KestrynCenterApp.h"

#include "portal/web/CenterPortal.h"

#include <QFont>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QQuickStyle>
#include <QTranslator>
#include <QUrl>

namespace {

// The two labels of Qt's file dialog that its Chinese catalog lacks.
class FileDialogLabels : public QTranslator {
  public:
    using QTranslator::QTranslator;

    [[nodiscard]] QString translate(const char* context, const char* sourceText, const char*,
                                    int) const override {
        if (qstrcmp(context, "FileDialog") == 0 && qstrcmp(sourceText, "File name") == 0) {
            return "文件名";
        }
        if (qstrcmp(context, "FileDialog") == 0 && qstrcmp(sourceText, "Filter") == 0) {
            return "文件类型";
        }
        return {};
    }
    [[nodiscard]] bool isEmpty() const override { return false; }
};

} // namespace

KestrynCenterApp::KestrynCenterApp(CenterModel& model, CenterPlatform::Workspace& workspace,
                                   WindowPrompts& prompts, CenterActivation* activation,
                                   const std::filesystem::path& resources) {
    applyStyle();
    CenterPortal::useWorkspace(engine_, workspace);
    engine_.setInitialProperties(
        {{"center", QVariant::fromValue(&model)}, {"prompts", QVariant::fromValue(&prompts)}});
    engine_.load(QUrl("qrc:/qt-project.org/imports/Kestryn/Center/CenterMainWindow.qml"));
    if (!engine_.rootObjects().isEmpty()) {
        window_ = qobject_cast<QQuickWindow*>(engine_.rootObjects().front());
    }
    if (window_ != nullptr) {
        new CenterDelegate(*window_, prompts, activation, resources);
    }
}

void KestrynCenterApp::applyStyle() {
    // Once per process, before the first window: the style cannot change afterwards.
    static const bool applied = [] {
        // Never the desktop's theme. Our views use the Basic controls, under which our colours
        // hold; Qt's own file dialogs take the Fusion variant, which follows the dark palette.
        QQuickStyle::setStyle("Fusion");
        QFont font("Noto Sans CJK SC");
        font.setPixelSize(13);
        QGuiApplication::setFont(font);
        // Every text is Chinese, Qt's own buttons and dialogs included, whatever the locale.
        const QLocale chinese(QLocale::Chinese, QLocale::China);
        QLocale::setDefault(chinese);
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(chinese, "qt", "_",
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(translator);
        }
        QCoreApplication::installTranslator(new FileDialogLabels(QCoreApplication::instance()));
        return true;
    }();
    static_cast<void>(applied);
}
