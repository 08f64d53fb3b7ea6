#include "albums/albumsearch.h"

#include "albums/album.h"

#include <QString>

#include <algorithm>

namespace {

bool isAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

QString upper(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUpper();
}

// The needle upper-cased once for a whole search.
class Matcher
{
public:
    explicit Matcher(std::string_view needle)
        : m_needle(needle)
        , m_ascii(isAscii(needle))
        , m_upper(upper(needle))
    {}

    bool in(std::string_view text) const
    {
        if (m_ascii && isAscii(text)) {
            return std::search(text.begin(), text.end(), m_needle.begin(), m_needle.end(),
                               [](char a, char b) { return upperAscii(a) == upperAscii(b); }) !=
                   text.end();
        }
        return upper(text).contains(m_upper);
    }

private:
    std::string_view m_needle;
    bool m_ascii;
    QString m_upper;
};

bool albumFieldsMatch(const Album& album, const Matcher& m)
{
    return m.in(album.title()) || m.in(album.artist()) || m.in(album.extendedInfo());
}

// The first song in [from, to] whose title or extended information matches; 0 for none.
int matchingSong(const Album& album, int from, int to, const Matcher& m)
{
    to = std::min(to, album.songCount());
    for (int n = std::max(from, 1); n <= to; ++n) {
        const SongEntry* song = album.GetSong(n);
        if (m.in(song->title) || m.in(song->extendedInfo))
            return n;
    }
    return 0;
}

} // namespace

bool ContainsNoCase(std::string_view text, std::string_view needle)
{
    return Matcher(needle).in(text);
}

AlbumSearchHit FindNextInAlbums(int albumCount, int startAlbum, int startSong,
                                std::string_view text, const AlbumAtIndex& albumAt)
{
    if (albumCount <= 0 || text.empty())
        return {};
    if (startAlbum < 0 || startAlbum >= albumCount) {
        startAlbum = 0;
        startSong = 0;
    }
    startSong = std::max(startSong, 0);
    const Matcher matcher(text);
    // Step 0 is the starting album after the start song; step albumCount is the same album
    // again, from its own fields up to the start song.
    for (int step = 0; step <= albumCount; ++step) {
        const int index = (startAlbum + step) % albumCount;
        const Album* album = albumAt(index);
        if (!album)
            continue;
        const bool firstVisit = step == 0;
        const bool backAtStart = step == albumCount;
        if (!firstVisit && albumFieldsMatch(*album, matcher))
            return {index, 0};
        const int from = firstVisit ? startSong + 1 : 1;
        const int to = backAtStart ? startSong - 1 : album->songCount();
        if (const int song = matchingSong(*album, from, to, matcher))
            return {index, song};
    }
    return {};
}

AlbumSearchHit FindNextInAlbums(AlbumKind kind, const std::vector<std::string>& keys,
                                int startAlbum, int startSong, std::string_view text)
{
    Album album(kind);
    return FindNextInAlbums(
        static_cast<int>(keys.size()), startAlbum, startSong, text, [&](int index) -> const Album* {
            return album.LoadForReading(keys[static_cast<size_t>(index)]) ? &album : nullptr;
        });
}
