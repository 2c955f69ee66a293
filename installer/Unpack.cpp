#include "installer/Unpack.h"

#include <stdexcept>

namespace CenterInstaller {

void unpackZIP(const std::filesystem::path&, const std::filesystem::path&) {
    throw std::logic_error("unfinished");
}

} // namespace CenterInstaller
