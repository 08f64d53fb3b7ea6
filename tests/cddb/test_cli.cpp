// kolvo-cli cddb: the commands run as a separate process against servers of this test.
#include "cddbtesting.h"
#include "fakecddbserver.h"

#include "albums/album.h"
#include "cddb/xmcd.h"
#include "platform/strings.h"

namespace {

// A CD album of three tracks in the test's database.
void makeAlbum(const std::string& key, const std::string& title, int revision = 0)
{
    CddbAlbum a = CddbAlbumFromToc({150, 20000, 41000}, 60000);
    a.title = title;
    a.artist = "The Examples";
    a.genre = "Rock";
    a.revision = revision;
    a.tracks[0].title = "One";
    a.tracks[1].title = "Two";
    a.tracks[2].title = "Three";
    saveCdAlbum(key, a);
}

const std::string kThreeTrackId = [] {
    CddbDiscInfo info;
    ComputeDiscId(CddbAlbumFromToc({150, 20000, 41000}, 60000), info);
    return DiscIdText(info.discId);
}();
const std::string kToc = " --offsets 150,20000,41000 --leadout 60000";
// The record below as stored.
const std::string kLateSet = "Quartet / Late Set [jazz r6] {} | 150 Intro {} | 20000 Ballad "
                             "{slow\rtake} | 41000 Caf\xc3\xa9 {} | end 60000";

FakeCddbScript threeTrackDisc(const std::string& queryReply = {})
{
    FakeCddbScript s;
    s.queryReply = "200 jazz " + kThreeTrackId + " Quartet / Late Set\r\n";
    if (!queryReply.empty())
        s.queryReply = queryReply;
    s.readReplies["jazz " + kThreeTrackId] = FakeCddbServer::readReply(
        "jazz", kThreeTrackId,
        {"# Revision: 6", "DTITLE=Quartet / Late Set", "DYEAR=1961", "DGENRE=Cool Jazz",
         "TTITLE0=Intro", "TTITLE1=Ballad", "TTITLE2=Caf\xe9", "EXTT0=", "EXTT1=slow\\ntake"});
    return s;
}

// Two matches: this disc listed first (or second), another disc.
std::string twoMatches(bool thisFirst)
{
    const std::string self = "jazz " + kThreeTrackId + " Quartet / Late Set\r\n";
    const std::string other = "rock 0badf00d Other / Disc\r\n";
    return "211 close matches\r\n" + (thisFirst ? self + other : other + self) + ".\r\n";
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
    ProcessResult r = runCli("cddb discid --offsets 150 --leadout 15150");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "0200c801\ncddb query 0200c801 1 150 202\n");

    makeAlbum("a1b2c3", "Night Songs");
    r = runCli("cddb discid --album a1b2c3");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, kThreeTrackId + "\ncddb query " + kThreeTrackId + " 3 150 20000 41000 800\n");

    for (const char* bad :
         {"discid --offsets 150,x --leadout 9000", "discid --offsets 150,100 --leadout 9000",
          "discid --offsets 150 --leadout 100", "discid --offsets 150 --leadout 123456789",
          "discid --offsets 150", "discid --loud", "shout"}) {
        r = runCli(std::string("cddb ") + bad);
        EXPECT_EQ(r.code, 2) << bad << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    r = runCli("cddb discid --album nosuch");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kolvo-cli: no CD album nosuch\n");
}

TEST_F(CddbCli, RecordIsTheSubmissionText)
{
    makeAlbum("a1b2c3", "Night Songs", 4);
    ProcessResult r = runCli("cddb record --album a1b2c3");
    EXPECT_EQ(r.code, 0) << r.err;
    // The record's layout is the library's (cddb_record_tests); here: the stored album's disc
    // and its next revision.
    const auto lines = crlfLines(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "# Revision: 5"), lines.end()) << r.out;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "DISCID=3D" + kThreeTrackId), lines.end());
    EXPECT_TRUE(r.err.empty());

    // "Café" is ISO-8859-1: it is written as such, and nothing claims otherwise.
    makeAlbum("cafe00", "Caf\xc3\xa9 Nights");
    r = runCli("cddb record --album cafe00");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err.find("ISO-8859-1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("beyond ASCII"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("DTITLE=3DThe Examples / Caf=E9 Nights"), std::string::npos) << r.out;
    // A real fault beside it is still named, and the record still printed.
    makeAlbum("cafe01", "Caf\xc3\xa9/Bar");
    r = runCli("cddb record --album cafe01");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find(LoadString(1154)), std::string::npos) << r.err;
}

TEST_F(CddbCli, QueryPrintsTheRecordOrTheMatches)
{
    FakeCddbServer server(FakeCddbServer::Cddbp, threeTrackDisc());
    ProcessResult r = runCli("cddb query --server " + server.address() + kToc);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "genre: jazz\nrevision: 6\nartist: Quartet\ntitle: Late Set\nextended: \n"
                     "track 1: Intro\ntrack 2: Ballad\ntrack 2 extended: slow\\ntake\n"
                     "track 3: Caf\xc3\xa9\nyear: 1961\ngenre name: Cool Jazz\n");

    FakeCddbServer http(FakeCddbServer::Http, threeTrackDisc(twoMatches(true)));
    r = runCli("cddb query --server " + http.address() + kToc);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "jazz " + kThreeTrackId + " Quartet / Late Set\nrock 0badf00d Other / Disc\n");
    r = runCli("cddb query --first --server " + http.address() + kToc);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("genre: jazz\n", 0), 0u) << r.out;
    // --match N reads the Nth: here the disc listed second.
    FakeCddbServer second(FakeCddbServer::Http, threeTrackDisc(twoMatches(false)));
    r = runCli("cddb query --match 2 --server " + second.address() + kToc);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("genre: jazz\n", 0), 0u) << r.out;
    r = runCli("cddb query --match 3 --server " + second.address() + kToc);
    EXPECT_NE(r.err.find("there is no match 3"), std::string::npos) << r.err;
    EXPECT_EQ(runCli("cddb query --match 0" + kToc).code, 2);
    // No match is the server's answer, not a fault of the connection: no server is named.
    FakeCddbServer empty(FakeCddbServer::Cddbp, threeTrackDisc("202 No match\r\n"));
    r = runCli("cddb query --server " + empty.address() + kToc);
    EXPECT_EQ(std::to_string(r.code) + " " + r.err, "1 kolvo-cli: " + LoadString(2086) + "\n");

    // A lookup from a table of contents alone is saved as a new CD album, the same disc.
    r = runCli("cddb query --server " + server.address() + kToc + " --save late01");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(storedCdAlbum("late01"), kLateSet);
    r = runCli("cddb discid --album late01");
    EXPECT_EQ(r.out.rfind(kThreeTrackId + "\n", 0), 0u) << "the saved disc is the same disc";
    r = runCli("cddb query --server " + server.address() + kToc + " --save late01");
    EXPECT_EQ(r.code, 1) << "an existing album is not overwritten";

    // A server that is not there is named with its port.
    r = runCli("cddb query --server 127.0.0.1:1" + kToc);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("(server 127.0.0.1, port 1: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("refused"), std::string::npos) << "and why: " << r.err;
}

TEST_F(CddbCli, ReadStoresIntoTheAlbum)
{
    makeAlbum("a1b2c3", "Night Songs");
    const std::string before = storedCdAlbum("a1b2c3");
    FakeCddbServer server(FakeCddbServer::Cddbp, threeTrackDisc(twoMatches(true)));
    ProcessResult r = runCli("cddb read --album a1b2c3 --server " + server.address());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("--first"), std::string::npos);
    EXPECT_EQ(storedCdAlbum("a1b2c3"), before) << "nothing stored";

    r = runCli("cddb read --album a1b2c3 --first --server " + server.address());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(storedCdAlbum("a1b2c3"), kLateSet);
}

TEST_F(CddbCli, SubmitSendsAndRaisesTheRevision)
{
    makeAlbum("a1b2c3", "Night Songs", 1);
    const auto revision = [] {
        Album album(AlbumKindCd);
        return album.LoadForReading("a1b2c3") ? album.revision() : -1;
    };
    writeFile("sink/.keep", "");
    const std::string out = homePath("sink");
    const std::string submit = "cddb submit --from me@example.org --mail-server ";
    {
        SmtpSink refusing("reject-mail", out);
        ASSERT_GT(refusing.port(), 0) << refusing.errors();
        const ProcessResult r = runCli(submit + refusing.address() + " --album a1b2c3");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "kolvo-cli: " + LoadString(2039) +
                             " Submission was failed. Please check your mail server and "
                             "internet connection.\n");
        EXPECT_EQ(revision(), 1);
    }
    SmtpSink sink("accept", out);
    ASSERT_GT(sink.port(), 0) << sink.errors();
    const ProcessResult r =
        runCli(submit + sink.address() + " --album a1b2c3 --to test-submit@example.net");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "submitted cddb Rock " + kThreeTrackId + ", revision 2\n");
    EXPECT_EQ(revision(), 2);
    EXPECT_NE(readFile(out + "/mail.eml").find("To: test-submit@example.net\r\n"),
              std::string::npos)
        << "--to";

    makeAlbum("badbad", "AC/DC");
    const ProcessResult refused = runCli(submit + sink.address() + " --album badbad");
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err, "kolvo-cli: " + LoadString(1154) + "\n");
}
