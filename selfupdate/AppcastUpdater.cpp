#include "selfupdate/AppcastUpdater.h"

#include "core/Base64.h"
#include "core/CancellationError.h"
#include "core/ErrorText.h"
#include "core/FileContents.h"
#include "core/FileSystem.h"
#include "core/PropertyList.h"
#include "core/ScopedRemoval.h"
#include "core/Uuid.h"
#include "core/Validation.h"
#include "core/Versions.h"
#include "installer/PackageValidation.h"
#include "selfupdate/CenterSelfUpdateError.h"
#include "selfupdate/EnclosureSignature.h"
#include "selfupdate/ReleaseNotes.h"
#include "transport/CenterDownload.h"

#include <QMetaObject>
#include <QPointer>
#include <algorithm>

namespace {

const char* const failedTitle = "软件中心更新未完成";

// ".deb" and the like from the address's last path segment, so the system picks the right
// installer; empty when the segment has no plain extension.
std::string extensionOf(std::string_view url) {
    url = url.substr(0, url.find_first_of("?#"));
    std::string_view name = url.substr(url.rfind('/') + 1);
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    std::string extension(name.substr(dot + 1));
    bool plain =
        !extension.empty() && extension.size() <= 10 &&
        std::all_of(extension.begin(), extension.end(), [](unsigned char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        });
    if (!plain) {
        return {};
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return "." + extension;
}

// The newest release in the signed feed at `feed` that this system runs, if any. The feed
// passes through a "kestryn-appcast-" work folder that never outlives the call.
std::optional<AppcastItem> newestRelease(const std::string& feed, const std::string& publicKey,
                                         std::stop_token stop, const DownloadTimeouts& timeouts) {
    CenterCore::validateHTTPS(feed);
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kestryn-appcast-" + CenterCore::newUUID());
    CenterCore::createDirectories(folder);
    ScopedRemoval removal(folder);
    std::filesystem::path file = CenterDownload::perform(
        feed, folder / "appcast.xml", AppcastFeed::maximumBytes, std::nullopt, {}, stop, timeouts);
    if (stop.stop_requested()) {
        throw CancellationError();
    }
    std::string content = CenterCore::readFileContents(file, AppcastFeed::maximumBytes);
    return AppcastFeed::newestRunnable(
        AppcastFeed::items(AppcastFeed::signedDocument(content, publicKey), feed),
        CenterInstaller::currentSystemVersion());
}

// The item's notes as plain text, its notes link when it has no notes, or the sentence that it
// has none.
std::string notesOf(const AppcastItem& item) {
    std::string notes = ReleaseNotes::plainText(item.description);
    if (notes.empty() && !item.releaseNotesLink.empty()) {
        notes = "更新说明：" + item.releaseNotesLink;
    }
    if (notes.empty()) {
        notes = "此版本没有附带更新说明。";
    }
    return notes;
}

// The enclosure of `item` downloaded into `folder` and proven by its signature; on any failure
// no file of this call remains.
std::filesystem::path verifiedPackage(const AppcastItem& item, const std::string& publicKey,
                                      const std::filesystem::path& folder, std::stop_token stop,
                                      const DownloadTimeouts& timeouts) {
    CenterCore::validateHTTPS(item.enclosureURL);
    CenterCore::createDirectories(folder);
    std::filesystem::path destination =
        folder / ("KESTRYN-Center-" + CenterCore::newUUID() + extensionOf(item.enclosureURL));
    std::filesystem::path file =
        CenterDownload::perform(item.enclosureURL, destination, item.enclosureLength,
                                item.enclosureLength, {}, stop, timeouts);
    ScopedRemoval removal(file);
    if (stop.stop_requested()) {
        throw CancellationError();
    }
    if (!EnclosureSignature::verifies(file, item.enclosureSignature, publicKey)) {
        throw CenterSelfUpdateError("下载的软件中心安装包签名无效，已删除。");
    }
    removal.release();
    return file;
}

} // namespace

AppcastUpdater::AppcastUpdater(UpdaterDelegate& delegate, CenterPlatform::CenterPrompts& prompts,
                               CenterPlatform::Workspace& workspace,
                               std::filesystem::path infoPlist, std::filesystem::path downloads,
                               DownloadTimeouts timeouts)
    : delegate_(delegate), prompts_(prompts), workspace_(workspace),
      infoPlist_(std::move(infoPlist)), downloads_(std::move(downloads)), timeouts_(timeouts) {}

AppcastUpdater::~AppcastUpdater() = default;

UpdaterFactory AppcastUpdater::factory(CenterPlatform::CenterPrompts& prompts,
                                       CenterPlatform::Workspace& workspace,
                                       std::filesystem::path infoPlist,
                                       std::filesystem::path downloads, DownloadTimeouts timeouts) {
    return [&prompts, &workspace, infoPlist = std::move(infoPlist),
            downloads = std::move(downloads), timeouts](UpdaterDelegate& delegate) {
        return std::make_unique<AppcastUpdater>(delegate, prompts, workspace, infoPlist, downloads,
                                                timeouts);
    };
}

std::optional<std::string> AppcastUpdater::start() {
    std::optional<PropertyList> info = PropertyList::read(infoPlist_);
    std::optional<std::string> version = info ? info->string("CFBundleVersion") : std::nullopt;
    if (!version || version->empty()) {
        return "软件中心缺少版本信息，不能检查更新。";
    }
    std::optional<std::string> keyText = info->string("SUPublicEDKey");
    std::optional<std::string> key = keyText ? CenterCore::base64Decode(*keyText) : std::nullopt;
    if (!key || key->size() != 32) {
        return "软件中心缺少有效的更新公钥，暂时不能连接在线更新。";
    }
    publicKey_ = *key;
    version_ = *version;
    shortVersion_ = info->string("CFBundleShortVersionString").value_or("");
    if (shortVersion_.empty()) {
        shortVersion_ = version_;
    }
    ownFeed_ = info->string("SUFeedURL").value_or("");
    return std::nullopt;
}

template <typename Value, typename Work, typename Deliver>
void AppcastUpdater::runInBackground(Work work, Deliver deliver) {
    worker_ = std::jthread(
        [this, work = std::move(work), deliver = std::move(deliver)](std::stop_token stop) {
            Outcome<Value> outcome;
            try {
                outcome.value = work(stop);
            } catch (...) {
                outcome.failure = CenterCore::describeError(std::current_exception());
            }
            // Queued to this object: dropped unheard if the updater is gone by then.
            QMetaObject::invokeMethod(
                this, [deliver, outcome = std::move(outcome)] { deliver(outcome); },
                Qt::QueuedConnection);
        });
}

void AppcastUpdater::checkForUpdates() {
    if (inSession_) {
        return;
    }
    inSession_ = true;
    delegate_.updaterStatusChanged("正在检查软件中心更新……");
    std::string feed = delegate_.feedURLString().value_or(ownFeed_);
    if (feed.empty()) {
        finish(false, failedTitle, "尚未配置软件中心更新地址。");
        return;
    }
    runInBackground<std::optional<AppcastItem>>(
        [feed, key = publicKey_, timeouts = timeouts_](std::stop_token stop) {
            return newestRelease(feed, key, stop, timeouts);
        },
        [this](const Outcome<std::optional<AppcastItem>>& outcome) { checked(outcome); });
}

void AppcastUpdater::checked(const Outcome<std::optional<AppcastItem>>& outcome) {
    if (!outcome.value) {
        finish(false, failedTitle, outcome.failure);
        return;
    }
    const std::optional<AppcastItem>& newest = *outcome.value;
    if (!newest || CenterCore::numericCompare(newest->version, version_) <= 0) {
        finish(true, "软件中心已是最新版本", "软件中心 " + shortVersion_ + " 已是最新版本。");
        return;
    }
    delegate_.updaterStatusChanged("发现软件中心新版本 " + newest->displayVersion() + "。");
    if (newest->informational) {
        inform(*newest);
    } else {
        offer(*newest);
    }
}

void AppcastUpdater::offer(const AppcastItem& item) {
    CenterPlatform::Alert alert{"发现软件中心新版本 " + item.displayVersion(),
                                "当前版本为 " + shortVersion_ + "。\n\n" + notesOf(item),
                                {"下载并安装", "暂不更新"}};
    QPointer<AppcastUpdater> self(this);
    prompts_.ask(alert, [self, item](std::size_t button) {
        if (!self) {
            return;
        }
        if (button == 0) {
            self->download(item);
        } else {
            self->finish(true, {}, "已暂不安装软件中心 " + item.displayVersion() + "。");
        }
    });
}

void AppcastUpdater::inform(const AppcastItem& item) {
    CenterPlatform::Alert alert{"发现软件中心新版本 " + item.displayVersion(),
                                "当前版本为 " + shortVersion_ + "。此版本请在网页“" + item.link +
                                    "”上获取，软件中心不会下载任何文件。\n\n" + notesOf(item),
                                {"打开网页", "暂不打开"}};
    QPointer<AppcastUpdater> self(this);
    prompts_.ask(alert, [self, item](std::size_t button) {
        if (!self) {
            return;
        }
        const std::string page = "软件中心 " + item.displayVersion() + " 的网页“" + item.link + "”";
        if (button != 0) {
            self->finish(true, {}, "已暂不打开" + page + "。");
        } else if (self->workspace_.openURL(item.link)) {
            self->finish(true, {}, "已打开" + page + "。");
        } else {
            self->finish(false, failedTitle, "无法打开" + page + "，请手动访问。");
        }
    });
}

void AppcastUpdater::download(const AppcastItem& item) {
    delegate_.updaterStatusChanged("正在下载软件中心 " + item.displayVersion() + "……");
    runInBackground<std::filesystem::path>(
        [item, key = publicKey_, folder = downloads_, timeouts = timeouts_](std::stop_token stop) {
            return verifiedPackage(item, key, folder, stop, timeouts);
        },
        [this, item](const Outcome<std::filesystem::path>& outcome) { downloaded(item, outcome); });
}

void AppcastUpdater::downloaded(const AppcastItem& item,
                                const Outcome<std::filesystem::path>& outcome) {
    if (!outcome.value) {
        finish(false, failedTitle, outcome.failure);
        return;
    }
    const std::string version = item.displayVersion();
    if (!workspace_.openFile(*outcome.value)) {
        finish(false, failedTitle,
               "已验证的软件中心 " + version + " 安装包保存在“" + outcome.value->string() +
                   "”，但无法交给系统的软件包安装程序。");
        return;
    }
    finish(true, "软件中心新版本已交给系统安装程序",
           "已验证的软件中心 " + version +
               " 安装包已交给系统的软件包安装程序，请按它的提示完成安装。");
}

void AppcastUpdater::finish(bool succeeded, const std::string& message,
                            const std::string& sentence) {
    inSession_ = false;
    if (!message.empty()) {
        prompts_.ask({message, sentence, {"好"}}, [](std::size_t) {});
    }
    delegate_.updaterFinished(succeeded, sentence);
}
