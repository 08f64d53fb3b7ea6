// Allocation: directory entries, sectors and mini sectors. Only what is free both in the working
// state and in the committed one is handed out (lowest first), so a change never overwrites
// what the header on disk still points to; what a transaction frees of the committed state is
// free for the next one.
#include "platform/compoundfile_internal.h"

#include <algorithm>
#include <functional>

namespace cfb {

Error CompoundFile::Impl::allocEntry(EntryId* id)
{
    if (!freeEntriesKnown) {
        freeEntries.clear();
        for (EntryId i = entryCount(); i-- > 1;) {
            const auto it = entries.find(i);
            bool unused;
            if (it != entries.end()) {
                unused = it->second.type == ElementType::Unused;
            } else {
                const uint8_t* p = sector(dirChain[i / perDir]);
                if (!p)
                    return Error::Corrupt;
                const uint8_t type = p[(i % perDir) * kEntrySize + 66];
                unused = type != 1 && type != 2 && type != 5;
            }
            if (unused)
                freeEntries.push_back(i);
        }
        freeEntriesKnown = true;
    }
    if (freeEntries.empty()) {
        const Error err = appendDirSector();
        if (err != Error::None)
            return err;
    }
    *id = freeEntries.back();
    freeEntries.pop_back();
    DirEntry* e = entry(*id);
    if (!e)
        return Error::Corrupt;
    *e = DirEntry{};
    dirty(*id);
    return Error::None;
}

Error CompoundFile::Impl::appendDirSector()
{
    const uint32_t s = allocSector();
    if (s == kFreeSect)
        return Error::TooLarge;
    const EntryId first = entryCount();
    if (!dirChain.empty())
        setFat(dirChain.back(), s);
    setFat(s, kEndOfChain);
    dirChain.push_back(s);
    for (uint32_t k = perDir; k-- > 0;) {
        entries[first + k] = DirEntry{};
        dirty(first + k);
        if (first + k != kRootEntry)
            freeEntries.push_back(first + k);
    }
    return Error::None;
}

void CompoundFile::Impl::releaseEntry(EntryId id)
{
    entries[id] = DirEntry{};
    dirty(id);
    if (freeEntriesKnown)
        freeEntries.insert(
            std::upper_bound(freeEntries.begin(), freeEntries.end(), id, std::greater<EntryId>()),
            id);
}

// ---------------------------------------------------------------------------------------------
// Sectors and mini sectors

uint32_t CompoundFile::Impl::allocSector()
{
    if (!freeSectorsKnown) {
        freeSectors.clear();
        const uint32_t n = std::min<uint32_t>(committedSectorCount(), fat.size());
        for (uint32_t s = n; s-- > 0;) {
            if (fat[s] == kFreeSect && freeInCommitted(s))
                freeSectors.push_back(s);
        }
        nextNewSector = committedSectorCount();
        freeSectorsKnown = true;
    }
    uint32_t s;
    if (!freeSectors.empty()) {
        s = freeSectors.back();
        freeSectors.pop_back();
    } else {
        while (nextNewSector < fat.size() && fat[nextNewSector] != kFreeSect)
            ++nextNewSector;
        if (nextNewSector >= kMaxRegSect - 1)
            return kFreeSect;
        s = nextNewSector++;
    }
    setFat(s, kEndOfChain);
    changed = true;
    return s;
}

void CompoundFile::Impl::freeSector(uint32_t s)
{
    if (s >= fat.size() || fat[s] == kFreeSect)
        return;
    setFat(s, kFreeSect);
    changed = true;
    // Sectors taken in this transaction may be taken again; the committed state's may not
    // until the next one.
    if (!freeInCommitted(s))
        freedSectors.push_back(s);
    else if (freeSectorsKnown && s < nextNewSector)
        freeSectors.insert(
            std::upper_bound(freeSectors.begin(), freeSectors.end(), s, std::greater<uint32_t>()),
            s);
}

Error CompoundFile::Impl::allocMini(uint32_t* m)
{
    Error err = loadMini();
    if (err != Error::None)
        return err;
    const uint32_t perSector = ss / kMiniSectorSize;
    // Free mini sectors are looked for a mini FAT block at a time, lowest first, as needed.
    while (freeMini.empty()) {
        const uint64_t capacity = static_cast<uint64_t>(miniStreamChain.size()) * perSector;
        if (miniScanned >= capacity)
            break;
        const uint64_t end = std::min<uint64_t>(capacity, (miniScanned / perFat + 1) * perFat);
        bool ok = true;
        for (uint64_t i = end; i-- > miniScanned;) {
            const auto mi = static_cast<uint32_t>(i);
            if (miniGet(mi, &ok) == kFreeSect && miniCommitted(mi, &ok) == kFreeSect)
                freeMini.push_back(mi);
        }
        if (!ok)
            return Error::Corrupt;
        miniScanned = end;
    }
    if (freeMini.empty()) {
        // Grow the mini stream by one sector.
        const uint32_t s = allocSector();
        if (s == kFreeSect)
            return Error::TooLarge;
        std::vector<uint8_t> zero(ss, 0);
        if (!writeAt(sectorOffset(s), zero.data(), ss))
            return Error::IoError;
        const uint32_t first = static_cast<uint32_t>(miniStreamChain.size()) * perSector;
        if (!miniStreamChain.empty())
            setFat(miniStreamChain.back(), s);
        setFat(s, kEndOfChain);
        miniStreamChain.push_back(s);
        for (uint32_t k = perSector; k-- > 0;)
            freeMini.push_back(first + k);
        miniScanned = first + perSector;
    }
    *m = freeMini.back();
    freeMini.pop_back();
    if (!setMiniFat(*m, kEndOfChain))
        return Error::Corrupt;
    miniTouched = true;
    changed = true;
    return Error::None;
}

void CompoundFile::Impl::freeMiniSector(uint32_t m)
{
    bool ok = true;
    if (m / perFat >= miniBlocks.size() || miniGet(m, &ok) == kFreeSect || !ok)
        return;
    if (!setMiniFat(m, kFreeSect))
        return;
    miniTouched = true;
    changed = true;
    const bool freeBefore = miniCommitted(m, &ok) == kFreeSect;
    if (!freeBefore)
        freedMini.push_back(m);
    else if (m < miniScanned)
        freeMini.insert(
            std::upper_bound(freeMini.begin(), freeMini.end(), m, std::greater<uint32_t>()), m);
}

} // namespace cfb
