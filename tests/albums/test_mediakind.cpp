#include "albumtesting.h"

#include "albums/mediakind.h"

TEST(MediaKind, EveryExtensionOfEveryFamily)
{
    const struct
    {
        AlbumKind album;
        const char* extensions;
        int kind;
    } expected[] = {
        {AlbumKindAudio, "aif aifc aiff", 1},
        {AlbumKindAudio, "wav", 2},
        {AlbumKindAudio, "au snd", 3},
        {AlbumKindAudio, "mp1 m1s mp2 m2s mp3 mpa", 4},
        {AlbumKindAudio, "ra ram rm", 5},
        {AlbumKindAudio, "ogg oga flac opus m4a aac wma wv", 15},
        {AlbumKindMidi, "mid rmi", 6},
        {AlbumKindMidi, "kar", 7},
        {AlbumKindMidi, "ims", 8},
        {AlbumKindMidi, "mod mdz s3m stm s3z xm xmz mtm it itz 669 far med mdl nst okt ult wow", 9},
        {AlbumKindVideo, "avi", 10},
        {AlbumKindVideo, "mov qt", 11},
        {AlbumKindVideo, "mpe mpeg m1v m2v mpg dat vob", 12},
        {AlbumKindVideo, "rm ram swf rmvb", 13},
    };
    int checked = 0;
    for (const auto& row : expected) {
        std::string list = row.extensions;
        size_t pos = 0;
        while (pos < list.size()) {
            size_t end = list.find(' ', pos);
            if (end == std::string::npos)
                end = list.size();
            const std::string ext = list.substr(pos, end - pos);
            pos = end + 1;
            std::string upper = ext;
            for (char& c : upper)
                c = static_cast<char>(toupper(c));
            EXPECT_EQ(MediaKindOf(row.album, "/music/song." + ext), row.kind) << ext;
            EXPECT_EQ(MediaKindOf(row.album, "SONG." + upper), row.kind) << upper;
            // The same extension means nothing to a family that does not list it.
            for (AlbumKind other : {AlbumKindAudio, AlbumKindMidi, AlbumKindVideo}) {
                if (other == row.album || ext == "rm" || ext == "ram")
                    continue;
                EXPECT_EQ(MediaKindOf(other, "x." + ext), MediaKindNone) << ext << " in " << other;
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 59);
}

TEST(MediaKind, NamesWithoutAKnownExtension)
{
    EXPECT_EQ(MediaKindOf(AlbumKindAudio, "README"), MediaKindNone);
    EXPECT_EQ(MediaKindOf(AlbumKindAudio, "song.mp3.txt"), MediaKindNone);
    EXPECT_EQ(MediaKindOf(AlbumKindAudio, "archive.tar.mp3"), MediaKindMpegAudio);
    EXPECT_EQ(MediaKindOf(AlbumKindAudio, "song."), MediaKindNone);
    EXPECT_EQ(MediaKindOf(AlbumKindAudio, ""), MediaKindNone);
    EXPECT_EQ(MediaKindOf(AlbumKindAudio, "/media/disc.1/track"), MediaKindNone);
    // A CD album takes any name, with or without a dot.
    EXPECT_EQ(MediaKindOf(AlbumKindCd, "Track 1"), MediaKindCdTrack);
    EXPECT_EQ(MediaKindOf(AlbumKindCd, "x.mp3"), MediaKindCdTrack);
    EXPECT_EQ(MediaKindOf(static_cast<AlbumKind>(9), "x.mp3"), MediaKindNone);
}

TEST(PlayListKind, ByExtension)
{
    EXPECT_EQ(PlayListKind("list.pls"), 0);
    EXPECT_EQ(PlayListKind("LIST.M3U"), 1);
    EXPECT_EQ(PlayListKind("/etc/cdplayer.Ini"), 2);
    EXPECT_EQ(PlayListKind("list.m3u8"), -1);
    EXPECT_EQ(PlayListKind("m3u"), -1);
    EXPECT_EQ(PlayListKind("song.mp3"), -1);
}
