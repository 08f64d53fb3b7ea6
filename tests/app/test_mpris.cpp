// Kolvo as the desktop's media controls see it: a real kolvo on a private session bus (the test
// runs under dbus-run-session), driven by playerctl and read back over D-Bus.

#include "support/testhome.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.kolvo");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// Collects the PropertiesChanged signals of the player interface.
class ChangeWatcher : public QObject
{
    Q_OBJECT
public:
    std::vector<QVariantMap> changes;

public slots:
    void onChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == kPlayer)
            changes.push_back(changed);
    }
    void onSeeked(qlonglong position) { seeks.push_back(position); }

public:
    std::vector<qlonglong> seeks;
};

bool waitFor(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done())
            return true;
        QTest::qWait(50);
    }
    return done();
}

class MprisTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected())
            << "the test runs under dbus-run-session";
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("KOLVO_HOME"), QString::fromStdString(home()));
        m_env.insert(QStringLiteral("KOLVO_LANG"), QStringLiteral("en"));
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_env.insert(QStringLiteral("KOLVO_LOG"), QStringLiteral("desktop:info"));
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

    QProcess& start(const QStringList& args, const QProcessEnvironment& env)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(QString::fromStdString(builtProgram("kolvo")),
                 QStringList{QStringLiteral("-nosplash")} + args);
        EXPECT_TRUE(p->waitForStarted(5000));
        m_running.push_back(std::move(p));
        return *m_running.back();
    }

    QProcess& start(const QStringList& args = {}) { return start(args, m_env); }

    static bool serviceUp(const QString& name)
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
    }

    // playerctl's answer (trimmed stdout) to a command on the player named `player`.
    static QString playerctl(const QStringList& args,
                             const QString& player = QStringLiteral("kolvo"))
    {
        QProcess p;
        p.start(QStringLiteral("playerctl"), QStringList{QStringLiteral("-p"), player} + args);
        if (!p.waitForFinished(10000))
            return QStringLiteral("(playerctl hung)");
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    static QVariant property(const QString& name, const QString& service = kService)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        call << kPlayer << name;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }

    static QVariantMap metadata()
    {
        QVariantMap out;
        const QVariant v = property(QStringLiteral("Metadata"));
        const QDBusArgument arg = v.value<QDBusArgument>();
        arg >> out;
        return out;
    }

    void watch(ChangeWatcher& w)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        ASSERT_TRUE(bus.connect(QString(), kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                QStringLiteral("PropertiesChanged"), &w,
                                SLOT(onChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(bus.connect(QString(), kPath, kPlayer, QStringLiteral("Seeked"), &w,
                                SLOT(onSeeked(qlonglong))));
    }

    // An MP3 with every tag the desktop shows and a cover picture; returns its path.
    std::string makeTaggedSong(QByteArray& cover)
    {
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(QColor(20, 40, 160));
        {
            QPainter p(&image);
            p.fillRect(16, 16, 32, 32, QColor(240, 200, 40));
        }
        const QString png = QString::fromStdString(homePath("cover.png"));
        EXPECT_TRUE(image.save(png));
        QFile f(png);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        cover = f.readAll();
        const QString wav = QString::fromStdString(homePath("tone.wav"));
        const QString mp3 = QString::fromStdString(homePath("Tagged Tone.mp3"));
        EXPECT_EQ(QProcess::execute(
                      QStringLiteral("sox"),
                      {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                       QStringLiteral("-c"), QStringLiteral("2"), wav, QStringLiteral("synth"),
                       QStringLiteral("20"), QStringLiteral("sine"), QStringLiteral("440"),
                       QStringLiteral("vol"), QStringLiteral("0.3")}),
                  0);
        EXPECT_EQ(QProcess::execute(QStringLiteral("lame"),
                                    {QStringLiteral("--quiet"), QStringLiteral("--tt"),
                                     QStringLiteral("Blue Square"), QStringLiteral("--ta"),
                                     QStringLiteral("The Testers"), QStringLiteral("--tl"),
                                     QStringLiteral("Fixtures Vol. 2"), QStringLiteral("--tn"),
                                     QStringLiteral("7"), QStringLiteral("--ti"), png, wav, mp3}),
                  0);
        return mp3.toStdString();
    }

    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_running;
};

} // namespace

TEST_F(MprisTest, PlayPauseNextAndStopDriveThePlayerAndEverySongChangeIsSignalled)
{
    ChangeWatcher w;
    watch(w);
    start(); // a first start: the demo album, "Evening Song.mp3" then "Morning Arpeggio.wav"
    ASSERT_TRUE(waitFor([] { return serviceUp(kService); })) << "no MPRIS name on the bus";
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));

    playerctl({QStringLiteral("play-pause")});
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
    ASSERT_TRUE(waitFor([] {
        return playerctl({QStringLiteral("metadata"), QStringLiteral("title")}) ==
               QLatin1String("Evening Song");
    })) << playerctl({QStringLiteral("metadata")}).toStdString();
    EXPECT_EQ(playerctl({QStringLiteral("metadata"), QStringLiteral("artist")}),
              QStringLiteral("Kolvo"));
    EXPECT_EQ(playerctl({QStringLiteral("metadata"), QStringLiteral("album")}),
              QStringLiteral("Kolvo Demo"));
    const QVariantMap first = metadata();
    EXPECT_EQ(first.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
              QStringLiteral("/org/kolvo/track/3_1"));
    // The demo song is 12.2 s long; the engine's length is the one told.
    EXPECT_NEAR(first.value(QStringLiteral("mpris:length")).toLongLong() / 1e6, 12.2, 0.3);
    ASSERT_TRUE(waitFor([&] {
        for (const QVariantMap& c : w.changes)
            if (c.value(QStringLiteral("PlaybackStatus")).toString() == QLatin1String("Playing"))
                return true;
        return false;
    })) << "no PropertiesChanged for the start of play";

    w.changes.clear();
    playerctl({QStringLiteral("next")});
    ASSERT_TRUE(waitFor([] {
        return playerctl({QStringLiteral("metadata"), QStringLiteral("title")})
            .startsWith(QLatin1String("Morning Arpeggio"));
    })) << playerctl({QStringLiteral("metadata")}).toStdString();
    EXPECT_TRUE(QUrl(metadata().value(QStringLiteral("xesam:url")).toString())
                    .toLocalFile()
                    .endsWith(QLatin1String("/Morning Arpeggio.wav")));
    ASSERT_TRUE(waitFor([&] {
        for (const QVariantMap& c : w.changes) {
            const QVariantMap m = qdbus_cast<QVariantMap>(c.value(QStringLiteral("Metadata")));
            if (m.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path() ==
                QLatin1String("/org/kolvo/track/3_2"))
                return true;
        }
        return false;
    })) << "the change of song was not signalled";

    playerctl({QStringLiteral("play-pause")});
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Paused"));
    // Play on a paused player goes on, Pause on a paused one keeps it paused.
    playerctl({QStringLiteral("pause")});
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Paused"));
    playerctl({QStringLiteral("play")});
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
    playerctl({QStringLiteral("play")});
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
    playerctl({QStringLiteral("previous")});
    EXPECT_TRUE(waitFor([] {
        return playerctl({QStringLiteral("metadata"), QStringLiteral("title")}) ==
               QLatin1String("Evening Song");
    }));
    playerctl({QStringLiteral("stop")});
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));
}

TEST_F(MprisTest, TagsCoverPositionAndVolumeOfTheSongThatPlays)
{
    QByteArray cover;
    const std::string song = makeTaggedSong(cover);
    ChangeWatcher w;
    watch(w);
    start({QString::fromStdString(song)});
    ASSERT_TRUE(waitFor([] { return serviceUp(kService); }));
    ASSERT_TRUE(waitFor([] {
        return metadata().value(QStringLiteral("xesam:trackNumber")).toInt() == 7;
    })) << playerctl({QStringLiteral("metadata")}).toStdString();
    const QVariantMap m = metadata();
    EXPECT_EQ(m.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Blue Square"));
    EXPECT_EQ(m.value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral("The Testers")});
    EXPECT_EQ(m.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Fixtures Vol. 2"));
    EXPECT_NEAR(m.value(QStringLiteral("mpris:length")).toLongLong() / 1e6, 20.0, 0.3);
    // The cover is the very picture the file carries.
    const QUrl art(m.value(QStringLiteral("mpris:artUrl")).toString());
    ASSERT_TRUE(art.isLocalFile()) << art.toString().toStdString();
    QFile artFile(art.toLocalFile());
    ASSERT_TRUE(artFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(artFile.readAll(), cover);
    EXPECT_EQ(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));

    // Seeking: to an absolute place, then forward by an offset; each one is signalled.
    playerctl({QStringLiteral("position"), QStringLiteral("8")});
    EXPECT_TRUE(
        waitFor([] { return property(QStringLiteral("Position")).toLongLong() >= 8000000; }));
    EXPECT_TRUE(waitFor([&] { return !w.seeks.empty(); }));
    if (!w.seeks.empty()) {
        EXPECT_EQ(w.seeks.front(), 8000000);
    }
    playerctl({QStringLiteral("position"), QStringLiteral("5+")});
    EXPECT_TRUE(
        waitFor([] { return property(QStringLiteral("Position")).toLongLong() >= 13000000; }));
    // Seeking past the end is Next; with one song the player ends.
    playerctl({QStringLiteral("position"), QStringLiteral("30+")});
    EXPECT_TRUE(
        waitFor([] { return playerctl({QStringLiteral("status")}) != QLatin1String("Playing"); }));

    // The volume is the Mixer's master line, in 32 steps.
    playerctl({QStringLiteral("volume"), QStringLiteral("0.5")});
    EXPECT_TRUE(waitFor([] { return property(QStringLiteral("Volume")).toDouble() == 0.5; }))
        << property(QStringLiteral("Volume")).toDouble();
    EXPECT_TRUE(waitFor([&] {
        for (const QVariantMap& c : w.changes)
            if (c.contains(QStringLiteral("Volume")) &&
                c.value(QStringLiteral("Volume")).toDouble() == 0.5)
                return true;
        return false;
    }));
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")});
    ASSERT_TRUE(pactl.waitForFinished(5000));
    EXPECT_TRUE(QString::fromUtf8(pactl.readAllStandardOutput()).contains(QLatin1String("50%")));
}

TEST_F(MprisTest, ASecondKolvoTakesAnInstanceNameAndNoBusIsOnlyALogLine)
{
    start();
    ASSERT_TRUE(waitFor([] { return serviceUp(kService); }));
    QTemporaryDir otherHome;
    QProcessEnvironment env = m_env;
    env.insert(QStringLiteral("KOLVO_HOME"), otherHome.path());
    QProcess& second = start({}, env);
    const QString instance = kService + QStringLiteral(".instance%1").arg(second.processId());
    ASSERT_TRUE(waitFor([&] { return serviceUp(instance); })) << QDBusConnection::sessionBus()
                                                                     .interface()
                                                                     ->registeredServiceNames()
                                                                     .value()
                                                                     .join(' ')
                                                                     .toStdString();
    EXPECT_EQ(playerctl({QStringLiteral("status")},
                        QStringLiteral("kolvo.instance%1").arg(second.processId())),
              QStringLiteral("Stopped"));

    // Quit ends that Kolvo the orderly way, its name leaving the bus.
    QDBusMessage quit = QDBusMessage::createMethodCall(
        instance, kPath, QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Quit"));
    EXPECT_EQ(QDBusConnection::sessionBus().call(quit, QDBus::Block, 5000).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(serviceUp(instance));
    EXPECT_TRUE(serviceUp(kService)) << "the other Kolvo runs on";

    // Without a session bus the window still comes up, and the log says why nothing is on it.
    QTemporaryDir thirdHome;
    env.insert(QStringLiteral("KOLVO_HOME"), thirdHome.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + thirdHome.path() + QStringLiteral("/no-bus"));
    env.insert(QStringLiteral("KOLVO_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(QString::fromStdString(builtProgram("kolvo")), {QStringLiteral("-nosplash")});
    ASSERT_TRUE(third.waitForFinished(20000 * kStartDeadlineScale));
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(third.readAllStandardError())
                    .contains(QLatin1String("no D-Bus session bus")));
}

#include "test_mpris.moc"
