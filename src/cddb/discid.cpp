#include "cddb/discid.h"

#include <algorithm>
#include <cstdio>

namespace {

// The digit sum of the decimal text of s taken as an unsigned 32-bit number, as the classic
// "%lu" formatting gives it; a start second of 0 adds nothing.
std::uint32_t digitSum(std::int32_t s)
{
    auto v = static_cast<std::uint32_t>(s);
    std::uint32_t sum = 0;
    while (v != 0) {
        sum += v % 10;
        v /= 10;
    }
    return sum;
}

} // namespace

void ComputeDiscId(const CddbAlbum& album, CddbDiscInfo& info)
{
    const int n = std::min(static_cast<int>(album.tracks.size()), CddbDiscInfo::kMaxTracks);
    info = CddbDiscInfo{};
    info.trackCount = n;
    for (int i = 0; i < n; ++i)
        info.frameOffsets[i] = album.tracks[static_cast<size_t>(i)].startFrame;
    info.discLength = album.discLengthMs / 1000;

    std::uint32_t sum = 0;
    std::uint32_t total = 0;
    for (int i = 0; i < n; ++i) {
        const std::int32_t s = info.frameOffsets[i] / 75;
        sum += digitSum(s);
        const std::int32_t next = i + 1 < n ? info.frameOffsets[i + 1] : album.discEndFrame;
        total += static_cast<std::uint32_t>(next / 75 - s);
    }
    info.discId = ((((sum % 255) << 16) | total) << 8) | static_cast<std::uint32_t>(n);
}

CddbAlbum CddbAlbumFromToc(const std::vector<std::int32_t>& offsets, std::int32_t leadOut)
{
    CddbAlbum album;
    album.discEndFrame = leadOut;
    album.discLengthMs = leadOut / 75 * 1000;
    for (size_t i = 0; i < offsets.size(); ++i) {
        CddbTrack track;
        track.startFrame = offsets[i];
        const std::int32_t next = i + 1 < offsets.size() ? offsets[i + 1] : leadOut;
        if (i + 1 < offsets.size())
            track.lengthMs = (next / 75 - offsets[i] / 75) * 1000;
        else
            track.lengthMs = album.discLengthMs - offsets[i] / 75 * 1000;
        album.tracks.push_back(track);
    }
    return album;
}

std::string CddbQueryCommand(const CddbDiscInfo& info)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "cddb query %08x %d ", info.discId, info.trackCount);
    std::string line = buffer;
    for (int i = 0; i < info.trackCount; ++i) {
        std::snprintf(buffer, sizeof buffer, "%d ", info.frameOffsets[i]);
        line += buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%d", info.discLength);
    line += buffer;
    return line;
}

std::string DiscIdText(std::uint32_t discId)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08x", discId);
    return buffer;
}
