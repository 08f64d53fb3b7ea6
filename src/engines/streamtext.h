#pragma once
// Information texts of decoded streams, for the engines whose files GStreamer describes.

#include "engines/mediaplayer.h"

#include <string>

namespace engines {

// "WAV, Uncompressed 16-bit PCM audio, 44.1 kHz, 16 bit, Stereo, 1411 kbps": the items the
// stream has, joined by ", ".
std::string describeStream(const StreamInfo& info);
// Whether the stream is plain PCM, whose sample width and bit rate say what the file holds;
// a compressed stream decodes to whatever width the decoder likes (32-bit float for Vorbis).
bool isPcmStream(const StreamInfo& info);
// "Mono", "Stereo", "6 channels".
std::string channelsName(int channels);

} // namespace engines
