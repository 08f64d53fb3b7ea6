// The first bytes of WAVE and AIFF-C files come from anywhere. Whatever they hold, the header
// readers stay inside them, give a length only for a RIFF WAVE and one that is positive and
// sane whatever size the file behind them has, and send only an AIFF-C to libav's reader.
#include "fuzzcheck.h"

#include "engines/audioheaders.h"

#include <cstdint>
#include <cstring>
#include <span>

using namespace engines;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::span<const std::uint8_t> head(data, size);
    const auto exact = compressedWaveLengthMs(head, size);
    if (exact) {
        FUZZ_CHECK(size >= 12 && std::memcmp(data, "RIFF", 4) == 0 &&
                   std::memcmp(data + 8, "WAVE", 4) == 0);
        FUZZ_CHECK(*exact > 0 && *exact <= 1'000'000'000'000);
    }
    // The file behind the head may be larger: its data chunk is then as long as it says.
    const auto larger = compressedWaveLengthMs(head, std::uint64_t(size) * 3 + 1);
    if (larger)
        FUZZ_CHECK(*larger > 0 && *larger <= 1'000'000'000'000);
    if (aiffcNeedsLibavReader(head))
        FUZZ_CHECK(size >= 12 && std::memcmp(data, "FORM", 4) == 0 &&
                   std::memcmp(data + 8, "AIFC", 4) == 0);
    return 0;
}
