// Record in the Digital Audio Player, in the real main window: the recording options, the
// recording states, pause and resume, and the file added to the album, recorded from the
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

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace record;
using namespace recordtest;

namespace {

bool pumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

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
        app = std::make_unique<PlayerApp>();
        app->LoadSettings();
        window = std::make_unique<MainController>(
            *app, [](int index, PlayerHost& host, QWidget* parent) -> ComponentWnd* {
                return index == ComponentAudio ? new AudioPlayer(host, parent) : nullptr;
            });
        player = static_cast<AudioPlayer*>(window->component(ComponentAudio));
        ASSERT_NE(player, nullptr);
        pumpUntil([this] { return player->state() == kModeStopped; }, 2000);
    }
    void TearDown() override
    {
        if (tonePlayer.joinable())
            tonePlayer.join();
        window.reset();
        app.reset();
        ::unsetenv("KOLVO_CAPTURE_SOURCE");
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }
    void command(int id) { window->sendMessage(UM_COMMAND, ComponentAudio, id); }

    std::unique_ptr<PlayerApp> app;
    std::unique_ptr<MainController> window;
    AudioPlayer* player = nullptr;
    std::thread tonePlayer;
};

} // namespace

TEST_F(PlayerRecordingTest, RecordPauseResumeStop)
{
    const std::string tone = homePath("tone.wav");
    writeBytes(tone, waveBytes(MakePcmFormat(44100, 16, 2), recordtest::tone(550, 12, 44100, 2)));
    tonePlayer = std::thread([tone] { run("paplay -d \"$KOLVO_TEST_SINK\" " + quoted(tone)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const std::string take = homePath("take.wav");
    int sheets = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        CRecordPropertySheet* sheet = SoundCardRecording::openSheet();
        if (!sheet || !sheet->isVisible())
            return;
        ++sheets;
        EXPECT_NE(sheet->pathEdit()->text().indexOf("KLV-"), -1) << "the proposed name";
        EXPECT_EQ(sheet->rateList()->currentData().toInt(), 44100);
        sheet->pathEdit()->setText(QString::fromStdString(take));
        sheet->channelList()->setCurrentIndex(0); // mono
        if (const char* folder = std::getenv("KOLVO_RECORD_SHOTS"))
            sheet->grab().save(QString::fromUtf8(folder) + "/recording-sheet.png");
        sheet->accept();
    });
    answer.start(10);
    command(5122);
    ASSERT_EQ(sheets, 1);
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_NE(player->infoText().find("Recording to take.wav."), std::string::npos)
        << player->infoText();
    ASSERT_GE(player->album().songCount(), 1);
    EXPECT_EQ(player->album().GetSong(player->album().currentSong())->title, take);
    EXPECT_EQ(app->appSettings.recordDir, home());

    pumpUntil([] { return false; }, 2500);
    command(5103); // Pause
    EXPECT_EQ(player->state(), kModePaused);
    pumpUntil([] { return false; }, 800);
    command(5122); // Record resumes at once, without the options
    EXPECT_EQ(player->state(), kModeRecording);
    EXPECT_EQ(sheets, 1);
    pumpUntil([] { return false; }, 1500);
    command(5102); // Stop
    EXPECT_EQ(player->state(), kModeStopped);
    answer.stop();

    const RunResult stat = run("sox " + quoted(take) + " -n stat", true);
    ASSERT_EQ(stat.status, 0) << stat.output;
    const RunResult info = run("soxi " + quoted(take));
    EXPECT_NE(info.output.find("Channels       : 1"), std::string::npos) << info.output;
    const auto value = [&](const std::string& key) {
        const size_t at = stat.output.find(key);
        return at == std::string::npos
                   ? -1.0
                   : std::stod(stat.output.substr(stat.output.find(':', at) + 1));
    };
    EXPECT_NEAR(value("Rough   frequency"), 550, 20) << stat.output;
    EXPECT_GT(value("Length (seconds)"), 1.5);
    EXPECT_LT(value("Length (seconds)"), 4.5) << "the paused time is not recorded";

    // Cancel in the options records nothing.
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (CRecordPropertySheet* sheet = SoundCardRecording::openSheet())
            sheet->reject();
    });
    cancel.start(10);
    command(5122);
    EXPECT_EQ(player->state(), kModeStopped);
}

// The RealAudio type: the options take a ".ra" name without asking about it, and the file
// recorded is RealAudio 1.0 (8 kHz mono 14.4) holding the tone, titled by its name.
TEST_F(PlayerRecordingTest, RecordsRealAudio)
{
    const std::string tone = homePath("tone.wav");
    writeBytes(tone, waveBytes(MakePcmFormat(44100, 16, 2), recordtest::tone(770, 8, 44100, 2)));
    tonePlayer = std::thread([tone] { run("paplay -d \"$KOLVO_TEST_SINK\" " + quoted(tone)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const std::string take = homePath("voice.ra");
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        CRecordPropertySheet* sheet = SoundCardRecording::openSheet();
        if (!sheet || !sheet->isVisible())
            return;
        EXPECT_EQ(sheet->typeList()->count(), 3);
        EXPECT_FALSE(sheet->clipTitleEdit()->isEnabled()) << "texts of RealAudio files only";
        sheet->typeList()->setCurrentIndex(2);
        EXPECT_TRUE(sheet->clipTitleEdit()->isEnabled());
        sheet->clipAuthorEdit()->setText("Somebody");
        sheet->clipCopyrightEdit()->setText("(c) 2026 Somebody");
        sheet->pathEdit()->setText(QString::fromStdString(take));
        sheet->accept();
    });
    answer.start(10);
    command(5122);
    answer.stop();
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_EQ(app->appSettings.recordType, 2);
    EXPECT_EQ(player->album().GetSong(player->album().currentSong())->title, take);
    pumpUntil([] { return false; }, 4500);
    command(5102); // Stop
    EXPECT_EQ(player->state(), kModeStopped);

    const Probe p = probe(take);
    EXPECT_EQ(p.codec, "ra_144");
    EXPECT_EQ(p.rate, 8000);
    EXPECT_EQ(p.channels, 1);
    // The capture starts late and the buffers in flight at Stop are dropped: some of the time.
    EXPECT_GT(p.seconds, 1.5);
    EXPECT_LT(p.seconds, 5.0);
    EXPECT_EQ(p.title, "voice") << "no title given: the file's name";
    EXPECT_EQ(p.author, "Somebody");
    std::uint32_t rate = 0;
    const std::vector<std::int16_t> samples = decoded(take, homePath("d.wav"), rate);
    ASSERT_GT(samples.size(), 9000u);
    // The last second: the tone had reached the monitor by then.
    EXPECT_NEAR(strongestHz({samples.end() - 9000, samples.end() - 1000}, rate, 100, 3000), 770, 6);
}

namespace {

// Stereo 16-bit PCM: a tone of that amplitude in the left channel and another in the right.
std::vector<std::uint8_t> stereoTone(double hz, double seconds, double left, double right)
{
    const int frames = static_cast<int>(44100 * seconds);
    std::vector<std::uint8_t> pcm;
    pcm.reserve(static_cast<size_t>(frames) * 4);
    for (int i = 0; i < frames; ++i) {
        const double s = std::sin(2 * M_PI * hz * i / 44100.0);
        for (double amplitude : {left, right}) {
            const auto v = static_cast<std::int16_t>(std::lround(s * amplitude * 32767));
            pcm.push_back(static_cast<std::uint8_t>(v & 0xff));
            pcm.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
        }
    }
    return pcm;
}

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

    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        CRecordPropertySheet* sheet = SoundCardRecording::openSheet();
        if (!sheet || !sheet->isVisible())
            return;
        sheet->pathEdit()->setText(QString::fromStdString(homePath("meters.wav")));
        sheet->channelList()->setCurrentIndex(1); // stereo
        sheet->accept();
    });
    answer.start(10);
    command(5122);
    answer.stop();
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_TRUE(meters->isVisibleTo(player));

    const std::string tone = homePath("tones.wav");
    std::vector<std::uint8_t> pcm = stereoTone(440, 3, 0.8, 0.0);
    const std::vector<std::uint8_t> quiet = stereoTone(440, 3, 0.05, 0.05);
    pcm.insert(pcm.end(), quiet.begin(), quiet.end());
    writeBytes(tone, waveBytes(MakePcmFormat(44100, 16, 2), pcm));
    tonePlayer = std::thread([tone] { run("paplay -d \"$KOLVO_TEST_SINK\" " + quoted(tone)); });

    // The meters as the player shows them, every 20 ms, against the time since the tone began
    // to arrive (the private sound server takes its time to start a monitor).
    struct Sample
    {
        qint64 ms;
        int left;
        int right;
    };
    std::vector<Sample> samples;
    QElapsedTimer clock;
    clock.start();
    qint64 onset = -1;
    std::vector<std::pair<qint64, int>> seconds; // the time display against the clock
    bool shot = false;
    pumpUntil(
        [&] {
            const qint64 now = clock.elapsed();
            if (!samples.empty() && now - samples.back().ms < 20)
                return false;
            const auto [left, right] = meters->levels();
            samples.push_back({now, left, right});
            seconds.emplace_back(now, player->positionSeconds());
            if (onset < 0 && left > 8000)
                onset = now;
            if (onset >= 0 && !shot && now > onset + 1200) {
                shot = true;
                if (const char* folder = std::getenv("KOLVO_RECORD_SHOTS"))
                    window->grab().save(QString::fromUtf8(folder) + "/recording-meters.png");
            }
            return onset >= 0 && now > onset + 5600;
        },
        15000);
    ASSERT_GE(onset, 0) << "the loud tone never reached the meters";
    const auto medianIn = [&](qint64 from, qint64 to, bool left) {
        std::vector<int> values;
        for (const Sample& s : samples)
            if (s.ms >= onset + from && s.ms < onset + to)
                values.push_back(left ? s.left : s.right);
        return median(values);
    };
    const int loudLeft = medianIn(300, 2600, true);
    const int loudRight = medianIn(300, 2600, false);
    const int quietLeft = medianIn(3500, 5600, true);
    const int quietRight = medianIn(3500, 5600, false);
    EXPECT_GT(loudLeft, 32768 * 0.5) << "a tone at 0.8 of full scale";
    EXPECT_LT(loudRight, loudLeft / 20) << "nothing in the right channel";
    EXPECT_GT(quietLeft, 32768 * 0.02);
    EXPECT_LT(quietLeft, 32768 * 0.1);
    EXPECT_GT(quietRight, 32768 * 0.02);
    EXPECT_LT(quietRight, 32768 * 0.1);
    EXPECT_GT(LevelMeters::barFraction(loudLeft), LevelMeters::barFraction(quietLeft) + 0.2)
        << "the bars tell loud from quiet";
    // The time display counts the recorded seconds: about three more after three seconds.
    const auto displayAt = [&](qint64 ms) {
        for (const auto& [at, value] : seconds)
            if (at >= ms)
                return value;
        return -1;
    };
    const int gained = displayAt(onset + 5000) - displayAt(onset + 2000);
    EXPECT_GE(gained, 2) << "the time display counts the recorded seconds";
    EXPECT_LE(gained, 4);

    command(5103); // Pause
    EXPECT_EQ(meters->levels(), std::make_pair(0, 0));
    pumpUntil([] { return false; }, 500);
    EXPECT_EQ(meters->levels(), std::make_pair(0, 0)) << "nothing moves while paused";
    command(5102); // Stop
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_FALSE(meters->isVisible());
    EXPECT_EQ(meters->levels(), std::make_pair(0, 0));
}

namespace {

// The application whose main window is the test's, so that the players reach each other.
class WindowedApp : public PlayerApp
{
public:
    HWND controller() const override { return window ? window->handle() : 0; }
    MainController* window = nullptr;
};

// The whole main window with the CD Player on a generated disc image, recording from the
// private PulseAudio's monitor, where the CD Player plays.
class CdRecordingTest : public KolvoHomeTest
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
    }
    void TearDown() override
    {
        if (app)
            app->window = nullptr;
        window.reset();
        app.reset();
        ::unsetenv("KOLVO_CAPTURE_SOURCE");
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }
    void start(const std::string& drive)
    {
        writeFile("config/Quorvane System, Inc./Kolvo.conf",
                  "[CD]\nEnable=1\nDrive=" + drive + "\nAutoRun=0\nCDDBConnect=0\n");
        app = std::make_unique<WindowedApp>();
        app->LoadSettings();
        app->settings().cdDrive = drive;
        window = std::make_unique<MainController>(*app);
        app->window = window.get();
        cd = static_cast<CdPlayer*>(window->component(ComponentCd));
        player = static_cast<AudioPlayer*>(window->component(ComponentAudio));
        ASSERT_NE(cd, nullptr);
        ASSERT_NE(player, nullptr);
        ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModeStopped; }, 5000));
        pumpUntil([this] { return player->state() == kModeStopped; }, 2000);
    }
    // Record with the options answered: the CD's tracks through the sound card, as type
    // (0 WAVE, 1 MP3, 2 RealAudio), the file name being one the CD's titles replace.
    void recordCdThroughTheSoundCard(const char* file, int type)
    {
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            CRecordPropertySheet* sheet = SoundCardRecording::openSheet();
            if (!sheet || !sheet->isVisible())
                return;
            sheet->pathEdit()->setText(QString::fromStdString(homePath(file)));
            sheet->typeList()->setCurrentIndex(type);
            sheet->recordCdBox()->setChecked(true);
            sheet->accept();
        });
        answer.start(10);
        window->sendMessage(UM_COMMAND, ComponentAudio, 5122);
        answer.stop();
    }

    std::unique_ptr<WindowedApp> app;
    std::unique_ptr<MainController> window;
    CdPlayer* cd = nullptr;
    AudioPlayer* player = nullptr;
};

// The length and rough frequency of the sound in a file's left channel (sox's estimate is
// for one channel), silence at both ends cut off.
std::pair<double, double> soundOf(const std::string& path)
{
    const RunResult stat =
        run("sox " + quoted(path) +
                " -n remix 1 silence 1 0.02 2% reverse silence 1 0.02 2% reverse stat",
            true);
    const auto value = [&](const std::string& key) {
        const size_t at = stat.output.find(key);
        return at == std::string::npos
                   ? -1.0
                   : std::stod(stat.output.substr(stat.output.find(':', at) + 1));
    };
    return {value("Length (seconds)"), value("Rough   frequency")};
}

} // namespace

// Record with "through the sound card" and two of three tracks chosen: the CD Player plays
// each alone while its own file records, named from the disc's titles in the album's folder;
// the recording stops after the last one.
TEST_F(CdRecordingTest, TheChosenTracksAreRecordedWhileTheCdPlayerPlaysThem)
{
    start(cdtest::disc("titled", "--title Dawnlight --performer Somebody --track-title "
                                 "2:Second --track-title 3:Third 1.5 3 2"));
    ASSERT_EQ(cd->album().title(), "Dawnlight");

    int sheets = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        CRecordPropertySheet* sheet = SoundCardRecording::openSheet();
        if (!sheet || !sheet->isVisible())
            return;
        ++sheets;
        EXPECT_TRUE(sheet->recordCdBox()->isEnabled()) << "a disc is in the CD Player";
        sheet->pathEdit()->setText(QString::fromStdString(homePath("ignored.wav")));
        sheet->typeList()->setCurrentIndex(0);
        sheet->recordCdBox()->setChecked(true);
        EXPECT_FALSE(sheet->copyCdBox()->isChecked()) << "one way of recording the CD";
        if (sheet->trackList()->count() != 3) {
            ADD_FAILURE() << "the disc's tracks are offered";
            sheet->reject();
            return;
        }
        sheet->trackList()->item(0)->setCheckState(Qt::Unchecked);
        sheet->accept();
    });
    answer.start(10);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5122);
    answer.stop();
    ASSERT_EQ(sheets, 1);
    ASSERT_EQ(player->state(), kModeRecording);

    const std::string folder = homePath("Somebody-Dawnlight");
    const std::string second = folder + "/Somebody-Dawnlight-02-Second.wav";
    const std::string third = folder + "/Somebody-Dawnlight-03-Third.wav";
    EXPECT_NE(player->infoText().find("Recording to Somebody-Dawnlight-02-Second.wav."),
              std::string::npos)
        << player->infoText();
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
    const auto [secondLength, secondHz] = soundOf(second);
    EXPECT_NEAR(secondLength, 3.0, 0.3) << second;
    EXPECT_NEAR(secondHz, 660, 25);
    const auto [thirdLength, thirdHz] = soundOf(third);
    EXPECT_NEAR(thirdLength, 2.0, 0.3) << third;
    EXPECT_NEAR(thirdHz, 880, 25);
    EXPECT_FALSE(std::filesystem::exists(homePath("ignored.wav")));
    EXPECT_FALSE(std::filesystem::exists(folder + "/Somebody-Dawnlight-01-Track.wav"));
    std::vector<std::string> songs;
    for (const SongEntry& song : player->album().songs())
        songs.push_back(song.title);
    EXPECT_NE(std::find(songs.begin(), songs.end(), second), songs.end());
    EXPECT_NE(std::find(songs.begin(), songs.end(), third), songs.end());
}

// Stop by hand during a CD track stops the CD Player too; the file keeps what was recorded and
// no further track is recorded.
TEST_F(CdRecordingTest, StopByHandStopsTheCdPlayerAndTheTracksLeft)
{
    start(cdtest::disc("stopped", "--title Dawnlight --performer Somebody 4 2"));
    recordCdThroughTheSoundCard("ignored.wav", 0);
    ASSERT_EQ(player->state(), kModeRecording);
    ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000));
    pumpUntil([] { return false; }, 2500);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5102); // Stop
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_TRUE(pumpUntil([this] { return cd->state() == kModeStopped; }, 2000))
        << "the CD Player stops with the recording";
    pumpUntil([] { return false; }, 1500);
    EXPECT_EQ(player->state(), kModeStopped) << "no next track";
    const std::string folder = homePath("Somebody-Dawnlight");
    EXPECT_FALSE(std::filesystem::exists(folder + "/02-Track.wav"));
    const auto [length, hz] = soundOf(folder + "/01-Track.wav");
    // The monitor hears the disc a moment late, more so on a busy machine: some sound, not all.
    EXPECT_GT(length, 0.25);
    EXPECT_LT(length, 3.7) << "stopped before the track's end";
    EXPECT_NEAR(hz, 440, 25);
}

// The MPEG type through the sound card: each track is recorded as a WAVE file of CD sound and,
// when the CD Player has played it, encoded to MP3 in the encoding window, whose file takes
// the WAVE file's place in the album and on disk.
TEST_F(CdRecordingTest, TheMpegTypeMakesAnMp3OfEachTrack)
{
    start(cdtest::disc("mpeg", "--title Dawnlight --performer Somebody 2 1.5"));
    app->appSettings.recordMpegBitRate = 160;
    QTimer answer;
    bool encodingSeen = false;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (SoundCardRecording::openEncodingWindow())
            encodingSeen = true;
        CRecordPropertySheet* sheet = SoundCardRecording::openSheet();
        if (!sheet || !sheet->isVisible())
            return;
        sheet->pathEdit()->setText(QString::fromStdString(homePath("ignored.mp3")));
        sheet->typeList()->setCurrentIndex(1);
        sheet->rateList()->setCurrentIndex(0); // 8000 Hz: the MP3 is made from CD sound anyway
        sheet->recordCdBox()->setChecked(true);
        sheet->accept();
    });
    answer.start(10);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5122);
    ASSERT_EQ(player->state(), kModeRecording);
    const std::string folder = homePath("Somebody-Dawnlight");
    EXPECT_NE(player->infoText().find("Recording to 01-Track.wav."), std::string::npos)
        << player->infoText();
    EXPECT_TRUE(pumpUntil([this] { return player->state() == kModeStopped; }, 20000))
        << "the recording stops after the last track";
    answer.stop();
    EXPECT_TRUE(encodingSeen) << "the MP3s are made in the encoding window";

    std::vector<std::string> songs;
    for (const SongEntry& song : player->album().songs())
        songs.push_back(song.title);
    struct Expected
    {
        const char* name;
        double seconds;
        double hz;
    };
    for (const Expected& e : {Expected{"01-Track", 2.0, 440}, Expected{"02-Track", 1.5, 660}}) {
        SCOPED_TRACE(e.name);
        const std::string mp3 = folder + "/" + e.name + ".MP3";
        EXPECT_FALSE(std::filesystem::exists(folder + "/" + e.name + ".wav"));
        EXPECT_NE(std::find(songs.begin(), songs.end(), mp3), songs.end())
            << "the MP3 takes the WAVE file's place in the album";
        EXPECT_EQ(std::find(songs.begin(), songs.end(), folder + "/" + e.name + ".wav"),
                  songs.end());
        const std::string wav = homePath(std::string(e.name) + "-decoded.wav");
        ASSERT_EQ(run("mpg123 -q -w " + quoted(wav) + " " + quoted(mp3)).status, 0);
        EXPECT_NE(run("soxi " + quoted(wav)).output.find("Sample Rate    : 44100"),
                  std::string::npos);
        const auto [length, hz] = soundOf(wav);
        EXPECT_NEAR(length, e.seconds, 0.3);
        EXPECT_NEAR(hz, e.hz, 25);
    }
    EXPECT_FALSE(std::filesystem::exists(homePath("ignored.mp3")));
    EXPECT_FALSE(std::filesystem::exists(homePath("ignored.wav")));
}

// The RealAudio type through the sound card: a RealAudio file for the track, which holds it.
TEST_F(CdRecordingTest, TheRealAudioTypeRecordsEachTrackAsRealAudio)
{
    start(cdtest::disc("realaudio", "--title Dawnlight --performer Somebody 2.5"));
    recordCdThroughTheSoundCard("ignored.ra", 2);
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_TRUE(pumpUntil([this] { return player->state() == kModeStopped; }, 10000));
    const std::string ra = homePath("Somebody-Dawnlight/01-Track.ra");
    EXPECT_EQ(player->album().GetSong(player->album().currentSong())->title, ra);
    const Probe p = probe(ra);
    EXPECT_EQ(p.codec, "ra_144");
    EXPECT_NEAR(p.seconds, 2.5, 0.6) << "the track, as the monitor heard it";
    std::uint32_t rate = 0;
    const std::vector<std::int16_t> samples = decoded(ra, homePath("d.wav"), rate);
    ASSERT_GT(samples.size(), 12000u);
    EXPECT_NEAR(strongestHz({samples.begin() + 4000, samples.begin() + 12000}, rate, 100, 3000),
                440, 6);
}

// The MPEG type stopped by hand in the middle of a track: no MP3 is made of the part recorded,
// whose WAVE file leaves the disk and the album.
TEST_F(CdRecordingTest, TheMpegTypeStoppedByHandDropsTheTrack)
{
    start(cdtest::disc("mpegstop", "--title Dawnlight --performer Somebody 5"));
    recordCdThroughTheSoundCard("ignored.mp3", 1);
    ASSERT_EQ(player->state(), kModeRecording);
    const std::string wav = homePath("Somebody-Dawnlight/01-Track.wav");
    EXPECT_EQ(player->album().GetSong(player->album().currentSong())->title, wav);
    ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000));
    pumpUntil([] { return false; }, 1500);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5102); // Stop
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_FALSE(std::filesystem::exists(wav));
    EXPECT_FALSE(std::filesystem::exists(homePath("Somebody-Dawnlight/01-Track.MP3")));
    for (const SongEntry& song : player->album().songs())
        EXPECT_NE(song.title, wav);
}

// Recording stops the CD Player that plays, once the options are accepted (not while they are
// up), as every other player is told to.
TEST_F(CdRecordingTest, RecordingStopsThePlayingCdPlayer)
{
    start(cdtest::disc("playing", "8"));
    window->sendMessage(UM_COMMAND, ComponentCd, cmd::Play);
    ASSERT_TRUE(pumpUntil([this] { return cd->state() == kModePlaying; }, 3000));
    int cdStateWhileAsked = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        CRecordPropertySheet* sheet = SoundCardRecording::openSheet();
        if (!sheet || !sheet->isVisible())
            return;
        cdStateWhileAsked = cd->state();
        sheet->pathEdit()->setText(QString::fromStdString(homePath("free.wav")));
        sheet->typeList()->setCurrentIndex(0);
        sheet->recordCdBox()->setChecked(false);
        sheet->copyCdBox()->setChecked(false);
        sheet->accept();
    });
    answer.start(10);
    window->sendMessage(UM_COMMAND, ComponentAudio, cmd::Record);
    answer.stop();
    EXPECT_EQ(cdStateWhileAsked, kModePlaying) << "nothing stops while the options are up";
    ASSERT_EQ(player->state(), kModeRecording);
    EXPECT_EQ(cd->state(), kModeStopped) << "the CD Player was told to stop";
    window->sendMessage(UM_COMMAND, ComponentAudio, cmd::Stop);
    EXPECT_EQ(player->state(), kModeStopped);
}
