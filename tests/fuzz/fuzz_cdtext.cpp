// Text records of other CD players (DiscPlay, NotifyCD) and the album database's own records:
// reading them must not crash or run away, and records written from what was read read back.
#include "albums/album.h"
#include "albums/albumrecords.h"
#include "albums/cdtext.h"
#include "fuzzcheck.h"

namespace {

// Albums in memory instead of the database.
class MemorySink final : public CdAlbumSink
{
public:
    Album* openAlbum(const std::string& key, int expectedSongs) override
    {
        FUZZ_CHECK(expectedSongs <= 99);
        m_album.Close();
        m_album.setTitle(key);
        while (m_album.songCount() < expectedSongs)
            m_album.AddSong({});
        return &m_album;
    }
    void saveAlbum(Album& album) override { FUZZ_CHECK(album.songCount() >= 1); }
    void closeAlbum(Album& album) override { album.Close(); }

private:
    Album m_album{AlbumKindCd};
};

} // namespace

FUZZ_TARGET
{
    MemorySink sink;
    ReadDiscPlay(bytes, sink);
    ReadNotifyCd(bytes, sink);

    using namespace albumrecords;
    AlbumInfo info, again;
    parseAlbumInfo(bytes, info);
    parseAlbumInfo(formatAlbumInfo(info), again);
    // A line feed inside a field is written as the CR line break, a form feed inside the
    // artist (which ends at the line feed) as a blank.
    FUZZ_CHECK(again.title == storable(info.title) && again.artist == storable(info.artist) &&
               again.genre == storable(info.genre) &&
               again.extendedInfo == storable(info.extendedInfo) &&
               again.songCount == info.songCount && again.revision == info.revision &&
               again.discEndFrame == info.discEndFrame);

    const std::vector<SongEntry> songs = parseTrackInfo(bytes);
    const std::vector<SongEntry> reread = parseTrackInfo(formatTrackInfo(songs));
    FUZZ_CHECK(reread.size() == songs.size());
    for (size_t i = 0; i < songs.size(); ++i)
        FUZZ_CHECK(reread[i].title == songs[i].title && reread[i].lengthMs == songs[i].lengthMs &&
                   reread[i].startFrame == songs[i].startFrame &&
                   reread[i].extendedInfo == songs[i].extendedInfo);
    const auto program = parsePlayList(bytes);
    FUZZ_CHECK(parsePlayList(formatPlayList(program)) == program);
}
