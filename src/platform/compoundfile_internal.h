#pragma once
// The inside of the compound-file engine, shared by its parts and by nothing outside
// src/platform: the on-disk constants, where the bytes live (Backing), a decoded directory entry
// and the engine's state (CompoundFile::Impl) with every operation the parts implement.
//
// The parts, by concern:
//   compoundfile.cpp         the public interface: opening, creating, elements and streams
//   compoundfile_backing.cpp a locked, memory-mapped file written through its FileIo
//                            (compoundfile_io.h), or a memory image
//   compoundfile_load.cpp    the header, FAT, DIFAT and directory entries as read from the file
//   compoundfile_alloc.cpp   directory entries, sectors and mini sectors taken and given back
//   compoundfile_streams.cpp stream contents read, written and freed
//   compoundfile_tree.cpp    the red-black trees of siblings and their order
//   compoundfile_commit.cpp  commit (copy-on-write, header last) and rollback
//   compoundfile_verify.cpp  the structural check
//   compoundfile_cache.cpp   the states kept between opens
//   compoundfile_names.cpp   element names: order, checks, UTF-8 and UTF-16
//
// The committed state (members ending in C) is what the header on disk points to; the working
// state is everything else. Nothing the committed state uses is written to until the header
// switches to a new one.

#include "platform/compoundfile.h"
#include "platform/compoundfile_io.h"

#include <sys/stat.h>

#include <array>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace cfb {

inline constexpr uint32_t kFreeSect = 0xFFFFFFFF;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;
inline constexpr uint32_t kHead = 0xFFFFFFFE; // the parent of a tree's root: the storage itself
inline constexpr uint32_t kHeaderDifat = 109;
inline constexpr uint32_t kMiniSectorSize = 64;
inline constexpr uint32_t kMiniCutoff = 4096;
inline constexpr uint32_t kEntrySize = 128;
inline constexpr uint8_t kRed = 0;
inline constexpr uint8_t kBlack = 1;
inline constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Little-endian fields.
inline uint16_t get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t get64(const uint8_t* p)
{
    return get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}
inline void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put64(uint8_t* p, uint64_t v)
{
    put32(p, static_cast<uint32_t>(v));
    put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// ---------------------------------------------------------------------------------------------
// Where the bytes live: a locked, memory-mapped file written through a FileIo, or a memory
// image.

class Backing
{
public:
    virtual ~Backing() = default;
    virtual uint64_t size() const = 0;
    // [offset, offset + length) of the file, or null when it is not all inside. Valid until
    // the next call of view(), write() or truncate().
    virtual const uint8_t* view(uint64_t offset, size_t length) = 0;
    virtual bool write(uint64_t offset, const void* data, size_t length) = 0;
    virtual bool truncate(uint64_t size) = 0;
    virtual bool sync() { return true; }
    virtual std::string image() const { return {}; }
    virtual int fd() const { return -1; }
    // Whether the state may be kept for the next open of the same file (see FileIo).
    virtual bool mayKeepState() const { return false; }
    // Copies [offset, offset + length); false when it is not all inside the file.
    virtual bool read(uint64_t offset, void* out, size_t length)
    {
        const uint8_t* p = view(offset, length);
        if (!p)
            return false;
        std::memcpy(out, p, length);
        return true;
    }
};

class MemoryBacking final : public Backing
{
public:
    explicit MemoryBacking(std::string bytes);
    uint64_t size() const override { return m_bytes.size(); }
    const uint8_t* view(uint64_t offset, size_t length) override;
    bool write(uint64_t offset, const void* data, size_t length) override;
    bool truncate(uint64_t size) override;
    std::string image() const override { return m_bytes; }

private:
    std::string m_bytes;
};

// A read-only shared mapping of a file, unmapped when it goes.
class Mapping
{
public:
    Mapping() = default;
    Mapping(const uint8_t* data, uint64_t length)
        : m_data(data)
        , m_length(length)
    {}
    Mapping(Mapping&& o) noexcept
        : m_data(std::exchange(o.m_data, nullptr))
        , m_length(std::exchange(o.m_length, 0))
    {}
    Mapping& operator=(Mapping&& o) noexcept;
    ~Mapping() { reset(); }
    void reset();
    const uint8_t* data() const { return m_data; }
    uint64_t length() const { return m_length; }

private:
    const uint8_t* m_data = nullptr;
    uint64_t m_length = 0;
};

class FileBacking final : public Backing
{
public:
    // A mapping of the same, unchanged file may be handed over from an earlier opener.
    FileBacking(int fd, uint64_t size, std::shared_ptr<FileIo> io, Mapping mapping = {});
    ~FileBacking() override;
    Mapping takeMapping() { return std::move(m_map); }
    uint64_t size() const override { return m_size; }
    const uint8_t* view(uint64_t offset, size_t length) override;
    bool write(uint64_t offset, const void* data, size_t length) override;
    bool truncate(uint64_t size) override;
    bool sync() override;
    int fd() const override { return m_fd; }
    bool mayKeepState() const override { return m_io->mayKeepState(); }
    // Tables read whole go through read(2): faulting in hundreds of scattered pages of a
    // mapping costs more.
    bool read(uint64_t offset, void* out, size_t length) override;

private:
    int m_fd;
    std::shared_ptr<FileIo> m_io;
    uint64_t m_size;
    Mapping m_map;
};

// ---------------------------------------------------------------------------------------------
// Directory entries

struct DirEntry
{
    std::u16string name;
    ElementType type = ElementType::Unused;
    uint8_t color = kBlack;
    uint32_t left = kNoStream;
    uint32_t right = kNoStream;
    uint32_t child = kNoStream;
    uint8_t clsid[16] = {};
    uint32_t stateBits = 0;
    uint64_t created = 0;
    uint64_t modified = 0;
    uint32_t start = kEndOfChain;
    uint64_t size = 0;
};

inline bool isStorage(const DirEntry& e)
{
    return e.type == ElementType::Storage || e.type == ElementType::Root;
}

// ---------------------------------------------------------------------------------------------
// The engine's state

struct CompoundFile::Impl
{
    std::unique_ptr<Backing> io;
    bool writable = false;
    bool durable = false;
    uint32_t shift = 9;
    uint32_t ss = 512;     // sector size
    uint32_t perFat = 128; // FAT entries per sector
    uint32_t perDir = 4;   // directory entries per sector
    uint16_t minorVersion = 0x3E;
    uint16_t majorVersion = 3;
    uint32_t transaction = 0;
    uint8_t headerClsid[16] = {};

    // The committed state ("C") and the working state.
    uint64_t sizeC = 0;
    std::vector<uint32_t> fatSectorsC, difatSectorsC, dirChainC, miniFatChainC, miniStreamChainC;
    std::vector<uint32_t> fat, fatSectors, difatSectors, dirChain, miniFatChain, miniStreamChain;
    bool miniLoaded = false;
    bool miniTouched = false;

    std::unordered_map<EntryId, DirEntry> entries; // decoded entries, working state
    std::unordered_set<EntryId> dirtyEntries;
    std::vector<EntryId> freeEntries; // unused entries, highest first
    bool freeEntriesKnown = false;

    std::vector<uint32_t> freeSectors; // allocatable sectors, highest first
    bool freeSectorsKnown = false;
    uint32_t nextNewSector = 0;
    std::vector<uint32_t> freeMini; // allocatable mini sectors, highest first
    uint64_t miniScanned = 0;       // mini sectors below this have been looked at for free ones

    // FAT and mini FAT blocks changed since the last commit, and sectors and mini sectors freed
    // since then that were in use before (free for the next transaction, not this one).
    // The committed FAT is the working one except for the blocks changed since: their committed
    // contents are kept aside. The mini FAT is read block by block as it is needed.
    size_t fatSizeC = 0;
    std::unordered_map<uint32_t, std::vector<uint32_t>> fatOriginal;
    std::vector<std::vector<uint32_t>> miniBlocks; // empty until read
    size_t miniBlocksC = 0;
    std::unordered_map<uint32_t, std::vector<uint32_t>> miniOriginal;
    std::vector<uint8_t> fatBlockDirty, miniBlockDirty;
    std::vector<uint32_t> fatDirtyBlocks, miniDirtyBlocks;
    std::vector<uint32_t> freedSectors, freedMini;
    Mapping parkedMap; // the file's mapping while the state waits in the cache

    bool changed = false;
    bool broken = false; // a change met a damaged structure: nothing more is committed
    uint64_t written = 0;
    uint8_t tail[4096] = {}; // a last sector cut short by the end of the file, zero-padded

    // --- sectors ---
    uint64_t sectorOffset(uint32_t s) const { return (static_cast<uint64_t>(s) + 1) * ss; }
    uint32_t sectorCount() const
    {
        const uint64_t size = io->size();
        if (size <= ss)
            return 0;
        const uint64_t n = (size - ss + ss - 1) / ss;
        return n > kMaxRegSect ? kMaxRegSect : static_cast<uint32_t>(n);
    }
    const uint8_t* sector(uint32_t s)
    {
        if (s >= sectorCount())
            return nullptr;
        const uint64_t off = sectorOffset(s);
        if (off + ss <= io->size())
            return io->view(off, ss);
        const size_t have = static_cast<size_t>(io->size() - off);
        const uint8_t* p = io->view(off, have);
        if (!p)
            return nullptr;
        std::memset(tail, 0, sizeof tail);
        std::memcpy(tail, p, have);
        return tail;
    }
    bool writeAt(uint64_t offset, const void* data, size_t length)
    {
        if (!io->write(offset, data, length))
            return false;
        written += length;
        return true;
    }

    // --- loading ---
    // The 32-bit entries of the given sectors, in order. Sectors close to each other in the
    // file are read together (a gap of a few sectors costs less than another read); the last
    // sector may be cut short by the end of the file. False when a sector lies outside it.
    bool readTable(const std::vector<uint32_t>& sectors, std::vector<uint32_t>& table);
    Error loadHeader();
    Error followChain(uint32_t start, const std::vector<uint32_t>& table, uint32_t limit,
                      std::vector<uint32_t>& out) const;
    Error loadMini();

    // --- directory entries ---
    uint32_t entryCount() const { return static_cast<uint32_t>(dirChain.size()) * perDir; }
    DirEntry* entry(EntryId id);
    void dirty(EntryId id)
    {
        dirtyEntries.insert(id);
        changed = true;
    }
    void encodeEntry(const DirEntry& e, uint8_t* p) const;
    Error findChild(EntryId storage, std::u16string_view name, EntryId* found);
    // The elements of a storage in tree order. Unused entries and the root met in the tree are
    // skipped; *stray counts them.
    Error inOrder(EntryId storage, std::vector<EntryId>& out, size_t* stray = nullptr);
    Error allocEntry(EntryId* id);
    Error appendDirSector();
    void releaseEntry(EntryId id);

    // --- allocation ---
    bool freeInCommitted(uint32_t s) const
    {
        if (s >= committedSectorCount())
            return true;
        return s < fatSizeC && fatCommitted(s) == kFreeSect;
    }
    uint32_t committedSectorCount() const
    {
        if (sizeC <= ss)
            return 0;
        return static_cast<uint32_t>((sizeC - ss + ss - 1) / ss);
    }
    uint32_t allocSector();
    void freeSector(uint32_t s);
    void ensureFat(uint32_t s)
    {
        if (s >= fat.size())
            fat.resize((static_cast<size_t>(s) / perFat + 1) * perFat, kFreeSect);
    }
    static void markBlock(size_t block, std::vector<uint8_t>& flags, std::vector<uint32_t>& list)
    {
        if (block >= flags.size())
            flags.resize(block + 1, 0);
        if (!flags[block]) {
            flags[block] = 1;
            list.push_back(static_cast<uint32_t>(block));
        }
    }
    uint32_t fatCommitted(uint32_t s) const
    {
        if (s >= fatSizeC)
            return kFreeSect;
        const auto it = fatOriginal.find(s / perFat);
        return it != fatOriginal.end() ? it->second[s % perFat] : fat[s];
    }
    void setFat(uint32_t s, uint32_t value)
    {
        ensureFat(s);
        if (fat[s] != value) {
            const uint32_t b = s / perFat;
            if (static_cast<size_t>(b) * perFat < fatSizeC && !fatOriginal.count(b))
                fatOriginal.emplace(b, std::vector<uint32_t>(fat.begin() + b * perFat,
                                                             fat.begin() + (b + 1) * perFat));
            fat[s] = value;
            markBlock(b, fatBlockDirty, fatDirtyBlocks);
        }
    }
    // The mini FAT: entries beyond it read as free; false when a block cannot be read.
    bool miniBlock(uint32_t b)
    {
        if (b >= miniBlocks.size() || !miniBlocks[b].empty())
            return true;
        if (b >= miniFatChain.size())
            return false;
        std::vector<uint32_t> block;
        if (!readTable({miniFatChain[b]}, block))
            return false;
        miniBlocks[b] = std::move(block);
        return true;
    }
    uint32_t miniGet(uint32_t m, bool* ok)
    {
        const uint32_t b = m / perFat;
        if (b >= miniBlocks.size())
            return kFreeSect;
        if (!miniBlock(b)) {
            *ok = false;
            return kFreeSect;
        }
        return miniBlocks[b][m % perFat];
    }
    uint32_t miniCommitted(uint32_t m, bool* ok)
    {
        const uint32_t b = m / perFat;
        if (b >= miniBlocksC)
            return kFreeSect;
        const auto it = miniOriginal.find(b);
        return it != miniOriginal.end() ? it->second[m % perFat] : miniGet(m, ok);
    }
    bool setMiniFat(uint32_t m, uint32_t value)
    {
        const uint32_t b = m / perFat;
        while (miniBlocks.size() <= b)
            miniBlocks.emplace_back(perFat, kFreeSect);
        if (!miniBlock(b))
            return false;
        uint32_t& slot = miniBlocks[b][m % perFat];
        if (slot != value) {
            if (b < miniBlocksC && !miniOriginal.count(b))
                miniOriginal.emplace(b, miniBlocks[b]);
            slot = value;
            markBlock(b, miniBlockDirty, miniDirtyBlocks);
        }
        return true;
    }
    Error allocMini(uint32_t* m);
    void freeMiniSector(uint32_t m);
    Error freeStreamData(DirEntry& e);
    Error writeData(DirEntry& e, std::string_view data);
    Error readData(const DirEntry& e, std::string* out);

    // --- trees ---
    Error insertEntry(EntryId storage, EntryId z);
    Error removeEntry(EntryId storage, EntryId z);
    Error rebuildTree(EntryId storage);
    Error destroyEntry(EntryId parent, EntryId id);

    // --- commit, step by step (compoundfile_commit.cpp) ---
    struct CommitPlan;
    Error commit();
    void noteMiniStreamInRoot();
    void composeDirectory(CommitPlan& plan);
    Error moveDirectory(const CommitPlan& plan);
    Error moveMiniFat(CommitPlan& plan);
    Error moveFatAndDifat(CommitPlan& plan);
    Error growFatAndDifat(CommitPlan& plan, bool* grew);
    Error moveChangedFat(CommitPlan& plan, bool* moved);
    Error moveDifat(CommitPlan& plan, bool* moved);
    Error writeDirectory(const CommitPlan& plan);
    Error writeMiniFat(const CommitPlan& plan);
    Error writeFat(const CommitPlan& plan);
    Error writeDifat(const CommitPlan& plan);
    void composeHeader(uint8_t* header, uint32_t signature) const;
    Error switchHeader(const uint8_t* header);
    void cutFreeTail();
    void settleCommitted();
    void rollback();
    std::vector<std::string> verify();
};

// ---------------------------------------------------------------------------------------------
// The states kept between opens (compoundfile_cache.cpp)

// What makes an open file the same file, unchanged, as one released earlier.
struct Identity
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    std::array<uint8_t, 512> header{};

    bool operator==(const Identity& o) const
    {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec &&
               header == o.header;
    }
};

// The identity of an open file; false when it cannot be told (or is too short to hold a header).
bool identify(int fd, Identity& id);
// The state kept for that file if it is unchanged; null otherwise. Either way the file's entry
// is gone from the cache.
std::unique_ptr<CompoundFile::Impl> takeCached(const Identity& id);
// Keeps a released file's state, dropping the least recently used one beyond a few files.
void putCached(const Identity& id, std::unique_ptr<CompoundFile::Impl> state);

} // namespace cfb
