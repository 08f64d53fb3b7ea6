#include "record/waveformat.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace record {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, static_cast<std::uint16_t>(v));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

std::uint16_t get16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t get32(const std::uint8_t* p)
{
    return get16(p) | static_cast<std::uint32_t>(get16(p + 2)) << 16;
}

} // namespace

std::vector<std::uint8_t> WAVEFORMATEX::bytes() const
{
    std::vector<std::uint8_t> out;
    out.reserve(kWaveFormatBytes + extra.size());
    put16(out, wFormatTag);
    put16(out, nChannels);
    put32(out, nSamplesPerSec);
    put32(out, nAvgBytesPerSec);
    put16(out, nBlockAlign);
    put16(out, wBitsPerSample);
    put16(out, static_cast<std::uint16_t>(extra.size()));
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

bool WAVEFORMATEX::fromBytes(std::span<const std::uint8_t> data, WAVEFORMATEX& out)
{
    if (data.size() < 16)
        return false;
    WAVEFORMATEX f;
    const std::uint8_t* p = data.data();
    f.wFormatTag = get16(p);
    f.nChannels = get16(p + 2);
    f.nSamplesPerSec = get32(p + 4);
    f.nAvgBytesPerSec = get32(p + 8);
    f.nBlockAlign = get16(p + 12);
    f.wBitsPerSample = get16(p + 14);
    if (data.size() >= kWaveFormatBytes) {
        const size_t cb = get16(p + 16);
        if (data.size() < kWaveFormatBytes + cb)
            return false;
        f.extra.assign(p + kWaveFormatBytes, p + kWaveFormatBytes + cb);
    }
    out = std::move(f);
    return true;
}

WAVEFORMATEX MakePcmFormat(std::uint32_t rate, int bits, int channels)
{
    WAVEFORMATEX f;
    f.wFormatTag = kTagPcm;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = static_cast<std::uint16_t>(bits);
    f.nBlockAlign = static_cast<std::uint16_t>(((bits - 1) / 8 + 1) * channels);
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    return f;
}

WAVEFORMATEX MakeRecordingPcmFormat(std::uint32_t rate, int bits, int channels)
{
    if (bits != 8 && bits != 16)
        bits = 16;
    if (channels != 1 && channels != 2)
        channels = 2;
    return MakePcmFormat(rate, bits, channels);
}

std::string describeFormat(const WAVEFORMATEX& f)
{
    std::string tag;
    switch (f.wFormatTag) {
    case kTagPcm:
        tag = "PCM";
        break;
    case kTagMsAdpcm:
        tag = "MS ADPCM";
        break;
    case kTagALaw:
        tag = "A-law";
        break;
    case kTagMuLaw:
        tag = "mu-law";
        break;
    case kTagImaAdpcm:
        tag = "IMA ADPCM";
        break;
    case kTagGsm610:
        tag = "GSM 6.10";
        break;
    case kTagMpegLayer3:
        tag = "MPEG Layer 3";
        break;
    default:
        tag = "format " + std::to_string(f.wFormatTag);
        break;
    }
    std::string text = tag + " " + std::to_string(f.nSamplesPerSec) + " Hz";
    if (f.wBitsPerSample)
        text += ", " + std::to_string(f.wBitsPerSample) + " bits";
    text += f.nChannels == 1   ? ", mono"
            : f.nChannels == 2 ? ", stereo"
                               : ", " + std::to_string(f.nChannels) + " channels";
    return text;
}

void CWaveBlock::Assign(std::vector<std::uint8_t> bytes)
{
    Reset();
    m_storage = std::move(bytes);
    m_data = m_storage.data();
    m_size = static_cast<std::int32_t>(m_storage.size());
    m_owns = true;
}

void CWaveBlock::Borrow(const std::uint8_t* data, std::int32_t size)
{
    Reset();
    m_data = data;
    m_size = size;
    m_owns = false;
}

void CWaveBlock::Reset()
{
    if (m_owns)
        std::vector<std::uint8_t>().swap(m_storage);
    m_data = nullptr;
    m_size = 0;
    m_owns = true;
}

PeakLevels PeakLevelsOf(const WAVEFORMATEX& format, const std::uint8_t* bytes, size_t count)
{
    PeakLevels peak;
    if (format.wBitsPerSample == 8) {
        for (size_t i = 0; i + 1 < count; i += 2) {
            peak.left = std::max(peak.left, std::abs(bytes[i] - 128));
            peak.right = std::max(peak.right, std::abs(bytes[i + 1] - 128));
        }
        peak.left *= 256;
        peak.right *= 256;
    } else if (format.wBitsPerSample == 16) {
        for (size_t i = 0; i + 3 < count; i += 4) {
            const auto s0 = static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8);
            const auto s1 = static_cast<std::int16_t>(bytes[i + 2] | bytes[i + 3] << 8);
            peak.left = std::max(peak.left, std::abs(static_cast<int>(s0)));
            peak.right = std::max(peak.right, std::abs(static_cast<int>(s1)));
        }
    } else {
        return peak;
    }
    if (format.nChannels == 1)
        peak.left = peak.right = std::max(peak.left, peak.right);
    return peak;
}

} // namespace record
