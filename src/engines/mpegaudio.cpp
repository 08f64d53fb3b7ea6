#include "engines/mpegaudio.h"

#include "platform/text.h"

#include <gst/tag/tag.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace engines {

namespace {

// Bit rates in kbps by [MPEG-1 or not][layer - 1][index].
constexpr int kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1}},
};
constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

std::uint32_t be32(const unsigned char* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

bool sameStream(const MpegFrameHeader& a, const MpegFrameHeader& b)
{
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// The side information a Layer 3 frame carries before its data, where VBR headers sit.
int sideInfoBytes(const MpegFrameHeader& h)
{
    const bool mono = h.channelMode == 3;
    if (h.version == 1)
        return mono ? 17 : 32;
    return mono ? 9 : 17;
}

std::string trimmedField(std::string_view raw)
{
    const size_t zero = raw.find('\0');
    if (zero != std::string_view::npos)
        raw = raw.substr(0, zero);
    std::string s = text::decodeLegacy(raw);
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

} // namespace

bool parseMpegFrameHeader(const unsigned char* p, MpegFrameHeader& h)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = (p[2] >> 4) & 15;
    const int rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3)
        return false;
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 3;
    h.layer = 4 - layerBits;
    h.bitrateKbps = kBitrates[h.version == 1 ? 0 : 1][h.layer - 1][bitrateIndex];
    h.sampleRate = kSampleRates[h.version - 1][rateIndex];
    h.padding = (p[2] >> 1) & 1;
    h.channelMode = (p[3] >> 6) & 3;
    const int bps = h.bitrateKbps * 1000;
    if (h.layer == 1) {
        h.samplesPerFrame = 384;
        h.frameBytes = (12 * bps / h.sampleRate + (h.padding ? 1 : 0)) * 4;
    } else {
        const bool lowRateLayer3 = h.layer == 3 && h.version != 1;
        h.samplesPerFrame = lowRateLayer3 ? 576 : 1152;
        h.frameBytes = (lowRateLayer3 ? 72 : 144) * bps / h.sampleRate + (h.padding ? 1 : 0);
    }
    return h.frameBytes >= 4;
}

std::optional<MpegStreamInfo> analyseMpegAudio(std::string_view head, std::int64_t headOffset,
                                               std::int64_t fileSize, std::int64_t tagBytes)
{
    const auto* d = reinterpret_cast<const unsigned char*>(head.data());
    const size_t n = head.size();
    for (size_t i = 0; i + 4 <= n; ++i) {
        MpegFrameHeader h;
        if (!parseMpegFrameHeader(d + i, h))
            continue;
        // A real frame is followed by another of the same stream (or by the end of the data).
        const size_t next = i + static_cast<size_t>(h.frameBytes);
        if (next + 4 <= n) {
            MpegFrameHeader h2;
            if (!parseMpegFrameHeader(d + next, h2) || !sameStream(h, h2))
                continue;
        } else if (fileSize >= 0 && headOffset + static_cast<std::int64_t>(next) + 4 < fileSize) {
            // The second frame lies beyond what we were given: not enough to tell. Accept only a
            // frame at the very start, where nothing else is plausible.
            if (i != 0)
                continue;
        }

        MpegStreamInfo info;
        info.first = h;
        info.audioStart = headOffset + static_cast<std::int64_t>(i);
        // Xing/Info (Layer 3) or VBRI headers tell the frame count of the whole file.
        const size_t xing = i + 4 + static_cast<size_t>(sideInfoBytes(h));
        if (h.layer == 3 && xing + 12 <= n &&
            (!std::memcmp(d + xing, "Xing", 4) || !std::memcmp(d + xing, "Info", 4))) {
            const std::uint32_t flags = be32(d + xing + 4);
            if (flags & 1)
                info.frames = be32(d + xing + 8);
            info.vbr = !std::memcmp(d + xing, "Xing", 4);
        } else if (i + 4 + 32 + 18 <= n && !std::memcmp(d + i + 4 + 32, "VBRI", 4)) {
            info.frames = be32(d + i + 4 + 32 + 14);
            info.vbr = true;
        }
        const std::int64_t audioBytes =
            fileSize >= 0 ? std::max<std::int64_t>(0, fileSize - tagBytes - info.audioStart) : -1;
        if (info.frames > 0) {
            // The header frame itself carries no sound.
            info.durationMs = info.frames * h.samplesPerFrame * 1000LL / h.sampleRate;
            if (audioBytes > 0 && info.durationMs > 0)
                info.averageKbps = static_cast<int>(audioBytes * 8 / info.durationMs);
        } else if (audioBytes > 0) {
            info.durationMs = audioBytes * 8 / h.bitrateKbps;
        }
        if (!info.vbr || info.averageKbps == 0)
            info.averageKbps = h.bitrateKbps;
        return info;
    }
    return std::nullopt;
}

std::optional<Id3v1Tag> parseId3v1(std::string_view t)
{
    if (t.size() != 128 || t.substr(0, 3) != "TAG")
        return std::nullopt;
    Id3v1Tag tag;
    tag.title = trimmedField(t.substr(3, 30));
    tag.artist = trimmedField(t.substr(33, 30));
    tag.album = trimmedField(t.substr(63, 30));
    tag.year = trimmedField(t.substr(93, 4));
    // Version 1.1 keeps the track number in the last two comment bytes.
    if (t[125] == '\0' && t[126] != '\0') {
        tag.comment = trimmedField(t.substr(97, 28));
        tag.track = static_cast<unsigned char>(t[126]);
    } else {
        tag.comment = trimmedField(t.substr(97, 30));
    }
    const int genre = static_cast<unsigned char>(t[127]);
    tag.genre = genre == 255 ? -1 : genre;
    return tag;
}

std::string id3GenreName(int genre)
{
    if (genre < 0 || static_cast<guint>(genre) >= gst_tag_id3_genre_count())
        return {};
    const gchar* name = gst_tag_id3_genre_get(static_cast<guint>(genre));
    return name ? name : "";
}

namespace {

std::uint32_t le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool startsWith(std::string_view head, size_t at, std::string_view magic)
{
    return head.size() >= at + magic.size() && head.substr(at, magic.size()) == magic;
}

// The MPEG audio of a RIFF/WAVE file: its data chunk when the format tag (or the sub-format of
// an extensible format) is 0x50 or 0x55.
std::optional<MpegPayload> riffMpegPayload(std::string_view head)
{
    const auto* d = reinterpret_cast<const unsigned char*>(head.data());
    bool mpeg = false;
    size_t at = 12;
    while (at + 8 <= head.size()) {
        const std::uint32_t size = le32(d + at + 4);
        const std::string_view id = head.substr(at, 4);
        if (id == "fmt " && at + 8 + 2 <= head.size()) {
            unsigned tag = d[at + 8] | (d[at + 9] << 8);
            // WAVE_FORMAT_EXTENSIBLE: the real tag leads the sub-format GUID.
            if (tag == 0xFFFE && size >= 40 && at + 8 + 26 <= head.size())
                tag = d[at + 8 + 24] | (d[at + 8 + 25] << 8);
            mpeg = tag == 0x50 || tag == 0x55;
            if (!mpeg)
                return std::nullopt;
        } else if (id == "data") {
            if (!mpeg)
                return std::nullopt;
            return MpegPayload{static_cast<std::int64_t>(at + 8), static_cast<std::int64_t>(size)};
        }
        at += 8 + static_cast<size_t>(size) + (size & 1);
    }
    return std::nullopt;
}

} // namespace

std::optional<MpegPayload> findMpegPayload(std::string_view head)
{
    if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WAVE"))
        return riffMpegPayload(head);
    // Containers and formats that are not MPEG audio, by the bytes they start with.
    static constexpr std::string_view kAtStart[] = {"RIFF",
                                                    "RIFX",
                                                    "RF64",
                                                    "FORM",
                                                    ".snd",
                                                    "OggS",
                                                    "fLaC",
                                                    "MThd",
                                                    "wvpk",
                                                    "MAC ",
                                                    ".RMF",
                                                    "\x30\x26\xB2\x75",
                                                    "Extended Module:",
                                                    "IMPM",
                                                    "#!AMR",
                                                    "caff",
                                                    "DSD ",
                                                    "FRM8",
                                                    std::string_view("\0\0\x01\xBA", 4),
                                                    std::string_view("\0\0\x01\xB3", 4)};
    for (std::string_view magic : kAtStart)
        if (startsWith(head, 0, magic))
            return std::nullopt;
    for (std::string_view atom : {"ftyp", "moov", "mdat", "free", "wide"})
        if (startsWith(head, 4, atom))
            return std::nullopt;
    if (startsWith(head, 44, "SCRM"))
        return std::nullopt;
    return MpegPayload{};
}

std::optional<MpegFile> readMpegFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    in.seekg(0, std::ios::end);
    const std::int64_t size = in.tellg();
    if (size <= 0)
        return std::nullopt;

    MpegFile file;
    std::int64_t tagBytes = 0;
    if (size >= 128) {
        std::string last(128, '\0');
        in.seekg(size - 128);
        in.read(last.data(), 128);
        file.tag = parseId3v1(last);
        if (file.tag)
            tagBytes = 128;
    }
    // An ID3 version 2 tag in front: its size is four 7-bit bytes, plus a footer when flagged.
    std::int64_t start = 0;
    for (int guard = 0; guard < 4; ++guard) {
        unsigned char id3[10] = {};
        in.clear();
        in.seekg(start);
        in.read(reinterpret_cast<char*>(id3), 10);
        if (in.gcount() != 10 || std::memcmp(id3, "ID3", 3))
            break;
        const std::int64_t body =
            (id3[6] & 0x7F) << 21 | (id3[7] & 0x7F) << 14 | (id3[8] & 0x7F) << 7 | (id3[9] & 0x7F);
        start += 10 + body + ((id3[5] & 0x10) ? 10 : 0);
    }
    constexpr std::int64_t kHead = 64 * 1024;
    std::string head(static_cast<size_t>(std::min(kHead, std::max<std::int64_t>(0, size - start))),
                     '\0');
    in.clear();
    in.seekg(start);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    const std::optional<MpegPayload> payload = findMpegPayload(head);
    if (!payload)
        return std::nullopt;
    std::int64_t end = size - tagBytes;
    if (payload->bytes >= 0)
        end = std::min(end, start + payload->offset + payload->bytes);
    auto stream = analyseMpegAudio(std::string_view(head).substr(static_cast<size_t>(
                                       std::min<std::int64_t>(payload->offset, head.size()))),
                                   start + payload->offset, end, 0);
    if (!stream)
        return std::nullopt;
    file.stream = *stream;
    return file;
}

std::string kiloHertz(int rate)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g kHz", rate / 1000.0);
    return buf;
}

const char* channelModeName(int mode)
{
    switch (mode) {
    case 0:
        return "Stereo";
    case 1:
        return "Joint Stereo";
    case 2:
        return "Dual Channel";
    default:
        return "Mono";
    }
}

std::string mpegInformationText(const MpegStreamInfo* stream, const Id3v1Tag* tag,
                                bool viewFileInfo, const int* id3Flags)
{
    std::vector<std::string> items;
    if (viewFileInfo && stream) {
        const MpegFrameHeader& h = stream->first;
        char buf[160];
        std::snprintf(buf, sizeof buf, "MPEG %s Layer %d, %s%d kbps, %s, %s",
                      h.version == 3   ? "2.5"
                      : h.version == 2 ? "2"
                                       : "1",
                      h.layer, stream->vbr ? "VBR " : "", stream->averageKbps,
                      kiloHertz(h.sampleRate).c_str(), channelModeName(h.channelMode));
        items.push_back(buf);
    }
    if (tag && id3Flags) {
        const auto add = [&](Id3Item item, const char* label, const std::string& value) {
            if (id3Flags[item] && !value.empty())
                items.push_back(std::string(label) + " : " + value);
        };
        add(Id3Title, "Title", tag->title);
        add(Id3Artist, "Artist", tag->artist);
        add(Id3Album, "Album", tag->album);
        add(Id3Year, "Year", tag->year);
        add(Id3Comment, "Comment", tag->comment);
        add(Id3Genre, "Genre", id3GenreName(tag->genre));
    }
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty())
            text += "        ";
        text += item;
    }
    return text;
}

} // namespace engines
