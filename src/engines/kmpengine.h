#pragma once
// KMPEngine_: the MPEG audio engine (MPEG-1, 2 and 2.5, layers 1 to 3), for local files and
// http streams. It holds one open file at a time; Play opens and starts in one call and Stop
// ends the playback. Notifications are message 0x7DE with the play cookie: event 1 with 526
// when the sound starts (the length is known then), event 1 with 525 at the end, event 2 when
// playback fails. Play answers 9550 for a stream, whose open completes later.

#include "platform/messages.h"

#include <chrono>
#include <cstdint>
#include <string>

// wavOutputDir and streamOutputDir are 256-byte buffers; an empty one is filled with the
// folder the engine used.
std::int32_t KMPEngine_Play(HWND window, const char* path, int cookie, char* wavOutputDir,
                            int wavOutputAutomaticNaming, char* streamOutputDir);
std::int32_t KMPEngine_Stop();
std::int32_t KMPEngine_Pause();
std::int32_t KMPEngine_Resume();
std::int32_t KMPEngine_Seek(int ms);
std::int32_t KMPEngine_GetPosition();
std::int32_t KMPEngine_GetLength();
std::int32_t KMPEngine_GetMode();
std::int32_t KMPEngine_IsOpen();
// id3Flags: the six ViewID3Tag* settings (title, artist, album, year, comment, genre).
std::int32_t KMPEngine_GetFileInfo(char* buffer, int size, int viewFileInfo, const int* id3Flags);
// 20 band values 0..100 of what the digital audio player sounds; nonzero when filled.
std::int32_t KMPEngine_GetSpectrum(std::int32_t* buffer, int flags);
// 0 stereo, 1 left, 2 right, 3 mono (both mixed).
std::int32_t KMPEngine_SetChannel(int channel);
// 0 full sample rate, 1 at most 24 kHz, 2 at most 12 kHz.
std::int32_t KMPEngine_SetQuality(int quality);
// outputType 0 sound card, 1 WAVE file, 2 both; bufferCount in 20 ms units; priority 0..2 of
// the decoding threads; saveStream: streams are also written to the stream output folder.
std::int32_t KMPEngine_SetOutputOptions(int outputType, int bufferCount, int priority,
                                        int saveStream);
// 0 mpg123, 1 libavcodec.
std::int32_t KMPEngine_SetEngine(int engine);
// Gain = value / 32768; agc nonzero: automatic gain control keeps the sound from clipping.
std::int32_t KMPEngine_SetScale(int agc, int value);
std::int32_t KMPEngine_SetEffect(int reverb, int reverbMode, int reverbDepth, int chorus,
                                 int chorusDepth, int wide, int wideDepth, int fx, int fxMode);
// Twenty band gains in dB (-12..12).
std::int32_t KMPEngine_SetEqualizer(const int* bands);

namespace engines {
// For benchmarks and tests: when the last Play's first buffer reached the sink (the epoch when
// none has); whether the optional effects have joined its chain.
std::chrono::steady_clock::time_point mpegFirstBufferAt();
bool mpegChainHasReverb();
bool mpegChainHasPitch();
// The decoder GStreamer chose for the last Play ("mpg123audiodec", "avdec_mp3"...), and the
// sound card sink's buffer in ms (0 when there is none).
std::string mpegDecoderName();
int mpegSinkBufferMs();
// The file the last Play writes the sound to (output types 1 and 2), and the stream copy.
std::string mpegWavOutputPath();
std::string mpegStreamCopyPath();
} // namespace engines
