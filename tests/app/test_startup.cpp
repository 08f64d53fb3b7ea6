// The real program, started as a user or the shell would start it.

#include "platform/paths.h"
#include "support/testhome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class StartupTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("KOLVO_HOME"), QString::fromStdString(home()));
        m_env.insert(QStringLiteral("KOLVO_TRACE"), QStringLiteral("1"));
        m_env.insert(QStringLiteral("KOLVO_LANG"), QStringLiteral("en"));
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }

    std::unique_ptr<QProcess> start(const QStringList& args, bool exitWhenShown = false)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = m_env;
        if (exitWhenShown)
            env.insert(QStringLiteral("KOLVO_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
        p->setProcessEnvironment(env);
        p->start(QString::fromStdString(builtProgram("kolvo")), args);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }

    // Waits for a trace line holding `what`; returns the line.
    static QString waitForLine(QProcess& p, const QString& what, QString& seen, int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            for (const QString& line : seen.split(QLatin1Char('\n')))
                if (line.contains(what))
                    return line;
            if (p.state() == QProcess::NotRunning)
                break;
            p.waitForReadyRead(100);
            seen += QString::fromUtf8(p.readAllStandardOutput());
        }
        return {};
    }

    QString settingValue(const char* key) const
    {
        QSettings s(QString::fromStdString(homePath("config/Quorvane System, Inc./Kolvo.conf")),
                    QSettings::IniFormat);
        return s.value(QLatin1String(key)).toString();
    }

    static constexpr uid_t kNobody = 65534;
    struct Run
    {
        int exitCode = -1;
        QString out, err;
    };
    // Runs the program until its window shows. Root writes and reads through any permission, so
    // as root the program runs as nobody, for whom permissions hold.
    Run runShownAsUser()
    {
        QString program = QString::fromStdString(builtProgram("kolvo"));
        QStringList args{QStringLiteral("-nosplash")};
        if (runningAsRoot()) {
            args.prepend(program);
            args = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                               QStringLiteral("--clear-groups")} +
                   args;
            program = QStringLiteral("setpriv");
        }
        QProcess p;
        QProcessEnvironment env = m_env;
        env.insert(QStringLiteral("KOLVO_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
        env.insert(QStringLiteral("HOME"), QString::fromStdString(home()));
        p.setProcessEnvironment(env);
        p.start(program, args);
        Run run;
        if (!p.waitForFinished(15000 * kStartDeadlineScale))
            return run;
        run.exitCode = p.exitCode();
        run.out = QString::fromUtf8(p.readAllStandardOutput());
        run.err = QString::fromUtf8(p.readAllStandardError());
        return run;
    }

    QProcessEnvironment m_env;
};

} // namespace

// (Every value at its default is checked where the settings are loaded and saved.) The first
// load is saved straight away; SIGTERM and SIGINT both end the program cleanly, saving again.
TEST_F(StartupTest, TheFirstLoadIsSavedAndSigtermOrSigintEndItCleanly)
{
    const QString file =
        QString::fromStdString(homePath("config/Quorvane System, Inc./Kolvo.conf"));
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        QFile::remove(file);
        auto kolvo = start({QStringLiteral("-nosplash")});
        QString out;
        ASSERT_FALSE(waitForLine(*kolvo, QStringLiteral("shown"), out).isEmpty())
            << out.toStdString();
        EXPECT_EQ(settingValue("General/ColorScheme"), QStringLiteral("GoldEn.uib"));
        EXPECT_EQ(settingValue("MainController/PosX"), QString())
            << "the rectangle is saved at exit";
        QFile::remove(file);
        ::kill(static_cast<pid_t>(kolvo->processId()), signal);
        ASSERT_TRUE(kolvo->waitForFinished(5000));
        EXPECT_EQ(kolvo->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(kolvo->exitCode(), 0);
        EXPECT_EQ(settingValue("General/ColorScheme"), QStringLiteral("GoldEn.uib"));
        EXPECT_FALSE(settingValue("MainController/PosX").isEmpty());
        EXPECT_EQ(settingValue("MainController/PosX2").toInt() -
                      settingValue("MainController/PosX").toInt(),
                  500);
    }
}

TEST_F(StartupTest, LibrariesOnlySomeFeaturesNeedStayOffTheStart)
{
    auto kolvo = start({QStringLiteral("-nosplash")});
    QString out;
    ASSERT_FALSE(waitForLine(*kolvo, QStringLiteral("shown"), out).isEmpty()) << out.toStdString();
    QFile maps(QStringLiteral("/proc/%1/maps").arg(kolvo->processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QString mapped = QString::fromUtf8(maps.readAll());
    ASSERT_TRUE(mapped.contains(QStringLiteral("libQt6Widgets"))) << "not the program's map";
    // Loaded by the first MIDI song or sound conversion, each with the libraries it brings.
    for (const char* library : {"libfluidsynth", "libavcodec", "libavutil", "libswresample"})
        EXPECT_FALSE(mapped.contains(QLatin1String(library))) << library << " loaded at the start";
    kolvo->terminate();
    ASSERT_TRUE(kolvo->waitForFinished(5000));
}

TEST_F(StartupTest, ASecondStartHandsOverAndEnds)
{
    const std::string song = writeFile("music/tone.mp3", "not really audio");
    auto first = start({QStringLiteral("/nosplash")});
    QString out;
    ASSERT_FALSE(waitForLine(*first, QStringLiteral("shown"), out).isEmpty());

    QElapsedTimer clock;
    clock.start();
    auto second = start(
        {QStringLiteral("/playaudio"), QStringLiteral("/volume:70"), QString::fromStdString(song)});
    ASSERT_TRUE(second->waitForFinished(3000 * kStartDeadlineScale));
    const qint64 took = clock.elapsed();
    EXPECT_EQ(second->exitCode(), 0) << second->readAllStandardError().toStdString();
    EXPECT_LT(took, 1000 * kStartDeadlineScale) << "the second instance must end within a second";
    EXPECT_EQ(QString::fromUtf8(second->readAllStandardOutput()).count(QStringLiteral("shown")), 0)
        << "the second instance shows nothing";

    const QString line = waitForLine(*first, QStringLiteral("handover"), out);
    EXPECT_TRUE(line.contains(QStringLiteral("mode=3 file=") + QString::fromStdString(song) +
                              QStringLiteral(" commands=00010046")))
        << line.toStdString();

    // A file of the newer kinds is the Digital Audio Player's without a flag; several files or a
    // folder travel as one temporary play list, which the first reads and removes.
    const std::string ogg = writeFile("music/a.ogg", "x");
    writeFile("music/sub/b.flac", "x");
    out.clear();
    auto oggStart = start({QString::fromStdString(ogg)});
    ASSERT_TRUE(oggStart->waitForFinished(3000 * kStartDeadlineScale));
    const QString oggLine = waitForLine(*first, QStringLiteral("handover"), out);
    EXPECT_TRUE(oggLine.contains(QStringLiteral("mode=3 file=") + QString::fromStdString(ogg)))
        << oggLine.toStdString();
    out.clear();
    auto folderStart = start({QString::fromStdString(homePath("music"))});
    ASSERT_TRUE(folderStart->waitForFinished(3000 * kStartDeadlineScale));
    const QString folderLine = waitForLine(*first, QStringLiteral("handover"), out);
    EXPECT_TRUE(folderLine.contains(QStringLiteral("mode=3 file=")) &&
                folderLine.contains(QStringLiteral("$$TEMP$$.M3U")))
        << folderLine.toStdString();
    const QString list = folderLine.section(QStringLiteral("file="), 1).section(' ', 0, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFileInfo::exists(list); }, 5000))
        << "the list is removed once read: " << list.toStdString();

    // A bare second start only brings the first to the front: nothing to play.
    out.clear();
    auto bare = start({});
    ASSERT_TRUE(bare->waitForFinished(3000));
    EXPECT_EQ(bare->exitCode(), 0);
    const QString bareLine = waitForLine(*first, QStringLiteral("handover"), out);
    EXPECT_TRUE(bareLine.contains(QStringLiteral("mode=-1 file= "))) << bareLine.toStdString();

    first->terminate();
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_EQ(first->exitCode(), 0);

    // With the first gone, the next start is a first start again.
    auto again = start({QStringLiteral("-nosplash")}, true);
    ASSERT_TRUE(again->waitForFinished(10000));
    EXPECT_TRUE(
        QString::fromUtf8(again->readAllStandardOutput()).contains(QStringLiteral("shown")));
}

TEST_F(StartupTest, TheStartModeSwitchesThePlayersItCanPlayWith)
{
    // A file the Digital Audio Player plays switches it on and the other players off.
    const std::string song = writeFile("song.wav", "not really audio");
    auto kolvo = start({QString::fromStdString(song)}, true);
    ASSERT_TRUE(kolvo->waitForFinished(10000));
    EXPECT_EQ(kolvo->exitCode(), 0);
    EXPECT_EQ(settingValue("Audio/Enable"), QStringLiteral("1"));
    EXPECT_EQ(settingValue("CD/Enable"), QStringLiteral("0"));
    EXPECT_EQ(settingValue("MIDI/Enable"), QStringLiteral("0"));
    EXPECT_EQ(settingValue("Video/Enable"), QStringLiteral("0"));
    EXPECT_EQ(settingValue("Mixer/Enable"), QStringLiteral("1")) << "the mixer is not a player";
    EXPECT_EQ(settingValue("FXMixer/Enable"), QStringLiteral("1"));
}

// "--help" and "--version" answer and end before anything else: no window, no settings file,
// and no hand-over, which would otherwise read "--help" as a flag and start the player.
TEST_F(StartupTest, HelpAndVersionAnswerWithoutStartingThePlayer)
{
    const QString settingsFile =
        QString::fromStdString(homePath("config/Quorvane System, Inc./Kolvo.conf"));
    for (const char* word : {"--help", "--version"}) {
        auto kolvo = start({QStringLiteral("-nosplash"), QString::fromLatin1(word)});
        ASSERT_TRUE(kolvo->waitForFinished(5000)) << word;
        EXPECT_EQ(kolvo->exitCode(), 0) << word;
        const QString out = QString::fromUtf8(kolvo->readAllStandardOutput());
        EXPECT_FALSE(out.contains(QStringLiteral("shown"))) << word;
        if (std::string(word) == "--help") {
            EXPECT_TRUE(out.startsWith(QStringLiteral("usage: kolvo "))) << out.toStdString();
            for (const char* flag :
                 {"/playaudio", "/playcd", "/volume:N", "/timer:N", "/nosplash", "--version"})
                EXPECT_TRUE(out.contains(QString::fromLatin1(flag))) << flag;
        } else {
            EXPECT_TRUE(out.startsWith(QStringLiteral("kolvo " KOLVO_PROJECT_VERSION "\nQt ")))
                << out.toStdString();
            EXPECT_TRUE(out.contains(QStringLiteral("\nGStreamer 1."))) << out.toStdString();
        }
        EXPECT_FALSE(QFile::exists(settingsFile)) << word << " wrote the settings";
    }

    QProcess cli;
    cli.setProcessEnvironment(m_env);
    cli.start(QString::fromStdString(builtProgram("kolvo-cli")), {QStringLiteral("--version")});
    ASSERT_TRUE(cli.waitForFinished(5000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(QStringLiteral("kolvo-cli " KOLVO_PROJECT_VERSION "\n")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("NO WARRANTY")));
}

TEST_F(StartupTest, AReadOnlyConfigFolderLetsTheProgramRunAndSaysSoOnce)
{
    const std::string config = homePath("config");
    QDir().mkpath(QString::fromStdString(config));
    chmod(home().c_str(), 0755);
    chmod(config.c_str(), 0555);
    const Run run = runShownAsUser();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("shown")));
    EXPECT_EQ(run.err.count(QStringLiteral("settings cannot be saved")), 1)
        << run.err.toStdString();
    // The message box (on stderr without a user) says it once too.
    EXPECT_EQ(run.err.count(QStringLiteral("Kolvo cannot save your settings")), 1)
        << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(homePath("config/Quorvane System, Inc."))));
}

TEST_F(StartupTest, AnUnreadableSettingsFileIsSetAsideAndTheDefaultsWritten)
{
    const std::string folder = homePath("config/Quorvane System, Inc.");
    const std::string file =
        writeFile("config/Quorvane System, Inc./Kolvo.conf", "[General]\nTimer=5000\n");
    for (const std::string& path : {home(), homePath("config"), folder, file})
        EXPECT_EQ(chown(path.c_str(), kNobody, kNobody), runningAsRoot() ? 0 : -1) << path;
    chmod(file.c_str(), 0);

    const Run run = runShownAsUser();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("shown")));
    EXPECT_TRUE(run.err.contains(QStringLiteral("could not be read"))) << run.err.toStdString();
    chmod(file.c_str(), 0644);
    EXPECT_EQ(settingValue("General/Timer"), QStringLiteral("10000"));
    const QStringList kept = QDir(QString::fromStdString(folder))
                                 .entryList(QDir::Files)
                                 .filter(QStringLiteral("Kolvo.conf."));
    ASSERT_EQ(kept.size(), 1) << "the unreadable file is kept beside the new one";
    const std::string keptPath = folder + "/" + kept.front().toStdString();
    chmod(keptPath.c_str(), 0644);
    EXPECT_EQ(readFile(keptPath), "[General]\nTimer=5000\n");
}
