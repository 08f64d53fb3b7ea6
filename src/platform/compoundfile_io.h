#pragma once
// The calls a compound file makes on the file it has open to change it, flush it and read its
// tables: the seam between the engine and the disk. The engine opens, locks, maps and closes
// the file itself and reads single sectors through the mapping; every write, size change and
// flush goes through a FileIo, so what reaches the disk is exactly what passes here.
//
// Files use posixFileIo() unless CompoundFile::open or create is given another one, which a
// test may wrap to cut a commit short at any write.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace cfb {

class FileIo
{
public:
    virtual ~FileIo() = default;

    // All of [offset, offset + length) of the file into out; false when that fails or the
    // file ends before.
    virtual bool readAt(int fd, uint64_t offset, void* out, size_t length) = 0;
    // All of data at offset, the file growing as needed; false on a failure (disk full, ...).
    virtual bool writeAt(int fd, uint64_t offset, const void* data, size_t length) = 0;
    // Cuts the file to size bytes (or lengthens it with zeros).
    virtual bool truncate(int fd, uint64_t size) = 0;
    // Makes what was written reach the disk.
    virtual bool sync(int fd) = 0;

    // Whether the state of a file released through this I/O may be kept for the next open.
    // A kept state is taken back when the file looks unchanged, so an I/O that does not put on
    // disk everything the engine asks for must say no.
    virtual bool mayKeepState() const { return true; }
};

// pread(2), pwrite(2), ftruncate(2) and fdatasync(2). Shared: it holds no state.
std::shared_ptr<FileIo> posixFileIo();

} // namespace cfb
