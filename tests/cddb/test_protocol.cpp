// The line queue and the two dialogues as line processors, without sockets.
#include "cddb/cddbprotocol.h"
#include "cddb/linequeue.h"
#include "cddb/smtpprotocol.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> drain(LineQueue& q)
{
    std::vector<std::string> lines;
    std::string line;
    while (q.takeLine(line))
        lines.push_back(line);
    return lines;
}

CddbDiscInfo oneTrackDisc()
{
    CddbDiscInfo info;
    ComputeDiscId(CddbAlbumFromToc({150}, 15150), info);
    return info;
}

} // namespace

TEST(LineQueue, PartialLinesWaitForTheirEnd)
{
    LineQueue q;
    q.append("200 hello\r\n201 par");
    EXPECT_EQ(drain(q), (std::vector<std::string>{"200 hello"}));
    q.append("tial\r");
    EXPECT_TRUE(drain(q).empty()) << "a CR alone does not end a line";
    q.append("\n\r\nlast\rwith\nbare ends\r\n");
    EXPECT_EQ(drain(q), (std::vector<std::string>{"201 partial", "", "last\rwith\nbare ends"}));
    EXPECT_TRUE(q.empty());

    // Byte by byte, the same lines come out once each.
    const std::string stream = "210 rock 0200c801\r\nTTITLE0=x\r\n\r\n.\r\n";
    for (const char c : stream)
        q.append(&c, 1);
    EXPECT_EQ(drain(q), (std::vector<std::string>{"210 rock 0200c801", "TTITLE0=x", "", "."}));
}

TEST(LineQueue, OverlongLinesAreCutNotSplit)
{
    LineQueue q;
    const std::string longLine = "TTITLE0=" + std::string(400, 'x');
    q.append(longLine + "\r\n.\r\n");
    auto lines = drain(q);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], longLine.substr(0, LineQueue::kMaxLine));
    EXPECT_EQ(lines[1], ".");

    // Arriving in pieces, with the CR LF split exactly after the cut.
    q.append(std::string(300, 'a'));
    EXPECT_TRUE(drain(q).empty());
    q.append(std::string(300, 'b') + "\r");
    EXPECT_TRUE(drain(q).empty());
    q.append("\nnext\r\n");
    lines = drain(q);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(255, 'a'));
    EXPECT_EQ(lines[1], "next");

    // A peer that never ends its line cannot fill memory.
    for (int i = 0; i < 1000; ++i) {
        q.append(std::string(1000, 'z'));
        drain(q);
    }
    EXPECT_LE(q.size(), LineQueue::kMaxLine + 1);
    q.append("\r\n");
    EXPECT_EQ(drain(q), (std::vector<std::string>{std::string(255, 'z')}));
}

TEST(ServerString, HostPortAndUrl)
{
    CddbServerAddress a = ParseCddbServer("gnudb.gnudb.org", 888);
    EXPECT_TRUE(a.valid);
    EXPECT_FALSE(a.http);
    EXPECT_EQ(a.host, "gnudb.gnudb.org");
    EXPECT_EQ(a.port, 888);
    a = ParseCddbServer("gnudb.gnudb.org:8880", 888);
    EXPECT_EQ(a.host, "gnudb.gnudb.org");
    EXPECT_EQ(a.port, 8880);
    a = ParseCddbServer("[::1]:9000", 888);
    EXPECT_EQ(a.host, "::1");
    EXPECT_EQ(a.port, 9000);
    a = ParseCddbServer("::1", 888);
    EXPECT_EQ(a.host, "::1");
    EXPECT_EQ(a.port, 888);
    a = ParseCddbServer("HTTP://Example.org/~cddb/cddb.cgi", 888);
    EXPECT_TRUE(a.http) << "the scheme is compared without regard to case";
    EXPECT_EQ(a.url, "HTTP://Example.org/~cddb/cddb.cgi");
    for (const char* bad : {"", "host:", "host:0", "host:70000", "host:8a", ":888", "http://"})
        EXPECT_FALSE(ParseCddbServer(bad, 888).valid) << bad;
}

TEST(CddbHello, EmailHalvesStandInForTheFixedNames)
{
    CddbHello h = CddbHelloFor("", "10.0.0.2");
    EXPECT_EQ(h.user, "kolvo");
    EXPECT_EQ(h.host, "10.0.0.2");
    h = CddbHelloFor("someone@example.org", "10.0.0.2");
    EXPECT_EQ(h.user, "someone");
    EXPECT_EQ(h.host, "example.org");
    h = CddbHelloFor("two words@x y", "h");
    EXPECT_EQ(h.user, "twowords") << "blanks would break the hello's words";
    EXPECT_EQ(h.host, "xy");
    h = CddbHelloFor("@nouser", "h");
    EXPECT_EQ(h.user, "kolvo");
}

TEST(CddbDialogue, ExactMatchOverTheLineProtocol)
{
    CddbProtocol p;
    const CddbDiscInfo info = oneTrackDisc();
    p.begin(CddbProtocol::Cddbp, info, {"kolvo", "127.0.0.1"});
    EXPECT_EQ(p.state(), CddbProtocol::Connecting);

    EXPECT_TRUE(p.processLine("abc not a code").send.empty());
    EXPECT_EQ(p.state(), CddbProtocol::Connecting) << "three non-digits are ignored";
    EXPECT_TRUE(p.processLine("100 informational").send.empty());
    auto r = p.processLine("201 read-only server ready");
    EXPECT_EQ(r.send, "cddb hello kolvo 127.0.0.1 Kolvo 4.0\n");
    EXPECT_EQ(p.state(), CddbProtocol::HelloSent);

    r = p.processLine("200 Hello and welcome");
    EXPECT_EQ(r.send, "cddb query 0200c801 1 150 202\n");
    EXPECT_EQ(p.state(), CddbProtocol::QuerySent);

    r = p.processLine("200 rock 0200c801 Artist / Title");
    EXPECT_EQ(r.send, "cddb read rock 0200c801\n");
    EXPECT_EQ(p.state(), CddbProtocol::ReadSent);
    EXPECT_EQ(p.category(), "rock");

    r = p.processLine("210 rock 0200c801 CD database entry follows");
    EXPECT_EQ(p.state(), CddbProtocol::ReceivingRecord);
    for (const char* line : {"# xmcd", "DTITLE=Artist / Title", "401 is data here"})
        EXPECT_FALSE(p.processLine(line).close);
    r = p.processLine(".");
    EXPECT_TRUE(r.close);
    EXPECT_EQ(p.state(), CddbProtocol::Idle);
    EXPECT_EQ(p.receivedLines(),
              (std::vector<std::string>{"# xmcd", "DTITLE=Artist / Title", "401 is data here"}));
}

TEST(CddbDialogue, InexactMatchesNoMatchAndRefusals)
{
    CddbProtocol p;
    const CddbDiscInfo info = oneTrackDisc();
    p.begin(CddbProtocol::Cddbp, info, {"u", "h"});
    p.processLine("200 ok");
    p.processLine("200 hello");
    p.processLine("211 close matches found");
    EXPECT_EQ(p.state(), CddbProtocol::ReceivingMatches);
    p.processLine("rock 0200c801 First / Disc");
    p.processLine("  misc 0200c802 Second / Disc");
    EXPECT_EQ(p.state(), CddbProtocol::ReceivingMatches);
    p.processLine(".");
    EXPECT_EQ(p.state(), CddbProtocol::ChoiceWaiting);
    EXPECT_EQ(p.receivedLines().size(), 2u);
    const CddbMatch m = SplitMatchLine(p.receivedLines()[1]);
    EXPECT_EQ(m.category, "misc");
    EXPECT_EQ(m.discId, "0200c802");
    EXPECT_EQ(m.text, "Second / Disc");
    auto r = p.requestRead(m.category, m.discId);
    EXPECT_EQ(r.send, "cddb read misc 0200c802\n");
    EXPECT_EQ(p.state(), CddbProtocol::ReadSent);

    p.begin(CddbProtocol::Cddbp, info, {"u", "h"});
    p.processLine("200 ok");
    p.processLine("200 hello");
    r = p.processLine("202 No match found");
    EXPECT_TRUE(r.close);
    EXPECT_EQ(p.state(), CddbProtocol::NoMatch);

    for (const char* refusal : {"431 no handshake", "500 command syntax error"}) {
        p.begin(CddbProtocol::Cddbp, info, {"u", "h"});
        p.processLine("200 ok");
        r = p.processLine(refusal);
        EXPECT_TRUE(r.close);
        EXPECT_EQ(p.state(), CddbProtocol::Failed) << refusal;
    }

    // An exact match without its two words, a bad greeting, a 201 where a list was due.
    const std::vector<std::vector<std::string>> failures = {
        {"200 ok", "200 hello", "200 rock"},
        {"212 not a cddb greeting"},
        {"200 ok", "200 hello", "201 nothing follows"},
        {"200 ok", "200 hello", "200 rock 1 x", "200 read ok without list"},
    };
    for (const auto& lines : failures) {
        p.begin(CddbProtocol::Cddbp, info, {"u", "h"});
        for (const std::string& line : lines)
            p.processLine(line);
        if (lines.size() == 4)
            EXPECT_EQ(p.state(), CddbProtocol::ReadSent) << "closed, state kept";
        else
            EXPECT_EQ(p.state(), CddbProtocol::Failed) << lines.back();
    }
}

TEST(CddbDialogue, HttpEntersAtTheQueryAndSendsNothing)
{
    CddbProtocol p;
    const CddbDiscInfo info = oneTrackDisc();
    p.begin(CddbProtocol::Http, info, {"kolvo", "vm.example"});
    EXPECT_EQ(p.state(), CddbProtocol::QuerySent);
    auto r = p.processLine("200 rock 0200c801 Artist / Title");
    EXPECT_TRUE(r.send.empty());
    EXPECT_FALSE(r.close);
    EXPECT_EQ(p.state(), CddbProtocol::ReadSent);

    EXPECT_EQ(CddbHttpQueryUrl("http://h/~cddb/cddb.cgi", info, {"kolvo", "vm.example"}),
              "http://h/~cddb/cddb.cgi?cmd=cddb+query+0200c801+1+150+202"
              "&hello=kolvo+vm.example+Kolvo+4.0&proto=1");
    EXPECT_EQ(CddbHttpReadUrl("http://h/cgi-bin/cddb.cgi", "rock", "0200c801", {"a+b", ""}),
              "http://h/cgi-bin/cddb.cgi?cmd=cddb+read+rock+0200c801"
              "&hello=a%2Bb++Kolvo+4.0&proto=1");
}

TEST(SmtpDialogue, FromGreetingToQuit)
{
    SmtpProtocol p;
    p.setHeloHost("127.0.0.1");
    p.begin("me@example.org", "gnudb-submit@gnudb.org", "From: me\r\n\r\nPLAYORDER=3D");
    EXPECT_TRUE(p.processLine("220-first line of a long greeting").send.empty());
    EXPECT_TRUE(p.processLine("220-second").send.empty());
    EXPECT_EQ(p.processLine("220 ready").send, "HELO 127.0.0.1\r\n");
    EXPECT_EQ(p.processLine("250 hi").send, "MAIL FROM: me@example.org\r\n");
    EXPECT_EQ(p.processLine("250 ok").send, "RCPT TO: gnudb-submit@gnudb.org\r\n");
    EXPECT_EQ(p.processLine("251 will forward").send, "DATA\r\n");
    EXPECT_EQ(p.processLine("354 go ahead").send, "From: me\r\n\r\nPLAYORDER=3D\r\n.\r\n");
    EXPECT_EQ(p.state(), SmtpProtocol::MessageSent);
    auto r = p.processLine("250 queued");
    EXPECT_EQ(r.send, "QUIT\r\n");
    EXPECT_TRUE(r.close);
    EXPECT_EQ(p.state(), SmtpProtocol::Done);
    EXPECT_TRUE(p.processLine("421 late").send.empty());
    EXPECT_EQ(p.state(), SmtpProtocol::Done) << "nothing after the end changes the outcome";
}

TEST(SmtpDialogue, RefusalsEndIt)
{
    const std::vector<std::vector<std::string>> failures = {
        {"554 go away"},
        {"220 ok", "250 hi", "550 sender refused"},
        {"220 ok", "250 hi", "250 ok", "252 cannot verify"},
        {"220 ok", "250 hi", "250 ok", "250 ok", "250 not 354"},
        {"220 ok", "220 again"},
        {"220 ok", "250-multi", "550-bad continuation"},
    };
    for (const auto& lines : failures) {
        SmtpProtocol p;
        p.begin("me@x.org", "to@y.org", "m");
        SmtpProtocol::Reaction r;
        for (const std::string& line : lines)
            r = p.processLine(line);
        EXPECT_EQ(p.state(), SmtpProtocol::Failed) << lines.back();
        EXPECT_TRUE(r.close);
    }
    SmtpProtocol p;
    p.begin("me@x.org", "to@y.org", "m");
    p.processLine("xyz noise");
    EXPECT_EQ(p.state(), SmtpProtocol::Failed) << "a code not starting with 2 or 3 fails";
    p.begin("me@x.org", "to@y.org", "m");
    p.processLine("2xy noise");
    EXPECT_EQ(p.state(), SmtpProtocol::Connecting) << "non-digits are ignored while connecting";
}
