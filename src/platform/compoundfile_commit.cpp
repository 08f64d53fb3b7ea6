// Commit and rollback. A commit is copy-on-write: the directory, mini FAT, FAT and DIFAT sectors
// a change touches move to sectors free in the committed state, everything new is written, and
// only then the header, in one 512-byte write, switches the file to the new state. Rollback
// goes back to the committed state, which nothing has overwritten.
#include "platform/compoundfile_internal.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <random>

namespace cfb {
namespace {

uint32_t nextSignature()
{
    static std::mutex mutex;
    static std::mt19937 rng(std::random_device{}());
    std::lock_guard lock(mutex);
    return static_cast<uint32_t>(rng());
}

} // namespace

// What a commit writes before the header, worked out before anything is written.
struct CompoundFile::Impl::CommitPlan
{
    std::vector<uint32_t> dirPositions;          // places in the directory chain to write
    std::vector<std::vector<uint8_t>> dirImages; // their new contents, in the same order
    std::vector<uint32_t> miniFatBlocks;         // mini FAT blocks to write
    std::vector<bool> fatMoved;                  // FAT blocks moved to fresh sectors
    bool difatMoved = false;
};

Error CompoundFile::Impl::commit()
{
    if (!writable || !changed)
        return Error::None;
    if (broken)
        return Error::Corrupt;

    noteMiniStreamInRoot();
    CommitPlan plan;
    composeDirectory(plan);
    Error err = moveDirectory(plan);
    if (err == Error::None)
        err = moveMiniFat(plan);
    if (err == Error::None)
        err = moveFatAndDifat(plan);
    // Everything new goes out before the header.
    if (err == Error::None)
        err = writeDirectory(plan);
    if (err == Error::None)
        err = writeMiniFat(plan);
    if (err == Error::None)
        err = writeFat(plan);
    if (err == Error::None)
        err = writeDifat(plan);
    if (err != Error::None)
        return err;

    // A fresh signature per commit: with the file's identity it tells a cached state from a
    // file that has changed since (see compoundfile_cache.cpp).
    uint32_t signature;
    do {
        signature = nextSignature();
    } while (signature == transaction || signature == 0);
    uint8_t header[512] = {};
    composeHeader(header, signature);
    err = switchHeader(header);
    if (err != Error::None)
        return err;
    transaction = signature;

    cutFreeTail();
    settleCommitted();
    return Error::None;
}

// The root entry holds the mini stream's start and size.
void CompoundFile::Impl::noteMiniStreamInRoot()
{
    if (!miniTouched)
        return;
    DirEntry* root = entry(kRootEntry);
    const uint32_t start = miniStreamChain.empty() ? kEndOfChain : miniStreamChain[0];
    const uint64_t size = static_cast<uint64_t>(miniStreamChain.size()) * ss;
    if (root->start != start || root->size != size) {
        root->start = start;
        root->size = size;
        dirty(kRootEntry);
    }
}

// Directory sectors holding changed entries, composed now (from the committed bytes, before
// anything moves) to be written to fresh sectors.
void CompoundFile::Impl::composeDirectory(CommitPlan& plan)
{
    std::vector<uint32_t>& positions = plan.dirPositions;
    for (EntryId id : dirtyEntries)
        positions.push_back(id / perDir);
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (uint32_t pos : positions) {
        std::vector<uint8_t> image(ss, 0);
        const bool committedSector = pos < dirChainC.size() && dirChain[pos] == dirChainC[pos];
        const uint8_t* old = committedSector ? sector(dirChain[pos]) : nullptr;
        if (old)
            std::memcpy(image.data(), old, ss);
        for (uint32_t k = 0; k < perDir; ++k) {
            const EntryId id = pos * perDir + k;
            // Entries this transaction did not touch keep their bytes exactly.
            const auto it = entries.find(id);
            if (it != entries.end() && (!old || dirtyEntries.count(id)))
                encodeEntry(it->second, image.data() + k * kEntrySize);
            else if (!old)
                encodeEntry(DirEntry{}, image.data() + k * kEntrySize);
        }
        plan.dirImages.push_back(std::move(image));
    }
}

// Directory sectors of the committed state that change move to fresh ones.
Error CompoundFile::Impl::moveDirectory(const CommitPlan& plan)
{
    for (uint32_t pos : plan.dirPositions) {
        if (pos < dirChainC.size() && dirChain[pos] == dirChainC[pos]) {
            const uint32_t s = allocSector();
            if (s == kFreeSect)
                return Error::TooLarge;
            freeSector(dirChain[pos]);
            dirChain[pos] = s;
        }
    }
    for (size_t i = 0; i < dirChain.size(); ++i)
        setFat(dirChain[i], i + 1 < dirChain.size() ? dirChain[i + 1] : kEndOfChain);
    return Error::None;
}

// Mini FAT sectors that changed move to fresh ones; new blocks get sectors.
Error CompoundFile::Impl::moveMiniFat(CommitPlan& plan)
{
    if (!miniLoaded || !miniTouched)
        return Error::None;
    const size_t blocks = miniBlocks.size();
    while (miniFatChain.size() < blocks) {
        const uint32_t s = allocSector();
        if (s == kFreeSect)
            return Error::TooLarge;
        miniFatChain.push_back(s);
    }
    // Only the blocks written to since the last commit, and new ones, can differ.
    std::vector<uint32_t> candidates = miniDirtyBlocks;
    for (size_t b = miniFatChainC.size(); b < blocks; ++b)
        candidates.push_back(static_cast<uint32_t>(b));
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    for (const size_t b : candidates) {
        if (b >= blocks)
            continue;
        const auto original = miniOriginal.find(static_cast<uint32_t>(b));
        const bool same = b < miniBlocksC && b < miniFatChainC.size() &&
                          miniFatChain[b] == miniFatChainC[b] &&
                          (original == miniOriginal.end() || original->second == miniBlocks[b]);
        if (same)
            continue;
        if (b < miniFatChainC.size() && miniFatChain[b] == miniFatChainC[b]) {
            const uint32_t s = allocSector();
            if (s == kFreeSect)
                return Error::TooLarge;
            freeSector(miniFatChain[b]);
            miniFatChain[b] = s;
        }
        plan.miniFatBlocks.push_back(static_cast<uint32_t>(b));
    }
    for (size_t i = 0; i < miniFatChain.size(); ++i)
        setFat(miniFatChain[i], i + 1 < miniFatChain.size() ? miniFatChain[i + 1] : kEndOfChain);
    return Error::None;
}

// FAT and DIFAT: moving a FAT sector changes the FAT, so go round until nothing moves.
Error CompoundFile::Impl::moveFatAndDifat(CommitPlan& plan)
{
    plan.fatMoved.assign(fatSectors.size(), false);
    plan.difatMoved = false;
    for (int round = 0;; ++round) {
        if (round > 10000)
            return Error::Corrupt;
        bool grew = false;
        Error err = growFatAndDifat(plan, &grew);
        if (err != Error::None)
            return err;
        if (grew)
            continue;
        bool fatMoved = false, difatMoved = false;
        err = moveChangedFat(plan, &fatMoved);
        if (err != Error::None)
            return err;
        err = moveDifat(plan, &difatMoved);
        if (err != Error::None)
            return err;
        if (!fatMoved && !difatMoved)
            return Error::None;
    }
}

// Enough FAT sectors for the FAT, and DIFAT sectors for the FAT sectors past the header's slots.
Error CompoundFile::Impl::growFatAndDifat(CommitPlan& plan, bool* grew)
{
    const size_t needFat = (fat.size() + perFat - 1) / perFat;
    while (fatSectors.size() < needFat) {
        const uint32_t s = allocSector();
        if (s == kFreeSect)
            return Error::TooLarge;
        setFat(s, kFatSect);
        fatSectors.push_back(s);
        plan.fatMoved.push_back(true);
        *grew = true;
    }
    const size_t needDifat = fatSectors.size() > kHeaderDifat
                                 ? (fatSectors.size() - kHeaderDifat + perFat - 2) / (perFat - 1)
                                 : 0;
    while (difatSectors.size() < needDifat) {
        const uint32_t s = allocSector();
        if (s == kFreeSect)
            return Error::TooLarge;
        setFat(s, kDifSect);
        difatSectors.push_back(s);
        *grew = true;
    }
    return Error::None;
}

// FAT blocks whose contents differ from the committed ones move to fresh sectors.
Error CompoundFile::Impl::moveChangedFat(CommitPlan& plan, bool* moved)
{
    // Only blocks written to since the last commit can differ; the list grows as FAT sectors
    // move.
    for (size_t k = 0; k < fatDirtyBlocks.size(); ++k) {
        const size_t b = fatDirtyBlocks[k];
        if (b >= fatSectors.size() || plan.fatMoved[b])
            continue;
        bool same = true;
        for (uint32_t j = 0; same && j < perFat; ++j) {
            const size_t i = b * perFat + j;
            const uint32_t now = i < fat.size() ? fat[i] : kFreeSect;
            const uint32_t before = fatCommitted(static_cast<uint32_t>(i));
            same = now == before;
        }
        if (same)
            continue;
        const uint32_t s = allocSector();
        if (s == kFreeSect)
            return Error::TooLarge;
        setFat(s, kFatSect);
        freeSector(fatSectors[b]);
        fatSectors[b] = s;
        plan.fatMoved[b] = true;
        *moved = true;
    }
    return Error::None;
}

// The DIFAT moves as a whole, once, when the FAT sectors it lists have changed.
Error CompoundFile::Impl::moveDifat(CommitPlan& plan, bool* moved)
{
    if (difatSectors.empty() || plan.difatMoved)
        return Error::None;
    bool same = difatSectors == difatSectorsC && fatSectors.size() == fatSectorsC.size();
    for (size_t i = kHeaderDifat; same && i < fatSectors.size(); ++i)
        same = fatSectors[i] == fatSectorsC[i];
    if (same)
        return Error::None;
    for (uint32_t& d : difatSectors) {
        if (std::find(difatSectorsC.begin(), difatSectorsC.end(), d) != difatSectorsC.end()) {
            const uint32_t s = allocSector();
            if (s == kFreeSect)
                return Error::TooLarge;
            setFat(s, kDifSect);
            freeSector(d);
            d = s;
        }
    }
    plan.difatMoved = true;
    *moved = true;
    return Error::None;
}

Error CompoundFile::Impl::writeDirectory(const CommitPlan& plan)
{
    for (size_t i = 0; i < plan.dirPositions.size(); ++i) {
        if (!writeAt(sectorOffset(dirChain[plan.dirPositions[i]]), plan.dirImages[i].data(), ss))
            return Error::IoError;
    }
    return Error::None;
}

Error CompoundFile::Impl::writeMiniFat(const CommitPlan& plan)
{
    std::vector<uint8_t> image(ss);
    for (uint32_t b : plan.miniFatBlocks) {
        if (!miniBlock(b))
            return Error::Corrupt;
        for (uint32_t j = 0; j < perFat; ++j)
            put32(image.data() + 4 * j, miniBlocks[b][j]);
        if (!writeAt(sectorOffset(miniFatChain[b]), image.data(), ss))
            return Error::IoError;
    }
    return Error::None;
}

Error CompoundFile::Impl::writeFat(const CommitPlan& plan)
{
    std::vector<uint8_t> image(ss);
    for (size_t b = 0; b < fatSectors.size(); ++b) {
        if (!plan.fatMoved[b])
            continue;
        for (uint32_t j = 0; j < perFat; ++j) {
            const size_t i = b * perFat + j;
            put32(image.data() + 4 * j, i < fat.size() ? fat[i] : kFreeSect);
        }
        if (!writeAt(sectorOffset(fatSectors[b]), image.data(), ss))
            return Error::IoError;
    }
    return Error::None;
}

Error CompoundFile::Impl::writeDifat(const CommitPlan& plan)
{
    if (!plan.difatMoved && difatSectors.size() == difatSectorsC.size())
        return Error::None;
    std::vector<uint8_t> image(ss);
    for (size_t d = 0; d < difatSectors.size(); ++d) {
        for (uint32_t j = 0; j + 1 < perFat; ++j) {
            const size_t i = kHeaderDifat + d * (perFat - 1) + j;
            put32(image.data() + 4 * j, i < fatSectors.size() ? fatSectors[i] : kFreeSect);
        }
        put32(image.data() + 4 * (perFat - 1),
              d + 1 < difatSectors.size() ? difatSectors[d + 1] : kEndOfChain);
        if (!writeAt(sectorOffset(difatSectors[d]), image.data(), ss))
            return Error::IoError;
    }
    return Error::None;
}

// The header of the working state; header holds 512 zero bytes.
void CompoundFile::Impl::composeHeader(uint8_t* header, uint32_t signature) const
{
    std::memcpy(header, kSignature, 8);
    std::memcpy(header + 8, headerClsid, 16);
    put16(header + 24, minorVersion);
    put16(header + 26, majorVersion);
    put16(header + 28, 0xFFFE);
    put16(header + 30, static_cast<uint16_t>(shift));
    put16(header + 32, 6);
    put32(header + 40, majorVersion == 3 ? 0 : static_cast<uint32_t>(dirChain.size()));
    put32(header + 44, static_cast<uint32_t>(fatSectors.size()));
    put32(header + 48, dirChain[0]);
    put32(header + 52, signature);
    put32(header + 56, kMiniCutoff);
    put32(header + 60, miniFatChain.empty() ? kEndOfChain : miniFatChain[0]);
    put32(header + 64, static_cast<uint32_t>(miniFatChain.size()));
    put32(header + 68, difatSectors.empty() ? kEndOfChain : difatSectors[0]);
    put32(header + 72, static_cast<uint32_t>(difatSectors.size()));
    for (uint32_t i = 0; i < kHeaderDifat; ++i)
        put32(header + 76 + 4 * i, i < fatSectors.size() ? fatSectors[i] : kFreeSect);
}

// The one write that switches the file to the new state; flushed on both sides when durable.
Error CompoundFile::Impl::switchHeader(const uint8_t* header)
{
    if (durable && !io->sync())
        return Error::IoError;
    if (!writeAt(0, header, 512))
        return Error::IoError;
    if (durable && !io->sync())
        return Error::IoError;
    return Error::None;
}

// Free sectors at the end of the file are cut off.
void CompoundFile::Impl::cutFreeTail()
{
    uint32_t last = static_cast<uint32_t>(std::min<size_t>(fat.size(), sectorCount()));
    while (last > 0 && fat[last - 1] == kFreeSect)
        --last;
    const uint64_t wanted = sectorOffset(last);
    if (wanted < io->size())
        io->truncate(wanted);
}

// The new state becomes the committed one: only the changed blocks are copied.
void CompoundFile::Impl::settleCommitted()
{
    sizeC = io->size();
    auto settle = [](std::vector<uint8_t>& flags, std::vector<uint32_t>& list) {
        for (uint32_t b : list)
            flags[b] = 0;
        list.clear();
    };
    settle(fatBlockDirty, fatDirtyBlocks);
    settle(miniBlockDirty, miniDirtyBlocks);
    fatOriginal.clear();
    fatSizeC = fat.size();
    miniOriginal.clear();
    miniBlocksC = miniBlocks.size();
    fatSectorsC = fatSectors;
    difatSectorsC = difatSectors;
    dirChainC = dirChain;
    miniFatChainC = miniFatChain;
    miniStreamChainC = miniStreamChain;
    dirtyEntries.clear();
    // What this transaction freed is free for the next one.
    const auto byHighestFirst = std::greater<uint32_t>();
    if (freeSectorsKnown) {
        const uint32_t count = committedSectorCount();
        freeSectors.insert(freeSectors.end(), freedSectors.begin(), freedSectors.end());
        freeSectors.erase(std::remove_if(freeSectors.begin(), freeSectors.end(),
                                         [count](uint32_t x) { return x >= count; }),
                          freeSectors.end());
        std::sort(freeSectors.begin(), freeSectors.end(), byHighestFirst);
        nextNewSector = count;
    }
    // (Mini sectors not yet looked at are found by the next look.)
    for (uint32_t m : freedMini) {
        if (m < miniScanned)
            freeMini.push_back(m);
    }
    std::sort(freeMini.begin(), freeMini.end(), byHighestFirst);
    freedSectors.clear();
    freedMini.clear();
    changed = false;
    miniTouched = false;
}

void CompoundFile::Impl::rollback()
{
    if (!changed && !broken)
        return;
    if (io->size() > sizeC)
        io->truncate(sizeC);
    for (auto& [b, original] : fatOriginal)
        std::copy(original.begin(), original.end(), fat.begin() + static_cast<long>(b) * perFat);
    fat.resize(fatSizeC);
    fatOriginal.clear();
    for (auto& [b, original] : miniOriginal)
        miniBlocks[b] = std::move(original);
    if (miniBlocks.size() > miniBlocksC)
        miniBlocks.resize(miniBlocksC);
    miniOriginal.clear();
    freeMini.clear();
    miniScanned = 0;
    fatSectors = fatSectorsC;
    difatSectors = difatSectorsC;
    dirChain = dirChainC;
    miniFatChain = miniFatChainC;
    miniStreamChain = miniStreamChainC;
    entries.clear();
    dirtyEntries.clear();
    std::fill(fatBlockDirty.begin(), fatBlockDirty.end(), 0);
    std::fill(miniBlockDirty.begin(), miniBlockDirty.end(), 0);
    fatDirtyBlocks.clear();
    miniDirtyBlocks.clear();
    freedSectors.clear();
    freedMini.clear();
    freeEntriesKnown = false;
    freeSectorsKnown = false;
    changed = false;
    broken = false;
    miniTouched = false;
}

} // namespace cfb
