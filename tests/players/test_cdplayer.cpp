// The CD Player in the real main window, on disc images made by tools/make-test-disc and read
// through the real libcdio, heard through the private PulseAudio.

#include "analysis.h"
#include "cddb/serverlist.h"
#include "cdtest.h"
#include "fakecddbserver.h"
#include "players/cdplayer.h"
#include "playertest.h"
#include "ui/displaypanel.h"

#include <algorithm>
#include <cmath>

using enginetest::pump;
using enginetest::pumpUntil;

namespace {

// The tracks a recording heard, in order, by their tones (track n plays 220 (n + 1) Hz).
std::vector<int> tracksHeard(const analysis::Stereo& r)
{
    std::vector<int> tracks;
    for (double hz : analysis::toneSequence(analysis::mix(r), r.rate))
        tracks.push_back(static_cast<int>(std::lround((hz - 220.0) / 220.0)));
    return tracks;
}

class CdPlayerTest : public playertest::WindowTest<void>
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        if (!enginetest::haveTestSink())
            GTEST_SKIP() << "no test sound sink";
        setInterfaceLanguage("en");
    }
    // Starts Kolvo with the CD Player on and the drive set to `drive`.
    void start(const std::string& drive, const std::string& extraSettings = "",
               const std::function<void()>& beforeWindow = {})
    {
        window.reset();
        app.reset();
        writeFile("config/Quorvane System, Inc./Kolvo.conf", "[CD]\nEnable=1\nDrive=" + drive +
                                                                 "\nAutoRun=0\nCDDBConnect=0\n" +
                                                                 extraSettings + "\n");
        if (beforeWindow)
            beforeWindow();
        app = std::make_unique<PlayerApp>();
        app->LoadSettings();
        app->settings().cdDrive = drive; // a path the settings check would not know yet
        window = std::make_unique<MainController>(*app);
        cd = static_cast<CdPlayer*>(window->component(ComponentCd));
        ASSERT_NE(cd, nullptr);
    }
    void playing()
    {
        ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000));
    }
    bool loaded()
    {
        return pumpUntil([this] { return cd->state() == kModeStopped; }, 5000);
    }
    void command(int id, int arg = 0)
    {
        window->sendMessage(UM_COMMAND, ComponentCd, MAKELPARAM(id, arg));
    }
    ComponentRecord& cdRecord() { return app->settings().components[ComponentCd]; }
    // Plays until the player stops (or `ms` pass) while the monitor records.
    analysis::Stereo hearUntilStopped(const std::function<void()>& begin, int ms)
    {
        enginetest::SinkRecorder recorder;
        EXPECT_TRUE(recorder.start());
        begin();
        EXPECT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000));
        EXPECT_TRUE(pumpUntil([this] { return cd->state() == kModeStopped; }, ms));
        pump(300);
        return recorder.stop();
    }

    std::unique_ptr<PlayerApp> app;
    std::unique_ptr<MainController> window;
    CdPlayer* cd = nullptr;
};

} // namespace

TEST_F(CdPlayerTest, ADiscLoadsItsAlbumWithTheDesignedKeyAndTiming)
{
    start(cdtest::disc("two", "2 3"));
    ASSERT_TRUE(loaded()) << cd->infoText();
    const Album& a = cd->album();
    // kolvo-cli cd toc of the same disc: identity 1911, album key 777, tracks at frames 150 and
    // 300, lead-out 525.
    EXPECT_EQ(a.key(), "777");
    ASSERT_EQ(a.songCount(), 2);
    EXPECT_EQ(std::tuple(a.GetSong(1)->startFrame, a.GetSong(1)->lengthMs, a.GetSong(2)->startFrame,
                         a.GetSong(2)->lengthMs, a.discEndFrame(), a.discLengthMs()),
              std::tuple(150, 2000, 300, 3000, 525, 7000));
    // Written to the CD album database, where the album manager and the next start find it.
    Album stored(AlbumKindCd);
    ASSERT_TRUE(stored.LoadForReading("777"));
    EXPECT_EQ(stored.GetSong(2)->startFrame, 300);
    EXPECT_EQ(stored.discEndFrame(), 525);

    ComponentStatus status;
    window->sendMessage(UM_GET_STATUS, ComponentCd, reinterpret_cast<LPARAM>(&status));
    EXPECT_EQ(std::tuple(status.state, status.songCount, status.positionSeconds),
              std::tuple(kModeStopped, 2, 7))
        << "no current song: the disc's length";
}

TEST_F(CdPlayerTest, NormalPlayRunsThroughTheDiscAndRandomPlaysEachTrackOnce)
{
    start(cdtest::disc("three", "1.5 1.5 1.5"));
    ASSERT_TRUE(loaded());
    // Normal, no repeat: one play from track 1 to the end of the disc; the album's current song
    // follows the device.
    std::vector<int> seen;
    enginetest::SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    command(cmd::Play);
    for (int waited = 0; waited < 8000 && (waited < 500 || cd->state() != kModeStopped);
         waited += 100) {
        pump(100);
        if (seen.empty() || seen.back() != cd->album().currentSong())
            seen.push_back(cd->album().currentSong());
    }
    pump(300);
    auto r = recorder.stop();
    EXPECT_EQ(cd->state(), kModeStopped);
    EXPECT_EQ(tracksHeard(r), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(seen.front(), 1);
    EXPECT_NE(std::find(seen.begin(), seen.end(), 3), seen.end()) << "the cursor followed";

    // Random: each track to the start of the next, then another, each once.
    cdRecord().playMode = PlayMethodRandom;
    r = hearUntilStopped([&] { command(cmd::Play); }, 8000);
    std::vector<int> heard = tracksHeard(r);
    std::sort(heard.begin(), heard.end());
    EXPECT_EQ(heard, (std::vector<int>{1, 2, 3})) << "every track once";
}

TEST_F(CdPlayerTest, ASingleTrackPlaysOnlyThatTrackThenStopsWithTheCursorReset)
{
    start(cdtest::disc("four", "1 1 1.5 1"));
    ASSERT_TRUE(loaded());
    const auto r = hearUntilStopped([&] { command(cmd::PlayCdTrack, 3); }, 5000);
    EXPECT_EQ(tracksHeard(r), std::vector<int>{3});
    EXPECT_EQ(cd->state(), kModeStopped);
    EXPECT_EQ(cd->album().currentSong(), 0) << "the cursor goes back to the start";
}

TEST_F(CdPlayerTest, RepeatThisSongEndsTheRunningPlayAtTheTracksEndAndPlaysItAgain)
{
    start(cdtest::disc("repeat", "1.5 1.5"));
    ASSERT_TRUE(loaded());
    enginetest::SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    command(cmd::Play);
    playing();
    pump(400);
    command(cmd::Repeat); // no repeat -> repeat this song, while track 1 plays
    EXPECT_EQ(cdRecord().repeat, RepeatModeRepeatThisSong);
    EXPECT_EQ(cd->state(), kModePlaying) << "the play goes on from where it was";
    pump(2600);
    EXPECT_EQ(cd->album().currentSong(), 1);
    command(cmd::Stop);
    const std::vector<int> heard = tracksHeard(recorder.stop());
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(std::count(heard.begin(), heard.end(), 2), 0) << "track 2 never started";
}

TEST_F(CdPlayerTest, AutoRunPlaysADiscWhenItArrivesAndOnlyThen)
{
    const std::string disc = cdtest::disc("auto", "3");
    for (const bool autoRun : {false, true}) {
        SCOPED_TRACE(autoRun ? "AutoRun on" : "AutoRun off");
        start(disc, autoRun ? "AutoRun=1" : "AutoRun=0");
        cd->sendMessage(UM_DISC_CHANGE, 0, 0);
        ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModeOpening; }, 3000))
            << "no disc: state " << cd->state();
        EXPECT_TRUE(cd->doorOpen());
        cd->sendMessage(UM_DISC_CHANGE, 1, 0);
        if (autoRun) {
            EXPECT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000));
        } else {
            EXPECT_TRUE(loaded());
            pump(700);
            EXPECT_EQ(cd->state(), kModeStopped);
        }
    }
}

TEST_F(CdPlayerTest, ABlankDiscTakesItsTitlesFromCdTextAndTheCdDatabase)
{
    // The CD-Text of the image fills a blank album at once and says so.
    const std::string texted = cdtest::disc(
        "texted", "--title Dawnlight --performer Somebody --track-title 1:Morning 1 1");
    start(texted);
    ASSERT_TRUE(loaded());
    EXPECT_EQ(cd->album().title(), "Dawnlight");
    EXPECT_EQ(cd->album().artist(), "Somebody");
    EXPECT_EQ(cd->album().GetSong(1)->title, "Morning");
    EXPECT_NE(cd->infoText().find(LoadString(playertext::TitlesFromCdText)), std::string::npos)
        << cd->infoText();

    // With CDDBConnect on, a blank album is looked up once on the loopback server.
    const std::string discId = "06000502"; // the two-track disc of 2 and 3 seconds
    FakeCddbScript script;
    script.queryReply = "200 rock " + discId + " The Band / Two Tones\r\n";
    script.readReplies["rock " + discId] = FakeCddbServer::readReply(
        "rock", discId,
        {"# xmcd", "#", "DISCID=" + discId, "DTITLE=The Band / Two Tones", "TTITLE0=Low",
         "TTITLE1=High", "EXTD=", "EXTT0=", "EXTT1=", "PLAYORDER="});
    FakeCddbServer server(FakeCddbServer::Cddbp, script);
    const auto useServer = [&] { SetCurrentCddbServer(server.address()); };
    start(cdtest::disc("lookup", "2 3"), "CDDBConnect=1", useServer);
    ASSERT_TRUE(pumpUntil([this] { return cd->album().title() == "Two Tones"; }, 8000))
        << cd->infoText();
    EXPECT_EQ(cd->album().GetSong(2)->title, "High");
    Album stored(AlbumKindCd);
    ASSERT_TRUE(stored.LoadForReading(cd->album().key()));
    EXPECT_EQ(stored.artist(), "The Band") << "saved";
    const size_t asked = server.requests().size();

    // A disc whose album has titles is not looked up again.
    start(cdtest::disc("lookup", "2 3"), "CDDBConnect=1", useServer);
    ASSERT_TRUE(loaded());
    pump(500);
    EXPECT_EQ(server.requests().size(), asked);
}

TEST_F(CdPlayerTest, ADriveThatCannotBeOpenedSaysSoAndADataTrackIsPassedOver)
{
    start(homePath("gone/disc.cue"));
    ASSERT_TRUE(pumpUntil(
        [this] {
            return cd->infoText() == "CD drive is being used by another application.." ||
                   cd->panel()->infoText() == "CD drive is being used by another application..";
        },
        3000))
        << cd->infoText();
    EXPECT_EQ(cd->state(), kModeNotReady);

    // A mixed-mode disc: the data track first, then two audio tracks. Asked for track 1, the
    // player plays the first audio track.
    start(cdtest::disc("mixed", "--data 1 1.5 1.5"));
    ASSERT_TRUE(loaded());
    EXPECT_EQ(cd->album().songCount(), 3);
    command(cmd::Play, 1);
    EXPECT_EQ(cd->state(), kModePlaying);
    EXPECT_EQ(cd->album().currentSong(), 2);
    command(cmd::Stop);
}

TEST_F(CdPlayerTest, ThePanelPlayingADisc)
{
    start(cdtest::disc("shot", "8 8"));
    ASSERT_TRUE(loaded());
    command(cmd::Play);
    playing();
    pump(1600);
    ASSERT_TRUE(window->grab().save(playertest::shotDir() + "/cd-player-playing.png"));
    EXPECT_GE(cd->positionSeconds(), 1) << "the time runs";
    command(cmd::Stop);
}
