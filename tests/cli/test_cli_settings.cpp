#include "platform/instancelock.h"
#include "platform/strings.h"
#include "support/clirun.h"

#include <QLockFile>
#include <QSettings>

namespace {

class CliTest : public KolvoCliTest
{
protected:
    // Every call names its home with --home; KOLVO_HOME points elsewhere to show --home wins.
    ProcessResult cli(const QStringList& args)
    {
        return runProgram(q(builtProgram("kolvo-cli")), args, 20000,
                          {"KOLVO_HOME=" + q(homePath("elsewhere"))});
    }
    // kolvo-cli --home HOME settings ARGS...
    ProcessResult settings(const QStringList& args = {})
    {
        return cli(QStringList{"--home", q(home()), "settings"} + args);
    }
};

} // namespace

TEST_F(CliTest, SettingsAreListedReadAndWritten)
{
    ProcessResult all = settings();
    ASSERT_EQ(all.code, 0) << all.err;
    EXPECT_NE(all.out.find("General/Timer=10000\n"), std::string::npos);
    EXPECT_NE(all.out.find("Audio/RecordWAVStruct=01000200"), std::string::npos);

    EXPECT_EQ(settings({"--set", "General/Timer=1500000"}).code, 0);
    ProcessResult timer = settings({"--get", "General/Timer"});
    EXPECT_EQ(timer.out, "990000\n") << "read as the program reads it, clamped";

    // A value a window keeps for itself is known once the file holds it.
    EXPECT_EQ(settings({"--set", "MainController/PosX=12"}).code, 1);
    {
        QSettings file(QString::fromStdString(homePath("config/Quorvane System, Inc./Kolvo.conf")),
                       QSettings::IniFormat);
        file.setValue(QStringLiteral("MainController/PosX"), 3);
    }
    EXPECT_EQ(settings({"--set", "MainController/PosX=12"}).code, 0);
    EXPECT_EQ(settings({"--get", "MainController/PosX"}).out, "12\n");

    EXPECT_NE(readFile(homePath("config/Quorvane System, Inc./Kolvo.conf")).find("Timer=1500000"),
              std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(homePath("elsewhere"))));
}

TEST_F(CliTest, MistakesGiveTheirExitCodes)
{
    const ProcessResult missing = settings({"--get", "Nowhere/Nothing"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("no value Nowhere/Nothing"), std::string::npos);
    EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1) << "one line";
    for (const QStringList& args : {QStringList{"frobnicate"}, {"--home"}, {}})
        EXPECT_EQ(cli(args).code, 2) << args.join(' ').toStdString();
    const ProcessResult help = cli({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("settings"), std::string::npos);
}

// A value is checked as the program will read it back: unknown names and words where a number
// belongs are refused with nothing written; a value loading brings into range is stored and
// the user is told what the program will make of it.
TEST_F(CliTest, SetChecksNamesTypesAndRanges)
{
    const struct
    {
        const char* assignment;
        int code;
        const char* says; // a part of what it prints on its error output, "" for nothing
    } cases[] = {
        {"Nowhere/Nothing=1", 1, "no setting"},
        {"General/Timre=5", 1, "no setting"},
        {"DSP/reverb=2", 1, "no setting"},
        {"DSP/Reverb=two", 1, "is a whole number"},
        {"General/Timer=12:00", 1, "is a whole number"},
        {"CD/Enable=", 1, "is a whole number"},
        {"NoEquals", 2, "kolvo-cli: "},
        {"Audio/RecordWAVStruct=1", 1, "kolvo-cli: "},
        {"CD/Drive=/nowhere/sr9", 1, "neither a CD drive"}, // a drive that is not there
        {"General/Timer=-5", 0, "General/Timer=-5 is out of range; Kolvo reads it as 0"},
        {"General/Timer=0x10", 0, ""}, // a value read as given says nothing
    };
    for (const auto& c : cases) {
        const ProcessResult r = settings({"--set", QString::fromUtf8(c.assignment)});
        EXPECT_EQ(r.code, c.code) << c.assignment;
        EXPECT_TRUE(*c.says ? r.err.find(c.says) != std::string::npos : r.err.empty())
            << c.assignment << ": " << r.err;
    }
    const std::string file = readFile(homePath("config/Quorvane System, Inc./Kolvo.conf"));
    EXPECT_EQ(file.find("Timre"), std::string::npos) << "a refused value is not written";
    EXPECT_EQ(file.find("two"), std::string::npos);
    EXPECT_EQ(settings({"--get", "General/Timer"}).out, "16\n");
}

// Kolvo writes every setting back when it ends, so a change made while it runs would be lost
// without a word: the change is made and the user is told.
TEST_F(CliTest, SetWarnsWhenARunningKolvoWillWriteOverIt)
{
    const QByteArray savedHome = qgetenv("KOLVO_HOME");
    qputenv("KOLVO_HOME", QByteArray::fromStdString(home()));
    const QString lockPath = instanceLockPath(QString::fromStdString(LoadString(2042)));
    qputenv("KOLVO_HOME", savedHome);

    const QStringList args{"--set", "DSP/Reverb=2"};
    ProcessResult quiet = settings(args);
    EXPECT_EQ(quiet.code, 0);
    EXPECT_EQ(quiet.err, "") << "no Kolvo runs";

    QLockFile lock(lockPath);
    ASSERT_TRUE(lock.tryLock(0));
    ProcessResult warned = settings(args);
    EXPECT_EQ(warned.code, 0);
    EXPECT_NE(warned.err.find("Kolvo is running"), std::string::npos) << warned.err;
    lock.unlock();
}

TEST_F(CliTest, AFolderThatCannotBeWrittenIsAFailure)
{
    writeFile("config", "a file where the folder should be");
    ProcessResult r = settings({"--set", "DSP/Reverb=2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}
