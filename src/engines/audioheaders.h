#pragma once
// What the headers of WAVE and AIFF-C files say, for the two cases GStreamer 1.22 reads
// otherwise. Its WAVE reader times compressed WAVE from a byte rate of its own and ignores the
// "fact" chunk, so mono MS ADPCM comes out at about half its length; its AIFF reader takes only
// plain PCM and float AIFF-C ("NONE", "sowt", "fl32", "fl64") and calls every other kind
// (A-law, µ-law, IMA ADPCM, "twos", "in24"...) damaged, although libav's AIFF reader, also a
// GStreamer element, plays them.
//
// The readers look only at the bytes they are given, never past them, and take any bytes:
// what is not a header of the kind they read gives "nothing to say".

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace engines {

// How many first bytes of a file the readers want (the headers that come before the samples).
inline constexpr std::size_t kAudioHeadBytes = 64 * 1024;

// The length in ms of a WAVE file whose samples are compressed, from its header: the sample
// frames its "fact" chunk counts over its sample rate, when that agrees within a tenth with the
// "data" chunk's bytes over the stated byte rate; otherwise, for MS and IMA ADPCM, the samples
// of the data chunk's whole blocks and of its last part block. Nothing for PCM and float
// (whose length GStreamer gets right), for what is not a RIFF WAVE, or when the header does not
// tell. `fileSize` bounds a "data" chunk that claims more than the file holds.
std::optional<std::int64_t> compressedWaveLengthMs(std::span<const std::uint8_t> head,
                                                   std::uint64_t fileSize);

// True for an AIFF-C file whose "COMM" chunk names a kind of samples other than those
// GStreamer's AIFF reader takes: such a file is for libav's reader.
bool aiffcNeedsLibavReader(std::span<const std::uint8_t> head);

// What the two say of a local file, read from its first kAudioHeadBytes.
struct AudioHeaderFacts
{
    std::optional<std::int64_t> waveLengthMs;
    bool aiffcForLibav = false;
};
AudioHeaderFacts readAudioHeaderFacts(const std::string& path);

} // namespace engines
