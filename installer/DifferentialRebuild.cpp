#include "installer/DifferentialRebuild.h"

#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "core/FileDescriptor.h"
#include "core/FileOperationError.h"
#include "installer/ZipRecords.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <vector>

namespace CenterInstaller {
namespace {

using Bytes = std::span<const unsigned char>;
using CenterCore::FileOperation;
using CenterCore::throwFileError;
using Source = DifferentialPiece::Source;

constexpr std::size_t chunkBytes = 1 << 20;

// The new package, written front to back through a buffer of one chunk.
class PackageWriter {
  public:
    explicit PackageWriter(const std::filesystem::path& file)
        : file_(file), fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
        if (!fd_.valid()) {
            throwFileError(FileOperation::Create, file);
        }
        buffer_.reserve(chunkBytes);
    }

    void append(Bytes bytes) {
        while (!bytes.empty()) {
            const std::size_t count = std::min(bytes.size(), chunkBytes - buffer_.size());
            buffer_.insert(buffer_.end(), bytes.begin(), bytes.begin() + count);
            bytes = bytes.subspan(count);
            if (buffer_.size() == chunkBytes) {
                flush();
            }
        }
    }

    // The bytes already written at `offset`, which must lie before what is being written.
    template <std::size_t size> std::array<unsigned char, size> readBack(std::uint64_t offset) {
        flush();
        std::array<unsigned char, size> bytes{};
        if (::pread(fd_.get(), bytes.data(), size, static_cast<off_t>(offset)) !=
            static_cast<ssize_t>(size)) {
            throwFileError(FileOperation::Read, file_);
        }
        return bytes;
    }

    void finish() {
        flush();
        if (::fsync(fd_.get()) != 0 || !fd_.close()) {
            throwFileError(FileOperation::Write, file_);
        }
    }

  private:
    void flush() {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t written =
                ::write(fd_.get(), buffer_.data() + done, buffer_.size() - done);
            if (written < 0 && errno != EINTR) {
                throwFileError(FileOperation::Write, file_);
            }
            done += written < 0 ? 0 : static_cast<std::size_t>(written);
        }
        buffer_.clear();
    }

    std::filesystem::path file_;
    FileDescriptor fd_;
    std::vector<unsigned char> buffer_;
};

void writeFetched(const DifferentialPiece& piece, const DifferentialFetch& fetch,
                  PackageWriter& out) {
    std::uint64_t received = 0;
    const char* const wrongLength = "服务器返回的数据长度与请求的范围不符。";
    fetch({piece.offset, piece.length}, [&](Bytes chunk) {
        if (chunk.size() > piece.length - received) {
            throw CenterError::invalid(wrongLength);
        }
        out.append(chunk);
        received += chunk.size();
    });
    if (received != piece.length) {
        throw CenterError::invalid(wrongLength);
    }
}

// The old entry's bytes that fall at the piece, once the new entry's local header, fetched and
// written already, tells where its data begins.
Bytes oldBytes(const DifferentialPiece& piece, Bytes old, PackageWriter& out) {
    const auto header = out.readBack<zipLocalHeaderBytes>(piece.localHeaderOffset);
    const std::uint64_t dataOffset =
        piece.localHeaderOffset + zipLocalHeaderBytes + zipU16(header, 26) + zipU16(header, 28);
    if (zipU32(header, 0) != zipLocalSignature || dataOffset > piece.offset ||
        piece.offset - dataOffset + piece.length > piece.oldDataLength ||
        piece.oldDataOffset + piece.oldDataLength > old.size()) {
        throw CenterError::invalid("增量更新取得的文件记录与安装包目录不符。");
    }
    return old.subspan(piece.oldDataOffset + (piece.offset - dataOffset), piece.length);
}

// The old package's span of an entry, with the new modification time and date in its header:
// writes the header's first bytes and returns the rest.
Bytes writeCopiedHeader(const DifferentialPiece& piece, Bytes old, PackageWriter& out) {
    if (piece.length < zipLocalHeaderBytes || piece.oldDataOffset > old.size() ||
        piece.length > old.size() - piece.oldDataOffset) {
        throw CenterError::invalid("增量更新取得的文件记录与安装包目录不符。");
    }
    const Bytes span = old.subspan(piece.oldDataOffset, piece.length);
    std::array<unsigned char, 4> modified{};
    for (std::size_t i = 0; i < modified.size(); ++i) {
        modified[i] = static_cast<unsigned char>(piece.modified >> (8 * i) & 0xFF);
    }
    out.append(span.first(10));
    out.append(modified);
    return span.subspan(14);
}

} // namespace

void rebuildDifferentialUpdate(const DifferentialPlan& plan, Bytes oldPackage,
                               const DifferentialFetch& fetch, const std::filesystem::path& output,
                               std::stop_token stop, const DifferentialCopied& copied) {
    PackageWriter out(output);
    for (const DifferentialPiece& piece : plan.pieces) {
        if (stop.stop_requested()) {
            throw CancellationError();
        }
        if (piece.source == Source::fetched) {
            writeFetched(piece, fetch, out);
            continue;
        }
        const Bytes whole =
            piece.source == Source::tail
                ? Bytes(plan.tail).subspan(piece.offset - plan.tailOffset, piece.length)
            : piece.source == Source::copied ? writeCopiedHeader(piece, oldPackage, out)
                                             : oldBytes(piece, oldPackage, out);
        for (Bytes bytes = whole; !bytes.empty();
             bytes = bytes.subspan(std::min(bytes.size(), chunkBytes))) {
            out.append(bytes.first(std::min(bytes.size(), chunkBytes)));
            if (stop.stop_requested()) {
                throw CancellationError();
            }
        }
        if (piece.source != Source::tail && copied) {
            copied(whole);
        }
    }
    out.finish();
}

} // namespace CenterInstaller
