// INFO.VCD from anywhere: it is taken only when it is a Video CD 2.0 description of at least
// 56 bytes, and then every field is the big-endian value at its place.
#include "engines/vcdformat.h"
#include "fuzzcheck.h"

using namespace engines::vcd;

FUZZ_TARGET
{
    Info info;
    std::string why;
    const bool ok = parseInfo(bytes, info, &why);
    FUZZ_CHECK(ok == why.empty());
    if (size < 56) {
        FUZZ_CHECK(!ok);
        return;
    }
    FUZZ_CHECK(ok == (bytes.compare(0, 8, "VIDEO_CD") == 0 && data[8] == 2 && data[9] == 0));
    FUZZ_CHECK(info.albumId.size() <= 16);
    FUZZ_CHECK(info.volumeCount == (data[26] << 8 | data[27]));
    FUZZ_CHECK(info.psdSize == (std::uint32_t(data[44]) << 24 | std::uint32_t(data[45]) << 16 |
                                std::uint32_t(data[46]) << 8 | data[47]));
    FUZZ_CHECK(info.offsetMultiplier == data[51]);
    FUZZ_CHECK(info.segmentCount == (data[54] << 8 | data[55]));
    FUZZ_CHECK(info.extendedPsd() == ((data[43] & 0x80) != 0));
}
