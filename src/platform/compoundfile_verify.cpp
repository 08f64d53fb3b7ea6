// The structural check of the committed state, for tests and fuzzers: chains, tables, trees,
// colours and lost sectors.
#include "platform/compoundfile_internal.h"

namespace cfb {

std::vector<std::string> CompoundFile::Impl::verify()
{
    std::vector<std::string> problems;
    auto problem = [&problems](std::string text) {
        if (problems.size() < 50)
            problems.push_back(std::move(text));
    };
    if (changed)
        problem("uncommitted changes");
    const uint32_t count = sectorCount();
    std::vector<uint8_t> used(count, 0);
    // False ends the walk of a chain: outside the file, or a sector met before (a loop).
    auto claim = [&](uint32_t s, const std::string& what) {
        if (s >= count) {
            problem(what + ": sector " + std::to_string(s) + " outside the file");
            return false;
        }
        if (used[s]++) {
            problem(what + ": sector " + std::to_string(s) + " used twice");
            return false;
        }
        return true;
    };
    for (uint32_t s : fatSectors) {
        if (claim(s, "FAT") && (s >= fat.size() || fat[s] != kFatSect))
            problem("FAT sector " + std::to_string(s) + " not marked as such");
    }
    for (uint32_t s : difatSectors) {
        if (claim(s, "DIFAT") && (s >= fat.size() || fat[s] != kDifSect))
            problem("DIFAT sector " + std::to_string(s) + " not marked as such");
    }
    for (uint32_t s : dirChain)
        claim(s, "directory");
    for (uint32_t s : miniFatChain)
        claim(s, "mini FAT");
    if (loadMini() != Error::None) {
        problem("mini stream unreadable");
        return problems;
    }
    std::vector<uint32_t> miniFat;
    for (uint32_t b = 0; b < miniBlocks.size(); ++b) {
        if (!miniBlock(b)) {
            problem("mini FAT unreadable");
            return problems;
        }
        miniFat.insert(miniFat.end(), miniBlocks[b].begin(), miniBlocks[b].end());
    }
    for (uint32_t s : miniStreamChain)
        claim(s, "mini stream");
    const uint32_t perSector = ss / kMiniSectorSize;
    const uint64_t miniCapacity = static_cast<uint64_t>(miniStreamChain.size()) * perSector;
    const DirEntry* rootEntry = entry(kRootEntry);
    if (rootEntry && rootEntry->size > miniStreamChain.size() * static_cast<uint64_t>(ss))
        problem("mini stream shorter than the root entry says");
    std::vector<uint8_t> miniUsed(miniCapacity, 0);

    // Trees: every used entry reached exactly once.
    std::vector<uint8_t> reached(entryCount(), 0);
    reached[kRootEntry] = 1;
    std::vector<EntryId> storages{kRootEntry};
    while (!storages.empty()) {
        const EntryId st = storages.back();
        storages.pop_back();
        std::vector<EntryId> kids;
        size_t stray = 0;
        if (inOrder(st, kids, &stray) != Error::None) {
            problem("tree of entry " + std::to_string(st) + " is damaged");
            continue;
        }
        if (stray > 0)
            problem("tree of entry " + std::to_string(st) + " holds unused entries");
        for (size_t i = 0; i < kids.size(); ++i) {
            const DirEntry* e = entry(kids[i]);
            if (reached[kids[i]]++) {
                problem("entry " + std::to_string(kids[i]) + " in two trees");
                continue;
            }
            if (i > 0 && compareNames(entry(kids[i - 1])->name, e->name) >= 0)
                problem("tree of entry " + std::to_string(st) + " out of order");
            if (isStorage(*e)) {
                storages.push_back(kids[i]);
            } else if (e->size > 0) {
                const std::string what = "stream " + utf16ToUtf8(e->name);
                if (e->size < kMiniCutoff) {
                    uint32_t m = e->start;
                    for (uint64_t k = 0; k < (e->size + 63) / 64; ++k) {
                        if (m >= miniCapacity || m >= miniFat.size()) {
                            problem(what + ": mini chain leaves the mini stream");
                            break;
                        }
                        if (miniUsed[m]++) {
                            problem(what + ": mini sector used twice");
                            break;
                        }
                        m = miniFat[m];
                    }
                    if (m != kEndOfChain)
                        problem(what + ": mini chain longer than the stream");
                } else {
                    uint32_t s = e->start;
                    for (uint64_t k = 0; k < (e->size + ss - 1) / ss; ++k) {
                        if (!claim(s, what) || s >= fat.size())
                            break;
                        s = fat[s];
                    }
                    if (s != kEndOfChain)
                        problem(what + ": chain longer than the stream");
                }
            }
        }
        // Red-black: red nodes have black children, every path has the same black count.
        struct Check
        {
            Impl& cf;
            bool ok = true;
            int blackHeight(EntryId x, int depth)
            {
                if (x == kNoStream)
                    return 1;
                if (depth > 200 || x >= cf.entryCount()) {
                    ok = false;
                    return 0;
                }
                const DirEntry* e = cf.entry(x);
                const int l = blackHeight(e->left, depth + 1);
                const int r = blackHeight(e->right, depth + 1);
                if (l != r)
                    ok = false;
                if (e->color == kRed) {
                    for (EntryId c : {e->left, e->right}) {
                        if (c != kNoStream && c < cf.entryCount() && cf.entry(c)->color == kRed)
                            ok = false;
                    }
                }
                return l + (e->color == kBlack ? 1 : 0);
            }
        } check{*this};
        const EntryId top = entry(st)->child;
        check.blackHeight(top, 0);
        if (top != kNoStream && top < entryCount() && entry(top)->color != kBlack)
            check.ok = false;
        if (!check.ok)
            problem("tree of entry " + std::to_string(st) + " is not red-black");
    }
    for (EntryId i = 1; i < entryCount(); ++i) {
        const DirEntry* e = entry(i);
        if (e && e->type != ElementType::Unused && !reached[i])
            problem("entry " + std::to_string(i) + " belongs to no tree");
    }
    for (uint32_t s = 0; s < count && s < fat.size(); ++s) {
        if (fat[s] != kFreeSect && !used[s])
            problem("sector " + std::to_string(s) + " is lost");
    }
    for (size_t s = count; s < fat.size(); ++s) {
        if (fat[s] != kFreeSect) {
            problem("the FAT uses sector " + std::to_string(s) + " past the end of the file");
            break;
        }
    }
    for (uint64_t m = 0; m < miniCapacity && m < miniFat.size(); ++m) {
        if (miniFat[m] != kFreeSect && !miniUsed[m])
            problem("mini sector " + std::to_string(m) + " is lost");
    }
    return problems;
}

} // namespace cfb
