// The album model over its database file: the designed stream bytes, the lenient reader, the
// database's failure paths, and the peers' view of what we write.
#include "albumtesting.h"

#include "albums/albumrecords.h"
#include "platform/paths.h"

#include <sstream>

using namespace std::string_literals;

namespace {

class AlbumTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        Album::setNotifier([this](const std::string& m) { m_notices.push_back(m); });
    }
    void TearDown() override
    {
        Album::setNotifier(nullptr);
        KolvoHomeTest::TearDown();
    }

    // A stream of the database, read with our engine; nullopt when it is not there.
    std::optional<std::string> stream(int kind, const std::string& storage, const std::string& name)
    {
        auto cf = cfb::CompoundFile::open(Album::DatabasePath(kind), cfb::CompoundFile::Mode::Read,
                                          nullptr);
        if (!cf)
            return std::nullopt;
        cfb::EntryId dir = cfb::kRootEntry;
        if (!storage.empty() && cf->openStorage(cfb::kRootEntry, storage, &dir) != cfb::Error::None)
            return std::nullopt;
        std::string data;
        if (cf->readStream(dir, name, &data) != cfb::Error::None)
            return std::nullopt;
        return data;
    }

    // Writes streams of one album straight into the database, as another program might.
    void plant(int kind, const std::string& key, const std::string& albumInfo,
               const std::string& trackInfo)
    {
        {
            Album a(static_cast<AlbumKind>(kind));
            a.Open("seed", 0); // makes a valid database
        }
        auto cf = cfb::CompoundFile::open(Album::DatabasePath(kind),
                                          cfb::CompoundFile::Mode::ReadWrite, nullptr);
        ASSERT_NE(cf, nullptr);
        cfb::EntryId st;
        ASSERT_EQ(cf->createStorage(cfb::kRootEntry, key, &st), cfb::Error::None);
        ASSERT_EQ(cf->writeStream(st, "AlbumInfo.inf", albumInfo), cfb::Error::None);
        ASSERT_EQ(cf->writeStream(st, "TrackInfo.inf", trackInfo), cfb::Error::None);
        ASSERT_EQ(cf->commit(), cfb::Error::None);
    }

    std::vector<std::string> m_notices;
};

std::string hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace

TEST_F(AlbumTest, AFreshFolderGetsTheDesignedBytes)
{
    Album album(AlbumKindAudio);
    ASSERT_TRUE(album.Open("Default", 0));
    EXPECT_EQ(album.key(), "Default");
    EXPECT_TRUE(QDir(QString::fromStdString(homePath("data"))).exists("KolWave.sdb"));

    const auto header = stream(AlbumKindAudio, "", "Header.INF");
    ASSERT_TRUE(header);
    std::string expected(264, '\0');
    std::string classText = "Data File for Kolvo";
    expected.replace(0, classText.size(), classText);
    expected[256] = 1;
    EXPECT_EQ(hex(*header), hex(expected));
    EXPECT_EQ(stream(AlbumKindAudio, "", "RecentAlbum.inf"), "Default\0"s);
    EXPECT_EQ(stream(AlbumKindAudio, "Default", "AlbumInfo.inf"), "\f\f\f0\f0\f0\f0\f\n\0"s);
    EXPECT_EQ(stream(AlbumKindAudio, "Default", "TrackInfo.inf"), "\0"s);
    EXPECT_EQ(stream(AlbumKindAudio, "Default", "PlayList.inf"), std::nullopt);

    Album again(AlbumKindAudio);
    again.Open("Default", 0);
    EXPECT_EQ(again.title(), "Default");
    EXPECT_EQ(again.songCount(), 0);
    EXPECT_EQ(again.GetRecentAlbum(), "Default");
    EXPECT_TRUE(m_notices.empty());
}

TEST_F(AlbumTest, SaveWritesEveryStreamAndTheProgramOnlyWhenThereIsOne)
{
    Album album(AlbumKindCd);
    album.Open("2a0b3c", 0);
    album.setTitle("Blue Train");
    album.setArtist("Someone");
    album.setGenre("jazz");
    album.setExtendedInfo("line one\rline two");
    album.setRevision(3);
    album.setDiscLengthMs(2521000);
    album.setDiscEndFrame(189150);
    album.AddSong("Moment's Notice", "take 2", 550000, 150);
    album.AddSong("Locomotion", "", 430000, 41400);
    album.setProgram({2, 1, 2});
    ASSERT_TRUE(album.Save()) << album.lastError();

    EXPECT_EQ(stream(AlbumKindCd, "2a0b3c", "AlbumInfo.inf"),
              "Blue Train\fline one\rline two\fjazz\f2521000\f189150\f2\f3\fSomeone\n\0"s);
    EXPECT_EQ(stream(AlbumKindCd, "2a0b3c", "TrackInfo.inf"),
              "Moment's Notice\ftake 2\f150\f550000\nLocomotion\f\f41400\f430000\n\0"s);
    EXPECT_EQ(stream(AlbumKindCd, "2a0b3c", "PlayList.inf"), "\x02\0\0\0\x01\0\0\0\x02\0\0\0"s);

    Album loaded(AlbumKindCd);
    loaded.Open("2a0b3c", 0);
    EXPECT_EQ(albumtest::albumText(loaded),
              "Blue Train|Someone|jazz|line one\rline two|end 189150|2521000 ms|play 2 1 2\n"
              "1|Moment's Notice|take 2|550000|150\n2|Locomotion||430000|41400\n");
    EXPECT_EQ(loaded.revision(), 3);

    loaded.setProgram({});
    ASSERT_TRUE(loaded.Save());
    EXPECT_EQ(stream(AlbumKindCd, "2a0b3c", "PlayList.inf"), std::nullopt);
    Album third(AlbumKindCd);
    third.Open("2a0b3c", 0);
    EXPECT_EQ(third.programCount(), 0);

    // A line feed would end the record; it is kept as the designed CR line break, and a CR LF
    // pair stays one break.
    third.setArtist("two\nlines");
    third.setExtendedInfo("first\r\nsecond\nthird");
    third.GetSong(1)->title = "form\ffeed";
    ASSERT_TRUE(third.Save());
    Album fourth(AlbumKindCd);
    fourth.Open("2a0b3c", 0);
    EXPECT_EQ(albumtest::albumText(fourth),
              "Blue Train|two\rlines|jazz|first\rsecond\rthird|end 189150|2521000 ms\n"
              "1|form feed|take 2|550000|150\n2|Locomotion||430000|41400\n");
}

TEST_F(AlbumTest, TheReaderIsLenient)
{
    // songCount 12 with ten lines: two empty songs pad it; a three-field line has no start.
    std::string tracks;
    for (int i = 1; i <= 9; ++i)
        tracks += "  t" + std::to_string(i) + " \x0c x \x0c" + std::to_string(i * 100) + "\x0c" +
                  std::to_string(i * 1000) + "\x0a";
    tracks += "three\ffields\f777\nno line feed at the end\f\f1\f2";
    plant(AlbumKindCd, "c0ffee", "Title \f\fGenre\f5000\f375\f12\f7\fArtist\n\0junk"s,
          tracks + "\0"s);
    Album a(AlbumKindCd);
    a.Open("c0ffee", 0);
    std::string expected = "Title|Artist|Genre||end 375|5000 ms\n";
    for (int i = 1; i <= 9; ++i)
        expected += std::to_string(i) + "|t" + std::to_string(i) + "|x|" +
                    std::to_string(i * 1000) + '|' + std::to_string(i * 100) + '\n';
    expected += "10|three|fields|777|0\n11|||0|0\n12|||0|0\n";
    EXPECT_EQ(albumtest::albumText(a), expected);
    EXPECT_EQ(a.revision(), 7);

    // Missing separators: strings keep what they had, numbers become 0, and the fields after
    // are read from the same place.
    albumrecords::AlbumInfo info;
    info.title = "old title";
    info.artist = "old artist";
    albumrecords::parseAlbumInfo("no separators at all", info);
    EXPECT_EQ(info.title, "old title");
    EXPECT_EQ(info.artist, "old artist");
    EXPECT_EQ(info.songCount, 0);
    albumrecords::parseAlbumInfo("A\fB\fC\f12x\f-3\f4\f", info);
    EXPECT_EQ(info.discLengthMs, 12);
    EXPECT_EQ(info.discEndFrame, -3);
    EXPECT_EQ(info.songCount, 4);
    EXPECT_EQ(info.revision, 0) << "its separator is missing";
    EXPECT_EQ(info.artist, "old artist");
}

TEST_F(AlbumTest, TrackLinesShortOfSeparatorsKeepTheirTextInTheTexts)
{
    // The texts come first in a line: what a short line holds is its title, then its
    // extended text, never a number.
    Album parsed(AlbumKindCd);
    for (const SongEntry& s :
         albumrecords::parseTrackInfo(" Only a title \nTitle\fabout it\n\nT\fE\f42\n"s))
        parsed.AddSong(s.title, s.extendedInfo, s.lengthMs, s.startFrame);
    EXPECT_EQ(albumtest::albumText(parsed),
              "|||\n1|Only a title||0|0\n2|Title|about it|0|0\n3|||0|0\n4|T|E|42|0\n");

    plant(AlbumKindAudio, "Short", "\f\f\f0\f0\f1\f0\f\n\0"s, "/music/a.mp3\n\0"s);
    Album a(AlbumKindAudio);
    a.Open("Short", 0);
    ASSERT_EQ(a.songCount(), 1);
    EXPECT_EQ(a.GetSong(1)->title, "/music/a.mp3");
}

TEST_F(AlbumTest, OldDatabasesWithLegacyBytesAreDecoded)
{
    text::setLegacyCodePage("CP1252");
    plant(AlbumKindCd, "babe", "Caf\xe9\f\f\f0\f0\f1\f0\f\xc9t\xe9\n\0"s, "Cr\xe8me\f\f0\f0\n\0"s);
    Album a(AlbumKindCd);
    a.Open("babe", 0);
    EXPECT_EQ(a.title(), "Caf\xc3\xa9");
    EXPECT_EQ(a.artist(), "\xc3\x89t\xc3\xa9");
    EXPECT_EQ(a.GetSong(1)->title, "Cr\xc3\xa8me");
    text::setLegacyCodePage("");
}

TEST_F(AlbumTest, FileAlbumsAreTitledByTheirKey)
{
    plant(AlbumKindAudio, "Road Trip", "Another Title\f\f\f0\f0\f0\f0\fArtist\n\0"s, "\0"s);
    Album a(AlbumKindAudio);
    const auto list = a.ListAlbums();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].key, "seed");
    EXPECT_EQ(list[1].key, "Road Trip");
    EXPECT_EQ(list[1].title, "Road Trip");
    EXPECT_EQ(list[1].artist, "Artist");
    a.Open("Road Trip", 0);
    EXPECT_EQ(a.title(), "Road Trip");
    // A CD album keeps its own title.
    plant(AlbumKindCd, "1234", "Own Title\f\f\f0\f0\f0\f0\f\n\0"s, "\0"s);
    const auto cds = Album(AlbumKindCd).ListAlbums();
    ASSERT_EQ(cds.size(), 2u);
    EXPECT_EQ(cds[0].key, "1234") << "equal lengths: compared without regard to case";
    EXPECT_EQ(cds[0].title, "Own Title");
}

TEST_F(AlbumTest, CdAlbumsArePaddedToTheTracksOfTheDisc)
{
    Album a(AlbumKindCd);
    a.Open("abc", 0);
    for (int i = 1; i <= 12; ++i)
        a.AddSong("Track " + std::to_string(i));
    a.Save();
    Album b(AlbumKindCd);
    b.Open("abc", 15);
    EXPECT_EQ(b.songCount(), 15);
    EXPECT_EQ(b.GetSong(13)->title, "");
    Album c(AlbumKindCd);
    c.Open("abc", 0);
    EXPECT_EQ(c.songCount(), 12) << "the padding is not saved until Save";
    // File albums are never padded.
    Album d(AlbumKindAudio);
    d.Open("files", 5);
    EXPECT_EQ(d.songCount(), 0);
}

TEST_F(AlbumTest, ListDeleteExistsAndTheRecentAlbum)
{
    Album a(AlbumKindMidi);
    EXPECT_TRUE(a.ListAlbums().empty()) << "no database yet";
    EXPECT_FALSE(a.Exists("x"));
    EXPECT_EQ(a.GetRecentAlbum(), "");
    for (const char* key : {"bb", "a", "Ccc", "B", "aa", "\xed\x95\x9c\xea\xb8\x80"})
        a.Open(key, 0);
    // Shorter names first (counted in UTF-16 code units: the Korean name has two), then
    // without regard to case.
    const std::vector<std::string> order = {"a",  "B", "aa", "bb", "\xed\x95\x9c\xea\xb8\x80",
                                            "Ccc"};
    EXPECT_EQ(a.ListAlbumKeys(), order);
    EXPECT_EQ(a.GetRecentAlbum(), "\xed\x95\x9c\xea\xb8\x80");
    EXPECT_TRUE(a.Exists("ccc"));
    a.Open("bb", 0);
    EXPECT_TRUE(a.DeleteAlbum());
    EXPECT_FALSE(a.Exists("bb"));
    EXPECT_FALSE(a.DeleteAlbum()) << "already gone";
    EXPECT_EQ(a.ListAlbums().size(), 5u);
    // Other kinds keep their own files; a kind without one has nothing.
    EXPECT_TRUE(Album(AlbumKindVideo).ListAlbumKeys().empty());
    Album none(static_cast<AlbumKind>(7));
    EXPECT_TRUE(none.Open("x", 0));
    EXPECT_FALSE(none.Exists("x"));
    EXPECT_EQ(Album::DatabaseFileName(7), "");
}

TEST_F(AlbumTest, NamesTheDatabaseCannotHoldAreRefused)
{
    Album a(AlbumKindAudio);
    for (const std::string& bad : {std::string(33, 'n'), "a/b"s, "x:y"s, "why!"s, "back\\slash"s,
                                   ""s, "header.inf"s, "RecentAlbum.INF"s, "bad\xff"s}) {
        EXPECT_FALSE(a.Open(bad, 0)) << bad;
        EXPECT_NE(a.lastError().find("can't be used"), std::string::npos) << a.lastError();
        EXPECT_EQ(a.key(), "");
        std::string why;
        EXPECT_FALSE(Album::IsValidKey(bad, &why));
        EXPECT_FALSE(a.setKey(bad));
    }
    EXPECT_TRUE(a.Open(std::string(31, 'n'), 0));
    EXPECT_EQ(a.ListAlbumKeys(), std::vector<std::string>{std::string(31, 'n')});
    EXPECT_FALSE(stream(AlbumKindAudio, std::string(31, 'n'), "AlbumName.inf"))
        << "a name that fits is stored as it is";
}

// The album dialogs take names of 32 characters; element names hold 31 UTF-16 code units. A
// longer name lives under a shortened element name and every operation speaks the whole name.
TEST_F(AlbumTest, NamesOf32CharactersAreKeptWhole)
{
    const std::string name = "The Thirty-Two Character Album 1"; // 32
    const std::string twin = "The Thirty-Two Character Album 2";
    const std::string wide =
        "\xed\x95\x9c\xea\xb8\x80 \xf0\x9f\x8e\xb5" + std::string(28, 'w'); // 32, 33 units
    ASSERT_EQ(name.size(), 32u);
    ASSERT_TRUE(Album::IsValidKey(name));
    ASSERT_TRUE(Album::IsValidKey(wide));
    {
        Album a(AlbumKindAudio);
        ASSERT_TRUE(a.Open(name, 0));
        a.AddSong("/music/one.mp3");
        ASSERT_TRUE(a.Save());
        ASSERT_TRUE(a.Open(twin, 0));
        a.AddSong("/music/two.mp3");
        a.AddSong("/music/three.mp3");
        ASSERT_TRUE(a.Save());
        ASSERT_TRUE(a.Open(wide, 0));
        ASSERT_TRUE(a.Save());
    }
    Album a(AlbumKindAudio);
    std::vector<std::string> keys = a.ListAlbumKeys();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{name, twin, wide}));
    for (const AlbumListEntry& e : a.ListAlbums())
        EXPECT_EQ(e.title, e.key) << "listed with the whole name";
    EXPECT_EQ(a.GetRecentAlbum(), wide);

    // Found in any case, loaded with the name as stored, the two alike kept apart.
    EXPECT_TRUE(a.Exists("THE THIRTY-TWO CHARACTER ALBUM 1"));
    ASSERT_TRUE(a.LoadForReading("the thirty-two character album 2"));
    EXPECT_EQ(a.key(), twin);
    EXPECT_EQ(a.title(), twin);
    EXPECT_EQ(a.songCount(), 2);
    ASSERT_TRUE(a.Open(name, 0));
    EXPECT_EQ(a.songCount(), 1);
    EXPECT_FALSE(a.Exists("The Thirty-Two Character Album 3"));

    // The element names are ones other readers take: 31 code units at most.
    auto cf = cfb::CompoundFile::open(Album::DatabasePath(AlbumKindAudio),
                                      cfb::CompoundFile::Mode::Read, nullptr);
    ASSERT_TRUE(cf);
    for (const cfb::Element& e : cf->children(cfb::kRootEntry))
        EXPECT_EQ(cfb::checkName(e.name), cfb::Error::None) << e.name;
    cf.reset();

    // Renaming through setKey, then deleting under the old name, leaves one album.
    ASSERT_TRUE(a.setKey("Short"));
    EXPECT_EQ(a.title(), "Short");
    ASSERT_TRUE(a.Save());
    ASSERT_TRUE(a.LoadForReading(name));
    ASSERT_TRUE(a.DeleteAlbum());
    keys = a.ListAlbumKeys();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"Short", twin, wide}));
    ASSERT_TRUE(a.LoadForReading("Short"));
    EXPECT_EQ(a.GetSong(1)->title, "/music/one.mp3");
}

TEST_F(AlbumTest, ADamagedDatabaseIsMovedAsideOnceAndReplaced)
{
    paths::ensureDir(homePath("data"));
    writeFile("data/KolWave.sdb", "this is not a compound file");
    Album a(AlbumKindAudio);
    EXPECT_TRUE(a.ListAlbums().empty()) << "readers see nothing";
    EXPECT_TRUE(m_notices.empty()) << "readers move nothing";
    a.Open("Fresh", 0);
    ASSERT_EQ(m_notices.size(), 1u);
    EXPECT_NE(m_notices[0].find("KolWave.sdb.broken-"), std::string::npos) << m_notices[0];
    const QStringList aside =
        QDir(QString::fromStdString(homePath("data"))).entryList({"KolWave.sdb.broken-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readFile(homePath("data/") + aside[0].toStdString()), "this is not a compound file");
    EXPECT_EQ(a.ListAlbumKeys(), std::vector<std::string>{"Fresh"});
    a.Open("Other", 0);
    EXPECT_EQ(m_notices.size(), 1u) << "told once";

    // A compound file without the header is not an album database either.
    auto cf = cfb::CompoundFile::create(Album::DatabasePath(AlbumKindMidi), nullptr);
    cf->writeStream(cfb::kRootEntry, "Header.INF", "Data File for Someone Else");
    cf.reset();
    Album m(AlbumKindMidi);
    m.Open("x", 0);
    EXPECT_EQ(m_notices.size(), 2u);
    EXPECT_EQ(m.ListAlbumKeys(), std::vector<std::string>{"x"});
}

TEST_F(AlbumTest, ABusyDatabase)
{
    Album a(AlbumKindAudio);
    a.Open("Mine", 0);
    a.AddSong("/music/a.mp3");
    ASSERT_TRUE(a.Save());
    {
        auto holder = cfb::CompoundFile::open(Album::DatabasePath(AlbumKindAudio),
                                              cfb::CompoundFile::Mode::Read, nullptr);
        ASSERT_NE(holder, nullptr);
        a.AddSong("/music/b.mp3");
        EXPECT_FALSE(a.Save());
        EXPECT_NE(a.lastError().find("in use"), std::string::npos) << a.lastError();
        Album b(AlbumKindAudio);
        b.Open("Mine", 0);
        EXPECT_EQ(b.songCount(), 0) << "neither open for writing nor for reading works";
    }
    EXPECT_TRUE(a.Save());
}

TEST_F(AlbumTest, AReadOnlyDatabaseIsStillRead)
{
    Album a(AlbumKindAudio);
    a.Open("Mine", 0);
    a.AddSong("/music/a.mp3");
    a.AddSong("/music/b.mp3");
    ASSERT_TRUE(a.Save());
    const std::string database = Album::DatabasePath(AlbumKindAudio);
    ::chmod(database.c_str(), 0444);
    const albumtest::AsNobody nobody(database, home());
    Album c(AlbumKindAudio);
    c.Open("Mine", 0);
    EXPECT_EQ(c.songCount(), 2) << "a read-only database is still read";
    EXPECT_FALSE(c.Save());
}

TEST_F(AlbumTest, TheFirstLoadOfACdImportsItsSystemIniSection)
{
    writeFile("data/cdplayer.ini", "[2a0b3c]\r\ntitle=From Ini\r\nartist=Ini Artist\r\n"
                                   "numtracks=4\r\n0=One\r\n1=Two\r\n3=\r\nEXTT1=second\r\n"
                                   "numplay=2\r\norder=2 0 \r\n");
    Album a(AlbumKindCd);
    a.Open("2A0B3C", 0);
    // Merge mode: the third and fourth titles are both empty, so only the first is added.
    EXPECT_EQ(albumtest::albumText(a), "From Ini|Ini Artist|||play 3 1\n"
                                       "1|One||0|0\n2|Two|second|0|0\n3|||0|0\n");
    // It was written at once; the ini is not read again.
    writeFile("data/cdplayer.ini", "[2a0b3c]\r\ntitle=Changed\r\n");
    Album b(AlbumKindCd);
    b.Open("2a0b3c", 0);
    EXPECT_EQ(b.title(), "From Ini");
}

TEST_F(AlbumTest, PeersReadTheAlbumDatabase)
{
    Album a(AlbumKindAudio);
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 40; ++i) {
        const std::string key = "Album " + std::to_string(i);
        a.Open(key, 0);
        for (int k = 0; k <= i % 5; ++k)
            a.AddSong("/music/" + std::to_string(i) + "/" + std::to_string(k) + ".mp3");
        if (i % 3 == 0)
            a.setProgram({1, 1});
        ASSERT_TRUE(a.Save());
        expected[key] = albumrecords::formatTrackInfo(a.songs());
    }
    a.Open("Album 7", 0);
    a.DeleteAlbum();
    expected.erase("Album 7");

    const QString db = QString::fromStdString(Album::DatabasePath(AlbumKindAudio));
    const auto gsf = [&](const QStringList& args) { return albumtest::run("gsf", args).out; };
    const std::string view =
        albumtest::run("/usr/bin/python3", {KOLVO_SOURCE_DIR "/tests/platform/olefile_peer.py", db})
            .out;
    for (const auto& [key, tracks] : expected) {
        EXPECT_NE(view.find("stream\t" + key + "/TrackInfo.inf\t" + std::to_string(tracks.size()) +
                            "\t" + hex(tracks)),
                  std::string::npos)
            << key;
    }
    EXPECT_EQ(view.find("Album 7/"), std::string::npos);
    EXPECT_NE(view.find("stream\tAlbum 3/PlayList.inf\t8\t0100000001000000"), std::string::npos);

    // libgsf's own tool lists the same albums and reads the same bytes.
    const std::string listing = gsf({"list", db});
    for (const auto& [key, tracks] : expected)
        EXPECT_NE(listing.find(key + "/TrackInfo.inf"), std::string::npos) << key;
    EXPECT_EQ(gsf({"cat", db, "Album 12/TrackInfo.inf"}), expected["Album 12"]);
    EXPECT_EQ(gsf({"cat", db, "RecentAlbum.inf"}), "Album 7\0"s);
}
