#include "core/Registry.h"

#include "core/CenterError.h"

namespace CenterCore {

const std::map<std::string, std::string>& productBundleIDs() {
    static const std::map<std::string, std::string> table = {
        {"film", "com.kestryn.film"},
        {"subtitle", "local.captionlink.workflow"},
        {"audio", "local.soundlink"},
        {"library", "local.tavelo.asset-library"},
        {"video", "com.kestryn.video-assistant.preview"},
        {"effects", "com.kestryn.effects.preview"},
    };
    return table;
}

const std::set<std::string>& previewOnlyProductIDs() {
    static const std::set<std::string> ids = {"effects"};
    return ids;
}

bool isRegistered(const CenterProduct& product) {
    auto found = productBundleIDs().find(product.id);
    return found != productBundleIDs().end() && found->second == product.bundleID;
}

void validateRegistered(const CenterCatalog& catalog) {
    for (const CenterProduct& product : catalog.products) {
        if (!isRegistered(product)) {
            throw CenterError::invalid("发布清单包含未授权的软件标识。");
        }
    }
}

} // namespace CenterCore
