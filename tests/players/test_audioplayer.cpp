// The Digital Audio Player inside the real main window, playing real files through the engines
// into the test PulseAudio.

#include "analysis.h"
#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "enginetest.h"
#include "platform/strings.h"
#include "players/audioplayer.h"
#include "support/testhome.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <fstream>

using enginetest::pump;
using enginetest::pumpUntil;

namespace {

class AudioPlayerTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        app = std::make_unique<PlayerApp>();
        app->LoadSettings();
        window = std::make_unique<MainController>(*app);
        player = static_cast<AudioPlayer*>(window->component(ComponentAudio));
        ASSERT_NE(player, nullptr);
        pumpUntil([this] { return player->state() == kStateStopped; }, 2000);
    }
    void TearDown() override
    {
        window.reset();
        app.reset();
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }

    // A WAVE tone of its own pitch per song, so the order can be heard as well as seen.
    std::string tone(const std::string& name, double seconds, int hz)
    {
        const std::string path = homePath(name);
        QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
        enginetest::sh("sox -n -r 44100 -c 2 '" + path + "' synth " + std::to_string(seconds) +
                       " sine " + std::to_string(hz) + " vol 0.4");
        return path;
    }

    std::string m3u(const std::vector<std::string>& songs)
    {
        const std::string path = homePath("list.m3u");
        std::ofstream out(path);
        for (const std::string& s : songs)
            out << s << "\n";
        return path;
    }

    void playPending(const std::string& file)
    {
        app->cmdInfo.fileName = file;
        window->sendMessage(UM_COMMAND, ComponentAudio, 5173);
    }

    // The songs the player starts, in order, until it is stopped again (or time runs out).
    std::vector<int> songsUntilStopped(int ms)
    {
        std::vector<int> played;
        std::string lastPath;
        pumpUntil(
            [&] {
                if (player->state() == kStatePlaying && player->playingPath() != lastPath) {
                    lastPath = player->playingPath();
                    played.push_back(player->album().currentSong());
                }
                if (player->state() == kStatePlaying && !played.empty() &&
                    player->album().currentSong() != played.back())
                    played.push_back(player->album().currentSong());
                if (player->state() == kStateStopped)
                    lastPath.clear();
                return player->state() == kStateStopped && !played.empty();
            },
            ms);
        return played;
    }

    std::unique_ptr<PlayerApp> app;
    std::unique_ptr<MainController> window;
    AudioPlayer* player = nullptr;
};

} // namespace

TEST_F(AudioPlayerTest, APlayListPlaysInOrderThenStops)
{
    const std::string a = tone("a.wav", 0.8, 300), b = tone("b.wav", 0.8, 500),
                      c = tone("c.wav", 0.8, 700);
    enginetest::SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    playPending(m3u({a, b, c}));
    const std::vector<int> played = songsUntilStopped(15000);
    const analysis::Stereo heard = recorder.stop();
    EXPECT_EQ(played, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(player->state(), kStateStopped);
    // What reached the sink: the three pitches, one after the other.
    const double start = analysis::firstAbove(heard.left, heard.rate, 0.05);
    ASSERT_GE(start, 0);
    for (int i = 0; i < 3; ++i) {
        const auto part = analysis::slice(heard, start + i * 0.8 + 0.2, 0.4);
        EXPECT_NEAR(analysis::dominantFrequency(part.left, heard.rate), 300 + 200 * i, 15) << i;
    }
}

TEST_F(AudioPlayerTest, RepeatFromLastStartsAgainAndRandomPlaysEachOnce)
{
    std::vector<std::string> songs;
    for (int i = 0; i < 5; ++i)
        songs.push_back(tone(QStringLiteral("s%1.wav").arg(i).toStdString(), 0.6, 300 + 100 * i));
    ComponentRecord& r = app->settings().components[ComponentAudio];

    r.playMode = PlayMethodRandom;
    playPending(m3u(songs));
    std::vector<int> random = songsUntilStopped(20000);
    ASSERT_EQ(random.size(), 5u);
    std::vector<int> sorted = random;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<int>{1, 2, 3, 4, 5})) << "each song once, then stop";

    r.playMode = PlayMethodNormal;
    r.repeat = RepeatModeRepeatFromLast;
    playPending(m3u({songs[0], songs[1]}));
    std::vector<int> order;
    pumpUntil(
        [&] {
            const int n = player->album().currentSong();
            if (player->state() == kStatePlaying && (order.empty() || order.back() != n))
                order.push_back(n);
            return order.size() >= 3;
        },
        15000);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1})) << "after the last song, the first again";
    window->sendMessage(UM_COMMAND, ComponentAudio, 5102);
    EXPECT_EQ(player->state(), kStateStopped);
}

TEST_F(AudioPlayerTest, PreviousGoesBackEarlyAndRestartsLate)
{
    const std::string a = tone("a.wav", 9, 300), b = tone("b.wav", 9, 500);
    playPending(m3u({a, b}));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kStatePlaying; }, 5000));
    window->sendMessage(UM_COMMAND, ComponentAudio, MAKELPARAM(5104, 2));
    ASSERT_TRUE(pumpUntil([&] { return player->album().currentSong() == 2; }, 3000));
    ASSERT_TRUE(pumpUntil([&] { return player->positionSeconds() >= 6; }, 9000));
    window->sendMessage(UM_COMMAND, ComponentAudio, 5107);
    EXPECT_EQ(player->album().currentSong(), 2) << "after 5 s Previous restarts the song";
    pump(700);
    EXPECT_LE(player->positionSeconds(), 1);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5107);
    EXPECT_EQ(player->album().currentSong(), 1) << "within 5 s Previous goes back";
    EXPECT_EQ(player->state(), kStatePlaying);
}

TEST_F(AudioPlayerTest, FastForwardNearTheEndMovesOnEvenWhenRepeatingTheSong)
{
    const std::string a = tone("a.wav", 4, 300), b = tone("b.wav", 4, 500);
    app->settings().components[ComponentAudio].repeat = RepeatModeRepeatThisSong;
    playPending(m3u({a, b}));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kStatePlaying; }, 5000));
    window->sendMessage(UM_COMMAND, ComponentAudio, 5116);
    ASSERT_TRUE(pumpUntil([&] { return player->album().currentSong() == 2; }, 3000));
    EXPECT_EQ(player->state(), kStatePlaying);
}

TEST_F(AudioPlayerTest, AMissingFileIsReportedAndThePlayerGoesOn)
{
    const std::string good = tone("good.wav", 2, 440);
    playPending(m3u({homePath("gone/missing.mp3"), good}));
    ASSERT_TRUE(pumpUntil([&] { return !player->messageText().empty(); }, 5000));
    EXPECT_EQ(player->messageText(), "Can't play Track 1, missing.mp3 File.");
    EXPECT_EQ(player->state(), kStateStopped);
    EXPECT_NE(player->infoText().find("Error : Can't play Track 1, missing.mp3 File."),
              std::string::npos)
        << player->infoText();
    window->sendMessage(UM_COMMAND, ComponentAudio, 5108);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kStateStopped; }, 1000));
    window->sendMessage(UM_COMMAND, ComponentAudio, 5104);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kStatePlaying; }, 5000));
    EXPECT_EQ(player->album().currentSong(), 2);
    EXPECT_TRUE(player->messageText().empty());
}

TEST_F(AudioPlayerTest, ASongOnAnotherMediumIsFoundThere)
{
    // The album remembers the song on a medium mounted at "disc1"; it is now at "disc2".
    const std::string song = tone("disc2/music/a.wav", 1, 440);
    setenv("KOLVO_MOUNTS", (homePath("disc1") + ":" + homePath("disc2")).c_str(), 1);
    playPending(m3u({homePath("disc1/music/a.wav")}));
    const bool playing = pumpUntil([&] { return player->state() == kStatePlaying; }, 5000);
    unsetenv("KOLVO_MOUNTS");
    ASSERT_TRUE(playing) << player->messageText();
    EXPECT_EQ(player->playingPath(), song);
}

TEST_F(AudioPlayerTest, StopWithArgumentOneLeavesAStoppedPlayerAlone)
{
    const std::string a = tone("a.wav", 1, 300), b = tone("b.wav", 1, 500);
    playPending(m3u({a, b}));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kStatePlaying; }, 5000));
    window->sendMessage(UM_COMMAND, ComponentAudio, 5102);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5108); // the cursor moves on, stopped
    const int cursor = player->album().currentSong();
    window->sendMessage(UM_COMMAND, ComponentAudio, MAKELPARAM(5102, 1));
    EXPECT_EQ(player->album().currentSong(), cursor);
    // A component that is off refuses everything but Power.
    app->settings().components[ComponentAudio].enable = 0;
    EXPECT_EQ(window->sendMessage(UM_COMMAND, ComponentAudio, 5104), 0);
}
