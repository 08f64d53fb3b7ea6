// The Digital Audio Player inside the real main window, playing real files through the engines
// into the test PulseAudio.

#include "albums/filealbumeditor.h"
#include "analysis.h"
#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "engines/engineapi.h"
#include "engines/outputconfig.h"
#include "enginetest.h"
#include "platform/log.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "players/audioplayer.h"
#include "players/lyricviewer.h"
#include "support/testhome.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <fstream>
#include <map>

using enginetest::pump;
using enginetest::pumpUntil;

namespace {

// The Digital Audio Player with a look at its open engine's own mode.
class ProbedAudioPlayer : public AudioPlayer
{
public:
    using AudioPlayer::AudioPlayer;
    int engineMode() { return session() ? session()->mode() : 0; }
    // The designed prefix of the open engine's family, "" when none is open.
    std::string openEngine() const { return session() ? session()->family().prefix : ""; }
};

class AudioPlayerTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        app = std::make_unique<PlayerApp>();
        app->LoadSettings();
        window = std::make_unique<MainController>(
            *app, [](int index, PlayerHost& host, QWidget* parent) -> ComponentWnd* {
                return index == ComponentAudio ? new ProbedAudioPlayer(host, parent) : nullptr;
            });
        player = static_cast<ProbedAudioPlayer*>(window->component(ComponentAudio));
        ASSERT_NE(player, nullptr);
        pumpUntil([this] { return player->state() == kModeStopped; }, 2000);
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
                if (player->state() == kModePlaying && player->playingPath() != lastPath) {
                    lastPath = player->playingPath();
                    played.push_back(player->album().currentSong());
                }
                if (player->state() == kModePlaying && !played.empty() &&
                    player->album().currentSong() != played.back())
                    played.push_back(player->album().currentSong());
                if (player->state() == kModeStopped)
                    lastPath.clear();
                return player->state() == kModeStopped && !played.empty();
            },
            ms);
        return played;
    }

    std::unique_ptr<PlayerApp> app;
    std::unique_ptr<MainController> window;
    ProbedAudioPlayer* player = nullptr;
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
    EXPECT_EQ(player->state(), kModeStopped);
    // What reached the sink: the three pitches, one after the other, and nothing else.
    const std::vector<double> tones = analysis::toneSequence(heard.left, heard.rate);
    ASSERT_EQ(tones.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(tones[static_cast<size_t>(i)], 300 + 200 * i, 15) << i;
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
            if (player->state() == kModePlaying && (order.empty() || order.back() != n))
                order.push_back(n);
            return order.size() >= 3;
        },
        15000);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1})) << "after the last song, the first again";
    window->sendMessage(UM_COMMAND, ComponentAudio, 5102);
    EXPECT_EQ(player->state(), kModeStopped);
}

TEST_F(AudioPlayerTest, PreviousRestartsAHeardSongLateAndOtherwiseGoesBack)
{
    const std::string a = tone("a.wav", 9, 300), b = tone("b.wav", 9, 400),
                      c = tone("c.wav", 9, 500);
    playPending(m3u({a, b, c}));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    window->sendMessage(UM_COMMAND, ComponentAudio, MAKELPARAM(5104, 3));
    ASSERT_TRUE(pumpUntil([&] { return player->album().currentSong() == 3; }, 3000));
    auto seekTo = [&](int seconds) {
        player->sendMessage(WM_HSCROLL, MAKELPARAM(SB_THUMBPOSITION, seconds), 0);
    };
    seekTo(7);
    ASSERT_TRUE(pumpUntil([&] { return player->positionSeconds() >= 7; }, 3000));
    window->sendMessage(UM_COMMAND, ComponentAudio, 5107);
    EXPECT_EQ(player->album().currentSong(), 3) << "after 5 s Previous restarts the song";
    pump(700);
    EXPECT_LE(player->positionSeconds(), 1);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5107);
    EXPECT_EQ(player->album().currentSong(), 2) << "within 5 s Previous goes back";
    EXPECT_EQ(player->state(), kModePlaying);

    // Paused late in the song, Previous goes back too: only a song that is heard restarts.
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 3000));
    seekTo(7);
    ASSERT_TRUE(pumpUntil([&] { return player->positionSeconds() >= 7; }, 3000));
    window->sendMessage(UM_COMMAND, ComponentAudio, 5103);
    ASSERT_EQ(player->state(), kModePaused);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5107);
    EXPECT_EQ(player->album().currentSong(), 1);
    EXPECT_EQ(player->state(), kModePlaying);
}

TEST_F(AudioPlayerTest, TheSliderAndRewindMoveThePlaceAndAPauseKeepsIt)
{
    const std::string a = tone("a.wav", 12, 300);
    playPending(m3u({a}));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    player->sendMessage(WM_HSCROLL, MAKELPARAM(SB_THUMBPOSITION, 6), 0);
    EXPECT_EQ(player->positionSeconds(), 6);
    pump(1200);
    EXPECT_GE(player->positionSeconds(), 6) << "the engine went there, the ticks read it back";
    EXPECT_LE(player->positionSeconds(), 8);
    // Another scroll code is only the thumb being dragged: nothing moves.
    player->sendMessage(WM_HSCROLL, MAKELPARAM(SB_THUMBTRACK, 1), 0);
    pump(600);
    EXPECT_GE(player->positionSeconds(), 6);

    window->sendMessage(UM_COMMAND, ComponentAudio, 5103);
    ASSERT_EQ(player->state(), kModePaused);
    // Moved while paused, it stays paused at the new place.
    player->sendMessage(WM_HSCROLL, MAKELPARAM(SB_THUMBPOSITION, 4), 0);
    pump(1500);
    EXPECT_EQ(player->state(), kModePaused);
    EXPECT_EQ(player->engineMode(), kModePaused);
    EXPECT_EQ(player->positionSeconds(), 4);
    // Play/Pause resumes where it was, not from the start.
    window->sendMessage(UM_COMMAND, ComponentAudio, 5104);
    EXPECT_EQ(player->state(), kModePlaying);
    pump(1200);
    EXPECT_GE(player->positionSeconds(), 4);
    EXPECT_LE(player->positionSeconds(), 6);
    // Rewind by ten seconds from about five: back to the start, still playing.
    window->sendMessage(UM_COMMAND, ComponentAudio, 5115);
    pump(700);
    EXPECT_LE(player->positionSeconds(), 1);
    EXPECT_EQ(player->state(), kModePlaying);
    EXPECT_EQ(player->album().currentSong(), 1);
}

TEST_F(AudioPlayerTest, TheEngineFollowsTheFileTypeAndTheSettings)
{
    const std::string wav = tone("tone.wav", 3, 440);
    const std::string mp3 = homePath("tone.mp3");
    ASSERT_TRUE(enginetest::sh("lame --quiet '" + wav + "' '" + mp3 + "'"));
    // WAVE data under an MPEG name: the internal MPEG engine finds no frames in it.
    const std::string disguised = homePath("disguised.mp3");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(wav), QString::fromStdString(disguised)));
    AppSettings& s = app->settings();
    auto engineFor = [&](const std::string& file) {
        playPending(file);
        const bool playing = pumpUntil([&] { return player->state() == kModePlaying; }, 5000);
        EXPECT_TRUE(playing) << file << ": " << player->messageText();
        return player->openEngine();
    };

    s.mpaUseInternal = 0;
    EXPECT_EQ(engineFor(mp3), "KAMEngine_");
    s.mpaUseInternal = 1;
    EXPECT_EQ(engineFor(mp3), "KMPEngine_");
    EXPECT_EQ(engineFor(disguised), "MCI") << "the MCI device is the last resort";
    s.wavUseDirectShow = 0;
    EXPECT_EQ(engineFor(wav), "MCI");
    s.wavUseDirectShow = 1;
    EXPECT_EQ(engineFor(wav), "KAMEngine_");
    window->sendMessage(UM_COMMAND, ComponentAudio, 5102);
    EXPECT_EQ(player->openEngine(), "");
}

TEST_F(AudioPlayerTest, ConfiguringTheDeviceHoldsTheSongAndPlaysOn)
{
    app->settings().wavUseDirectShow = 0;
    playPending(tone("a.wav", 6, 440));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    ASSERT_EQ(player->openEngine(), "MCI");
    int modeWhileShown = 0;
    bool shown = false;
    QTimer::singleShot(100, [&] {
        auto* dialog =
            qobject_cast<engines::OutputConfigDialog*>(QApplication::activeModalWidget());
        shown = dialog != nullptr;
        modeWhileShown = player->engineMode();
        if (dialog)
            dialog->reject();
    });
    unsetenv("KOLVO_NONINTERACTIVE"); // a user is there to see the dialog
    player->sendMessage(WM_COMMAND, 5142, 0);
    setenv("KOLVO_NONINTERACTIVE", "1", 1);
    EXPECT_TRUE(shown) << "the output the device plays through is configured";
    EXPECT_EQ(modeWhileShown, kModePaused);
    EXPECT_EQ(player->engineMode(), kModePlaying);
    pump(600);
    EXPECT_EQ(player->state(), kModePlaying);
}

TEST_F(AudioPlayerTest, ANotificationWithAnOldCookieIsIgnored)
{
    const std::string a = tone("a.wav", 4, 440);
    playPending(a);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    const int cookie = player->cookie();
    const int old = (cookie - 1) & 0xFFFF;
    // A failure reported for a song opened before this one.
    for (UINT msg : {kNotifyMpeg, kNotifyDirectShow, kNotifyRealAudio})
        player->sendMessage(msg, MAKELPARAM(2, old), 0);
    EXPECT_EQ(player->state(), kModePlaying);
    EXPECT_TRUE(player->messageText().empty());
    player->sendMessage(kNotifyDirectShow, MAKELPARAM(2, cookie), 0);
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_EQ(player->messageText(), "Can't play Track 1, a.wav File.");
}

TEST_F(AudioPlayerTest, StreamSavingAndLyricsAreSwitchedFromTheirButtons)
{
    AppSettings& s = app->settings();
    s.saveStream = 0;
    player->sendMessage(WM_COMMAND, 5178, 0);
    EXPECT_EQ(s.saveStream, 1);
    EXPECT_TRUE(player->button(5178)->IsChecked());
    QSettings file(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("MP3/SaveStream")).toInt(), 1) << "written at once";
    player->sendMessage(WM_COMMAND, 5178, 0);
    EXPECT_EQ(s.saveStream, 0);
    EXPECT_FALSE(player->button(5178)->IsChecked());
    file.sync();
    EXPECT_EQ(file.value(QStringLiteral("MP3/SaveStream")).toInt(), 0);

    const std::string song = tone("sung.wav", 6, 440);
    writeFile("sung.txt", "la la la\n");
    s.displayLyric = 0;
    LyricViewer* lyric = player->lyricViewer();
    ASSERT_NE(lyric, nullptr);
    // Switched on while stopped: nothing to show yet.
    player->sendMessage(WM_COMMAND, 5184, 0);
    EXPECT_EQ(s.displayLyric, 1);
    EXPECT_FALSE(lyric->isVisible());
    player->sendMessage(WM_COMMAND, 5184, 0);
    playPending(song);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    EXPECT_FALSE(lyric->isVisible()) << "lyrics are off";
    player->sendMessage(WM_COMMAND, 5184, 0);
    EXPECT_TRUE(player->button(5184)->IsChecked());
    EXPECT_TRUE(lyric->isVisible()) << "switched on while playing: the song's lyrics show";
    window->sendMessage(UM_COMMAND, ComponentAudio, 5103);
    player->sendMessage(WM_COMMAND, 5184, 0);
    EXPECT_EQ(s.displayLyric, 0);
    EXPECT_FALSE(player->button(5184)->IsChecked());
    EXPECT_FALSE(lyric->isVisible());
    player->sendMessage(WM_COMMAND, 5184, 0);
    EXPECT_TRUE(lyric->isVisible()) << "paused counts as the song being there";
    QTest::keyClick(lyric, Qt::Key_Escape);
    EXPECT_FALSE(lyric->isVisible()) << "Escape puts the lyric away";
    EXPECT_EQ(s.displayLyric, 0) << "and it stays away for the next song";
    EXPECT_FALSE(player->button(5184)->IsChecked());
}

TEST_F(AudioPlayerTest, OpenPlaysTheChosenFilesAndRemovesItsTemporaryList)
{
    const std::string a = tone("pick/a.wav", 2, 300), b = tone("pick/b.wav", 2, 500);
    tone("pick/c.wav", 1, 700);
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answered = true;
        dialog->setDirectory(QString::fromStdString(homePath("pick")));
        dialog->selectFile(QStringLiteral("\"a.wav\" \"b.wav\""));
        // As the Open button of the dialog does it.
        QMetaObject::invokeMethod(dialog, "accept");
    });
    player->sendMessage(WM_COMMAND, 5119, 0);
    ASSERT_TRUE(answered);
    EXPECT_EQ(player->album().songCount(), 2);
    EXPECT_NE(player->album().FindSong(a), nullptr);
    EXPECT_NE(player->album().FindSong(b), nullptr);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(paths::dataDir() + "/$$TEMP$$.M3U")))
        << "the list of the chosen files is gone once read";
    EXPECT_FALSE(app->pendingIsTemporary);
    EXPECT_EQ(app->settings().components[ComponentAudio].initialDir, homePath("pick"))
        << "the next dialog starts where this one ended";
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    EXPECT_EQ(player->album().currentSong(), 1);

    // Record is not there yet: it says so instead of doing nothing.
    std::vector<QString> told;
    setMessageBoxHook([&](const QString&, const QString& text, MessageIcon, MessageButtons) {
        told.push_back(text);
        return IDOK;
    });
    player->sendMessage(WM_COMMAND, 5122, 0);
    setMessageBoxHook({});
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0],
              QStringLiteral("This feature is not available in this version of Kolvo yet."));
    EXPECT_EQ(player->state(), kModePlaying) << "and the song plays on";
}

// Ogg, FLAC and Opus are offered by the Open dialog, join the album and are played by the
// general engine, as kolvo-cli plays them.
TEST_F(AudioPlayerTest, OggFlacAndOpusAreOfferedAndPlayed)
{
    QDir().mkpath(QString::fromStdString(homePath("pick")));
    const std::string wav = tone("pick/source.wav", 2, 440);
    const std::string ogg = homePath("pick/a.ogg"), flac = homePath("pick/b.flac"),
                      opus = homePath("pick/c.opus");
    enginetest::sh("sox '" + wav + "' '" + ogg + "'");
    enginetest::sh("sox '" + wav + "' '" + flac + "'");
    enginetest::sh("ffmpeg -loglevel error -y -i '" + wav + "' -c:a libopus '" + opus + "'");
    for (const std::string& f : {ogg, flac, opus})
        ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(f))) << f;
    QStringList offered;
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answered = true;
        offered = dialog->nameFilters();
        dialog->setDirectory(QString::fromStdString(homePath("pick")));
        dialog->selectFile(QStringLiteral("\"a.ogg\" \"b.flac\" \"c.opus\""));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    player->sendMessage(WM_COMMAND, 5119, 0);
    ASSERT_TRUE(answered);
    ASSERT_FALSE(offered.isEmpty());
    for (const char* pattern : {"*.ogg", "*.flac", "*.opus", "*.m4a", "*.wma", "*.wv", "*.mp3"})
        EXPECT_TRUE(offered.first().contains(QLatin1String(pattern))) << pattern;
    ASSERT_EQ(player->album().songCount(), 3);
    EXPECT_EQ(player->album().GetSong(1)->title, ogg);
    EXPECT_EQ(player->album().GetSong(3)->title, opus);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000))
        << player->messageText();
    EXPECT_EQ(player->openEngine(), "KAMEngine_");
    // The FLAC song after it plays too.
    window->sendMessage(UM_COMMAND, ComponentAudio, 5108);
    EXPECT_TRUE(pumpUntil(
        [&] { return player->state() == kModePlaying && player->playingPath() == flac; }, 5000))
        << player->messageText();
}

// A play list chosen in the Open dialog is played like the same list on the command line.
TEST_F(AudioPlayerTest, APlayListChosenInOpenIsPlayed)
{
    const std::string a = tone("lists/a.wav", 2, 300), b = tone("lists/b.wav", 2, 500);
    const std::string c = tone("lists/c.wav", 1, 700);
    writeFile("lists/mix.m3u", "#EXTM3U\n#EXTINF:2,The First\na.wav\nb.wav\n");
    auto choose = [&](const QString& names) {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            answered = true;
            dialog->setDirectory(QString::fromStdString(homePath("lists")));
            dialog->selectFile(names);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        player->sendMessage(WM_COMMAND, 5119, 0);
        return answered;
    };
    ASSERT_TRUE(choose(QStringLiteral("mix.m3u")));
    ASSERT_EQ(player->album().songCount(), 2);
    EXPECT_EQ(player->album().GetSong(1)->title, a);
    EXPECT_EQ(player->album().GetSong(1)->extendedInfo, "The First");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(homePath("lists/mix.m3u"))))
        << "the user's own list is not a temporary one";
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000))
        << player->messageText();
    EXPECT_EQ(player->playingPath(), a);

    // Chosen with a song, the list gives its songs in its place.
    ASSERT_TRUE(choose(QStringLiteral("\"c.wav\" \"mix.m3u\"")));
    std::vector<std::string> titles;
    for (const SongEntry& song : player->album().songs())
        titles.push_back(song.title);
    EXPECT_EQ(titles, (std::vector<std::string>{c, a, b}));
}

// Open Folder, on the right-click menu, plays a folder's songs, sub-folders included.
TEST_F(AudioPlayerTest, OpenFolderPlaysAFoldersSongsInNameOrder)
{
    const std::string b = tone("album/b.wav", 1, 500), a = tone("album/a.wav", 1, 300);
    const std::string d = tone("album/CD2/d.wav", 1, 700);
    writeFile("album/cover.jpg", "x");
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        QAction* folder = nullptr;
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Open Folder..."))
                folder = action;
        if (!folder)
            return;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            answered = dialog->fileMode() == QFileDialog::Directory;
            dialog->setDirectory(QString::fromStdString(homePath("album")));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        menu->setActiveAction(folder);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20),
                            player->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(player, &click);
    pump(100);
    ASSERT_TRUE(answered);
    std::vector<std::string> titles;
    for (const SongEntry& song : player->album().songs())
        titles.push_back(song.title);
    EXPECT_EQ(titles, (std::vector<std::string>{a, b, d}))
        << "name order, the sub-folder in its place";
    EXPECT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000))
        << player->messageText();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(paths::dataDir() + "/$$TEMP$$.M3U")));
}

TEST_F(AudioPlayerTest, FastForwardNearTheEndMovesOnEvenWhenRepeatingTheSong)
{
    const std::string a = tone("a.wav", 4, 300), b = tone("b.wav", 4, 500);
    app->settings().components[ComponentAudio].repeat = RepeatModeRepeatThisSong;
    playPending(m3u({a, b}));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    window->sendMessage(UM_COMMAND, ComponentAudio, 5116);
    ASSERT_TRUE(pumpUntil([&] { return player->album().currentSong() == 2; }, 3000));
    EXPECT_EQ(player->state(), kModePlaying);
}

TEST_F(AudioPlayerTest, AMissingFileIsReportedAndThePlayerGoesOn)
{
    const std::string good = tone("good.wav", 2, 440);
    playPending(m3u({homePath("gone/missing.mp3"), good}));
    ASSERT_TRUE(pumpUntil([&] { return !player->messageText().empty(); }, 5000));
    EXPECT_EQ(player->messageText(), "Can't play Track 1, missing.mp3 File.");
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_NE(player->infoText().find("Error : Can't play Track 1, missing.mp3 File."),
              std::string::npos)
        << player->infoText();
    window->sendMessage(UM_COMMAND, ComponentAudio, 5108);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModeStopped; }, 1000));
    window->sendMessage(UM_COMMAND, ComponentAudio, 5104);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    EXPECT_EQ(player->album().currentSong(), 2);
    EXPECT_TRUE(player->messageText().empty());
}

// A file of the player's kinds that is there but holds no audio it plays (a tracker module
// under an audio name) fails with the designed line, and the log says it is not audio, never
// that it cannot be reached: the drive retry is for files that are not there.
TEST_F(AudioPlayerTest, AFileThatIsThereButNotPlayableFailsWithTheDesignedLine)
{
    const std::string module =
        writeFile("music/tune.au", "Extended Module: tune\x1A" + std::string(300, '\0'));
    klog::clearLast("players");
    playPending(m3u({module}));
    ASSERT_TRUE(pumpUntil([&] { return !player->messageText().empty(); }, 5000));
    const std::string why = klog::last("players");
    EXPECT_EQ(player->messageText(), "Can't play Track 1, tune.au File.");
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_NE(why.find("not an audio file"), std::string::npos) << why;
    EXPECT_EQ(why.find("cannot be reached"), std::string::npos) << why;
}

// Without a sound server the songs fail with the designed line, the log says the output is
// the cause, and the user is told so once, not for every song.
TEST_F(AudioPlayerTest, ASoundOutputThatCannotBeOpenedIsToldOnce)
{
    const std::string a = tone("a.wav", 1, 300), b = tone("b.wav", 1, 500);
    std::vector<QString> told;
    setMessageBoxHook([&](const QString&, const QString& text, MessageIcon, MessageButtons) {
        told.push_back(text);
        return IDOK;
    });
    const std::string pulse = getenv("PULSE_SERVER") ? getenv("PULSE_SERVER") : "";
    setenv("PULSE_SERVER", ("unix:" + homePath("no-such-socket")).c_str(), 1);
    playPending(m3u({a, b}));
    const bool failed = pumpUntil([&] { return !player->messageText().empty(); }, 5000);
    const std::string why = klog::last("engines");
    window->sendMessage(UM_COMMAND, ComponentAudio, 5108);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5104);
    pumpUntil([&] { return player->album().currentSong() == 2 && !player->messageText().empty(); },
              5000);
    pump(300);
    if (pulse.empty())
        unsetenv("PULSE_SERVER");
    else
        setenv("PULSE_SERVER", pulse.c_str(), 1);
    setMessageBoxHook({});
    ASSERT_TRUE(failed);
    EXPECT_EQ(player->messageText(), "Can't play Track 2, b.wav File.");
    EXPECT_NE(why.find("the sound output cannot be opened"), std::string::npos) << why;
    ASSERT_EQ(told.size(), 1u) << "once a session";
    EXPECT_TRUE(told[0].contains(QStringLiteral("sound output"))) << told[0].toStdString();

    // With the server back the songs play again.
    window->sendMessage(UM_COMMAND, ComponentAudio, 5104);
    EXPECT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000))
        << player->messageText();
}

TEST_F(AudioPlayerTest, ASongOnAnotherMediumIsFoundThere)
{
    // The album remembers the song on a medium mounted at "disc1"; it is now at "disc2".
    const std::string song = tone("disc2/music/a.wav", 1, 440);
    setenv("KOLVO_MOUNTS", (homePath("disc1") + ":" + homePath("disc2")).c_str(), 1);
    playPending(m3u({homePath("disc1/music/a.wav")}));
    const bool playing = pumpUntil([&] { return player->state() == kModePlaying; }, 5000);
    unsetenv("KOLVO_MOUNTS");
    ASSERT_TRUE(playing) << player->messageText();
    EXPECT_EQ(player->playingPath(), song);
}

TEST_F(AudioPlayerTest, StopWithArgumentOneLeavesAStoppedPlayerAlone)
{
    const std::string a = tone("a.wav", 1, 300), b = tone("b.wav", 1, 500);
    playPending(m3u({a, b}));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    window->sendMessage(UM_COMMAND, ComponentAudio, 5102);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5108); // the cursor moves on, stopped
    const int cursor = player->album().currentSong();
    window->sendMessage(UM_COMMAND, ComponentAudio, MAKELPARAM(5102, 1));
    EXPECT_EQ(player->album().currentSong(), cursor);
    // A component that is off refuses everything but Power.
    app->settings().components[ComponentAudio].enable = 0;
    EXPECT_EQ(window->sendMessage(UM_COMMAND, ComponentAudio, 5104), 0);
}

// The window and kolvo-cli read one engine order. Each says in the log which engines it tried
// on a file none of them plays; the two lists must be the same, and be the order's.
TEST_F(AudioPlayerTest, ThePlayerAndTheCommandLineTryTheSameEngines)
{
    auto tried = [](const std::string& log) {
        std::vector<std::string> names;
        const std::string mark = "trying the ";
        for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1))
            names.push_back(log.substr(at + mark.size(), log.find(" on ", at) - at - mark.size()));
        return names;
    };
    const std::string emptyList = writeFile("empty.ram", "\n# nothing to play\n");
    const std::string notMpeg = writeFile("noise.mp3", std::string(4096, '\x55'));
    const std::string notAu = writeFile("noise.au", std::string(4096, '\x55'));
    const std::map<std::string, std::vector<std::string>> expected = {
        {emptyList, {"RealAudio engine", "media device"}},
        {notMpeg, {"MPEG engine", "media device"}},
        {notAu, {"general engine"}}};
    klog::configure("engines:debug");
    for (const auto& [file, order] : expected) {
        testing::internal::CaptureStderr();
        playPending(file);
        const std::string playerLog = testing::internal::GetCapturedStderr();
        EXPECT_EQ(player->state(), kModeStopped) << file;

        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KOLVO_LOG", "engines:debug");
        cli.setProcessEnvironment(env);
        cli.start(QString::fromStdString(builtProgram("kolvo-cli")),
                  {"info", QString::fromStdString(file)});
        ASSERT_TRUE(cli.waitForFinished(20000));
        EXPECT_NE(cli.exitCode(), 0) << file;
        const std::string cliLog = cli.readAllStandardError().toStdString();

        EXPECT_EQ(tried(playerLog), order) << file << "\n" << playerLog;
        EXPECT_EQ(tried(cliLog), tried(playerLog)) << file << "\n" << cliLog;
    }
    klog::configure("");
}

namespace {

// Runs f on the file album editor when it comes up, then closes it.
class InEditor
{
public:
    explicit InEditor(std::function<void(FileAlbumEditor&)> f)
        : m_f(std::move(f))
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* editor = qobject_cast<FileAlbumEditor*>(QApplication::activeModalWidget());
            if (!editor || m_seen)
                return;
            m_seen = true;
            m_f(*editor);
            editor->runCommand(FileAlbumEditor::CloseCommand);
        });
        m_poll.start(5);
    }
    bool seen() const { return m_seen; }

private:
    std::function<void(FileAlbumEditor&)> m_f;
    QTimer m_poll;
    bool m_seen = false;
};

} // namespace

// Album Management opens the file album editor on the player's albums; what the user does there
// becomes the player's album, and the song that plays goes on only while it is still the song
// at the current number.
TEST_F(AudioPlayerTest, AlbumManagementChangesTheAlbumAndKeepsOrStopsTheSong)
{
    const std::string a = tone("m/a.wav", 30, 300), b = tone("m/b.wav", 30, 400),
                      c = tone("m/c.wav", 30, 500), d = tone("m/d.wav", 30, 600);
    {
        Album mine(AlbumKindAudio);
        ASSERT_TRUE(mine.Open("Mine", 0));
        for (const std::string& s : {a, b, c})
            mine.AddSong(s);
        ASSERT_TRUE(mine.Save());
        Album other(AlbumKindAudio);
        ASSERT_TRUE(other.Open("Other", 0));
        other.AddSong(d);
        other.AddSong(a);
        ASSERT_TRUE(other.Save());
    }
    player->album().Open("Mine", 0);
    window->sendMessage(UM_COMMAND, ComponentAudio, MAKELPARAM(5104, 2));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    ASSERT_EQ(player->playingPath(), b);

    // A song added: song 2 is still b.wav, so it plays on, and the player has four songs.
    {
        const InEditor editor([&](FileAlbumEditor& e) {
            EXPECT_EQ(e.kind(), AlbumKindAudio);
            EXPECT_EQ(e.selectedKey(), "Mine");
            e.dropFiles({d});
        });
        window->sendMessage(UM_COMMAND, ComponentAudio, 5121);
        ASSERT_TRUE(editor.seen());
    }
    EXPECT_EQ(player->state(), kModePlaying);
    EXPECT_EQ(player->album().songCount(), 4);
    EXPECT_EQ(player->album().currentSong(), 2);
    EXPECT_EQ(player->playingPath(), b);

    // Paused, and the first song deleted: song 2 is now c.wav, so the player stops.
    window->sendMessage(UM_COMMAND, ComponentAudio, 5103);
    ASSERT_EQ(player->state(), kModePaused);
    {
        const InEditor editor([&](FileAlbumEditor& e) {
            e.selectRows({0});
            e.runCommand(FileAlbumEditor::CutCommand);
        });
        window->sendMessage(UM_COMMAND, ComponentAudio, 5121);
        ASSERT_TRUE(editor.seen());
    }
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_EQ(player->album().songCount(), 3);
    EXPECT_EQ(player->album().GetSong(2)->title, c);

    // Playing song 2 (c.wav) and choosing another album whose song 2 is another file: the
    // player takes that album and stops.
    window->sendMessage(UM_COMMAND, ComponentAudio, MAKELPARAM(5104, 2));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    {
        const InEditor editor([&](FileAlbumEditor& e) {
            const std::vector<std::string> keys = e.albumKeys();
            const auto other = std::find(keys.begin(), keys.end(), "Other");
            ASSERT_NE(other, keys.end());
            e.albumTree()->setCurrentItem(
                e.albumTree()->topLevelItem(static_cast<int>(other - keys.begin())));
        });
        window->sendMessage(UM_COMMAND, ComponentAudio, 5121);
        ASSERT_TRUE(editor.seen());
    }
    EXPECT_EQ(player->album().key(), "Other");
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_EQ(player->album().GetSong(1)->title, d);

    // Choosing an album whose song at the current number is the playing file keeps it playing.
    window->sendMessage(UM_COMMAND, ComponentAudio, MAKELPARAM(5104, 2));
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    ASSERT_EQ(player->playingPath(), a);
    {
        const InEditor editor([&](FileAlbumEditor& e) {
            e.runCommand(FileAlbumEditor::SaveAsCommand); // answered below: a copy, "Copy"
        });
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* dialog =
                    qobject_cast<AlbumPropertiesDialog*>(QApplication::activeModalWidget())) {
                dialog->titleEdit()->setText(QStringLiteral("Copy"));
                dialog->accept();
            }
        });
        answer.start(5);
        window->sendMessage(UM_COMMAND, ComponentAudio, 5121);
        ASSERT_TRUE(editor.seen());
    }
    EXPECT_EQ(player->album().key(), "Copy");
    EXPECT_EQ(player->state(), kModePlaying) << "song 2 of the copy is the same file";
    EXPECT_EQ(player->playingPath(), a);
    window->sendMessage(UM_COMMAND, ComponentAudio, 5102);
}
