#pragma once

#include "platform/CenterPrompts.h"

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>

// The model's questions as the window's dialogs: the question asked first is published here,
// the dialog that shows it answers through one of the answer calls, and the next question
// follows. Every question is answered exactly once: by its dialog, or cancelled when the window
// closes (cancelAll).
class WindowPrompts : public QObject, public CenterPlatform::CenterPrompts {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The window's prompts come from the program.")
    // "open", "choose", "ask" or "save" while a question waits; empty otherwise.
    Q_PROPERTY(QString kind READ kind NOTIFY questionChanged)
    Q_PROPERTY(QString title READ title NOTIFY questionChanged)
    Q_PROPERTY(QString message READ message NOTIFY questionChanged)
    Q_PROPERTY(QString details READ details NOTIFY questionChanged)
    Q_PROPERTY(QStringList choices READ choices NOTIFY questionChanged)
    // The entry of `choices` the chooser opens with.
    Q_PROPERTY(int preselected READ preselected NOTIFY questionChanged)
    Q_PROPERTY(QStringList buttons READ buttons NOTIFY questionChanged)
    // File-dialog filters, e.g. "KESTRYN 安装包 (*.zip *.dmg *.pkg)".
    Q_PROPERTY(QStringList nameFilters READ nameFilters NOTIFY questionChanged)
    Q_PROPERTY(QString proposedName READ proposedName NOTIFY questionChanged)
    // Where the file dialogs start: the downloads folder for packages, the documents for lists.
    Q_PROPERTY(QUrl openFolder READ openFolder CONSTANT)
    Q_PROPERTY(QUrl saveFolder READ saveFolder CONSTANT)

  public:
    explicit WindowPrompts(QObject* parent = nullptr);
    // Questions still waiting are dropped unanswered: whoever asked them is gone by now.
    ~WindowPrompts() override;

    void chooseFile(const CenterPlatform::OpenPanel& panel,
                    std::function<void(std::optional<std::filesystem::path>)> answer) override;
    void choose(const CenterPlatform::ChoiceAlert& alert,
                std::function<void(std::optional<std::size_t>)> answer) override;
    void ask(const CenterPlatform::Alert& alert, std::function<void(std::size_t)> answer) override;
    void
    chooseSaveLocation(const CenterPlatform::SavePanel& panel,
                       std::function<void(std::optional<std::filesystem::path>)> answer) override;

    // The file picked in an open or save dialog; an empty address cancels. An opened file of
    // another kind than the dialog allows counts as cancelled; a saved file gets the extension.
    Q_INVOKABLE void answerFile(const QUrl& file);
    // The entry picked in the chooser when its first button was pressed.
    Q_INVOKABLE void answerChoice(int index);
    // The button pressed in an alert.
    Q_INVOKABLE void answerButton(int index);
    // Closes the current question as cancelled.
    Q_INVOKABLE void cancel();
    // Cancels every waiting question (the window closes).
    void cancelAll();

    [[nodiscard]] QString kind() const;
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString message() const;
    [[nodiscard]] QString details() const;
    [[nodiscard]] QStringList choices() const;
    [[nodiscard]] int preselected() const;
    [[nodiscard]] QStringList buttons() const;
    [[nodiscard]] QStringList nameFilters() const;
    [[nodiscard]] QString proposedName() const;
    [[nodiscard]] static QUrl openFolder();
    [[nodiscard]] static QUrl saveFolder();

  Q_SIGNALS:
    void questionChanged();

  private:
    struct Question {
        QString kind;
        QString title;
        QString message;
        QString details;
        QStringList choices;
        int preselected = 0;
        QStringList buttons;
        QStringList extensions;
        QString proposedName;
        std::function<void(std::optional<std::filesystem::path>)> file;
        std::function<void(std::optional<std::size_t>)> choice;
        std::function<void(std::size_t)> button;
    };

    void enqueue(Question question);
    // Takes the current question off the queue, gives it its answer, shows the next one.
    void finish(const std::function<void(Question&)>& reply);

    std::deque<Question> questions_;
};
