#pragma once

#include "installer/ExtendedAttributes.h"

#include <filesystem>
#include <stop_token>
#include <string_view>

namespace CenterInstaller {

// Every file operation and tool the installation performs on disk, in one place so that a test
// can make any one of them fail. Failures are thrown (platform errors or CenterError), except
// the attribute calls, which report their outcome.
class InstallOperations : public ExtendedAttributes {
  public:
    // Creates one folder; its parent must exist.
    virtual void createDirectory(const std::filesystem::path& folder) = 0;
    // Creates a folder and any missing parents.
    virtual void createDirectories(const std::filesystem::path& folder) = 0;
    // Renames an item within one volume.
    virtual void move(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // Removes an item and everything in it.
    virtual void remove(const std::filesystem::path& item) = 0;
    // Unpacks an inspected ZIP package into an existing folder with libarchive, refusing any entry
    // the inspection would not admit; a stop request ends it early with CancellationError.
    virtual void unpack(const std::filesystem::path& zip, const std::filesystem::path& destination,
                        std::stop_token stop) = 0;
    // Copies a whole bundle to a new path, the file data inside the kernel, with modes, times,
    // symbolic links and extended attributes; a stop request ends it early with CancellationError.
    virtual void copyBundle(const std::filesystem::path& from, const std::filesystem::path& to,
                            std::stop_token stop) = 0;
    // Verifies the bundle's code signature with everything nested in it: through
    // /usr/bin/codesign where the system has it, otherwise by the bundle's resource seal.
    virtual void verifySignature(const std::filesystem::path& app) = 0;
    // Writes a small file so that after a crash it holds either nothing or all of `contents`.
    virtual void writeDurably(const std::filesystem::path& file, std::string_view contents) = 0;
};

// Whether anything, a dangling link included, stands at the path.
[[nodiscard]] bool isPresent(const std::filesystem::path& item);

// The real operations of this machine.
class SystemInstallOperations : public InstallOperations {
  public:
    void createDirectory(const std::filesystem::path& folder) override;
    void createDirectories(const std::filesystem::path& folder) override;
    void move(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void remove(const std::filesystem::path& item) override;
    void unpack(const std::filesystem::path& zip, const std::filesystem::path& destination,
                std::stop_token stop) override;
    void copyBundle(const std::filesystem::path& from, const std::filesystem::path& to,
                    std::stop_token stop) override;
    void verifySignature(const std::filesystem::path& app) override;
    void writeDurably(const std::filesystem::path& file, std::string_view contents) override;

    [[nodiscard]] AttributeResult attributeSize(const std::filesystem::path& item,
                                                const std::string& name) override;
    [[nodiscard]] AttributeResult readAttribute(const std::filesystem::path& item,
                                                const std::string& name,
                                                std::span<char> buffer) override;
    [[nodiscard]] AttributeResult writeAttribute(const std::filesystem::path& item,
                                                 const std::string& name,
                                                 std::span<const char> value) override;
    [[nodiscard]] AttributeResult removeAttribute(const std::filesystem::path& item,
                                                  const std::string& name) override;

  private:
    LinuxExtendedAttributes attributes_;
};

// The shared real operations; they keep no state.
[[nodiscard]] InstallOperations& systemOperations();

} // namespace CenterInstaller
