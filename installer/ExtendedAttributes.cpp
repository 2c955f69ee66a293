#include "installer/ExtendedAttributes.h"

#include <cerrno>
#include <sys/types.h>
#include <sys/xattr.h>

namespace CenterInstaller {
namespace {

AttributeResult outcome(ssize_t result) {
    if (result >= 0) {
        return AttributeResult::done(static_cast<std::size_t>(result));
    }
    return errno == ENODATA ? AttributeResult::absent() : AttributeResult::failed();
}

} // namespace

AttributeResult LinuxExtendedAttributes::attributeSize(const std::filesystem::path& item,
                                                       const std::string& name) {
    return outcome(lgetxattr(item.c_str(), platformName(name).c_str(), nullptr, 0));
}

AttributeResult LinuxExtendedAttributes::readAttribute(const std::filesystem::path& item,
                                                       const std::string& name,
                                                       std::span<char> buffer) {
    return outcome(
        lgetxattr(item.c_str(), platformName(name).c_str(), buffer.data(), buffer.size()));
}

AttributeResult LinuxExtendedAttributes::writeAttribute(const std::filesystem::path& item,
                                                        const std::string& name,
                                                        std::span<const char> value) {
    return outcome(
        lsetxattr(item.c_str(), platformName(name).c_str(), value.data(), value.size(), 0));
}

AttributeResult LinuxExtendedAttributes::removeAttribute(const std::filesystem::path& item,
                                                         const std::string& name) {
    return outcome(lremovexattr(item.c_str(), platformName(name).c_str()));
}

} // namespace CenterInstaller
