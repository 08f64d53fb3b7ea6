// Kolvo as the desktop's media controls see it: a real kolvo on a private session bus (the test
// runs under dbus-run-session), driven by playerctl and read back over D-Bus.

#include "support/kolvoprocess.h"
#include "support/testhome.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <functional>

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.kolvo");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// Collects the PropertiesChanged and Seeked signals of the player interface.
class ChangeWatcher : public QObject
{
    Q_OBJECT
public:
    std::vector<QVariantMap> changes;
    std::vector<qlonglong> seeks;
    bool any(const std::function<bool(const QVariantMap&)>& matches) const
    {
        return std::any_of(changes.begin(), changes.end(), matches);
    }

public slots:
    void onChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == kPlayer)
            changes.push_back(changed);
    }
    void onSeeked(qlonglong position) { seeks.push_back(position); }
};

bool waitFor(const std::function<bool()>& done)
{
    return QTest::qWaitFor(done, 10000);
}

class MprisTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected())
            << "the test runs under dbus-run-session";
        m_env = kolvoEnvironment(home());
        m_env.insert("KOLVO_LOG", "desktop:info");
    }

    void TearDown() override
    {
        for (auto& p : m_running) {
            p->terminate();
            if (!p->waitForFinished(10000))
                p->kill();
        }
        m_running.clear();
        KolvoHomeTest::TearDown();
    }

    QProcess& start(const QStringList& args = {}) { return start(args, m_env); }
    QProcess& start(const QStringList& args, const QProcessEnvironment& env)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(QString::fromStdString(builtProgram("kolvo")), QStringList{"-nosplash"} + args);
        EXPECT_TRUE(p->waitForStarted(5000));
        m_running.push_back(std::move(p));
        return *m_running.back();
    }

    static bool serviceUp(const QString& name)
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
    }

    // playerctl's answer (trimmed stdout) to a command on the player named `player`.
    static QString playerctl(const QStringList& args, const QString& player = "kolvo")
    {
        QProcess p;
        p.start("playerctl", QStringList{"-p", player} + args);
        if (!p.waitForFinished(10000))
            return "(playerctl hung)";
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    static QString status() { return playerctl({"status"}); }
    static QString title() { return playerctl({"metadata", "title"}); }

    static QVariant property(const QString& name, const QString& service = kService)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, kPath, "org.freedesktop.DBus.Properties", "Get");
        call << kPlayer << name;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }

    static QVariantMap metadata()
    {
        QVariantMap out;
        property("Metadata").value<QDBusArgument>() >> out;
        return out;
    }

    void watch(ChangeWatcher& w)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        ASSERT_TRUE(bus.connect(QString(), kPath, "org.freedesktop.DBus.Properties",
                                "PropertiesChanged", &w,
                                SLOT(onChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(
            bus.connect(QString(), kPath, kPlayer, "Seeked", &w, SLOT(onSeeked(qlonglong))));
    }

    // An MP3 with every tag the desktop shows and a cover picture; returns its path.
    std::string makeTaggedSong(QByteArray& cover)
    {
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(QColor(20, 40, 160));
        QPainter(&image).fillRect(16, 16, 32, 32, QColor(240, 200, 40));
        const QString png = QString::fromStdString(homePath("cover.png"));
        EXPECT_TRUE(image.save(png));
        cover = QByteArray::fromStdString(readFile(png.toStdString()));
        const QString wav = QString::fromStdString(homePath("tone.wav"));
        const QString mp3 = QString::fromStdString(homePath("Tagged Tone.mp3"));
        EXPECT_EQ(QProcess::execute("sox", {"-n", "-r", "44100", "-c", "2", wav, "synth", "20",
                                            "sine", "440", "vol", "0.3"}),
                  0);
        EXPECT_EQ(QProcess::execute("lame", {"--quiet", "--tt", "Blue Square", "--ta",
                                             "The Testers", "--tl", "Fixtures Vol. 2", "--tn", "7",
                                             "--ti", png, wav, mp3}),
                  0);
        return mp3.toStdString();
    }

    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_running;
};

QString trackId(const QVariantMap& m)
{
    return m.value("mpris:trackid").value<QDBusObjectPath>().path();
}

} // namespace

TEST_F(MprisTest, PlayPauseNextAndStopDriveThePlayerAndEverySongChangeIsSignalled)
{
    ChangeWatcher w;
    watch(w);
    start(); // a first start: the demo album, "Evening Song.mp3" then "Morning Arpeggio.wav"
    ASSERT_TRUE(waitFor([] { return serviceUp(kService); })) << "no MPRIS name on the bus";
    EXPECT_EQ(status(), "Stopped");

    playerctl({"play-pause"});
    EXPECT_EQ(status(), "Playing");
    ASSERT_TRUE(waitFor([] { return title() == "Evening Song"; }))
        << playerctl({"metadata"}).toStdString();
    EXPECT_EQ(playerctl({"metadata", "artist"}), "Kolvo");
    EXPECT_EQ(playerctl({"metadata", "album"}), "Kolvo Demo");
    const QVariantMap first = metadata();
    EXPECT_EQ(trackId(first), "/org/kolvo/track/3_1");
    // The demo song is 12.2 s long; the engine's length is the one told.
    EXPECT_NEAR(first.value("mpris:length").toLongLong() / 1e6, 12.2, 0.3);
    ASSERT_TRUE(waitFor([&] {
        return w.any(
            [](const QVariantMap& c) { return c.value("PlaybackStatus").toString() == "Playing"; });
    })) << "no PropertiesChanged for the start of play";

    w.changes.clear();
    playerctl({"next"});
    ASSERT_TRUE(waitFor([] { return title().startsWith("Morning Arpeggio"); }))
        << playerctl({"metadata"}).toStdString();
    EXPECT_TRUE(QUrl(metadata().value("xesam:url").toString())
                    .toLocalFile()
                    .endsWith("/Morning Arpeggio.wav"));
    ASSERT_TRUE(waitFor([&] {
        return w.any([](const QVariantMap& c) {
            return trackId(qdbus_cast<QVariantMap>(c.value("Metadata"))) == "/org/kolvo/track/3_2";
        });
    })) << "the change of song was not signalled";

    playerctl({"play-pause"});
    EXPECT_EQ(status(), "Paused");
    // Play on a paused player goes on, Pause on a paused one keeps it paused.
    for (const char* command : {"pause", "play", "play"}) {
        playerctl({command});
        EXPECT_EQ(status(), command == std::string("pause") ? "Paused" : "Playing") << command;
    }
    playerctl({"previous"});
    EXPECT_TRUE(waitFor([] { return title() == "Evening Song"; }));
    playerctl({"stop"});
    EXPECT_EQ(status(), "Stopped");
}

TEST_F(MprisTest, TagsCoverPositionAndVolumeOfTheSongThatPlays)
{
    QByteArray cover;
    const std::string song = makeTaggedSong(cover);
    ChangeWatcher w;
    watch(w);
    start({QString::fromStdString(song)});
    ASSERT_TRUE(waitFor([] { return serviceUp(kService); }));
    ASSERT_TRUE(waitFor([] { return metadata().value("xesam:trackNumber").toInt() == 7; }))
        << playerctl({"metadata"}).toStdString();
    const QVariantMap m = metadata();
    EXPECT_EQ(m.value("xesam:title").toString(), "Blue Square");
    EXPECT_EQ(m.value("xesam:artist").toStringList(), QStringList{"The Testers"});
    EXPECT_EQ(m.value("xesam:album").toString(), "Fixtures Vol. 2");
    EXPECT_NEAR(m.value("mpris:length").toLongLong() / 1e6, 20.0, 0.3);
    // The cover is the very picture the file carries.
    const QUrl art(m.value("mpris:artUrl").toString());
    ASSERT_TRUE(art.isLocalFile()) << art.toString().toStdString();
    EXPECT_EQ(QByteArray::fromStdString(readFile(art.toLocalFile().toStdString())), cover);
    EXPECT_EQ(property("PlaybackStatus").toString(), "Playing");

    // Seeking: to an absolute place, then forward by an offset; each one is signalled.
    playerctl({"position", "8"});
    EXPECT_TRUE(waitFor([] { return property("Position").toLongLong() >= 8000000; }));
    ASSERT_TRUE(waitFor([&] { return !w.seeks.empty(); }));
    EXPECT_EQ(w.seeks.front(), 8000000);
    playerctl({"position", "5+"});
    EXPECT_TRUE(waitFor([] { return property("Position").toLongLong() >= 13000000; }));
    // Seeking past the end is Next; with one song the player ends.
    playerctl({"position", "30+"});
    EXPECT_TRUE(waitFor([] { return status() != "Playing"; }));

    // The volume is the Mixer's master line, in 32 steps.
    playerctl({"volume", "0.5"});
    EXPECT_TRUE(waitFor([] { return property("Volume").toDouble() == 0.5; }))
        << property("Volume").toDouble();
    EXPECT_TRUE(waitFor([&] {
        return w.any([](const QVariantMap& c) {
            return c.contains("Volume") && c.value("Volume").toDouble() == 0.5;
        });
    }));
    QProcess pactl;
    pactl.start("pactl", {"get-sink-volume", "@DEFAULT_SINK@"});
    ASSERT_TRUE(pactl.waitForFinished(5000));
    EXPECT_TRUE(QString::fromUtf8(pactl.readAllStandardOutput()).contains("50%"));
}

TEST_F(MprisTest, ASecondKolvoTakesAnInstanceNameAndNoBusIsOnlyALogLine)
{
    start();
    ASSERT_TRUE(waitFor([] { return serviceUp(kService); }));
    QTemporaryDir otherHome;
    QProcessEnvironment env = m_env;
    env.insert("KOLVO_HOME", otherHome.path());
    QProcess& second = start({}, env);
    const QString instance = kService + QStringLiteral(".instance%1").arg(second.processId());
    ASSERT_TRUE(waitFor([&] { return serviceUp(instance); })) << QDBusConnection::sessionBus()
                                                                     .interface()
                                                                     ->registeredServiceNames()
                                                                     .value()
                                                                     .join(' ')
                                                                     .toStdString();
    EXPECT_EQ(playerctl({"status"}, QStringLiteral("kolvo.instance%1").arg(second.processId())),
              "Stopped");

    // Quit ends that Kolvo the orderly way, its name leaving the bus.
    QDBusMessage quit =
        QDBusMessage::createMethodCall(instance, kPath, "org.mpris.MediaPlayer2", "Quit");
    EXPECT_EQ(QDBusConnection::sessionBus().call(quit, QDBus::Block, 5000).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(serviceUp(instance));
    EXPECT_TRUE(serviceUp(kService)) << "the other Kolvo runs on";

    // Without a session bus the window still comes up, and the log says why nothing is on it.
    QTemporaryDir thirdHome;
    env.insert("KOLVO_HOME", thirdHome.path());
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + thirdHome.path() + "/no-bus");
    env.insert("KOLVO_EXIT_WHEN_SHOWN", "1");
    const ProcessOutput third = runProcess(QString::fromStdString(builtProgram("kolvo")),
                                           {"-nosplash"}, env, 20000 * kStartDeadlineScale);
    EXPECT_EQ(third.code, 0);
    EXPECT_TRUE(third.err.contains("no D-Bus session bus")) << third.err.toStdString();
}

#include "test_mpris.moc"
