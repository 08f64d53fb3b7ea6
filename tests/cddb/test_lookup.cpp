// The lookup end to end against a loopback CD database server, over both transports: the
// status dialog, the choice among inexact matches, the messages, and an album that stays as
// it was whenever the lookup fails.
#include "cddbtesting.h"
#include "fakecddbserver.h"

#include "albums/album.h"
#include "cddb/cdalbum.h"
#include "cddb/cddbclient.h"
#include "cddb/dialogs.h"
#include "cddb/serverlist.h"
#include "platform/msgbox.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "support/testhome.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>

#include <functional>

namespace {

const std::string kDiscId = "0200c801"; // the one-track disc below

CddbAlbum oneTrackAlbum()
{
    CddbAlbum a = CddbAlbumFromToc({150}, 15150);
    a.title = "Untouched";
    a.tracks[0].title = "keep me";
    return a;
}

CddbAlbum threeTrackAlbum()
{
    return CddbAlbumFromToc({150, 20000, 41000}, 60000);
}

bool sameAlbum(const CddbAlbum& a, const CddbAlbum& b)
{
    if (a.title != b.title || a.artist != b.artist || a.extendedInfo != b.extendedInfo ||
        a.genre != b.genre || a.revision != b.revision || a.tracks.size() != b.tracks.size())
        return false;
    for (size_t i = 0; i < a.tracks.size(); ++i) {
        if (a.tracks[i].title != b.tracks[i].title ||
            a.tracks[i].extendedInfo != b.tracks[i].extendedInfo)
            return false;
    }
    return true;
}

std::vector<std::string> record(const std::string& artistTitle,
                                const std::vector<std::string>& tracks, int revision)
{
    std::vector<std::string> lines = {"# xmcd", "#", "# Revision: " + std::to_string(revision),
                                      "DISCID=" + kDiscId, "DTITLE=" + artistTitle};
    for (size_t i = 0; i < tracks.size(); ++i)
        lines.push_back("TTITLE" + std::to_string(i) + "=" + tracks[i]);
    lines.push_back("EXTD=");
    lines.push_back("PLAYORDER=");
    return lines;
}

FakeCddbScript exactMatch()
{
    FakeCddbScript s;
    s.queryReply = "200 rock " + kDiscId + " The Band / First Light\r\n";
    s.readReplies["rock " + kDiscId] =
        FakeCddbServer::readReply("rock", kDiscId, record("The Band / First Light", {"Dawn"}, 3));
    return s;
}

class LookupBase : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        SetCddbTickInterval(5);
        setMessageBoxHook([this](const QString&, const QString& text, MessageIcon, MessageButtons) {
            messages.push_back(text.toStdString());
            return IDOK;
        });
    }
    void TearDown() override
    {
        setMessageBoxHook({});
        SetCddbTickInterval(1000);
        KolvoHomeTest::TearDown();
    }

    bool http() const { return mode == FakeCddbServer::Http; }

    // Runs a lookup; expects it to fail with the message of id (0: none) and the album to
    // stay as it was.
    void expectFailure(const FakeCddbScript& script, UINT id)
    {
        FakeCddbServer server(mode, script);
        CddbAlbum album = oneTrackAlbum();
        const CddbAlbum before = album;
        EXPECT_EQ(CddbLookup(nullptr, server.address(), album), 0);
        EXPECT_TRUE(sameAlbum(album, before));
        if (id == 0) {
            EXPECT_TRUE(messages.empty());
        } else {
            EXPECT_EQ(messages, std::vector<std::string>{LoadString(id)});
        }
        messages.clear();
    }

    FakeCddbServer::Mode mode = FakeCddbServer::Cddbp;
    std::vector<std::string> messages;
};

class Lookup : public LookupBase, public ::testing::WithParamInterface<FakeCddbServer::Mode>
{
protected:
    void SetUp() override
    {
        mode = GetParam();
        LookupBase::SetUp();
    }
};

// What only the line protocol has: a greeting and a hello.
using CddbpLookup = LookupBase;

} // namespace

TEST_P(Lookup, ExactMatchFillsTheAlbum)
{
    FakeCddbServer server(mode, exactMatch());
    CddbAlbum album = oneTrackAlbum();
    ASSERT_EQ(CddbLookup(nullptr, server.address(), album), 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(album.artist, "The Band");
    EXPECT_EQ(album.title, "First Light");
    EXPECT_EQ(album.genre, "rock");
    EXPECT_EQ(album.revision, 3);
    EXPECT_EQ(album.tracks[0].title, "Dawn");

    if (http()) {
        const std::string hello = "&hello=kolvo+" + CddbLocalHostName() + "+Kolvo+4.0&proto=1";
        EXPECT_EQ(
            server.requests(),
            (std::vector<std::string>{"/~cddb/cddb.cgi?cmd=cddb+query+0200c801+1+150+202" + hello,
                                      "/~cddb/cddb.cgi?cmd=cddb+read+rock+0200c801" + hello}));
    } else {
        EXPECT_EQ(
            server.requests(),
            (std::vector<std::string>{"cddb hello kolvo 127.0.0.1 Kolvo 4.0",
                                      "cddb query 0200c801 1 150 202", "cddb read rock 0200c801"}));
    }
}

TEST_P(Lookup, TheUsersAddressNamesTheHello)
{
    {
        Profile profile;
        profile.WriteProfileString("CD", "EMail", "listener@example.org");
        profile.sync();
    }
    FakeCddbServer server(mode, exactMatch());
    CddbAlbum album = oneTrackAlbum();
    ASSERT_EQ(CddbLookup(nullptr, server.address(), album), 1);
    const std::string first = server.requests().front();
    if (http()) {
        EXPECT_NE(first.find("&hello=listener+example.org+Kolvo+4.0&proto=1"), std::string::npos)
            << first;
    } else {
        EXPECT_EQ(first, "cddb hello listener example.org Kolvo 4.0");
    }
}

TEST_P(Lookup, InexactMatchesAreOfferedAndTheChoiceIsRead)
{
    FakeCddbScript script;
    script.queryReply = "211 close matches found\r\n"
                        "rock 0200c801 First / Disc\r\n"
                        "jazz 0200c8ff Second / Disc\r\n"
                        ".\r\n";
    script.readReplies["jazz 0200c8ff"] =
        FakeCddbServer::readReply("jazz", "0200c8ff", record("Second / Disc", {"Blue"}, 9));
    FakeCddbServer server(mode, script);

    std::vector<std::string> shown;
    onNextDialog<CddbMatchDialog>([&shown](CddbMatchDialog* d) {
        for (int i = 0; i < d->list()->count(); ++i)
            shown.push_back(d->list()->item(i)->text().toStdString());
        d->accept(); // OK without a selection does nothing
        EXPECT_TRUE(d->isVisible());
        d->list()->setCurrentRow(1);
        d->accept();
    });
    CddbAlbum album = oneTrackAlbum();
    ASSERT_EQ(CddbLookup(nullptr, server.address(), album), 1);
    EXPECT_EQ(shown, (std::vector<std::string>{"First / Disc", "Second / Disc"}));
    EXPECT_EQ(album.genre, "jazz");
    EXPECT_EQ(album.title, "Disc");
    EXPECT_EQ(album.tracks[0].title, "Blue");
    EXPECT_EQ(album.revision, 9);
    const std::string last = server.requests().back();
    EXPECT_NE(last.find(http() ? "cmd=cddb+read+jazz+0200c8ff" : "cddb read jazz 0200c8ff"),
              std::string::npos)
        << last;
}

TEST_P(Lookup, ACancelledChoiceLeavesTheAlbum)
{
    FakeCddbScript script;
    script.queryReply = "211 close matches found\r\nrock 0200c801 A / B\r\n.\r\n";
    onNextDialog<CddbMatchDialog>([](CddbMatchDialog* d) { d->reject(); });
    expectFailure(script, 0);
}

TEST_P(Lookup, RefusalsAndMissesEndWithTheirMessages)
{
    FakeCddbScript noMatch;
    noMatch.queryReply = "202 No match for disc ID 0200c801.\r\n";
    expectFailure(noMatch, 2086);

    FakeCddbScript refused;
    refused.queryReply = "500 Command syntax error\r\n";
    expectFailure(refused, 2039);

    FakeCddbScript gone;
    gone.queryReply = "403 Database entry is corrupt\r\n";
    expectFailure(gone, 2039);

    FakeCddbScript unreadable = exactMatch();
    unreadable.readReplies.clear(); // the server answers the read with 401
    expectFailure(unreadable, 2039);

    if (http()) {
        FakeCddbScript broken = exactMatch();
        broken.httpStatus = 500;
        broken.queryReply = "<html>Internal Server Error</html>\r\n";
        expectFailure(broken, 2039);
    }
}

TEST_F(CddbpLookup, RefusedGreetingOrHello)
{
    FakeCddbScript noHello = exactMatch();
    noHello.helloReply = "431 Handshake not successful, closing connection\r\n";
    expectFailure(noHello, 2039);
    FakeCddbScript busy = exactMatch();
    busy.greeting = "433 No connections allowed: system load too high\r\n";
    expectFailure(busy, 2039);
    FakeCddbScript odd = exactMatch();
    odd.greeting = "abc\r\n202 not a greeting\r\n";
    expectFailure(odd, 2039);
}

TEST_F(CddbpLookup, GreetingsOfReadOnlyAndWritableServersAreBothAccepted)
{
    for (const char* greeting : {"200 writable server ready\r\n", "201 read-only ready\r\n"}) {
        FakeCddbScript script = exactMatch();
        script.greeting = greeting;
        FakeCddbServer server(mode, script);
        CddbAlbum album = oneTrackAlbum();
        EXPECT_EQ(CddbLookup(nullptr, server.address(), album), 1) << greeting;
    }
}

TEST_P(Lookup, LinesSplitAcrossReadsAreTakenWhole)
{
    FakeCddbScript script = exactMatch();
    // Pauses inside a line, between a CR and its LF, and between lines.
    script.greeting = "201 fake\x01 server ready\r\x01\n";
    script.queryReply = "200 rock " + kDiscId + " The Band / First\x01 Light\r\x01\n";
    script.readReplies["rock " + kDiscId] =
        "210 rock " + kDiscId +
        " entry follows\r\n# Revision: 4\r\x01\nDTITLE=The Ba\x01nd / X\r\n"
        "TTITLE0=Da\x01wn\r\x01\n.\r\x01\n";
    FakeCddbServer server(mode, script);
    CddbAlbum album = oneTrackAlbum();
    ASSERT_EQ(CddbLookup(nullptr, server.address(), album), 1);
    EXPECT_EQ(album.artist, "The Band");
    EXPECT_EQ(album.tracks[0].title, "Dawn");
    EXPECT_EQ(album.revision, 4);
    if (!http()) {
        EXPECT_EQ(server.requests().size(), 3u) << "each reply line was processed once";
    }
}

TEST_P(Lookup, LinesOverTheLimitAreCutAndTheRestStillReads)
{
    FakeCddbScript script = exactMatch();
    const std::string longTitle(400, 'x');
    script.readReplies["rock " + kDiscId] =
        FakeCddbServer::readReply("rock", kDiscId,
                                  {"DTITLE=The Band / " + std::string(300, 'y'),
                                   "TTITLE0=" + longTitle, "TTITLE1=Next", "# Revision: 2"});
    CddbAlbum album = threeTrackAlbum();
    FakeCddbServer server(mode, script);
    ASSERT_EQ(CddbLookup(nullptr, server.address(), album), 1);
    EXPECT_EQ(album.tracks[0].title, longTitle.substr(0, 255 - 8));
    EXPECT_EQ(album.tracks[1].title, "Next");
    EXPECT_EQ(album.tracks[2].title, "");
    EXPECT_EQ(album.revision, 2);
    EXPECT_EQ(album.title, std::string(255 - 18, 'y'));
}

TEST_P(Lookup, ASilentServerTimesOut)
{
    FakeCddbScript silent = exactMatch();
    silent.silentOn = "query";
    QElapsedTimer clock;
    clock.start();
    expectFailure(silent, 2041);
    // 61 ticks of 5 ms: well under the real minute, well over a single tick.
    EXPECT_GE(clock.elapsed(), 61 * 5);
}

// A list of matches is complete only with its "." line. Over HTTP the body may end without
// it: that is a server that stopped talking, not a close, so the lookup waits out the time-out.
TEST_P(Lookup, AnUnfinishedMatchListWaitsForTheRestOrTheTimeOut)
{
    FakeCddbScript cut;
    cut.queryReply = "211 close matches found\r\nrock 0200c801 First / Disc\r\n";
    QElapsedTimer clock;
    clock.start();
    expectFailure(cut, 2041);
    EXPECT_GE(clock.elapsed(), 61 * 5) << "ended before the time-out";

    // The "." line after a pause of several ticks completes the list.
    FakeCddbScript paced = cut;
    paced.queryReply += "\x01.\r\n";
    int offered = -1;
    onNextDialog<CddbMatchDialog>([&offered](CddbMatchDialog* d) {
        offered = d->list()->count();
        d->reject();
    });
    expectFailure(paced, 0);
    EXPECT_EQ(offered, 1);
}

TEST_F(CddbpLookup, AMuteServerTimesOutAndAChattyOneDoesNot)
{
    FakeCddbScript mute = exactMatch();
    mute.greeting.clear();
    expectFailure(mute, 2041);

    // A line every 20 ticks for 200 ticks before the greeting keeps the lookup alive.
    FakeCddbScript chatty = exactMatch();
    chatty.keepAliveMs = 100;
    chatty.keepAliveCount = 10;
    FakeCddbServer server(mode, chatty);
    CddbAlbum album = oneTrackAlbum();
    EXPECT_EQ(CddbLookup(nullptr, server.address(), album), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_P(Lookup, AServerThatClosesEarlyIsADisconnection)
{
    if (http()) {
        // The body ends before the record's "." line.
        FakeCddbScript cut = exactMatch();
        cut.readReplies["rock " + kDiscId] =
            "210 rock " + kDiscId + " entry follows\r\nDTITLE=A / B\r\n";
        expectFailure(cut, 2040);
        FakeCddbScript closed = exactMatch();
        closed.closeOn = "query"; // not even a status line: the URL could not be read
        expectFailure(closed, 2039);
    } else {
        FakeCddbScript closed = exactMatch();
        closed.closeOn = "query";
        expectFailure(closed, 2040);
        closed.closeOn = "read";
        expectFailure(closed, 2040);
    }
}

TEST_P(Lookup, UnreachableAndMalformedServers)
{
    quint16 freePort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        freePort = probe.serverPort();
    }
    const std::string address = http() ? "http://127.0.0.1:" + std::to_string(freePort) + "/cgi"
                                       : "127.0.0.1:" + std::to_string(freePort);
    CddbAlbum album = oneTrackAlbum();
    EXPECT_EQ(CddbLookup(nullptr, address, album), 0);
    EXPECT_EQ(messages, std::vector<std::string>{LoadString(2039)});
    messages.clear();

    EXPECT_EQ(CddbLookup(nullptr, http() ? "http://" : "127.0.0.1:99999", album), 0);
    EXPECT_EQ(messages, std::vector<std::string>{LoadString(2037)});
    EXPECT_TRUE(sameAlbum(album, oneTrackAlbum()));
}

TEST_P(Lookup, TheCurrentServerIsUsedWhenNoneIsGiven)
{
    FakeCddbServer server(mode, exactMatch());
    SetCurrentCddbServer(server.address());
    CddbAlbum album = oneTrackAlbum();
    EXPECT_EQ(CddbLookup(nullptr, "", album), 1);
    EXPECT_FALSE(server.requests().empty());
}

TEST_P(Lookup, TheStatusLineFollowsEachStep)
{
    // Every reply pauses in its first line, so the dialog ticks while each request is open.
    FakeCddbScript script = exactMatch();
    script.greeting = "201 fake\x01 server ready\r\n";
    script.helloReply = "200 Hello\x01 and welcome\r\n";
    script.queryReply = "200 rock " + kDiscId + "\x01 The Band / First Light\r\n";
    script.readReplies["rock " + kDiscId] =
        "210 rock\x01" +
        FakeCddbServer::readReply("rock", kDiscId, record("The Band / First Light", {"Dawn"}, 3))
            .substr(8);
    FakeCddbServer server(mode, script);
    CddbDiscInfo info;
    ComputeDiscId(oneTrackAlbum(), info);
    CddbQueryDialog dialog(server.address(), info);
    std::vector<UINT> statuses;
    std::vector<QString> shown;
    QObject::connect(&dialog.session(), &CddbQuerySession::statusChanged, [&](UINT id) {
        statuses.push_back(id);
        shown.push_back(dialog.statusText());
    });
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.record().title, "First Light");
    // The line protocol greets and is greeted; HTTP starts with the query.
    const std::vector<UINT> expected = http() ? std::vector<UINT>{2091, 2087, 2089, 2090}
                                              : std::vector<UINT>{2091, 2087, 2088, 2089, 2090};
    EXPECT_EQ(statuses, expected);
    ASSERT_EQ(shown.size(), statuses.size());
    for (size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], LoadQString(statuses[i])) << i;
}

INSTANTIATE_TEST_SUITE_P(Transports, Lookup,
                         ::testing::Values(FakeCddbServer::Cddbp, FakeCddbServer::Http),
                         [](const auto& info) {
                             return info.param == FakeCddbServer::Http ? "Http" : "Cddbp";
                         });

TEST(LookupDialog, CancelStopsTheExchange)
{
    SetCddbTickInterval(5);
    FakeCddbScript script = exactMatch();
    script.silentOn = "hello";
    FakeCddbServer server(FakeCddbServer::Cddbp, script);
    CddbDiscInfo info;
    ComputeDiscId(oneTrackAlbum(), info);
    CddbQueryDialog dialog(server.address(), info);
    std::vector<UINT> statuses;
    QObject::connect(&dialog.session(), &CddbQuerySession::statusChanged,
                     [&statuses](UINT id) { statuses.push_back(id); });
    QTimer::singleShot(150, &dialog, [&dialog] {
        EXPECT_NE(dialog.session().connection(), nullptr);
        dialog.reject();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.session().connection(), nullptr) << "the connection ends with the dialog";
    EXPECT_FALSE(dialog.session().running());
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(statuses[0], 2091u);
    EXPECT_EQ(statuses[1], 2087u);
    EXPECT_EQ(statuses.back(), 2088u) << "the hello went out and nothing came back";
    EXPECT_EQ(dialog.statusText(), LoadQString(2088));
    SetCddbTickInterval(1000);
}

namespace {

// A CD album in the database for the one-track disc.
void makeCdAlbum(const std::string& key)
{
    Album album(AlbumKindCd);
    ASSERT_TRUE(album.Open(key, 0));
    album.AddSong("keep me", "", 202000, 150);
    album.setTitle("Untouched");
    album.setDiscEndFrame(15150);
    album.setDiscLengthMs(202000);
    ASSERT_TRUE(album.Save());
}

} // namespace

TEST_F(CddbpLookup, TheCdAlbumIsStoredAndSavedOnlyOnSuccess)
{
    makeCdAlbum("2a0b3c");
    Album album(AlbumKindCd);
    ASSERT_TRUE(album.Open("2a0b3c", 0));
    CddbDiscInfo info;
    ComputeDiscId(album, info);
    EXPECT_EQ(DiscIdText(info.discId), kDiscId);

    FakeCddbScript refused = exactMatch();
    refused.queryReply = "403 Database entry is corrupt\r\n";
    {
        FakeCddbServer server(mode, refused);
        EXPECT_EQ(CddbLookup(nullptr, server.address(), album), 0);
    }
    Album stored(AlbumKindCd);
    ASSERT_TRUE(stored.LoadForReading("2a0b3c"));
    EXPECT_EQ(stored.title(), "Untouched");
    EXPECT_EQ(album.title(), "Untouched");
    EXPECT_EQ(album.GetSong(1)->title, "keep me");

    FakeCddbServer server(mode, exactMatch());
    ASSERT_EQ(CddbLookup(nullptr, server.address(), album), 1);
    Album reread(AlbumKindCd);
    ASSERT_TRUE(reread.LoadForReading("2a0b3c"));
    EXPECT_EQ(reread.title(), "First Light");
    EXPECT_EQ(reread.artist(), "The Band");
    EXPECT_EQ(reread.genre(), "rock");
    EXPECT_EQ(reread.revision(), 3);
    ASSERT_EQ(reread.songCount(), 1);
    EXPECT_EQ(reread.GetSong(1)->title, "Dawn");
    EXPECT_EQ(reread.GetSong(1)->startFrame, 150);
    EXPECT_EQ(reread.discEndFrame(), 15150);
}

TEST_F(CddbpLookup, AnAlbumThatCannotBeWrittenIsToldAndLeftAsItWas)
{
    makeCdAlbum("2a0b3c");
    Album album(AlbumKindCd);
    ASSERT_TRUE(album.Open("2a0b3c", 0));
    // A data folder that is a regular file cannot hold the database, not even for root.
    ASSERT_TRUE(QDir(QString::fromStdString(homePath("data"))).removeRecursively());
    writeFile("data", "not a folder");

    FakeCddbServer server(mode, exactMatch());
    EXPECT_EQ(CddbLookup(nullptr, server.address(), album), 0);
    EXPECT_FALSE(server.requests().empty()) << "the record was read before the save failed";
    ASSERT_EQ(messages.size(), 1u);
    const std::string expected = LoadString(9302).substr(0, LoadString(9302).find("%s"));
    EXPECT_EQ(messages[0].rfind(expected, 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find(Album::DatabasePath(AlbumKindCd)), std::string::npos);
    EXPECT_EQ(album.title(), "Untouched");
    EXPECT_EQ(album.GetSong(1)->title, "keep me");
    EXPECT_EQ(album.revision(), 0);
}
