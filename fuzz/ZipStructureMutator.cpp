// A mutator that changes ZIP packages field by field instead of byte by byte. The input is read
// as local headers, central entries and the end record; one part of that structure changes
// (a count, an offset, a size, a name, flags, a method, a mode, an extra field, a ZIP64 marker)
// and the package is written out again with every other field consistent, so the inspection
// passes its early checks and meets the change where it looks deepest. Now and then a field of
// the written package is set to a lie afterwards, or the bytes are left to libFuzzer's own
// mutations; an input that does not read as a ZIP is always.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t localSignature = 0x04034B50;
constexpr std::uint32_t centralSignature = 0x02014B50;
constexpr std::uint32_t endSignature = 0x06054B50;
constexpr std::size_t localBytes = 30;
constexpr std::size_t centralBytes = 46;
constexpr std::size_t endBytes = 22;
constexpr std::size_t mostEntries = 64;

std::uint32_t readField(std::span<const std::uint8_t> bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

void writeField(Bytes& bytes, std::size_t at, int width, std::uint32_t value) {
    for (int i = 0; i < width; ++i, value >>= 8) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
    }
}

// One entry: its fixed headers as read (lengths and offsets are rewritten when written out),
// and the variable parts of both headers.
struct Entry {
    Bytes central = Bytes(centralBytes);
    std::string name;
    Bytes centralExtra;
    Bytes comment;
    Bytes local = Bytes(localBytes);
    std::string localName;
    Bytes localExtra;
    Bytes data;
};

struct Package {
    Bytes prefix;
    std::vector<Entry> entries;
    Bytes comment;
};

Bytes slice(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t length) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(at),
            bytes.begin() + static_cast<std::ptrdiff_t>(at + length)};
}

// The package's structure, when an end record and at least one central entry are found.
bool readPackage(std::span<const std::uint8_t> bytes, Package& package) {
    if (bytes.size() < endBytes) {
        return false;
    }
    std::size_t end = bytes.size() - endBytes;
    const std::size_t lowest =
        bytes.size() > 65535 + endBytes ? bytes.size() - 65535 - endBytes : 0;
    while (readField(bytes, end, 4) != endSignature) {
        if (end == lowest) {
            return false;
        }
        --end;
    }
    package.comment = slice(bytes, end + endBytes, bytes.size() - end - endBytes);
    std::size_t p = readField(bytes, end + 16, 4);
    const std::size_t directory = p;
    std::size_t firstLocal = directory;
    while (package.entries.size() < mostEntries && p + centralBytes <= end &&
           readField(bytes, p, 4) == centralSignature) {
        Entry entry;
        entry.central = slice(bytes, p, centralBytes);
        const std::size_t nameLength = readField(bytes, p + 28, 2);
        const std::size_t extraLength = readField(bytes, p + 30, 2);
        const std::size_t commentLength = readField(bytes, p + 32, 2);
        if (p + centralBytes + nameLength + extraLength + commentLength > end) {
            break;
        }
        std::size_t q = p + centralBytes;
        entry.name.assign(bytes.begin() + static_cast<std::ptrdiff_t>(q),
                          bytes.begin() + static_cast<std::ptrdiff_t>(q + nameLength));
        entry.centralExtra = slice(bytes, q += nameLength, extraLength);
        entry.comment = slice(bytes, q += extraLength, commentLength);
        p = q + commentLength;

        const std::size_t local = readField(entry.central, 42, 4);
        entry.localName = entry.name;
        // Version needed, flags, method, time, date, CRC-32 and sizes, as the local header has
        // them.
        std::copy_n(entry.central.begin() + 6, 22, entry.local.begin() + 4);
        writeField(entry.local, 0, 4, localSignature);
        if (local + localBytes <= directory && readField(bytes, local, 4) == localSignature) {
            const std::size_t localName = readField(bytes, local + 26, 2);
            const std::size_t localExtra = readField(bytes, local + 28, 2);
            const std::size_t data = local + localBytes + localName + localExtra;
            if (data <= directory) {
                entry.local = slice(bytes, local, localBytes);
                entry.localName.assign(
                    bytes.begin() + static_cast<std::ptrdiff_t>(local + localBytes),
                    bytes.begin() + static_cast<std::ptrdiff_t>(local + localBytes + localName));
                entry.localExtra = slice(bytes, local + localBytes + localName, localExtra);
                const std::size_t compressed = readField(entry.central, 20, 4);
                entry.data = slice(bytes, data, std::min(compressed, directory - data));
                firstLocal = std::min(firstLocal, local);
            }
        }
        package.entries.push_back(std::move(entry));
    }
    if (package.entries.empty()) {
        return false;
    }
    // The directory lies before the end record once an entry was read from it.
    package.prefix = slice(bytes, 0, std::min(firstLocal, directory));
    return true;
}

// The package written out with every length, count and offset as its parts say.
Bytes writePackage(const Package& package) {
    Bytes out = package.prefix;
    std::vector<std::uint32_t> offsets;
    for (const Entry& entry : package.entries) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        Bytes local = entry.local;
        writeField(local, 26, 2, static_cast<std::uint32_t>(entry.localName.size()));
        writeField(local, 28, 2, static_cast<std::uint32_t>(entry.localExtra.size()));
        out.insert(out.end(), local.begin(), local.end());
        out.insert(out.end(), entry.localName.begin(), entry.localName.end());
        out.insert(out.end(), entry.localExtra.begin(), entry.localExtra.end());
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    }
    const auto directory = static_cast<std::uint32_t>(out.size());
    for (std::size_t i = 0; i < package.entries.size(); ++i) {
        const Entry& entry = package.entries[i];
        Bytes central = entry.central;
        writeField(central, 28, 2, static_cast<std::uint32_t>(entry.name.size()));
        writeField(central, 30, 2, static_cast<std::uint32_t>(entry.centralExtra.size()));
        writeField(central, 32, 2, static_cast<std::uint32_t>(entry.comment.size()));
        writeField(central, 42, 4, offsets[i]);
        out.insert(out.end(), central.begin(), central.end());
        out.insert(out.end(), entry.name.begin(), entry.name.end());
        out.insert(out.end(), entry.centralExtra.begin(), entry.centralExtra.end());
        out.insert(out.end(), entry.comment.begin(), entry.comment.end());
    }
    Bytes record(endBytes);
    writeField(record, 0, 4, endSignature);
    writeField(record, 8, 2, static_cast<std::uint32_t>(package.entries.size()));
    writeField(record, 10, 2, static_cast<std::uint32_t>(package.entries.size()));
    writeField(record, 12, 4, static_cast<std::uint32_t>(out.size()) - directory);
    writeField(record, 16, 4, directory);
    writeField(record, 20, 2, static_cast<std::uint32_t>(package.comment.size()));
    out.insert(out.end(), record.begin(), record.end());
    out.insert(out.end(), package.comment.begin(), package.comment.end());
    return out;
}

class Mutation {
  public:
    explicit Mutation(unsigned seed) : random_(seed) {}

    std::size_t below(std::size_t count) {
        return count == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, count - 1)(random_);
    }
    bool chance(std::size_t inEvery) { return below(inEvery) == 0; }

    // A value that sits on an edge the inspection tests, or near `current`.
    std::uint32_t edgeValue(std::uint32_t current, int width) {
        const std::uint32_t top = width == 2 ? 0xFFFF : 0xFFFFFFFF;
        const std::array<std::uint32_t, 10> values = {0,
                                                      1,
                                                      top,
                                                      top - 1,
                                                      current + 1,
                                                      current - 1,
                                                      current * 2,
                                                      current / 2,
                                                      static_cast<std::uint32_t>(random_()),
                                                      0x80000000U >> (width == 2 ? 16 : 0)};
        return values[below(values.size())] & top;
    }

    // Changes the structure in one place.
    void change(Package& package) {
        std::vector<Entry>& entries = package.entries;
        Entry& entry = entries[below(entries.size())];
        switch (below(11)) {
        case 0:
            changeEntryField(entry);
            break;
        case 1:
            entry.name = changedName(entry.name, package);
            if (!chance(4)) {
                entry.localName = entry.name;
            }
            break;
        case 2:
            changeMode(entry);
            break;
        case 3:
            if (entries.size() < mostEntries) {
                Entry copy = entries[below(entries.size())];
                if (chance(2)) {
                    copy.name = changedName(copy.name, package);
                    copy.localName = copy.name;
                }
                entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(below(entries.size())),
                               std::move(copy));
            }
            break;
        case 4:
            if (entries.size() > 1) {
                entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(below(entries.size())));
            }
            break;
        case 5:
            std::swap(entries[below(entries.size())], entries[below(entries.size())]);
            break;
        case 6:
            changeExtra(chance(2) ? entry.centralExtra : entry.localExtra);
            break;
        case 7:
            markZIP64(entry);
            break;
        case 8:
            changeBytes(chance(2) ? package.comment : entry.comment);
            break;
        case 9:
            changeBytes(package.prefix);
            break;
        default:
            changeBytes(entry.data);
            break;
        }
    }

    // Sets one field of the written package to a value that no longer agrees with the rest.
    void lie(Bytes& out, const Package& package) {
        std::vector<std::pair<std::size_t, int>> fields;
        const std::size_t end = out.size() - package.comment.size() - endBytes;
        for (const auto& [at, width] : std::initializer_list<std::pair<std::size_t, int>>{
                 {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 4}, {16, 4}, {20, 2}}) {
            fields.emplace_back(end + at, width);
        }
        std::size_t p = readField(out, end + 16, 4);
        for (const Entry& entry : package.entries) {
            for (const auto& [at, width] :
                 std::initializer_list<std::pair<std::size_t, int>>{{8, 2},
                                                                    {10, 2},
                                                                    {20, 4},
                                                                    {24, 4},
                                                                    {28, 2},
                                                                    {30, 2},
                                                                    {32, 2},
                                                                    {34, 2},
                                                                    {42, 4}}) {
                fields.emplace_back(p + at, width);
            }
            const std::size_t local = readField(out, p + 42, 4);
            for (const auto& [at, width] : std::initializer_list<std::pair<std::size_t, int>>{
                     {6, 2}, {8, 2}, {26, 2}, {28, 2}}) {
                fields.emplace_back(local + at, width);
            }
            p +=
                centralBytes + entry.name.size() + entry.centralExtra.size() + entry.comment.size();
        }
        const auto [at, width] = fields[below(fields.size())];
        writeField(out, at, width, edgeValue(readField(out, at, width), width));
    }

  private:
    void changeEntryField(Entry& entry) {
        // Flags, method, CRC-32, compressed and uncompressed size, disk: central offsets.
        static constexpr std::array<std::pair<std::size_t, int>, 6> fields = {
            {{8, 2}, {10, 2}, {16, 4}, {20, 4}, {24, 4}, {34, 2}}};
        const auto [at, width] = fields[below(fields.size())];
        std::uint32_t value = edgeValue(readField(entry.central, at, width), width);
        if (at == 8 && chance(2)) {
            // The encryption, data descriptor and UTF-8 name bits.
            value = readField(entry.central, at, width) ^ std::array{1U, 8U, 0x800U}[below(3)];
        } else if (at == 10 && chance(2)) {
            value = std::array{0U, 8U, 9U, 12U, 14U, 99U}[below(6)];
        }
        writeField(entry.central, at, width, value);
        // The local header repeats flags, method, CRC-32 and sizes at offsets 2 lower.
        if (at != 34 && !chance(4)) {
            writeField(entry.local, at - 2, width, value);
        }
    }

    void changeMode(Entry& entry) {
        const std::uint32_t mode = std::array{0100644U, 0100755U, 040755U, 0120777U,
                                              0140000U, 060644U,  0U,      0170000U}[below(8)];
        writeField(entry.central, 38, 4, mode << 16 | (mode & 040000 ? 0x10 : 0));
        // Made by Unix, or by MS-DOS, whose attributes carry no mode.
        writeField(entry.central, 5, 1, chance(4) ? 0 : 3);
    }

    std::string changedName(std::string name, const Package& package) {
        const std::string& other = package.entries[below(package.entries.size())].name;
        const std::size_t at = below(name.size() + 1);
        switch (below(12)) {
        case 0:
            return name + "/";
        case 1: {
            static constexpr std::array<std::string_view, 7> pieces = {"../", "./", "/",      "//",
                                                                       "\\",  ":",  {"\0", 1}};
            const std::string_view piece = pieces[below(pieces.size())];
            return name.insert(at, piece.data(), piece.size());
        }
        case 2:
            return "/" + name;
        case 3: {
            std::string upper = other;
            std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
                return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
            });
            return upper;
        }
        case 4:
            // A file whose path another entry passes through, and a name below another file.
            return chance(2) ? other + "/a" : other.substr(0, other.rfind('/'));
        case 5:
            // Composed and decomposed forms of one name, and a character ICU lower-cases.
            return name.insert(at, std::array{"\xC3\xA9", "e\xCC\x81", "\xE2\x84\xAA", "\xC4\xB0",
                                              "回响"}[below(5)]);
        case 6:
            // Overlong, surrogate, truncated and out-of-range sequences.
            return name.insert(at, std::array{"\xC0\xAF", "\xED\xA0\x80", "\xE5\x9B",
                                              "\xF4\x90\x80\x80", "\xFF"}[below(5)]);
        case 7:
            return "__MACOSX/" + name;
        case 8: {
            const std::size_t slash = name.find('/');
            return std::array{"Other.app", "Other", "x.APP", ""}[below(4)] +
                   (slash == name.npos ? std::string() : name.substr(slash));
        }
        case 9:
            return name.substr(0, at);
        case 10:
            return other;
        default:
            if (!name.empty()) {
                name[below(name.size())] = static_cast<char>(random_());
            }
            return name;
        }
    }

    void changeExtra(Bytes& extra) {
        switch (below(3)) {
        case 0: {
            // A ZIP64 extra field of sizes and offset.
            Bytes field = {0x01, 0x00, 24, 0x00};
            field.resize(28, 0);
            extra.insert(extra.end(), field.begin(), field.end());
            break;
        }
        case 1:
            extra.resize(below(64));
            break;
        default:
            changeBytes(extra);
            break;
        }
    }

    // The ZIP64 marker in a size or the local offset, with a ZIP64 extra field now and then.
    void markZIP64(Entry& entry) {
        const std::size_t at = std::array<std::size_t, 3>{20, 24, 42}[below(3)];
        writeField(entry.central, at, 4, 0xFFFFFFFF);
        if (at != 42) {
            writeField(entry.local, at - 2, 4, 0xFFFFFFFF);
        }
        if (chance(2)) {
            changeExtra(entry.centralExtra);
        }
    }

    void changeBytes(Bytes& bytes) {
        const std::size_t original = bytes.size();
        bytes.resize(std::max<std::size_t>(original * 2, 16));
        bytes.resize(LLVMFuzzerMutate(bytes.data(), original, bytes.size()));
    }

    std::minstd_rand random_;
};

} // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
    Mutation mutation(seed);
    Package package;
    if (mutation.chance(8) || !readPackage({data, size}, package)) {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    for (std::size_t changes = 1 + mutation.below(3); changes > 0; --changes) {
        mutation.change(package);
    }
    Bytes out = writePackage(package);
    if (mutation.chance(4)) {
        mutation.lie(out, package);
    }
    if (out.size() > maxSize) {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    std::memcpy(data, out.data(), out.size());
    return out.size();
}
