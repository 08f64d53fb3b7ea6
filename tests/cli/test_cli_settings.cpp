#include "support/testhome.h"

#include <QProcess>

namespace {

struct Result
{
    int code = -1;
    std::string out;
    std::string err;
};

class CliTest : public KolvoHomeTest
{
protected:
    Result cli(const QStringList& args)
    {
        QProcess p;
        // Every call names its home with --home; KOLVO_HOME points elsewhere to show --home wins.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KOLVO_HOME"), QString::fromStdString(homePath("elsewhere")));
        p.setProcessEnvironment(env);
        p.start(QString::fromStdString(builtProgram("kolvo-cli")), args);
        p.waitForFinished(20000);
        return {p.exitCode(), p.readAllStandardOutput().toStdString(),
                p.readAllStandardError().toStdString()};
    }
    QStringList homeArgs() const
    {
        return {QStringLiteral("--home"), QString::fromStdString(home())};
    }
};

} // namespace

TEST_F(CliTest, SettingsAreListedReadAndWritten)
{
    Result all = cli(homeArgs() << QStringLiteral("settings"));
    ASSERT_EQ(all.code, 0) << all.err;
    EXPECT_NE(all.out.find("General/Timer=10000\n"), std::string::npos);
    EXPECT_NE(all.out.find("Audio/RecordWAVStruct=01000200"), std::string::npos);

    EXPECT_EQ(cli(homeArgs() << QStringLiteral("settings") << QStringLiteral("--set")
                             << QStringLiteral("General/Timer=1500000"))
                  .code,
              0);
    Result timer = cli(homeArgs() << QStringLiteral("settings") << QStringLiteral("--get")
                                  << QStringLiteral("General/Timer"));
    EXPECT_EQ(timer.out, "990000\n") << "read as the program reads it, clamped";

    cli(homeArgs() << QStringLiteral("settings") << QStringLiteral("--set")
                   << QStringLiteral("MainController/PosX=12"));
    EXPECT_EQ(cli(homeArgs() << QStringLiteral("settings") << QStringLiteral("--get")
                             << QStringLiteral("MainController/PosX"))
                  .out,
              "12\n");

    EXPECT_NE(readFile(homePath("config/Quorvane System, Inc./Kolvo.conf")).find("Timer=1500000"),
              std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(homePath("elsewhere"))));
}

TEST_F(CliTest, MistakesGiveTheirExitCodes)
{
    Result missing = cli(homeArgs() << QStringLiteral("settings") << QStringLiteral("--get")
                                    << QStringLiteral("Nowhere/Nothing"));
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("no value Nowhere/Nothing"), std::string::npos);
    EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1) << "one line";

    EXPECT_EQ(cli(homeArgs() << QStringLiteral("settings") << QStringLiteral("--set")
                             << QStringLiteral("NoEquals"))
                  .code,
              2);
    EXPECT_EQ(cli(homeArgs() << QStringLiteral("settings") << QStringLiteral("--set")
                             << QStringLiteral("Audio/RecordWAVStruct=1"))
                  .code,
              1);
    EXPECT_EQ(cli({QStringLiteral("frobnicate")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("--home")}).code, 2);
    EXPECT_EQ(cli({}).code, 2);
    Result help = cli({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("settings"), std::string::npos);
}

TEST_F(CliTest, AFolderThatCannotBeWrittenIsAFailure)
{
    writeFile("config", "a file where the folder should be");
    Result r = cli(homeArgs() << QStringLiteral("settings") << QStringLiteral("--set")
                              << QStringLiteral("DSP/Reverb=2"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}
