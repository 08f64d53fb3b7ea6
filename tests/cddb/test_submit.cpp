// Submission by mail: through a real SMTP server on loopback (aiosmtpd), through scripted
// servers for the corners, and the e-mail settings dialog.
#include "cddbtesting.h"

#include "albums/album.h"
#include "cddb/cdalbum.h"
#include "cddb/cddbclient.h"
#include "cddb/dialogs.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <tuple>

namespace {

const std::string kLongTitle =
    "A Very Long Track Title That Goes On = And On Past Seventy Columns Of The Record Line "
    "Until It Has To Fold Over";

CddbAlbum submittableAlbum()
{
    CddbAlbum a = CddbAlbumFromToc({150, 20000, 41000}, 60000);
    a.title = "Night Songs";
    a.artist = "The Examples";
    a.genre = "Rock";
    a.revision = 2;
    a.tracks[0].title = kLongTitle;
    a.tracks[1].title = "Two";
    a.tracks[2].title = "Three";
    a.tracks[2].extendedInfo = "live\rrecording";
    return a;
}

// A mail server on loopback that answers every command 40 ms late (RCPT TO with 251), greets
// in several lines that arrive in pieces, and says nothing once silent. It counts connections
// and keeps the first ten characters of each line it received.
class ScriptedSmtp
{
public:
    ScriptedSmtp()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket* s = m_server.nextPendingConnection();
            ++connections;
            const auto later = [s](int times, const char* reply) {
                QTimer::singleShot(times * 40, s, [s, reply] { s->write(reply); });
            };
            later(1, "220-welcome\r\n220-to the\r");
            later(2, "\n220 test server\r\n");
            auto pending = std::make_shared<std::string>();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, pending, later] {
                *pending += s->readAll().toStdString();
                for (size_t end; (end = pending->find("\r\n")) != std::string::npos;) {
                    const std::string line = pending->substr(0, end);
                    pending->erase(0, end + 2);
                    received.push_back(line.substr(0, 10));
                    const std::string word = line.substr(0, 4);
                    if (silent)
                        continue;
                    if (word == "RCPT")
                        later(1, "251 will forward\r\n");
                    else if (line == "DATA")
                        later(1, "354 go on\r\n");
                    else if (word == "HELO" || word == "MAIL" || line == ".")
                        later(1, "250 ok\r\n");
                }
            });
        });
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_server.serverPort()); }

    std::vector<std::string> received;
    int connections = 0;
    bool silent = false;

private:
    QTcpServer m_server;
};

class Submit : public CddbTest
{
protected:
    void setMailSettings(const std::string& email, const std::string& server)
    {
        Profile profile;
        profile.WriteProfileString("CD", "EMail", email);
        profile.WriteProfileString("CD", "MailServer", server);
        profile.sync();
    }

    // Submits; returns the result and counts the saves.
    int submit(CddbAlbum& album)
    {
        return CddbSubmit(nullptr, album, [this] { ++saves; });
    }
    // The messages of a submission that was confirmed and failed with id.
    static std::vector<std::string> failedWith(UINT id)
    {
        return {LoadString(1071), LoadString(id), LoadString(1073)};
    }

    int saves = 0;
};

} // namespace

TEST_F(Submit, ARealMailServerReceivesTheDesignedMail)
{
    writeFile("sink/.keep", "");
    const std::string out = homePath("sink");
    SmtpSink sink("accept", out);
    ASSERT_GT(sink.port(), 0) << sink.errors();
    setMailSettings("listener@example.org", sink.address());

    CddbAlbum album = submittableAlbum();
    CddbDiscInfo info;
    ComputeDiscId(album, info);
    ASSERT_EQ(submit(album), 1) << sink.errors();
    EXPECT_EQ(messages, (std::vector<std::string>{LoadString(1071), LoadString(1072)}));
    EXPECT_EQ(album.revision, 3);
    EXPECT_EQ(saves, 1);

    // As the sink's json.dump writes it.
    EXPECT_EQ(readFile(out + "/envelope.json"),
              R"({"helo": "127.0.0.1", "from": "listener@example.org", )"
              R"("to": ["gnudb-submit@gnudb.org"]})");

    const std::string id = DiscIdText(info.discId);
    const auto mail = crlfLines(readFile(out + "/mail.eml"));
    ASSERT_GE(mail.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(mail.begin(), mail.begin() + 7),
              (std::vector<std::string>{"From: listener@example.org", "Subject: cddb rock " + id,
                                        "To: gnudb-submit@gnudb.org", "MIME-Version: 1.0",
                                        "Content-Type: text/plain;\tcharset=iso-8859-1",
                                        "Content-Transfer-Encoding: quoted-printable", ""}));

    // The body, decoded by the mail library, is an xmcd record of this disc.
    const auto body = crlfLines(readFile(out + "/body.txt"));
    ASSERT_FALSE(body.empty());
    EXPECT_EQ(body.front(), "# xmcd CD database file");
    EXPECT_EQ(body.back(), "PLAYORDER=");
    for (const std::string& line :
         {"DISCID=" + id, std::string("#\t150"), std::string("#\t20000"), std::string("#\t41000"),
          std::string("# Disc length: 800 seconds"), std::string("# Revision: 3"),
          std::string("EXTT2=live\\nrecording")})
        EXPECT_NE(std::find(body.begin(), body.end(), line), body.end()) << line;
    std::string folded;
    int pieces = 0;
    for (const std::string& line : body) {
        EXPECT_LE(line.size(), 73u);
        if (line.rfind("TTITLE0=", 0) == 0) {
            folded += line.substr(8);
            ++pieces;
        }
    }
    EXPECT_EQ(folded, kLongTitle);
    EXPECT_EQ(pieces, 2);
    const XmcdRecord read = ParseXmcdRecord(body, "rock");
    EXPECT_EQ(read.artist + " / " + read.title + " r" + std::to_string(read.revision),
              "The Examples / Night Songs r3");
    EXPECT_EQ(read.trackTitles.size(), 3u);

    // The next submission writes the new revision plus one.
    ASSERT_EQ(submit(album), 1);
    EXPECT_EQ(album.revision, 4);
    EXPECT_NE(readFile(out + "/body.txt").find("# Revision: 4\r\n"), std::string::npos);
}

TEST_F(Submit, ScriptedServersForTheCorners)
{
    // A multi-line greeting arriving in pieces and 251 to RCPT TO; then a server that falls
    // silent after the greeting.
    ScriptedSmtp server;
    setMailSettings("me@example.org", server.address());
    CddbAlbum album = submittableAlbum();
    ASSERT_EQ(submit(album), 1);
    EXPECT_EQ(std::count(server.received.begin(), server.received.end(), "HELO 127.0"), 1)
        << "the greeting is answered once, after its last line";
    EXPECT_EQ(server.received.back(), "QUIT");
    EXPECT_EQ(album.revision, 3);

    server.silent = true;
    messages.clear();
    EXPECT_EQ(submit(album), 0);
    EXPECT_EQ(messages, failedWith(2041));
    EXPECT_EQ(album.revision, 3);
}

TEST_F(Submit, NothingIsSentWithoutChecksConfirmationAndAServer)
{
    ScriptedSmtp server;
    setMailSettings("me@example.org", server.address());
    CddbAlbum album = submittableAlbum();
    album.title = "AC/DC";
    EXPECT_EQ(submit(album), 0);
    answer = IDNO;
    album = submittableAlbum();
    EXPECT_EQ(submit(album), 0);
    EXPECT_EQ(messages, (std::vector<std::string>{LoadString(1154), LoadString(1071)}));
    EXPECT_EQ(server.connections, 0);

    messages.clear();
    answer = IDYES;
    setMailSettings("me@example.org", "127.0.0.1:99999");
    EXPECT_EQ(submit(album), 0);
    EXPECT_EQ(messages, failedWith(2037));
    EXPECT_EQ(album.revision, 2);
    EXPECT_EQ(saves, 0);
}

TEST_F(Submit, MissingSettingsAreAskedForWithTheirMinimum)
{
    // Cancel ends the command before anything else.
    onNextDialog<CddbEmailDialog>([](CddbEmailDialog* d) { d->reject(); });
    CddbAlbum album = submittableAlbum();
    album.genre.clear(); // would fail the checks, which must not run
    EXPECT_EQ(submit(album), 0);
    EXPECT_TRUE(messages.empty());

    std::vector<std::string> seen;
    onNextDialog<CddbEmailDialog>([this, &seen](CddbEmailDialog* d) {
        d->emailEdit()->setText("a@b");
        d->mailServerEdit()->setText("mail.example.org");
        d->accept();
        seen = messages; // refused: three characters
        EXPECT_TRUE(d->isVisible());
        d->emailEdit()->setText("me@example.org");
        d->accept();
    });
    std::pair<std::string, std::string> told;
    const auto tell = [&told](const std::string& e, const std::string& s) { told = {e, s}; };
    EXPECT_EQ(CddbSubmit(
                  nullptr, album, [] {}, tell),
              0);
    EXPECT_EQ(seen, std::vector<std::string>{"Please enter minimun 4 characters."});
    EXPECT_EQ(told, std::make_pair(std::string("me@example.org"), std::string("mail.example.org")));
    const Profile profile;
    EXPECT_EQ(profile.GetProfileString("CD", "EMail", ""), "me@example.org");
    EXPECT_EQ(profile.GetProfileString("CD", "MailServer", ""), "mail.example.org");
    EXPECT_EQ(messages.back(), LoadString(1150)) << "then the checks ran";
}

// A refused mail or a dropped connection leaves the revision; a mail taken raises it, and the
// CD album is saved with it.
TEST_F(Submit, TheCdAlbumKeepsItsRevisionUntilAMailIsTaken)
{
    saveCdAlbum("1f2e3d", submittableAlbum());
    Album album(AlbumKindCd);
    ASSERT_TRUE(album.Open("1f2e3d", 0));
    EXPECT_EQ(BuildSubmissionRecord(album, kCddbClientName, false),
              BuildSubmissionRecord(submittableAlbum(), kCddbClientName, false));
    EXPECT_TRUE(CheckSubmission(album, false).passed);

    writeFile("sink/.keep", "");
    const std::string out = homePath("sink");
    for (const auto& [mode, message, revision] : std::vector<std::tuple<std::string, UINT, int>>{
             {"reject-mail", 2039, 2}, {"drop-rcpt", 2040, 2}, {"accept", 0, 3}}) {
        SmtpSink sink(mode, out);
        ASSERT_GT(sink.port(), 0) << sink.errors();
        setMailSettings("listener@example.org", sink.address());
        messages.clear();
        EXPECT_EQ(CddbSubmit(nullptr, album), revision == 3) << mode;
        EXPECT_EQ(messages,
                  (message ? failedWith(message)
                           : std::vector<std::string>{LoadString(1071), LoadString(1072)}));
        EXPECT_EQ(album.revision(), revision);
        Album stored(AlbumKindCd);
        ASSERT_TRUE(stored.LoadForReading("1f2e3d"));
        EXPECT_EQ(stored.revision(), revision);
    }
    EXPECT_NE(readFile(out + "/body.txt").find("# Revision: 3\r\n"), std::string::npos);
}

TEST(SubmitDialog, TheStatusLineFollowsEachStep)
{
    // The server takes its time over every reply, so the dialog ticks in each state.
    SetCddbTickInterval(5);
    ScriptedSmtp server;
    CddbSubmitDialog dialog(server.address(), "me@example.org",
                            "From: me@example.org\r\n\r\n# xmcd");
    std::vector<UINT> statuses;
    QObject::connect(&dialog.session(), &SmtpSubmitSession::statusChanged, [&](UINT id) {
        // The same text for the next state is no change the user sees.
        if (statuses.empty() || statuses.back() != id) {
            statuses.push_back(id);
            EXPECT_EQ(dialog.statusText(), LoadQString(id));
        }
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(statuses, (std::vector<UINT>{2091, 2087, 2088, 2099}));
    SetCddbTickInterval(1000);
}
