#pragma once
// Compound files (structured storage, version 3: 512-byte sectors, a mini stream for streams
// under 4096 bytes, DIFAT for large files): storages within storages and streams, in one file.
//
// A file is opened for one operation and released at its end. Exclusive sharing is an
// advisory lock (flock) taken for reading and writing alike, so a second opener fails with
// Error::Locked until the first one closes.
//
// Between operations the state a file was left in (its FAT, chains and the directory entries
// read so far) is kept in memory and taken back by the next open when the file is unchanged:
// same device, inode, size, modification and change times, and the same header, into which
// every commit writes a fresh random signature.
//
// Changes are made in place and committed atomically. Stream data goes only to sectors that
// are free in the committed state; the directory, FAT, mini FAT and DIFAT sectors a change
// touches are written to fresh sectors as well; the header, written last in one 512-byte
// write, switches to the new state. A process killed at any moment therefore leaves the old
// state or the new one. Sectors freed by a commit are reused by later commits, and free
// sectors at the end of the file are cut off.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cfb {

enum class Error {
    None,
    NotFound,        // no file, or no element of that name
    Locked,          // another opener holds the file
    AccessDenied,    // the file or its folder cannot be opened or created
    NotCompoundFile, // no compound file signature, or a header that makes no sense
    Corrupt,         // a chain, table or tree that points outside the file or loops
    InvalidName,     // empty, longer than 31 UTF-16 code units, or holding ! : / \ or bad UTF-8
    WrongType,       // a stream where a storage is wanted, or the other way round
    ReadOnly,        // a change through a file opened for reading
    TooLarge,        // a stream or file past what version 3 can address
    IoError,         // a read or write of the file failed (disk full, ...)
};

// One line of English, for messages and logs.
const char* errorText(Error error);

enum class ElementType : uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

using EntryId = uint32_t;
constexpr EntryId kRootEntry = 0;

struct Element
{
    EntryId id = 0;
    std::string name; // UTF-8
    ElementType type = ElementType::Unused;
    uint64_t size = 0; // streams only
};

// Compares two element names the way directory trees are ordered: shorter names first, names
// of equal length by their upper-cased UTF-16 code units. Negative, zero or positive.
int compareNames(std::u16string_view a, std::u16string_view b);

// Why a name cannot be an element name; Error::None when it can.
Error checkName(std::string_view utf8Name);

// Forgets the states kept between opens (see CompoundFile), so that the next open of every
// file reads it from scratch.
void dropCachedStates();

class Backing;
class FileIo; // compoundfile_io.h

class CompoundFile
{
public:
    enum class Mode { Read, ReadWrite };

    // Opens an existing file. On failure returns null and sets *error. The file is written,
    // flushed and its tables read through io; null means posixFileIo().
    static std::unique_ptr<CompoundFile> open(const std::string& path, Mode mode, Error* error,
                                              std::shared_ptr<FileIo> io = nullptr);
    // Creates a file, replacing one that is there (only after its lock is ours); io as for open.
    static std::unique_ptr<CompoundFile> create(const std::string& path, Error* error,
                                                std::shared_ptr<FileIo> io = nullptr);
    // A file held in memory (fuzzing, tests); changes stay in memory (see bytes()).
    static std::unique_ptr<CompoundFile> openMemory(std::string bytes, Mode mode, Error* error);
    static std::unique_ptr<CompoundFile> createMemory();

    // Commits what is pending (errors are dropped; call commit() to see them), unlocks.
    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    // The elements of a storage in directory-tree order.
    std::vector<Element> children(EntryId storage, Error* error = nullptr);
    // The element of that name in the storage, if any.
    std::optional<Element> find(EntryId storage, std::string_view name, Error* error = nullptr);

    Error openStorage(EntryId parent, std::string_view name, EntryId* storage);
    // Opens the storage when present, creates it otherwise.
    Error openOrCreateStorage(EntryId parent, std::string_view name, EntryId* storage);
    // Replaces whatever element has that name with a new, empty storage.
    Error createStorage(EntryId parent, std::string_view name, EntryId* storage);

    Error readStream(EntryId parent, std::string_view name, std::string* data);
    Error readStream(EntryId stream, std::string* data);
    // Creates the stream, replacing whatever element has that name, with this content.
    Error writeStream(EntryId parent, std::string_view name, std::string_view data);
    // Destroys the element of that name (a storage with everything in it).
    Error destroy(EntryId parent, std::string_view name);

    // Writes the pending changes and switches the file to them. Nothing to do is success.
    Error commit();
    // Drops the pending changes.
    void rollback();

    // A structural check of the committed state: every chain inside the file and of the
    // right length, no sector or mini sector used twice, FAT and DIFAT sectors marked as such,
    // every directory tree acyclic, ordered and red-black, every entry in exactly one tree.
    // One line per problem; empty when the file is sound.
    std::vector<std::string> verify();

    // What the commits of this object wrote, header included.
    uint64_t bytesWritten() const;
    // The size of the file (or memory image) now.
    uint64_t fileSize() const;
    // The memory image of a file opened with openMemory/createMemory.
    std::string bytes() const;

    // Force every commit to reach the disk before the header is written and after (two
    // flushes). Off by default: the write order alone keeps a killed process from leaving a
    // broken file; the flushes protect against power loss. KOLVO_DURABLE_WRITES=1 turns it on.
    void setDurable(bool durable);

    struct Impl;

private:
    explicit CompoundFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

// UTF-8 <-> UTF-16 for element names. Invalid UTF-8 gives nullopt; unpaired surrogates in a
// name read from a file become U+FFFD.
std::optional<std::u16string> utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

} // namespace cfb
