#pragma once

#include "installer/InstallOperations.h"

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

// The real install operations, numbered call by call from 1, with a way to make chosen calls
// fail as the platform would (an I/O error, or a failed attribute call) and to run something
// just before a chosen call (a test stops the process there to stand for a crash).
class FailingOperations : public CenterInstaller::InstallOperations {
  public:
    std::set<std::size_t> failing;
    std::size_t interruptBefore = 0;
    std::function<void()> interrupt;
    // Every call made, as "operation name-of-the-item".
    std::vector<std::string> calls;

    void createDirectory(const std::filesystem::path& folder) override {
        step("createDirectory", folder);
        real_.createDirectory(folder);
    }
    void createDirectories(const std::filesystem::path& folder) override {
        step("createDirectories", folder);
        real_.createDirectories(folder);
    }
    void move(const std::filesystem::path& from, const std::filesystem::path& to) override {
        step("move", to);
        real_.move(from, to);
    }
    void remove(const std::filesystem::path& item) override {
        step("remove", item);
        real_.remove(item);
    }
    void unpack(const std::filesystem::path& zip,
                const std::filesystem::path& destination) override {
        step("unpack", destination);
        real_.unpack(zip, destination);
    }
    void copyBundle(const std::filesystem::path& from, const std::filesystem::path& to) override {
        step("copyBundle", to);
        real_.copyBundle(from, to);
    }
    void verifySignature(const std::filesystem::path& app) override {
        step("verifySignature", app);
        real_.verifySignature(app);
    }
    void writeDurably(const std::filesystem::path& file, std::string_view contents) override {
        step("writeDurably", file);
        real_.writeDurably(file, contents);
    }
    CenterInstaller::AttributeResult attributeSize(const std::filesystem::path& item,
                                                   const std::string& name) override {
        return proceed("attributeSize", item) ? real_.attributeSize(item, name)
                                              : CenterInstaller::AttributeResult::failed();
    }
    CenterInstaller::AttributeResult readAttribute(const std::filesystem::path& item,
                                                   const std::string& name,
                                                   std::span<char> buffer) override {
        return proceed("readAttribute", item) ? real_.readAttribute(item, name, buffer)
                                              : CenterInstaller::AttributeResult::failed();
    }
    CenterInstaller::AttributeResult writeAttribute(const std::filesystem::path& item,
                                                    const std::string& name,
                                                    std::span<const char> value) override {
        return proceed("writeAttribute", item) ? real_.writeAttribute(item, name, value)
                                               : CenterInstaller::AttributeResult::failed();
    }
    CenterInstaller::AttributeResult removeAttribute(const std::filesystem::path& item,
                                                     const std::string& name) override {
        return proceed("removeAttribute", item) ? real_.removeAttribute(item, name)
                                                : CenterInstaller::AttributeResult::failed();
    }

  private:
    // Records the call; true when it should go ahead.
    bool proceed(const char* operation, const std::filesystem::path& item) {
        calls.push_back(std::string(operation) + " " + item.filename().string());
        if (calls.size() == interruptBefore && interrupt) {
            interrupt();
        }
        return !failing.contains(calls.size());
    }
    void step(const char* operation, const std::filesystem::path& item) {
        if (!proceed(operation, item)) {
            throw std::filesystem::filesystem_error("injected failure", item,
                                                    std::make_error_code(std::errc::io_error));
        }
    }

    CenterInstaller::SystemInstallOperations real_;
};
