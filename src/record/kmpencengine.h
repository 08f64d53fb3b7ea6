#pragma once
// The MPEG Layer 3 encoder engine over LAME (libmp3lame), with the designed calls: open a file
// from a wave format and a bit rate (OpenWFX) or from one of its profiles (OpenProfile), write
// PCM, flush, close.
//
// Each thread has an encoder of its own: the calls a thread makes work on its encoder, so a
// batch encodes files side by side on several threads with the designed calls unchanged
// (MpegEncoderUse lends a thread another encoder).
//
// It promises: the MP3 appears under its name only at Close (it is written beside it first),
// carries LAME's information frame (length and gapless playback) and, when one was given, an
// ID3v1 tag. A write the disk refuses fails the write; Close still gives the frames written
// their name, so a partial file is a playable one.

#include "albums/id3tag.h"
#include "record/waveformat.h"

#include <memory>
#include <string>
#include <vector>

// 1 on success; 0 when the format is not 16-bit PCM of one or two channels at a rate MPEG
// audio has, or the bit rate is not an MPEG one; -1 when the file cannot be created.
int KMPEncEngine_OpenWFX(const std::string& path, const record::WAVEFORMATEX& format, int kbps);
// Opens for 44.1 kHz, 16-bit stereo (a CD's sound) with profile `profile`; as OpenWFX.
int KMPEncEngine_OpenProfile(const std::string& path, int profile);
// Encodes PCM bytes of the opened format (any count: a partial sample frame waits for the
// next call); 1 on success, 0 when nothing is open or the disk refused the MP3.
int KMPEncEngine_Write(const std::uint8_t* bytes, int count);
// Encodes what LAME still holds.
int KMPEncEngine_Flush();
// Finishes the file (information frame, tag) and gives it its name; 1 on success.
int KMPEncEngine_Close();
int KMPEncEngine_GetProfilesNum();
// The profiles' names, in their numbers' order.
std::vector<std::string> KMPEncEngine_GetProfiles();

namespace record {

// The encoder profiles for CD sound.
struct MpegProfile
{
    const char* name;
    int kbps;     // 0: variable bit rate
    int vbrLevel; // LAME's -V level when kbps is 0
    bool mono;
};
const std::vector<MpegProfile>& mpegProfiles();

// The bit rates MPEG-1 Layer 3 has, as the encoding options offer them.
bool isMpegBitRate(int kbps);

// The tag the next encoder this thread opens appends when it closes.
void setMpegEncoderTag(const Id3Tag& tag);

// An encoder of one's own, for work whose calls run on more than one thread (the CD copy opens
// on one thread and writes on another): while a MpegEncoderUse lives, this thread's calls work
// on that encoder.
class MpegEncoder;
std::shared_ptr<MpegEncoder> makeMpegEncoder();
class MpegEncoderUse
{
public:
    explicit MpegEncoderUse(MpegEncoder* encoder);
    ~MpegEncoderUse();
    MpegEncoderUse(const MpegEncoderUse&) = delete;
    MpegEncoderUse& operator=(const MpegEncoderUse&) = delete;

private:
    MpegEncoder* m_previous;
};

} // namespace record
