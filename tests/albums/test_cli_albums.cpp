// kolvo-cli's album, cd, id3 and name commands, run as a user runs them.
#include "albumtesting.h"

namespace {

using CliRun = albumtest::Run;

class CliAlbumTest : public KolvoHomeTest
{
protected:
    CliRun cli(const QStringList& args, const QStringList& env = {})
    {
        return albumtest::cli(home(), args, env);
    }
    QString path(const std::string& relative) const
    {
        return QString::fromStdString(homePath(relative));
    }
};

} // namespace

TEST_F(CliAlbumTest, FileAlbumsFromStartToEnd)
{
    writeFile("m/list.m3u", "a.mp3\nsub\\b.wav\nnotes.txt\n");
    CliRun r = cli({"album", "import", "audio", "Road Mix", path("m/list.m3u")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "2\n");
    EXPECT_NE(r.err.find("1 entry of"), std::string::npos) << "notes.txt is left out: " << r.err;
    EXPECT_EQ(cli({"album", "add", "audio", "Road Mix", "/x/c.mp3", "http://h/s.mp3"}).code, 0);
    EXPECT_EQ(cli({"album", "add", "audio", "Another", "/x/d.mid"}).code, 1)
        << "a MIDI file is not for a digital audio album";
    EXPECT_EQ(cli({"album", "add", "audio", "Second", "/x/e.wav"}).code, 0);

    r = cli({"album", "list", "audio"});
    EXPECT_EQ(r.out, "Second\tSecond\t\nRoad Mix\tRoad Mix\t\n");
    r = cli({"album", "show", "audio", "road mix"});
    EXPECT_EQ(r.code, 0) << "names are found without regard to case";
    EXPECT_EQ(r.out, "title: Road Mix\nartist: \ngenre: \next: \nrevision: 0\n"
                     "discLengthMs: 0\ndiscEndFrame: 0\nprogram:\n1\t" +
                         homePath("m/a.mp3") + "\t\t0\t0\n2\t" + std::string("sub/b.wav") +
                         "\t\t0\t0\n3\t/x/c.mp3\t\t0\t0\n4\thttp://h/s.mp3\t\t0\t0\n");

    EXPECT_EQ(cli({"album", "export", "audio", "Road Mix", path("out.pls")}).code, 0);
    EXPECT_EQ(readFile(homePath("out.pls")).substr(0, 29), "[playlist]\nNumberOfEntries=4\n");
    EXPECT_EQ(cli({"album", "delete", "audio", "Second"}).code, 0);
    EXPECT_EQ(cli({"album", "list", "audio"}).out, "Road Mix\tRoad Mix\t\n");
}

TEST_F(CliAlbumTest, MistakesGetOneLineAndTheRightCode)
{
    const struct
    {
        QStringList args;
        int code;
        const char* message;
    } cases[] = {
        {{"album"}, 2, "album takes"},
        {{"album", "list", "vinyl"}, 2, "unknown album kind vinyl"},
        {{"album", "show", "cd"}, 2, "wrong arguments"},
        {{"album", "show", "cd", "nothing"}, 1, "no album \"nothing\""},
        {{"album", "delete", "midi", "nothing"}, 1, "no album"},
        {{"album", "add", "video", "a:b", "x.avi"}, 1, "can't be used"},
        {{"album", "add", "video", std::string(33, 'k').c_str(), "x.avi"}, 1, "32 characters"},
        {{"album", "import", "audio", "A", "list.txt"}, 2, "not a play list"},
        {{"album", "import", "audio", "A", "missing.m3u"}, 1, "cannot read missing.m3u"},
        {{"album", "export", "audio", "A", "x.lst"}, 2, "not a play list"},
        {{"cd", "import", "x.cue"}, 2, ".ini, .dpc and .ncd"},
        {{"cd", "import", "missing.ini"}, 1, "cannot read"},
        {{"cd", "export", "x.lst"}, 2, ".ini and .txt"},
        {{"cd", "export", "/no/such/folder/x.txt"}, 1, "no CD albums to export"},
        {{"id3", "show", "missing.mp3"}, 1, "cannot read"},
        {{"id3", "write", "x.mp3", "--tempo", "1"}, 2, "unknown id3 write option"},
        {{"id3", "write", "x.mp3", "--title"}, 2, "needs a value"},
        {{"name"}, 2, "name takes"},
    };
    for (const auto& c : cases) {
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos)
            << c.args.join(' ').toStdString() << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST_F(CliAlbumTest, CdAlbums)
{
    // Nothing to export is a failure (MistakesGetOneLineAndTheRightCode), not an empty file; a
    // CD album is not made of files.
    EXPECT_EQ(cli({"cd", "export", path("none.txt")}).code, 1);
    EXPECT_FALSE(QFileInfo::exists(path("none.txt")));
    writeFile("song.wav", "RIFF");
    const CliRun added = cli({"album", "add", "cd", "X", path("song.wav")});
    EXPECT_NE(added.err.find("made from a disc"), std::string::npos) << added.err;
    EXPECT_EQ(added.code, 1);
    EXPECT_EQ(cli({"album", "list", "cd"}).out, "") << "no album was made";

    writeFile("cdplayer.ini", "[1a2b]\ntitle=Two\nartist=Band\nEXTD=x\nnumtracks=2\n0=One\n"
                              "1=Tab\there\nnumplay=2\norder=1 0 \n[bad!key]\nnumtracks=1\n");
    CliRun r = cli({"cd", "import", path("cdplayer.ini")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1\n");
    EXPECT_NE(r.err.find("skipped: The album name \"bad!key\""), std::string::npos) << r.err;
    r = cli({"album", "show", "cd", "1a2b"});
    EXPECT_EQ(r.out, "title: Two\nartist: Band\ngenre: \next: x\nrevision: 0\ndiscLengthMs: 0\n"
                     "discEndFrame: 0\nprogram: 2 1\n1\tOne\t\t0\t0\n2\tTab\\there\t\t0\t0\n");
    EXPECT_EQ(cli({"album", "list", "cd"}).out, "1a2b\tTwo\tBand\n");
    writeFile("d.dpc", "[Album]\nIN=ff\nTL=Disc\n[Tracks]\nCT=1\nTT[1]=Only\nTL[1]=750\n"
                       "TO[1]=150\n");
    EXPECT_EQ(cli({"cd", "import", path("d.dpc")}).out, "1\n");
    EXPECT_EQ(cli({"cd", "export", path("all.txt")}).code, 0);
    EXPECT_EQ(readFile(homePath("all.txt")).substr(0, 26), "\tDisc\t\t0:12\n1\t0:10\tOnly\t\n\n")
        << "ff (2 characters) before 1a2b (4)";
    EXPECT_EQ(cli({"cd", "export", path("all.ini")}).code, 0);
    EXPECT_NE(readFile(homePath("all.ini")).find("[ff]\ntitle=Disc\n"), std::string::npos);
    EXPECT_NE(cli({"cd", "export", "/no/such/folder/x.txt"}).err.find("cannot write"),
              std::string::npos);
}

TEST_F(CliAlbumTest, Id3TagsAndNames)
{
    const std::string mp3 = writeFile("s.mp3", std::string(1000, 'm'));
    CliRun r = cli({"id3", "show", path("s.mp3")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("has no ID3v1 tag"), std::string::npos) << r.err;
    EXPECT_EQ(cli({"id3", "write", path("s.mp3")}).code, 0);
    EXPECT_EQ(readFile(mp3).size(), 1000u) << "an empty record is not written";
    EXPECT_EQ(cli({"id3", "write", path("s.mp3"), "--title", "Caf\xc3\xa9", "--artist", "Band",
                   "--year", "1999", "--genre", "jazz+funk"})
                  .code,
              0);
    EXPECT_EQ(readFile(mp3).size(), 1128u);
    r = cli({"id3", "show", path("s.mp3")});
    EXPECT_EQ(r.out, "title: Caf\xc3\xa9\nartist: Band\nalbum: \nyear: 1999\ncomment: \n"
                     "genre: 29 Jazz+Funk\n");
    EXPECT_EQ(cli({"name", path("s.mp3"), "--tags"}).out, "s.mp3,  [Caf\xc3\xa9 / Band]\n");
    // Changing one field keeps the others.
    EXPECT_EQ(cli({"id3", "write", path("s.mp3"), "--genre", "-1"}).code, 0);
    EXPECT_EQ(cli({"id3", "show", path("s.mp3")}).out,
              "title: Caf\xc3\xa9\nartist: Band\nalbum: \nyear: 1999\ncomment: \ngenre: -1\n");

    for (const QStringList& bad :
         {QStringList{"--year", "19999"}, {"--genre", "polka-dots"}, {"--genre", "256"}})
        EXPECT_EQ(cli(QStringList{"id3", "write", path("s.mp3")} + bad).code, 1)
            << bad.join(' ').toStdString();
    EXPECT_EQ(cli({"id3", "remove", path("s.mp3")}).code, 0);
    EXPECT_EQ(readFile(mp3), std::string(1000, 'm'));
    writeFile("tiny.mp3", "tiny");
    EXPECT_EQ(cli({"id3", "write", path("tiny.mp3"), "--title", "x"}).code, 1);
    EXPECT_EQ(cli({"id3", "remove", path("tiny.mp3")}).code, 1);
}

// A Korean title whose last two bytes are a lead byte and a trail byte with no character: glibc
// consumes both before it reports them.
TEST_F(CliAlbumTest, ATitleEndingInABadKoreanPair)
{
    // "한글 Song 7글" and the bad pair: 15 bytes.
    const std::string title = "\xc7\xd1\xb1\xdb Song 7\xb1\xdb\xa2\xe8";
    std::string tag = "TAG" + title + std::string(30 - title.size(), '\0') + "Band" +
                      std::string(26, '\0') + std::string(30, '\0') + "1999" +
                      std::string(30, '\0') + "\xff";
    ASSERT_EQ(tag.size(), 128u);
    writeFile("k.mp3", std::string(1000, 'm') + tag);
    const std::string shown = "\xed\x95\x9c\xea\xb8\x80 Song 7\xea\xb8\x80\xef\xbf\xbd";
    const QStringList koreanByCodePage{"KOLVO_LANG=en", "KOLVO_CODEPAGE=CP949"};
    const QStringList koreanByLanguage{"KOLVO_LANG=ko", "KOLVO_CODEPAGE="};
    for (const QStringList& korean : {koreanByCodePage, koreanByLanguage}) {
        SCOPED_TRACE(korean.join(' ').toStdString());
        CliRun r = cli({"id3", "show", path("k.mp3")}, korean);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "title: " + shown);
        r = cli({"name", path("k.mp3"), "--tags"}, korean);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "k.mp3,  [" + shown + " / Band]\n");
    }
}
