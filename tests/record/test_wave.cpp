// Wave formats, the WAVE readers and the converting writer, its files checked by sox and
// ffprobe.
#include "recordtest.h"
#include "support/testhome.h"

#include "record/acmwavewriter.h"
#include "record/wavefile.h"
#include "record/waveformat.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

using namespace record;
using namespace recordtest;
namespace fs = std::filesystem;

using WaveTest = KolvoHomeTest;

TEST(WaveFormat, PcmFunctionsComputeBlockAlignAndRate)
{
    const WAVEFORMATEX cd = MakePcmFormat(44100, 16, 2);
    EXPECT_EQ(cd.wFormatTag, 1);
    EXPECT_EQ(cd.nBlockAlign, 4);
    EXPECT_EQ(cd.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(cd.bytes().size(), 18u);
    const WAVEFORMATEX low = MakePcmFormat(11025, 8, 1);
    EXPECT_EQ(low.nBlockAlign, 1);
    EXPECT_EQ(low.nAvgBytesPerSec, 11025u);
    EXPECT_EQ(MakePcmFormat(48000, 12, 2).nBlockAlign, 4); // 12 bits take two bytes

    const WAVEFORMATEX odd = MakeRecordingPcmFormat(22050, 12, 3);
    EXPECT_EQ(odd.nSamplesPerSec, 22050u);
    EXPECT_EQ(odd.wBitsPerSample, 16);
    EXPECT_EQ(odd.nChannels, 2);
    EXPECT_EQ(MakeRecordingPcmFormat(8000, 8, 1), MakePcmFormat(8000, 8, 1));

    WAVEFORMATEX back;
    WAVEFORMATEX withExtra = cd;
    withExtra.extra = {1, 2, 3};
    const auto bytes = withExtra.bytes();
    ASSERT_TRUE(WAVEFORMATEX::fromBytes(bytes, back));
    EXPECT_EQ(back, withExtra);
    EXPECT_FALSE(WAVEFORMATEX::fromBytes(std::span(bytes).first(20), back)); // extra cut off
    EXPECT_FALSE(WAVEFORMATEX::fromBytes(std::span(bytes).first(15), back));
}

TEST(WaveFormat, PeakLevels)
{
    const std::uint8_t stereo16[] = {0x00, 0x80, 100, 0, 0x10, 0x00, 0xFF, 0xFF};
    const std::uint8_t mono8[] = {0, 200};
    const auto peaks = [](const WAVEFORMATEX& format, const std::uint8_t* bytes, size_t count) {
        const PeakLevels p = PeakLevelsOf(format, bytes, count);
        return std::pair{p.left, p.right};
    };
    EXPECT_EQ(peaks(MakePcmFormat(44100, 16, 2), stereo16, 8), std::pair(32768, 100));
    EXPECT_EQ(peaks(MakePcmFormat(11025, 8, 1), mono8, 2), std::pair(32768, 32768));
    EXPECT_EQ(peaks(MakePcmFormat(11025, 24, 2), mono8, 2), std::pair(0, 0));
    // A trailing half pair is not read.
    EXPECT_EQ(peaks(MakePcmFormat(44100, 16, 2), stereo16, 6), std::pair(32768, 100));
}

// ---------------------------------------------------------------------------------------------
// Readers

TEST_F(WaveTest, ReadersTakeSixteenBitPcmAndRefuseTheRest)
{
    const auto samples = tone(440, 0.1, 44100, 2);
    const std::string good = writeFile("good.wav", waveBytes(MakePcmFormat(44100, 16, 2), samples));
    WAVEFORMATEX format;
    const auto whole = readWaveFile(good, format);
    ASSERT_TRUE(whole);
    EXPECT_EQ(*whole, samples);
    EXPECT_EQ(format, MakePcmFormat(44100, 16, 2));

    std::uint32_t size = 0;
    auto source = openWaveFile(good, format, size);
    ASSERT_TRUE(source);
    EXPECT_EQ(size, samples.size());
    std::vector<std::uint8_t> read(samples.size() + 100);
    size_t got = 0, n;
    while ((n = source->read(read.data() + got, 1000)) > 0)
        got += n;
    read.resize(got);
    EXPECT_EQ(read, samples);

    const std::string eight = writeFile(
        "eight.wav", waveBytes(MakePcmFormat(44100, 8, 2), std::vector<std::uint8_t>(100, 128)));
    WAVEFORMATEX alaw = MakePcmFormat(8000, 16, 1);
    alaw.wFormatTag = kTagALaw;
    const std::string other = writeFile("alaw.wav", waveBytes(alaw, {1, 2, 3, 4}));
    for (const std::string& path : {eight, other, homePath("missing.wav")}) {
        EXPECT_FALSE(readWaveFile(path, format)) << path;
        EXPECT_FALSE(openWaveFile(path, format, size)) << path;
        EXPECT_EQ(format, WAVEFORMATEX{});
    }
}

TEST_F(WaveTest, ReadersSeeThroughLyingHeaders)
{
    const WAVEFORMATEX pcm = MakePcmFormat(22050, 16, 1);
    const auto samples = tone(300, 0.05, 22050, 1);
    const std::string honest = waveBytes(pcm, samples);
    const size_t sizeAt = honest.find("data") + 4;
    WAVEFORMATEX format;
    std::uint32_t size = 0;

    // A data size past the end of the file: the file is short, and refused.
    std::string longer = honest;
    longer[sizeAt + 2] = static_cast<char>(0x10);
    const std::string pathLong = writeFile("long.wav", longer);
    EXPECT_FALSE(readWaveFile(pathLong, format));
    EXPECT_FALSE(openWaveFile(pathLong, format, size));

    // The placeholders of streaming writers: to the end of the file, whole frames only.
    for (std::uint32_t placeholder : {0xFFFFFFFFu, 0u}) {
        std::string streamed = honest + "x"; // a stray byte: half a frame
        for (int i = 0; i < 4; ++i)
            streamed[sizeAt + i] = static_cast<char>((placeholder >> (8 * i)) & 0xFF);
        for (int i = 0; i < 4; ++i)
            streamed[4 + i] = static_cast<char>((placeholder >> (8 * i)) & 0xFF);
        const std::string path = writeFile("streamed.wav", streamed);
        const auto data = readWaveFile(path, format);
        ASSERT_TRUE(data) << placeholder;
        EXPECT_EQ(*data, samples);
        ASSERT_TRUE(openWaveFile(path, format, size));
        EXPECT_EQ(size, samples.size());
    }

    // A RIFF size far too small, an odd-sized chunk (with its pad byte) before the format, and
    // a data size that is not a whole number of frames.
    std::string chunky =
        std::string("RIFF\x04\0\0\0WAVE", 12) + std::string("junk\x03\0\0\0abc\0", 12);
    const std::string rest = honest.substr(12);
    chunky += rest;
    chunky[chunky.size() - samples.size() - 4] += 1; // data size + 1
    chunky += "z";
    const std::string pathChunky = writeFile("chunky.wav", chunky);
    const auto data = readWaveFile(pathChunky, format);
    ASSERT_TRUE(data);
    EXPECT_EQ(*data, samples);

    // A format that does not add up (block align of another channel count) is refused.
    std::string mixed = honest;
    mixed[32] = 4;
    EXPECT_FALSE(readWaveFile(writeFile("mixed.wav", mixed), format));
    // So is data before the format, and a file that ends inside the format chunk.
    EXPECT_FALSE(readWaveFile(writeFile("cut.wav", honest.substr(0, 30)), format));
}

// ---------------------------------------------------------------------------------------------
// Writer

namespace {

struct TagCase
{
    std::uint16_t tag;
    std::uint32_t rate;
    int channels;
    const char* ffprobeCodec;
};

// Writes a second of a 440 Hz tone from 44.1 kHz stereo PCM into the tag's format, in pieces
// of an odd size, as a recorder would.
std::string writeTone(const std::string& path, const WAVEFORMATEX& destination, size_t piece = 4099)
{
    fs::remove(path);
    CAcmWaveWriter writer;
    const WAVEFORMATEX source = MakePcmFormat(44100, 16, 2);
    EXPECT_EQ(writer.openConverter(source, destination), 1);
    EXPECT_EQ(writer.createFile(path, destination), 1);
    const auto samples = tone(440, 1.0, 44100, 2);
    for (size_t at = 0; at < samples.size(); at += piece) {
        const size_t n = std::min(piece, samples.size() - at);
        EXPECT_EQ(writer.write(samples.data() + at, n, nullptr, nullptr, at == 0 ? -1 : 0), 1);
        EXPECT_FALSE(fs::exists(path)) << "the final name appears only when finished";
    }
    EXPECT_EQ(writer.flush(), 1);
    EXPECT_EQ(writer.finishFile(), 1);
    return readBytes(path);
}

} // namespace

TEST_F(WaveTest, EveryTagReadsBackInSoxAndFfprobe)
{
    const TagCase cases[] = {
        {kTagPcm, 22050, 1, "pcm_s16le"},    {kTagALaw, 8000, 1, "pcm_alaw"},
        {kTagMuLaw, 44100, 2, "pcm_mulaw"},  {kTagImaAdpcm, 22050, 2, "adpcm_ima_wav"},
        {kTagMsAdpcm, 44100, 2, "adpcm_ms"}, {kTagGsm610, 8000, 1, "gsm_ms"},
        {kTagMpegLayer3, 44100, 2, "mp3"},
    };
    for (const TagCase& c : cases) {
        SCOPED_TRACE(describeFormat(MakePcmFormat(c.rate, 16, c.channels)) + " tag " +
                     std::to_string(c.tag));
        WAVEFORMATEX destination;
        std::string why;
        ASSERT_TRUE(makeDestinationFormat(c.tag, c.rate, c.channels, 16, 128, destination, &why))
            << why;
        const std::string path = homePath("tag" + std::to_string(c.tag) + ".wav");
        fs::remove(path);
        const std::string bytes = writeTone(path, destination);
        ASSERT_GT(bytes.size(), 60u);

        // The chunks: RIFF size, "fmt " of 18 + extra bytes holding the format, "data" size.
        EXPECT_EQ(bytes.substr(0, 4), "RIFF");
        EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(bytes.substr(12, 4), "fmt ");
        EXPECT_EQ(le32(bytes, 16), 18 + destination.extra.size());
        const auto fmt = destination.bytes();
        EXPECT_EQ(bytes.substr(20, fmt.size()), std::string(fmt.begin(), fmt.end()));
        const size_t dataAt = bytes.find("data", 20 + fmt.size());
        ASSERT_NE(dataAt, std::string::npos);
        const std::uint32_t dataSize = le32(bytes, dataAt + 4);
        EXPECT_EQ(dataAt + 8 + dataSize + (dataSize & 1), bytes.size());
        EXPECT_EQ(dataSize % destination.nBlockAlign, 0u);

        const Probe p = probe(path);
        EXPECT_EQ(std::tuple(p.codec, p.rate, p.channels),
                  std::tuple(std::string(c.ffprobeCodec), static_cast<int>(c.rate), c.channels));

        // sox decodes it to a second of the tone (MPEG in WAVE is beyond sox; ffmpeg decodes it).
        const std::string decoded = homePath("decoded.wav");
        const std::string decode =
            c.tag == kTagMpegLayer3
                ? "ffmpeg -v error -y -i " + quoted(path) + " " + quoted(decoded)
                : "sox " + quoted(path) + " -b 16 " + quoted(decoded);
        ASSERT_EQ(run(decode, true).status, 0) << decode;
        const SoxStat stat = soxStat(decoded);
        EXPECT_NEAR(stat.seconds, 1.0, 0.08) << stat.text;
        EXPECT_NEAR(stat.hz, 440, 25);
        EXPECT_GT(stat.rms, 0.2);
    }
}

TEST_F(WaveTest, SamePcmPassesThroughAndPiecesDoNotChangeTheResult)
{
    const WAVEFORMATEX pcm = MakePcmFormat(44100, 16, 2);
    const auto samples = tone(440, 1.0, 44100, 2);
    const std::string same = writeTone(homePath("same.wav"), pcm);
    EXPECT_EQ(same.substr(same.find("data") + 8), std::string(samples.begin(), samples.end()));

    // A conversion cut into pieces that are not whole frames or blocks gives what one piece does.
    for (std::uint16_t tag : {kTagImaAdpcm, kTagMsAdpcm}) {
        WAVEFORMATEX adpcm;
        ASSERT_TRUE(makeDestinationFormat(tag, 44100, 2, 16, 0, adpcm));
        const std::string pieces = writeTone(homePath("pieces.wav"), adpcm, 1001);
        const std::string whole = writeTone(homePath("whole.wav"), adpcm, samples.size());
        EXPECT_EQ(pieces, whole) << tag;
        // Its "fact" chunk counts the sample frames of the tone, not the padding.
        const size_t fact = whole.find("fact");
        ASSERT_NE(fact, std::string::npos);
        EXPECT_EQ(le32(whole, fact + 8), 44100u);
    }

    CAcmWaveWriter writer;
    std::vector<std::uint8_t> out;
    size_t outLength = 0;
    ASSERT_EQ(writer.openConverter(pcm, MakePcmFormat(22050, 8, 1)), 1);
    ASSERT_EQ(writer.write(samples.data(), 4003, &out, &outLength, -1), 1);
    EXPECT_EQ(writer.pendingBytes(), 3u); // not a whole frame: waits for the next write
    EXPECT_EQ(out.size(), outLength);
}

TEST_F(WaveTest, TheFileStopsCleanlyAtItsSizeLimit)
{
    // The real limit is 4 GiB; the writer is told a small one so that the test writes little.
    RiffWaveWriter::Options options;
    options.riffLimit = 100000;
    CAcmWaveWriter writer(options);
    const WAVEFORMATEX pcm = MakePcmFormat(44100, 16, 2);
    const std::string path = homePath("limit.wav");
    ASSERT_EQ(writer.openConverter(pcm, pcm), 1);
    ASSERT_EQ(writer.createFile(path, pcm), 1);
    const auto samples = tone(440, 1.0, 44100, 2);
    int results[2] = {};
    for (size_t at = 0; at < samples.size(); at += 8192)
        ++results[writer.write(samples.data() + at, std::min<size_t>(8192, samples.size() - at),
                               nullptr, nullptr, 0)];
    EXPECT_TRUE(writer.limitReached());
    EXPECT_GT(results[0], 0);
    EXPECT_EQ(results[1], 12); // the twelve pieces before the one that reached the limit
    ASSERT_EQ(writer.finishFile(), 1);

    const std::string bytes = readBytes(path);
    EXPECT_LE(le32(bytes, 4), options.riffLimit);
    EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
    WAVEFORMATEX format;
    const auto data = readWaveFile(path, format);
    ASSERT_TRUE(data);
    EXPECT_EQ(*data, std::vector<std::uint8_t>(samples.begin(),
                                               samples.begin() + static_cast<long>(data->size())));
    EXPECT_GT(data->size(), 99000u);
    EXPECT_EQ(run("sox " + quoted(path) + " -n stat").status, 0);
}

TEST_F(WaveTest, AFullDiskLeavesAValidFileOfWhatReachedIt)
{
    const WAVEFORMATEX pcm = MakePcmFormat(44100, 16, 2);
    const std::string path = homePath("full.wav");
    const auto samples = tone(440, 3.0, 44100, 2);
    int failedAt = -1;
    {
        CAcmWaveWriter writer;
        ASSERT_EQ(writer.openConverter(pcm, pcm), 1);
        ASSERT_EQ(writer.createFile(path, pcm), 1);
        // An odd limit: the last sample frame is cut in the middle.
        withFileSizeLimit(50001, [&] {
            for (size_t at = 0, i = 0; failedAt < 0 && at < samples.size(); at += 65536, ++i)
                if (writer.write(samples.data() + at, std::min<size_t>(65536, samples.size() - at),
                                 nullptr, nullptr, 0) == 0)
                    failedAt = static_cast<int>(i);
            EXPECT_TRUE(writer.diskFailed());
            EXPECT_FALSE(writer.fileError().empty());
            EXPECT_FALSE(fs::exists(path));
            EXPECT_EQ(writer.finishFile(), 1);
        });
    }
    EXPECT_GE(failedAt, 0);

    const std::string bytes = readBytes(path);
    EXPECT_LE(bytes.size(), 50001u);
    EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
    WAVEFORMATEX format;
    const auto data = readWaveFile(path, format);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->size() % 4, 0u);
    EXPECT_GT(data->size(), 40000u); // all but the last, cut frame
    EXPECT_TRUE(std::equal(data->begin(), data->end(), samples.begin()));
    EXPECT_EQ(run("sox " + quoted(path) + " -n stat").status, 0);
}

TEST_F(WaveTest, NothingIsLeftBehindOrHalfWrittenUnderTheFinalName)
{
    const WAVEFORMATEX pcm = MakePcmFormat(44100, 16, 2);
    const std::string path = writeFile("keep.wav", "the earlier file");
    {
        RiffWaveWriter writer;
        ASSERT_TRUE(writer.create(path, pcm));
        const auto samples = tone(440, 0.2, 44100, 2);
        writer.write(samples.data(), samples.size());
        EXPECT_EQ(readBytes(path), "the earlier file");
        EXPECT_TRUE(fs::exists(writer.temporaryPath()));
        writer.abandon();
        EXPECT_FALSE(fs::exists(writer.temporaryPath()));
    }
    EXPECT_EQ(readBytes(path), "the earlier file");
    EXPECT_EQ(std::distance(fs::directory_iterator(home()), fs::directory_iterator()), 1);

    RiffWaveWriter writer;
    EXPECT_FALSE(writer.create(homePath("no such folder/x.wav"), pcm));
    EXPECT_FALSE(writer.error().empty());
    if (!runningAsRoot()) {
        fs::create_directory(homePath("ro"));
        fs::permissions(homePath("ro"), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(writer.create(homePath("ro/x.wav"), pcm));
        fs::permissions(homePath("ro"), fs::perms::owner_all);
    }
}
