// Submission by mail: through a real SMTP server on loopback (aiosmtpd), through scripted
// servers for the corners, and the e-mail settings dialog.
#include "cddbtesting.h"

#include "albums/album.h"
#include "cddb/cdalbum.h"
#include "cddb/cddbclient.h"
#include "cddb/dialogs.h"
#include "platform/msgbox.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "support/testhome.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

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

class Submit : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        SetCddbTickInterval(5);
        setMessageBoxHook(
            [this](const QString&, const QString& text, MessageIcon, MessageButtons buttons) {
                messages.push_back(text.toStdString());
                return buttons == MessageButtons::YesNo ? answer : IDOK;
            });
    }
    void TearDown() override
    {
        setMessageBoxHook({});
        SetCddbTickInterval(1000);
        KolvoHomeTest::TearDown();
    }

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

    std::vector<std::string> messages;
    int answer = IDYES;
    int saves = 0;
};

} // namespace

TEST_F(Submit, ARealMailServerReceivesTheDesignedMail)
{
    const std::string out = homePath("sink");
    writeFile("sink/.keep", "");
    SmtpSink sink("accept", out);
    ASSERT_GT(sink.port(), 0) << sink.errors();
    setMailSettings("listener@example.org", "127.0.0.1:" + std::to_string(sink.port()));

    CddbAlbum album = submittableAlbum();
    CddbDiscInfo info;
    ComputeDiscId(album, info);
    ASSERT_EQ(submit(album), 1) << sink.errors();
    EXPECT_EQ(messages, (std::vector<std::string>{LoadString(1071), LoadString(1072)}));
    EXPECT_EQ(album.revision, 3);
    EXPECT_EQ(saves, 1);

    const auto envelope =
        QJsonDocument::fromJson(QByteArray::fromStdString(readFile(out + "/envelope.json")))
            .object();
    EXPECT_EQ(envelope.value("helo").toString(), "127.0.0.1");
    EXPECT_EQ(envelope.value("from").toString(), "listener@example.org");
    EXPECT_EQ(envelope.value("to").toVariant().toStringList(),
              QStringList{QStringLiteral("gnudb-submit@gnudb.org")});

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
    auto has = [&body](const std::string& line) {
        return std::find(body.begin(), body.end(), line) != body.end();
    };
    EXPECT_TRUE(has("DISCID=" + id));
    EXPECT_TRUE(has("#\t150") && has("#\t20000") && has("#\t41000"));
    EXPECT_TRUE(has("# Disc length: 800 seconds"));
    EXPECT_TRUE(has("# Revision: 3"));
    EXPECT_TRUE(has("EXTT2=live\\nrecording"));
    EXPECT_EQ(body.back(), "PLAYORDER=");
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
    EXPECT_EQ(read.artist, "The Examples");
    EXPECT_EQ(read.title, "Night Songs");
    EXPECT_EQ(read.revision, 3);
    EXPECT_EQ(read.trackTitles.size(), 3u);

    // The next submission writes the new revision plus one.
    messages.clear();
    ASSERT_EQ(submit(album), 1);
    EXPECT_EQ(album.revision, 4);
    EXPECT_NE(readFile(out + "/body.txt").find("# Revision: 4\r\n"), std::string::npos);
}

TEST_F(Submit, RefusalAndDropLeaveTheRevision)
{
    for (const auto& [mode, message] :
         std::vector<std::pair<std::string, UINT>>{{"reject-mail", 2039}, {"drop-rcpt", 2040}}) {
        SmtpSink sink(mode, home());
        ASSERT_GT(sink.port(), 0) << sink.errors();
        setMailSettings("listener@example.org", "127.0.0.1:" + std::to_string(sink.port()));
        CddbAlbum album = submittableAlbum();
        messages.clear();
        EXPECT_EQ(submit(album), 0) << mode;
        EXPECT_EQ(messages, (std::vector<std::string>{LoadString(1071), LoadString(message),
                                                      LoadString(1073)}))
            << mode;
        EXPECT_EQ(album.revision, 2);
        EXPECT_EQ(saves, 0);
    }
}

TEST_F(Submit, ScriptedServersForTheCorners)
{
    // A multi-line greeting arriving in pieces and 251 to RCPT TO; then a server that falls
    // silent after the greeting.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    std::vector<std::string> received;
    bool silent = false;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = server.nextPendingConnection();
        s->write("220-welcome\r\n220-to the\r");
        s->flush();
        QTimer::singleShot(30, s, [s] { s->write("\n220 test server\r\n"); });
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, &received, &silent] {
            static std::string pending;
            pending += s->readAll().toStdString();
            size_t end;
            while ((end = pending.find("\r\n")) != std::string::npos) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 2);
                received.push_back(line.substr(0, 10));
                if (silent)
                    continue;
                if (line.rfind("RCPT", 0) == 0)
                    s->write("251 will forward\r\n");
                else if (line == "DATA")
                    s->write("354 go on\r\n");
                else if (line.rfind("HELO", 0) == 0 || line.rfind("MAIL", 0) == 0 || line == ".")
                    s->write("250 ok\r\n");
            }
        });
    });
    setMailSettings("me@example.org", "127.0.0.1:" + std::to_string(server.serverPort()));
    CddbAlbum album = submittableAlbum();
    ASSERT_EQ(submit(album), 1);
    EXPECT_EQ(std::count(received.begin(), received.end(), "HELO 127.0"), 1)
        << "the greeting is answered once, after its last line";
    EXPECT_EQ(received.back(), "QUIT");
    EXPECT_EQ(album.revision, 3);

    silent = true;
    received.clear();
    messages.clear();
    EXPECT_EQ(submit(album), 0);
    EXPECT_EQ(messages,
              (std::vector<std::string>{LoadString(1071), LoadString(2041), LoadString(1073)}));
    EXPECT_EQ(album.revision, 3);
}

TEST_F(Submit, NothingIsSentWithoutChecksConfirmationAndAServer)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    int connections = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        ++connections;
        server.nextPendingConnection()->close();
    });
    setMailSettings("me@example.org", "127.0.0.1:" + std::to_string(server.serverPort()));

    CddbAlbum album = submittableAlbum();
    album.title = "AC/DC";
    EXPECT_EQ(submit(album), 0);
    EXPECT_EQ(messages, std::vector<std::string>{LoadString(1154)});

    messages.clear();
    answer = IDNO;
    album = submittableAlbum();
    EXPECT_EQ(submit(album), 0);
    EXPECT_EQ(messages, std::vector<std::string>{LoadString(1071)});
    EXPECT_EQ(connections, 0);

    messages.clear();
    answer = IDYES;
    setMailSettings("me@example.org", "127.0.0.1:99999");
    EXPECT_EQ(submit(album), 0);
    EXPECT_EQ(messages,
              (std::vector<std::string>{LoadString(1071), LoadString(2037), LoadString(1073)}));
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
    EXPECT_EQ(CddbSubmit(
                  nullptr, album, [] {},
                  [&told](const std::string& e, const std::string& s) {
                      told = {e, s};
                  }),
              0);
    EXPECT_EQ(seen, std::vector<std::string>{"Please enter minimun 4 characters."});
    EXPECT_EQ(told, std::make_pair(std::string("me@example.org"), std::string("mail.example.org")));
    const Profile profile;
    EXPECT_EQ(profile.GetProfileString("CD", "EMail", ""), "me@example.org");
    EXPECT_EQ(profile.GetProfileString("CD", "MailServer", ""), "mail.example.org");
    EXPECT_EQ(messages.back(), LoadString(1150)) << "then the checks ran";
}

TEST_F(Submit, TheCdAlbumKeepsItsNewRevision)
{
    {
        Album album(AlbumKindCd);
        ASSERT_TRUE(album.Open("1f2e3d", 0));
        const CddbAlbum source = submittableAlbum();
        for (const CddbTrack& t : source.tracks)
            album.AddSong(t.title, t.extendedInfo, t.lengthMs, t.startFrame);
        album.setTitle(source.title);
        album.setArtist(source.artist);
        album.setGenre(source.genre);
        album.setRevision(source.revision);
        album.setDiscLengthMs(source.discLengthMs);
        album.setDiscEndFrame(source.discEndFrame);
        ASSERT_TRUE(album.Save());
    }
    Album album(AlbumKindCd);
    ASSERT_TRUE(album.Open("1f2e3d", 0));
    EXPECT_EQ(BuildSubmissionRecord(album, kCddbClientName, false),
              BuildSubmissionRecord(submittableAlbum(), kCddbClientName, false));
    EXPECT_TRUE(CheckSubmission(album, false).passed);

    const std::string out = homePath("sink");
    writeFile("sink/.keep", "");
    {
        SmtpSink refusing("reject-mail", out);
        ASSERT_GT(refusing.port(), 0);
        setMailSettings("listener@example.org", "127.0.0.1:" + std::to_string(refusing.port()));
        EXPECT_EQ(CddbSubmit(nullptr, album), 0);
        Album stored(AlbumKindCd);
        ASSERT_TRUE(stored.LoadForReading("1f2e3d"));
        EXPECT_EQ(stored.revision(), 2);
    }
    SmtpSink sink("accept", out);
    ASSERT_GT(sink.port(), 0);
    setMailSettings("listener@example.org", "127.0.0.1:" + std::to_string(sink.port()));
    ASSERT_EQ(CddbSubmit(nullptr, album), 1);
    EXPECT_EQ(album.revision(), 3);
    Album stored(AlbumKindCd);
    ASSERT_TRUE(stored.LoadForReading("1f2e3d"));
    EXPECT_EQ(stored.revision(), 3);
    EXPECT_NE(readFile(out + "/body.txt").find("# Revision: 3\r\n"), std::string::npos);
}

TEST(SubmitDialog, TheStatusLineFollowsEachStep)
{
    // A server that takes its time over every reply, so the dialog ticks in each state.
    SetCddbTickInterval(5);
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        QTcpSocket* s = server.nextPendingConnection();
        const auto later = [s](const char* reply) {
            QTimer::singleShot(40, s, [s, reply] { s->write(reply); });
        };
        later("220 slow server\r\n");
        auto pending = std::make_shared<std::string>();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, pending, later] {
            *pending += s->readAll().toStdString();
            size_t end;
            while ((end = pending->find("\r\n")) != std::string::npos) {
                const std::string line = pending->substr(0, end);
                pending->erase(0, end + 2);
                if (line == "DATA")
                    later("354 go on\r\n");
                else if (line.rfind("HELO", 0) == 0 || line.rfind("MAIL", 0) == 0 ||
                         line.rfind("RCPT", 0) == 0 || line == ".")
                    later("250 ok\r\n");
            }
        });
    });
    CddbSubmitDialog dialog("127.0.0.1:" + std::to_string(server.serverPort()), "me@example.org",
                            "From: me@example.org\r\n\r\n# xmcd");
    std::vector<UINT> statuses;
    std::vector<QString> shown;
    QObject::connect(&dialog.session(), &SmtpSubmitSession::statusChanged, [&](UINT id) {
        // The same text for the next state is no change the user sees.
        if (statuses.empty() || statuses.back() != id) {
            statuses.push_back(id);
            shown.push_back(dialog.statusText());
        }
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(statuses, (std::vector<UINT>{2091, 2087, 2088, 2099}));
    ASSERT_EQ(shown.size(), statuses.size());
    for (size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], LoadQString(statuses[i])) << i;
    SetCddbTickInterval(1000);
}
