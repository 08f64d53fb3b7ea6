// The real program, started as a user or the shell would start it.

#include "support/kolvoprocess.h"
#include "support/testhome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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
        m_env = kolvoEnvironment(home());
        m_env.insert("KOLVO_TRACE", "1");
    }

    std::unique_ptr<QProcess> start(const QStringList& args, bool exitWhenShown = false)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = m_env;
        if (exitWhenShown)
            env.insert("KOLVO_EXIT_WHEN_SHOWN", "1");
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

    QString settingsFile() const
    {
        return QString::fromStdString(homePath("config/Quorvane System, Inc./Kolvo.conf"));
    }
    QString settingValue(const char* key) const
    {
        QSettings s(settingsFile(), QSettings::IniFormat);
        return s.value(QLatin1String(key)).toString();
    }

    static constexpr uid_t kNobody = 65534;
    // Runs the program, as a user for whom permissions hold, until its window shows.
    ProcessOutput runShownAsUser()
    {
        QString program = QString::fromStdString(builtProgram("kolvo"));
        QStringList args{"-nosplash"};
        runAsPlainUser(program, args);
        QProcessEnvironment env = m_env;
        env.insert("KOLVO_EXIT_WHEN_SHOWN", "1");
        env.insert("HOME", QString::fromStdString(home()));
        return runProcess(program, args, env, 15000 * kStartDeadlineScale);
    }

    QProcessEnvironment m_env;
};

} // namespace

// (Every value at its default is checked where the settings are loaded and saved.) The first
// load is saved straight away, and the libraries only some features need are not loaded;
// SIGTERM and SIGINT both end the program cleanly, saving again.
TEST_F(StartupTest, TheFirstLoadIsSavedAndSigtermOrSigintEndItCleanly)
{
    const QString file = settingsFile();
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        QFile::remove(file);
        auto kolvo = start({"-nosplash"});
        QString out;
        ASSERT_FALSE(waitForLine(*kolvo, "shown", out).isEmpty()) << out.toStdString();
        EXPECT_EQ(settingValue("General/ColorScheme"), "GoldEn.uib");
        EXPECT_EQ(settingValue("MainController/PosX"), QString())
            << "the rectangle is saved at exit";
        // Libraries loaded by the first MIDI song or sound conversion stay off the start.
        const QString mapped = QString::fromStdString(
            readFile("/proc/" + std::to_string(kolvo->processId()) + "/maps"));
        ASSERT_TRUE(mapped.contains("libQt6Widgets")) << "not the program's map";
        for (const char* library : {"libfluidsynth", "libavcodec", "libavutil", "libswresample"})
            EXPECT_FALSE(mapped.contains(library)) << library << " loaded at the start";
        QFile::remove(file);
        ::kill(static_cast<pid_t>(kolvo->processId()), signal);
        ASSERT_TRUE(kolvo->waitForFinished(5000));
        EXPECT_EQ(kolvo->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(kolvo->exitCode(), 0);
        EXPECT_EQ(settingValue("General/ColorScheme"), "GoldEn.uib");
        EXPECT_FALSE(settingValue("MainController/PosX").isEmpty());
        EXPECT_EQ(settingValue("MainController/PosX2").toInt() -
                      settingValue("MainController/PosX").toInt(),
                  500);
    }
}

TEST_F(StartupTest, ASecondStartHandsOverAndEnds)
{
    auto first = start({"/nosplash"});
    QString out;
    ASSERT_FALSE(waitForLine(*first, "shown", out).isEmpty());

    // Each second start ends at once, shows nothing and hands its command line over.
    auto handOver = [&](const QStringList& args) {
        out.clear();
        QElapsedTimer clock;
        clock.start();
        auto second = start(args);
        EXPECT_TRUE(second->waitForFinished(3000 * kStartDeadlineScale));
        EXPECT_LT(clock.elapsed(), 1000 * kStartDeadlineScale) << "it must end within a second";
        EXPECT_EQ(second->exitCode(), 0) << second->readAllStandardError().toStdString();
        EXPECT_FALSE(QString::fromUtf8(second->readAllStandardOutput()).contains("shown"));
        return waitForLine(*first, "handover", out);
    };
    // A file of the newer kinds is the Digital Audio Player's without a flag; a bare start only
    // brings the first to the front.
    const QString song = QString::fromStdString(writeFile("music/tone.mp3", "not really audio"));
    const QString ogg = QString::fromStdString(writeFile("music/a.ogg", "x"));
    const std::pair<QStringList, QString> cases[] = {
        {{"/playaudio", "/volume:70", song}, "mode=3 file=" + song + " commands=00010046"},
        {{ogg}, "mode=3 file=" + ogg},
        {{}, "mode=-1 file= "}};
    for (const auto& [args, said] : cases) {
        const QString line = handOver(args);
        EXPECT_TRUE(line.contains(said)) << line.toStdString();
    }
    // Several files or a folder travel as one temporary play list, which the first reads and
    // removes.
    writeFile("music/sub/b.flac", "x");
    const QString folderLine = handOver({QString::fromStdString(homePath("music"))});
    EXPECT_TRUE(folderLine.contains("mode=3 file=") && folderLine.contains("$$TEMP$$.M3U"))
        << folderLine.toStdString();
    const QString list = folderLine.section("file=", 1).section(' ', 0, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFileInfo::exists(list); }, 5000))
        << "the list is removed once read: " << list.toStdString();

    first->terminate();
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_EQ(first->exitCode(), 0);

    // With the first gone, the next start is a first start again. A file the Digital Audio
    // Player plays switches it on and the other players off; the mixers are no players.
    const std::string wav = writeFile("song.wav", "not really audio");
    auto again = start({QString::fromStdString(wav)}, true);
    ASSERT_TRUE(again->waitForFinished(10000));
    EXPECT_TRUE(QString::fromUtf8(again->readAllStandardOutput()).contains("shown"));
    QStringList enabled;
    for (const char* section : {"FXMixer", "Mixer", "CD", "Audio", "MIDI", "Video"})
        enabled << settingValue((section + std::string("/Enable")).c_str());
    EXPECT_EQ(enabled.join(' '), "1 1 0 1 0 0");
}

// "--help" and "--version" answer and end before anything else: no window, no settings file,
// and no hand-over, which would otherwise read "--help" as a flag and start the player.
TEST_F(StartupTest, HelpAndVersionAnswerWithoutStartingThePlayer)
{
    for (const char* word : {"--help", "--version"}) {
        auto kolvo = start({"-nosplash", QString::fromLatin1(word)});
        ASSERT_TRUE(kolvo->waitForFinished(5000)) << word;
        EXPECT_EQ(kolvo->exitCode(), 0) << word;
        const QString out = QString::fromUtf8(kolvo->readAllStandardOutput());
        EXPECT_FALSE(out.contains("shown")) << word;
        if (std::string(word) == "--help") {
            EXPECT_TRUE(out.startsWith("usage: kolvo ")) << out.toStdString();
            for (const char* flag :
                 {"/playaudio", "/playcd", "/volume:N", "/timer:N", "/nosplash", "--version"})
                EXPECT_TRUE(out.contains(QString::fromLatin1(flag))) << flag;
        } else {
            EXPECT_TRUE(out.startsWith(QStringLiteral("kolvo " KOLVO_PROJECT_VERSION "\nQt ")))
                << out.toStdString();
            EXPECT_TRUE(out.contains("\nGStreamer 1.")) << out.toStdString();
        }
        EXPECT_FALSE(QFile::exists(settingsFile())) << word << " wrote the settings";
    }

    const ProcessOutput cli =
        runProcess(QString::fromStdString(builtProgram("kolvo-cli")), {"--version"}, m_env, 5000);
    EXPECT_EQ(cli.code, 0) << cli.err.toStdString();
    EXPECT_TRUE(cli.out.startsWith("kolvo-cli " KOLVO_PROJECT_VERSION "\n"))
        << cli.out.toStdString();
    EXPECT_TRUE(cli.out.contains("NO WARRANTY"));
}

TEST_F(StartupTest, AReadOnlyConfigFolderLetsTheProgramRunAndSaysSoOnce)
{
    const std::string config = homePath("config");
    QDir().mkpath(QString::fromStdString(config));
    chmod(home().c_str(), 0755);
    chmod(config.c_str(), 0555);
    const ProcessOutput run = runShownAsUser();
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("shown"));
    EXPECT_EQ(run.err.count("settings cannot be saved"), 1) << run.err.toStdString();
    // The message box (on stderr without a user) says it once too, naming the file.
    EXPECT_EQ(run.err.count("Kolvo cannot save your settings"), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(settingsFile()));
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

    const ProcessOutput run = runShownAsUser();
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("shown"));
    EXPECT_TRUE(run.err.contains("could not be read")) << run.err.toStdString();
    chmod(file.c_str(), 0644);
    EXPECT_EQ(settingValue("General/Timer"), "10000");
    const QStringList kept =
        QDir(QString::fromStdString(folder)).entryList(QDir::Files).filter("Kolvo.conf.");
    ASSERT_EQ(kept.size(), 1) << "the unreadable file is kept beside the new one";
    const std::string keptPath = folder + "/" + kept.front().toStdString();
    chmod(keptPath.c_str(), 0644);
    EXPECT_EQ(readFile(keptPath), "[General]\nTimer=5000\n");
}
