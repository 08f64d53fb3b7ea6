// Record in the Digital Audio Player, in the real main window: the recording options, the
// recording states, pause and resume, the level meters, the file added to the album, and the
// CD's tracks recorded while the CD Player plays a generated disc image; all recorded from the
// private PulseAudio's monitor while a tone plays.
#include "cd/cdtest.h"
#include "recordtest.h"
#include "support/testhome.h"

#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "platform/strings.h"
#include "players/audioplayer.h"
#include "players/cdplayer.h"
#include "players/levelmeters.h"
#include "record/soundcardrecording.h"

#include <gmock/gmock.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace record;
using namespace recordtest;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {

bool pumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void pumpFor(int ms)
{
    pumpUntil([] { return false; }, ms);
}

// While it lives, answers the recording options whenever they are up (they are modal: their
// own event loop runs the timer); `tick` runs on every turn.
class SheetAnswer
{
public:
    explicit SheetAnswer(std::function<void(CRecordPropertySheet&)> answer,
                         std::function<void()> tick = {})
    {
        QObject::connect(&m_timer, &QTimer::timeout, [answer, tick] {
            if (tick)
                tick();
            CRecordPropertySheet* sheet = SoundCardRecording::openSheet();
            if (sheet && sheet->isVisible())
                answer(*sheet);
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

// The application whose main window is the test's, so that the players reach each other.
class WindowedApp : public PlayerApp
{
public:
    HWND controller() const override { return window ? window->handle() : 0; }
    MainController* window = nullptr;
};

// The main window recording from the private PulseAudio's monitor: the Digital Audio Player
// alone, or every player with the CD Player on a disc image.
class PlayerRecordingTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        const char* sink = std::getenv("KOLVO_TEST_SINK");
        ASSERT_TRUE(sink);
        ::setenv("KOLVO_CAPTURE_SOURCE",
                 (std::string("pulsesrc device=") + sink + ".monitor").c_str(), 1);
        if (!cdDrive())
            start("");
    }
    void TearDown() override
    {
        if (tonePlayer.joinable())
            tonePlayer.join();
        if (app)
            app->window = nullptr;
        window.reset();
        app.reset();
        ::unsetenv("KOLVO_CAPTURE_SOURCE");
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }
    virtual bool cdDrive() const { return false; }
    void start(const std::string& drive)
    {
        if (!drive.empty())
            writeFile("config/Quorvane System, Inc./Kolvo.conf",
                      "[CD]\nEnable=1\nDrive=" + drive + "\nAutoRun=0\nCDDBConnect=0\n");
        app = std::make_unique<WindowedApp>();
        app->LoadSettings();
        if (drive.empty()) {
            window = std::make_unique<MainController>(
                *app, [](int index, PlayerHost& host, QWidget* parent) -> ComponentWnd* {
                    return index == ComponentAudio ? new AudioPlayer(host, parent) : nullptr;
                });
        } else {
            app->settings().cdDrive = drive;
            window = std::make_unique<MainController>(*app);
            cd = static_cast<CdPlayer*>(window->component(ComponentCd));
            ASSERT_NE(cd, nullptr);
            ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModeStopped; }, 5000));
        }
        app->window = window.get();
        player = static_cast<AudioPlayer*>(window->component(ComponentAudio));
        ASSERT_NE(player, nullptr);
        pumpUntil([this] { return player->state() == kModeStopped; }, 2000);
    }
    void command(int id, int component = ComponentAudio)
    {
        window->sendMessage(UM_COMMAND, component, id);
    }
    // A tone played into the test sink, given a moment to reach the monitor.
    void playTone(double hz, double seconds)
    {
        tonePlayer = playIntoTestSink(homePath("tone.wav"), tone(hz, seconds, 44100, 2));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::string currentTitle() const
    {
        return player->album().GetSong(player->album().currentSong())->title;
    }
    std::vector<std::string> songTitles() const
    {
        std::vector<std::string> titles;
        for (const SongEntry& song : player->album().songs())
            titles.push_back(song.title);
        return titles;
    }

    std::unique_ptr<WindowedApp> app;
    std::unique_ptr<MainController> window;
    AudioPlayer* player = nullptr;
    CdPlayer* cd = nullptr;
    std::thread tonePlayer;
};

class CdRecordingTest : public PlayerRecordingTest
{
protected:
    bool cdDrive() const override { return true; }
    // Record with the options answered: the CD's tracks through the sound card, as type
    // (0 WAVE, 1 MP3, 2 RealAudio), the file name being one the CD's titles replace.
    void recordCdThroughTheSoundCard(const char* file, int type)
    {
        SheetAnswer answer([&](CRecordPropertySheet& sheet) {
            sheet.pathEdit()->setText(QString::fromStdString(homePath(file)));
            sheet.typeList()->setCurrentIndex(type);
            sheet.recordCdBox()->setChecked(true);
            sheet.accept();
        });
        command(cmd::Record);
    }
};

// The length and rough frequency of the sound in a file's left channel (sox's estimate is
// for one channel), silence at both ends cut off.
SoxStat soundOf(const std::string& path)
{
    return soxStat(path, "remix 1 silence 1 0.02 2% reverse silence 1 0.02 2% reverse");
}

} // namespace

TEST_F(PlayerRecordingTest, RecordPauseResumeStop)
{
    playTone(550, 12);
    const std::string take = homePath("take.wav");
    int sheets = 0;
    auto answer = std::make_unique<SheetAnswer>([&](CRecordPropertySheet& sheet) {
        ++sheets;
        EXPECT_NE(sheet.pathEdit()->text().indexOf("KLV-"), -1) << "the proposed name";
        EXPECT_EQ(sheet.rateList()->currentData().toInt(), 44100);
        sheet.pathEdit()->setText(QString::fromStdString(take));
        sheet.channelList()->setCurrentIndex(0); // mono
        sheet.accept();
    });
    command(cmd::Record);
    ASSERT_EQ(sheets, 1);
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_THAT(player->infoText(), HasSubstr("Recording to take.wav."));
    ASSERT_GE(player->album().songCount(), 1);
    EXPECT_EQ(currentTitle(), take);
    EXPECT_EQ(app->appSettings.recordDir, home());

    // The waits follow the recorded seconds the display counts, not the clock: on a busy
    // machine the monitor starts late, and a take paused by the clock once held only 1.5 s.
    ASSERT_TRUE(pumpUntil([this] { return player->positionSeconds() >= 2; }, 10000));
    command(cmd::Pause);
    EXPECT_EQ(player->state(), kModePaused);
    // Capture going on would add two seconds; one is the display lagging a tick behind.
    const int atPause = player->positionSeconds();
    pumpFor(2600);
    EXPECT_LE(player->positionSeconds(), atPause + 1) << "a paused recording captures nothing";
    command(cmd::Record); // resumes at once, without the options
    EXPECT_EQ(player->state(), kModeRecording);
    EXPECT_EQ(sheets, 1);
    ASSERT_TRUE(pumpUntil([&] { return player->positionSeconds() >= atPause + 1; }, 10000));
    command(cmd::Stop);
    EXPECT_EQ(player->state(), kModeStopped);
    answer.reset();

    EXPECT_THAT(run("soxi " + quoted(take)).output, HasSubstr("Channels       : 1"));
    const SoxStat stat = soxStat(take, "");
    EXPECT_NEAR(stat.hz, 550, 20) << stat.text;
    EXPECT_GT(stat.seconds, 1.5) << stat.text;
    EXPECT_LT(stat.seconds, 4.5) << "the paused time is not recorded";

    // Cancel in the options records nothing.
    answer = std::make_unique<SheetAnswer>([](CRecordPropertySheet& sheet) { sheet.reject(); });
    command(cmd::Record);
    EXPECT_EQ(player->state(), kModeStopped);
}

// The RealAudio type: the options take a ".ra" name without asking about it, and the file
// recorded is RealAudio 1.0 (8 kHz mono 14.4) holding the tone, titled by its name.
TEST_F(PlayerRecordingTest, RecordsRealAudio)
{
    playTone(770, 8);
    const std::string take = homePath("voice.ra");
    {
        SheetAnswer answer([&](CRecordPropertySheet& sheet) {
            EXPECT_EQ(sheet.typeList()->count(), 3);
            EXPECT_FALSE(sheet.clipTitleEdit()->isEnabled()) << "texts of RealAudio files only";
            sheet.typeList()->setCurrentIndex(2);
            EXPECT_TRUE(sheet.clipTitleEdit()->isEnabled());
            sheet.clipAuthorEdit()->setText("Somebody");
            sheet.clipCopyrightEdit()->setText("(c) 2026 Somebody");
            sheet.pathEdit()->setText(QString::fromStdString(take));
            sheet.accept();
        });
        command(cmd::Record);
    }
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_EQ(app->appSettings.recordType, 2);
    EXPECT_EQ(currentTitle(), take);
    pumpFor(4500);
    command(cmd::Stop);
    EXPECT_EQ(player->state(), kModeStopped);

    // No title given: the file's name.
    const Probe p = probe(take);
    EXPECT_EQ(p.summary(), "ra_144 8000 Hz 1 ch \"voice\" by \"Somebody\"");
    // The capture starts late and the buffers in flight at Stop are dropped: some of the time.
    EXPECT_GT(p.seconds, 1.5);
    EXPECT_LT(p.seconds, 5.0);
    // The last second: the tone had reached the monitor by then.
    EXPECT_NEAR(decodedTone(take, homePath("d.wav"), -9000, -1000), 770, 6);
}

namespace {

int median(std::vector<int> values)
{
    if (values.empty())
        return -1;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace

// The meters follow the captured sound buffer by buffer: loud in the left channel only, then
// quiet in both; the time display counts the recorded seconds; pause and stop empty them.
TEST_F(PlayerRecordingTest, LevelMetersAndElapsedTime)
{
    const LevelMeters* meters = player->levelMeters();
    ASSERT_NE(meters, nullptr);
    EXPECT_FALSE(meters->isVisible()) << "no meters before recording";
    {
        SheetAnswer answer([&](CRecordPropertySheet& sheet) {
            sheet.pathEdit()->setText(QString::fromStdString(homePath("meters.wav")));
            sheet.channelList()->setCurrentIndex(1); // stereo
            sheet.accept();
        });
        command(cmd::Record);
    }
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_TRUE(meters->isVisibleTo(player));

    std::vector<std::uint8_t> pcm = tone(440, 3, 44100, 2, 0.8, 0.0);
    const std::vector<std::uint8_t> quiet = tone(440, 3, 44100, 2, 0.05);
    pcm.insert(pcm.end(), quiet.begin(), quiet.end());
    tonePlayer = playIntoTestSink(homePath("tones.wav"), pcm);

    // The meters and the time display as the player shows them, every 20 ms, against the time
    // since the tone began to arrive (the private sound server is slow to start a monitor).
    struct Sample
    {
        qint64 ms;
        int left, right, seconds;
    };
    std::vector<Sample> samples;
    QElapsedTimer clock;
    clock.start();
    qint64 onset = -1;
    pumpUntil(
        [&] {
            const qint64 now = clock.elapsed();
            if (!samples.empty() && now - samples.back().ms < 20)
                return false;
            const auto [left, right] = meters->levels();
            samples.push_back({now, left, right, player->positionSeconds()});
            if (onset < 0 && left > 8000)
                onset = now;
            return onset >= 0 && now > onset + 5600;
        },
        15000);
    ASSERT_GE(onset, 0) << "the loud tone never reached the meters";
    const auto medianIn = [&](qint64 from, qint64 to, int Sample::*channel) {
        std::vector<int> values;
        for (const Sample& s : samples)
            if (s.ms >= onset + from && s.ms < onset + to)
                values.push_back(s.*channel);
        return median(values);
    };
    const int loudLeft = medianIn(300, 2600, &Sample::left);
    const int quietLeft = medianIn(3500, 5600, &Sample::left);
    const int quietRight = medianIn(3500, 5600, &Sample::right);
    EXPECT_GT(loudLeft, 32768 * 0.5) << "a tone at 0.8 of full scale";
    EXPECT_LT(medianIn(300, 2600, &Sample::right), loudLeft / 20) << "nothing on the right";
    for (int quietLevel : {quietLeft, quietRight}) {
        EXPECT_GT(quietLevel, 32768 * 0.02);
        EXPECT_LT(quietLevel, 32768 * 0.1);
    }
    EXPECT_GT(LevelMeters::barFraction(loudLeft), LevelMeters::barFraction(quietLeft) + 0.2)
        << "the bars tell loud from quiet";
    // The time display counts the recorded seconds: about three more after three seconds.
    const auto displayAt = [&](qint64 ms) {
        for (const Sample& s : samples)
            if (s.ms >= ms)
                return s.seconds;
        return -1;
    };
    const int gained = displayAt(onset + 5000) - displayAt(onset + 2000);
    EXPECT_GE(gained, 2) << "the time display counts the recorded seconds";
    EXPECT_LE(gained, 4);

    command(cmd::Pause);
    EXPECT_EQ(meters->levels(), std::make_pair(0, 0));
    pumpFor(500);
    EXPECT_EQ(meters->levels(), std::make_pair(0, 0)) << "nothing moves while paused";
    command(cmd::Stop);
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_FALSE(meters->isVisible());
    EXPECT_EQ(meters->levels(), std::make_pair(0, 0));
}

// Record with "through the sound card" and two of three tracks chosen: the CD Player plays
// each alone while its own file records, named from the disc's titles in the album's folder;
// the recording stops after the last one.
TEST_F(CdRecordingTest, TheChosenTracksAreRecordedWhileTheCdPlayerPlaysThem)
{
    start(cdtest::disc("titled", "--title Dawnlight --performer Somebody --track-title "
                                 "2:Second --track-title 3:Third 1.5 3 2"));
    ASSERT_EQ(cd->album().title(), "Dawnlight");
    int sheets = 0;
    {
        SheetAnswer answer([&](CRecordPropertySheet& sheet) {
            ++sheets;
            EXPECT_TRUE(sheet.recordCdBox()->isEnabled()) << "a disc is in the CD Player";
            sheet.pathEdit()->setText(QString::fromStdString(homePath("ignored.wav")));
            sheet.typeList()->setCurrentIndex(0);
            sheet.recordCdBox()->setChecked(true);
            EXPECT_FALSE(sheet.copyCdBox()->isChecked()) << "one way of recording the CD";
            if (sheet.trackList()->count() != 3) {
                ADD_FAILURE() << "the disc's tracks are offered";
                sheet.reject();
                return;
            }
            sheet.trackList()->item(0)->setCheckState(Qt::Unchecked);
            sheet.accept();
        });
        command(cmd::Record);
    }
    ASSERT_EQ(sheets, 1);
    ASSERT_EQ(player->state(), kModeRecording);

    const std::string folder = homePath("Somebody-Dawnlight");
    const std::string second = folder + "/Somebody-Dawnlight-02-Second.wav";
    const std::string third = folder + "/Somebody-Dawnlight-03-Third.wav";
    EXPECT_THAT(player->infoText(), HasSubstr("Recording to Somebody-Dawnlight-02-Second.wav."));
    EXPECT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000))
        << "the CD Player plays the track";
    EXPECT_TRUE(pumpUntil(
        [&] { return player->infoText().find("03-Third.wav.") != std::string::npos; }, 8000))
        << "the next chosen track follows: " << player->infoText();
    EXPECT_EQ(player->state(), kModeRecording);
    EXPECT_TRUE(pumpUntil([this] { return player->state() == kModeStopped; }, 8000))
        << "the recording stops after the last chosen track";
    EXPECT_EQ(cd->state(), kModeStopped);
    EXPECT_EQ(app->appSettings.recordCdRecord, 1);
    EXPECT_EQ(app->appSettings.recordCdRecordingMethod, 0);

    // Each file holds its track: the tool's tone for track n is 220 x (n + 1) Hz.
    EXPECT_NEAR(soundOf(second).seconds, 3.0, 0.3) << second;
    EXPECT_NEAR(soundOf(second).hz, 660, 25);
    EXPECT_NEAR(soundOf(third).seconds, 2.0, 0.3) << third;
    EXPECT_NEAR(soundOf(third).hz, 880, 25);
    EXPECT_FALSE(fs::exists(homePath("ignored.wav")));
    EXPECT_FALSE(fs::exists(folder + "/Somebody-Dawnlight-01-Track.wav"));
    EXPECT_THAT(songTitles(), Contains(second));
    EXPECT_THAT(songTitles(), Contains(third));
}

// Stop by hand during a CD track stops the CD Player too; the file keeps what was recorded and
// no further track is recorded.
TEST_F(CdRecordingTest, StopByHandStopsTheCdPlayerAndTheTracksLeft)
{
    start(cdtest::disc("stopped", "--title Dawnlight --performer Somebody 4 2"));
    recordCdThroughTheSoundCard("ignored.wav", 0);
    ASSERT_EQ(player->state(), kModeRecording);
    ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000));
    pumpFor(2500);
    command(cmd::Stop);
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_TRUE(pumpUntil([this] { return cd->state() == kModeStopped; }, 2000))
        << "the CD Player stops with the recording";
    pumpFor(1500);
    EXPECT_EQ(player->state(), kModeStopped) << "no next track";
    const std::string folder = homePath("Somebody-Dawnlight");
    EXPECT_FALSE(fs::exists(folder + "/02-Track.wav"));
    const SoxStat first = soundOf(folder + "/01-Track.wav");
    // The monitor hears the disc a moment late, more so on a busy machine: some sound, not all.
    EXPECT_GT(first.seconds, 0.25);
    EXPECT_LT(first.seconds, 3.7) << "stopped before the track's end";
    EXPECT_NEAR(first.hz, 440, 25);
}

// The MPEG type through the sound card: each track is recorded as a WAVE file of CD sound and,
// when the CD Player has played it, encoded to MP3 in the encoding window, whose file takes
// the WAVE file's place in the album and on disk.
TEST_F(CdRecordingTest, TheMpegTypeMakesAnMp3OfEachTrack)
{
    start(cdtest::disc("mpeg", "--title Dawnlight --performer Somebody 2 1.5"));
    app->appSettings.recordMpegBitRate = 160;
    bool encodingSeen = false;
    {
        SheetAnswer answer(
            [&](CRecordPropertySheet& sheet) {
                sheet.pathEdit()->setText(QString::fromStdString(homePath("ignored.mp3")));
                sheet.typeList()->setCurrentIndex(1);
                sheet.rateList()->setCurrentIndex(0); // 8000 Hz: the MP3 is of CD sound anyway
                sheet.recordCdBox()->setChecked(true);
                sheet.accept();
            },
            [&] { encodingSeen = encodingSeen || SoundCardRecording::openEncodingWindow(); });
        command(cmd::Record);
        ASSERT_EQ(player->state(), kModeRecording);
        EXPECT_THAT(player->infoText(), HasSubstr("Recording to 01-Track.wav."));
        EXPECT_TRUE(pumpUntil([this] { return player->state() == kModeStopped; }, 20000))
            << "the recording stops after the last track";
    }
    EXPECT_TRUE(encodingSeen) << "the MP3s are made in the encoding window";

    const std::string folder = homePath("Somebody-Dawnlight");
    struct Expected
    {
        const char* name;
        double seconds;
        double hz;
    };
    for (const Expected& e : {Expected{"01-Track", 2.0, 440}, Expected{"02-Track", 1.5, 660}}) {
        SCOPED_TRACE(e.name);
        const std::string mp3 = folder + "/" + e.name + ".MP3";
        EXPECT_FALSE(fs::exists(folder + "/" + e.name + ".wav"));
        EXPECT_THAT(songTitles(), Contains(mp3)) << "the MP3 takes the WAVE file's place";
        EXPECT_THAT(songTitles(), Not(Contains(folder + "/" + e.name + ".wav")));
        const std::string wav = homePath(std::string(e.name) + "-decoded.wav");
        ASSERT_EQ(run("mpg123 -q -w " + quoted(wav) + " " + quoted(mp3)).status, 0);
        EXPECT_THAT(run("soxi " + quoted(wav)).output, HasSubstr("Sample Rate    : 44100"));
        const SoxStat sound = soundOf(wav);
        EXPECT_NEAR(sound.seconds, e.seconds, 0.3);
        EXPECT_NEAR(sound.hz, e.hz, 25);
    }
    EXPECT_FALSE(fs::exists(homePath("ignored.mp3")));
    EXPECT_FALSE(fs::exists(homePath("ignored.wav")));
}

// The RealAudio type through the sound card: a RealAudio file for the track, which holds it.
TEST_F(CdRecordingTest, TheRealAudioTypeRecordsEachTrackAsRealAudio)
{
    start(cdtest::disc("realaudio", "--title Dawnlight --performer Somebody 2.5"));
    recordCdThroughTheSoundCard("ignored.ra", 2);
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_TRUE(pumpUntil([this] { return player->state() == kModeStopped; }, 10000));
    const std::string ra = homePath("Somebody-Dawnlight/01-Track.ra");
    EXPECT_EQ(currentTitle(), ra);
    const Probe p = probe(ra);
    EXPECT_EQ(p.codec, "ra_144");
    EXPECT_NEAR(p.seconds, 2.5, 0.6) << "the track, as the monitor heard it";
    EXPECT_NEAR(decodedTone(ra, homePath("d.wav"), 4000, 12000), 440, 6);
}

// The MPEG type stopped by hand in the middle of a track: no MP3 is made of the part recorded,
// whose WAVE file leaves the disk and the album.
TEST_F(CdRecordingTest, TheMpegTypeStoppedByHandDropsTheTrack)
{
    start(cdtest::disc("mpegstop", "--title Dawnlight --performer Somebody 5"));
    recordCdThroughTheSoundCard("ignored.mp3", 1);
    ASSERT_EQ(player->state(), kModeRecording);
    const std::string wav = homePath("Somebody-Dawnlight/01-Track.wav");
    EXPECT_EQ(currentTitle(), wav);
    ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000));
    pumpFor(1500);
    command(cmd::Stop);
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_FALSE(fs::exists(wav));
    EXPECT_FALSE(fs::exists(homePath("Somebody-Dawnlight/01-Track.MP3")));
    EXPECT_THAT(songTitles(), Not(Contains(wav)));
}

// Recording stops the CD Player that plays, once the options are accepted (not while they are
// up), as every other player is told to.
TEST_F(CdRecordingTest, RecordingStopsThePlayingCdPlayer)
{
    start(cdtest::disc("playing", "8"));
    command(cmd::Play, ComponentCd);
    ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000));
    int cdStateWhileAsked = 0;
    {
        SheetAnswer answer([&](CRecordPropertySheet& sheet) {
            cdStateWhileAsked = cd->state();
            sheet.pathEdit()->setText(QString::fromStdString(homePath("free.wav")));
            sheet.typeList()->setCurrentIndex(0);
            sheet.recordCdBox()->setChecked(false);
            sheet.copyCdBox()->setChecked(false);
            sheet.accept();
        });
        command(cmd::Record);
    }
    EXPECT_EQ(cdStateWhileAsked, kModePlaying) << "nothing stops while the options are up";
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_EQ(cd->state(), kModeStopped) << "the CD Player was told to stop";
    command(cmd::Stop);
    EXPECT_EQ(player->state(), kModeStopped);
}
