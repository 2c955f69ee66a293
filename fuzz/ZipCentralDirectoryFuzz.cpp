// ZIP packages from the network or the user: the header inspection must end in the package's
// application name or one of its own rejections, never a crash or a read outside the bytes.
#include "core/CenterError.h"
#include "installer/ZipCentralDirectory.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        static_cast<void>(CenterInstaller::inspectZIPBytes({data, size}));
    } catch (const CenterError&) {
    }
    return 0;
}
