#pragma once
// Searching the albums of a database for a text, as the album windows' Find Next does: from a
// position in one album on through the albums in their tree order, wrapping from the last to
// the first, until the text is found or the search is back where it began. The fields looked
// at are the album's title, artist and extended information and each song's title (a file
// album's song path) and extended information; the text matches anywhere in a field, without
// regard to case.

#include "albums/mediakind.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class Album;

struct AlbumSearchHit
{
    int album = -1; // 0-based index of the album found; -1 when nothing was found
    int song = 0;   // 1-based number of the song found; 0 when the album's own fields matched
    bool found() const { return album >= 0; }
};

// Whether the text holds the needle, both upper-cased (letters beyond ASCII too).
bool ContainsNoCase(std::string_view text, std::string_view needle);

// The album of an index, valid until the next call; null for one that cannot be read (it is
// passed over).
using AlbumAtIndex = std::function<const Album*(int index)>;

// Searches albumCount albums from album startAlbum, after its song startSong (0: before its
// first song). The starting album's own fields are looked at only when the search comes back
// to it, and then its songs only up to, not including, song startSong: the search stops there.
// A start outside the albums starts at the first album, before its first song.
AlbumSearchHit FindNextInAlbums(int albumCount, int startAlbum, int startSong,
                                std::string_view text, const AlbumAtIndex& albumAt);

// The same over the albums of a kind's database named by keys, read without writing anything.
AlbumSearchHit FindNextInAlbums(AlbumKind kind, const std::vector<std::string>& keys,
                                int startAlbum, int startSong, std::string_view text);
