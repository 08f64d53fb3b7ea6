// Record in the Digital Audio Player, in the real main window: the recording options, the
// recording states, pause and resume, and the file added to the album, recorded from the
// private PulseAudio's monitor while a tone plays.
#include "recordtest.h"
#include "support/testhome.h"

#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "platform/strings.h"
#include "players/audioplayer.h"
#include "record/soundcardrecording.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include <cstdlib>
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
