// kolvo-cli info and play on IMS songs and modules: the MIDI Player's engine and text, --tempo
// and --key (checked, applied to the wall time, refused where an engine cannot), and an IMS song
// with no bank anywhere: a clear message, not a hang.

#include "enginetest.h"
#include "support/clirun.h"
#include "synthfixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using namespace enginetest;
using namespace synthtest;

namespace {

class SynthCli : public KolvoCliTest
{
protected:
    // Runs kolvo-cli; the wall time it took in `seconds`.
    static ProcessResult timed(const QStringList& args, double& seconds)
    {
        const auto start = std::chrono::steady_clock::now();
        const ProcessResult r = run(args);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return r;
    }
};

TEST_F(SynthCli, InfoAnswersForImsSongsAndModules)
{
    auto r = run({"info", q(music("ims", "cli.ims", "--notes 69:4"))});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "engine: IMS engine\nlength: 2000 ms\n"));
    EXPECT_TRUE(contains(r.out, "info: IMS (AdLib), melodic, 1 instruments, bank STANDARD.BNK"));

    r = run({"info", q(music("xm", "cli.xm", "--notes 60:16 --title Tracked"))});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "engine: module engine\nlength: 2040 ms\n"));
    EXPECT_TRUE(contains(r.out,
                         "FastTracker 2 v1.04 (xm), 2 channels, 1 instruments        Title : "
                         "Tracked"));
}

TEST_F(SynthCli, TempoAndKeyAreCheckedAndChangeTheWallTime)
{
    const std::string mod = music("mod", "cli-tempo.mod", "--notes 72:24");
    for (const char* bad : {"--tempo=5", "--tempo 501", "--tempo x", "--key 13", "--key -13"}) {
        QStringList args{"play", q(mod)};
        args += QString(bad).split(' ');
        const auto r = run(args);
        EXPECT_EQ(r.code, 2) << bad << ": " << r.err;
    }
    const QStringList sink{"--sink", "fakesink sync=true"};
    double normalSeconds = 0, fastSeconds = 0;
    const auto normal = timed(QStringList{"play", q(mod)} + sink, normalSeconds);
    ASSERT_EQ(normal.code, 0) << normal.err;
    const auto fast =
        timed(QStringList{"play", q(mod), "--tempo", "300", "--key", "5"} + sink, fastSeconds);
    ASSERT_EQ(fast.code, 0) << fast.err;
    EXPECT_TRUE(fast.err.empty()) << fast.err;
    EXPECT_TRUE(contains(fast.out, "(module engine)"));
    // Three seconds of module: a third of that, give or take the start of a process.
    EXPECT_GT(normalSeconds, 2.8);
    EXPECT_LT(fastSeconds, normalSeconds * 0.33 + 0.6) << fastSeconds << " " << normalSeconds;

    // A file whose engine has no tempo plays as it is and says so.
    const auto wav =
        run(QStringList{"play", q(toneFile("wav", 0.3, 440)), "--tempo", "200"} + sink);
    EXPECT_EQ(wav.code, 0) << wav.err;
    EXPECT_TRUE(contains(wav.err, "the general engine cannot change the tempo"));
}

TEST_F(SynthCli, AnImsSongWithoutABankIsRefusedWithTheReason)
{
    // A kolvo-cli outside the build tree has no program bank beside it.
    const std::string bin = folder("lonely/bin");
    const std::string lonely = bin + "/kolvo-cli";
    std::filesystem::copy_file(builtProgram("kolvo-cli"), lonely,
                               std::filesystem::copy_options::overwrite_existing);
    const std::string songDir = folder("lonely/songs");
    const std::string song = songDir + "/alone.ims";
    writeBytes(song, bytesOf(music("ims", "lonely.ims")));
    const auto start = std::chrono::steady_clock::now();
    auto r = runProgram(q(lonely), {"info", q(song)}, 20000);
    EXPECT_EQ(r.code, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(contains(r.err, "no instrument bank (.BNK) beside the song, nor the program's"));
    EXPECT_TRUE(contains(r.err, "IMS engine"));

    // Given a bank beside it, the same program plays it.
    writeBytes(songDir + "/alone.bnk", bytesOf(music("bnk", "lonely.bnk")));
    r = runProgram(q(lonely), {"info", q(song)}, 20000);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "bank alone.bnk"));
}

} // namespace
