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
#include "platform/profile.h"
#include "platform/strings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>

namespace {

const std::string kDiscId = "0200c801"; // the one-track disc below
const std::string kFound = "The Band / First Light [rock r3] {} | 150 Dawn {} | end 15150";
using Script = FakeCddbScript;

CddbAlbum oneTrackAlbum()
{
    CddbAlbum a = CddbAlbumFromToc({150}, 15150);
    a.title = "Untouched";
    a.tracks[0].title = "keep me";
    return a;
}

// The one-track disc found at once (kFound); with one reply of the script changed.
Script exactMatch(std::string Script::*field = nullptr, const std::string& value = {})
{
    Script s;
    s.queryReply = "200 rock " + kDiscId + " The Band / First Light\r\n";
    s.readReplies["rock " + kDiscId] =
        FakeCddbServer::readReply("rock", kDiscId,
                                  {"# xmcd", "#", "# Revision: 3", "DISCID=" + kDiscId,
                                   "DTITLE=The Band / First Light", "TTITLE0=Dawn", "EXTD="});
    if (field)
        s.*field = value;
    return s;
}

class LookupBase : public CddbTest
{
protected:
    bool http() const { return mode == FakeCddbServer::Http; }

    // Looks the disc of the album up on a server of the script; returns the album described,
    // or "failed". The server's requests are kept.
    std::string found(const Script& script, CddbAlbum album = oneTrackAlbum())
    {
        FakeCddbServer server(mode, script);
        const bool ok = CddbLookup(nullptr, server.address(), album) == 1;
        requests = server.requests();
        return ok ? describe(album) : "failed";
    }

    // Runs a lookup; expects it to fail with the message of id (0: none) and the album to
    // stay as it was.
    void expectFailure(const Script& script, UINT id)
    {
        FakeCddbServer server(mode, script);
        CddbAlbum album = oneTrackAlbum();
        EXPECT_EQ(CddbLookup(nullptr, server.address(), album), 0);
        EXPECT_EQ(describe(album), describe(oneTrackAlbum()));
        EXPECT_EQ(messages,
                  id ? std::vector<std::string>{LoadString(id)} : std::vector<std::string>{});
        messages.clear();
    }

    // Runs a lookup dialog; returns the status ids it went through, each checked against the
    // text it showed.
    std::vector<UINT> statusesOf(CddbQueryDialog& dialog, int expectedResult)
    {
        std::vector<UINT> statuses;
        QObject::connect(&dialog.session(), &CddbQuerySession::statusChanged, [&](UINT id) {
            statuses.push_back(id);
            EXPECT_EQ(dialog.statusText(), LoadQString(id));
        });
        EXPECT_EQ(dialog.exec(), expectedResult);
        return statuses;
    }

    FakeCddbServer::Mode mode = FakeCddbServer::Cddbp;
    std::vector<std::string> requests;
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

TEST_P(Lookup, ExactMatchFillsTheAlbumAndTheHelloNamesTheUser)
{
    ASSERT_EQ(found(exactMatch()), kFound);
    EXPECT_TRUE(messages.empty());
    const std::string hello = "&hello=kolvo+" + CddbLocalHostName() + "+Kolvo+4.0&proto=1";
    EXPECT_EQ(
        requests,
        (http()
             ? std::vector<std::string>{"/~cddb/cddb.cgi?cmd=cddb+query+0200c801+1+150+202" + hello,
                                        "/~cddb/cddb.cgi?cmd=cddb+read+rock+0200c801" + hello}
             : std::vector<std::string>{"cddb hello kolvo 127.0.0.1 Kolvo 4.0",
                                        "cddb query 0200c801 1 150 202",
                                        "cddb read rock 0200c801"}));
    {
        Profile profile;
        profile.WriteProfileString("CD", "EMail", "listener@example.org");
        profile.sync();
    }
    ASSERT_EQ(found(exactMatch()), kFound);
    EXPECT_NE(requests.front().find(http() ? "&hello=listener+example.org+Kolvo+4.0&proto=1"
                                           : "cddb hello listener example.org Kolvo 4.0"),
              std::string::npos)
        << requests.front();
}

TEST_P(Lookup, InexactMatchesAreOfferedAndTheChoiceIsRead)
{
    Script script;
    script.queryReply = "211 close matches found\r\n"
                        "rock 0200c801 First / Disc\r\n"
                        "jazz 0200c8ff Second / Disc\r\n"
                        ".\r\n";
    script.readReplies["jazz 0200c8ff"] = FakeCddbServer::readReply(
        "jazz", "0200c8ff", {"# Revision: 9", "DTITLE=Second / Disc", "TTITLE0=Blue"});
    std::vector<std::string> shown;
    onNextDialog<CddbMatchDialog>([&shown](CddbMatchDialog* d) {
        for (int i = 0; i < d->list()->count(); ++i)
            shown.push_back(d->list()->item(i)->text().toStdString());
        d->accept(); // OK without a selection does nothing
        EXPECT_TRUE(d->isVisible());
        d->list()->setCurrentRow(1);
        d->accept();
    });
    EXPECT_EQ(found(script), "Second / Disc [jazz r9] {} | 150 Blue {} | end 15150");
    EXPECT_EQ(shown, (std::vector<std::string>{"First / Disc", "Second / Disc"}));
    const std::string last = requests.back();
    EXPECT_NE(last.find(http() ? "cmd=cddb+read+jazz+0200c8ff" : "cddb read jazz 0200c8ff"),
              std::string::npos)
        << last;

    // A cancelled choice leaves the album.
    onNextDialog<CddbMatchDialog>([](CddbMatchDialog* d) { d->reject(); });
    expectFailure(script, 0);
}

TEST_P(Lookup, RefusalsAndMissesEndWithTheirMessages)
{
    std::vector<std::tuple<std::string Script::*, std::string, UINT>> cases = {
        {&Script::queryReply, "202 No match for disc ID 0200c801.\r\n", 2086},
        {&Script::queryReply, "500 Command syntax error\r\n", 2039},
        {&Script::queryReply, "403 Database entry is corrupt\r\n", 2039},
        {&Script::queryReply, "200 jazz 0200c801 A / B\r\n", 2039}, // its read is answered 401
    };
    if (!http()) {
        cases.insert(cases.end(),
                     {{&Script::helloReply, "431 Handshake not successful, closing\r\n", 2039},
                      {&Script::greeting, "433 No connections allowed: load too high\r\n", 2039},
                      {&Script::greeting, "abc\r\n202 not a greeting\r\n", 2039}});
    }
    for (const auto& [field, value, id] : cases) {
        SCOPED_TRACE(value);
        expectFailure(exactMatch(field, value), id);
    }
    if (http()) {
        Script broken = exactMatch(&Script::queryReply, "<html>Internal Server Error</html>\r\n");
        broken.httpStatus = 500;
        expectFailure(broken, 2039);
    }
}

TEST_F(CddbpLookup, GreetingsOfReadOnlyAndWritableServersAreBothAccepted)
{
    for (const char* greeting : {"200 writable server ready\r\n", "201 read-only ready\r\n"})
        EXPECT_EQ(found(exactMatch(&Script::greeting, greeting)), kFound) << greeting;
}

TEST_P(Lookup, LinesSplitAcrossReadsAreTakenWhole)
{
    Script script = exactMatch();
    // Pauses inside a line, between a CR and its LF, and between lines. Lines without a code
    // and informational ones before the greeting are passed over; a record line that looks like
    // a status is data.
    script.greeting = "abc not a code\r\n100 informational\r\n201 fake\x01 server ready\r\x01\n";
    script.queryReply = "200 rock " + kDiscId + " The Band / First\x01 Light\r\x01\n";
    script.readReplies["rock " + kDiscId] =
        "210 rock " + kDiscId +
        " entry follows\r\n# Revision: 4\r\x01\nDTITLE=The Ba\x01nd / X\r\n401 is data\r\n"
        "TTITLE0=Da\x01wn\r\x01\n.\r\x01\n";
    EXPECT_EQ(found(script), "The Band / X [rock r4] {} | 150 Dawn {} | end 15150");
    EXPECT_EQ(requests.size(), http() ? 2u : 3u) << "each reply line was processed once";
}

TEST_P(Lookup, ASilentServerTimesOut)
{
    QElapsedTimer clock;
    clock.start();
    expectFailure(exactMatch(&Script::silentOn, "query"), 2041);
    // 61 ticks of 5 ms: well under the real minute, well over a single tick.
    EXPECT_GE(clock.elapsed(), 61 * 5);
}

// A list of matches is complete only with its "." line. Over HTTP the body may end without
// it: that is a server that stopped talking, not a close, so the lookup waits out the time-out.
TEST_P(Lookup, AnUnfinishedMatchListWaitsForTheRestOrTheTimeOut)
{
    Script cut;
    cut.queryReply = "211 close matches found\r\nrock 0200c801 First / Disc\r\n";
    QElapsedTimer clock;
    clock.start();
    expectFailure(cut, 2041);
    EXPECT_GE(clock.elapsed(), 61 * 5) << "ended before the time-out";

    // The "." line after a pause of several ticks completes the list.
    cut.queryReply += "\x01.\r\n";
    int offered = -1;
    onNextDialog<CddbMatchDialog>([&offered](CddbMatchDialog* d) {
        offered = d->list()->count();
        d->reject();
    });
    expectFailure(cut, 0);
    EXPECT_EQ(offered, 1);
}

TEST_F(CddbpLookup, AMuteServerTimesOutAndAChattyOneDoesNot)
{
    expectFailure(exactMatch(&Script::greeting, ""), 2041);

    // A line every 20 ticks for 200 ticks before the greeting keeps the lookup alive.
    Script chatty = exactMatch();
    chatty.keepAliveMs = 100;
    chatty.keepAliveCount = 10;
    EXPECT_EQ(found(chatty), kFound);
    EXPECT_TRUE(messages.empty());
}

TEST_P(Lookup, AServerThatClosesEarlyIsADisconnection)
{
    if (http()) {
        // The body ends before the record's "." line.
        Script cut = exactMatch();
        cut.readReplies["rock " + kDiscId] =
            "210 rock " + kDiscId + " entry follows\r\nDTITLE=A / B\r\n";
        expectFailure(cut, 2040);
        // Not even a status line: the URL could not be read.
        expectFailure(exactMatch(&Script::closeOn, "query"), 2039);
    } else {
        expectFailure(exactMatch(&Script::closeOn, "query"), 2040);
        expectFailure(exactMatch(&Script::closeOn, "read"), 2040);
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
    EXPECT_EQ(CddbLookup(nullptr, http() ? "http://" : "127.0.0.1:99999", album), 0);
    EXPECT_EQ(messages, (std::vector<std::string>{LoadString(2039), LoadString(2037)}));
    EXPECT_EQ(describe(album), describe(oneTrackAlbum()));
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
    Script script = exactMatch();
    script.greeting = "201 fake\x01 server ready\r\n";
    script.helloReply = "200 Hello\x01 and welcome\r\n";
    script.queryReply = "200 rock " + kDiscId + "\x01 The Band / First Light\r\n";
    std::string& read = script.readReplies["rock " + kDiscId];
    read.insert(8, "\x01");
    FakeCddbServer server(mode, script);
    CddbDiscInfo info;
    ComputeDiscId(oneTrackAlbum(), info);
    CddbQueryDialog dialog(server.address(), info);
    // The line protocol greets and is greeted; HTTP starts with the query.
    EXPECT_EQ(statusesOf(dialog, QDialog::Accepted),
              (http() ? std::vector<UINT>{2091, 2087, 2089, 2090}
                      : std::vector<UINT>{2091, 2087, 2088, 2089, 2090}));
    EXPECT_EQ(dialog.record().title, "First Light");
}

INSTANTIATE_TEST_SUITE_P(Transports, Lookup,
                         ::testing::Values(FakeCddbServer::Cddbp, FakeCddbServer::Http),
                         [](const auto& info) {
                             return info.param == FakeCddbServer::Http ? "Http" : "Cddbp";
                         });

TEST_F(CddbpLookup, CancelStopsTheExchange)
{
    FakeCddbServer server(FakeCddbServer::Cddbp, exactMatch(&Script::silentOn, "hello"));
    CddbDiscInfo info;
    ComputeDiscId(oneTrackAlbum(), info);
    CddbQueryDialog dialog(server.address(), info);
    QTimer::singleShot(150, &dialog, [&dialog] {
        EXPECT_NE(dialog.session().connection(), nullptr);
        dialog.reject();
    });
    // The hello went out and nothing came back.
    EXPECT_EQ(statusesOf(dialog, QDialog::Rejected), (std::vector<UINT>{2091, 2087, 2088}));
    EXPECT_EQ(dialog.session().connection(), nullptr) << "the connection ends with the dialog";
    EXPECT_FALSE(dialog.session().running());
    EXPECT_EQ(dialog.statusText(), LoadQString(2088));
}

TEST_F(CddbpLookup, TheCdAlbumIsStoredAndSavedOnlyOnSuccess)
{
    saveCdAlbum("2a0b3c", oneTrackAlbum());
    Album album(AlbumKindCd);
    ASSERT_TRUE(album.Open("2a0b3c", 0));
    CddbDiscInfo info;
    ComputeDiscId(album, info);
    EXPECT_EQ(DiscIdText(info.discId), kDiscId);
    {
        FakeCddbServer server(mode, exactMatch(&Script::queryReply, "403 Corrupt entry\r\n"));
        EXPECT_EQ(CddbLookup(nullptr, server.address(), album), 0);
    }
    EXPECT_EQ(storedCdAlbum("2a0b3c"), describe(oneTrackAlbum()));
    EXPECT_EQ(describe(album), describe(oneTrackAlbum()));

    FakeCddbServer server(mode, exactMatch());
    ASSERT_EQ(CddbLookup(nullptr, server.address(), album), 1);
    EXPECT_EQ(storedCdAlbum("2a0b3c"), kFound);
}

TEST_F(CddbpLookup, AnAlbumThatCannotBeWrittenIsToldAndLeftAsItWas)
{
    saveCdAlbum("2a0b3c", oneTrackAlbum());
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
    EXPECT_EQ(describe(album), describe(oneTrackAlbum()));
}
