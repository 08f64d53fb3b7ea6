#pragma once
// Which engines the Digital Audio Player tries for a file, in order: the MPEG engine for MPEG
// audio when "MPAUseInternal" is on, the RealAudio engine for RealAudio, the general file
// engine for AIFF, AU, WAV (when "WAVUseDirectShow" is on) and MPEG audio (when the internal
// engine is off), and the MCI device for everything else and as the last resort.

#include <string>
#include <vector>

namespace engines {

enum class AudioEngine { Mpeg, RealAudio, DirectShow, Mci };

std::vector<AudioEngine> audioEnginesFor(const std::string& path, bool mpaUseInternal,
                                         bool wavUseDirectShow);
// "KMPEngine_", "KRAEngine_", "KAMEngine_", "MCI".
const char* audioEngineName(AudioEngine engine);

} // namespace engines
