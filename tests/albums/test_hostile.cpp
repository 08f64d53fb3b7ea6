// Whatever bytes a play list, a CD player's file, a tag or an album database holds, the readers
// finish without a crash and the user is told plainly when nothing could be read.
#include "albumtesting.h"

#include "albums/cdtext.h"
#include "albums/id3tag.h"
#include "albums/playlist.h"
#include "albums/songname.h"

#include <random>

namespace {

class HostileTest : public KolvoHomeTest
{};

std::string noise(std::mt19937& rng, size_t size)
{
    // Mostly line structure and the characters the formats care about, some raw bytes.
    static const char pieces[] = "[]=\n\r\x0c\x0a\t <>-TAG:/\\.mp3ini0123456789";
    std::string s;
    for (size_t i = 0; i < size; ++i)
        s += (rng() % 4) ? pieces[rng() % (sizeof pieces - 1)] : static_cast<char>(rng());
    return s;
}

} // namespace

TEST_F(HostileTest, EveryReaderSurvivesNoise)
{
    std::mt19937 rng(77);
    Album audio(AlbumKindAudio);
    audio.Open("Target", 0);
    for (int round = 0; round < 150; ++round) {
        const std::string bytes = noise(rng, 1 + rng() % 3000);
        for (const char* ext : {"m3u", "pls", "ini"}) {
            const std::string file = writeFile(std::string("n.") + ext, bytes);
            audio.Import(file, round % 2 == 0);
            std::vector<std::string> list;
            ExpandPlayList(file, list);
        }
        ImportCdFile(writeFile("n.ini", bytes));
        ImportCdFile(writeFile("n.dpc", bytes));
        ImportCdFile(writeFile("n.ncd", "V1.1\n" + bytes));
        Id3Tag tag;
        ReadId3Tag(writeFile("n.mp3", bytes), tag);
        SongDisplayName(homePath("n.mp3"), true);
        SongDisplayName(writeFile("n.ims", bytes), true);
    }
    // Songs from noise are still only files of the family.
    for (const SongEntry& s : audio.songs())
        EXPECT_NE(audio.MediaKindOf(s.title), MediaKindNone) << s.title;
    EXPECT_TRUE(audio.Save());
    Album cd(AlbumKindCd);
    for (const std::string& key : cd.ListAlbumKeys()) {
        ASSERT_TRUE(cd.LoadForReading(key));
        EXPECT_LE(cd.songCount(), 99) << key;
    }
}

TEST_F(HostileTest, ADatabaseThatIsNotOne)
{
    writeFile("data/KolMIDI.sdb", std::string(4096, '\xd0'));
    std::string why;
    EXPECT_FALSE(Album::CheckDatabase(AlbumKindMidi, &why));
    EXPECT_NE(why.find("not a compound file"), std::string::npos) << why;
    EXPECT_TRUE(Album::CheckDatabase(AlbumKindVideo)) << "a missing database is fine";

    const albumtest::Run listed = albumtest::cli(home(), {"album", "list", "midi"});
    EXPECT_EQ(listed.code, 1);
    EXPECT_NE(listed.err.find("KolMIDI.sdb: not a compound file"), std::string::npos);
    // A writer moves it aside: AlbumTest.ADamagedDatabaseIsMovedAsideOnceAndReplaced.
}

// A database whose list of albums cannot be walked (here a directory entry that is its own left
// sibling) passes the header check, yet lists no album. The check says it is damaged, so that
// kolvo-cli says so rather than list nothing (found by fuzzing album databases).
TEST_F(HostileTest, ADatabaseWhoseListOfAlbumsIsDamaged)
{
    {
        Album a(AlbumKindAudio);
        a.Open("One", 0);
        a.AddSong("/music/one.mp3");
        ASSERT_TRUE(a.Save());
        a.Open("Two", 0);
        ASSERT_TRUE(a.Save());
    }
    ASSERT_TRUE(Album::CheckDatabase(AlbumKindAudio));
    std::string bytes = readFile(Album::DatabasePath(AlbumKindAudio));
    const auto get = [&bytes](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
        return v;
    };
    const auto put32 = [&bytes](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    // The first directory sector: entry 0 is the root, whose child (at 76) starts its tree.
    const size_t directory = (size_t{get(48, 4)} + 1) << get(30, 2);
    put32(directory + 76, 1);
    put32(directory + 128 + 68, 1);
    writeFile("data/KolWave.sdb", bytes);
    cfb::dropCachedStates();

    std::string why;
    EXPECT_FALSE(Album::CheckDatabase(AlbumKindAudio, &why));
    EXPECT_NE(why.find("KolWave.sdb: the compound file is damaged"), std::string::npos) << why;
    EXPECT_TRUE(Album(AlbumKindAudio).ListAlbums().empty());

    const albumtest::Run listed = albumtest::cli(home(), {"album", "list", "audio"});
    EXPECT_EQ(listed.code, 1) << "ended by itself, with 1";
    EXPECT_NE(listed.err.find("the compound file is damaged"), std::string::npos);

    // A writer does not write into it (that would bury the albums deeper): the damaged file is
    // kept aside byte for byte, the user told where, and a new database begins.
    std::string told;
    Album::setNotifier([&told](const std::string& text) { told = text; });
    Album writer(AlbumKindAudio);
    writer.Open("Three", 0);
    writer.AddSong("/music/three.mp3");
    EXPECT_TRUE(writer.Save());
    Album::setNotifier(nullptr);
    EXPECT_NE(told.find("KolWave.sdb"), std::string::npos) << told;
    EXPECT_TRUE(Album::CheckDatabase(AlbumKindAudio));
    EXPECT_EQ(Album(AlbumKindAudio).ListAlbumKeys(), std::vector<std::string>{"Three"});
    bool keptAside = false;
    for (const QString& name :
         QDir(QString::fromStdString(homePath("data"))).entryList(QDir::Files))
        keptAside |=
            name != "KolWave.sdb" && readFile(homePath("data/" + name.toStdString())) == bytes;
    EXPECT_TRUE(keptAside) << "the damaged database is kept as it was";
}
