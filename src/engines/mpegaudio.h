#pragma once
// MPEG audio files as the MPEG engine describes them: the first frame header (version, layer,
// bit rate, sample rate, channel mode), a Xing/Info or VBRI header of variable bit rate files,
// the length, and the ID3 version 1 tag at the end.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engines {

struct MpegFrameHeader
{
    int version = 0; // 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
    int layer = 0;   // 1, 2, 3
    int bitrateKbps = 0;
    int sampleRate = 0;
    int channelMode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    bool padding = false;
    int frameBytes = 0;
    int samplesPerFrame = 0;
};

// Reads the four bytes of a frame header; false for anything that is not a usable header
// (free-format bit rates included).
bool parseMpegFrameHeader(const unsigned char* p, MpegFrameHeader& header);

struct MpegStreamInfo
{
    MpegFrameHeader first;
    std::int64_t audioStart = 0; // offset of the first frame in the file
    bool vbr = false;
    std::int64_t frames = 0; // from the VBR header; 0 when unknown
    int averageKbps = 0;
    std::int64_t durationMs = 0; // 0 when unknown (a stream)
};

// Finds the first frame in `head` (the first bytes of a file or stream, starting at file offset
// `headOffset`) that is followed by a consistent second frame, and reads a VBR header from it.
// fileSize < 0: a stream of unknown size. `tagBytes`: bytes at the end that are not audio.
std::optional<MpegStreamInfo> analyseMpegAudio(std::string_view head, std::int64_t headOffset,
                                               std::int64_t fileSize, std::int64_t tagBytes);

// Where the MPEG audio in a file's first bytes (after any ID3 version 2 tag) lies: a plain MPEG
// audio stream from the start, or the data chunk of a RIFF/WAVE file whose format tag is MPEG
// (0x50) or MPEG Layer 3 (0x55). nullopt for any other container or codec (PCM WAVE, AIFF, AU,
// Ogg, FLAC, MP4, MIDI, modules, ...): their samples can hold what looks like MPEG frames, and
// the frame scan must not be run over them.
struct MpegPayload
{
    std::int64_t offset = 0;
    std::int64_t bytes = -1; // -1: to the end of the file
};
std::optional<MpegPayload> findMpegPayload(std::string_view head);

// ID3 version 1: the last 128 bytes of the file when they start with "TAG". Text is decoded
// as UTF-8 when valid, else from the legacy code page, and trimmed.
struct Id3v1Tag
{
    std::string title, artist, album, year, comment;
    int track = 0;  // ID3 v1.1
    int genre = -1; // -1 none
};
std::optional<Id3v1Tag> parseId3v1(std::string_view last128);
// The genre's name, "" when the number has none.
std::string id3GenreName(int genre);

// A whole file: skips an ID3 version 2 tag, reads the frames and the ID3v1 tag. nullopt for a
// file that holds no MPEG audio (findMpegPayload).
struct MpegFile
{
    MpegStreamInfo stream;
    std::optional<Id3v1Tag> tag;
};
std::optional<MpegFile> readMpegFile(const std::string& path);

// The order and flags of the six ID3 items the information text may show.
enum Id3Item { Id3Title = 0, Id3Artist, Id3Album, Id3Year, Id3Comment, Id3Genre, Id3ItemCount };

// "MPEG 1 Layer 3, 128 kbps, 44.1 kHz, Joint Stereo" when viewFileInfo is set, then the ID3
// items chosen by the flags ("Title : ..."), joined by eight spaces.
std::string mpegInformationText(const MpegStreamInfo* stream, const Id3v1Tag* tag,
                                bool viewFileInfo, const int* id3Flags);
// "44.1 kHz", "22.05 kHz", "8 kHz".
std::string kiloHertz(int rate);
const char* channelModeName(int mode);

} // namespace engines
