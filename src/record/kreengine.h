#pragma once
// The RealAudio encoder engine, with the designed calls: Start a file from a profile and a clip
// record (texts and the source's wave format), Write PCM, Stop. It makes RealAudio 1.0 files:
// 14.4 sound (libavcodec's real_144 encoder), the one RealAudio codec with a free encoder, in
// our own .ra writer (realaudiofile.h).
//
// 14.4 is 8000 Hz mono: any 8- or 16-bit PCM source of one or two channels is resampled and
// mixed down to it (libswresample, through the converting writer) before encoding.
//
// Each thread has an encoder of its own, as the MP3 engine does, so the batch runs files side
// by side with the designed calls; RealAudioEncoderUse lends a thread another encoder.
//
// It promises: the file appears under its name only at Stop; a write the disk refuses fails the
// write, and Stop still names the frames written, so a partial file plays.

#include "record/realaudiofile.h"
#include "record/waveformat.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace record {

// The clip record: the texts written into the file, two flags (1, 1) and the source format.
struct RealAudioClip
{
    std::string title;
    std::string author;
    std::string copyright;
    std::int32_t flag1 = 1;
    std::int32_t flag2 = 1;
    WAVEFORMATEX format = MakePcmFormat(44100, 16, 2);
};

} // namespace record

// 1 on success; -1 when the source format cannot be converted or the encoder cannot be opened
// (the owner says "Can't initialize ACM Stream."); 0 when the file cannot be created. A
// profile out of range is taken as profile 0.
int KREEngine_Start(const std::string& path, int profile, const record::RealAudioClip& clip);
// Encodes PCM bytes of the started format (any count); 1 on success, 0 when nothing is started
// or the disk refused.
int KREEngine_Write(const std::uint8_t* bytes, int count);
// Encodes what is left, finishes the file and gives it its name; 1 on success.
int KREEngine_Stop();
int KREEngine_GetProfilesNum();
// The profiles' names, in their numbers' order.
std::vector<std::string> KREEngine_GetProfiles();

namespace record {

// Why the last Start or Write of this thread's encoder failed, for logs and kolvo-cli.
std::string realAudioEncoderError();

class RealAudioEncoder;
std::shared_ptr<RealAudioEncoder> makeRealAudioEncoder();
// While it lives, this thread's KREEngine_ calls work on `encoder`.
class RealAudioEncoderUse
{
public:
    explicit RealAudioEncoderUse(RealAudioEncoder* encoder);
    ~RealAudioEncoderUse();
    RealAudioEncoderUse(const RealAudioEncoderUse&) = delete;
    RealAudioEncoderUse& operator=(const RealAudioEncoderUse&) = delete;

private:
    RealAudioEncoder* m_previous;
};

} // namespace record
