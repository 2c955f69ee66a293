#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

namespace CenterInstaller {

// The outcome of one extended-attribute call: done (with a byte count where one is reported),
// the attribute is absent, or another failure.
struct AttributeResult {
    enum class Status { done, absent, failed };

    Status status = Status::failed;
    std::size_t bytes = 0;

    [[nodiscard]] static AttributeResult done(std::size_t count = 0) {
        return {Status::done, count};
    }
    [[nodiscard]] static AttributeResult absent() { return {Status::absent, 0}; }
    [[nodiscard]] static AttributeResult failed() { return {Status::failed, 0}; }
};

// Extended attributes of one item, never following a symbolic link at that path. Names are the
// platform-neutral ones ("com.apple.FinderInfo"); an implementation maps them to its namespace.
class ExtendedAttributes {
  public:
    virtual ~ExtendedAttributes() = default;

    // The size of the attribute's value.
    [[nodiscard]] virtual AttributeResult attributeSize(const std::filesystem::path& item,
                                                        const std::string& name) = 0;
    // Reads the value into `buffer`; `bytes` is how many bytes came back.
    [[nodiscard]] virtual AttributeResult readAttribute(const std::filesystem::path& item,
                                                        const std::string& name,
                                                        std::span<char> buffer) = 0;
    // Creates or replaces the attribute.
    [[nodiscard]] virtual AttributeResult writeAttribute(const std::filesystem::path& item,
                                                         const std::string& name,
                                                         std::span<const char> value) = 0;
    [[nodiscard]] virtual AttributeResult removeAttribute(const std::filesystem::path& item,
                                                          const std::string& name) = 0;
};

// The Linux attributes: the `user.` namespace (Linux requires one) through lgetxattr,
// lsetxattr and lremovexattr; ENODATA means absent.
class LinuxExtendedAttributes : public ExtendedAttributes {
  public:
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

    // The name as stored on Linux.
    [[nodiscard]] static std::string platformName(const std::string& name) {
        return "user." + name;
    }
};

} // namespace CenterInstaller
