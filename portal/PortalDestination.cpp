#include "portal/PortalDestination.h"

#include "portal/PortalLinks.h"

std::string PortalDestination::id() const {
    switch (kind_) {
    case Kind::guide:
        return "guide-" + productID_;
    case Kind::community:
        return "community-" + productID_;
    case Kind::support:
        break;
    }
    return "support";
}

std::string PortalDestination::title() const {
    switch (kind_) {
    case Kind::guide:
        return "使用说明";
    case Kind::community:
        return "建议与评论";
    case Kind::support:
        break;
    }
    return "支持 KESTRYN";
}

std::optional<std::string> PortalDestination::productName() const {
    if (kind_ == Kind::support) {
        return std::nullopt;
    }
    const auto& names = PortalLinks::productNames();
    auto found = names.find(productID_);
    return found == names.end() ? std::nullopt : std::optional(found->second);
}

std::size_t
std::hash<PortalDestination>::operator()(const PortalDestination& destination) const noexcept {
    std::size_t seed = static_cast<std::size_t>(destination.kind());
    if (destination.kind() != PortalDestination::Kind::support) {
        // The usual combination step, so that equal ids under different cases differ.
        seed ^= std::hash<std::string>()(destination.productID()) + 0x9e3779b97f4a7c15ULL +
                (seed << 6) + (seed >> 2);
    }
    return seed;
}
