#include "engines/streamtext.h"

#include "engines/mpegaudio.h"

#include <vector>

namespace engines {

std::string channelsName(int channels)
{
    if (channels == 1)
        return "Mono";
    if (channels == 2)
        return "Stereo";
    return std::to_string(channels) + " channels";
}

bool isPcmStream(const StreamInfo& info)
{
    // Plain PCM containers often name no codec at all.
    return info.codec.empty() || info.codec.find("PCM") != std::string::npos ||
           info.codec.find("Uncompressed") != std::string::npos;
}

std::string describeStream(const StreamInfo& info)
{
    std::vector<std::string> items;
    if (!info.container.empty())
        items.push_back(info.container);
    if (!info.codec.empty())
        items.push_back(info.codec);
    if (info.rate > 0)
        items.push_back(kiloHertz(info.rate));
    if (isPcmStream(info) && info.bits > 0)
        items.push_back(std::to_string(info.bits) + " bit");
    if (info.channels > 0)
        items.push_back(channelsName(info.channels));
    if (info.bitrate > 0)
        items.push_back(std::to_string((info.bitrate + 500) / 1000) + " kbps");
    std::string text;
    for (const auto& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

} // namespace engines
