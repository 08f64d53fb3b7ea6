#include "engines/mpegvideo.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace engines {

namespace {

constexpr std::size_t kHeadBytes = 4u << 20;
constexpr std::size_t kTailSteps[] = {1u << 20, 4u << 20, 16u << 20};
constexpr std::uint64_t kCountWhole = 64ull << 20;
constexpr std::size_t kCountSample = 16u << 20;
constexpr std::size_t kCountChunk = 1u << 20;
constexpr std::int64_t kPtsWrap = std::int64_t(1) << 33;

bool startCode(const std::uint8_t* p, std::uint8_t code)
{
    return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == code;
}

double frameRateOfCode(int code)
{
    static const double kRates[] = {0,  24000.0 / 1001, 24, 25, 30000.0 / 1001, 30,
                                    50, 60000.0 / 1001, 60};
    return code >= 1 && code <= 8 ? kRates[code] : 0;
}

// The frame rate of the first sequence header among the bytes.
double sequenceFrameRate(const std::uint8_t* p, std::size_t n)
{
    for (std::size_t i = 0; i + 8 <= n; ++i) {
        if (startCode(p + i, 0xB3)) {
            if (const double rate = frameRateOfCode(p[i + 7] & 0x0F); rate > 0)
                return rate;
        }
    }
    return 0;
}

std::int64_t readTimeStamp(const std::uint8_t* p)
{
    return (std::int64_t(p[0] >> 1 & 7) << 30) | (std::int64_t(p[1]) << 22) |
           (std::int64_t(p[2] >> 1) << 15) | (std::int64_t(p[3]) << 7) | (p[4] >> 1);
}

// The size of the pack header at p (MPEG-1 or MPEG-2 system layer, marker bits checked); 0 when
// there is none.
std::size_t packHeaderSize(const std::uint8_t* p, std::size_t n)
{
    if (n < 12 || !startCode(p, 0xBA))
        return 0;
    if ((p[4] & 0xF1) == 0x21)
        return (p[6] & 1) && (p[8] & 1) && (p[9] & 0x80) && (p[11] & 1) ? 12 : 0;
    if ((p[4] & 0xC4) == 0x44 && n >= 14 && (p[6] & 4) && (p[8] & 4) && (p[9] & 1) &&
        (p[12] & 3) == 3)
        return 14 + (p[13] & 7);
    return 0;
}

// The presentation time of a PES packet's header (the bytes after its length), -1 when it
// carries none.
std::int64_t packetTime(const std::uint8_t* q, std::size_t m)
{
    if (m >= 1 && (q[0] & 0xC0) == 0x80) {
        // MPEG-2: flags, then the header's length, then the time.
        if (m >= 8 && (q[1] & 0x80) && ((q[3] & 0xF1) == 0x21 || (q[3] & 0xF1) == 0x31))
            return readTimeStamp(q + 3);
        return -1;
    }
    // MPEG-1: stuffing, the decoder buffer's size, then the time.
    std::size_t i = 0;
    while (i < m && i < 16 && q[i] == 0xFF)
        ++i;
    if (i < m && (q[i] & 0xC0) == 0x40)
        i += 2;
    if (i + 5 <= m && ((q[i] & 0xF1) == 0x21 || (q[i] & 0xF1) == 0x31))
        return readTimeStamp(q + i);
    return -1;
}

// Walks the packets of a program stream in the bytes, calling `seen` with the time of every
// packet of the video stream `videoId` (the first video stream met when it is -1), and
// resynchronising on the next pack header where the packets lose their thread.
template <typename Seen>
void walkPackets(const std::uint8_t* p, std::size_t n, int& videoId, Seen seen)
{
    std::size_t at = 0;
    const auto resync = [&](std::size_t from) {
        for (std::size_t i = from; i + 12 <= n; ++i) {
            if (packHeaderSize(p + i, n - i))
                return i;
        }
        return n;
    };
    at = resync(0);
    while (at + 6 <= n) {
        if (!(p[at] == 0 && p[at + 1] == 0 && p[at + 2] == 1)) {
            at = resync(at + 1);
            continue;
        }
        const std::uint8_t code = p[at + 3];
        if (code == 0xBA) {
            const std::size_t size = packHeaderSize(p + at, n - at);
            at = size ? at + size : resync(at + 1);
            continue;
        }
        if (code == 0xB9) {
            at += 4;
            continue;
        }
        if (code < 0xBB) {
            at = resync(at + 1);
            continue;
        }
        const std::size_t length = std::size_t(p[at + 4]) << 8 | p[at + 5];
        if (code >= 0xE0 && code <= 0xEF) {
            if (videoId < 0)
                videoId = code;
            if (code == videoId) {
                const std::int64_t time = packetTime(p + at + 6, std::min(length, n - at - 6));
                if (time >= 0)
                    seen(time);
            }
        }
        at += 6 + length;
    }
}

std::vector<std::uint8_t> readAt(const MpegVideoReader& read, std::uint64_t offset,
                                 std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    std::size_t got = 0;
    while (got < size) {
        const std::size_t n = read(offset + got, bytes.data() + got, size - got);
        if (n == 0)
            break;
        got += n;
    }
    bytes.resize(got);
    return bytes;
}

MpegVideoLength programStream(const MpegVideoReader& read, std::uint64_t fileSize)
{
    MpegVideoLength out;
    out.kind = MpegVideoKind::ProgramStream;
    const std::vector<std::uint8_t> head =
        readAt(read, 0, static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kHeadBytes)));
    out.frameRate = sequenceFrameRate(head.data(), head.size());
    int videoId = -1;
    std::int64_t first = -1;
    walkPackets(head.data(), head.size(), videoId, [&](std::int64_t t) {
        if (first < 0 || t < first)
            first = t;
    });
    if (first < 0)
        return out;
    std::int64_t last = -1;
    for (const std::size_t step : kTailSteps) {
        const std::uint64_t size = std::min<std::uint64_t>(fileSize, step);
        const std::vector<std::uint8_t> tail =
            readAt(read, fileSize - size, static_cast<std::size_t>(size));
        walkPackets(tail.data(), tail.size(), videoId, [&](std::int64_t t) {
            // A time far below the first is past the clock's wrap.
            if (t < first && first - t > kPtsWrap / 2)
                t += kPtsWrap;
            last = std::max(last, t);
        });
        if (last >= 0 || size == fileSize)
            break;
    }
    if (last < first)
        return out;
    const double frameMs = out.frameRate > 0 ? 1000.0 / out.frameRate : 0;
    out.ms = std::llround(double(last - first) / 90.0 + frameMs);
    return out;
}

MpegVideoLength elementaryStream(const MpegVideoReader& read, std::uint64_t fileSize)
{
    MpegVideoLength out;
    out.kind = MpegVideoKind::ElementaryStream;
    const std::uint64_t counted = fileSize <= kCountWhole ? fileSize : kCountSample;
    // Halves of pictures: a field picture is half a frame.
    std::int64_t halves = 0;
    std::uint64_t offset = 0;
    while (offset < counted) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCountChunk, counted - offset));
        const std::vector<std::uint8_t> chunk = readAt(read, offset, want);
        const std::size_t n = chunk.size();
        const std::uint8_t* p = chunk.data();
        const bool lastChunk = offset + n >= counted || n < want;
        if (out.frameRate == 0)
            out.frameRate = sequenceFrameRate(p, n);
        // The last bytes of a chunk are looked at again at the start of the next one.
        const std::size_t overlap = 8;
        const std::size_t end = lastChunk ? (n >= 4 ? n - 3 : 0) : n - overlap;
        for (std::size_t i = 0; i < end; ++i) {
            if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1)
                continue;
            if (p[i + 3] == 0x00) {
                halves += 2;
            } else if (p[i + 3] == 0xB5 && i + 6 < n && (p[i + 4] >> 4) == 8 &&
                       (p[i + 6] & 3) != 3 && halves > 0) {
                // A picture coding extension of a field picture.
                --halves;
            }
        }
        if (lastChunk || n <= overlap)
            break;
        offset += n - overlap;
    }
    if (out.frameRate <= 0 || halves == 0)
        return out;
    double ms = double(halves) / 2.0 * 1000.0 / out.frameRate;
    if (counted < fileSize)
        ms *= double(fileSize) / double(counted);
    out.ms = std::llround(ms);
    return out;
}

} // namespace

MpegVideoLength mpegVideoLength(const MpegVideoReader& read, std::uint64_t fileSize)
{
    // Enough for an MPEG-2 pack header.
    const std::vector<std::uint8_t> start =
        readAt(read, 0, static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, 14)));
    if (start.size() < 12)
        return {};
    if (packHeaderSize(start.data(), start.size()))
        return programStream(read, fileSize);
    if (startCode(start.data(), 0xB3))
        return elementaryStream(read, fileSize);
    return {};
}

MpegVideoLength mpegVideoFileLength(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    MpegVideoLength out;
    struct stat st
    {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        out = mpegVideoLength(
            [fd](std::uint64_t offset, std::uint8_t* to, std::size_t size) -> std::size_t {
                const ssize_t n = ::pread(fd, to, size, static_cast<off_t>(offset));
                return n > 0 ? static_cast<std::size_t>(n) : 0;
            },
            static_cast<std::uint64_t>(st.st_size));
    }
    ::close(fd);
    return out;
}

} // namespace engines
