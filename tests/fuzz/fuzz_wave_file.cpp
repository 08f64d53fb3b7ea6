// WAVE files come from anywhere. Whatever a file holds, the two readers agree: both refuse it
// or both give the same 16-bit PCM format and the same samples, which are bytes of the file
// itself, a whole number of sample frames. What they read, written again by our writer, reads
// back the same.
#include "fuzzcheck.h"
#include "fuzzhome.h"

#include "record/wavefile.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace record;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static const std::string home = fuzzhome::next("wave");
    const std::string path = home + "/input.wav";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzzhome::write(path, bytes);

    WAVEFORMATEX wholeFormat, openFormat;
    const auto whole = readWaveFile(path, wholeFormat);
    std::uint32_t dataSize = 0;
    auto source = openWaveFile(path, openFormat, dataSize);
    WaveLayout layout;
    const bool inspected = inspectWaveFile(path, layout);
    FUZZ_CHECK(whole.has_value() == (source != nullptr));
    FUZZ_CHECK(inspected == whole.has_value());
    if (!whole) {
        FUZZ_CHECK(wholeFormat == WAVEFORMATEX{});
        FUZZ_CHECK(openFormat == WAVEFORMATEX{});
        return 0;
    }
    FUZZ_CHECK(wholeFormat == openFormat);
    FUZZ_CHECK(wholeFormat.wFormatTag == kTagPcm && wholeFormat.wBitsPerSample == 16);
    FUZZ_CHECK(wholeFormat.nBlockAlign == 2 * wholeFormat.nChannels && wholeFormat.nChannels > 0);
    FUZZ_CHECK(whole->size() == dataSize);
    FUZZ_CHECK(dataSize % wholeFormat.nBlockAlign == 0);
    FUZZ_CHECK(layout.dataOffset + dataSize <= size);
    FUZZ_CHECK(dataSize == 0 ||
               std::memcmp(whole->data(), data + layout.dataOffset, dataSize) == 0);

    std::vector<std::uint8_t> streamed(dataSize);
    size_t got = 0, n;
    while ((n = source->read(streamed.data() + got, 8192)) > 0)
        got += n;
    FUZZ_CHECK(got == dataSize);
    FUZZ_CHECK(streamed == *whole);
    source.reset();

    const std::string again = home + "/again.wav";
    {
        RiffWaveWriter writer;
        FUZZ_CHECK(writer.create(again, wholeFormat));
        FUZZ_CHECK(writer.write(whole->data(), whole->size()) ==
                   RiffWaveWriter::WriteResult::Written);
        FUZZ_CHECK(writer.finish());
    }
    WAVEFORMATEX againFormat;
    const auto reread = readWaveFile(again, againFormat);
    FUZZ_CHECK(reread && *reread == *whole);
    FUZZ_CHECK(againFormat == wholeFormat);
    return 0;
}
