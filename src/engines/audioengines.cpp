#include "engines/audioengines.h"

#include "albums/mediakind.h"

namespace engines {

std::vector<AudioEngine> audioEnginesFor(const std::string& path, bool mpaUseInternal,
                                         bool wavUseDirectShow)
{
    switch (MediaKindOf(AlbumKindAudio, path)) {
    case MediaKindMpegAudio:
        if (mpaUseInternal)
            return {AudioEngine::Mpeg, AudioEngine::Mci};
        return {AudioEngine::DirectShow, AudioEngine::Mci};
    case MediaKindRealAudio:
        return {AudioEngine::RealAudio};
    case MediaKindAiff:
    case MediaKindAu:
        return {AudioEngine::DirectShow, AudioEngine::Mci};
    case MediaKindWave:
        if (wavUseDirectShow)
            return {AudioEngine::DirectShow, AudioEngine::Mci};
        return {AudioEngine::Mci};
    default:
        return {AudioEngine::Mci};
    }
}

const char* audioEngineName(AudioEngine engine)
{
    switch (engine) {
    case AudioEngine::Mpeg:
        return "KMPEngine_";
    case AudioEngine::RealAudio:
        return "KRAEngine_";
    case AudioEngine::DirectShow:
        return "KAMEngine_";
    default:
        return "MCI";
    }
}

} // namespace engines
