#pragma once
// What a media file says about itself: title, artist, album, track number, length and the
// picture it carries (a cover), read by GStreamer's discoverer so that every format the
// players take is covered the same way. Used where Kolvo tells the desktop what plays.
// Reading blocks for at most the given time; call it off the user-interface thread.

#include <cstdint>
#include <string>
#include <vector>

namespace engines {

struct MediaTags
{
    std::string title;
    std::string artist;
    std::string album;
    int trackNumber = 0; // 0: not known
    std::int64_t lengthMs = 0;
    // The cover picture's encoded bytes (JPEG, PNG ...) and its MIME type; empty without one.
    // A front cover is taken before any other picture.
    std::vector<std::uint8_t> image;
    std::string imageType;
};

// Empty tags when the file cannot be read (a missing file, no demuxer, the time ran out).
MediaTags readMediaTags(const std::string& path, int timeoutMs = 3000);

// The file name extension that goes with a picture's MIME type ("jpg" for image/jpeg);
// "img" for one it does not know.
std::string imageExtension(const std::string& mimeType);

} // namespace engines
