#pragma once

#include "core/Records.h"
#include "installer/Backups.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The version history as the window shows it: each product's backups and what the Backups and
// Downloads folders take on disk. It is read on a worker thread and kept here, so drawing the
// history never touches the disk; `changed` follows a reading that found something new.
class CenterHistory : public QObject {
    Q_OBJECT

  public:
    // What the Backups and Downloads folders take on disk, in bytes.
    struct DiskUse {
        std::uintmax_t backups = 0;
        std::uintmax_t downloads = 0;

        friend bool operator==(const DiskUse&, const DiskUse&) = default;
    };
    // One reading of the folders.
    struct Snapshot {
        std::map<std::string, std::vector<CenterInstaller::Backups::Backup>> backups;
        DiskUse diskUse;
        // Whether Downloads or Imported holds anything a cleaning could look at.
        bool hasPackages = false;

        friend bool operator==(const Snapshot&, const Snapshot&) = default;
    };

    explicit CenterHistory(std::filesystem::path supportDirectory, QObject* parent = nullptr);

    // Reads the folders as they are now, on the calling thread.
    [[nodiscard]] static Snapshot read(const std::filesystem::path& supportDirectory,
                                       const std::vector<CenterProduct>& products);
    [[nodiscard]] static DiskUse measure(const std::filesystem::path& supportDirectory);
    // "历史版本占用 …，下载的安装包占用 …。"
    [[nodiscard]] static std::string diskUseLine(const DiskUse& use);

    // Reads the folders again on a worker thread and calls `done` on this one when the reading
    // is in. A request while one runs is served by one more reading after it.
    void reload(std::vector<CenterProduct> products, std::function<void()> done);

    // The last reading.
    [[nodiscard]] const std::vector<CenterInstaller::Backups::Backup>&
    backupsOf(const std::string& product) const;
    [[nodiscard]] const Snapshot& snapshot() const { return snapshot_; }

  signals:
    void changed();

  private:
    void readInBackground();

    std::filesystem::path supportDirectory_;
    Snapshot snapshot_;
    std::vector<CenterProduct> products_;
    std::vector<std::function<void()>> waiting_;
    bool reading_ = false;
    bool again_ = false;
};
