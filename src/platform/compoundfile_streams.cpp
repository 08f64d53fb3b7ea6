// Stream contents: streams under 4096 bytes live in 64-byte mini sectors inside the mini stream,
// larger ones in chains of sectors. Data is written at once to sectors the allocator hands out
// (free in the committed state), so only the commit's header makes it visible.
#include "platform/compoundfile_internal.h"

#include <algorithm>

namespace cfb {

Error CompoundFile::Impl::freeStreamData(DirEntry& e)
{
    if (e.type != ElementType::Stream || e.size == 0 || e.start == kEndOfChain) {
        e.start = kEndOfChain;
        e.size = 0;
        return Error::None;
    }
    if (e.size < kMiniCutoff) {
        Error err = loadMini();
        if (err != Error::None)
            return err;
        uint32_t m = e.start;
        const uint64_t n = (e.size + kMiniSectorSize - 1) / kMiniSectorSize;
        for (uint64_t i = 0; i < n && m / perFat < miniBlocks.size(); ++i) {
            bool ok = true;
            const uint32_t next = miniGet(m, &ok);
            if (next == kFreeSect || !ok)
                return Error::Corrupt;
            freeMiniSector(m);
            m = next;
        }
    } else {
        uint32_t s = e.start;
        const uint64_t n = (e.size + ss - 1) / ss;
        for (uint64_t i = 0; i < n && s < fat.size() && i < fat.size(); ++i) {
            const uint32_t next = fat[s];
            if (next == kFreeSect || next == kFatSect || next == kDifSect)
                return Error::Corrupt;
            freeSector(s);
            s = next;
        }
    }
    e.start = kEndOfChain;
    e.size = 0;
    return Error::None;
}

Error CompoundFile::Impl::writeData(DirEntry& e, std::string_view data)
{
    e.size = data.size();
    e.start = kEndOfChain;
    if (data.empty())
        return Error::None;
    if (majorVersion == 3 && data.size() > 0x7FFFFFFFu)
        return Error::TooLarge;
    if (data.size() < kMiniCutoff) {
        const uint32_t n = static_cast<uint32_t>((data.size() + kMiniSectorSize - 1) / 64);
        std::vector<uint32_t> chain(n);
        for (uint32_t i = 0; i < n; ++i) {
            const Error err = allocMini(&chain[i]);
            if (err != Error::None)
                return err;
            if (i > 0 && !setMiniFat(chain[i - 1], chain[i]))
                return Error::Corrupt;
        }
        e.start = chain[0];
        // Consecutive mini sectors inside one sector go out in one write.
        const uint32_t perSector = ss / kMiniSectorSize;
        std::string buffer;
        uint64_t runOffset = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t m = chain[i];
            const uint64_t offset =
                sectorOffset(miniStreamChain[m / perSector]) + (m % perSector) * kMiniSectorSize;
            if (!buffer.empty() && offset != runOffset + buffer.size()) {
                if (!writeAt(runOffset, buffer.data(), buffer.size()))
                    return Error::IoError;
                buffer.clear();
            }
            if (buffer.empty())
                runOffset = offset;
            std::string piece(data.substr(static_cast<size_t>(i) * 64, 64));
            piece.resize(kMiniSectorSize, '\0');
            buffer += piece;
        }
        if (!buffer.empty() && !writeAt(runOffset, buffer.data(), buffer.size()))
            return Error::IoError;
        return Error::None;
    }
    const uint64_t n = (data.size() + ss - 1) / ss;
    std::vector<uint32_t> chain(n);
    for (uint64_t i = 0; i < n; ++i) {
        chain[i] = allocSector();
        if (chain[i] == kFreeSect)
            return Error::TooLarge;
        if (i > 0)
            setFat(chain[i - 1], chain[i]);
    }
    e.start = chain[0];
    uint64_t i = 0;
    while (i < n) {
        uint64_t j = i + 1;
        while (j < n && chain[j] == chain[j - 1] + 1)
            ++j;
        std::string run(data.substr(i * ss, (j - i) * ss));
        run.resize((j - i) * ss, '\0');
        if (!writeAt(sectorOffset(chain[i]), run.data(), run.size()))
            return Error::IoError;
        i = j;
    }
    return Error::None;
}

Error CompoundFile::Impl::readData(const DirEntry& e, std::string* out)
{
    out->clear();
    if (e.type != ElementType::Stream)
        return Error::WrongType;
    if (e.size == 0)
        return Error::None;
    if (e.size < kMiniCutoff) {
        Error err = loadMini();
        if (err != Error::None)
            return err;
        const uint32_t perSector = ss / kMiniSectorSize;
        const uint64_t capacity = static_cast<uint64_t>(miniStreamChain.size()) * perSector;
        const uint64_t n = (e.size + kMiniSectorSize - 1) / kMiniSectorSize;
        if (n > capacity)
            return Error::Corrupt;
        out->reserve(e.size);
        uint32_t m = e.start;
        for (uint64_t i = 0; i < n; ++i) {
            if (m >= capacity || m / perFat >= miniBlocks.size())
                return Error::Corrupt;
            const uint8_t* p = sector(miniStreamChain[m / perSector]);
            if (!p)
                return Error::Corrupt;
            const size_t take =
                static_cast<size_t>(std::min<uint64_t>(kMiniSectorSize, e.size - out->size()));
            out->append(reinterpret_cast<const char*>(p + (m % perSector) * kMiniSectorSize), take);
            bool ok = true;
            m = miniGet(m, &ok);
            if (!ok)
                return Error::Corrupt;
        }
        return Error::None;
    }
    const uint32_t count = sectorCount();
    if (e.size > static_cast<uint64_t>(count) * ss)
        return Error::Corrupt;
    out->reserve(e.size);
    uint32_t s = e.start;
    while (out->size() < e.size) {
        if (s >= count || s >= fat.size())
            return Error::Corrupt;
        const uint8_t* p = sector(s);
        if (!p)
            return Error::Corrupt;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(ss, e.size - out->size()));
        out->append(reinterpret_cast<const char*>(p), take);
        s = fat[s];
    }
    return Error::None;
}

} // namespace cfb
