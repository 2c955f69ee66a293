#pragma once

#include <QObject>
#include <string>

namespace CenterPages {
Q_NAMESPACE

// The pages of the sidebar, in order.
enum class CenterPage { all, mine, updates, feedback, settings };
Q_ENUM_NS(CenterPage)

// The tabs of a product's detail, in order.
enum class CenterDetailSection { overview, guide, comments };
Q_ENUM_NS(CenterDetailSection)

// "all", "mine", "updates", "feedback", "settings".
[[nodiscard]] std::string rawValue(CenterPage page);
// The tab titles: "功能介绍", "使用说明", "建议评论".
[[nodiscard]] std::string rawValue(CenterDetailSection section);

} // namespace CenterPages

using CenterPages::CenterDetailSection;
using CenterPages::CenterPage;
