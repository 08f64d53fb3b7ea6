// kolvo-cli cd toc and cd play, as their own processes: the lines they print for generated
// discs, their refusals, the end of a play and Ctrl-C.

#include "cdtest.h"
#include "support/clirun.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <thread>

using cdtest::disc;

namespace {

class CdCli : public KolvoCliTest
{};

TEST_F(CdCli, TocPrintsTracksLeadOutIdentityKeyAndDiscId)
{
    // The numbers themselves are the reader's and the device's (cd_reader_tests checks them,
    // the disc ids against libdiscid, .toc sheets against cue sheets): here, the lines.
    const auto r = run({"cd", "toc", q(disc("mixed", "--data 1 1 1"))});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "track 1: frame 150, 3000 ms, data\n"
                     "track 2: frame 375, 1000 ms, audio\n"
                     "track 3: frame 450, 1000 ms, audio\n"
                     "lead-out: frame 525\n"
                     "identity: 3328\n"
                     "album key: d00\n"
                     "disc id: 0d000503\n");
}

TEST_F(CdCli, TocAndPlaySayWhyADriveCannotBeUsed)
{
    // The reader's own reasons are the reader's tests'; here that they reach the user.
    const std::string missing = cdtest::folder() + "/missing.cue";
    const std::string mixed = disc("mixed", "--data 1 1 1"), two = disc("two", "2 3");
    for (const auto& [args, says] : std::vector<std::pair<QStringList, std::string>>{
             {{"cd", "toc", q(missing)}, missing + " does not exist"},
             {{"cd", "toc", q(cdtest::folder())}, "holds no tracks"},
             {{"cd", "play", "/dev/null"}, "not a CD drive"},
             {{"cd", "play", q(mixed), "1", "--sink", "fakesink"}, "track 1 of"},
             {{"cd", "play", q(mixed), "1", "--sink", "fakesink"}, "is not audio"},
             {{"cd", "play", q(two), "3", "--sink", "fakesink"}, "has 2 tracks"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const auto r = run(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty() || args[1] == "play");
    }
    for (const QStringList& args :
         {QStringList{"cd", "toc"}, QStringList{"cd", "toc", "a", "b"}, QStringList{"cd", "play"},
          QStringList{"cd", "play", "x.cue", "0"}, QStringList{"cd", "play", "x.cue", "two"},
          QStringList{"cd", "toc", "x.cue", "--sink", "fakesink"},
          QStringList{"cd", "play", "x.cue", "--sink"}, QStringList{"cd", "rip", "x.cue"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        EXPECT_EQ(run(args).code, 2);
    }
}

TEST_F(CdCli, PlayPrintsItsProgressToTheEndOfTheDiscOrTrack)
{
    const std::string cue = disc("two", "2 3");
    QElapsedTimer clock;
    clock.start();
    auto r = run({"cd", "play", q(cue), "--sink", "fakesink sync=true"});
    ASSERT_EQ(r.code, 0) << r.err;
    // Never before the disc's end; after it by no more than a program start and a tick.
    EXPECT_GE(clock.elapsed(), 4700);
    EXPECT_LE(clock.elapsed(), 5000 + 800 * kStartDeadlineScale);
    // The last whole second of the disc may or may not be seen before the end is: a poll can
    // land on the very last sector.
    if (const size_t at = r.out.find("position 3 s\nstate stopped\n"); at != std::string::npos)
        r.out.erase(at, std::string("position 3 s\n").size());
    EXPECT_EQ(r.out, "disc: " + cue +
                         ", 2 tracks\n"
                         "track 1: 2000 ms\nstate playing\nposition 0 s\nposition 1 s\n"
                         "track 2: 3000 ms\nposition 0 s\nposition 1 s\nposition 2 s\n"
                         "state stopped\n");

    clock.restart();
    r = run({"cd", "play", q(cue), "1", "--sink", "fakesink sync=true"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_GE(clock.elapsed(), 1700);
    EXPECT_LE(clock.elapsed(), 2000 + 800 * kStartDeadlineScale);
    EXPECT_EQ(r.out, "disc: " + cue +
                         ", 2 tracks\n"
                         "track 1: 2000 ms\nstate playing\nposition 0 s\nposition 1 s\n"
                         "state stopped\n");
}

TEST_F(CdCli, CtrlCStopsAPlayCleanly)
{
    QProcess p;
    p.start(q(builtProgram("kolvo-cli")),
            {"cd", "play", q(disc("two", "2 3")), "--sink", "fakesink sync=true"});
    ASSERT_TRUE(p.waitForStarted());
    std::string out;
    QElapsedTimer clock;
    clock.start();
    while (out.find("position 1 s") == std::string::npos && clock.elapsed() < 5000) {
        p.waitForReadyRead(100);
        out += p.readAllStandardOutput().toStdString();
    }
    ASSERT_NE(out.find("position 1 s"), std::string::npos) << out;
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(3000));
    out += p.readAllStandardOutput().toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_NE(out.find("state stopped\ninterrupted\n"), std::string::npos) << out;
    EXPECT_LT(clock.elapsed(), 4000);
}

} // namespace
