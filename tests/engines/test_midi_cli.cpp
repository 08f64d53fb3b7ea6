// kolvo-cli with MIDI and karaoke files: info and play through the MIDI Player's engines with
// --tempo and --key, the karaoke events with their times, and clear refusals of bad input.

#include "engines/midisynth.h"
#include "enginetest.h"
#include "support/clirun.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace enginetest;

namespace {

class MidiCli : public KolvoCliTest
{
protected:
    void SetUp() override
    {
        KolvoCliTest::SetUp();
        if (engines::findSoundFont().empty())
            GTEST_SKIP() << "no SoundFont installed";
    }
    // A synthesised play takes longer than the other commands.
    static ProcessResult run(const QStringList& args) { return KolvoCliTest::run(args, 30000); }
    QString midi(const std::string& name, const std::string& args)
    {
        const std::string path = homePath(name);
        EXPECT_TRUE(sh("/usr/bin/python3 '" KOLVO_SOURCE_DIR "/tools/make-midi' " + args + " '" +
                       path + "'"));
        return QString::fromStdString(path);
    }
};

} // namespace

TEST_F(MidiCli, InfoAndPlayTakeMidiFilesWithTempoAndKey)
{
    const QString tone = midi("tone.mid", "tone --seconds 4");
    auto r = run({"info", tone, "--tempo", "200", "--key", "-3"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "engine: MIDI engine"));
    // The last note ends a tick (1 ms) before the fourth second.
    EXPECT_TRUE(contains(r.out, "length: 3999 ms"));
    EXPECT_TRUE(contains(r.out, "Standard MIDI file, format 1, 2 tracks, 120 BPM"));
    EXPECT_TRUE(contains(r.out, "length at that tempo: 1999 ms"));
    EXPECT_TRUE(contains(r.out, "key: -3"));

    r = run({"play", tone, "--tempo", "400", "--key", "12", "--sink", "fakesink sync=true"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "(MIDI engine)"));
    EXPECT_TRUE(contains(r.out, "tempo 400 %"));
    EXPECT_TRUE(contains(r.out, "key +12"));
    EXPECT_TRUE(contains(r.out, "state playing"));
    EXPECT_NE(r.out.rfind("state stopped"), std::string::npos);

    EXPECT_EQ(run({"play", tone, "--tempo", "501"}).code, 2);
    EXPECT_EQ(run({"play", tone, "--key", "13"}).code, 2);
    EXPECT_EQ(run({"info", tone, "--tempo", "9"}).code, 2);
}

TEST_F(MidiCli, KaraokePrintsTheEventsWithTheirTimes)
{
    const QString kar = midi("night.kar", "karaoke --title 'Night' --text '\\La| la/Lo' "
                                          "--start 2 --step 0.25");
    auto r = run({"karaoke", kar});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "0.000 start \"Night\"\n"
                     "0.000 line 1 new page \"La la\"\n"
                     "0.000 line 2 \"Lo\"\n"
                     "2.000 highlight 1 from 0 length 2\n"
                     "2.250 highlight 1 to 5\n"
                     "2.500 highlight 2 from 0 length 2\n");
    r = run({"karaoke", midi("plain.mid", "tone")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "has no karaoke words"));
}

TEST_F(MidiCli, DamagedFilesAreRefusedOrPlayedWithAClearWord)
{
    auto r = run({"info", midi("noheader.mid", "broken --kind no-header")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "the file is damaged"));
    EXPECT_TRUE(contains(r.err, "no MThd header"));

    r = run({"info", midi("beyond.mid", "broken --kind chunk-beyond")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "it is read as far as it goes"));

    r = run({"karaoke", midi("noend.mid", "broken --kind no-end")});
    EXPECT_TRUE(contains(r.err, "no end event"));

    // No SoundFont anywhere: the reason names the package to install.
    const std::string none = homePath("no-sf2");
    std::filesystem::create_directories(none);
    r = runProgram(q(builtProgram("kolvo-cli")), {"info", midi("tone.mid", "tone")}, 30000,
                   {"KOLVO_SF2_DIR=" + q(none)});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "timgm6mb-soundfont")) << r.err;
}
