#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// One of the maker's web pages the portal shows: a product's usage guide, a product's
// community page, or the support page.
class PortalDestination {
  public:
    // The cases in their fixed order; the order is part of the hash.
    enum class Kind { guide, community, support };

    [[nodiscard]] static PortalDestination guide(std::string productID) {
        return {Kind::guide, std::move(productID)};
    }
    [[nodiscard]] static PortalDestination community(std::string productID) {
        return {Kind::community, std::move(productID)};
    }
    [[nodiscard]] static PortalDestination support() { return {Kind::support, {}}; }

    [[nodiscard]] Kind kind() const noexcept { return kind_; }
    // The product id of a guide or community page; empty for the support page.
    [[nodiscard]] const std::string& productID() const noexcept { return productID_; }
    // The stable identifier: "guide-<id>", "community-<id>" or "support".
    [[nodiscard]] std::string id() const;
    // The page's title as the portal shows it.
    [[nodiscard]] std::string title() const;
    // The display name of the page's product; nothing for the support page or an unknown id.
    [[nodiscard]] std::optional<std::string> productName() const;

    friend bool operator==(const PortalDestination&, const PortalDestination&) = default;

  private:
    PortalDestination(Kind kind, std::string productID)
        : kind_(kind), productID_(std::move(productID)) {}

    Kind kind_;
    std::string productID_;
};

template <> struct std::hash<PortalDestination> {
    std::size_t operator()(const PortalDestination& destination) const noexcept;
};
