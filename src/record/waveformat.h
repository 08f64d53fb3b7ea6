#pragma once
// Wave formats and blocks of PCM: the 18-byte WAVEFORMATEX record (with the extra bytes a
// compressed format carries), the two PCM format functions, `CWaveBlock` and the peak levels
// of a block. Plain data, no files and no threads.
//
// It promises: a format serialises to exactly 18 + cbSize bytes, little-endian, and reads back
// from them; the PCM functions compute block align and byte rate as the recorder expects.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace record {

// Format tags of the WAVE files the writer produces.
enum WaveTag : std::uint16_t {
    kTagPcm = 0x0001,
    kTagMsAdpcm = 0x0002,
    kTagALaw = 0x0006,
    kTagMuLaw = 0x0007,
    kTagImaAdpcm = 0x0011,
    kTagGsm610 = 0x0031,
    kTagMpegLayer3 = 0x0055,
};

struct WAVEFORMATEX
{
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    // cbSize is extra.size() when written.
    std::vector<std::uint8_t> extra;

    bool operator==(const WAVEFORMATEX&) const = default;

    // 18 bytes, then the extra bytes.
    std::vector<std::uint8_t> bytes() const;
    // From 16 bytes (PCM part only) or 18 + cbSize bytes; false when too short.
    static bool fromBytes(std::span<const std::uint8_t> data, WAVEFORMATEX& out);
};

constexpr size_t kWaveFormatBytes = 18;

// Tag 1; block align = ((bits - 1) / 8 + 1) * channels; bytes per second = block align * rate.
WAVEFORMATEX MakePcmFormat(std::uint32_t rate, int bits, int channels);
// As MakePcmFormat, but bits other than 8 or 16 become 16 and channels other than 1 or 2 become 2.
WAVEFORMATEX MakeRecordingPcmFormat(std::uint32_t rate, int bits, int channels);

// "PCM 44100 Hz, 16 bits, stereo" and the like, for logs and kolvo-cli.
std::string describeFormat(const WAVEFORMATEX& format);

// A block of PCM held in memory.
class CWaveBlock
{
public:
    CWaveBlock() = default;
    CWaveBlock(const CWaveBlock&) = delete;
    CWaveBlock& operator=(const CWaveBlock&) = delete;
    ~CWaveBlock() { Reset(); }

    // Takes the bytes; the block owns them.
    void Assign(std::vector<std::uint8_t> bytes);
    // Points at bytes someone else keeps alive; the block does not own them.
    void Borrow(const std::uint8_t* data, std::int32_t size);
    // Frees owned data; pointer and size become 0.
    void Reset();

    const std::uint8_t* data() const { return m_data; }
    std::int32_t size() const { return m_size; }
    bool owns() const { return m_owns; }

private:
    std::vector<std::uint8_t> m_storage;
    const std::uint8_t* m_data = nullptr;
    std::int32_t m_size = 0;
    bool m_owns = true;
};

struct PeakLevels
{
    int left = 0;
    int right = 0;
};

// The loudest sample per channel of a block, walked in sample pairs whatever the channel
// count: 8 bits as |b - 128| * 256, 16 bits as |s| (so at most 32768); other depths give 0.
// For mono both become the larger of the two.
PeakLevels PeakLevelsOf(const WAVEFORMATEX& format, const std::uint8_t* bytes, size_t count);

} // namespace record
