#include "record/wavefile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace record {

namespace {

std::uint32_t get32(const std::uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void put32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Reads exactly `count` bytes at `offset`; false on a short read.
bool readAt(int fd, std::uint64_t offset, std::uint8_t* buffer, size_t count)
{
    while (count > 0) {
        const ssize_t got = ::pread(fd, buffer, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        buffer += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<size_t>(got);
    }
    return true;
}

bool fail(std::string* why, const char* text)
{
    if (why)
        *why = text;
    return false;
}

// The chunks of a RIFF WAVE file as the readers take them, from an open descriptor.
bool inspect(int fd, WaveLayout& layout, std::string* why)
{
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return fail(why, "not a regular file");
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    std::uint8_t head[12];
    if (!readAt(fd, 0, head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return fail(why, "not a RIFF WAVE file");

    bool haveFormat = false;
    std::uint64_t pos = 12;
    while (pos + 8 <= fileSize) {
        std::uint8_t chunk[8];
        if (!readAt(fd, pos, chunk, sizeof chunk))
            return fail(why, "cannot read the file");
        const std::uint32_t size = get32(chunk + 4);
        const std::uint64_t body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !haveFormat) {
            if (size < 16 || body + 16 > fileSize)
                return fail(why, "the format chunk is short");
            std::uint8_t fmt[16];
            if (!readAt(fd, body, fmt, sizeof fmt) ||
                !WAVEFORMATEX::fromBytes(std::span<const std::uint8_t>(fmt, 16), layout.format))
                return fail(why, "cannot read the format chunk");
            const WAVEFORMATEX& f = layout.format;
            if (f.wFormatTag != kTagPcm || f.wBitsPerSample != 16)
                return fail(why, "not 16-bit PCM");
            if (f.nChannels == 0 || f.nSamplesPerSec == 0 || f.nBlockAlign != 2 * f.nChannels)
                return fail(why, "the format does not add up");
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return fail(why, "the data chunk comes before the format");
            const std::uint64_t left = fileSize - body;
            std::uint64_t bytes = size;
            if (bytes > left) {
                // Streaming writers leave 0 or all ones where the size belongs.
                if (size != 0xFFFFFFFFu && size != 0)
                    return fail(why, "the data chunk is longer than the file");
                bytes = left;
            } else if (size == 0 && left > 0) {
                bytes = left;
            }
            bytes = std::min<std::uint64_t>(bytes, 0xFFFFFFFFu);
            bytes -= bytes % layout.format.nBlockAlign;
            layout.dataOffset = body;
            layout.dataSize = static_cast<std::uint32_t>(bytes);
            return true;
        }
        pos = body + size + (size & 1);
    }
    return fail(why, haveFormat ? "no data chunk" : "no format chunk");
}

struct Fd
{
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

bool inspectWaveFile(const std::string& path, WaveLayout& layout, std::string* why)
{
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0)
        return fail(why, std::strerror(errno));
    return inspect(f.fd, layout, why);
}

std::optional<std::vector<std::uint8_t>> readWaveFile(const std::string& path, WAVEFORMATEX& format)
{
    format = WAVEFORMATEX{};
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0)
        return std::nullopt;
    WaveLayout layout;
    if (!inspect(f.fd, layout, nullptr))
        return std::nullopt;
    std::vector<std::uint8_t> data(layout.dataSize);
    if (!readAt(f.fd, layout.dataOffset, data.data(), data.size()))
        return std::nullopt;
    format = layout.format;
    return data;
}

std::unique_ptr<WaveSource> openWaveFile(const std::string& path, WAVEFORMATEX& format,
                                         std::uint32_t& dataSize)
{
    format = WAVEFORMATEX{};
    dataSize = 0;
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0)
        return nullptr;
    WaveLayout layout;
    if (!inspect(f.fd, layout, nullptr))
        return nullptr;
    if (::lseek(f.fd, static_cast<off_t>(layout.dataOffset), SEEK_SET) < 0)
        return nullptr;
    std::unique_ptr<WaveSource> source(new WaveSource);
    source->m_fd = f.fd;
    f.fd = -1;
    source->m_dataSize = layout.dataSize;
    format = layout.format;
    dataSize = layout.dataSize;
    return source;
}

WaveSource::~WaveSource()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

size_t WaveSource::read(std::uint8_t* buffer, size_t count)
{
    count = std::min<size_t>(count, m_dataSize - m_done);
    size_t total = 0;
    while (total < count) {
        const ssize_t got = ::read(m_fd, buffer + total, count - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        total += static_cast<size_t>(got);
    }
    m_done += static_cast<std::uint32_t>(total);
    return total;
}

// ---------------------------------------------------------------------------------------------
// The writer

namespace {

constexpr size_t kBufferBytes = 64 * 1024;

} // namespace

RiffWaveWriter::~RiffWaveWriter()
{
    if (isOpen())
        finish();
}

bool RiffWaveWriter::create(const std::string& path, const WAVEFORMATEX& format)
{
    if (isOpen())
        abandon();
    m_path = path;
    m_failed = m_limitReached = false;
    m_error.clear();
    m_dataOnDisk = 0;
    m_sampleFrames = 0;
    m_buffer.clear();
    m_blockAlign = std::max<std::uint16_t>(1, format.nBlockAlign);

    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        m_error = std::strerror(errno);
        return false;
    }
    ::fchmod(fd, 0644);
    m_fd = fd;
    m_tempPath = temp;

    std::vector<std::uint8_t> head = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    const std::vector<std::uint8_t> fmt = format.bytes();
    head.insert(head.end(), {'f', 'm', 't', ' ', 0, 0, 0, 0});
    put32(head.data() + head.size() - 4, static_cast<std::uint32_t>(fmt.size()));
    head.insert(head.end(), fmt.begin(), fmt.end());
    if (fmt.size() & 1)
        head.push_back(0);
    m_factOffset = 0;
    if (format.wFormatTag != kTagPcm) {
        head.insert(head.end(), {'f', 'a', 'c', 't', 4, 0, 0, 0});
        m_factOffset = head.size();
        head.insert(head.end(), {0, 0, 0, 0});
    }
    head.insert(head.end(), {'d', 'a', 't', 'a', 0, 0, 0, 0});
    m_headerBytes = head.size();
    if (!writeAt(0, head)) {
        abandon();
        return false;
    }
    m_buffer.reserve(kBufferBytes);
    return true;
}

bool RiffWaveWriter::writeAt(std::uint64_t offset, const std::vector<std::uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            m_error = std::strerror(put < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

bool RiffWaveWriter::flushBuffer()
{
    size_t done = 0;
    while (done < m_buffer.size()) {
        const ssize_t put = ::pwrite(m_fd, m_buffer.data() + done, m_buffer.size() - done,
                                     static_cast<off_t>(m_headerBytes + m_dataOnDisk + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            m_error = std::strerror(put < 0 ? errno : ENOSPC);
            m_failed = true;
            break;
        }
        done += static_cast<size_t>(put);
    }
    m_dataOnDisk += done;
    m_buffer.clear();
    return !m_failed;
}

RiffWaveWriter::WriteResult RiffWaveWriter::write(const std::uint8_t* bytes, size_t count)
{
    if (!isOpen() || m_failed)
        return WriteResult::Failed;
    if (m_limitReached)
        return WriteResult::LimitReached;
    // RIFF size = header after the first 8 bytes + data (+ its pad byte).
    const std::uint64_t used = m_headerBytes - 8 + dataBytes();
    std::uint64_t room = m_options.riffLimit > used + 1 ? m_options.riffLimit - used - 1 : 0;
    room -= room % m_blockAlign;
    size_t take = count;
    if (take > room) {
        take = static_cast<size_t>(room);
        m_limitReached = true;
    }
    size_t done = 0;
    while (done < take) {
        const size_t n = std::min(take - done, kBufferBytes - m_buffer.size());
        m_buffer.insert(m_buffer.end(), bytes + done, bytes + done + n);
        done += n;
        if (m_buffer.size() == kBufferBytes && !flushBuffer())
            return WriteResult::Failed;
    }
    return m_limitReached ? WriteResult::LimitReached : WriteResult::Written;
}

bool RiffWaveWriter::finish()
{
    if (!isOpen())
        return false;
    if (!m_failed)
        flushBuffer();
    m_buffer.clear();
    // Only whole sample blocks count; a pad byte keeps the chunk even.
    std::uint64_t data = m_dataOnDisk - m_dataOnDisk % m_blockAlign;
    std::uint64_t end = m_headerBytes + data;
    if (data & 1) {
        // Odd data means an odd block size; without room for the pad byte the last block goes.
        const std::vector<std::uint8_t> pad{0};
        if (writeAt(end, pad)) {
            end += 1;
        } else {
            data -= m_blockAlign;
            end = m_headerBytes + data;
        }
    }
    bool ok = ::ftruncate(m_fd, static_cast<off_t>(end)) == 0;
    std::vector<std::uint8_t> word(4);
    put32(word.data(), static_cast<std::uint32_t>(end - 8));
    ok = writeAt(4, word) && ok;
    put32(word.data(), static_cast<std::uint32_t>(data));
    ok = writeAt(m_headerBytes - 4, word) && ok;
    if (m_factOffset) {
        put32(word.data(), m_sampleFrames);
        ok = writeAt(m_factOffset, word) && ok;
    }
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    if (!ok || ::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        if (m_error.empty())
            m_error = std::strerror(errno);
        ::unlink(m_tempPath.c_str());
        return false;
    }
    return true;
}

void RiffWaveWriter::abandon()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        ::unlink(m_tempPath.c_str());
    }
    m_buffer.clear();
}

} // namespace record
