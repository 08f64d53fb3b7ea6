#include "record/realaudiofile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace record {

namespace {

void put16(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    v.push_back(static_cast<std::uint8_t>(x >> 8));
    v.push_back(static_cast<std::uint8_t>(x));
}

void put32(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    put16(v, x >> 16);
    put16(v, x & 0xFFFF);
}

void putText(std::vector<std::uint8_t>& v, const std::string& text)
{
    const size_t n = std::min<size_t>(text.size(), 255);
    v.push_back(static_cast<std::uint8_t>(n));
    v.insert(v.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

bool writeAll(int fd, const std::uint8_t* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, bytes, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

RealAudioFileWriter::~RealAudioFileWriter()
{
    if (isOpen())
        finish();
}

bool RealAudioFileWriter::create(const std::string& path, const RealAudioTexts& texts)
{
    if (isOpen())
        finish();
    m_failed = false;
    m_error.clear();
    m_dataBytes = 0;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        m_error = "cannot create a file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    ::fchmod(fd, 0644);

    std::vector<std::uint8_t> body(8, 0);
    // 14.4 takes 20 bytes for each 160 samples at 8000 Hz: 60000 bytes a minute.
    put16(body, 60000);
    m_dataSizeAt = 8 + static_cast<std::uint32_t>(body.size());
    put32(body, 0); // filled in by finish()
    putText(body, texts.title);
    putText(body, texts.author);
    putText(body, texts.copyright);
    putText(body, {});
    body.push_back(0);
    putText(body, "lpcJ");
    std::vector<std::uint8_t> header{'.', 'r', 'a', 0xFD};
    put16(header, 3);
    put16(header, static_cast<std::uint32_t>(body.size()));
    header.insert(header.end(), body.begin(), body.end());
    if (!writeAll(fd, header.data(), header.size())) {
        m_error = std::string("cannot write ") + temp + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    m_dataStart = static_cast<std::uint32_t>(header.size());
    m_fd = fd;
    m_path = path;
    m_tempPath = temp;
    return true;
}

bool RealAudioFileWriter::write(const std::uint8_t* frames, size_t length)
{
    if (!isOpen() || m_failed)
        return false;
    // Only whole frames count: a frame cut by a full disk is taken back.
    length -= length % kRa144FrameBytes;
    if (length == 0)
        return true;
    if (static_cast<std::uint64_t>(m_dataBytes) + length > 0xFFFFFFFFu - 4096) {
        m_failed = true;
        m_error = "the file has reached its 4 GiB limit";
        return false;
    }
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(m_fd, frames + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_failed = true;
            m_error = std::string("cannot write ") + m_path + ": " +
                      (n < 0 ? std::strerror(errno) : "the disk is full");
            break;
        }
        done += static_cast<size_t>(n);
    }
    const size_t whole = done - done % kRa144FrameBytes;
    m_dataBytes += static_cast<std::uint32_t>(whole);
    if (whole != done && ::ftruncate(m_fd, static_cast<off_t>(m_dataStart) + m_dataBytes) == 0)
        ::lseek(m_fd, 0, SEEK_END);
    return !m_failed;
}

bool RealAudioFileWriter::finish()
{
    if (!isOpen())
        return false;
    const std::uint8_t size[4] = {
        static_cast<std::uint8_t>(m_dataBytes >> 24), static_cast<std::uint8_t>(m_dataBytes >> 16),
        static_cast<std::uint8_t>(m_dataBytes >> 8), static_cast<std::uint8_t>(m_dataBytes)};
    bool ok = ::pwrite(m_fd, size, 4, m_dataSizeAt) == 4;
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        m_error = "cannot name " + m_path + ": " + std::strerror(errno);
        ::unlink(m_tempPath.c_str());
        ok = false;
    }
    m_tempPath.clear();
    return ok && !m_failed;
}

} // namespace record
