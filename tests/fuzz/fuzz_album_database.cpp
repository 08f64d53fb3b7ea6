// An album database anything may have damaged or replaced, as the CD and the audio database:
// listing and reading give UTF-8 within the album limits; a sound database takes a new album and
// keeps every other as it was; a damaged one takes it, refuses it with a reason, or fails the
// check.
#include "albums/album.h"
#include "albums/profilefile.h"
#include "fuzzcheck.h"
#include "fuzzhome.h"
#include "platform/compoundfile.h"
#include "platform/text.h"

#include <map>

namespace {

using Snapshot = std::vector<std::string>;

// Everything an album holds: its texts, its numbers and program on one line, each song's fields.
Snapshot snapshot(const Album& album)
{
    Snapshot s{album.title(), album.artist(), album.genre(), album.extendedInfo(),
               std::to_string(album.revision()) + ' ' + std::to_string(album.discEndFrame())};
    for (int32_t n : album.program())
        s.back() += ' ' + std::to_string(n);
    for (const SongEntry& song : album.songs())
        s.insert(s.end(), {song.title, song.extendedInfo,
                           std::to_string(song.lengthMs) + ' ' + std::to_string(song.startFrame)});
    return s;
}

// Every album the database lists, read; the texts checked on the way.
std::map<std::string, Snapshot> readAll(AlbumKind kind, size_t fileSize)
{
    std::map<std::string, Snapshot> albums;
    Album album(kind);
    const std::vector<AlbumListEntry> list = album.ListAlbums();
    FUZZ_CHECK(list.size() == album.ListAlbumKeys().size());
    for (const AlbumListEntry& entry : list) {
        FUZZ_CHECK(text::isValidUtf8(entry.title) && text::isValidUtf8(entry.artist));
        if (!album.LoadForReading(entry.key))
            continue;
        // Songs padded to the stored count stop at 100000; beyond that only lines of the
        // file's own track list count.
        FUZZ_CHECK(album.songCount() <= 100000 ||
                   static_cast<size_t>(album.songCount()) <= fileSize);
        FUZZ_CHECK(text::isValidUtf8(album.title()) && text::isValidUtf8(album.artist()) &&
                   text::isValidUtf8(album.genre()) && text::isValidUtf8(album.extendedInfo()));
        for (const SongEntry& song : album.songs())
            FUZZ_CHECK(text::isValidUtf8(song.title) && text::isValidUtf8(song.extendedInfo));
        albums.emplace(album.key(), snapshot(album));
    }
    FUZZ_CHECK(text::isValidUtf8(album.GetRecentAlbum()));
    return albums;
}

bool sound(const std::string& path)
{
    const auto cf = cfb::CompoundFile::open(path, cfb::CompoundFile::Mode::Read, nullptr);
    return cf && cf->verify().empty();
}

void exercise(AlbumKind kind, std::string_view bytes)
{
    const std::string path = Album::DatabasePath(kind);
    fuzzhome::write(path, bytes);
    cfb::dropCachedStates();

    const bool valid = Album::CheckDatabase(kind);
    const bool intact = valid && sound(path);
    const std::map<std::string, Snapshot> before = readAll(kind, bytes.size());
    FUZZ_CHECK(valid || before.empty());

    // A new album, under a name no album of the file has in any case.
    std::string key = "Fuzz";
    while (std::any_of(before.begin(), before.end(),
                       [&](const auto& album) { return equalsNoCase(album.first, key); }))
        key += "+";
    Album album(kind);
    const bool opened = album.Open(key, 0);
    FUZZ_CHECK(opened || key.size() > 31); // only a name too long for an element is refused
    if (!opened)
        return;
    // Albums other than CD albums are titled by their key.
    album.setTitle(kind == AlbumKindCd ? "Fuzz Title" : key);
    album.setArtist("Fuzz Artist");
    album.AddSong(kind == AlbumKindCd ? "Track" : "/music/track.mp3", "info", 61000, 150);
    album.setProgram({1, 1});
    if (!album.Save()) {
        FUZZ_CHECK(!album.lastError().empty() && !intact);
        return;
    }
    // A database whose list of albums is damaged takes the album without listing it; the
    // check must then say that it is damaged.
    const bool listable = Album::CheckDatabase(kind);
    FUZZ_CHECK(!intact || (listable && sound(path)));
    const std::map<std::string, Snapshot> after = readAll(kind, 1u << 20);
    const auto mine = after.find(key);
    if (mine == after.end()) {
        FUZZ_CHECK(!listable);
        return;
    }
    FUZZ_CHECK(mine->second == snapshot(album));
    if (intact) {
        // The albums that were there read exactly as before.
        FUZZ_CHECK(after.size() == before.size() + 1);
        for (const auto& [name, old] : before) {
            const auto now = after.find(name);
            FUZZ_CHECK(now != after.end() && now->second == old);
        }
    }
}

} // namespace

FUZZ_TARGET
{
    static const bool quiet = (Album::setNotifier([](const std::string&) {}), true);
    (void)quiet;
    fuzzhome::next();
    exercise(AlbumKindCd, bytes);
    exercise(AlbumKindAudio, bytes);
}
