#pragma once
// What kind of media a file is, judged by its extension, for each album family; and whether
// a file is a play list. Both decide which player a file goes to.

#include <string_view>

// The player family an album belongs to; it also names the album database file.
enum AlbumKind : int {
    AlbumKindCd = 2,
    AlbumKindAudio = 3,
    AlbumKindMidi = 4,
    AlbumKindVideo = 5,
};

enum MediaKind : int {
    MediaKindNone = 0,
    MediaKindAiff = 1,
    MediaKindWave = 2,
    MediaKindAu = 3,
    MediaKindMpegAudio = 4,
    MediaKindRealAudio = 5,
    MediaKindMidi = 6,
    MediaKindKaraoke = 7,
    MediaKindIms = 8,
    MediaKindModule = 9,
    MediaKindAvi = 10,
    MediaKindQuickTime = 11,
    MediaKindMpegVideo = 12,
    MediaKindRealVideo = 13,
    MediaKindCdTrack = 14,
    // Audio the older formats above do not cover and GStreamer decodes: Ogg Vorbis, FLAC, Opus,
    // MPEG-4 audio, Windows Media Audio and WavPack. One kind, because one engine plays them all.
    MediaKindCompressedAudio = 15,
};

// The text after the last "." of the name, compared without regard to case; a name without
// "." is MediaKindNone. Every name is a CD track for a CD album.
MediaKind MediaKindOf(AlbumKind albumKind, std::string_view fileName);

// 0 PLS, 1 M3U, 2 INI, -1 not a play list.
constexpr int PlayListKindPls = 0;
constexpr int PlayListKindM3u = 1;
constexpr int PlayListKindIni = 2;
int PlayListKind(std::string_view fileName);
