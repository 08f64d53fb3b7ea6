// The Digital Audio Player inside the real main window, playing real files through the engines
// into the test PulseAudio.

#include "albums/filealbumeditor.h"
#include "analysis.h"
#include "engines/outputconfig.h"
#include "platform/log.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "players/audioplayer.h"
#include "players/lyricviewer.h"
#include "playertest.h"
#include "support/clirun.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <map>

using enginetest::pump;
using enginetest::pumpUntil;
using playertest::openEngine;
using playertest::titles;

namespace {

class AudioPlayerTest : public playertest::WindowTest<AudioPlayer>
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        openWindow(ComponentAudio);
        player = static_cast<AudioPlayer*>(window->component(ComponentAudio));
        ASSERT_NE(player, nullptr);
        pumpUntil([this] { return player->state() == kModeStopped; }, 2000);
    }
    // A tone of its own pitch per song, so the order can be heard as well as seen.
    std::string tone(const std::string& name, double seconds, int hz)
    {
        return playertest::tone(homePath(name), seconds, hz);
    }
    std::string m3u(const std::vector<std::string>& songs)
    {
        std::ofstream out(homePath("list.m3u"));
        for (const std::string& s : songs)
            out << s << "\n";
        return homePath("list.m3u");
    }
    bool playing(int ms = 5000)
    {
        return pumpUntil([&] { return player->state() == kModePlaying; }, ms);
    }
    int engineMode() { return player->session() ? player->session()->mode() : 0; }
    void seekTo(int seconds)
    {
        player->sendMessage(WM_HSCROLL, MAKELPARAM(SB_THUMBPOSITION, seconds), 0);
    }
    bool chooseInOpen(const std::string& dir, const QString& names, QStringList* offered = nullptr)
    {
        const auto answered = playertest::answerFileDialog(homePath(dir), names, offered);
        player->sendMessage(WM_COMMAND, cmd::Open, 0);
        return *answered;
    }
    bool temporaryListLeft() const
    {
        return QFileInfo::exists(QString::fromStdString(paths::dataDir() + "/$$TEMP$$.M3U"));
    }

    // The songs the player starts, in order, until it is stopped again (or time runs out).
    std::vector<int> songsUntilStopped(int ms)
    {
        std::vector<int> played;
        std::string lastPath;
        pumpUntil(
            [&] {
                const bool on = player->state() == kModePlaying;
                if (on && (player->playingPath() != lastPath ||
                           (!played.empty() && player->album().currentSong() != played.back()))) {
                    lastPath = player->playingPath();
                    played.push_back(player->album().currentSong());
                }
                if (player->state() == kModeStopped)
                    lastPath.clear();
                return player->state() == kModeStopped && !played.empty();
            },
            ms);
        return played;
    }

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
    EXPECT_EQ(songsUntilStopped(15000), (std::vector<int>{1, 2, 3}));
    pump(1500); // nothing starts again
    const analysis::Stereo heard = recorder.stop();
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
        songs.push_back(tone(std::to_string(i) + ".wav", 0.6, 300 + 100 * i));
    ComponentRecord& r = app->settings().components[ComponentAudio];
    r.playMode = PlayMethodRandom;
    playPending(m3u(songs));
    std::vector<int> random = songsUntilStopped(20000);
    std::sort(random.begin(), random.end());
    EXPECT_EQ(random, (std::vector<int>{1, 2, 3, 4, 5})) << "each song once, then stop";

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
    command(cmd::Stop);
    EXPECT_EQ(player->state(), kModeStopped);
}

TEST_F(AudioPlayerTest, TheSliderAndRewindMoveThePlaceAndAPauseKeepsIt)
{
    playPending(m3u({tone("a.wav", 12, 300)}));
    ASSERT_TRUE(playing());
    seekTo(6);
    EXPECT_EQ(player->positionSeconds(), 6);
    pump(1200);
    EXPECT_GE(player->positionSeconds(), 6) << "the engine went there, the ticks read it back";
    EXPECT_LE(player->positionSeconds(), 8);
    // Another scroll code is only the thumb being dragged: nothing moves.
    player->sendMessage(WM_HSCROLL, MAKELPARAM(SB_THUMBTRACK, 1), 0);
    pump(600);
    EXPECT_GE(player->positionSeconds(), 6);
    command(cmd::Pause);
    ASSERT_EQ(player->state(), kModePaused);
    // Moved while paused, it stays paused at the new place.
    seekTo(4);
    pump(1500);
    EXPECT_EQ(player->state(), kModePaused);
    EXPECT_EQ(engineMode(), kModePaused);
    EXPECT_EQ(player->positionSeconds(), 4);
    // Play/Pause resumes where it was, not from the start.
    command(cmd::Play);
    EXPECT_EQ(player->state(), kModePlaying);
    pump(1200);
    EXPECT_GE(player->positionSeconds(), 4);
    EXPECT_LE(player->positionSeconds(), 6);
    // Rewind by ten seconds from about five: back to the start, still playing.
    command(cmd::Rewind);
    pump(700);
    EXPECT_LE(player->positionSeconds(), 1);
    EXPECT_EQ(player->state(), kModePlaying);
    EXPECT_EQ(player->album().currentSong(), 1);
}

TEST_F(AudioPlayerTest, TheEngineFollowsTheFileTypeAndTheSettings)
{
    const std::string wav = tone("tone.wav", 3, 440), mp3 = homePath("tone.mp3");
    ASSERT_TRUE(enginetest::sh("lame --quiet '" + wav + "' '" + mp3 + "'"));
    // WAVE data under an MPEG name: the internal MPEG engine finds no frames in it.
    const std::string disguised = homePath("disguised.mp3");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(wav), QString::fromStdString(disguised)));
    AppSettings& s = app->settings();
    auto engineFor = [&](const std::string& file) {
        playPending(file);
        EXPECT_TRUE(playing()) << file << ": " << player->messageText();
        return openEngine(*player);
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
    command(cmd::Stop);
    EXPECT_EQ(openEngine(*player), "");
}

TEST_F(AudioPlayerTest, ConfiguringTheDeviceHoldsTheSongAndPlaysOn)
{
    app->settings().wavUseDirectShow = 0;
    playPending(tone("a.wav", 6, 440));
    ASSERT_TRUE(playing());
    ASSERT_EQ(openEngine(*player), "MCI");
    int modeWhileShown = 0;
    QTimer::singleShot(100, [&] {
        auto* dialog =
            qobject_cast<engines::OutputConfigDialog*>(QApplication::activeModalWidget());
        modeWhileShown = dialog ? engineMode() : -1;
        if (dialog)
            dialog->reject();
    });
    unsetenv("KOLVO_NONINTERACTIVE"); // a user is there to see the dialog
    player->sendMessage(WM_COMMAND, cmd::Configure, 0);
    setenv("KOLVO_NONINTERACTIVE", "1", 1);
    EXPECT_EQ(modeWhileShown, kModePaused) << "the output dialog shows while the song is held";
    EXPECT_EQ(engineMode(), kModePlaying);
    pump(600);
    EXPECT_EQ(player->state(), kModePlaying);
}

TEST_F(AudioPlayerTest, StreamSavingAndLyricsAreSwitchedFromTheirButtons)
{
    AppSettings& s = app->settings();
    QSettings file(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
    s.saveStream = 0;
    for (const int on : {1, 0}) {
        player->sendMessage(WM_COMMAND, cmd::SaveStream, 0);
        EXPECT_EQ(s.saveStream, on);
        EXPECT_EQ(player->button(cmd::SaveStream)->IsChecked(), on == 1);
        file.sync();
        EXPECT_EQ(file.value(QStringLiteral("MP3/SaveStream")).toInt(), on) << "written at once";
    }

    const std::string song = tone("sung.wav", 6, 440);
    writeFile("sung.txt", "la la la\n");
    s.displayLyric = 0;
    LyricViewer* lyric = player->lyricViewer();
    ASSERT_NE(lyric, nullptr);
    const auto lyrics = [&] { player->sendMessage(WM_COMMAND, cmd::Lyric, 0); };
    lyrics(); // switched on while stopped: nothing to show yet
    EXPECT_EQ(s.displayLyric, 1);
    EXPECT_FALSE(lyric->isVisible());
    lyrics();
    playPending(song);
    ASSERT_TRUE(playing());
    EXPECT_FALSE(lyric->isVisible()) << "lyrics are off";
    lyrics();
    EXPECT_TRUE(player->button(cmd::Lyric)->IsChecked());
    EXPECT_TRUE(lyric->isVisible()) << "switched on while playing: the song's lyrics show";
    command(cmd::Pause);
    lyrics();
    EXPECT_EQ(s.displayLyric, 0);
    EXPECT_FALSE(player->button(cmd::Lyric)->IsChecked());
    EXPECT_FALSE(lyric->isVisible());
    lyrics();
    EXPECT_TRUE(lyric->isVisible()) << "paused counts as the song being there";
    QTest::keyClick(lyric, Qt::Key_Escape);
    EXPECT_FALSE(lyric->isVisible()) << "Escape puts the lyric away";
    EXPECT_EQ(s.displayLyric, 0) << "and it stays away for the next song";
    EXPECT_FALSE(player->button(cmd::Lyric)->IsChecked());
}

TEST_F(AudioPlayerTest, OpenPlaysTheChosenFilesAndRemovesItsTemporaryList)
{
    const std::string a = tone("pick/a.wav", 2, 300), b = tone("pick/b.wav", 2, 500);
    tone("pick/c.wav", 1, 700);
    ASSERT_TRUE(chooseInOpen("pick", QStringLiteral("\"a.wav\" \"b.wav\"")));
    EXPECT_EQ(titles(player->album()), (std::vector<std::string>{a, b}));
    EXPECT_FALSE(temporaryListLeft()) << "the list of the chosen files is gone once read";
    EXPECT_FALSE(app->pendingIsTemporary);
    EXPECT_EQ(app->settings().components[ComponentAudio].initialDir, homePath("pick"))
        << "the next dialog starts where this one ended";
    ASSERT_TRUE(playing());
    EXPECT_EQ(player->album().currentSong(), 1);

    // Record while playing does nothing (it records from the stopped state only).
    std::vector<QString> told;
    setMessageBoxHook([&](const QString&, const QString& text, MessageIcon, MessageButtons) {
        told.push_back(text);
        return IDOK;
    });
    player->sendMessage(WM_COMMAND, cmd::Record, 0);
    setMessageBoxHook({});
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(player->state(), kModePlaying) << "and the song plays on";
}

// Ogg, FLAC and Opus are offered by the Open dialog, join the album and are played by the
// general engine, as kolvo-cli plays them.
TEST_F(AudioPlayerTest, OggFlacAndOpusAreOfferedAndPlayed)
{
    const std::string wav = tone("pick/source.wav", 2, 440);
    const std::string ogg = homePath("pick/a.ogg"), flac = homePath("pick/b.flac"),
                      opus = homePath("pick/c.opus");
    enginetest::sh("sox '" + wav + "' '" + ogg + "'");
    enginetest::sh("sox '" + wav + "' '" + flac + "'");
    enginetest::sh("ffmpeg -loglevel error -y -i '" + wav + "' -c:a libopus '" + opus + "'");
    QStringList offered;
    ASSERT_TRUE(chooseInOpen("pick", QStringLiteral("\"a.ogg\" \"b.flac\" \"c.opus\""), &offered));
    ASSERT_FALSE(offered.isEmpty());
    for (const char* pattern : {"*.ogg", "*.flac", "*.opus", "*.m4a", "*.wma", "*.wv", "*.mp3"})
        EXPECT_TRUE(offered.first().contains(QLatin1String(pattern))) << pattern;
    EXPECT_EQ(titles(player->album()), (std::vector<std::string>{ogg, flac, opus}));
    ASSERT_TRUE(playing()) << player->messageText();
    EXPECT_EQ(openEngine(*player), "KAMEngine_");
    command(cmd::Next); // the FLAC song after it plays too
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
    ASSERT_TRUE(chooseInOpen("lists", QStringLiteral("mix.m3u")));
    EXPECT_EQ(titles(player->album()), (std::vector<std::string>{a, b}));
    EXPECT_EQ(player->album().GetSong(1)->extendedInfo, "The First");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(homePath("lists/mix.m3u"))))
        << "the user's own list is not a temporary one";
    ASSERT_TRUE(playing()) << player->messageText();
    EXPECT_EQ(player->playingPath(), a);
    // Chosen with a song, the list gives its songs in its place.
    ASSERT_TRUE(chooseInOpen("lists", QStringLiteral("\"c.wav\" \"mix.m3u\"")));
    EXPECT_EQ(titles(player->album()), (std::vector<std::string>{c, a, b}));
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
        QAction* folder = nullptr;
        for (QAction* action : menu ? menu->actions() : QList<QAction*>{})
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
    EXPECT_EQ(titles(player->album()), (std::vector<std::string>{a, b, d}))
        << "name order, the sub-folder in its place";
    EXPECT_TRUE(playing()) << player->messageText();
    EXPECT_FALSE(temporaryListLeft());
}

TEST_F(AudioPlayerTest, AMissingFileIsReportedAndThePlayerGoesOn)
{
    playPending(m3u({homePath("gone/missing.mp3"), tone("good.wav", 2, 440)}));
    ASSERT_TRUE(pumpUntil([&] { return !player->messageText().empty(); }, 5000));
    EXPECT_EQ(player->messageText(), "Can't play Track 1, missing.mp3 File.");
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_NE(player->infoText().find("Error : Can't play Track 1, missing.mp3 File."),
              std::string::npos)
        << player->infoText();
    command(cmd::Next);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModeStopped; }, 1000));
    command(cmd::Play);
    ASSERT_TRUE(playing());
    EXPECT_EQ(player->album().currentSong(), 2);
    EXPECT_TRUE(player->messageText().empty());
}

// A file of the player's kinds that is there but holds no audio it plays (a tracker module
// under an audio name) fails with the designed line, and the log says it is not audio, never
// that it cannot be reached: the drive retry is for files that are not there.
TEST_F(AudioPlayerTest, AFileThatIsThereButNotPlayableFailsWithTheDesignedLine)
{
    klog::clearLast("players");
    playPending(
        m3u({writeFile("music/tune.au", "Extended Module: tune\x1A" + std::string(300, '\0'))}));
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
    const QByteArray pulse = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", QByteArray::fromStdString("unix:" + homePath("no-such-socket")));
    playPending(m3u({a, b}));
    const bool failed = pumpUntil([&] { return !player->messageText().empty(); }, 5000);
    const std::string why = klog::last("engines");
    command(cmd::Next);
    command(cmd::Play);
    pumpUntil([&] { return player->album().currentSong() == 2 && !player->messageText().empty(); },
              5000);
    pump(300);
    if (pulse.isNull())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", pulse);
    setMessageBoxHook({});
    ASSERT_TRUE(failed);
    EXPECT_EQ(player->messageText(), "Can't play Track 2, b.wav File.");
    EXPECT_NE(why.find("the sound output cannot be opened"), std::string::npos) << why;
    ASSERT_EQ(told.size(), 1u) << "once a session";
    EXPECT_TRUE(told[0].contains(QStringLiteral("sound output"))) << told[0].toStdString();
    command(cmd::Play); // with the server back the songs play again
    EXPECT_TRUE(playing()) << player->messageText();
}

TEST_F(AudioPlayerTest, ASongOnAnotherMediumIsFoundThere)
{
    // The album remembers the song on a medium mounted at "disc1"; it is now at "disc2".
    const std::string song = tone("disc2/music/a.wav", 1, 440);
    setenv("KOLVO_MOUNTS", (homePath("disc1") + ":" + homePath("disc2")).c_str(), 1);
    playPending(m3u({homePath("disc1/music/a.wav")}));
    const bool started = playing();
    unsetenv("KOLVO_MOUNTS");
    ASSERT_TRUE(started) << player->messageText();
    EXPECT_EQ(player->playingPath(), song);
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
    const std::map<std::string, std::vector<std::string>> expected = {
        {writeFile("empty.ram", "\n# nothing to play\n"), {"RealAudio engine", "media device"}},
        {writeFile("noise.mp3", std::string(4096, '\x55')), {"MPEG engine", "media device"}},
        {writeFile("noise.au", std::string(4096, '\x55')), {"general engine"}}};
    klog::configure("engines:debug");
    for (const auto& [file, order] : expected) {
        testing::internal::CaptureStderr();
        playPending(file);
        const std::string playerLog = testing::internal::GetCapturedStderr();
        EXPECT_EQ(player->state(), kModeStopped) << file;
        const ProcessResult cli =
            runProgram(QString::fromStdString(builtProgram("kolvo-cli")),
                       {"info", QString::fromStdString(file)}, 20000, {"KOLVO_LOG=engines:debug"});
        EXPECT_GT(cli.code, 0) << file;
        const std::string cliLog = cli.err;
        EXPECT_EQ(tried(playerLog), order) << file << "\n" << playerLog;
        EXPECT_EQ(tried(cliLog), tried(playerLog)) << file << "\n" << cliLog;
    }
    klog::configure("");
}

// Album Management opens the file album editor on the player's albums; what the user does there
// becomes the player's album, and the song that plays goes on only while it is still the song
// at the current number.
TEST_F(AudioPlayerTest, AlbumManagementChangesTheAlbumAndKeepsOrStopsTheSong)
{
    const std::string a = tone("m/a.wav", 30, 300), b = tone("m/b.wav", 30, 400),
                      c = tone("m/c.wav", 30, 500), d = tone("m/d.wav", 30, 600);
    for (const auto& [key, songs] :
         {std::pair<const char*, std::vector<std::string>>{"Mine", {a, b, c}}, {"Other", {d, a}}}) {
        Album album(AlbumKindAudio);
        ASSERT_TRUE(album.Open(key, 0));
        for (const std::string& s : songs)
            album.AddSong(s);
        ASSERT_TRUE(album.Save());
    }
    // Opens the editor, lets `f` act in it, closes it.
    const auto inEditor = [&](const std::function<void(FileAlbumEditor&)>& f) {
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* editor = qobject_cast<FileAlbumEditor*>(QApplication::activeModalWidget());
            if (!editor || seen)
                return;
            seen = true;
            f(*editor);
            editor->runCommand(FileAlbumEditor::CloseCommand);
        });
        poll.start(5);
        command(cmd::AlbumManagement);
        EXPECT_TRUE(seen);
    };
    const auto playSong2 = [&] {
        command(cmd::Play, 2);
        EXPECT_TRUE(playing());
    };
    player->album().Open("Mine", 0);
    playSong2();
    ASSERT_EQ(player->playingPath(), b);

    // A song added: song 2 is still b.wav, so it plays on, and the player has four songs.
    inEditor([&](FileAlbumEditor& e) {
        EXPECT_EQ(e.kind(), AlbumKindAudio);
        EXPECT_EQ(e.selectedKey(), "Mine");
        e.dropFiles({d});
    });
    EXPECT_EQ(player->state(), kModePlaying);
    EXPECT_EQ(player->album().songCount(), 4);
    EXPECT_EQ(player->album().currentSong(), 2);
    EXPECT_EQ(player->playingPath(), b);

    // Paused, and the first song deleted: song 2 is now c.wav, so the player stops.
    command(cmd::Pause);
    ASSERT_EQ(player->state(), kModePaused);
    inEditor([&](FileAlbumEditor& e) {
        e.selectRows({0});
        e.runCommand(FileAlbumEditor::CutCommand);
    });
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_EQ(titles(player->album()), (std::vector<std::string>{b, c, d}));

    // Playing song 2 (c.wav) and choosing another album whose song 2 is another file: the
    // player takes that album and stops.
    playSong2();
    inEditor([&](FileAlbumEditor& e) {
        const std::vector<std::string> keys = e.albumKeys();
        const auto other = std::find(keys.begin(), keys.end(), "Other");
        ASSERT_NE(other, keys.end());
        e.albumTree()->setCurrentItem(
            e.albumTree()->topLevelItem(static_cast<int>(other - keys.begin())));
    });
    EXPECT_EQ(player->album().key(), "Other");
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_EQ(player->album().GetSong(1)->title, d);

    // Choosing an album whose song at the current number is the playing file keeps it playing.
    playSong2();
    ASSERT_EQ(player->playingPath(), a);
    QTimer answer; // the Save As dialog: a copy, "Copy"
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog =
                qobject_cast<AlbumPropertiesDialog*>(QApplication::activeModalWidget())) {
            dialog->titleEdit()->setText(QStringLiteral("Copy"));
            dialog->accept();
        }
    });
    answer.start(5);
    inEditor([&](FileAlbumEditor& e) { e.runCommand(FileAlbumEditor::SaveAsCommand); });
    EXPECT_EQ(player->album().key(), "Copy");
    EXPECT_EQ(player->state(), kModePlaying) << "song 2 of the copy is the same file";
    EXPECT_EQ(player->playingPath(), a);
    command(cmd::Stop);
}
