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

// Starts a line-protocol dialogue for the one-track disc and feeds it the lines; returns the
// reaction to the last.
CddbProtocol::Reaction feed(CddbProtocol& p, const std::vector<std::string>& lines)
{
    p.begin(CddbProtocol::Cddbp, oneTrackDisc(), {"u", "h"});
    CddbProtocol::Reaction r;
    for (const std::string& line : lines)
        r = p.processLine(line);
    return r;
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
    // The scheme is compared without regard to case.
    for (const auto& [text, parsed] : std::vector<std::pair<std::string, std::string>>{
             {"gnudb.gnudb.org", "gnudb.gnudb.org 888"},
             {"gnudb.gnudb.org:8880", "gnudb.gnudb.org 8880"},
             {"[::1]:9000", "::1 9000"},
             {"::1", "::1 888"},
             {"HTTP://Example.org/~cddb/cddb.cgi", "http HTTP://Example.org/~cddb/cddb.cgi"}}) {
        const CddbServerAddress a = ParseCddbServer(text, 888);
        EXPECT_TRUE(a.valid) << text;
        EXPECT_EQ(a.http ? "http " + a.url : a.host + " " + std::to_string(a.port), parsed);
    }
    for (const char* bad : {"", "host:", "host:0", "host:70000", "host:8a", ":888", "http://"})
        EXPECT_FALSE(ParseCddbServer(bad, 888).valid) << bad;
}

TEST(CddbHello, EmailHalvesStandInForTheFixedNames)
{
    // Blanks would break the hello's words.
    for (const auto& [email, hello] : std::vector<std::pair<std::string, std::string>>{
             {"", "kolvo 10.0.0.2"},
             {"someone@example.org", "someone example.org"},
             {"two words@x y", "twowords xy"},
             {"@nouser", "kolvo 10.0.0.2"}}) {
        const CddbHello h = CddbHelloFor(email, "10.0.0.2");
        EXPECT_EQ(h.user + " " + h.host, hello) << email;
    }
}

TEST(CddbDialogue, InexactMatchesNoMatchAndRefusals)
{
    CddbProtocol p;
    feed(p, {"200 ok", "200 hello", "211 close matches found", "rock 0200c801 First / Disc",
             "  misc 0200c802 Second / Disc"});
    EXPECT_EQ(p.state(), CddbProtocol::ReceivingMatches);
    p.processLine(".");
    EXPECT_EQ(p.state(), CddbProtocol::ChoiceWaiting);
    EXPECT_EQ(p.receivedLines().size(), 2u);
    const CddbMatch m = SplitMatchLine(p.receivedLines()[1]);
    EXPECT_EQ(m.category + "|" + m.discId + "|" + m.text, "misc|0200c802|Second / Disc");
    EXPECT_EQ(p.requestRead(m.category, m.discId).send, "cddb read misc 0200c802\n");
    EXPECT_EQ(p.state(), CddbProtocol::ReadSent);

    EXPECT_TRUE(feed(p, {"200 ok", "200 hello", "202 No match found"}).close);
    EXPECT_EQ(p.state(), CddbProtocol::NoMatch);
    for (const char* refusal : {"431 no handshake", "500 command syntax error"}) {
        EXPECT_TRUE(feed(p, {"200 ok", refusal}).close);
        EXPECT_EQ(p.state(), CddbProtocol::Failed) << refusal;
    }

    // An exact match without its two words, a bad greeting, a 201 where a list was due.
    for (const std::vector<std::string>& lines :
         {std::vector<std::string>{"200 ok", "200 hello", "200 rock"},
          {"212 not a cddb greeting"},
          {"200 ok", "200 hello", "201 nothing follows"}}) {
        feed(p, lines);
        EXPECT_EQ(p.state(), CddbProtocol::Failed) << lines.back();
    }
    feed(p, {"200 ok", "200 hello", "200 rock 1 x", "200 read ok without list"});
    EXPECT_EQ(p.state(), CddbProtocol::ReadSent) << "closed, state kept";
}

// The exact requests of both transports are the lookup tests'; here what HTTP leaves out.
TEST(CddbDialogue, HttpEntersAtTheQueryAndSendsNothing)
{
    CddbProtocol p;
    p.begin(CddbProtocol::Http, oneTrackDisc(), {"kolvo", "vm.example"});
    EXPECT_EQ(p.state(), CddbProtocol::QuerySent);
    const auto r = p.processLine("200 rock 0200c801 Artist / Title");
    EXPECT_TRUE(r.send.empty() && !r.close);
    EXPECT_EQ(p.state(), CddbProtocol::ReadSent);
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
