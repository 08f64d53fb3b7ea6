// The WAVE and AIFF-C header readers that correct GStreamer: the length of compressed WAVE
// files written by sox and ffmpeg, what happens without a trustworthy "fact" chunk, which
// AIFF-C files go to libav's reader, and that a header cut anywhere is read safely.

#include "engines/audioheaders.h"
#include "enginetest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

using namespace engines;
using namespace enginetest;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A one-second 440 Hz tone at `rate` Hz and `channels`, converted by `convert` (a command with
// IN and OUT in it) into `name` in the fixture folder.
std::string converted(const std::string& name, int rate, int channels, const std::string& convert)
{
    const std::string src =
        fixtureDir() + "/hdr-" + std::to_string(rate) + "-" + std::to_string(channels) + ".wav";
    const std::string out = fixtureDir() + "/" + name;
    std::string command = convert;
    command.replace(command.find("IN"), 2, "'" + src + "'");
    command.replace(command.find("OUT"), 3, "'" + out + "'");
    if (!sh("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 '" +
            src + "' synth 1 sine 440") ||
        !sh(command))
        return {};
    return out;
}

std::optional<std::int64_t> waveLength(const Bytes& file)
{
    return compressedWaveLengthMs(file, file.size());
}

// The offset of the chunk `id` in a RIFF file (its header), or 0.
size_t riffChunk(const Bytes& file, const char* id)
{
    for (size_t at = 12; at + 8 <= file.size();) {
        if (std::memcmp(&file[at], id, 4) == 0)
            return at;
        const std::uint32_t size =
            file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 | file[at + 7] << 24;
        at += 8 + size + (size & 1);
    }
    return 0;
}

TEST(CompressedWave, AdpcmIsTimedByItsFactChunk)
{
    // Mono MS ADPCM is the case GStreamer times at about half; stereo and IMA ADPCM too.
    for (const auto& [name, rate, channels, encoding] :
         {std::tuple{"ms-mono.wav", 11025, 1, "ms-adpcm"},
          {"ms-stereo.wav", 22050, 2, "ms-adpcm"},
          {"ima-mono.wav", 8000, 1, "ima-adpcm"}}) {
        const std::string path =
            converted(name, rate, channels, std::string("sox IN -e ") + encoding + " OUT");
        ASSERT_FALSE(path.empty()) << name;
        EXPECT_EQ(waveLength(readAll(path)), 1000) << name;
        EXPECT_EQ(readAudioHeaderFacts(path).waveLengthMs, 1000) << name;
        EXPECT_FALSE(readAudioHeaderFacts(path).aiffcForLibav) << name;
    }
}

TEST(CompressedWave, WithoutATrustworthyFactTheBlocksAreCounted)
{
    const std::string path = converted("ms-nofact.wav", 11025, 1, "sox IN -e ms-adpcm OUT");
    Bytes file = readAll(path);
    const size_t fact = riffChunk(file, "fact");
    ASSERT_NE(fact, 0u);
    // sox fills the last block of 500 samples with silence, so counting blocks gives up to one
    // block (45 ms at 11.025 kHz) more than the tone.
    const auto blocks = [](const Bytes& f) {
        const auto ms = compressedWaveLengthMs(f, f.size());
        return ms.value_or(-1);
    };
    Bytes doubled = file;
    doubled[fact + 8 + 1] = static_cast<std::uint8_t>(doubled[fact + 8 + 1] * 2 + 1);
    EXPECT_GE(blocks(doubled), 1000);
    EXPECT_LE(blocks(doubled), 1046);
    Bytes renamed = file;
    std::memcpy(&renamed[fact], "junk", 4);
    EXPECT_EQ(blocks(renamed), blocks(doubled));
    // The samples a block holds follow from its size, whatever the format's count of them says.
    const size_t format = riffChunk(file, "fmt ");
    ASSERT_NE(format, 0u);
    Bytes lying = renamed;
    lying[format + 8 + 18] = 2;
    lying[format + 8 + 19] = 0;
    EXPECT_EQ(blocks(lying), blocks(renamed));
    // A file cut short is timed by what it holds, half a second of blocks.
    const size_t data = riffChunk(file, "data");
    ASSERT_NE(data, 0u);
    renamed.resize(data + 8 + 256 * 11);
    EXPECT_NEAR(static_cast<double>(blocks(renamed)), 11 * 500 * 1000.0 / 11025, 1);
}

TEST(CompressedWave, PcmFloatAndOtherFilesAreLeftToGStreamer)
{
    for (const auto& [name, convert] :
         {std::pair{"pcm16.wav", "sox IN OUT"},
          {"pcm24-extensible.wav", "sox IN -b 24 OUT"},
          {"float.wav", "sox IN -e floating-point -b 32 OUT"},
          {"plain.aiff", "sox IN OUT"},
          {"alaw-aifc.aifc", "ffmpeg -loglevel error -y -i IN -c:a pcm_alaw -f aiff OUT"}}) {
        const std::string path = converted(name, 11025, 1, convert);
        ASSERT_FALSE(path.empty()) << name;
        EXPECT_EQ(waveLength(readAll(path)), std::nullopt) << name;
    }
}

TEST(AiffcReader, CompressedSamplesGoToLibav)
{
    const auto forLibav = [](const std::string& name, const std::string& codec) {
        const std::string path = converted(
            name, 8000, 1, "ffmpeg -loglevel error -y -i IN -c:a " + codec + " -f aiff OUT");
        EXPECT_FALSE(path.empty()) << name;
        return aiffcNeedsLibavReader(readAll(path));
    };
    EXPECT_TRUE(forLibav("alaw.aifc", "pcm_alaw"));
    EXPECT_TRUE(forLibav("ulaw.aifc", "pcm_mulaw"));
    EXPECT_TRUE(forLibav("ima4.aifc", "adpcm_ima_qt"));
    EXPECT_FALSE(forLibav("sowt.aifc", "pcm_s16le"));
    EXPECT_FALSE(forLibav("fl32.aifc", "pcm_f32be"));
    EXPECT_FALSE(forLibav("plain-be.aiff", "pcm_s16be")); // an AIFF, not an AIFF-C

    const std::string path = fixtureDir() + "/alaw.aifc";
    EXPECT_TRUE(readAudioHeaderFacts(path).aiffcForLibav);
    EXPECT_EQ(readAudioHeaderFacts(path).waveLengthMs, std::nullopt);
    EXPECT_FALSE(readAudioHeaderFacts(fixtureDir()).aiffcForLibav); // a folder
    EXPECT_FALSE(readAudioHeaderFacts(fixtureDir() + "/missing.aifc").aiffcForLibav);
}

TEST(AudioHeaders, EveryCutOfAHeaderIsReadSafely)
{
    const Bytes wave = readAll(converted("cut.wav", 11025, 1, "sox IN -e ms-adpcm OUT"));
    const Bytes aifc = readAll(converted(
        "cut.aifc", 8000, 1, "ffmpeg -loglevel error -y -i IN -c:a pcm_alaw -f aiff OUT"));
    ASSERT_GT(wave.size(), 200u);
    ASSERT_GT(aifc.size(), 200u);
    const size_t data = riffChunk(wave, "data");
    size_t comm = 12;
    while (comm + 4 <= aifc.size() && std::memcmp(&aifc[comm], "COMM", 4) != 0)
        ++comm;
    ASSERT_LT(comm + 8 + 22, 200u);
    for (size_t n = 0; n < 200; ++n) {
        const std::span<const std::uint8_t> head(wave.data(), n);
        // Before the data chunk's header the length is unknown; the file's size alone is no
        // reason to guess.
        if (n < data + 8)
            EXPECT_EQ(compressedWaveLengthMs(head, wave.size()), std::nullopt) << n;
        else
            EXPECT_EQ(compressedWaveLengthMs(head, wave.size()), 1000) << n;
        EXPECT_EQ(aiffcNeedsLibavReader(std::span<const std::uint8_t>(aifc.data(), n)),
                  n >= comm + 8 + 22)
            << n;
    }
}

} // namespace
