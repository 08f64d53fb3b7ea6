// The length of MPEG video from any bytes: nothing without a pack or sequence header first, an
// elementary stream no longer than its pictures at its frame rate, a frame rate MPEG names, and
// the same answer whether the reader hands out all the bytes or a few at a time.
#include "engines/mpegvideo.h"
#include "fuzzcheck.h"

#include <cmath>

using namespace engines;

static MpegVideoLength lengthOf(const std::uint8_t* data, size_t size, size_t piece)
{
    return mpegVideoLength(
        [&](std::uint64_t offset, std::uint8_t* out, std::size_t want) -> std::size_t {
            if (offset >= size)
                return 0;
            const size_t n = std::min({want, piece, size - static_cast<size_t>(offset)});
            std::memcpy(out, data + offset, n);
            return n;
        },
        size);
}

FUZZ_TARGET
{
    const MpegVideoLength whole = lengthOf(data, size, size + 1);
    FUZZ_CHECK(whole.ms >= 0);
    if (bytes.compare(0, 3, std::string("\0\0\1", 3)) != 0 || size < 4 ||
        (data[3] != 0xBA && data[3] != 0xB3))
        FUZZ_CHECK(whole.kind == MpegVideoKind::None && whole.ms == 0);
    static const double kRates[] = {0,  24000.0 / 1001, 24, 25, 30000.0 / 1001, 30,
                                    50, 60000.0 / 1001, 60};
    FUZZ_CHECK(std::find(std::begin(kRates), std::end(kRates), whole.frameRate) !=
               std::end(kRates));
    if (whole.kind == MpegVideoKind::ElementaryStream && whole.frameRate > 0) {
        size_t pictures = 0;
        for (size_t at = 0; (at = bytes.find(std::string("\0\0\1\0", 4), at)) != bytes.npos; ++at)
            ++pictures;
        FUZZ_CHECK(whole.ms <= std::llround(pictures * 1000.0 / whole.frameRate));
    }
    const MpegVideoLength pieces = lengthOf(data, size, 1 + size % 7);
    FUZZ_CHECK(pieces.kind == whole.kind && pieces.ms == whole.ms &&
               pieces.frameRate == whole.frameRate);
}
