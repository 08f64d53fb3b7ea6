// Text records of other CD players (DiscPlay, NotifyCD) and the album database's own records
// (AlbumInfo.inf, TrackInfo.inf, PlayList.inf). Reading them must not crash or run away; album
// records written from what was read must read back the same.
#include "albums/album.h"
#include "albums/albumrecords.h"
#include "albums/cdtext.h"

#include <cstdlib>
#include <string>

namespace {

// Albums in memory instead of the database.
class MemorySink final : public CdAlbumSink
{
public:
    Album* openAlbum(const std::string& key, int expectedSongs) override
    {
        if (expectedSongs > 99)
            std::abort();
        m_album.Close();
        m_album.setTitle(key);
        while (m_album.songCount() < expectedSongs)
            m_album.AddSong({});
        return &m_album;
    }
    void saveAlbum(Album& album) override
    {
        if (album.songCount() < 1)
            std::abort();
    }
    void closeAlbum(Album& album) override { album.Close(); }

private:
    Album m_album{AlbumKindCd};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    MemorySink sink;
    ReadDiscPlay(bytes, sink);
    ReadNotifyCd(bytes, sink);

    albumrecords::AlbumInfo info;
    albumrecords::parseAlbumInfo(bytes, info);
    albumrecords::AlbumInfo again;
    albumrecords::parseAlbumInfo(albumrecords::formatAlbumInfo(info), again);
    // A line feed inside a field is written as the CR line break, a form feed inside the
    // artist (which ends at the line feed) as a blank.
    using albumrecords::storable;
    if (again.title != storable(info.title) || again.artist != storable(info.artist) ||
        again.genre != storable(info.genre) || again.extendedInfo != storable(info.extendedInfo) ||
        again.songCount != info.songCount || again.revision != info.revision ||
        again.discEndFrame != info.discEndFrame)
        std::abort();

    const std::vector<SongEntry> songs = albumrecords::parseTrackInfo(bytes);
    const std::vector<SongEntry> reread =
        albumrecords::parseTrackInfo(albumrecords::formatTrackInfo(songs));
    if (reread.size() != songs.size())
        std::abort();
    for (size_t i = 0; i < songs.size(); ++i) {
        if (reread[i].title != songs[i].title || reread[i].lengthMs != songs[i].lengthMs ||
            reread[i].startFrame != songs[i].startFrame ||
            reread[i].extendedInfo != songs[i].extendedInfo)
            std::abort();
    }
    const auto program = albumrecords::parsePlayList(bytes);
    if (albumrecords::parsePlayList(albumrecords::formatPlayList(program)) != program)
        std::abort();
    return 0;
}
