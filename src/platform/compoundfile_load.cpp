// Loading: the header, the FAT through the header's and the DIFAT's slots, the directory and
// mini FAT chains, and directory entries decoded as they are asked for.
#include "platform/compoundfile_internal.h"

#include <algorithm>

namespace cfb {

bool CompoundFile::Impl::readTable(const std::vector<uint32_t>& sectors,
                                   std::vector<uint32_t>& table)
{
    constexpr uint32_t kGap = 16;
    table.assign(sectors.size() * static_cast<size_t>(perFat), kFreeSect);
    const uint32_t count = sectorCount();
    std::vector<size_t> order(sectors.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&sectors](size_t a, size_t b) { return sectors[a] < sectors[b]; });
    std::vector<uint8_t> buffer;
    size_t i = 0;
    while (i < order.size()) {
        const uint32_t first = sectors[order[i]];
        if (first >= count)
            return false;
        size_t j = i + 1;
        while (j < order.size() && sectors[order[j]] < count &&
               sectors[order[j]] - sectors[order[j - 1]] <= kGap)
            ++j;
        const uint32_t last = sectors[order[j - 1]];
        const uint64_t from = sectorOffset(first);
        const uint64_t to = std::min<uint64_t>(sectorOffset(last) + ss, io->size());
        buffer.assign(static_cast<size_t>(sectorOffset(last) + ss - from), 0);
        if (!io->read(from, buffer.data(), static_cast<size_t>(to - from)))
            return false;
        for (size_t k = i; k < j; ++k) {
            const uint8_t* p = buffer.data() + (sectorOffset(sectors[order[k]]) - from);
            for (uint32_t e = 0; e < perFat; ++e)
                table[order[k] * perFat + e] = get32(p + 4 * e);
        }
        i = j;
    }
    return true;
}

Error CompoundFile::Impl::loadHeader()
{
    sizeC = io->size();
    const uint8_t* h = io->view(0, 512);
    if (!h || std::memcmp(h, kSignature, 8) != 0)
        return Error::NotCompoundFile;
    if (get16(h + 28) != 0xFFFE)
        return Error::NotCompoundFile;
    shift = get16(h + 30);
    if (shift != 9 && shift != 12)
        return Error::NotCompoundFile;
    if (get16(h + 32) != 6 || get32(h + 56) != kMiniCutoff)
        return Error::NotCompoundFile;
    ss = 1u << shift;
    perFat = ss / 4;
    perDir = ss / kEntrySize;
    minorVersion = get16(h + 24);
    majorVersion = get16(h + 26);
    std::memcpy(headerClsid, h + 8, 16);
    const uint32_t numFat = get32(h + 44);
    const uint32_t firstDir = get32(h + 48);
    transaction = get32(h + 52);
    const uint32_t firstMiniFat = get32(h + 60);
    const uint32_t numMiniFat = get32(h + 64);
    uint32_t nextDifat = get32(h + 68);
    const uint32_t numDifat = get32(h + 72);
    std::vector<uint32_t> headerDifat(kHeaderDifat);
    for (uint32_t i = 0; i < kHeaderDifat; ++i)
        headerDifat[i] = get32(h + 76 + 4 * i);
    if (io->size() < ss)
        return Error::NotCompoundFile;

    const uint32_t count = sectorCount();
    if (numFat > count)
        return Error::Corrupt;
    fatSectors.clear();
    for (uint32_t i = 0; i < kHeaderDifat && fatSectors.size() < numFat; ++i)
        fatSectors.push_back(headerDifat[i]);
    difatSectors.clear();
    while (fatSectors.size() < numFat) {
        if (nextDifat >= count || difatSectors.size() > numDifat || difatSectors.size() > count)
            return Error::Corrupt;
        difatSectors.push_back(nextDifat);
        const uint8_t* p = sector(nextDifat);
        if (!p)
            return Error::Corrupt;
        for (uint32_t j = 0; j + 1 < perFat && fatSectors.size() < numFat; ++j)
            fatSectors.push_back(get32(p + 4 * j));
        nextDifat = get32(p + 4 * (perFat - 1));
    }
    if (!readTable(fatSectors, fat))
        return Error::Corrupt;
    Error err = followChain(firstDir, fat, count, dirChain);
    if (err != Error::None)
        return err;
    if (dirChain.empty())
        return Error::Corrupt;
    miniFatChain.clear();
    if (numMiniFat > 0) {
        err = followChain(firstMiniFat, fat, count, miniFatChain);
        if (err != Error::None)
            return err;
    }
    const DirEntry* root = entry(kRootEntry);
    if (!root || root->type != ElementType::Root)
        return Error::Corrupt;

    fatSizeC = fat.size();
    fatOriginal.clear();
    fatSectorsC = fatSectors;
    difatSectorsC = difatSectors;
    dirChainC = dirChain;
    miniFatChainC = miniFatChain;
    return Error::None;
}

Error CompoundFile::Impl::followChain(uint32_t start, const std::vector<uint32_t>& table,
                                      uint32_t limit, std::vector<uint32_t>& out) const
{
    out.clear();
    uint32_t s = start;
    while (s != kEndOfChain) {
        if (s >= limit || s >= table.size() || out.size() >= limit)
            return Error::Corrupt;
        out.push_back(s);
        s = table[s];
    }
    return Error::None;
}

Error CompoundFile::Impl::loadMini()
{
    if (miniLoaded)
        return Error::None;
    miniBlocks.assign(miniFatChain.size(), {});
    miniBlocksC = miniBlocks.size();
    miniOriginal.clear();
    miniScanned = 0;
    const DirEntry* root = entry(kRootEntry);
    if (!root)
        return Error::Corrupt;
    miniStreamChain.clear();
    if (root->size > 0 && root->start != kEndOfChain) {
        const Error err = followChain(root->start, fat, sectorCount(), miniStreamChain);
        if (err != Error::None)
            return err;
    }
    miniStreamChainC = miniStreamChain;
    miniLoaded = true;
    return Error::None;
}

DirEntry* CompoundFile::Impl::entry(EntryId id)
{
    if (id >= entryCount())
        return nullptr;
    const auto it = entries.find(id);
    if (it != entries.end())
        return &it->second;
    const uint8_t* p = sector(dirChain[id / perDir]);
    if (!p)
        return nullptr;
    p += (id % perDir) * kEntrySize;
    DirEntry e;
    const uint32_t units = std::min<uint32_t>(get16(p + 64), 64) / 2;
    for (uint32_t i = 0; i < units; ++i) {
        const char16_t c = get16(p + 2 * i);
        if (c == 0)
            break;
        e.name.push_back(c);
    }
    const uint8_t type = p[66];
    e.type = (type == 1 || type == 2 || type == 5) ? static_cast<ElementType>(type)
                                                   : ElementType::Unused;
    e.color = p[67] == kRed ? kRed : kBlack;
    e.left = get32(p + 68);
    e.right = get32(p + 72);
    e.child = get32(p + 76);
    std::memcpy(e.clsid, p + 80, 16);
    e.stateBits = get32(p + 96);
    e.created = get64(p + 100);
    e.modified = get64(p + 108);
    e.start = get32(p + 116);
    e.size = majorVersion == 3 ? get32(p + 120) : get64(p + 120);
    return &entries.emplace(id, std::move(e)).first->second;
}

void CompoundFile::Impl::encodeEntry(const DirEntry& e, uint8_t* p) const
{
    std::memset(p, 0, kEntrySize);
    const size_t n = std::min<size_t>(e.name.size(), 31);
    for (size_t i = 0; i < n; ++i)
        put16(p + 2 * i, e.name[i]);
    put16(p + 64, e.type == ElementType::Unused ? 0 : static_cast<uint16_t>((n + 1) * 2));
    p[66] = static_cast<uint8_t>(e.type);
    p[67] = e.type == ElementType::Unused ? 0 : e.color;
    put32(p + 68, e.left);
    put32(p + 72, e.right);
    put32(p + 76, e.child);
    std::memcpy(p + 80, e.clsid, 16);
    put32(p + 96, e.stateBits);
    put64(p + 100, e.created);
    put64(p + 108, e.modified);
    put32(p + 116, e.type == ElementType::Unused ? 0 : e.start);
    put64(p + 120, e.size);
}

} // namespace cfb
