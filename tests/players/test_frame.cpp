// The player frame's logic driven through fake engine sessions, in milliseconds and without a
// sound server. A CD-like player of numbered tracks is written here on the frame's hooks alone.

#include "engines/engineapi.h"
#include "engines/session.h"
#include "platform/strings.h"
#include "players/cdplayer.h"
#include "players/playerframe.h"
#include "support/testhome.h"
#include "support/testhost.h"
#include "ui/buttons.h"

#include <QApplication>
#include <QTest>

#include <map>
#include <string>
#include <vector>

namespace {

// What the fake engine families do, set by each test.
struct FakeEngine
{
    std::map<std::string, std::int32_t> openResults; // "A /path" -> result (default 1)
    int openMode = kModePlaying;                     // what a session opened now reports
    int mode = kModePlaying;                         // what the open session reports
    int positionMs = 0;
    int lengthMs = 60000;
    bool readyResult = true;
    std::vector<std::string> calls;
    // The calls that contain `what`.
    std::vector<std::string> only(const std::string& what) const
    {
        std::vector<std::string> out;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                     [&](const std::string& c) { return c.find(what) != std::string::npos; });
        return out;
    }
    int opens() const { return static_cast<int>(only(" open ").size()); }
};
FakeEngine* g_fake = nullptr;

class FakeSession : public engines::Session
{
public:
    FakeSession(const engines::EngineFamily& family, const engines::SessionContext& context,
                UINT message)
        : Session(family, context)
        , m_message(message)
    {}
    ~FakeSession() override { note("close"); }
    UINT notification() const override { return m_message; }
    std::int32_t open(const std::string& path, int) override
    {
        note("open " + path);
        g_fake->mode = g_fake->openMode;
        const auto it = g_fake->openResults.find(std::string(family().prefix) + " " + path);
        return it == g_fake->openResults.end() ? 1 : it->second;
    }
    bool ready(int mode) override
    {
        note("ready " + std::to_string(mode));
        return g_fake->readyResult;
    }
    int mode() override { return g_fake->mode; }
    bool failed() override { return false; }
    int positionMs() override { return g_fake->positionMs; }
    int lengthMs() override { return g_fake->lengthMs; }
    void pause() override { note("pause"); }
    void resume() override { note("resume"); }
    void seek(int ms, bool paused) override
    {
        note("seek " + std::to_string(ms) + (paused ? " paused" : ""));
    }
    std::string infoText(bool) override { return "fake info"; }
    bool knowsLengthAtOpen(std::int32_t result) const override { return result == 1; }

protected:
    void note(const std::string& what) { g_fake->calls.push_back(family().prefix + (" " + what)); }

private:
    UINT m_message;
};

extern const engines::EngineFamily kFakeA;
extern const engines::EngineFamily kFakeB;
const engines::EngineFamily kFakeA{"A", "first fake engine", [](const engines::SessionContext& c) {
                                       return std::unique_ptr<engines::Session>(
                                           new FakeSession(kFakeA, c, kNotifyMpeg));
                                   }};
const engines::EngineFamily kFakeB{"B", "second fake engine", [](const engines::SessionContext& c) {
                                       return std::unique_ptr<engines::Session>(
                                           new FakeSession(kFakeB, c, kNotifyDirectShow));
                                   }};

// A CD's tracks are numbers: its session opens "track n" with no path at all.
class TrackSession : public FakeSession
{
public:
    using FakeSession::FakeSession;
    std::int32_t openTrack(int n, int cookie) { return open("track " + std::to_string(n), cookie); }
};
extern const engines::EngineFamily kFakeCd;
const engines::EngineFamily kFakeCd{"CD", "fake CD device", [](const engines::SessionContext& c) {
                                        return std::unique_ptr<engines::Session>(
                                            new TrackSession(kFakeCd, c, 0));
                                    }};

// The frame with the test's drive: the tick and commands as the main window sends them.
class DrivenFrame : public PlayerFrame
{
public:
    using PlayerFrame::PlayerFrame;
    ~DrivenFrame() override { StopPlayer(true); }
    void tick() { sendMessage(WM_TIMER, kTickTimerId, 0); }
    void command(int id) { sendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0); }

protected:
    UINT EmptyAlbumHintId() const override { return playertext::AddAudioFiles; }
};

// A file player on the fake engines: A first, then B.
class FilePlayer : public DrivenFrame
{
public:
    explicit FilePlayer(PlayerHost& host)
        : DrivenFrame(ComponentAudio, AlbumKindAudio, host, nullptr, buttons::kAudioPlayer, false)
    {}
    void notify(UINT msg, int cookie, int event, int value)
    {
        sendMessage(msg, engineNotifyWParam(cookie, event), value);
    }

protected:
    bool OwnsStartMode(int startMode) const override { return startMode == StartModeAudio; }
    engines::EngineOrder EnginesFor(const std::string&) const override
    {
        return {&kFakeA, &kFakeB};
    }
};

// A CD-like player: numbered tracks, its own session, and a recording that follows the frame.
class TrackPlayer : public DrivenFrame
{
public:
    explicit TrackPlayer(PlayerHost& host)
        : DrivenFrame(ComponentCd, AlbumKindCd, host, nullptr, buttons::kCdPlayer, false)
    {
        for (int i = 1; i <= 4; ++i)
            m_album.AddSong("Song " + std::to_string(i));
    }
    void startRecording(const std::string& path)
    {
        m_recordingPath = path;
        BeginRecordingState();
    }
    std::vector<std::string> recorderCalls;

protected:
    bool OwnsStartMode(int startMode) const override { return startMode == StartModeAudioCd; }
    std::int32_t OpenTrack(int n) override
    {
        auto session = kFakeCd.make(sessionContext());
        const std::int32_t result = static_cast<TrackSession&>(*session).openTrack(n, nextCookie());
        if (result > 0)
            adoptSession(std::move(session), result);
        return result;
    }
    std::string TrackName(int n) const override { return "Track " + std::to_string(n); }
    void PauseRecording() override { recorderCalls.push_back("pause"); }
    void ResumeRecording() override { recorderCalls.push_back("resume"); }
    void EndRecording(bool user) override { recorderCalls.push_back(user ? "end by user" : "end"); }
    std::string RecordingPath() const override { return m_recordingPath; }

private:
    std::string m_recordingPath;
};

class FrameTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        g_fake = &fake;
    }
    void TearDown() override
    {
        g_fake = nullptr;
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }
    std::unique_ptr<FilePlayer> filePlayer(int songs)
    {
        auto p = std::make_unique<FilePlayer>(host);
        for (int i = 1; i <= songs; ++i)
            p->album().AddSong("/music/s" + std::to_string(i) + ".wav");
        p->tick(); // 524 -> 525
        return p;
    }
    ComponentRecord& audioRecord() { return host.settings().components[ComponentAudio]; }

    FakeEngine fake;
    TestHost host;
};

} // namespace

TEST_F(FrameTest, TheEndOfASongMovesOnByRepeatAndStopsAfterTheLast)
{
    auto p = filePlayer(3);
    p->command(cmd::Play);
    EXPECT_EQ(p->state(), kModePlaying);
    EXPECT_EQ(p->album().currentSong(), 1) << "nothing current: Play/Pause plays song 1";
    EXPECT_EQ(p->album().GetSong(1)->lengthMs, 60000) << "known at open, stored at once";

    fake.mode = kModeStopped; // the engine reached the end
    p->tick();
    EXPECT_EQ(p->album().currentSong(), 2);
    EXPECT_EQ(p->state(), kModePlaying);

    // Repeat this song applies to the end of a song, not to a user's Next.
    audioRecord().repeat = RepeatModeRepeatThisSong;
    const int cookie = p->cookie();
    fake.mode = kModeStopped;
    p->tick();
    EXPECT_EQ(p->album().currentSong(), 2);
    EXPECT_NE(p->cookie(), cookie) << "the same song again";
    p->command(cmd::Next);
    EXPECT_EQ(p->album().currentSong(), 3);

    audioRecord().repeat = RepeatModeNoRepeat;
    fake.mode = kModeStopped;
    p->tick();
    EXPECT_EQ(p->state(), kModeStopped) << "after the last song the player stops";
    EXPECT_EQ(p->session(), nullptr);
}

TEST_F(FrameTest, FastForwardNearTheEndIsAUsersNext)
{
    auto p = filePlayer(2);
    audioRecord().repeat = RepeatModeRepeatThisSong;
    p->command(cmd::Play);
    fake.positionMs = 52000;
    fake.calls.clear();
    p->command(cmd::FastForward);
    EXPECT_EQ(p->album().currentSong(), 2) << "within ten seconds of the end: the next song";

    fake.positionMs = 4000;
    fake.calls.clear();
    p->command(cmd::Rewind);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"A seek 0"}) << "never before the start";

    p->command(cmd::Pause);
    ASSERT_EQ(p->state(), kModePaused);
    fake.calls.clear();
    p->command(cmd::FastForward);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"A seek 14000 paused"})
        << "a paused song stays paused where it was moved to";
}

TEST_F(FrameTest, PreviousRestartsOnlyASongHeardForMoreThanFiveSeconds)
{
    auto p = filePlayer(3);
    p->sendMessage(UM_PLAY_SONG, 2, 0);
    const int cookie = p->cookie();
    fake.positionMs = 6000;
    p->tick();
    p->command(cmd::Previous);
    EXPECT_EQ(p->album().currentSong(), 2) << "at 6 s the song starts again";
    EXPECT_NE(p->cookie(), cookie) << "a new open, with a new cookie";

    fake.positionMs = 5000;
    p->tick();
    p->command(cmd::Previous);
    EXPECT_EQ(p->album().currentSong(), 1) << "at 5 s the song before it";

    // A paused song gives way to the one before it whatever its position.
    p->sendMessage(UM_PLAY_SONG, 3, 0);
    fake.positionMs = 30000;
    p->tick();
    p->command(cmd::Pause);
    p->command(cmd::Previous);
    EXPECT_EQ(p->album().currentSong(), 2);
}

TEST_F(FrameTest, ASongOnAnotherMediumIsTriedOnEachMountedOne)
{
    setenv("KOLVO_MOUNTS", "/media/u/DISC1:/media/u/DISC2:/media/u/DISC3", 1);
    auto p = filePlayer(0);
    p->album().AddSong("/media/u/DISC1/a.wav");
    // Both engines find nothing at the first two places; the third has the file.
    for (const char* family : {"A", "B"})
        for (const char* disc : {"DISC1", "DISC2"})
            fake.openResults[std::string(family) + " /media/u/" + disc + "/a.wav"] = kMciNotFound;
    p->command(cmd::Play);
    unsetenv("KOLVO_MOUNTS");
    EXPECT_EQ(p->state(), kModePlaying);
    EXPECT_EQ(p->playingPath(), "/media/u/DISC3/a.wav");
    EXPECT_EQ(p->album().GetSong(1)->title, "/media/u/DISC1/a.wav") << "the album keeps its path";
    EXPECT_EQ(fake.only(" open "), (std::vector<std::string>{
                                       "A open /media/u/DISC1/a.wav", "B open /media/u/DISC1/a.wav",
                                       "A open /media/u/DISC2/a.wav", "B open /media/u/DISC2/a.wav",
                                       "A open /media/u/DISC3/a.wav"}));
}

TEST_F(FrameTest, AFileNoEngineTakesSaysWhichTrackAndTriesNoOtherDrive)
{
    setenv("KOLVO_MOUNTS", "/media/u/DISC1:/media/u/DISC2", 1);
    auto p = filePlayer(0);
    p->album().AddSong("/media/u/DISC1/x.wav");
    p->album().AddSong("/media/u/DISC1/b song.wav");
    fake.openResults["A /media/u/DISC1/b song.wav"] = kMpegNotMpeg;
    fake.openResults["B /media/u/DISC1/b song.wav"] = kAmFailed; // damaged, not missing
    p->sendMessage(UM_PLAY_SONG, 2, 0);
    unsetenv("KOLVO_MOUNTS");
    EXPECT_EQ(p->state(), kModeStopped);
    EXPECT_EQ(p->messageText(), "Can't play Track 2, b song.wav File.");
    EXPECT_NE(p->infoText().find("Error : Can't play Track 2, b song.wav File."), std::string::npos)
        << p->infoText();
    EXPECT_EQ(fake.opens(), 2) << "a file that is there but damaged is not looked for elsewhere";
    EXPECT_EQ(p->session(), nullptr);
}

TEST_F(FrameTest, NotificationsCountOnlyForTheOpenSessionAndItsCookie)
{
    auto p = filePlayer(2);
    fake.openResults["A /music/s1.wav"] = kResultMpegLater;
    fake.openMode = kModeOpening;
    p->command(cmd::Play);
    ASSERT_EQ(p->state(), kModeOpening);
    EXPECT_EQ(p->infoText(), "Contacting Host...");
    EXPECT_EQ(p->album().GetSong(1)->lengthMs, 0) << "a later open knows no length yet";
    const int cookie = p->cookie();

    fake.lengthMs = 42000;
    p->notify(kNotifyMpeg, cookie - 1, kEventMode, kModePlaying);
    p->notify(kNotifyDirectShow, cookie, kEventMode, kModePlaying); // another family's
    EXPECT_EQ(p->state(), kModeOpening) << "an old cookie or another engine's message is ignored";
    p->notify(kNotifyMpeg, cookie, kEventMode, kModeStopped);
    EXPECT_EQ(p->state(), kModeOpening) << "the end notice is no ready notice";

    p->notify(kNotifyMpeg, cookie, kEventMode, kModePlaying);
    EXPECT_EQ(p->state(), kModePlaying);
    EXPECT_EQ(p->album().GetSong(1)->lengthMs, 42000);

    // A failure after the start: the song's line says so and the session is closed.
    p->notify(kNotifyMpeg, cookie, kEventFailed, kMpegFailed);
    EXPECT_EQ(p->state(), kModeStopped);
    EXPECT_EQ(p->messageText(), "Can't play Track 1, s1.wav File.");
    EXPECT_EQ(p->session(), nullptr);
}

TEST_F(FrameTest, TheTickFollowsTheEngineWhileOpeningAndAFailedStartFails)
{
    auto p = filePlayer(1);
    fake.openResults["A /music/s1.wav"] = kResultAmLater;
    fake.openMode = kModeOpening;
    p->command(cmd::Play);
    ASSERT_EQ(p->state(), kModeOpening);
    fake.mode = kModePlaying; // the sound started before its notice came
    p->tick();
    EXPECT_EQ(p->state(), kModePlaying);

    p->command(cmd::Stop);
    fake.readyResult = false;
    p->command(cmd::Play);
    p->notify(kNotifyMpeg, p->cookie(), kEventMode, kModeOpening);
    EXPECT_EQ(p->state(), kModeStopped) << "ready, then it would not start";
    EXPECT_EQ(p->messageText(), "Can't play Track 1, s1.wav File.");
}

TEST_F(FrameTest, StopFromAnyStateEndsStoppedAndAStoppedStopKeepsTheCursor)
{
    auto p = std::make_unique<FilePlayer>(host);
    p->album().AddSong("/music/a.wav");
    ASSERT_EQ(p->state(), kModeNotReady);
    p->command(cmd::Stop);
    EXPECT_EQ(p->state(), kModeStopped);

    p->album().AddSong("/music/b.wav");
    p->sendMessage(UM_PLAY_SONG, 2, 0);
    p->command(cmd::Stop);
    ASSERT_EQ(p->album().currentSong(), 2);
    // The Stop another player sends before it plays leaves a stopped player's cursor alone.
    EXPECT_EQ(p->sendMessage(UM_COMMAND, ComponentAudio, kStopFromOtherPlayer), 1);
    EXPECT_EQ(p->album().currentSong(), 2);
    // The user's Stop on a stopped player starts the album over.
    p->command(cmd::Stop);
    EXPECT_EQ(p->album().currentSong(), 0);
}

TEST_F(FrameTest, ACdLikePlayerPlaysNumberedTracksWithoutPaths)
{
    TrackPlayer p(host);
    p.tick();
    p.sendMessage(UM_PLAY_SONG, 3, 0);
    EXPECT_EQ(p.state(), kModePlaying);
    EXPECT_EQ(fake.calls.front(), "CD open track 3");
    EXPECT_TRUE(p.playingPath().empty());
    ComponentStatus status;
    p.sendMessage(UM_GET_STATUS, ComponentCd, reinterpret_cast<LPARAM>(&status));
    EXPECT_EQ(status.playingName, "Track 3");
    EXPECT_EQ(status.currentSong, 3);

    fake.mode = kModeStopped;
    p.tick();
    EXPECT_EQ(p.album().currentSong(), 4) << "the frame's end-of-song logic serves it too";

    fake.openResults["CD track 1"] = kMciNotFound;
    p.sendMessage(UM_PLAY_SONG, 1, 0);
    EXPECT_EQ(p.messageText(), "Can't play Track 1, Track 1 File.");
}

TEST_F(FrameTest, APlayerStartsOnlyForTheStartModesItOwns)
{
    // The Video CD start mode is 2, the CD Player's index: it must not start the CD Player.
    host.startMode() = StartModeVideoCd;
    TrackPlayer cd(host);
    cd.tick();
    EXPECT_EQ(cd.state(), kModeStopped);
    EXPECT_EQ(host.startMode(), StartModeVideoCd) << "left for the player that owns it";

    host.startMode() = StartModeAudioCd;
    TrackPlayer cd2(host);
    cd2.tick();
    EXPECT_EQ(cd2.state(), kModePlaying);
    EXPECT_EQ(cd2.album().currentSong(), 1);
    EXPECT_EQ(host.startMode(), StartModeNone) << "carried out once";
}

TEST_F(FrameTest, RecordingPassesThroughTheFrame)
{
    TrackPlayer p(host);
    p.tick();
    p.startRecording("/home/u/take.wav");
    EXPECT_EQ(p.state(), kModeRecording);
    EXPECT_EQ(p.infoText(), "Recording to take.wav.        ");

    p.command(cmd::Next);
    p.command(cmd::Previous);
    EXPECT_EQ(fake.opens(), 0) << "no track changes while recording";

    p.command(cmd::Pause);
    EXPECT_EQ(p.state(), kModePaused);
    p.command(cmd::Play);
    EXPECT_EQ(p.state(), kModePaused) << "Play/Pause does not resume a paused recording";
    p.command(cmd::Next);
    EXPECT_EQ(fake.opens(), 0) << "nor while the recording is paused";
    p.command(cmd::Pause);
    EXPECT_EQ(p.state(), kModeRecording);

    p.command(cmd::Stop);
    EXPECT_EQ(p.state(), kModeStopped);
    EXPECT_EQ(p.recorderCalls, (std::vector<std::string>{"pause", "resume", "end by user"}));
    p.command(cmd::Pause);
    EXPECT_EQ(p.state(), kModeStopped) << "the paused flag went with the recording";
}

TEST(CdDisc, TheAlbumKeyAndTheTimingFollowTheDesignedArithmetic)
{
    // Blanks, a sign, digits to the first other; wrapped modulo 2^32.
    std::vector<std::string> keys;
    for (const char* id : {"12345678", "  +42 tracks", "4294967297", "-1", ""})
        keys.push_back(CdAlbumKey(id));
    EXPECT_EQ(keys, (std::vector<std::string>{"bc614e", "2a", "1", "ffffffff", "0"}));

    const CdTiming two = CdTimingOf({2000, 185000}, 300000);
    EXPECT_EQ(two.startFrames, (std::vector<std::int32_t>{150, 13875}));
    EXPECT_EQ(two.leadOutFrame, 22651);
    EXPECT_EQ(two.discLengthMs, 302000);
    EXPECT_EQ(two.lengthsMs, (std::vector<std::int32_t>{183000, 117000}));

    const CdTiming one = CdTimingOf({2000}, 61000);
    EXPECT_EQ(one.lengthsMs, (std::vector<std::int32_t>{one.discLengthMs}));
    EXPECT_EQ(one.leadOutFrame, 150 + 4575 + 1);
}

// The keys reach the same commands as the buttons; a key with Ctrl held is left to others.
TEST_F(FrameTest, KeysDriveThePlayerLikeItsButtons)
{
    auto p = filePlayer(3);
    // Near the start (1 s), Previous goes to the song before.
    fake.positionMs = 1000;
    std::vector<int> songs;
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Up}) {
        QTest::keyClick(p.get(), key);
        songs.push_back(p->album().currentSong());
    }
    EXPECT_EQ(songs, (std::vector<int>{1, 2, 3, 2}));
    EXPECT_EQ(p->state(), kModePlaying);

    fake.positionMs = 20000;
    fake.calls.clear();
    QTest::keyClick(p.get(), Qt::Key_Right);
    QTest::keyClick(p.get(), Qt::Key_Left);
    const std::vector<std::string> seeks = fake.only(" seek ");
    ASSERT_EQ(seeks.size(), 2u) << "Right and Left each seek once";
    EXPECT_NE(seeks[0], seeks[1]) << "forward and back land apart";

    QTest::keyClick(p.get(), Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(p->state(), kModePlaying) << "Ctrl+Space is not Play/Pause";
    QTest::keyClick(p.get(), Qt::Key_Space);
    EXPECT_EQ(p->state(), kModePaused);
    EXPECT_FALSE(p->HandleKey(Qt::Key_A));
}
