// Find Next over albums: where a search starts, what it looks at, how it wraps from the last
// album to the first and where it gives up.
#include "albumtesting.h"

#include "albums/albumsearch.h"

namespace {

struct SongText
{
    std::string title;
    std::string extendedInfo;
};

Album makeAlbum(const std::string& title, const std::string& artist,
                const std::vector<SongText>& songs, const std::string& extendedInfo = {})
{
    Album a(AlbumKindCd);
    a.setTitle(title);
    a.setArtist(artist);
    a.setExtendedInfo(extendedInfo);
    for (const SongText& s : songs)
        a.AddSong(s.title, s.extendedInfo);
    return a;
}

AlbumSearchHit findIn(std::vector<Album>& albums, int startAlbum, int startSong,
                      std::string_view text)
{
    return FindNextInAlbums(static_cast<int>(albums.size()), startAlbum, startSong, text,
                            [&](int i) -> const Album* { return &albums[static_cast<size_t>(i)]; });
}

::testing::AssertionResult hitIs(const AlbumSearchHit& hit, int album, int song)
{
    if (hit.album == album && hit.song == song)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "found album " << hit.album << " song " << hit.song
                                         << ", expected album " << album << " song " << song;
}

class AlbumSearchDatabase : public KolvoHomeTest
{};

} // namespace

TEST(AlbumSearch, UpperCasedSubstrings)
{
    EXPECT_TRUE(ContainsNoCase("Lovely Day", "love"));
    EXPECT_TRUE(ContainsNoCase("glove box", "LOVE"));
    EXPECT_FALSE(ContainsNoCase("Lov ely", "love"));
    EXPECT_TRUE(ContainsNoCase("Un été à Paris", "ÉTÉ")) << "letters beyond ASCII";
    EXPECT_TRUE(ContainsNoCase("Straße", "STRASSE")) << "upper-casing may lengthen a word";
    EXPECT_FALSE(ContainsNoCase("", "a"));
}

TEST(AlbumSearch, FromTheTreeTheStartingAlbumsFieldsWaitForTheWayBack)
{
    std::vector<Album> albums = {makeAlbum("Love Songs", "", {{"Morning", ""}}),
                                 makeAlbum("Second", "", {{"Noon", ""}})};
    // Starting at album 0 before its first song: its own title is looked at last.
    EXPECT_TRUE(hitIs(findIn(albums, 0, 0, "love"), 0, 0));
    // A song of the starting album comes first.
    albums[0].AddSong("Lovers", "");
    EXPECT_TRUE(hitIs(findIn(albums, 0, 0, "love"), 0, 2));
}

TEST(AlbumSearch, LooksAtEveryFieldOfLaterAlbums)
{
    std::vector<Album> albums = {makeAlbum("One", "", {{"a", ""}}),
                                 makeAlbum("Two", "", {{"b", "sung in the rain"}}),
                                 makeAlbum("Three", "Rain Makers", {{"c", ""}}),
                                 makeAlbum("Four", "", {{"d", ""}}, "recorded\rin rain")};
    EXPECT_TRUE(hitIs(findIn(albums, 0, 0, "RAIN"), 1, 1)) << "a song's extended information";
    EXPECT_TRUE(hitIs(findIn(albums, 1, 1, "rain"), 2, 0)) << "an album's artist";
    EXPECT_TRUE(hitIs(findIn(albums, 2, 0, "rain"), 3, 0)) << "an album's extended information";
}

TEST(AlbumSearch, WrapsAroundAndStopsAtTheStartingSong)
{
    std::vector<Album> albums = {
        makeAlbum("First", "", {{"Lovesick", ""}, {"Other", ""}}),
        makeAlbum("Second", "", {{"Lovely Day", ""}, {"Night", ""}, {"Glove", ""}}),
        makeAlbum("Third", "", {{"Evening", ""}})};
    // From after song 2 of the second album: its third song, then on round.
    EXPECT_TRUE(hitIs(findIn(albums, 1, 2, "love"), 1, 3));
    EXPECT_TRUE(hitIs(findIn(albums, 1, 3, "love"), 0, 1)) << "past the last album to the first";
    // Songs of the starting album before the start are found on the way back...
    EXPECT_TRUE(hitIs(findIn(albums, 1, 3, "lovely"), 1, 1));
    // ...but the start song itself is where the search gives up.
    EXPECT_FALSE(findIn(albums, 1, 1, "lovely").found());
    EXPECT_FALSE(findIn(albums, 0, 0, "nowhere").found());
}

TEST(AlbumSearch, OddStartsAndAlbumsThatCannotBeRead)
{
    std::vector<Album> albums = {makeAlbum("Hidden match", "", {}), makeAlbum("B", "", {{"x", ""}}),
                                 makeAlbum("C", "", {{"match", ""}})};
    // Album 0 cannot be read: it is passed over, also when it is the start.
    const auto skipFirst = [&](int i) -> const Album* {
        return i == 0 ? nullptr : &albums[static_cast<size_t>(i)];
    };
    const AlbumSearchHit hit = FindNextInAlbums(3, 0, 0, "match", skipFirst);
    EXPECT_TRUE(hitIs(hit, 2, 1));
    EXPECT_FALSE(FindNextInAlbums(3, 2, 1, "match", skipFirst).found());
    // A start outside the albums is the first album before its first song, whose title then
    // waits for the way back.
    EXPECT_TRUE(hitIs(findIn(albums, 7, 4, "match"), 2, 1));
    EXPECT_TRUE(hitIs(findIn(albums, -1, 0, "hidden"), 0, 0));
    // A start song beyond the songs searches nothing more of that album on the first visit.
    EXPECT_TRUE(hitIs(findIn(albums, 2, 9, "match"), 0, 0));
    EXPECT_FALSE(findIn(albums, 0, 0, "").found());
    EXPECT_FALSE(FindNextInAlbums(0, 0, 0, "x", skipFirst).found());
}

TEST_F(AlbumSearchDatabase, LoveFindsALaterAlbumsSongAndFindNextGoesRoundToNothing)
{
    const auto store = [](const std::string& key, const std::string& title,
                          const std::vector<std::string>& songs) {
        Album a(AlbumKindCd);
        ASSERT_TRUE(a.Open(key, 0));
        a.setTitle(title);
        for (const std::string& s : songs)
            a.AddSong(s);
        ASSERT_TRUE(a.Save());
    };
    store("a1", "Morning", {"Sunrise", "Coffee"});
    store("b2", "Afternoon", {"Walk", "Lovely Day", "Tea"});
    store("c3", "Evening", {"Dusk"});
    const std::string recentBefore = Album(AlbumKindCd).GetRecentAlbum();

    const std::vector<std::string> keys = Album(AlbumKindCd).ListAlbumKeys();
    ASSERT_EQ(keys, (std::vector<std::string>{"a1", "b2", "c3"}));
    const AlbumSearchHit hit = FindNextInAlbums(AlbumKindCd, keys, 0, 0, "love");
    EXPECT_TRUE(hitIs(hit, 1, 2));
    EXPECT_FALSE(FindNextInAlbums(AlbumKindCd, keys, hit.album, hit.song, "love").found());
    EXPECT_EQ(Album(AlbumKindCd).GetRecentAlbum(), recentBefore) << "searching writes nothing";
}
