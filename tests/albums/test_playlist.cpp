// Profile files, M3U and PLS play lists and the INI album section.
#include "albumtesting.h"

#include "albums/playlist.h"
#include "albums/profilefile.h"

using namespace std::string_literals;

namespace {

class PlayListTest : public KolvoHomeTest
{};

std::string numbered(char prefix, int n)
{
    std::string s(1, prefix);
    s += std::to_string(n);
    return s;
}

using albumtest::albumText;
using albumtest::songTitles;

} // namespace

TEST(ProfileFile, ReadsTheWindowsForm)
{
    text::setLegacyCodePage("CP1252");
    const ProfileFile f = ProfileFile::parse("; a comment\r\ntop=ignored\r\n"
                                             "[ Disc ]  trailing\r\n  Title =  Spaced Out  \r\n"
                                             "title=second one loses\r\nquoted=\"  kept  \"\r\n"
                                             "half=\"open\r\nnum=  -42abc\r\nlegacy=Caf\xe9\r\n"
                                             "noequals\r\n[other]\r\ntitle=Other\r\n[DISC]\r\n"
                                             "late=also in the first\r\n");
    EXPECT_EQ(f.sectionNames(), (std::vector<std::string>{"Disc", "other"}));
    EXPECT_EQ(f.GetString("disc", "TITLE"), "Spaced Out");
    EXPECT_EQ(f.GetString("Disc", "quoted"), "  kept  ");
    EXPECT_EQ(f.GetString("Disc", "half"), "\"open");
    EXPECT_EQ(f.GetInt("Disc", "num", 7), -42);
    EXPECT_EQ(f.GetInt("Disc", "missing", 7), 7);
    EXPECT_EQ(f.GetInt("Disc", "title", 7), 0);
    EXPECT_EQ(f.GetString("Disc", "legacy"), "Caf\xc3\xa9");
    EXPECT_EQ(f.GetString("Disc", "noequals", "dflt"), "dflt");
    EXPECT_EQ(f.GetString("Disc", "late", "dflt"), "dflt") << "a repeated section is not read";
    EXPECT_EQ(f.GetString("nosuch", "title", "dflt"), "dflt");
    EXPECT_FALSE(f.hasSection("top"));
    EXPECT_TRUE(f.hasKey("OTHER", "Title"));

    // Values are cut at 511 bytes, never inside a character.
    const std::string longValue = std::string(510, 'x') + "\xc3\xa9" + "tail";
    const ProfileFile g = ProfileFile::parse("[s]\nk=" + longValue + "\n");
    EXPECT_EQ(g.GetString("s", "k"), std::string(510, 'x'));
    text::setLegacyCodePage("");
}

TEST(ProfileFile, WritingKeepsWhatItDoesNotTouch)
{
    ProfileFile f = ProfileFile::parse("; keep me\r\n[playlist]\r\nFile1=old.mp3\r\n"
                                       "Length1=123\r\n\r\n[Extra]\r\nCustom=1\r\n");
    f.WriteString("PLAYLIST", "file1", "new.mp3");
    f.WriteInt("playlist", "NumberOfEntries", 1);
    f.WriteString("fresh", "k", "line\nbreak");
    EXPECT_EQ(f.serialize(), "; keep me\r\n[playlist]\r\nfile1=new.mp3\r\nLength1=123\r\n"
                             "NumberOfEntries=1\r\n\r\n[Extra]\r\nCustom=1\r\n[fresh]\r\n"
                             "k=line break\r\n");
    // A byte-order mark stays where it was.
    ProfileFile bom = ProfileFile::parse("\xEF\xBB\xBF[s]\r\nk=v\r\n");
    EXPECT_EQ(bom.GetString("s", "k"), "v");
    bom.WriteString("s", "k", "w");
    EXPECT_EQ(bom.serialize(), "\xEF\xBB\xBF[s]\r\nk=w\r\n");

    // Many keys into many sections, then every one read back.
    ProfileFile big;
    for (int s = 0; s < 300; ++s) {
        for (int k = 0; k < 20; ++k)
            big.WriteInt(numbered('s', s), std::to_string(k), s * 100 + k);
    }
    const ProfileFile again = ProfileFile::parse(big.serialize());
    for (int s = 0; s < 300; s += 7) {
        for (int k = 0; k < 20; k += 3)
            ASSERT_EQ(again.GetInt(numbered('S', s), std::to_string(k), -1), s * 100 + k);
    }
}

TEST_F(PlayListTest, EntriesResolveAgainstTheListsFolder)
{
    EXPECT_EQ(ResolvePlayListEntry("song.mp3", "/music/list.m3u"), "/music/song.mp3");
    // An entry with a folder of its own stays as written; "\\" becomes "/".
    EXPECT_EQ(ResolvePlayListEntry("sub\\song.mp3", "/music/list.m3u"), "sub/song.mp3");
    EXPECT_EQ(ResolvePlayListEntry("../song.mp3", "/music/list.m3u"), "../song.mp3");
    EXPECT_EQ(ResolvePlayListEntry("/abs/song.mp3", "/music/list.m3u"), "/abs/song.mp3");
    // URIs of this machine's files become their paths, escapes decoded.
    EXPECT_EQ(ResolvePlayListEntry("file:///home/u/My%20Music/%C3%A9t%C3%A9.ogg", "/l.m3u"),
              "/home/u/My Music/\xC3\xA9t\xC3\xA9.ogg");
    EXPECT_EQ(ResolvePlayListEntry("FILE://localhost/a%2fb%zz.mp3", "/l.m3u"), "/a/b%zz.mp3");
    EXPECT_EQ(ResolvePlayListEntry("file://otherhost/share/a.mp3", "/l.m3u"),
              "file://otherhost/share/a.mp3");
    EXPECT_EQ(ResolvePlayListEntry("C:\\Music\\a.mp3", "/music/list.m3u"), "C:/Music/a.mp3");
    EXPECT_EQ(ResolvePlayListEntry("http://host/radio/x.mp3", "/music/list.m3u"),
              "http://host/radio/x.mp3");
    EXPECT_EQ(ResolvePlayListEntry("song.mp3", "list.m3u"), "song.mp3");
    EXPECT_EQ(ResolvePlayListEntry("song.mp3", "D:\\Music\\list.m3u"), "D:/Music/song.mp3");
}

TEST_F(PlayListTest, M3uImport)
{
    const std::string list = writeFile("music/list.m3u", "\xEF\xBB\xBF#EXTM3U\r\none.mp3\r\n"
                                                         "  sub\\two.wav  \r\nnotes.txt\r\n"
                                                         "http://radio/live.mp3\n\r\n"
                                                         "after-the-blank.mp3\n");
    Album a(AlbumKindAudio);
    EXPECT_EQ(a.Import(list, false), 3);
    EXPECT_EQ(songTitles(a), (std::vector<std::string>{homePath("music/one.mp3"), "sub/two.wav",
                                                       "http://radio/live.mp3"}));
    // Without merge the entries replace the songs by position; nothing is added twice.
    EXPECT_EQ(a.Import(list, false), 0);
    EXPECT_EQ(a.songCount(), 3);
    // A line longer than 511 bytes goes on as the next entry: the first 511 bytes have no
    // extension and are skipped, the other 96 make an entry of their own.
    const std::string longName = std::string(600, 'x') + ".mp3";
    Album b(AlbumKindAudio);
    EXPECT_EQ(b.Import(writeFile("long.m3u", "/m/" + longName + "\n"), false), 1);
    EXPECT_EQ(b.GetSong(1)->title, homePath(std::string(92, 'x') + ".mp3"));
    // Lists that are not lists, or are missing.
    EXPECT_EQ(b.Import(writeFile("list.txt", "a.mp3\n"), false), 0);
    EXPECT_EQ(b.Import(homePath("missing.m3u"), false), 0);
}

// Lists as Linux programs write them: extended M3U with titles, URIs and relative folders.
TEST_F(PlayListTest, ExtendedM3uTitlesUrisAndSkippedEntries)
{
    const std::string list = writeFile("lists/mix.m3u", "#EXTM3U\n"
                                                        "#EXTINF:215,Artist - First Song\n"
                                                        "../music/one.ogg\n"
                                                        "file:///srv/My%20Songs/two.flac\n"
                                                        "#EXTINF:-1,Cover art\ncover.jpg\n"
                                                        "#EXTINF:10,  Third  \nthree.mp3\n"
                                                        "notes.txt\n");
    Album a(AlbumKindAudio);
    int skipped = -1;
    EXPECT_EQ(a.Import(list, true, &skipped), 3);
    EXPECT_EQ(skipped, 2) << "cover.jpg and notes.txt; the directives are no entries";
    EXPECT_EQ(albumText(a), "|||\n1|../music/one.ogg|Artist - First Song|0|0\n"
                            "2|/srv/My Songs/two.flac||0|0\n3|" +
                                homePath("lists/three.mp3") + "|Third|0|0\n")
        << "a title names only the entry after it";

    // PLS titles are kept the same way, without merge too.
    const std::string pls = writeFile("lists/p.pls", "[playlist]\nNumberOfEntries=2\n"
                                                     "File1=sub/a.opus\nTitle1=Opus Song\n"
                                                     "File2=b.wma\n");
    Album b(AlbumKindAudio);
    b.AddSong("/old.mp3", "old text");
    EXPECT_EQ(b.Import(pls, false, &skipped), 1);
    EXPECT_EQ(skipped, 0);
    EXPECT_EQ(albumText(b),
              "|||\n1|sub/a.opus|Opus Song|0|0\n2|" + homePath("lists/b.wma") + "||0|0\n");

    // Expanding a list (a drop on the album editor) leaves the directives out as well.
    std::vector<std::string> expanded;
    ExpandPlayList(list, expanded);
    ASSERT_EQ(expanded.size(), 5u);
    EXPECT_EQ(expanded[0], "../music/one.ogg");
    EXPECT_EQ(expanded[1], "/srv/My Songs/two.flac");
}

TEST_F(PlayListTest, LongLinesAreCutBetweenCharacters)
{
    // An "é" across the 511-byte mark: cutting inside it would leave neither piece UTF-8, and
    // both would be read in the legacy code page.
    text::setLegacyCodePage("CP1252");
    const std::string head = "/m/" + std::string(507, 'x');
    EXPECT_EQ(ReadLineList(head + "\xC3\xA9t\xC3\xA9.mp3\n"),
              (std::vector<std::string>{head, "\xC3\xA9t\xC3\xA9.mp3"}));
    // So in the legacy code page: Korean takes two bytes a letter in code page 949.
    text::setLegacyCodePage("CP949");
    EXPECT_EQ(ReadLineList(head + "\xC7\xD1\xB1\xDB.mp3\n"),
              (std::vector<std::string>{head, "\xED\x95\x9C\xEA\xB8\x80.mp3"}));
    // And a value of a profile file, which stops at 511 bytes.
    const ProfileFile korean =
        ProfileFile::parse("[s]\nk=" + std::string(510, 'x') + "\xC7\xD1\xB1\xDB\n");
    EXPECT_EQ(korean.GetString("s", "k"), std::string(510, 'x'));
    text::setLegacyCodePage("");
}

TEST_F(PlayListTest, PlsImportWithAndWithoutMerge)
{
    const std::string pls = writeFile("p.pls", "[playlist]\nNumberOfEntries=4\n"
                                               "File1=/MUSIC/A.MP3\nFile2=/music/b.mp3\n"
                                               "File3=/music/readme.txt\nFile4=/music/c.mp3\n");
    Album a(AlbumKindAudio);
    a.AddSong("/music/a.mp3");
    EXPECT_EQ(a.Import(pls, true), 2) << "merge does not add a.mp3 again in another case";
    EXPECT_EQ(songTitles(a),
              (std::vector<std::string>{"/music/a.mp3", "/music/b.mp3", "/music/c.mp3"}));

    Album b(AlbumKindAudio);
    b.AddSong("/old/1.mp3", "info", 5000, 7);
    EXPECT_EQ(b.Import(pls, false), 2);
    EXPECT_EQ(songTitles(b),
              (std::vector<std::string>{"/MUSIC/A.MP3", "/music/b.mp3", "/music/c.mp3"}));
    EXPECT_EQ(b.GetSong(1)->extendedInfo, "");
    EXPECT_EQ(b.GetSong(1)->lengthMs, 0);

    // A missing File key ends the list; a hostile count does not run away.
    Album c(AlbumKindAudio);
    EXPECT_EQ(c.Import(writeFile("gap.pls", "[playlist]\nNumberOfEntries=2000000000\n"
                                            "File1=x.mp3\nFile3=y.mp3\n"),
                       false),
              1);
    EXPECT_EQ(c.Import(writeFile("none.pls", "[playlist]\nFile1=x.mp3\n"), false), 0);
}

TEST_F(PlayListTest, IniSectionImport)
{
    const std::string ini = writeFile("album.ini", "[Mix]\ntitle=Kept until a load\n"
                                                   "artist=Various\nEXTD=About it\ngenre=Pop\n"
                                                   "numtracks=3\n0=/m/a.mp3\n1=/m/b.doc\n"
                                                   "2=/m/c.mp3\nEXTT2=third\nnumplay=3\n"
                                                   "order=2 0 1 \n");
    Album a(AlbumKindAudio);
    a.Open("Mix", 0);
    EXPECT_EQ(a.Import(ini, false), 2);
    EXPECT_EQ(albumText(a), "Kept until a load|Various|Pop|About it|play 3 1 "
                            "2\n1|/m/a.mp3||0|0\n2|/m/c.mp3|third|0|0\n");

    ProfileFile more = ProfileFile::parse("[Mix]\nnumplay=5\norder=2 0 1 \n");
    a.ImportIni(more, true);
    EXPECT_EQ(a.program(), (std::vector<int32_t>{3, 1, 2}));
    EXPECT_EQ(a.programCount(), 3) << "numplay 5 but three entries";
    a.ImportIni(ProfileFile::parse("[Mix]\nnumplay=0\norder=1 \n"), true);
    EXPECT_EQ(a.programCount(), 0);
    a.ImportIni(ProfileFile::parse("[Mix]\nnumplay=2\norder=4 5 6 \n"), true);
    EXPECT_EQ(a.program(), (std::vector<int32_t>{5, 6}));
    EXPECT_EQ(a.title(), "") << "title and the others are taken even when absent";
    // CD albums, which take every title: AlbumTest.TheFirstLoadOfACdImportsItsSystemIniSection.
}

// INI play lists written on a Japanese system hold Shift-JIS; "ソ" and "表" end in 5C, which is
// also the backslash of a Windows path.
TEST_F(PlayListTest, AJapaneseInterfaceReadsShiftJisLists)
{
    unsetenv("KOLVO_CODEPAGE");
    setInterfaceLanguage("ja");
    QStringEncoder toSjis("Shift_JIS");
    const auto sjis = [&](const char* utf8) {
        return QByteArray(toSjis.encode(QString::fromUtf8(utf8))).toStdString();
    };
    std::string bytes = "[Mix]\n";
    bytes += "artist=" + sjis("山田太郎") + "\n";
    bytes += "EXTD=" + sjis("表示のテスト") + "\n";
    bytes += "numtracks=2\n";
    bytes += "0=/m/" + sjis("ソング") + ".mp3\n";
    bytes += "1=/m/" + sjis("表") + ".mp3\n";
    const std::string ini = writeFile("j/album.ini", bytes);
    Album a(AlbumKindAudio);
    a.Open("Mix", 0);
    EXPECT_EQ(a.Import(ini, false), 2);
    EXPECT_EQ(albumText(a), "|山田太郎||表示のテスト\n1|/m/ソング.mp3||0|0\n2|/m/表.mp3||0|0\n");

    // An INI file of plain lines is a list of songs beside it.
    std::vector<std::string> list;
    ExpandPlayList(
        writeFile("j/lines.ini", sjis("ソング") + ".mp3\r\n" + sjis("表示") + ".mp3\r\n"), list);
    EXPECT_EQ(list, (std::vector<std::string>{homePath("j/ソング.mp3"), homePath("j/表示.mp3")}));
    setInterfaceLanguage("");
}

TEST_F(PlayListTest, SectionsNamedInTheLegacyCodePageAreFound)
{
    // Another program wrote the album's section in Windows-1252; the album key is UTF-8.
    text::setLegacyCodePage("CP1252");
    const std::string ini = writeFile("legacy.ini", "[Caf\xe9]\r\nartist=Les Amis\r\n"
                                                    "EXTD=En direct\r\ngenre=Chanson\r\n"
                                                    "numtracks=2\r\n0=/m/un.mp3\r\n"
                                                    "1=/m/deux.mp3\r\nnumplay=1\r\norder=1 \r\n");
    Album a(AlbumKindAudio);
    ASSERT_TRUE(a.Open("Caf\xc3\xa9", 0));
    EXPECT_EQ(a.Import(ini, false), 2);
    EXPECT_EQ(albumText(a),
              "|Les Amis|Chanson|En direct|play 2\n1|/m/un.mp3||0|0\n2|/m/deux.mp3||0|0\n");

    // Writing the album back goes into that section rather than beside it.
    a.setArtist("Autres");
    ASSERT_TRUE(a.Export(ini));
    const ProfileFile written = ProfileFile::parse(readFile(ini));
    EXPECT_EQ(written.sectionNames(), std::vector<std::string>{"Caf\xc3\xa9"});
    EXPECT_EQ(written.GetString("Caf\xc3\xa9", "artist"), "Autres");

    // Names match as text without regard to case, whichever side is legacy.
    const ProfileFile upper = ProfileFile::parse("[CAF\xc9]\nk=1\n[\xc3\xa9t\xc3\xa9]\nk=2\n");
    EXPECT_EQ(upper.GetInt("caf\xc3\xa9", "k", 0), 1);
    EXPECT_EQ(upper.GetInt("\xc9T\xc9", "k", 0), 2);
    EXPECT_FALSE(upper.hasSection("Cafe"));
    text::setLegacyCodePage("");
}

TEST_F(PlayListTest, AnIniWithoutTheAlbumsSectionChangesNothing)
{
    Album a(AlbumKindAudio);
    ASSERT_TRUE(a.Open("Mine", 0));
    a.setArtist("Me");
    a.setGenre("Folk");
    a.setExtendedInfo("Notes");
    a.AddSong("/m/a.mp3", "first");
    a.setProgram({1});
    const std::string ini =
        writeFile("other.ini", "[Other]\nartist=Someone\nnumtracks=1\n0=/m/b.mp3\n"
                               "numplay=1\norder=0 \n");
    EXPECT_EQ(a.Import(ini, false), 0);
    EXPECT_EQ(a.Import(ini, true), 0);
    EXPECT_EQ(albumText(a), "|Me|Folk|Notes|play 1\n1|/m/a.mp3|first|0|0\n");
}

TEST_F(PlayListTest, ExportAndBackAgain)
{
    Album a(AlbumKindAudio);
    a.Open("Out", 0);
    EXPECT_TRUE(a.Export(homePath("empty.pls")));
    EXPECT_EQ(readFile(homePath("empty.pls")), "[playlist]\nNumberOfEntries=0\n");
    EXPECT_TRUE(a.Export(homePath("empty.m3u")));
    EXPECT_EQ(readFile(homePath("empty.m3u")), "");

    a.AddSong("/m/a.mp3", "first");
    a.AddSong("http://radio/b.mp3");
    a.setArtist("Me");
    a.setProgram({2, 1});
    EXPECT_TRUE(a.Export(homePath("out.m3u")));
    EXPECT_EQ(readFile(homePath("out.m3u")), "/m/a.mp3\nhttp://radio/b.mp3\n");
    writeFile("out.pls", "[playlist]\nFile9=stale.mp3\nVersion=2\n[other]\nx=1\n");
    EXPECT_TRUE(a.Export(homePath("out.pls")));
    EXPECT_EQ(readFile(homePath("out.pls")), "[playlist]\nFile9=stale.mp3\nVersion=2\n"
                                             "NumberOfEntries=2\nFile1=/m/a.mp3\n"
                                             "File2=http://radio/b.mp3\n[other]\nx=1\n");
    EXPECT_TRUE(a.Export(homePath("out.ini")));
    // A new file album has no title until it is loaded again (then its key is its title).
    EXPECT_EQ(readFile(homePath("out.ini")), "[Out]\ntitle=\nartist=Me\nEXTD=\ngenre=\n"
                                             "numtracks=2\n0=/m/a.mp3\nEXTT0=first\n"
                                             "1=http://radio/b.mp3\nEXTT1=\nnumplay=2\n"
                                             "order=1 0 \n");
    EXPECT_FALSE(a.Export(homePath("out.lst")));
    EXPECT_FALSE(a.Export(homePath("no/such/folder/out.m3u")));

    Album b(AlbumKindAudio);
    b.Open("Out", 0);
    EXPECT_EQ(b.Import(homePath("out.ini"), false), 2);
    EXPECT_EQ(albumText(b), "|Me|||play 2 1\n1|/m/a.mp3|first|0|0\n2|http://radio/b.mp3||0|0\n");
}

TEST_F(PlayListTest, ExpandAndTheTemporaryList)
{
    std::vector<std::string> list{"already"};
    ExpandPlayList(writeFile("d/x.m3u", "a.mp3\nnot-media.txt\n"), list);
    ExpandPlayList(writeFile("d/y.pls", "[playlist]\nNumberOfEntries=1\nFile1=b.mid\n"), list);
    ExpandPlayList(writeFile("d/z.ini", "c.mp3\n"), list);
    ExpandPlayList(writeFile("d/w.txt", "d.mp3\n"), list);
    EXPECT_EQ(list,
              (std::vector<std::string>{"already", homePath("d/a.mp3"), homePath("d/not-media.txt"),
                                        homePath("d/b.mid"), homePath("d/c.mp3")}));

    const std::string temp = WriteTempPlayList({"/m/1.mp3", "/m/2 two.mp3"});
    EXPECT_EQ(temp, homePath("data/$$TEMP$$.M3U"));
    EXPECT_EQ(readFile(temp), "/m/1.mp3\n/m/2 two.mp3\n");
    // The hand-off: an album closed (no key, never saved) takes the list with merge.
    Album a(AlbumKindAudio);
    a.Close();
    EXPECT_EQ(a.Import(temp, true), 2);
    EXPECT_TRUE(a.Save()) << "nothing to save without a key";
    EXPECT_TRUE(a.ListAlbumKeys().empty());
}
