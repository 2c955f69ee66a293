#pragma once

#include <stdexcept>
#include <string>

// The one error of the catalog core, the transport and the installer; what() is the sentence
// the user sees.
class CenterError : public std::exception {
  public:
    enum class Kind { invalid, network, running, install, signature, checksum };

    static CenterError invalid(std::string message) { return {Kind::invalid, std::move(message)}; }
    static CenterError network(std::string message) { return {Kind::network, std::move(message)}; }
    // `productName` is the name of the application that must be quit first.
    static CenterError running(std::string productName) {
        return {Kind::running, std::move(productName)};
    }
    static CenterError install(std::string message) { return {Kind::install, std::move(message)}; }
    static CenterError signature() { return {Kind::signature, {}}; }
    static CenterError checksum() { return {Kind::checksum, {}}; }

    [[nodiscard]] Kind kind() const noexcept { return kind_; }
    // The case's payload: the message, or the product name for `running`; empty otherwise.
    [[nodiscard]] const std::string& payload() const noexcept { return payload_; }
    [[nodiscard]] const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const CenterError& a, const CenterError& b) {
        return a.kind_ == b.kind_ && a.payload_ == b.payload_;
    }

  private:
    CenterError(Kind kind, std::string payload);

    Kind kind_;
    std::string payload_;
    std::string description_;
};
