#pragma once
// WAVE files: the two readers (the whole "data" chunk into memory, or a source positioned at
// the first sample) and the RIFF writer every recorder, copier and converter writes through.
//
// The readers take 16-bit PCM only (format tag 1), as the encoders and the copy expect. They
// walk the chunks to the end of the file whatever the RIFF size says; a "data" chunk longer
// than the file is refused unless its size is one of the placeholders streaming writers leave
// (0 or 0xFFFFFFFF), which stand for "to the end of the file". The size given is always a
// whole number of sample frames and never more than the file holds.
//
// The writer promises that the final name never holds a half-written file: it writes a
// temporary file beside it and renames it when finished. What it finishes is always a valid
// WAVE file: after a failed write (a full disk) it holds the whole blocks that reached the
// disk, and it stops before the RIFF sizes would pass 4 GiB.

#include "record/waveformat.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace record {

// Reads the whole "data" chunk; nothing when the file cannot be read, is not 16-bit PCM, lacks
// a chunk or is short.
std::optional<std::vector<std::uint8_t>> readWaveFile(const std::string& path,
                                                      WAVEFORMATEX& format);

// An open WAVE file positioned at its first sample byte.
class WaveSource
{
public:
    ~WaveSource();
    WaveSource(const WaveSource&) = delete;
    WaveSource& operator=(const WaveSource&) = delete;

    // Up to `count` bytes of the samples; 0 at the end of the data (or on a read error).
    size_t read(std::uint8_t* buffer, size_t count);
    std::uint32_t dataSize() const { return m_dataSize; }
    std::uint32_t bytesRead() const { return m_done; }

private:
    friend std::unique_ptr<WaveSource> openWaveFile(const std::string&, WAVEFORMATEX&,
                                                    std::uint32_t&);
    WaveSource() = default;
    int m_fd = -1;
    std::uint32_t m_dataSize = 0;
    std::uint32_t m_done = 0;
};

// Opens the file for reading, positioned at its samples: the format and the data size, or
// nothing under the same conditions as readWaveFile.
std::unique_ptr<WaveSource> openWaveFile(const std::string& path, WAVEFORMATEX& format,
                                         std::uint32_t& dataSize);

// Where the samples of a WAVE file lie, as the readers find them; false with the reason when
// the file is not one they read. Exposed for kolvo-cli and the tests.
struct WaveLayout
{
    WAVEFORMATEX format;
    std::uint64_t dataOffset = 0;
    std::uint32_t dataSize = 0;
};
bool inspectWaveFile(const std::string& path, WaveLayout& layout, std::string* why = nullptr);

// The largest RIFF size field the writer lets a file reach.
constexpr std::uint64_t kRiffLimit = 0xFFFFFFFFull;

class RiffWaveWriter
{
public:
    enum class WriteResult {
        Written,      // every byte is in the file
        LimitReached, // the file is full (RIFF's 4 GiB): what fitted was written
        Failed,       // the disk refused (full, gone): the file keeps what reached it
    };

    struct Options
    {
        // The RIFF size the file must stay within; lower only to test the limit.
        std::uint64_t riffLimit = kRiffLimit;
    };

    RiffWaveWriter() = default;
    explicit RiffWaveWriter(Options options)
        : m_options(options)
    {}
    RiffWaveWriter(const RiffWaveWriter&) = delete;
    RiffWaveWriter& operator=(const RiffWaveWriter&) = delete;
    // Finishes an open file.
    ~RiffWaveWriter();

    // Starts a temporary file beside `path` with the RIFF, "fmt " (18 + extra bytes), for a
    // compressed format a "fact", and an empty "data" chunk. False with errno-style reason.
    bool create(const std::string& path, const WAVEFORMATEX& format);
    bool isOpen() const { return m_fd >= 0; }

    // Appends sample bytes. After LimitReached or Failed nothing more is written.
    WriteResult write(const std::uint8_t* bytes, size_t count);
    // The sample frames a compressed file holds (its "fact" chunk); PCM files ignore it.
    void setSampleFrames(std::uint32_t frames) { m_sampleFrames = frames; }

    // Fills in the sizes, cuts off any partial block and renames the file to its final name.
    bool finish();
    // Removes the temporary file; the final name is left as it was.
    void abandon();

    std::uint64_t dataBytes() const { return m_dataOnDisk + m_buffer.size(); }
    bool failed() const { return m_failed; }
    bool limitReached() const { return m_limitReached; }
    // The reason of the last failure (strerror text).
    const std::string& error() const { return m_error; }
    const std::string& path() const { return m_path; }
    const std::string& temporaryPath() const { return m_tempPath; }

private:
    bool flushBuffer();
    bool writeAt(std::uint64_t offset, const std::vector<std::uint8_t>& bytes);

    Options m_options;
    int m_fd = -1;
    std::string m_path;
    std::string m_tempPath;
    std::uint16_t m_blockAlign = 1;
    std::uint64_t m_headerBytes = 0;
    std::uint64_t m_factOffset = 0; // 0 when there is no "fact" chunk
    std::uint64_t m_dataOnDisk = 0;
    std::uint32_t m_sampleFrames = 0;
    std::vector<std::uint8_t> m_buffer;
    bool m_failed = false;
    bool m_limitReached = false;
    std::string m_error;
};

} // namespace record
