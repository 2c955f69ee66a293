#include "app/WindowPrompts.h"

#include "model/ViewText.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using ViewText::text;
using ViewText::texts;

namespace {

// The user's folder of this kind when it exists, otherwise the home folder.
QUrl existingFolder(QStandardPaths::StandardLocation location) {
    const QString folder = QStandardPaths::writableLocation(location);
    return QUrl::fromLocalFile(QFileInfo(folder).isDir() ? folder : QDir::homePath());
}

} // namespace

WindowPrompts::WindowPrompts(QObject* parent) : QObject(parent) {}

WindowPrompts::~WindowPrompts() = default;

void WindowPrompts::chooseFile(const CenterPlatform::OpenPanel& panel,
                               std::function<void(std::optional<std::filesystem::path>)> answer) {
    Question question;
    question.kind = "open";
    question.title = text(panel.title);
    question.message = text(panel.message);
    question.extensions = texts(panel.extensions);
    question.file = std::move(answer);
    enqueue(std::move(question));
}

void WindowPrompts::choose(const CenterPlatform::ChoiceAlert& alert,
                           std::function<void(std::optional<std::size_t>)> answer) {
    Question question;
    question.kind = "choose";
    question.message = text(alert.message);
    question.details = text(alert.details);
    question.choices = texts(alert.choices);
    // An entry outside the list opens on the first one.
    question.preselected =
        alert.preselected < alert.choices.size() ? static_cast<int>(alert.preselected) : 0;
    question.buttons = texts(alert.buttons);
    question.choice = std::move(answer);
    enqueue(std::move(question));
}

void WindowPrompts::ask(const CenterPlatform::Alert& alert,
                        std::function<void(std::size_t)> answer) {
    Question question;
    question.kind = "ask";
    question.message = text(alert.message);
    question.details = text(alert.details);
    question.buttons = texts(alert.buttons);
    question.button = std::move(answer);
    enqueue(std::move(question));
}

void WindowPrompts::chooseSaveLocation(
    const CenterPlatform::SavePanel& panel,
    std::function<void(std::optional<std::filesystem::path>)> answer) {
    Question question;
    question.kind = "save";
    question.extensions = {text(panel.extension)};
    question.proposedName = text(panel.proposedName);
    question.file = std::move(answer);
    enqueue(std::move(question));
}

void WindowPrompts::enqueue(Question question) {
    questions_.push_back(std::move(question));
    if (questions_.size() == 1) {
        Q_EMIT questionChanged();
    }
}

void WindowPrompts::finish(const std::function<void(Question&)>& reply) {
    if (questions_.empty()) {
        return;
    }
    Question question = std::move(questions_.front());
    questions_.pop_front();
    // The next question is shown before the answer runs, which may ask one more.
    Q_EMIT questionChanged();
    reply(question);
}

void WindowPrompts::answerFile(const QUrl& file) {
    finish([&file](Question& question) {
        if (!question.file) {
            return;
        }
        if (!file.isLocalFile()) {
            question.file(std::nullopt);
            return;
        }
        QString path = file.toLocalFile();
        const QString extension = QFileInfo(path).suffix().toLower();
        if (question.kind == "save" && !question.extensions.contains(extension)) {
            path += "." + question.extensions.front();
        } else if (question.kind == "open" && !question.extensions.contains(extension)) {
            question.file(std::nullopt);
            return;
        }
        question.file(std::filesystem::path(path.toStdString()));
    });
}

void WindowPrompts::answerChoice(int index) {
    finish([index](Question& question) {
        if (!question.choice) {
            return;
        }
        const bool listed = index >= 0 && index < question.choices.size();
        question.choice(listed ? std::optional<std::size_t>(index) : std::nullopt);
    });
}

void WindowPrompts::answerButton(int index) {
    finish([index](Question& question) {
        if (!question.button) {
            return;
        }
        // An index outside the buttons is the last one, the alert's way out.
        const bool listed = index >= 0 && index < question.buttons.size();
        question.button(static_cast<std::size_t>(listed ? index : question.buttons.size() - 1));
    });
}

void WindowPrompts::cancel() {
    finish([](Question& question) {
        if (question.file) {
            question.file(std::nullopt);
        } else if (question.choice) {
            question.choice(std::nullopt);
        } else if (question.button) {
            question.button(
                static_cast<std::size_t>(std::max<qsizetype>(question.buttons.size() - 1, 0)));
        }
    });
}

void WindowPrompts::cancelAll() {
    while (!questions_.empty()) {
        cancel();
    }
}

QString WindowPrompts::kind() const {
    return questions_.empty() ? QString() : questions_.front().kind;
}
QString WindowPrompts::title() const {
    return questions_.empty() ? QString() : questions_.front().title;
}
QString WindowPrompts::message() const {
    return questions_.empty() ? QString() : questions_.front().message;
}
QString WindowPrompts::details() const {
    return questions_.empty() ? QString() : questions_.front().details;
}
QStringList WindowPrompts::choices() const {
    return questions_.empty() ? QStringList() : questions_.front().choices;
}
int WindowPrompts::preselected() const {
    return questions_.empty() ? 0 : questions_.front().preselected;
}
QStringList WindowPrompts::buttons() const {
    return questions_.empty() ? QStringList() : questions_.front().buttons;
}
QString WindowPrompts::proposedName() const {
    return questions_.empty() ? QString() : questions_.front().proposedName;
}

QStringList WindowPrompts::nameFilters() const {
    if (questions_.empty() || questions_.front().extensions.isEmpty()) {
        return {};
    }
    const Question& question = questions_.front();
    QStringList patterns;
    for (const QString& extension : question.extensions) {
        patterns << "*." + extension;
    }
    const QString label = question.kind == "save" ? "文本文件" : "KESTRYN 安装包";
    return {label + " (" + patterns.join(' ') + ")"};
}

QUrl WindowPrompts::openFolder() {
    return existingFolder(QStandardPaths::DownloadLocation);
}

QUrl WindowPrompts::saveFolder() {
    return existingFolder(QStandardPaths::DocumentsLocation);
}
