#include "albums/mediakind.h"

#include <array>
#include <cctype>
#include <string>

namespace {

struct ExtensionKind
{
    AlbumKind album;
    const char* extension;
    MediaKind kind;
};

constexpr std::array kExtensions{
    ExtensionKind{AlbumKindAudio, "aif", MediaKindAiff},
    ExtensionKind{AlbumKindAudio, "aifc", MediaKindAiff},
    ExtensionKind{AlbumKindAudio, "aiff", MediaKindAiff},
    ExtensionKind{AlbumKindAudio, "wav", MediaKindWave},
    ExtensionKind{AlbumKindAudio, "au", MediaKindAu},
    ExtensionKind{AlbumKindAudio, "snd", MediaKindAu},
    ExtensionKind{AlbumKindAudio, "mp1", MediaKindMpegAudio},
    ExtensionKind{AlbumKindAudio, "m1s", MediaKindMpegAudio},
    ExtensionKind{AlbumKindAudio, "mp2", MediaKindMpegAudio},
    ExtensionKind{AlbumKindAudio, "m2s", MediaKindMpegAudio},
    ExtensionKind{AlbumKindAudio, "mp3", MediaKindMpegAudio},
    ExtensionKind{AlbumKindAudio, "mpa", MediaKindMpegAudio},
    ExtensionKind{AlbumKindAudio, "ra", MediaKindRealAudio},
    ExtensionKind{AlbumKindAudio, "ram", MediaKindRealAudio},
    ExtensionKind{AlbumKindAudio, "rm", MediaKindRealAudio},
    ExtensionKind{AlbumKindAudio, "ogg", MediaKindCompressedAudio},
    ExtensionKind{AlbumKindAudio, "oga", MediaKindCompressedAudio},
    ExtensionKind{AlbumKindAudio, "flac", MediaKindCompressedAudio},
    ExtensionKind{AlbumKindAudio, "opus", MediaKindCompressedAudio},
    ExtensionKind{AlbumKindAudio, "m4a", MediaKindCompressedAudio},
    ExtensionKind{AlbumKindAudio, "aac", MediaKindCompressedAudio},
    ExtensionKind{AlbumKindAudio, "wma", MediaKindCompressedAudio},
    ExtensionKind{AlbumKindAudio, "wv", MediaKindCompressedAudio},
    ExtensionKind{AlbumKindMidi, "mid", MediaKindMidi},
    ExtensionKind{AlbumKindMidi, "rmi", MediaKindMidi},
    ExtensionKind{AlbumKindMidi, "kar", MediaKindKaraoke},
    ExtensionKind{AlbumKindMidi, "ims", MediaKindIms},
    ExtensionKind{AlbumKindMidi, "mod", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "mdz", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "s3m", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "stm", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "s3z", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "xm", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "xmz", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "mtm", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "it", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "itz", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "669", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "far", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "med", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "mdl", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "nst", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "okt", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "ult", MediaKindModule},
    ExtensionKind{AlbumKindMidi, "wow", MediaKindModule},
    ExtensionKind{AlbumKindVideo, "avi", MediaKindAvi},
    ExtensionKind{AlbumKindVideo, "mov", MediaKindQuickTime},
    ExtensionKind{AlbumKindVideo, "qt", MediaKindQuickTime},
    ExtensionKind{AlbumKindVideo, "mpe", MediaKindMpegVideo},
    ExtensionKind{AlbumKindVideo, "mpeg", MediaKindMpegVideo},
    ExtensionKind{AlbumKindVideo, "m1v", MediaKindMpegVideo},
    ExtensionKind{AlbumKindVideo, "m2v", MediaKindMpegVideo},
    ExtensionKind{AlbumKindVideo, "mpg", MediaKindMpegVideo},
    ExtensionKind{AlbumKindVideo, "dat", MediaKindMpegVideo},
    ExtensionKind{AlbumKindVideo, "vob", MediaKindMpegVideo},
    ExtensionKind{AlbumKindVideo, "rm", MediaKindRealVideo},
    ExtensionKind{AlbumKindVideo, "ram", MediaKindRealVideo},
    ExtensionKind{AlbumKindVideo, "swf", MediaKindRealVideo},
    // RealMedia of variable bit rate: the same container, the name most such films carry.
    ExtensionKind{AlbumKindVideo, "rmvb", MediaKindRealVideo},
};

// The lower-cased text after the last "."; false when the name has none.
bool extensionOf(std::string_view fileName, std::string& ext)
{
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    ext.clear();
    for (char c : fileName.substr(dot + 1))
        ext += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return true;
}

} // namespace

MediaKind MediaKindOf(AlbumKind albumKind, std::string_view fileName)
{
    if (albumKind == AlbumKindCd)
        return MediaKindCdTrack;
    std::string ext;
    if (!extensionOf(fileName, ext))
        return MediaKindNone;
    for (const ExtensionKind& e : kExtensions) {
        if (e.album == albumKind && ext == e.extension)
            return e.kind;
    }
    return MediaKindNone;
}

int PlayListKind(std::string_view fileName)
{
    std::string ext;
    if (!extensionOf(fileName, ext))
        return -1;
    if (ext == "pls")
        return PlayListKindPls;
    if (ext == "m3u")
        return PlayListKindM3u;
    if (ext == "ini")
        return PlayListKindIni;
    return -1;
}
