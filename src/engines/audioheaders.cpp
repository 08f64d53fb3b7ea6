#include "engines/audioheaders.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace engines {

namespace {

constexpr std::uint16_t kWavePcm = 1;
constexpr std::uint16_t kWaveFloat = 3;
constexpr std::uint16_t kWaveMsAdpcm = 2;
constexpr std::uint16_t kWaveImaAdpcm = 0x11;
constexpr std::uint16_t kWaveExtensible = 0xFFFE;

std::uint32_t le32(const std::uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t be32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

bool isId(const std::uint8_t* p, const char* id)
{
    return std::memcmp(p, id, 4) == 0;
}

// Samples in `bytes` of ADPCM data, whole blocks and the part block at the end; 0 when the
// format is not one whose blocks we know.
double adpcmSamples(std::uint16_t tag, unsigned channels, unsigned blockAlign, std::uint64_t bytes)
{
    // MS ADPCM: a 7-byte header a channel (two of its samples whole), then two samples a byte.
    // IMA ADPCM: a 4-byte header a channel (one sample), then 4-byte words of 8 samples each.
    const unsigned header = tag == kWaveMsAdpcm ? 7 * channels : 4 * channels;
    const auto inBlock = [&](std::uint64_t n) -> double {
        if (n < header)
            return 0;
        if (tag == kWaveMsAdpcm)
            return static_cast<double>((n - header) * 2 / channels + 2);
        return static_cast<double>((n - header) / (4 * channels) * 8 + 1);
    };
    if (blockAlign <= header)
        return 0;
    // The samples a block holds follow from its size; the format's own count of them is
    // redundant, and not relied on.
    return static_cast<double>(bytes / blockAlign) * inBlock(blockAlign) +
           inBlock(bytes % blockAlign);
}

} // namespace

std::optional<std::int64_t> compressedWaveLengthMs(std::span<const std::uint8_t> head,
                                                   std::uint64_t fileSize)
{
    const std::uint8_t* const d = head.data();
    const std::size_t size = head.size();
    if (size < 12 || !isId(d, "RIFF") || !isId(d + 8, "WAVE"))
        return std::nullopt;
    std::uint16_t tag = 0, channels = 0, blockAlign = 0;
    std::uint32_t rate = 0, byteRate = 0, factFrames = 0;
    bool haveFormat = false, haveFact = false, haveData = false;
    std::uint64_t dataBytes = 0;
    std::uint64_t at = 12;
    while (at + 8 <= size && !haveData) {
        const std::uint32_t length = le32(d + at + 4);
        const std::uint8_t* body = d + at + 8;
        const std::uint64_t inHead = size - (at + 8);
        if (isId(d + at, "fmt ") && length >= 16 && inHead >= 16) {
            haveFormat = true;
            tag = le16(body);
            channels = le16(body + 2);
            rate = le32(body + 4);
            byteRate = le32(body + 8);
            blockAlign = le16(body + 12);
            const std::uint16_t extra = length >= 18 && inHead >= 18 ? le16(body + 16) : 0;
            if (tag == kWaveExtensible && extra >= 22 && length >= 40 && inHead >= 26)
                tag = le16(body + 24); // the sub-format's first two bytes are its format tag
        } else if (isId(d + at, "fact") && length >= 4 && inHead >= 4) {
            haveFact = true;
            factFrames = le32(body);
        } else if (isId(d + at, "data")) {
            haveData = true;
            const std::uint64_t available = fileSize > at + 8 ? fileSize - (at + 8) : 0;
            // Streaming writers leave 0 or 0xFFFFFFFF for "to the end of the file".
            dataBytes = length == 0 || length == 0xFFFFFFFFu
                            ? available
                            : std::min<std::uint64_t>(length, available);
        }
        at += 8 + static_cast<std::uint64_t>(length) + (length & 1);
    }
    if (!haveFormat || !haveData || rate == 0 || channels == 0 || tag == kWavePcm ||
        tag == kWaveFloat)
        return std::nullopt;
    const auto toMs = [&](double frames) -> std::optional<std::int64_t> {
        const double ms = std::round(frames * 1000.0 / rate);
        if (!(ms >= 1) || ms > 1e12)
            return std::nullopt;
        return static_cast<std::int64_t>(ms);
    };
    if (haveFact && factFrames > 0) {
        const double byFact = factFrames * 1000.0 / rate;
        const double byBytes = byteRate ? static_cast<double>(dataBytes) * 1000.0 / byteRate : 0;
        if (byteRate == 0 || std::fabs(byFact - byBytes) <= byBytes / 10)
            return toMs(factFrames);
    }
    if (tag == kWaveMsAdpcm || tag == kWaveImaAdpcm)
        return toMs(adpcmSamples(tag, channels, blockAlign, dataBytes));
    return std::nullopt;
}

bool aiffcNeedsLibavReader(std::span<const std::uint8_t> head)
{
    const std::uint8_t* const d = head.data();
    const std::size_t size = head.size();
    if (size < 12 || !isId(d, "FORM") || !isId(d + 8, "AIFC"))
        return false;
    std::uint64_t at = 12;
    while (at + 8 <= size) {
        const std::uint32_t length = be32(d + at + 4);
        if (isId(d + at, "COMM")) {
            // Channels (2), frames (4), sample size (2), rate (10), then the compression type.
            if (length < 22 || size - (at + 8) < 22)
                return false;
            const std::uint8_t* type = d + at + 8 + 18;
            for (const char* plain : {"NONE", "sowt", "fl32", "FL32", "fl64", "FL64"})
                if (isId(type, plain))
                    return false;
            return true;
        }
        at += 8 + static_cast<std::uint64_t>(length) + (length & 1);
    }
    return false;
}

AudioHeaderFacts readAudioHeaderFacts(const std::string& path)
{
    AudioHeaderFacts facts;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    struct stat st
    {};
    if (!file || ::fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode))
        return facts;
    std::vector<std::uint8_t> head(kAudioHeadBytes);
    head.resize(std::fread(head.data(), 1, head.size(), file.get()));
    facts.waveLengthMs = compressedWaveLengthMs(head, static_cast<std::uint64_t>(st.st_size));
    facts.aiffcForLibav = aiffcNeedsLibavReader(head);
    return facts;
}

} // namespace engines
