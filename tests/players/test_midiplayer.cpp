// The MIDI Player in the real main window, playing generated MIDI and karaoke files, IMS songs
// and modules into the test PulseAudio, and its karaoke viewer.

#include "engines/karaoke.h"
#include "engines/midisynth.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "players/karaokeviewer.h"
#include "players/midiplayer.h"
#include "playertest.h"
#include "ui/digitdisplay.h"

#include <QPainter>

#include <cstring>
#include <fstream>

using enginetest::pump;
using enginetest::pumpUntil;
using playertest::openEngine;

namespace {

class MidiPlayerTest : public playertest::WindowTest<MidiPlayer>
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        if (!enginetest::haveTestSink())
            GTEST_SKIP() << "no test sound sink";
        if (engines::findSoundFont().empty())
            GTEST_SKIP() << "no SoundFont installed";
        openWindow(ComponentMidi);
        player = static_cast<MidiPlayer*>(window->component(ComponentMidi));
        ASSERT_NE(player, nullptr);
        pumpUntil([this] { return player->state() == kModeStopped; }, 2000);
    }
    std::string makeMidi(const std::string& name, const std::string& args)
    {
        EXPECT_TRUE(enginetest::sh("/usr/bin/python3 '" KOLVO_SOURCE_DIR "/tools/make-midi' " +
                                   args + " '" + homePath(name) + "'"));
        return homePath(name);
    }
    // A module or IMS song by tools/make-test-music.
    std::string makeMusic(const std::string& kind, const std::string& name, const char* notes = "")
    {
        QDir().mkpath(QFileInfo(QString::fromStdString(homePath(name))).absolutePath());
        EXPECT_TRUE(enginetest::sh("/usr/bin/python3 '" KOLVO_SOURCE_DIR
                                   "/tools/make-test-music' " +
                                   kind + " '" + homePath(name) + "' " + notes));
        return homePath(name);
    }
    bool playing()
    {
        return pumpUntil([this] { return player->state() == kModePlaying; }, 5000);
    }
    // Lit tempo display, its value, lit key display, its value.
    std::vector<int> displays()
    {
        return {player->tempoDisplay()->isLit(), player->tempoDisplay()->value(),
                player->keyDisplay()->isLit(), player->keyDisplay()->value()};
    }
    void repeat(int id, int times)
    {
        for (int i = 0; i < times; ++i)
            command(id);
    }

    MidiPlayer* player = nullptr;
};

using KaraokeViewerAlone = KolvoHomeTest; // the viewer on its own, fed the engine's events

} // namespace

TEST_F(MidiPlayerTest, AKaraokeFilePlaysWithItsWordsLitAsTheyAreSung)
{
    const std::string kar =
        makeMidi("Evening Song.kar", "karaoke --title 'Evening Song' --text '\\Sun|ny e|ve/ning "
                                     "lights\\Good| night' --start 1.0 --step 0.5");
    enginetest::SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    playPending(kar);
    ASSERT_TRUE(playing());
    EXPECT_EQ(openEngine(*player), "KMIDEngine_");
    EXPECT_EQ(displays(), (std::vector<int>{1, 100, 1, 0}));
    KaraokeViewer* viewer = player->karaokeViewer();
    EXPECT_TRUE(viewer->isActive());
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->title().toStdString(), "Evening Song.kar");
    // The page comes up at once (so the title gives way to it); at 1.5 s "Sun" and "ny e" are
    // sung; the second page replaces the first.
    ASSERT_TRUE(pumpUntil([&] { return viewer->lineText(1) == "Sunny eve"; }, 2000));
    EXPECT_EQ(viewer->lineText(2).toStdString(), "ning lights");
    ASSERT_TRUE(pumpUntil([&] { return viewer->litText(1) == "Sun"; }, 3000));
    ASSERT_TRUE(pumpUntil([&] { return viewer->litText(1) == "Sunny e"; }, 1000));
    EXPECT_TRUE(viewer->litText(2).isEmpty());
    ASSERT_TRUE(pumpUntil([&] { return viewer->lineText(1) == "Good night"; }, 3000));
    EXPECT_TRUE(viewer->lineText(2).isEmpty());
    ASSERT_TRUE(pumpUntil([this] { return player->state() == kModeStopped; }, 8000));
    pump(600); // the next tick tidies up after the end
    const auto heard = recorder.stop();
    EXPECT_GT(analysis::peak(analysis::mix(heard)), 0.02)
        << "the tune was not heard: rms " << analysis::rms(analysis::mix(heard));
    // The end of the song hides the viewer and darkens the displays.
    EXPECT_FALSE(viewer->isActive());
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_FALSE(player->tempoDisplay()->isLit());
    EXPECT_FALSE(player->keyDisplay()->isLit());
}

TEST_F(MidiPlayerTest, TempoAndKeyStepWithinTheirLimitsOnlyWhilePlaying)
{
    const std::string mid = makeMidi("long.mid", "tone --seconds 30");
    // Stopped: nothing changes.
    command(cmd::Fast);
    command(cmd::KeyHigh);
    EXPECT_EQ(player->tempoPercent(), 0);
    EXPECT_EQ(player->key(), 0);
    playPending(mid);
    ASSERT_TRUE(playing());
    EXPECT_EQ(player->baseTempo(), 120000);
    // The time display follows the song on the half-second tick.
    EXPECT_TRUE(pumpUntil([this] { return player->positionSeconds() >= 2; }, 4000));
    command(cmd::Fast);
    EXPECT_EQ(player->tempoDisplay()->value(), 110);
    repeat(cmd::Fast, 50);
    EXPECT_EQ(player->tempoPercent(), 500);
    repeat(cmd::Slow, 60);
    repeat(cmd::KeyHigh, 15);
    EXPECT_EQ(displays(), (std::vector<int>{1, 10, 1, 12}));
    EXPECT_EQ(player->tempoPercent(), 10);
    EXPECT_EQ(player->key(), 12);
    repeat(cmd::KeyLow, 30);
    EXPECT_EQ(player->key(), -12);
    // Paused: the controls hold.
    command(cmd::Pause);
    ASSERT_EQ(player->state(), kModePaused);
    command(cmd::KeyHigh);
    command(cmd::Fast);
    EXPECT_EQ(player->key(), -12);
    EXPECT_EQ(player->tempoPercent(), 10);
    command(cmd::Stop);
    pump(100);
    EXPECT_FALSE(player->tempoDisplay()->isLit());
    EXPECT_FALSE(player->keyDisplay()->isLit());
}

TEST_F(MidiPlayerTest, WithoutTheInternalEngineTheSequencerPlaysWithoutAKey)
{
    app->settings().midUseInternal = 0;
    playPending(makeMidi("seq.mid", "tone --seconds 20"));
    ASSERT_TRUE(playing());
    EXPECT_EQ(openEngine(*player), "MCI");
    EXPECT_TRUE(player->tempoDisplay()->isLit());
    EXPECT_EQ(player->baseTempo(), 120);
    EXPECT_FALSE(player->keyDisplay()->isLit());
    command(cmd::KeyHigh);
    EXPECT_EQ(player->key(), 0);
    command(cmd::Fast);
    EXPECT_EQ(player->tempoPercent(), 110);
    // A karaoke file still goes to the engine first, which shows its words.
    playPending(makeMidi("words.kar", "karaoke"));
    ASSERT_TRUE(playing());
    EXPECT_EQ(openEngine(*player), "KMIDEngine_");
    command(cmd::Stop);
}

TEST_F(MidiPlayerTest, FastAndKeyHighChangeAnImsSongButAModuleShowsNeither)
{
    // An IMS song with its bank beside it (twelve seconds at 120 a minute) and a module of
    // about eleven seconds.
    const std::string ims = makeMusic("ims", "Tune.ims", "--notes 69:24");
    makeMusic("bnk", "Tune.bnk");
    const std::string mod = makeMusic("mod", "Tune.mod", "--notes 72:96");
    // How far the song moves in a second of the clock.
    const auto songMsPerSecond = [this] {
        const int before = player->session()->positionMs();
        pump(1000);
        return player->session()->positionMs() - before;
    };
    for (const auto& [file, prefix] :
         {std::pair<std::string, std::string>{ims, "KIMSEngine_"}, {mod, "KMODEngine_"}}) {
        SCOPED_TRACE(file);
        const bool module = file == mod;
        playPending(file);
        ASSERT_TRUE(playing());
        ASSERT_EQ(openEngine(*player), prefix);
        EXPECT_EQ(displays(), (std::vector<int>{!module, module ? 0 : 100, !module, 0}));
        pump(300); // past the start of the output
        const int normal = songMsPerSecond();
        EXPECT_NEAR(normal, 1000, 200);
        // Ten steps of Fast: twice the tempo, so twice the song in the same second; a module
        // keeps its own tempo and its display stays off.
        repeat(cmd::Fast, 10);
        EXPECT_EQ(player->tempoDisplay()->value(), module ? 0 : 200);
        pump(200);
        const int fast = songMsPerSecond();
        EXPECT_NEAR(static_cast<double>(fast) / normal, module ? 1.0 : 2.0, 0.3)
            << fast << " against " << normal;
        // Key High moves the song itself, not only the display; not a module's.
        repeat(cmd::KeyHigh, 3);
        EXPECT_EQ(player->keyDisplay()->value(), module ? 0 : 3);
        EXPECT_EQ(player->session()->key(), module ? 0 : 3);
        command(cmd::KeyLow);
        EXPECT_EQ(player->session()->key(), module ? 0 : 2);
        command(cmd::Stop);
        pump(100);
        EXPECT_FALSE(player->tempoDisplay()->isLit());
        EXPECT_FALSE(player->keyDisplay()->isLit());
    }
}

// Open offers the MIDI kinds, plays the songs chosen among other files, and plays a play list
// chosen alone as it is.
TEST_F(MidiPlayerTest, OpenPlaysTheChosenSongsAndAListChosenAlone)
{
    const std::string it = makeMusic("it", "pick/a.it", "--notes 69:32");
    const std::string mod = makeMusic("mod", "pick/b.mod", "--notes 72:32");
    writeFile("pick/notes.txt", "words\n");
    writeFile("pick/list.m3u", "#EXTM3U\n#EXTINF:4,The Second\nb.mod\n");
    QStringList offered;
    const auto choose = [&](const QString& names) {
        const auto answered = playertest::answerFileDialog(homePath("pick"), names, &offered);
        command(cmd::Open);
        return *answered;
    };
    ASSERT_TRUE(choose(QStringLiteral("\"a.it\" \"notes.txt\" \"b.mod\"")));
    ASSERT_FALSE(offered.isEmpty());
    for (const char* pattern : {"*.mid", "*.kar", "*.rmi", "*.ims", "*.it", "*.mod", "*.xm"})
        EXPECT_TRUE(offered.first().contains(QLatin1String(pattern))) << pattern;
    EXPECT_EQ(playertest::titles(player->album()), (std::vector<std::string>{it, mod}))
        << "the text file is no song";
    EXPECT_EQ(app->settings().components[ComponentMidi].initialDir, homePath("pick"));
    ASSERT_TRUE(playing()) << player->messageText();
    EXPECT_EQ(openEngine(*player), "KMODEngine_");
    EXPECT_EQ(player->playingPath(), it);

    ASSERT_TRUE(choose(QStringLiteral("list.m3u")));
    ASSERT_EQ(player->album().songCount(), 1);
    EXPECT_EQ(player->album().GetSong(1)->extendedInfo, "The Second") << "the list's own title";
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(homePath("pick/list.m3u"))));
    ASSERT_TRUE(pumpUntil([&] { return player->playingPath() == mod; }, 5000))
        << player->messageText();
}

TEST_F(MidiPlayerTest, ASongNoEngineTakesLeavesTheDesignedMessage)
{
    playPending(makeMidi("broken.mid", "broken --kind no-header"));
    pump(200);
    EXPECT_EQ(player->state(), kModeStopped);
    EXPECT_EQ(player->messageText(), "Can't play Track 1, broken.mid File.");
    EXPECT_FALSE(player->keyDisplay()->isLit());
    EXPECT_FALSE(player->karaokeViewer()->isVisible());
}

// A line record as the engine sends it: the id, the page flag, then the bytes.
void sendLine(KaraokeViewer& viewer, int id, bool page, const std::string& bytes)
{
    std::vector<std::int32_t> record(2 + (bytes.size() + 4) / 4, 0);
    record[0] = id;
    record[1] = page ? 1 : 0;
    std::memcpy(record.data() + 2, bytes.data(), bytes.size());
    viewer.sendMessage(UM_KARAOKE, static_cast<WPARAM>(id),
                       reinterpret_cast<LPARAM>(record.data()));
}
void sendLight(KaraokeViewer& viewer, int code, int line, int id, int position, int length)
{
    const midi::KaraokeHighlightRecord r{line, id, position, length};
    viewer.sendMessage(UM_KARAOKE, static_cast<WPARAM>(static_cast<std::uint32_t>(code)),
                       reinterpret_cast<LPARAM>(&r));
}

TEST_F(KaraokeViewerAlone, HighlightsWaitForPlayingAndLinesScrollAsDesigned)
{
    int mode = kModePaused;
    KaraokeViewer viewer(nullptr, [&] { return mode; });
    const auto shown = [&] {
        return std::vector<std::string>{
            viewer.lineText(0).toStdString(), viewer.lineText(1).toStdString(),
            viewer.litText(1).toStdString(), viewer.lineText(2).toStdString(),
            viewer.litText(2).toStdString()};
    };
    using Lines = std::vector<std::string>;
    sendLine(viewer, 1, true, "ignored"); // not shown: nothing is taken
    EXPECT_TRUE(viewer.lineText(1).isEmpty());
    viewer.showFor(QStringLiteral("song.kar"));
    viewer.sendMessage(UM_KARAOKE, 0, reinterpret_cast<LPARAM>("Title"));
    EXPECT_EQ(viewer.lineState(), KaraokeViewer::TitleShown);
    EXPECT_EQ(viewer.lineText(0).toStdString(), "Title");
    sendLine(viewer, 1, true, "one two");
    sendLine(viewer, 2, false, "three four");
    EXPECT_EQ(viewer.lineState(), KaraokeViewer::Running);
    sendLight(viewer, -1, 0, 1, 0, 3); // paused: highlights are dropped
    EXPECT_TRUE(viewer.litText(1).isEmpty());
    mode = kModePlaying;
    sendLight(viewer, -1, 0, 1, 0, 3);
    EXPECT_EQ(viewer.litText(1).toStdString(), "one");
    sendLight(viewer, -2, 0, 1, 3, 4);
    sendLight(viewer, -1, 0, 2, 6, 4);
    EXPECT_EQ(shown(), (Lines{"", "one two", "one two", "three four", "four"}));
    // A further line: the lower one moves up with its highlight.
    sendLine(viewer, 3, false, "five");
    EXPECT_EQ(shown(), (Lines{"", "three four", "four", "five", ""}));
    // A code above 100000 starts a page without the flag.
    sendLine(viewer, 100004, false, "six");
    EXPECT_EQ(shown(), (Lines{"", "six", "", "", ""}));
    // A line event without a record scrolls twice.
    sendLine(viewer, 5, false, "seven");
    viewer.sendMessage(UM_KARAOKE, 6, 0);
    EXPECT_EQ(shown(), (Lines{"", "", "", "", ""}));
    viewer.hideViewer();
    EXPECT_FALSE(viewer.isActive());
}

TEST_F(KaraokeViewerAlone, KoreanWordsAreDecodedAndTheRectangleIsKept)
{
    text::setLegacyCodePage("CP949");
    {
        KaraokeViewer viewer(nullptr, [] { return kModePlaying; });
        viewer.showFor(QStringLiteral("k.kar"));
        sendLine(viewer, 1, true, *text::encodeLegacy("안녕하세요", "CP949"));
        sendLight(viewer, -2, 1, 1, 4, 6);
        EXPECT_EQ(viewer.lineText(1).toStdString(), "안녕하세요");
        EXPECT_EQ(viewer.litText(1).toStdString(), "안녕하세요");
        viewer.setGeometry(QRect(40, 50, 300, 120));
    }
    text::setLegacyCodePage("");
    const Profile profile;
    EXPECT_EQ(profile.GetProfileInt("KaraokeViewer", "Left", -1), 40);
    EXPECT_EQ(profile.GetProfileInt("KaraokeViewer", "Right", -1), 340);
}

TEST_F(MidiPlayerTest, APictureOfTheMidiPlayerSingingAKaraokeFile)
{
    playPending(makeMidi(
        "Kolvo Night Song.kar",
        "karaoke --title 'Kolvo Night Song' --text '\\Kol|vo sings/in the |night\\Sec|ond page' "
        "--start 0.5 --step 0.6"));
    ASSERT_TRUE(playing());
    command(cmd::Fast);
    command(cmd::Fast);
    command(cmd::KeyHigh);
    KaraokeViewer* viewer = player->karaokeViewer();
    ASSERT_TRUE(pumpUntil([&] { return viewer->litText(1) == "Kolvo sings"; }, 4000));
    pump(100);
    const QPixmap main = window->grab(), words = viewer->grab();
    QImage img(std::max(main.width(), words.width()), main.height() + 8 + words.height(),
               QImage::Format_RGB32);
    img.fill(QColor(0x30, 0x30, 0x30));
    QPainter p(&img);
    p.drawPixmap(0, 0, main);
    p.drawPixmap(0, main.height() + 8, words);
    p.end();
    EXPECT_TRUE(img.save(playertest::shotDir() + QStringLiteral("/midi-player-karaoke.png")));
    // The sung part of the upper line is drawn in the sung colour.
    const QImage viewerImage = words.toImage();
    bool sungColour = false;
    for (int y = viewerImage.height() / 3; y < viewerImage.height(); ++y)
        for (int x = 0; x < viewerImage.width() / 3; ++x) {
            const QColor c = viewerImage.pixelColor(x, y);
            sungColour = sungColour || (c.red() > 200 && c.green() > 160 && c.blue() < 120);
        }
    EXPECT_TRUE(sungColour);
    command(cmd::Stop);
}
