// The first bytes of WAVE and AIFF-C files come from anywhere. Whatever they hold, the header
// readers stay inside them, give a length only for a RIFF WAVE and one that is positive and
// sane whatever size the file behind them has, and send only an AIFF-C to libav's reader.
#include "engines/audioheaders.h"
#include "fuzzcheck.h"

#include <span>

using namespace engines;

FUZZ_TARGET
{
    const std::span<const std::uint8_t> head(data, size);
    if (const auto exact = compressedWaveLengthMs(head, size)) {
        FUZZ_CHECK(size >= 12 && bytes.compare(0, 4, "RIFF") == 0 &&
                   bytes.compare(8, 4, "WAVE") == 0);
        FUZZ_CHECK(*exact > 0 && *exact <= 1'000'000'000'000);
    }
    // The file behind the head may be larger: its data chunk is then as long as it says.
    if (const auto larger = compressedWaveLengthMs(head, std::uint64_t(size) * 3 + 1))
        FUZZ_CHECK(*larger > 0 && *larger <= 1'000'000'000'000);
    if (aiffcNeedsLibavReader(head))
        FUZZ_CHECK(size >= 12 && bytes.compare(0, 4, "FORM") == 0 &&
                   bytes.compare(8, 4, "AIFC") == 0);
}
