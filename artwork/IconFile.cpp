#include "artwork/IconFile.h"

#include <QtEndian>

namespace IconFile {

namespace {

// Every length in the container is a big-endian 32-bit count that includes its 8-byte header.
void appendHeader(QByteArray& out, const std::array<char, 4>& type, qsizetype length) {
    out.append(type.data(), 4);
    const quint32 bigEndian = qToBigEndian(static_cast<quint32>(length));
    out.append(reinterpret_cast<const char*>(&bigEndian), 4);
}

} // namespace

const std::vector<ChunkSize>& chunkSizes() {
    static const std::vector<ChunkSize> table = {
        {{'i', 'c', '1', '0'}, 1024},
        {{'i', 'c', '0', '9'}, 512},
        {{'i', 'c', '0', '8'}, 256},
        {{'i', 'c', '0', '7'}, 128},
    };
    return table;
}

QByteArray encode(const std::vector<Entry>& entries) {
    qsizetype length = 8;
    for (const Entry& entry : entries) {
        length += 8 + entry.png.size();
    }
    QByteArray out;
    out.reserve(length);
    appendHeader(out, {'i', 'c', 'n', 's'}, length);
    for (const Entry& entry : entries) {
        appendHeader(out, entry.type, 8 + entry.png.size());
        out.append(entry.png);
    }
    return out;
}

} // namespace IconFile
