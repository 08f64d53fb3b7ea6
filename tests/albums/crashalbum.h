#pragma once
// The albums of the crash test: album i at version v has a content that is a function of (i, v),
// with song lists long enough now and then to move "TrackInfo.inf" between the mini stream and
// ordinary sectors, and a program that comes and goes.

#include "albums/album.h"

#include <string>

namespace crashalbum {

constexpr int kAlbums = 24;

inline std::string key(int i)
{
    std::string s = "d";
    s += std::to_string(1000 + i * 7919);
    return s;
}

inline int songsOf(int v)
{
    return 1 + (v * 37) % 190;
}

inline std::string songTitle(int i, int v, int k)
{
    std::string s = "A";
    s += std::to_string(i);
    s += " v";
    s += std::to_string(v);
    s += " song ";
    s += std::to_string(k);
    return s;
}

inline void fill(Album& a, int i, int v)
{
    std::string title = "A";
    title += std::to_string(i);
    title += " v";
    title += std::to_string(v);
    a.setTitle(title);
    std::string artist = "artist of v";
    artist += std::to_string(v);
    a.setArtist(artist);
    a.setRevision(v);
    a.setDiscLengthMs(v * 1000);
    a.RemoveSongs(1, a.songCount());
    for (int k = 1; k <= songsOf(v); ++k)
        a.AddSong(songTitle(i, v, k), std::to_string(k), k * 1000, k * 75);
    std::vector<int32_t> program;
    if (v % 3 != 0) {
        for (int k = 1; k <= std::min(5, songsOf(v)); ++k)
            program.push_back(k);
    }
    a.setProgram(program);
}

// The version an album's content is; 0 for an album opened but never saved; -1 when the
// content is no version at all.
inline int versionOf(const Album& a)
{
    if (a.title().empty())
        return a.songCount() == 0 && a.artist().empty() ? 0 : -1;
    const size_t sp = a.title().find(" v");
    if (sp == std::string::npos)
        return -1;
    const int v = std::atoi(a.title().c_str() + sp + 2);
    const int i = std::atoi(a.title().c_str() + 1);
    Album expected(AlbumKindCd);
    fill(expected, i, v);
    if (a.artist() != expected.artist() || a.revision() != v ||
        a.discLengthMs() != expected.discLengthMs() || a.songCount() != expected.songCount() ||
        a.program() != expected.program())
        return -1;
    for (int k = 1; k <= a.songCount(); ++k) {
        const SongEntry* got = a.GetSong(k);
        const SongEntry* want = expected.GetSong(k);
        if (got->title != want->title || got->extendedInfo != want->extendedInfo ||
            got->lengthMs != want->lengthMs || got->startFrame != want->startFrame)
            return -1;
    }
    return v;
}

} // namespace crashalbum
