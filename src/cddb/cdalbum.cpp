#include "cddb/cdalbum.h"

#include "albums/album.h"
#include "cddb/cddbtext.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

namespace {

// Saves the album; when that fails the user learns which file could not be written and why.
bool saveOrTell(QWidget* parent, Album& album)
{
    if (album.Save())
        return true;
    QString text = LoadQString(cddbtext::kAlbumDatabaseUnwritable)
                       .replace(QLatin1String("%s"),
                                QString::fromStdString(Album::DatabasePath(album.kind())));
    const QString why = QString::fromStdString(album.lastError());
    if (why.startsWith(text))
        text = why; // already says which file, perhaps with the reason
    else if (!why.isEmpty())
        text += QLatin1Char('\n') + why;
    KolvoMessageBox(parent, text, MessageIcon::Error);
    return false;
}

} // namespace

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
    // What was read only counts once it is on disk; otherwise the album stays as it was.
    const Album before = album;
    StoreXmcdRecord(album, record);
    if (!saveOrTell(parent, album)) {
        album = before;
        return 0;
    }
    return 1;
}

int CddbSubmit(QWidget* parent, Album& album, const CddbMailSettingsListener& settingsChanged)
{
    CddbAlbum a = CddbAlbumOf(album);
    return CddbSubmit(
        parent, a,
        [parent, &album, &a] {
            // The mail went out, so the new revision stays even when it cannot be written.
            album.setRevision(a.revision);
            saveOrTell(parent, album);
        },
        settingsChanged);
}
