#pragma once

#include "model/CenterSettings.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

// The user's settings as the model and the views read them: the catalog address, automatic
// checks, the center's own update feed and the backups kept per product. Each value is kept in
// the settings file; each change signal follows a real change only. The two addresses are
// edited as typed and stored when saved.
class CenterPreferences : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString feedURL READ feedURLText WRITE setFeedURLText NOTIFY feedURLChanged)
    Q_PROPERTY(QString centerFeedURL READ centerFeedURLText WRITE setCenterFeedURLText NOTIFY
                   centerFeedURLChanged)
    Q_PROPERTY(QString centerFeedLine READ centerFeedLine NOTIFY centerFeedURLChanged)
    Q_PROPERTY(bool autoCheck READ autoCheck WRITE setAutoCheck NOTIFY autoCheckChanged)
    Q_PROPERTY(int keepBackups READ keepBackupsForViews WRITE setKeepBackupsForViews NOTIFY
                   keepBackupsChanged)
    Q_PROPERTY(QVariantList keepBackupsChoices READ keepBackupsChoices NOTIFY keepBackupsChanged)

  public:
    // The addresses in force while the file stores none (the center's Info.plist).
    struct Defaults {
        std::string feedURL;
        std::string centerFeedURL;
    };

    CenterPreferences(std::filesystem::path file, const Defaults& defaults,
                      QObject* parent = nullptr);

    [[nodiscard]] const std::string& feedURL() const { return feedURL_; }
    [[nodiscard]] const std::string& centerFeedURL() const { return centerFeedURL_; }
    [[nodiscard]] bool autoCheck() const { return autoCheck_; }
    // Backups kept per product; nothing (the default) keeps all.
    [[nodiscard]] std::optional<int> keepBackups() const;
    // The user's sentence for a settings file that could not be read, if any.
    [[nodiscard]] const std::optional<std::string>& problem() const { return settings_.problem(); }

    // The addresses as typed; saveFeedURL and saveCenterFeedURL store them.
    void setFeedURL(std::string text);
    void setCenterFeedURL(std::string text);
    void setAutoCheck(bool on);
    // A limit below one keeps all.
    void setKeepBackups(std::optional<int> keep);

    // Trims the typed address, refuses one that is not HTTPS and stores it; feedURLSaved follows.
    Q_INVOKABLE void saveFeedURL();
    Q_INVOKABLE void saveCenterFeedURL();

    // "尚未连接在线更新服务" or "使用已配置的更新订阅".
    [[nodiscard]] QString centerFeedLine() const;
    // The limits the settings offer: maps with text and value (0 keeps all).
    [[nodiscard]] QVariantList keepBackupsChoices() const;

  signals:
    void feedURLChanged();
    void centerFeedURLChanged();
    void autoCheckChanged();
    void keepBackupsChanged();
    // The catalog address was stored; `replaced` when it differs from the one stored before.
    void feedURLSaved(bool replaced);
    void centerFeedURLSaved();
    // An address was refused or a value could not be stored: the user's sentence.
    void failed(const std::string& sentence);

  private:
    // Stores one value; a failure is reported and leaves the file as it was.
    bool store(const std::function<void()>& write);
    // The typed address trimmed, when it is empty or HTTPS; otherwise `refusal` is reported.
    std::optional<std::string> acceptedAddress(const std::string& typed, const char* refusal);

    [[nodiscard]] QString feedURLText() const { return QString::fromStdString(feedURL_); }
    void setFeedURLText(const QString& text) { setFeedURL(text.toStdString()); }
    [[nodiscard]] QString centerFeedURLText() const {
        return QString::fromStdString(centerFeedURL_);
    }
    void setCenterFeedURLText(const QString& text) { setCenterFeedURL(text.toStdString()); }
    [[nodiscard]] int keepBackupsForViews() const { return keepBackups().value_or(0); }
    void setKeepBackupsForViews(int keep) { setKeepBackups(keep); }

    CenterSettings settings_;
    std::string feedURL_;
    std::string centerFeedURL_;
    bool autoCheck_;
};
