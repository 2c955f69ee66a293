#pragma once

#include <QByteArray>
#include <array>
#include <vector>

// The Apple icon image container: "icns", its total length, then typed chunks each holding a
// PNG image of one size.
namespace IconFile {

// A chunk type and the edge length of the image it holds.
struct ChunkSize {
    std::array<char, 4> type;
    int size;
};

// One chunk to write: its type and its PNG bytes.
struct Entry {
    std::array<char, 4> type;
    QByteArray png;
};

// The sizes a dock tile draws from, largest first so a reader that takes the first image gets
// the sharpest one.
[[nodiscard]] const std::vector<ChunkSize>& chunkSizes();

// The whole file, the chunks in the given order.
[[nodiscard]] QByteArray encode(const std::vector<Entry>& entries);

} // namespace IconFile
