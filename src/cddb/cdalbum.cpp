#include "cddb/cdalbum.h"

#include "albums/album.h"

CddbAlbum CddbAlbumOf(const Album& album)
{
    CddbAlbum a;
    a.title = album.title();
    a.artist = album.artist();
    a.extendedInfo = album.extendedInfo();
    a.genre = album.genre();
    a.revision = album.revision();
    a.discLengthMs = album.discLengthMs();
    a.discEndFrame = album.discEndFrame();
    for (const SongEntry& song : album.songs())
        a.tracks.push_back({song.title, song.extendedInfo, song.lengthMs, song.startFrame});
    return a;
}

void ComputeDiscId(const Album& album, CddbDiscInfo& info)
{
    ComputeDiscId(CddbAlbumOf(album), info);
}

std::string BuildSubmissionRecord(const Album& album, const std::string& clientName, bool korean)
{
    return BuildSubmissionRecord(CddbAlbumOf(album), clientName, korean);
}

SubmissionCheck CheckSubmission(const Album& album, bool korean)
{
    return CheckSubmission(CddbAlbumOf(album), korean);
}

void StoreXmcdRecord(Album& album, const XmcdRecord& record)
{
    CddbAlbum a = CddbAlbumOf(album);
    StoreXmcdRecord(a, record);
    for (int i = 1; i <= album.songCount(); ++i) {
        SongEntry* song = album.GetSong(i);
        song->title = a.tracks[static_cast<size_t>(i - 1)].title;
        song->extendedInfo = a.tracks[static_cast<size_t>(i - 1)].extendedInfo;
    }
    album.setTitle(a.title);
    album.setArtist(a.artist);
    album.setExtendedInfo(a.extendedInfo);
    album.setGenre(a.genre);
    album.setRevision(a.revision);
}

int CddbLookup(QWidget* parent, const std::string& server, Album& album)
{
    XmcdRecord record;
    if (!CddbLookupRecord(parent, server, CddbAlbumOf(album), record))
        return 0;
    StoreXmcdRecord(album, record);
    album.Save();
    return 1;
}

int CddbSubmit(QWidget* parent, Album& album, const CddbMailSettingsListener& settingsChanged)
{
    CddbAlbum a = CddbAlbumOf(album);
    return CddbSubmit(
        parent, a,
        [&album, &a] {
            album.setRevision(a.revision);
            album.Save();
        },
        settingsChanged);
}
