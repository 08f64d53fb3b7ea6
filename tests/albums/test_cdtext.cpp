// CD album import from cdplayer.ini, DiscPlay and NotifyCD files, and the INI and text exports.
#include "albumtesting.h"

#include "albums/cdtext.h"

#include <cstdint>

namespace {

class CdTextTest : public KolvoHomeTest
{
protected:
    Album load(const std::string& key)
    {
        Album a(AlbumKindCd);
        EXPECT_TRUE(a.LoadForReading(key)) << key;
        return a;
    }
};

} // namespace

TEST_F(CdTextTest, CdPlayerIniImport)
{
    std::string ini = "[skipped]\ntitle=No numtracks\n[empty]\nnumtracks=0\ntitle=Zero\n"
                      "[1a2b]\ntitle=Ten\nartist=Band\ngenre=rock\nEXTD=about\nnumtracks=10\n";
    for (int i = 0; i < 5; ++i)
        ini += std::to_string(i) + "=Song " + std::to_string(i + 1) + "\n";
    ini += "numplay=2\norder=9 0 \n[bad:key]\nnumtracks=1\n0=x\n";
    std::vector<std::string> problems;
    EXPECT_EQ(ImportIniFile(writeFile("cdplayer.ini", ini), &problems), 1);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("bad:key"), std::string::npos);

    Album cd(AlbumKindCd);
    EXPECT_EQ(cd.ListAlbumKeys(), std::vector<std::string>{"1a2b"});
    Album a = load("1a2b");
    EXPECT_EQ(a.title(), "Ten");
    EXPECT_EQ(a.artist(), "Band");
    EXPECT_EQ(a.extendedInfo(), "about");
    ASSERT_EQ(a.songCount(), 10);
    EXPECT_EQ(a.GetSong(5)->title, "Song 5");
    EXPECT_EQ(a.GetSong(6)->title, "");
    EXPECT_EQ(a.program(), (std::vector<int32_t>{10, 1}));

    // Importing again overwrites by position and adds nothing.
    writeFile("again.ini", "[1A2B]\nnumtracks=2\n0=Renamed\n");
    EXPECT_EQ(ImportCdFile(homePath("again.ini")), 1);
    Album b = load("1a2b");
    EXPECT_EQ(b.songCount(), 10);
    EXPECT_EQ(b.GetSong(1)->title, "Renamed");
    EXPECT_EQ(b.GetSong(2)->title, "") << "a missing title is an empty one";
    EXPECT_EQ(b.title(), "");
    EXPECT_EQ(ImportCdFile(homePath("again.lst")), -1);
    EXPECT_EQ(ImportIniFile(homePath("missing.ini")), 0);
}

TEST_F(CdTextTest, CdPlayerIniSectionsInTheLegacyCodePage)
{
    text::setLegacyCodePage("CP1252");
    const std::string ini = writeFile(
        "cdplayer.ini", "[Caf\xe9]\r\ntitle=Cr\xe8me\r\nartist=Les Amis\r\nnumtracks=2\r\n"
                        "0=Premi\xe8re\r\n1=Deuxi\xe8me\r\n");
    EXPECT_EQ(ImportIniFile(ini), 1);
    text::setLegacyCodePage("");
    EXPECT_EQ(albumtest::albumText(load("Caf\xc3\xa9")),
              "Cr\xc3\xa8me|Les Amis||\n1|Premi\xc3\xa8re||0|0\n2|Deuxi\xc3\xa8me||0|0\n");
}

TEST_F(CdTextTest, DiscPlayImport)
{
    const std::string dpc =
        "<Disc>\n[Album]\nIN=7f01\nAR=The Band\nTL=First Disc\nCA=jazz\n"
        "[Tracks]\nCT=2\nTT[1]=Opening\nTM[1]=live\nTL[1]=7500\nTO[1]=150\n\n"
        "TT[2]=Closing\nTL[2]=15000\nTO[2]=7650\n"
        "<Disc>\n[album]\nIN=7f02\n[TRACKS]\nCT=3\nTT[1]=Only a title\n\n\nTL[3]=900\n"
        "<Disc>\n[Album]\nTL=No key at all\n[Tracks]\nCT=4\nTT[1]=lost\n";
    EXPECT_EQ(ImportDiscPlay(writeFile("c.dpc", dpc)), 2);
    // The last track has both a length and an offset: the disc timing follows.
    EXPECT_EQ(albumtest::albumText(load("7f01")),
              "First Disc|The Band|jazz||end 22650|302000 ms\n"
              "1|Opening|live|100000|150\n2|Closing||200000|7650\n");
    EXPECT_EQ(albumtest::albumText(load("7f02")),
              "|||\n1|Only a title||0|0\n2|||0|0\n3|||12000|0\n")
        << "no offset for the last track: the disc has no timing";

    // A record that is stored already keeps what the file leaves empty.
    EXPECT_EQ(ImportDiscPlay(writeFile("d.dpc", "[Album]\nIN=7f01\nAR=\n[Tracks]\nCT=1\n"
                                                "TT[1]=Renamed\n")),
              1);
    EXPECT_EQ(albumtest::albumText(load("7f01")),
              "First Disc|The Band|jazz||end 22650|302000 ms\n"
              "1|Renamed|live|100000|150\n2|Closing||200000|7650\n");
    EXPECT_EQ(ImportDiscPlay(homePath("missing.dpc")), 0);
}

TEST_F(CdTextTest, EveryTrackCountReopensTheDisc)
{
    // A second track part takes the album afresh: its titles and timing are the ones kept.
    const std::string dpc =
        "[Album]\nIN=7f03\nTL=Twice\n[Tracks]\nCT=1\nTT[1]=From the first part\n"
        "[Tracks]\nCT=2\nTT[1]=One\n\nTT[2]=Two\nTL[2]=750\nTO[2]=900\n";
    EXPECT_EQ(ImportDiscPlay(writeFile("twice.dpc", dpc)), 1);
    EXPECT_EQ(albumtest::albumText(load("7f03")),
              "Twice||||end 1650|22000 ms\n1|One||0|0\n2|Two||10000|900\n");
}

TEST_F(CdTextTest, DiscPlayTimesBeyondTheRangeStopAtItsEnd)
{
    // Frames of 1/75 s become milliseconds: a count near the 32-bit end has no millisecond
    // value that fits, and neither has the end of such a disc.
    const std::string dpc = "[Album]\nIN=b16\n[Tracks]\nCT=2\n"
                            "TT[1]=Huge\nTL[1]=2147483647\nTO[1]=-2147483648\n\n"
                            "TT[2]=Late\nTL[2]=2000000000\nTO[2]=2000000000\n";
    EXPECT_EQ(ImportDiscPlay(writeFile("huge.dpc", dpc)), 1);
    EXPECT_EQ(albumtest::albumText(load("b16")),
              "||||end 2147483647|2147483647 ms\n1|Huge||2147483647|-2147483648\n"
              "2|Late||2147483647|2000000000\n");
}

TEST_F(CdTextTest, LongLinesAreCutBetweenCharacters)
{
    // Lines stop at 255 bytes; an "é" across that mark goes whole to the next line rather
    // than leaving this one to be read in the legacy code page.
    text::setLegacyCodePage("CP1252");
    const std::string title = std::string(246, 'x') + "\xC3\xA9";
    EXPECT_EQ(ImportDiscPlay(writeFile("long.dpc", "[Album]\nIN=10a\n[Tracks]\nCT=1\nTT[1]=" +
                                                       title + "\xC3\xA9\xC3\xA9\n")),
              1);
    text::setLegacyCodePage("");
    EXPECT_EQ(load("10a").GetSong(1)->title, title);
}

TEST_F(CdTextTest, NotifyCdImport)
{
    EXPECT_EQ(ImportNotifyCd(writeFile("old.ncd", "V1.0\nINI\n1234\nA\nT\nG\n1\nSong\n")), 0);
    Album none(AlbumKindCd);
    EXPECT_TRUE(none.ListAlbumKeys().empty());

    const std::string ncd =
        "v1.1\nignored before the first record\n"
        "INI\n1234\nArtist\nTitle\nGenre\n2\nOne\nTwo\nThree is beyond the songs\n"
        "--------\n\nA\nT\nG\n3\nx\n--\n5678\nB\nU\nH\n0\n";
    EXPECT_EQ(ImportCdFile(writeFile("list.NCD", ncd)), 1);
    EXPECT_EQ(albumtest::albumText(load("1234")), "Title|Artist|Genre|\n1|One||0|0\n2|Two||0|0\n");
    // Opening a new disc creates its album, as every Open does; without songs the import
    // does not save it.
    EXPECT_EQ(albumtest::albumText(load("5678")), "|||\n");
}

TEST_F(CdTextTest, TextListing)
{
    EXPECT_EQ(CdTimeText(3725000), "62:05");
    EXPECT_EQ(CdTimeText(999), "");
    EXPECT_EQ(CdTimeText(1000), "0:01");
    Album a(AlbumKindCd);
    a.Open("b2", 0);
    a.setArtist("Artist");
    a.setTitle("Long One");
    a.setGenre("ambient");
    a.setDiscLengthMs(3725000);
    a.AddSong("Part 1", "slow", 600500, 150);
    a.AddSong("Intro", "", 400, 0);
    a.Save();
    a.Open("a1", 0);
    a.setTitle("Short");
    a.Save();
    ASSERT_TRUE(ExportText(homePath("list.txt")));
    EXPECT_EQ(readFile(homePath("list.txt")), "\tShort\t\t\n\nArtist\tLong One\tambient\t62:05\n"
                                              "1\t10:00\tPart 1\tslow\n2\t\tIntro\t\n\n");
    EXPECT_FALSE(ExportText(homePath("no/folder/list.txt")));
}

TEST_F(CdTextTest, IniExportRoundTrip)
{
    Album a(AlbumKindCd);
    a.Open("c0de", 0);
    a.setTitle("Exported");
    a.setExtendedInfo("two\rlines");
    a.AddSong("One", "note");
    a.AddSong("Two");
    a.setProgram({2});
    a.Save();
    writeFile("out.ini", "[keep]\nk=v\n");
    ASSERT_TRUE(ExportIniFile(homePath("out.ini")));
    const std::string text = readFile(homePath("out.ini"));
    EXPECT_EQ(text.substr(0, 11), "[keep]\nk=v\n");
    EXPECT_NE(text.find("[c0de]\ntitle=Exported\n"), std::string::npos) << text;
    EXPECT_NE(text.find("EXTD=two lines\n"), std::string::npos) << "one line per value";

    // Into an empty home.
    a.DeleteAlbum();
    EXPECT_EQ(ImportIniFile(homePath("out.ini")), 1);
    EXPECT_EQ(albumtest::albumText(load("c0de")),
              "Exported|||two lines|play 2\n1|One|note|0|0\n2|Two||0|0\n");
}
