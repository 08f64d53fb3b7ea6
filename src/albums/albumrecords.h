#pragma once
// The byte forms of an album's streams in the album database: "AlbumInfo.inf" (one record of
// fields each followed by 0x0C, the artist by 0x0A, then a NUL), "TrackInfo.inf" (one line per
// song, then a NUL) and "PlayList.inf" (32-bit little-endian song numbers). The readers are
// lenient the designed way; text that is not valid UTF-8 is decoded with the legacy code page.

#include "albums/album.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace albumrecords {

struct AlbumInfo
{
    std::string title;
    std::string extendedInfo;
    std::string genre;
    int32_t discLengthMs = 0;
    int32_t discEndFrame = 0;
    int32_t songCount = 0;
    int32_t revision = 0;
    std::string artist;
};

// Fields whose separator is missing keep their value in `info` (strings) or become 0.
void parseAlbumInfo(std::string_view bytes, AlbumInfo& info);
std::string formatAlbumInfo(const AlbumInfo& info);

// Songs in order (number left 0); a line with three fields has startFrame 0, a line with one or
// two has only the title, or the title and the extended text.
std::vector<SongEntry> parseTrackInfo(std::string_view bytes);
std::string formatTrackInfo(const std::vector<SongEntry>& songs);

std::vector<int32_t> parsePlayList(std::string_view bytes);
std::string formatPlayList(const std::vector<int32_t>& program);

// A text as it can be stored in a record: 0x0C would end the field and 0x0A the line, so a
// form feed becomes a blank, a line feed a CR (the designed line break inside album texts) and
// a NUL a blank.
std::string storable(std::string_view text);

} // namespace albumrecords
