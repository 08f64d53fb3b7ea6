#include "ui/skinfile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace uib {
namespace {

constexpr char kDoubleMagic[4] = {'K', 'X', '2', '\0'};

std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The data of one entry: in place when the source offers its bytes, else read into a buffer
// used again for every slot. Null when it cannot be had (too big to allocate, past the end of
// the file, cut short).
const std::uint8_t* fetch(Source& source, const Entry& e, dib::Bytes& buffer)
{
    if (e.size > kMaxSlotBytes)
        return nullptr;
    const std::uint64_t total = source.size();
    if (e.offset > total || e.size > total - e.offset)
        return nullptr;
    if (const std::uint8_t* all = source.view())
        return all + e.offset;
    buffer.resize(e.size);
    return source.read(e.offset, e.size, buffer.data()) ? buffer.data() : nullptr;
}

} // namespace

bool parseHeader(const std::uint8_t* data, std::size_t size, Header& out)
{
    out = Header{};
    if (!data || size < kHeaderSize)
        return false;
    out.magicOk = std::memcmp(data, "UIB\0", 4) == 0;
    const char* name = reinterpret_cast<const char*>(data + kNameOffset);
    const std::size_t area = kVersionOffset - kNameOffset;
    out.displayName.assign(name, strnlen(name, area));
    out.major = le16(data + kVersionOffset);
    out.minor = le16(data + kVersionOffset + 2);
    for (int i = 0; i < kSlotCount; ++i) {
        out.entries[i].offset = le32(data + kTableOffset + 8 * i);
        out.entries[i].size = le32(data + kTableOffset + 8 * i + 4);
    }
    // The second table only counts when the name ends before it.
    if (out.displayName.size() < kDoubleTableOffset - kNameOffset &&
        std::memcmp(data + kDoubleTableOffset, kDoubleMagic, 4) == 0) {
        out.hasDoubles = true;
        const std::uint8_t* t = data + kDoubleTableOffset + 4;
        for (int i = 0; i < kSlotCount; ++i) {
            out.doubleEntries[i].offset = le32(t + 8 * i);
            out.doubleEntries[i].size = le32(t + 8 * i + 4);
        }
    }
    return true;
}

bool MemorySource::read(std::uint64_t offset, std::size_t n, std::uint8_t* out)
{
    if (offset > m_size || n > m_size - offset)
        return false;
    if (n)
        std::memcpy(out, m_data + offset, n);
    return true;
}

FileSource::FileSource(const std::string& path)
    : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
{
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    m_size = static_cast<std::uint64_t>(st.st_size);
    // Decoding straight from the page cache spares a copy of every slot; reading is the way
    // when the file cannot be mapped.
    if (m_size > 0 && m_size <= SIZE_MAX) {
        void* p =
            ::mmap(nullptr, static_cast<std::size_t>(m_size), PROT_READ, MAP_PRIVATE, m_fd, 0);
        if (p != MAP_FAILED)
            m_map = static_cast<const std::uint8_t*>(p);
    }
}

FileSource::~FileSource()
{
    if (m_map)
        ::munmap(const_cast<std::uint8_t*>(m_map), static_cast<std::size_t>(m_size));
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileSource::read(std::uint64_t offset, std::size_t n, std::uint8_t* out)
{
    // Straight into the caller's buffer, without a stream buffer in between.
    while (n > 0) {
        if (m_fd < 0 || offset > static_cast<std::uint64_t>(INT64_MAX))
            return false;
        const ssize_t got = ::pread(m_fd, out, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        n -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

ReadResult readSkin(Source& source)
{
    ReadResult r;
    std::uint8_t head[kHeaderSize];
    if (source.size() < kHeaderSize || !source.read(0, kHeaderSize, head))
        return r;
    r.headerRead = true;
    parseHeader(head, kHeaderSize, r.header);
    if (!r.header.accepted())
        return r;

    // One buffer, big enough for the largest slot that can be read, serves them all.
    dib::Bytes buffer;
    std::uint64_t largest = 0;
    for (const Entry& e : r.header.entries) {
        if (e.present() && e.size <= kMaxSlotBytes && e.offset <= source.size() &&
            e.size <= source.size() - e.offset)
            largest = std::max<std::uint64_t>(largest, e.size);
    }
    if (!source.view())
        buffer.reserve(static_cast<std::size_t>(largest));
    for (int i = 0; i < kSlotCount; ++i) {
        const Entry& e = r.header.entries[i];
        if (e.present()) {
            const std::uint8_t* bytes = fetch(source, e, buffer);
            if (!bytes) {
                r.stoppedAt = i;
                break;
            }
            dib::Image img;
            std::string why;
            if (dib::decode(bytes, e.size, img, &why))
                r.images[i] = std::move(img);
            else
                r.problems[i] = why;
        }
        ++r.visited;
    }
    r.fallback = r.visited <= 2;
    if (r.fallback) {
        for (auto& s : r.images)
            s.reset();
        return r;
    }

    if (r.header.hasDoubles) {
        for (int i = 0; i < kSlotCount; ++i) {
            const Entry& e = r.header.doubleEntries[i];
            if (!r.images[i] || !e.present())
                continue;
            dib::Image img;
            const std::uint8_t* bytes = fetch(source, e, buffer);
            if (bytes && dib::decode(bytes, e.size, img) && img.width == 2 * r.images[i]->width &&
                img.height == 2 * r.images[i]->height)
                r.doubleImages[i] = std::move(img);
        }
    }
    return r;
}

std::vector<std::uint8_t>
writeSkin(const std::string& displayName,
          const std::array<std::vector<std::uint8_t>, kSlotCount>& images,
          const std::array<std::vector<std::uint8_t>, kSlotCount>& doubleImages)
{
    std::vector<std::uint8_t> out(kHeaderSize, 0);
    std::memcpy(out.data(), "UIB\0", 4);
    const std::string name = displayName.substr(0, kMaxNameBytes);
    std::memcpy(out.data() + kNameOffset, name.data(), name.size());
    out[kVersionOffset] = kMajorVersion;
    out[kVersionOffset + 2] = kMinorVersion;

    auto append = [&out](const std::vector<std::uint8_t>& block, std::uint8_t* entry) {
        if (block.empty())
            return;
        put32(entry, static_cast<std::uint32_t>(out.size()));
        put32(entry + 4, static_cast<std::uint32_t>(block.size()));
    };
    bool anyDouble = false;
    for (const auto& d : doubleImages)
        anyDouble = anyDouble || !d.empty();

    for (int i = 0; i < kSlotCount; ++i) {
        append(images[i], out.data() + kTableOffset + 8 * i);
        out.insert(out.end(), images[i].begin(), images[i].end());
    }
    if (anyDouble) {
        std::memcpy(out.data() + kDoubleTableOffset, kDoubleMagic, 4);
        for (int i = 0; i < kSlotCount; ++i) {
            append(doubleImages[i], out.data() + kDoubleTableOffset + 4 + 8 * i);
            out.insert(out.end(), doubleImages[i].begin(), doubleImages[i].end());
        }
    }
    return out;
}

} // namespace uib
