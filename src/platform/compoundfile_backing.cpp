// Where a compound file's bytes live: a memory image, or a locked file read through a shared
// mapping and otherwise read, written and flushed through its FileIo (POSIX calls by default).
#include "platform/compoundfile_internal.h"

#include <algorithm>
#include <cerrno>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

namespace cfb {
namespace {

class PosixFileIo final : public FileIo
{
public:
    bool readAt(int fd, uint64_t offset, void* out, size_t length) override
    {
        size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(fd, static_cast<char*>(out) + done, length - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool writeAt(int fd, uint64_t offset, const void* data, size_t length) override
    {
        const auto* p = static_cast<const char*>(data);
        size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pwrite(fd, p + done, length - done, offset + done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool truncate(int fd, uint64_t size) override
    {
        return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    }
    bool sync(int fd) override { return ::fdatasync(fd) == 0; }
};

} // namespace

std::shared_ptr<FileIo> posixFileIo()
{
    static const auto io = std::make_shared<PosixFileIo>();
    return io;
}

// ---------------------------------------------------------------------------------------------

MemoryBacking::MemoryBacking(std::string bytes)
    : m_bytes(std::move(bytes))
{}

const uint8_t* MemoryBacking::view(uint64_t offset, size_t length)
{
    if (offset > m_bytes.size() || length > m_bytes.size() - offset)
        return nullptr;
    return reinterpret_cast<const uint8_t*>(m_bytes.data()) + offset;
}

bool MemoryBacking::write(uint64_t offset, const void* data, size_t length)
{
    if (offset + length > m_bytes.size())
        m_bytes.resize(offset + length, '\0');
    std::memcpy(m_bytes.data() + offset, data, length);
    return true;
}

bool MemoryBacking::truncate(uint64_t size)
{
    m_bytes.resize(size, '\0');
    return true;
}

// ---------------------------------------------------------------------------------------------

Mapping& Mapping::operator=(Mapping&& o) noexcept
{
    if (this != &o) {
        reset();
        m_data = std::exchange(o.m_data, nullptr);
        m_length = std::exchange(o.m_length, 0);
    }
    return *this;
}

void Mapping::reset()
{
    if (m_data)
        munmap(const_cast<uint8_t*>(m_data), m_length);
    m_data = nullptr;
    m_length = 0;
}

// ---------------------------------------------------------------------------------------------

FileBacking::FileBacking(int fd, uint64_t size, std::shared_ptr<FileIo> io, Mapping mapping)
    : m_fd(fd)
    , m_io(std::move(io))
    , m_size(size)
    , m_map(std::move(mapping))
{
    if (m_map.length() > m_size)
        m_map.reset();
}

FileBacking::~FileBacking()
{
    // A mapping kept for the next opener holds the open file, and with it the lock, so the
    // lock is dropped explicitly.
    flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

const uint8_t* FileBacking::view(uint64_t offset, size_t length)
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

bool FileBacking::write(uint64_t offset, const void* data, size_t length)
{
    if (!m_io->writeAt(m_fd, offset, data, length))
        return false;
    m_size = std::max<uint64_t>(m_size, offset + length);
    return true;
}

bool FileBacking::truncate(uint64_t size)
{
    if (size < m_map.length())
        m_map.reset();
    if (!m_io->truncate(m_fd, size))
        return false;
    m_size = size;
    return true;
}

bool FileBacking::sync()
{
    return m_io->sync(m_fd);
}

bool FileBacking::read(uint64_t offset, void* out, size_t length)
{
    if (offset > m_size || length > m_size - offset)
        return false;
    return m_io->readAt(m_fd, offset, out, length);
}

} // namespace cfb
