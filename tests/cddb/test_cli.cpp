// kolvo-cli cddb: the commands run as a separate process against servers of this test.
#include "cddbtesting.h"
#include "fakecddbserver.h"

#include "albums/album.h"
#include "cddb/xmcd.h"
#include "platform/strings.h"
#include "support/testhome.h"

namespace {

// A CD album of three tracks in the test's database.
void makeAlbum(const std::string& key, const std::string& title, int revision = 0)
{
    Album album(AlbumKindCd);
    ASSERT_TRUE(album.Open(key, 0));
    album.AddSong("One", "", 264000, 150);
    album.AddSong("Two", "", 280000, 20000);
    album.AddSong("Three", "", 252000, 41000);
    album.setTitle(title);
    album.setArtist("The Examples");
    album.setGenre("Rock");
    album.setRevision(revision);
    album.setDiscEndFrame(60000);
    album.setDiscLengthMs(800000);
    ASSERT_TRUE(album.Save());
}

Album stored(const std::string& key)
{
    Album album(AlbumKindCd);
    EXPECT_TRUE(album.LoadForReading(key));
    return album;
}

const std::string kThreeTrackId = [] {
    CddbDiscInfo info;
    ComputeDiscId(CddbAlbumFromToc({150, 20000, 41000}, 60000), info);
    return DiscIdText(info.discId);
}();

FakeCddbScript threeTrackDisc()
{
    FakeCddbScript s;
    s.queryReply = "200 jazz " + kThreeTrackId + " Quartet / Late Set\r\n";
    s.readReplies["jazz " + kThreeTrackId] = FakeCddbServer::readReply(
        "jazz", kThreeTrackId,
        {"# Revision: 6", "DTITLE=Quartet / Late Set", "DYEAR=1961", "DGENRE=Cool Jazz",
         "TTITLE0=Intro", "TTITLE1=Ballad", "TTITLE2=Caf\xe9", "EXTT0=", "EXTT1=slow\\ntake"});
    return s;
}

class CddbCli : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setenv("KOLVO_LANG", "en", 1);
    }
};

} // namespace

TEST_F(CddbCli, DiscIdFromATableOfContentsOrAnAlbum)
{
    CliRun r = runCli({"cddb", "discid", "--offsets", "150", "--leadout", "15150"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0200c801\ncddb query 0200c801 1 150 202\n");

    makeAlbum("a1b2c3", "Night Songs");
    r = runCli({"cddb", "discid", "--album", "a1b2c3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, kThreeTrackId + "\ncddb query " + kThreeTrackId + " 3 150 20000 41000 800\n");

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"cddb", "discid", "--offsets", "150,x", "--leadout", "9000"},
          {"cddb", "discid", "--offsets", "150,100", "--leadout", "9000"},
          {"cddb", "discid", "--offsets", "150", "--leadout", "100"},
          {"cddb", "discid", "--offsets", "150", "--leadout", "123456789"},
          {"cddb", "discid", "--offsets", "150"},
          {"cddb", "discid", "--loud"},
          {"cddb", "shout"}}) {
        r = runCli(bad);
        EXPECT_EQ(r.exitCode, 2) << bad.back() << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    r = runCli({"cddb", "discid", "--album", "nosuch"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kolvo-cli: no CD album nosuch\n");
}

TEST_F(CddbCli, RecordIsTheSubmissionText)
{
    makeAlbum("a1b2c3", "Night Songs", 4);
    CliRun r = runCli({"cddb", "record", "--album", "a1b2c3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The record's layout is the library's (cddb_record_tests); here: the stored album's disc
    // and its next revision.
    const auto lines = crlfLines(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "# Revision: 5"), lines.end()) << r.out;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "DISCID=3D" + kThreeTrackId), lines.end());
    EXPECT_TRUE(r.err.empty());

    makeAlbum("badbad", "AC/DC");
    r = runCli({"cddb", "record", "--album", "badbad"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find(LoadString(1154)), std::string::npos) << r.err;

    // "Café" is ISO-8859-1: it is written as such, and nothing claims otherwise.
    makeAlbum("cafe00", "Caf\xc3\xa9 Nights");
    r = runCli({"cddb", "record", "--album", "cafe00"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err.find("ISO-8859-1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("beyond ASCII"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("DTITLE=3DThe Examples / Caf=E9 Nights"), std::string::npos) << r.out;
    // A real fault beside it is still named.
    makeAlbum("cafe01", "Caf\xc3\xa9/Bar");
    r = runCli({"cddb", "record", "--album", "cafe01"});
    EXPECT_NE(r.err.find(LoadString(1154)), std::string::npos) << r.err;
}

TEST_F(CddbCli, QueryPrintsTheRecordOrTheMatches)
{
    FakeCddbServer server(FakeCddbServer::Cddbp, threeTrackDisc());
    CliRun r = runCli({"cddb", "query", "--server", server.address(), "--offsets",
                       "150,20000,41000", "--leadout", "60000"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "genre: jazz\nrevision: 6\nartist: Quartet\ntitle: Late Set\nextended: \n"
                     "track 1: Intro\ntrack 2: Ballad\ntrack 2 extended: slow\\ntake\n"
                     "track 3: Caf\xc3\xa9\nyear: 1961\ngenre name: Cool Jazz\n");

    FakeCddbScript several = threeTrackDisc();
    several.queryReply = "211 close matches\r\njazz " + kThreeTrackId +
                         " Quartet / Late Set\r\nrock 0badf00d Other / Disc\r\n.\r\n";
    FakeCddbServer http(FakeCddbServer::Http, several);
    r = runCli({"cddb", "query", "--server", http.address(), "--offsets", "150,20000,41000",
                "--leadout", "60000"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "jazz " + kThreeTrackId + " Quartet / Late Set\nrock 0badf00d Other / Disc\n");
    r = runCli({"cddb", "query", "--first", "--server", http.address(), "--offsets",
                "150,20000,41000", "--leadout", "60000"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("genre: jazz\n", 0), 0u) << r.out;
    // --match N reads the Nth: here the disc listed second.
    FakeCddbScript reversed = threeTrackDisc();
    reversed.queryReply = "211 close matches\r\nrock 0badf00d Other / Disc\r\njazz " +
                          kThreeTrackId + " Quartet / Late Set\r\n.\r\n";
    FakeCddbServer second(FakeCddbServer::Http, reversed);
    r = runCli({"cddb", "query", "--match", "2", "--server", second.address(), "--offsets",
                "150,20000,41000", "--leadout", "60000"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("genre: jazz\n", 0), 0u) << r.out;
    r = runCli({"cddb", "query", "--match", "3", "--server", second.address(), "--offsets",
                "150,20000,41000", "--leadout", "60000"});
    EXPECT_NE(r.err.find("there is no match 3"), std::string::npos) << r.err;
    EXPECT_EQ(runCli({"cddb", "query", "--match", "0", "--offsets", "150", "--leadout", "15150"})
                  .exitCode,
              2);

    FakeCddbScript none = threeTrackDisc();
    none.queryReply = "202 No match\r\n";
    FakeCddbServer empty(FakeCddbServer::Cddbp, none);
    r = runCli(
        {"cddb", "query", "--server", empty.address(), "--offsets", "150", "--leadout", "15150"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kolvo-cli: " + LoadString(2086) + "\n");

    // A lookup from a table of contents alone is saved as a new CD album.
    FakeCddbServer saving(FakeCddbServer::Cddbp, threeTrackDisc());
    r = runCli({"cddb", "query", "--server", saving.address(), "--offsets", "150,20000,41000",
                "--leadout", "60000", "--save", "late01"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    {
        const Album saved = stored("late01");
        EXPECT_EQ(saved.title(), "Late Set");
        EXPECT_EQ(saved.genre(), "jazz");
        ASSERT_EQ(saved.songCount(), 3);
        EXPECT_EQ(saved.GetSong(3)->title, "Caf\xc3\xa9");
        EXPECT_EQ(saved.GetSong(2)->startFrame, 20000);
        EXPECT_EQ(saved.discEndFrame(), 60000);
    }
    r = runCli({"cddb", "discid", "--album", "late01"});
    EXPECT_EQ(r.out.rfind(kThreeTrackId + "\n", 0), 0u) << "the saved disc is the same disc";
    r = runCli({"cddb", "query", "--server", saving.address(), "--offsets", "150,20000,41000",
                "--leadout", "60000", "--save", "late01"});
    EXPECT_EQ(r.exitCode, 1) << "an existing album is not overwritten";

    // A server that is not there is named with its port.
    r = runCli(
        {"cddb", "query", "--server", "127.0.0.1:1", "--offsets", "150", "--leadout", "15150"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("(server 127.0.0.1, port 1: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("refused"), std::string::npos) << "and why: " << r.err;
}

TEST_F(CddbCli, ReadStoresIntoTheAlbum)
{
    makeAlbum("a1b2c3", "Night Songs");
    FakeCddbScript several = threeTrackDisc();
    several.queryReply = "211 close matches\r\njazz " + kThreeTrackId +
                         " Quartet / Late Set\r\nrock 0badf00d Other / Disc\r\n.\r\n";
    FakeCddbServer server(FakeCddbServer::Cddbp, several);
    CliRun r = runCli({"cddb", "read", "--album", "a1b2c3", "--server", server.address()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("--first"), std::string::npos);
    EXPECT_EQ(stored("a1b2c3").title(), "Night Songs") << "nothing stored";

    r = runCli({"cddb", "read", "--album", "a1b2c3", "--server", server.address(), "--first"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const Album album = stored("a1b2c3");
    EXPECT_EQ(album.title(), "Late Set");
    EXPECT_EQ(album.artist(), "Quartet");
    EXPECT_EQ(album.genre(), "jazz");
    EXPECT_EQ(album.revision(), 6);
    EXPECT_EQ(album.GetSong(3)->title, "Caf\xc3\xa9");
    EXPECT_EQ(album.GetSong(2)->extendedInfo, "slow\rtake");
}

TEST_F(CddbCli, SubmitSendsAndRaisesTheRevision)
{
    makeAlbum("a1b2c3", "Night Songs", 1);
    const std::string out = homePath("sink");
    writeFile("sink/.keep", "");
    {
        SmtpSink refusing("reject-mail", out);
        ASSERT_GT(refusing.port(), 0) << refusing.errors();
        const CliRun r = runCli({"cddb", "submit", "--album", "a1b2c3", "--mail-server",
                                 refusing.address(), "--from", "me@example.org"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "kolvo-cli: " + LoadString(2039) +
                             " Submission was failed. Please "
                             "check your mail server and "
                             "internet connection.\n");
        EXPECT_EQ(stored("a1b2c3").revision(), 1);
    }
    SmtpSink sink("accept", out);
    ASSERT_GT(sink.port(), 0) << sink.errors();
    const CliRun r = runCli({"cddb", "submit", "--album", "a1b2c3", "--mail-server", sink.address(),
                             "--from", "me@example.org", "--to", "test-submit@example.net"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "submitted cddb Rock " + kThreeTrackId + ", revision 2\n");
    EXPECT_EQ(stored("a1b2c3").revision(), 2);
    const std::string mail = readFile(out + "/mail.eml");
    EXPECT_NE(mail.find("To: test-submit@example.net\r\n"), std::string::npos) << "--to";

    makeAlbum("badbad", "AC/DC");
    const CliRun refused = runCli({"cddb", "submit", "--album", "badbad", "--mail-server",
                                   sink.address(), "--from", "me@example.org"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "kolvo-cli: " + LoadString(1154) + "\n");
}
