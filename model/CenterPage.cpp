#include "model/CenterPage.h"

namespace CenterPages {

std::string rawValue(CenterPage page) {
    switch (page) {
    case CenterPage::all:
        return "all";
    case CenterPage::mine:
        return "mine";
    case CenterPage::updates:
        return "updates";
    case CenterPage::feedback:
        return "feedback";
    case CenterPage::settings:
        return "settings";
    }
    return "all";
}

std::string rawValue(CenterDetailSection section) {
    switch (section) {
    case CenterDetailSection::overview:
        return "功能介绍";
    case CenterDetailSection::guide:
        return "使用说明";
    case CenterDetailSection::comments:
        return "建议评论";
    }
    return "功能介绍";
}

} // namespace CenterPages
