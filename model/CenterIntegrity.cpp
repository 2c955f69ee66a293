#include "model/CenterIntegrity.h"

#include "core/ErrorText.h"
#include "model/BackgroundWork.h"

#include <array>

namespace {

using CenterInstaller::ResourceSeal::SealProblem;

// How many paths of one kind a line names before it only counts the rest.
constexpr std::size_t namedPaths = 3;

// One kind of departure in a line: "已修改 2 个文件：a、b", with "等" after the first few.
struct KindText {
    SealProblem::Kind kind;
    const char* before;
    const char* after;
};

std::string kindPart(const std::vector<SealProblem>& problems, const KindText& text) {
    std::string names;
    std::size_t count = 0;
    for (const SealProblem& problem : problems) {
        if (problem.kind == text.kind && ++count <= namedPaths) {
            names += (count > 1 ? "、" : "") + problem.path;
        }
    }
    if (count == 0) {
        return {};
    }
    return text.before + std::to_string(count) + text.after + "：" + names +
           (count > namedPaths ? " 等" : "");
}

} // namespace

CenterIntegrity::Result CenterIntegrity::check(const Copy& copy) {
    try {
        std::vector<SealProblem> problems =
            CenterInstaller::ResourceSeal::problems(copy.second.url);
        return {problems.empty(), line(copy, problems)};
    } catch (...) {
        return {false, copy.first.name + " " + copy.second.version + "：无法检查。" +
                           CenterCore::describeError(std::current_exception())};
    }
}

std::string CenterIntegrity::line(const Copy& copy, const std::vector<SealProblem>& problems) {
    const std::string named = copy.first.name + " " + copy.second.version + "：";
    if (problems.empty()) {
        return named + "完整。";
    }
    static const std::array<KindText, 4> kinds = {{
        {SealProblem::Kind::changed, "已修改 ", " 个文件"},
        {SealProblem::Kind::missing, "缺失 ", " 个文件"},
        {SealProblem::Kind::unsealed, "新增 ", " 个文件"},
        {SealProblem::Kind::linkOutside, "", " 个链接指向应用之外"},
    }};
    std::string parts;
    for (const KindText& kind : kinds) {
        if (std::string part = kindPart(problems, kind); !part.empty()) {
            parts += (parts.empty() ? "" : "；") + part;
        }
    }
    return named + "不完整。" + parts + "。";
}

void CenterIntegrity::checkInBackground(std::vector<Copy> copies, std::function<void()> done) {
    runInBackground(
        this,
        [copies = std::move(copies)] {
            std::map<std::string, Result> checked;
            for (const Copy& copy : copies) {
                checked[copy.first.id] = check(copy);
            }
            return checked;
        },
        [this, done = std::move(done)](const Outcome<std::map<std::string, Result>>& outcome) {
            if (const auto* checked = std::get_if<std::map<std::string, Result>>(&outcome)) {
                for (const auto& [id, result] : *checked) {
                    results_[id] = result;
                }
            }
            emit changed();
            done();
        });
}

QVariantMap CenterIntegrity::lines() const {
    QVariantMap lines;
    for (const auto& [id, result] : results_) {
        lines.insert(QString::fromStdString(id), QString::fromStdString(result.line));
    }
    return lines;
}

QVariantMap CenterIntegrity::damaged() const {
    QVariantMap damaged;
    for (const auto& [id, result] : results_) {
        if (!result.intact) {
            damaged.insert(QString::fromStdString(id), true);
        }
    }
    return damaged;
}

void CenterIntegrity::forget(const std::string& product) {
    if (results_.erase(product) > 0) {
        emit changed();
    }
}
