#pragma once
// CAcmWaveWriter: converts PCM to the format of a WAVE file and writes the file. Between equal
// PCM formats the bytes pass through unchanged; other PCM formats are resampled and rematrixed
// with libswresample; the compressed format tags (A-law, mu-law, IMA and MS ADPCM, GSM 6.10,
// MPEG Layer 3) are encoded with libavcodec. Those libraries are opened at the first conversion
// or compressed format, not at the program's start; without them both are refused. The RIFF is
// written by RiffWaveWriter, so the file is valid whatever happens and appears under its name
// only when finished.
//
// Source bytes that do not make a whole sample frame, or a whole encoder block, wait in the
// writer for the next write or the flush. A write after the file reached its 4 GiB limit or
// after the disk refused returns 0; the file keeps what was written before.

#include "record/wavefile.h"
#include "record/waveformat.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace record {

// The full destination format of a tag as this writer produces it (block align, byte rate and
// the extra bytes its readers expect). `kbps` matters for MPEG Layer 3 only, `bits` for PCM
// only. False with the reason when the tag cannot take the rate or channels (GSM 6.10 is
// 8000 Hz mono; MPEG Layer 3 takes the MPEG sample rates) or the tag is not one it writes.
bool makeDestinationFormat(std::uint16_t tag, std::uint32_t rate, int channels, int bits, int kbps,
                           WAVEFORMATEX& out, std::string* why = nullptr);
// The tags it writes, in the order the format lists show them.
const std::vector<std::uint16_t>& writableWaveTags();

class CAcmWaveWriter
{
public:
    CAcmWaveWriter();
    explicit CAcmWaveWriter(RiffWaveWriter::Options options);
    ~CAcmWaveWriter(); // finishes an open file
    CAcmWaveWriter(const CAcmWaveWriter&) = delete;
    CAcmWaveWriter& operator=(const CAcmWaveWriter&) = delete;

    // Closes what was open, then prepares the conversion; 1 on success, 0 when the formats
    // cannot be converted (the owner says "Can't initialize ACM Stream.").
    int openConverter(const WAVEFORMATEX& source, const WAVEFORMATEX& destination);
    // Starts the file; 1 on success.
    int createFile(const std::string& path, const WAVEFORMATEX& destination);
    // Converts the bytes and writes them to the file when one is open. position -1: the first
    // write, 0: any other, 1: the last (the converter empties itself). `out` (may be null)
    // receives the converted bytes. 1 when everything converted was written.
    int write(const std::uint8_t* source, size_t length, std::vector<std::uint8_t>* out,
              size_t* outLength, int position);
    // A write of nothing as the last one.
    int flush();
    // Fills in the sizes and gives the file its name; 1 on success.
    int finishFile();
    // Finishes an open file and releases the converter.
    void close();

    bool limitReached() const { return m_file.limitReached(); }
    bool diskFailed() const { return m_file.failed(); }
    const std::string& fileError() const { return m_file.error(); }
    size_t pendingBytes() const { return m_pending.size(); }

private:
    struct Codec;
    bool convert(bool last, std::vector<std::uint8_t>& out);

    RiffWaveWriter m_file;
    std::unique_ptr<Codec> m_codec; // none: the same PCM passes through
    WAVEFORMATEX m_source;
    WAVEFORMATEX m_destination;
    std::vector<std::uint8_t> m_pending;
    std::uint64_t m_framesOut = 0;
};

} // namespace record
