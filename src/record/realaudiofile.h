#pragma once
// RealAudio 1.0 files (.ra, version 3): the file our 14.4 encoder writes its frames into.
// libavformat's muxer is not used: it marks 14.4 sound with a code GStreamer's demuxer does
// not read, so a file it made would not play in our own players.
//
// The layout: ".ra" and 0xFD, the version (3), the size of the header from the next byte on,
// ten bytes of which the ninth and tenth hold the bytes per minute, the size of the sound
// data, the title, author, copyright and comment as length-prefixed texts, a zero byte and the
// codec's four letters "lpcJ"; then the 20-byte frames of 160 samples at 8000 Hz, mono.
//
// It promises what the WAVE writer promises: the final name never holds a half-written file
// (a temporary file beside it is renamed when finished), and what it finishes is a valid file
// that holds the whole frames that reached the disk, even after the disk refused a write.

#include <cstdint>
#include <string>

namespace record {

constexpr std::uint32_t kRa144Rate = 8000;
constexpr int kRa144FrameSamples = 160;
constexpr int kRa144FrameBytes = 20;

struct RealAudioTexts
{
    std::string title;
    std::string author;
    std::string copyright;
};

class RealAudioFileWriter
{
public:
    RealAudioFileWriter() = default;
    ~RealAudioFileWriter(); // finishes an open file
    RealAudioFileWriter(const RealAudioFileWriter&) = delete;
    RealAudioFileWriter& operator=(const RealAudioFileWriter&) = delete;

    // Starts the file (texts longer than 255 bytes are cut); false with error() when the
    // folder refuses it.
    bool create(const std::string& path, const RealAudioTexts& texts);
    // Appends whole 14.4 frames (a multiple of 20 bytes); false once the disk refused.
    bool write(const std::uint8_t* frames, size_t length);
    // Fills in the data size and gives the file its name; false when that failed.
    bool finish();

    bool isOpen() const { return m_fd >= 0; }
    bool failed() const { return m_failed; }
    const std::string& error() const { return m_error; }
    std::uint32_t dataBytes() const { return m_dataBytes; }

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_tempPath;
    std::string m_error;
    std::uint32_t m_dataSizeAt = 0;
    std::uint32_t m_dataStart = 0;
    std::uint32_t m_dataBytes = 0;
    bool m_failed = false;
};

} // namespace record
