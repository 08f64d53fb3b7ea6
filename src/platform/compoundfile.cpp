#include "platform/compoundfile.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <random>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace cfb {
namespace {

constexpr uint32_t kFreeSect = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kHead = 0xFFFFFFFE; // the parent of a tree's root: the storage itself
constexpr uint32_t kHeaderDifat = 109;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniCutoff = 4096;
constexpr uint32_t kEntrySize = 128;
constexpr uint8_t kRed = 0;
constexpr uint8_t kBlack = 1;
constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

std::atomic<long> g_writeBudget{-1};

// Returns false when the write is to be dropped (the test hook's "process died here").
bool spendWrite()
{
    long budget = g_writeBudget.load();
    while (budget >= 0) {
        if (budget == 0)
            return false;
        if (g_writeBudget.compare_exchange_weak(budget, budget - 1))
            return true;
    }
    return true;
}

uint16_t get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t get64(const uint8_t* p)
{
    return get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}
void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put64(uint8_t* p, uint64_t v)
{
    put32(p, static_cast<uint32_t>(v));
    put32(p + 4, static_cast<uint32_t>(v >> 32));
}

char16_t upper(char16_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c;
    if (c >= 0xD800 && c <= 0xDFFF)
        return c;
    return QChar::toUpper(static_cast<char32_t>(c)) <= 0xFFFF
               ? static_cast<char16_t>(QChar::toUpper(static_cast<char32_t>(c)))
               : c;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Where the bytes live: a locked, memory-mapped file or a memory image.

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

namespace {

class MemoryBacking final : public Backing
{
public:
    explicit MemoryBacking(std::string bytes)
        : m_bytes(std::move(bytes))
    {}
    uint64_t size() const override { return m_bytes.size(); }
    const uint8_t* view(uint64_t offset, size_t length) override
    {
        if (offset > m_bytes.size() || length > m_bytes.size() - offset)
            return nullptr;
        return reinterpret_cast<const uint8_t*>(m_bytes.data()) + offset;
    }
    bool write(uint64_t offset, const void* data, size_t length) override
    {
        if (!spendWrite())
            return true;
        if (offset + length > m_bytes.size())
            m_bytes.resize(offset + length, '\0');
        std::memcpy(m_bytes.data() + offset, data, length);
        return true;
    }
    bool truncate(uint64_t size) override
    {
        if (!spendWrite())
            return true;
        m_bytes.resize(size, '\0');
        return true;
    }
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
    Mapping& operator=(Mapping&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_data = std::exchange(o.m_data, nullptr);
            m_length = std::exchange(o.m_length, 0);
        }
        return *this;
    }
    ~Mapping() { reset(); }
    void reset()
    {
        if (m_data)
            munmap(const_cast<uint8_t*>(m_data), m_length);
        m_data = nullptr;
        m_length = 0;
    }
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
    FileBacking(int fd, uint64_t size, Mapping mapping = {})
        : m_fd(fd)
        , m_size(size)
        , m_map(std::move(mapping))
    {
        if (m_map.length() > m_size)
            m_map.reset();
    }
    ~FileBacking() override
    {
        // A mapping kept for the next opener holds the open file, and with it the lock, so the
        // lock is dropped explicitly.
        flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
    Mapping takeMapping() { return std::move(m_map); }
    uint64_t size() const override { return m_size; }
    const uint8_t* view(uint64_t offset, size_t length) override
    {
        if (offset > m_size || length > m_size - offset)
            return nullptr;
        if (offset + length > m_map.length()) {
            m_map.reset();
            void* p = mmap(nullptr, m_size, PROT_READ, MAP_SHARED, m_fd, 0);
            if (p == MAP_FAILED)
                return nullptr;
            m_map = Mapping(static_cast<const uint8_t*>(p), m_size);
        }
        return m_map.data() + offset;
    }
    bool write(uint64_t offset, const void* data, size_t length) override
    {
        if (!spendWrite())
            return true;
        const auto* p = static_cast<const char*>(data);
        size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pwrite(m_fd, p + done, length - done, offset + done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        m_size = std::max<uint64_t>(m_size, offset + length);
        return true;
    }
    bool truncate(uint64_t size) override
    {
        if (!spendWrite())
            return true;
        if (size < m_map.length())
            m_map.reset();
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
            return false;
        m_size = size;
        return true;
    }
    bool sync() override { return ::fdatasync(m_fd) == 0; }
    int fd() const override { return m_fd; }
    // Tables read whole go through read(2): faulting in hundreds of scattered pages of a
    // mapping costs more.
    bool read(uint64_t offset, void* out, size_t length) override
    {
        if (offset > m_size || length > m_size - offset)
            return false;
        size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(m_fd, static_cast<char*>(out) + done, length - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

private:
    int m_fd;
    uint64_t m_size;
    Mapping m_map;
};

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

bool isStorage(const DirEntry& e)
{
    return e.type == ElementType::Storage || e.type == ElementType::Root;
}

uint32_t nextSignature()
{
    static std::mutex mutex;
    static std::mt19937 rng(std::random_device{}());
    std::lock_guard lock(mutex);
    return static_cast<uint32_t>(rng());
}

} // namespace

// ---------------------------------------------------------------------------------------------

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
    bool readTable(const std::vector<uint32_t>& sectors, std::vector<uint32_t>& table)
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

    Error commit();
    void rollback();
    std::vector<std::string> verify();
};

namespace {

// Walks a red-black tree of directory entries with a parent map filled on the way down, so
// that the insert and delete fix-ups can climb without parent links in the file.
class Tree
{
public:
    Tree(CompoundFile::Impl& cf, EntryId storage)
        : m_cf(cf)
        , m_storage(storage)
    {}
    bool bad() const { return m_bad; }
    EntryId root()
    {
        DirEntry* s = m_cf.entry(m_storage);
        if (!s) {
            m_bad = true;
            return kNoStream;
        }
        return note(s->child, kHead);
    }
    void setRoot(EntryId x)
    {
        m_cf.entry(m_storage)->child = x;
        m_cf.dirty(m_storage);
        if (x != kNoStream)
            m_parent[x] = kHead;
    }
    EntryId left(EntryId x)
    {
        DirEntry* e = get(x);
        return e ? note(e->left, x) : kNoStream;
    }
    EntryId right(EntryId x)
    {
        DirEntry* e = get(x);
        return e ? note(e->right, x) : kNoStream;
    }
    EntryId parent(EntryId x)
    {
        const auto it = m_parent.find(x);
        if (it == m_parent.end()) {
            m_bad = true;
            return kHead;
        }
        return it->second;
    }
    void setLeft(EntryId x, EntryId c)
    {
        get(x)->left = c;
        m_cf.dirty(x);
        if (c != kNoStream)
            m_parent[c] = x;
    }
    void setRight(EntryId x, EntryId c)
    {
        get(x)->right = c;
        m_cf.dirty(x);
        if (c != kNoStream)
            m_parent[c] = x;
    }
    uint8_t color(EntryId x)
    {
        if (x == kNoStream)
            return kBlack;
        DirEntry* e = get(x);
        return e ? e->color : kBlack;
    }
    void setColor(EntryId x, uint8_t c)
    {
        if (x == kNoStream)
            return;
        DirEntry* e = get(x);
        if (e && e->color != c) {
            e->color = c;
            m_cf.dirty(x);
        }
    }
    void replaceChild(EntryId p, EntryId oldChild, EntryId newChild)
    {
        if (p == kHead)
            setRoot(newChild);
        else if (left(p) == oldChild)
            setLeft(p, newChild);
        else
            setRight(p, newChild);
        if (newChild != kNoStream)
            m_parent[newChild] = p;
    }
    void rotateLeft(EntryId x)
    {
        const EntryId y = right(x);
        if (y == kNoStream) {
            m_bad = true;
            return;
        }
        const EntryId p = parent(x);
        setRight(x, left(y));
        replaceChild(p, x, y);
        setLeft(y, x);
    }
    void rotateRight(EntryId x)
    {
        const EntryId y = left(x);
        if (y == kNoStream) {
            m_bad = true;
            return;
        }
        const EntryId p = parent(x);
        setLeft(x, right(y));
        replaceChild(p, x, y);
        setRight(y, x);
    }
    // Descends to the entry of that name; records parents. kNoStream when absent; *last and
    // *lastCmp tell where it would hang.
    EntryId search(std::u16string_view name, EntryId* last, int* lastCmp)
    {
        EntryId y = kHead;
        int c = 0;
        EntryId x = root();
        uint32_t steps = 0;
        while (x != kNoStream) {
            if (++steps > m_cf.entryCount()) {
                m_bad = true;
                return kNoStream;
            }
            DirEntry* e = get(x);
            if (!e)
                return kNoStream;
            c = compareNames(name, e->name);
            if (c == 0)
                break;
            y = x;
            x = c < 0 ? left(x) : right(x);
        }
        if (last)
            *last = y;
        if (lastCmp)
            *lastCmp = c;
        return x;
    }

private:
    DirEntry* get(EntryId x)
    {
        DirEntry* e = (x == kNoStream) ? nullptr : m_cf.entry(x);
        if (!e)
            m_bad = true;
        return e;
    }
    EntryId note(EntryId child, EntryId parent)
    {
        if (child == kNoStream)
            return child;
        if (child >= m_cf.entryCount()) {
            m_bad = true;
            return kNoStream;
        }
        m_parent[child] = parent;
        return child;
    }

    CompoundFile::Impl& m_cf;
    EntryId m_storage;
    std::unordered_map<EntryId, EntryId> m_parent;
    bool m_bad = false;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Loading

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

Error CompoundFile::Impl::findChild(EntryId storage, std::u16string_view name, EntryId* found)
{
    Tree tree(*this, storage);
    const EntryId x = tree.search(name, nullptr, nullptr);
    if (tree.bad())
        return Error::Corrupt;
    if (x == kNoStream)
        return Error::NotFound;
    *found = x;
    return Error::None;
}

Error CompoundFile::Impl::inOrder(EntryId storage, std::vector<EntryId>& out, size_t* stray)
{
    out.clear();
    const DirEntry* s = entry(storage);
    if (!s || !isStorage(*s))
        return Error::WrongType;
    std::vector<bool> seen(entryCount(), false);
    std::vector<EntryId> stack;
    EntryId x = s->child;
    while (x != kNoStream || !stack.empty()) {
        while (x != kNoStream) {
            if (x >= entryCount() || seen[x])
                return Error::Corrupt;
            seen[x] = true;
            const DirEntry* e = entry(x);
            if (!e)
                return Error::Corrupt;
            stack.push_back(x);
            x = e->left;
        }
        x = stack.back();
        stack.pop_back();
        const DirEntry* e = entry(x);
        if (e->type != ElementType::Unused && e->type != ElementType::Root)
            out.push_back(x);
        else if (stray)
            ++*stray;
        x = e->right;
    }
    return Error::None;
}

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
// Sector allocation: only sectors free both now and in the committed state, lowest first.

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

// ---------------------------------------------------------------------------------------------
// Red-black trees of siblings

Error CompoundFile::Impl::insertEntry(EntryId storage, EntryId z)
{
    Tree t(*this, storage);
    EntryId y = kHead;
    int c = 0;
    const std::u16string name = entry(z)->name;
    const EntryId found = t.search(name, &y, &c);
    if (t.bad())
        return Error::Corrupt;
    if (found != kNoStream)
        return Error::InvalidName; // callers destroy a same-named element first
    DirEntry* ze = entry(z);
    ze->left = ze->right = kNoStream;
    ze->color = kRed;
    dirty(z);
    if (y == kHead)
        t.setRoot(z);
    else if (c < 0)
        t.setLeft(y, z);
    else
        t.setRight(y, z);

    EntryId x = z;
    uint32_t guard = 0;
    while (x != t.root() && t.color(t.parent(x)) == kRed && !t.bad()) {
        if (++guard > 64) {
            t.setColor(t.root(), kBlack);
            return rebuildTree(storage);
        }
        EntryId p = t.parent(x);
        const EntryId g = t.parent(p);
        if (g == kHead) // a red root: not a red-black tree to begin with
            break;
        if (p == t.left(g)) {
            const EntryId u = t.right(g);
            if (t.color(u) == kRed) {
                t.setColor(p, kBlack);
                t.setColor(u, kBlack);
                t.setColor(g, kRed);
                x = g;
            } else {
                if (x == t.right(p)) {
                    x = p;
                    t.rotateLeft(x);
                    p = t.parent(x);
                }
                t.setColor(p, kBlack);
                t.setColor(g, kRed);
                t.rotateRight(g);
            }
        } else {
            const EntryId u = t.left(g);
            if (t.color(u) == kRed) {
                t.setColor(p, kBlack);
                t.setColor(u, kBlack);
                t.setColor(g, kRed);
                x = g;
            } else {
                if (x == t.left(p)) {
                    x = p;
                    t.rotateRight(x);
                    p = t.parent(x);
                }
                t.setColor(p, kBlack);
                t.setColor(g, kRed);
                t.rotateLeft(g);
            }
        }
    }
    if (t.bad())
        return rebuildTree(storage);
    t.setColor(t.root(), kBlack);
    return Error::None;
}

Error CompoundFile::Impl::removeEntry(EntryId storage, EntryId z)
{
    Tree t(*this, storage);
    const std::u16string name = entry(z)->name;
    if (t.search(name, nullptr, nullptr) != z || t.bad())
        return Error::Corrupt;
    EntryId x, xParent;
    uint8_t removedColor = t.color(z);
    if (t.left(z) == kNoStream) {
        x = t.right(z);
        xParent = t.parent(z);
        t.replaceChild(xParent, z, x);
    } else if (t.right(z) == kNoStream) {
        x = t.left(z);
        xParent = t.parent(z);
        t.replaceChild(xParent, z, x);
    } else {
        EntryId y = t.right(z);
        uint32_t steps = 0;
        while (t.left(y) != kNoStream && !t.bad()) {
            y = t.left(y);
            if (++steps > entryCount())
                return Error::Corrupt;
        }
        removedColor = t.color(y);
        x = t.right(y);
        if (t.parent(y) == z) {
            xParent = y;
        } else {
            xParent = t.parent(y);
            t.replaceChild(xParent, y, x);
            t.setRight(y, t.right(z));
        }
        t.replaceChild(t.parent(z), z, y);
        t.setLeft(y, t.left(z));
        t.setColor(y, t.color(z));
    }
    if (t.bad())
        return rebuildTree(storage);

    if (removedColor == kBlack) {
        uint32_t guard = 0;
        while (x != t.root() && t.color(x) == kBlack && xParent != kHead) {
            if (++guard > 128 || t.bad())
                return rebuildTree(storage);
            if (x == t.left(xParent)) {
                EntryId w = t.right(xParent);
                if (w == kNoStream)
                    return rebuildTree(storage);
                if (t.color(w) == kRed) {
                    t.setColor(w, kBlack);
                    t.setColor(xParent, kRed);
                    t.rotateLeft(xParent);
                    w = t.right(xParent);
                    if (w == kNoStream)
                        return rebuildTree(storage);
                }
                if (t.color(t.left(w)) == kBlack && t.color(t.right(w)) == kBlack) {
                    t.setColor(w, kRed);
                    x = xParent;
                    xParent = t.parent(x);
                } else {
                    if (t.color(t.right(w)) == kBlack) {
                        t.setColor(t.left(w), kBlack);
                        t.setColor(w, kRed);
                        t.rotateRight(w);
                        w = t.right(xParent);
                    }
                    t.setColor(w, t.color(xParent));
                    t.setColor(xParent, kBlack);
                    t.setColor(t.right(w), kBlack);
                    t.rotateLeft(xParent);
                    x = t.root();
                    break;
                }
            } else {
                EntryId w = t.left(xParent);
                if (w == kNoStream)
                    return rebuildTree(storage);
                if (t.color(w) == kRed) {
                    t.setColor(w, kBlack);
                    t.setColor(xParent, kRed);
                    t.rotateRight(xParent);
                    w = t.left(xParent);
                    if (w == kNoStream)
                        return rebuildTree(storage);
                }
                if (t.color(t.right(w)) == kBlack && t.color(t.left(w)) == kBlack) {
                    t.setColor(w, kRed);
                    x = xParent;
                    xParent = t.parent(x);
                } else {
                    if (t.color(t.left(w)) == kBlack) {
                        t.setColor(t.right(w), kBlack);
                        t.setColor(w, kRed);
                        t.rotateLeft(w);
                        w = t.left(xParent);
                    }
                    t.setColor(w, t.color(xParent));
                    t.setColor(xParent, kBlack);
                    t.setColor(t.left(w), kBlack);
                    t.rotateRight(xParent);
                    x = t.root();
                    break;
                }
            }
        }
        t.setColor(x, kBlack);
    }
    if (t.bad())
        return rebuildTree(storage);
    t.setColor(t.root(), kBlack);
    return Error::None;
}

// Lays a storage's children out as a balanced tree: the deepest level red, the rest black.
// Used when a tree read from another writer is not red-black enough to fix up in place.
Error CompoundFile::Impl::rebuildTree(EntryId storage)
{
    std::vector<EntryId> ids;
    const Error err = inOrder(storage, ids);
    if (err != Error::None) {
        broken = true;
        return err;
    }
    std::sort(ids.begin(), ids.end(), [this](EntryId a, EntryId b) {
        return compareNames(entry(a)->name, entry(b)->name) < 0;
    });
    int depth = 0;
    while ((size_t{1} << (depth + 1)) - 1 < ids.size())
        ++depth;
    const bool perfect = ids.size() == (size_t{1} << (depth + 1)) - 1;
    struct Builder
    {
        Impl& cf;
        const std::vector<EntryId>& ids;
        int deepest;
        bool colorDeepest;
        EntryId build(size_t lo, size_t hi, int level)
        {
            if (lo >= hi)
                return kNoStream;
            const size_t mid = lo + (hi - lo) / 2;
            const EntryId id = ids[mid];
            DirEntry* e = cf.entry(id);
            e->left = build(lo, mid, level + 1);
            e->right = build(mid + 1, hi, level + 1);
            e->color = (colorDeepest && level == deepest && level > 0) ? kRed : kBlack;
            cf.dirty(id);
            return id;
        }
    } builder{*this, ids, depth, !perfect};
    DirEntry* s = entry(storage);
    s->child = builder.build(0, ids.size(), 0);
    dirty(storage);
    return Error::None;
}

Error CompoundFile::Impl::destroyEntry(EntryId parent, EntryId id)
{
    Error err = removeEntry(parent, id);
    if (err != Error::None)
        return err;
    // Everything below a storage goes too.
    std::vector<EntryId> pending{id};
    std::unordered_set<EntryId> seen{id};
    while (!pending.empty()) {
        const EntryId cur = pending.back();
        pending.pop_back();
        DirEntry* e = entry(cur);
        if (!e)
            return Error::Corrupt;
        if (isStorage(*e)) {
            std::vector<EntryId> kids;
            err = inOrder(cur, kids);
            if (err != Error::None)
                return err;
            for (EntryId k : kids) {
                if (seen.insert(k).second)
                    pending.push_back(k);
            }
        } else if (e->type == ElementType::Stream) {
            err = freeStreamData(*e);
            if (err != Error::None)
                return err;
        }
        releaseEntry(cur);
    }
    return Error::None;
}

// ---------------------------------------------------------------------------------------------
// Commit

Error CompoundFile::Impl::commit()
{
    if (!writable || !changed)
        return Error::None;
    if (broken)
        return Error::Corrupt;

    if (miniTouched) {
        DirEntry* root = entry(kRootEntry);
        const uint32_t start = miniStreamChain.empty() ? kEndOfChain : miniStreamChain[0];
        const uint64_t size = static_cast<uint64_t>(miniStreamChain.size()) * ss;
        if (root->start != start || root->size != size) {
            root->start = start;
            root->size = size;
            dirty(kRootEntry);
        }
    }

    // Directory sectors holding changed entries: composed now, written to fresh sectors.
    std::vector<uint32_t> dirPositions;
    for (EntryId id : dirtyEntries)
        dirPositions.push_back(id / perDir);
    std::sort(dirPositions.begin(), dirPositions.end());
    dirPositions.erase(std::unique(dirPositions.begin(), dirPositions.end()), dirPositions.end());
    std::vector<std::vector<uint8_t>> dirImages;
    for (uint32_t pos : dirPositions) {
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
        dirImages.push_back(std::move(image));
    }
    for (uint32_t pos : dirPositions) {
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

    // Mini FAT sectors that changed.
    std::vector<uint32_t> miniFatBlocks;
    if (miniLoaded && miniTouched) {
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
            miniFatBlocks.push_back(static_cast<uint32_t>(b));
        }
        for (size_t i = 0; i < miniFatChain.size(); ++i)
            setFat(miniFatChain[i],
                   i + 1 < miniFatChain.size() ? miniFatChain[i + 1] : kEndOfChain);
    }

    // FAT and DIFAT: moving a FAT sector changes the FAT, so go round until nothing moves.
    std::vector<bool> fatMoved(fatSectors.size(), false);
    bool difatMoved = false;
    for (int round = 0;; ++round) {
        if (round > 10000)
            return Error::Corrupt;
        bool again = false;
        const size_t needFat = (fat.size() + perFat - 1) / perFat;
        while (fatSectors.size() < needFat) {
            const uint32_t s = allocSector();
            if (s == kFreeSect)
                return Error::TooLarge;
            setFat(s, kFatSect);
            fatSectors.push_back(s);
            fatMoved.push_back(true);
            again = true;
        }
        const size_t needDifat =
            fatSectors.size() > kHeaderDifat
                ? (fatSectors.size() - kHeaderDifat + perFat - 2) / (perFat - 1)
                : 0;
        while (difatSectors.size() < needDifat) {
            const uint32_t s = allocSector();
            if (s == kFreeSect)
                return Error::TooLarge;
            setFat(s, kDifSect);
            difatSectors.push_back(s);
            again = true;
        }
        if (again)
            continue;
        // Only blocks written to since the last commit can differ; the list grows as FAT
        // sectors move.
        for (size_t k = 0; k < fatDirtyBlocks.size(); ++k) {
            const size_t b = fatDirtyBlocks[k];
            if (b >= fatSectors.size() || fatMoved[b])
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
            fatMoved[b] = true;
            again = true;
        }
        if (!difatSectors.empty() && !difatMoved) {
            bool same = difatSectors == difatSectorsC && fatSectors.size() == fatSectorsC.size();
            for (size_t i = kHeaderDifat; same && i < fatSectors.size(); ++i)
                same = fatSectors[i] == fatSectorsC[i];
            if (!same) {
                for (uint32_t& d : difatSectors) {
                    if (std::find(difatSectorsC.begin(), difatSectorsC.end(), d) !=
                        difatSectorsC.end()) {
                        const uint32_t s = allocSector();
                        if (s == kFreeSect)
                            return Error::TooLarge;
                        setFat(s, kDifSect);
                        freeSector(d);
                        d = s;
                    }
                }
                difatMoved = true;
                again = true;
            }
        }
        if (!again)
            break;
    }

    // Everything new goes out before the header.
    for (size_t i = 0; i < dirPositions.size(); ++i) {
        if (!writeAt(sectorOffset(dirChain[dirPositions[i]]), dirImages[i].data(), ss))
            return Error::IoError;
    }
    std::vector<uint8_t> image(ss);
    for (uint32_t b : miniFatBlocks) {
        if (!miniBlock(b))
            return Error::Corrupt;
        for (uint32_t j = 0; j < perFat; ++j)
            put32(image.data() + 4 * j, miniBlocks[b][j]);
        if (!writeAt(sectorOffset(miniFatChain[b]), image.data(), ss))
            return Error::IoError;
    }
    for (size_t b = 0; b < fatSectors.size(); ++b) {
        if (!fatMoved[b])
            continue;
        for (uint32_t j = 0; j < perFat; ++j) {
            const size_t i = b * perFat + j;
            put32(image.data() + 4 * j, i < fat.size() ? fat[i] : kFreeSect);
        }
        if (!writeAt(sectorOffset(fatSectors[b]), image.data(), ss))
            return Error::IoError;
    }
    if (difatMoved || difatSectors.size() != difatSectorsC.size()) {
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
    }

    uint8_t header[512] = {};
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
    // A fresh signature per commit: with the file's identity it tells a cached state from a
    // file that has changed since (see the state cache below).
    uint32_t signature;
    do {
        signature = nextSignature();
    } while (signature == transaction || signature == 0);
    put32(header + 52, signature);
    put32(header + 56, kMiniCutoff);
    put32(header + 60, miniFatChain.empty() ? kEndOfChain : miniFatChain[0]);
    put32(header + 64, static_cast<uint32_t>(miniFatChain.size()));
    put32(header + 68, difatSectors.empty() ? kEndOfChain : difatSectors[0]);
    put32(header + 72, static_cast<uint32_t>(difatSectors.size()));
    for (uint32_t i = 0; i < kHeaderDifat; ++i)
        put32(header + 76 + 4 * i, i < fatSectors.size() ? fatSectors[i] : kFreeSect);
    if (durable && !io->sync())
        return Error::IoError;
    if (!writeAt(0, header, sizeof header))
        return Error::IoError;
    if (durable && !io->sync())
        return Error::IoError;
    transaction = signature;

    // Free sectors at the end of the file are cut off.
    uint32_t last = static_cast<uint32_t>(std::min<size_t>(fat.size(), sectorCount()));
    while (last > 0 && fat[last - 1] == kFreeSect)
        --last;
    const uint64_t wanted = sectorOffset(last);
    if (wanted < io->size())
        io->truncate(wanted);

    // The new state becomes the committed one: only the changed blocks are copied.
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
    return Error::None;
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

// ---------------------------------------------------------------------------------------------
// Verification

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

// ---------------------------------------------------------------------------------------------
// Public interface

const char* errorText(Error error)
{
    switch (error) {
    case Error::None:
        return "no error";
    case Error::NotFound:
        return "not found";
    case Error::Locked:
        return "in use by another program";
    case Error::AccessDenied:
        return "access denied";
    case Error::NotCompoundFile:
        return "not a compound file";
    case Error::Corrupt:
        return "the compound file is damaged";
    case Error::InvalidName:
        return "not a valid element name";
    case Error::WrongType:
        return "a stream where a storage was expected, or the other way round";
    case Error::ReadOnly:
        return "opened for reading only";
    case Error::TooLarge:
        return "too large for the compound file format";
    case Error::IoError:
        return "the file could not be written";
    }
    return "unknown error";
}

int compareNames(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        const char16_t ua = upper(a[i]);
        const char16_t ub = upper(b[i]);
        if (ua != ub)
            return ua < ub ? -1 : 1;
    }
    return 0;
}

std::optional<std::u16string> utf8ToUtf16(std::string_view s)
{
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            return std::nullopt;
        }
        if (extra > 0 && i + extra >= s.size())
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

Error checkName(std::string_view utf8Name)
{
    const auto name = utf8ToUtf16(utf8Name);
    if (!name || name->empty() || name->size() > 31)
        return Error::InvalidName;
    for (char16_t c : *name) {
        if (c == '!' || c == ':' || c == '/' || c == '\\' || c == 0)
            return Error::InvalidName;
    }
    return Error::None;
}

void setWriteBudgetForTests(long writes)
{
    g_writeBudget.store(writes);
}

namespace {

bool envDurable()
{
    const char* v = std::getenv("KOLVO_DURABLE_WRITES");
    return v && *v && std::strcmp(v, "0") != 0;
}

Error openError(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return Error::NotFound;
    case EWOULDBLOCK:
        return Error::Locked;
    default:
        return Error::AccessDenied;
    }
}

// Opens and locks; -1 with *error set on failure.
int openLocked(const std::string& path, int flags, Error* error)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = openError(errno);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        *error = Error::AccessDenied;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = S_ISDIR(st.st_mode) ? Error::AccessDenied : Error::NotCompoundFile;
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        *error = e == EWOULDBLOCK ? Error::Locked : Error::AccessDenied;
        return -1;
    }
    return fd;
}

std::unique_ptr<CompoundFile::Impl> newEmpty(std::unique_ptr<Backing> io)
{
    auto d = std::make_unique<CompoundFile::Impl>();
    d->io = std::move(io);
    d->writable = true;
    d->durable = envDurable();
    d->sizeC = 0;
    d->freeEntriesKnown = true;
    d->appendDirSector();
    const EntryId root = kRootEntry;
    DirEntry* r = d->entry(root);
    static const char16_t kRootName[] = u"Root Entry";
    r->name = kRootName;
    r->type = ElementType::Root;
    r->color = kBlack;
    r->start = kEndOfChain;
    d->dirty(root);
    d->miniLoaded = true;
    return d;
}

} // namespace

// The state of a file between operations. Opening a file reads its header and FAT and walks its
// chains; a player that opens its album database for every operation would do that work again
// and again. So the state a file was left in is kept here when the file is released, and taken
// back when the same file is opened again unchanged: same device and inode, size, modification
// and change times to the nanosecond, and the same 512 header bytes, which carry the random
// signature each commit writes.
namespace {

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

bool identify(int fd, Identity& id)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_size < 512)
        return false;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    id.changed = st.st_ctim;
    return ::pread(fd, id.header.data(), id.header.size(), 0) ==
           static_cast<ssize_t>(id.header.size());
}

struct CachedState
{
    Identity identity;
    std::unique_ptr<CompoundFile::Impl> state;
    uint64_t lastUse = 0;
};

constexpr size_t kCachedFiles = 8;
std::mutex g_cacheMutex;
std::map<std::pair<dev_t, ino_t>, CachedState> g_cache;
uint64_t g_cacheClock = 0;

std::unique_ptr<CompoundFile::Impl> takeCached(const Identity& id)
{
    std::lock_guard lock(g_cacheMutex);
    const auto it = g_cache.find({id.device, id.inode});
    if (it == g_cache.end())
        return nullptr;
    std::unique_ptr<CompoundFile::Impl> state;
    if (it->second.identity == id)
        state = std::move(it->second.state);
    g_cache.erase(it);
    return state;
}

void putCached(const Identity& id, std::unique_ptr<CompoundFile::Impl> state)
{
    std::lock_guard lock(g_cacheMutex);
    if (g_cache.size() >= kCachedFiles && !g_cache.count({id.device, id.inode})) {
        auto oldest = g_cache.begin();
        for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        }
        g_cache.erase(oldest);
    }
    g_cache[{id.device, id.inode}] = CachedState{id, std::move(state), ++g_cacheClock};
}

} // namespace

void dropCachedStates()
{
    std::lock_guard lock(g_cacheMutex);
    g_cache.clear();
}

CompoundFile::CompoundFile(std::unique_ptr<Impl> impl)
    : d(std::move(impl))
{}

CompoundFile::~CompoundFile()
{
    if (!d)
        return;
    if (d->writable)
        d->commit();
    // A clean state of a file on disk is kept for the next open; the lock is still ours here.
    // A process the test hook has "killed" keeps nothing.
    const int fd = d->io ? d->io->fd() : -1;
    Identity id;
    if (fd >= 0 && !d->changed && !d->broken && g_writeBudget.load() < 0 && identify(fd, id)) {
        d->parkedMap = static_cast<FileBacking*>(d->io.get())->takeMapping();
        d->io.reset();
        putCached(id, std::move(d));
    }
}

std::unique_ptr<CompoundFile> CompoundFile::open(const std::string& path, Mode mode, Error* error)
{
    Error dummy;
    Error& err = error ? *error : dummy;
    err = Error::None;
    const int fd = openLocked(path, mode == Mode::Read ? O_RDONLY : O_RDWR, &err);
    if (fd < 0)
        return nullptr;
    struct stat st;
    fstat(fd, &st);
    Identity id;
    std::unique_ptr<Impl> d = identify(fd, id) ? takeCached(id) : nullptr;
    const bool cached = d != nullptr;
    if (!cached)
        d = std::make_unique<Impl>();
    d->io = std::make_unique<FileBacking>(fd, static_cast<uint64_t>(st.st_size),
                                          std::move(d->parkedMap));
    d->writable = mode == Mode::ReadWrite;
    d->durable = envDurable();
    d->written = 0;
    if (cached)
        return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
    err = d->loadHeader();
    if (err != Error::None)
        return nullptr;
    return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
}

std::unique_ptr<CompoundFile> CompoundFile::create(const std::string& path, Error* error)
{
    Error dummy;
    Error& err = error ? *error : dummy;
    err = Error::None;
    const int fd = openLocked(path, O_RDWR | O_CREAT, &err);
    if (fd < 0)
        return nullptr;
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        err = Error::IoError;
        return nullptr;
    }
    auto d = newEmpty(std::make_unique<FileBacking>(fd, 0));
    err = d->commit();
    if (err != Error::None)
        return nullptr;
    return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
}

std::unique_ptr<CompoundFile> CompoundFile::openMemory(std::string bytes, Mode mode, Error* error)
{
    Error dummy;
    Error& err = error ? *error : dummy;
    auto d = std::make_unique<Impl>();
    d->io = std::make_unique<MemoryBacking>(std::move(bytes));
    d->writable = mode == Mode::ReadWrite;
    err = d->loadHeader();
    if (err != Error::None)
        return nullptr;
    return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
}

std::unique_ptr<CompoundFile> CompoundFile::createMemory()
{
    auto d = newEmpty(std::make_unique<MemoryBacking>(std::string()));
    d->durable = false;
    d->commit();
    return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
}

std::vector<Element> CompoundFile::children(EntryId storage, Error* error)
{
    std::vector<EntryId> ids;
    const Error err = d->inOrder(storage, ids);
    if (error)
        *error = err;
    std::vector<Element> out;
    if (err != Error::None)
        return out;
    out.reserve(ids.size());
    for (EntryId id : ids) {
        const DirEntry* e = d->entry(id);
        out.push_back(Element{id, utf16ToUtf8(e->name), e->type,
                              e->type == ElementType::Stream ? e->size : 0});
    }
    return out;
}

std::optional<Element> CompoundFile::find(EntryId storage, std::string_view name, Error* error)
{
    Error dummy;
    Error& err = error ? *error : dummy;
    const auto wide = utf8ToUtf16(name);
    if (!wide) {
        err = Error::InvalidName;
        return std::nullopt;
    }
    const DirEntry* s = d->entry(storage);
    if (!s || !isStorage(*s)) {
        err = Error::WrongType;
        return std::nullopt;
    }
    EntryId id;
    err = d->findChild(storage, *wide, &id);
    if (err != Error::None)
        return std::nullopt;
    const DirEntry* e = d->entry(id);
    return Element{id, utf16ToUtf8(e->name), e->type, e->type == ElementType::Stream ? e->size : 0};
}

Error CompoundFile::openStorage(EntryId parent, std::string_view name, EntryId* storage)
{
    Error err;
    const auto e = find(parent, name, &err);
    if (!e)
        return err;
    if (e->type != ElementType::Storage)
        return Error::WrongType;
    *storage = e->id;
    return Error::None;
}

Error CompoundFile::openOrCreateStorage(EntryId parent, std::string_view name, EntryId* storage)
{
    const Error err = openStorage(parent, name, storage);
    if (err != Error::NotFound)
        return err;
    return createStorage(parent, name, storage);
}

Error CompoundFile::createStorage(EntryId parent, std::string_view name, EntryId* storage)
{
    if (!d->writable)
        return Error::ReadOnly;
    if (d->broken)
        return Error::Corrupt;
    Error err = checkName(name);
    if (err != Error::None)
        return err;
    err = destroy(parent, name);
    if (err != Error::None && err != Error::NotFound)
        return err;
    EntryId id;
    err = d->allocEntry(&id);
    if (err != Error::None)
        return err;
    DirEntry* e = d->entry(id);
    e->name = *utf8ToUtf16(name);
    e->type = ElementType::Storage;
    e->start = 0;
    err = d->insertEntry(parent, id);
    if (err != Error::None) {
        d->broken = true;
        return err;
    }
    *storage = id;
    return Error::None;
}

Error CompoundFile::readStream(EntryId parent, std::string_view name, std::string* data)
{
    Error err;
    const auto e = find(parent, name, &err);
    if (!e)
        return err;
    return readStream(e->id, data);
}

Error CompoundFile::readStream(EntryId stream, std::string* data)
{
    const DirEntry* e = d->entry(stream);
    if (!e)
        return Error::NotFound;
    const DirEntry copy = *e;
    return d->readData(copy, data);
}

Error CompoundFile::writeStream(EntryId parent, std::string_view name, std::string_view data)
{
    if (!d->writable)
        return Error::ReadOnly;
    if (d->broken)
        return Error::Corrupt;
    Error err = checkName(name);
    if (err != Error::None)
        return err;
    const DirEntry* p = d->entry(parent);
    if (!p || !isStorage(*p))
        return Error::WrongType;
    const auto existing = find(parent, name, &err);
    if (!existing && err != Error::NotFound)
        return err;
    EntryId id;
    if (existing && existing->type == ElementType::Stream) {
        // Replacing a stream keeps its directory entry (and so its place in the tree).
        id = existing->id;
        DirEntry copy = *d->entry(id);
        err = d->freeStreamData(copy);
        if (err != Error::None) {
            d->broken = true;
            return err;
        }
        *d->entry(id) = copy;
    } else {
        if (existing) {
            err = d->destroyEntry(parent, existing->id);
            if (err != Error::None) {
                d->broken = true;
                return err;
            }
        }
        err = d->allocEntry(&id);
        if (err != Error::None)
            return err;
        DirEntry* e = d->entry(id);
        e->name = *utf8ToUtf16(name);
        e->type = ElementType::Stream;
        err = d->insertEntry(parent, id);
        if (err != Error::None) {
            d->broken = true;
            return err;
        }
    }
    DirEntry copy = *d->entry(id);
    err = d->writeData(copy, data);
    if (err != Error::None) {
        d->broken = true;
        return err;
    }
    *d->entry(id) = copy;
    d->dirty(id);
    return Error::None;
}

Error CompoundFile::destroy(EntryId parent, std::string_view name)
{
    if (!d->writable)
        return Error::ReadOnly;
    if (d->broken)
        return Error::Corrupt;
    Error err;
    const auto e = find(parent, name, &err);
    if (!e)
        return err;
    err = d->destroyEntry(parent, e->id);
    if (err != Error::None)
        d->broken = true;
    return err;
}

Error CompoundFile::commit()
{
    const Error err = d->commit();
    if (err != Error::None) {
        // What was written went to free sectors only; the committed state stands.
        d->rollback();
    }
    return err;
}

void CompoundFile::rollback()
{
    d->rollback();
}

std::vector<std::string> CompoundFile::verify()
{
    return d->verify();
}

uint64_t CompoundFile::bytesWritten() const
{
    return d->written;
}

uint64_t CompoundFile::fileSize() const
{
    return d->io->size();
}

std::string CompoundFile::bytes() const
{
    return d->io->image();
}

void CompoundFile::setDurable(bool durable)
{
    d->durable = durable;
}

} // namespace cfb
