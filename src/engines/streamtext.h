#pragma once
// Information texts of decoded streams, for the engines whose files GStreamer describes.

#include "engines/mediaplayer.h"

#include <string>

namespace engines {

// "WAV, Uncompressed 16-bit PCM audio, 44.1 kHz, 16 bit, Stereo, 1411 kbps": the items the
// stream has, joined by ", ".
std::string describeStream(const StreamInfo& info);
// "Mono", "Stereo", "6 channels".
std::string channelsName(int channels);

} // namespace engines
