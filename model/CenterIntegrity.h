#pragma once

#include "core/Records.h"
#include "installer/ResourceSeal.h"

#include <QObject>
#include <QVariantMap>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The integrity of the installed copies: each checked against the seal its maker gave it, as the
// installer checks a staged copy, on a worker thread. The last result of each product is kept
// here for the views; `changed` follows each round of checks.
class CenterIntegrity : public QObject {
    Q_OBJECT
    // The last result's line of each product checked, by product id, for the views.
    Q_PROPERTY(QVariantMap lines READ lines NOTIFY changed)
    Q_PROPERTY(QVariantMap damaged READ damaged NOTIFY changed)

  public:
    struct Result {
        bool intact = false;
        // "回响工坊 1.0：完整。", or what departs from the seal.
        std::string line;
    };
    using Copy = std::pair<CenterProduct, InstalledApp>;

    using QObject::QObject;

    // Checks one copy on the calling thread; reads each sealed file once.
    [[nodiscard]] static Result check(const Copy& copy);
    // The line for these departures from the seal: the first few paths of each kind, then how
    // many there are.
    [[nodiscard]] static std::string
    line(const Copy& copy, const std::vector<CenterInstaller::ResourceSeal::SealProblem>& problems);

    // Checks the copies one after another on a worker thread and calls `done` on this thread
    // when every result is in.
    void checkInBackground(std::vector<Copy> copies, std::function<void()> done);

    // The last result of each product checked, by product id.
    [[nodiscard]] const std::map<std::string, Result>& results() const { return results_; }
    [[nodiscard]] QVariantMap lines() const;
    // The products whose last check found damage, by product id, for the views.
    [[nodiscard]] QVariantMap damaged() const;
    // Drops the product's last result: its copy was replaced.
    void forget(const std::string& product);

  signals:
    void changed();

  private:
    std::map<std::string, Result> results_;
};
