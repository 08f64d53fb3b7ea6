// WAVE files come from anywhere. Whatever a file holds, the two readers agree: both refuse it
// or both give the same 16-bit PCM format and the same samples, which are bytes of the file
// itself, a whole number of sample frames. What they read, written again by our writer, reads
// back the same.
#include "fuzzcheck.h"
#include "fuzzhome.h"
#include "record/wavefile.h"

using namespace record;

FUZZ_TARGET
{
    static const std::string home = fuzzhome::next("wave");
    const std::string path = home + "/input.wav", again = home + "/again.wav";
    fuzzhome::write(path, bytes);

    WAVEFORMATEX wholeFormat, openFormat, againFormat;
    const auto whole = readWaveFile(path, wholeFormat);
    std::uint32_t dataSize = 0;
    auto source = openWaveFile(path, openFormat, dataSize);
    WaveLayout layout;
    FUZZ_CHECK(whole.has_value() == (source != nullptr));
    FUZZ_CHECK(inspectWaveFile(path, layout) == whole.has_value());
    FUZZ_CHECK(whole || (wholeFormat == WAVEFORMATEX{} && openFormat == WAVEFORMATEX{}));
    if (!whole)
        return;
    FUZZ_CHECK(wholeFormat == openFormat);
    FUZZ_CHECK(wholeFormat.wFormatTag == kTagPcm && wholeFormat.wBitsPerSample == 16);
    FUZZ_CHECK(wholeFormat.nBlockAlign == 2 * wholeFormat.nChannels && wholeFormat.nChannels > 0);
    FUZZ_CHECK(whole->size() == dataSize && dataSize % wholeFormat.nBlockAlign == 0);
    FUZZ_CHECK(layout.dataOffset + dataSize <= size);
    FUZZ_CHECK(dataSize == 0 ||
               std::memcmp(whole->data(), data + layout.dataOffset, dataSize) == 0);

    std::vector<std::uint8_t> streamed(dataSize);
    size_t got = 0, n;
    while ((n = source->read(streamed.data() + got, 8192)) > 0)
        got += n;
    FUZZ_CHECK(got == dataSize && streamed == *whole);
    source.reset();

    {
        RiffWaveWriter writer;
        FUZZ_CHECK(writer.create(again, wholeFormat));
        FUZZ_CHECK(writer.write(whole->data(), whole->size()) ==
                   RiffWaveWriter::WriteResult::Written);
        FUZZ_CHECK(writer.finish());
    }
    const auto reread = readWaveFile(again, againFormat);
    FUZZ_CHECK(reread && *reread == *whole && againFormat == wholeFormat);
}
