// The frame's bookkeeping that needs no sound: routed queries, dropped files, the program
// dialog, settings cycling, the start album.

#include "albums/programdialog.h"
#include "app/commandline.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "players/audioplayer.h"
#include "playertest.h"
#include "ui/displaypanel.h"

#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>

#include <functional>
#include <set>

namespace {

class PlayerFrameTest : public playertest::WindowTest<void>
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        openWindow(ComponentAudio);
        player = static_cast<AudioPlayer*>(window->component(ComponentAudio));
        window->sendMessage(WM_TIMER, 300, 0);
    }
    void TearDown() override
    {
        setMessageBoxHook({});
        WindowTest::TearDown();
    }
    // As a drag from the file manager arrives: it enters, then it is dropped.
    void drop(const std::vector<std::string>& files)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& f : files)
            urls << QUrl::fromLocalFile(QString::fromStdString(f));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(player, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(player, &event);
    }
    QString tip(int button) const { return player->button(button)->toolTip(); }

    AudioPlayer* player = nullptr;
};

} // namespace

TEST_F(PlayerFrameTest, DroppedFilesAndListsJoinTheAlbumOnce)
{
    const int before = player->album().songCount();
    const std::string a = writeFile("a.mp3", "x"), b = writeFile("b.wav", "x");
    const std::string list = writeFile("l.m3u", homePath("c.ogg") + "\n" + homePath("d.au") + "\n");
    drop({a, b, a, homePath("notes.txt"), list});
    EXPECT_EQ(player->album().songCount(), before + 4) << "twice a.mp3 is once; .txt is not audio";
    EXPECT_NE(player->album().FindSong(homePath("d.au")), nullptr);
    EXPECT_NE(player->album().FindSong(homePath("c.ogg")), nullptr);
    // Kept in the album database, so the next start has them too.
    Album stored(AlbumKindAudio);
    stored.Open(player->album().key(), 0);
    EXPECT_EQ(stored.songCount(), before + 4);
    const std::string flac = writeFile("e.flac", "x"), opus = writeFile("f.opus", "x");
    drop({flac, opus});
    EXPECT_EQ(player->album().songCount(), before + 6) << "FLAC and Opus are dropped in too";

    // A dropped folder gives its songs, sub-folders included, in name order, each once.
    const std::string x = writeFile("box/x.mp3", "x"), y = writeFile("box/sub/y.ogg", "x");
    writeFile("box/readme.txt", "x");
    drop({homePath("box"), homePath("box")});
    ASSERT_EQ(player->album().songCount(), before + 8);
    EXPECT_EQ(player->album().GetSong(before + 7)->title, y);
    EXPECT_EQ(player->album().GetSong(before + 8)->title, x);
}

TEST_F(PlayerFrameTest, StatusAndTitlesComeThroughTheController)
{
    player->album().Close();
    player->album().setTitle("Road Trip");
    player->album().setArtist("Various");
    player->album().AddSong(writeFile("one.mp3", "x"));
    player->album().AddSong("http://radio.example/two.mp3");
    app->settings().components[ComponentAudio].playMode = PlayMethodRandom;
    app->settings().components[ComponentAudio].timeMode = 1;

    ComponentStatus status;
    ASSERT_EQ(window->sendMessage(UM_GET_STATUS, ComponentAudio, reinterpret_cast<LPARAM>(&status)),
              1);
    EXPECT_EQ(std::tuple(status.state, status.songCount, status.playMethod, status.timeDisplay,
                         status.albumTitle, status.albumArtist),
              std::tuple(525, 2, 1, 1, std::string("Road Trip"), std::string("Various")));

    std::vector<std::string> titles{"stale"};
    ASSERT_EQ(window->sendMessage(UM_GET_TITLES, ComponentAudio, reinterpret_cast<LPARAM>(&titles)),
              1);
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[0], "one.mp3");

    // Switched off, it refuses the album selection.
    app->settings().components[ComponentAudio].enable = 0;
    EXPECT_EQ(window->sendMessage(UM_SELECT_ALBUM, ComponentAudio, 0), 0);
}

TEST_F(PlayerFrameTest, SettingsCycleAndTheProgramMethodNeedsAProgram)
{
    ComponentRecord& r = app->settings().components[ComponentAudio];
    player->album().Close();
    player->album().AddSong("a.mp3");
    player->album().AddSong("b.mp3");
    r.playMode = 0;
    std::vector<int> methods;
    for (int i = 0; i < 4; ++i) {
        player->sendMessage(WM_COMMAND, 5117, 0);
        methods.push_back(r.playMode);
    }
    EXPECT_EQ(methods, (std::vector<int>{1, 3, 0, 1})) << "no program: Program is skipped";
    EXPECT_EQ(tip(5117), QStringLiteral("Play Method - Current selection is [Random]"));
    player->album().setProgram({2});
    player->sendMessage(WM_COMMAND, 5117, 0);
    EXPECT_EQ(r.playMode, 2);
    EXPECT_GE(player->panel()->indicatorImage(DisplayPanel::PlayMethod), 0);

    r.repeat = 2;
    player->sendMessage(UM_CYCLE_REPEAT, 0, 0);
    EXPECT_EQ(r.repeat, 0);
    EXPECT_EQ(tip(5112), QStringLiteral("Repeat - Current selection is [No repeat]"));
    player->sendMessage(WM_COMMAND, cmd::Repeat, 0); // the button
    EXPECT_EQ(r.repeat, 1);
    player->sendMessage(WM_COMMAND, 5118, 0);
    EXPECT_EQ(r.timeMode, 1);
    EXPECT_EQ(tip(5118), QStringLiteral("Time Display - Current selection is [Remained Time]"));
}

TEST_F(PlayerFrameTest, TheProgramDialogEditsAndSavesTheProgram)
{
    Album album(AlbumKindAudio);
    album.Open("Mix", 0);
    for (const char* s : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        album.AddSong(s);
    album.setProgram({3, 9, 1}); // 9 is not a song: not shown
    ProgramDialog dialog(album);
    EXPECT_EQ(dialog.programRows(), (std::vector<int>{3, 1}));

    QString shown;
    setMessageBoxHook(
        [&](const QString& caption, const QString& text, MessageIcon, MessageButtons) {
            shown = caption + "|" + text;
            return IDOK;
        });
    dialog.addSelected();
    EXPECT_EQ(shown, QStringLiteral("Error|There is no selected Song."));
    dialog.songList()->item(3)->setSelected(true);
    dialog.songList()->item(1)->setSelected(true);
    dialog.addSelected();
    EXPECT_EQ(dialog.programRows(), (std::vector<int>{3, 1, 2, 4}));
    dialog.programList()->item(0)->setSelected(true);
    dialog.deleteSelected();
    EXPECT_EQ(dialog.programRows(), (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(dialog.programList()->currentRow(), 0) << "the row now at the old place";

    std::set<std::vector<int>> orders;
    for (int i = 0; i < 6; ++i) {
        dialog.shuffle();
        std::vector<int> rows = dialog.programRows();
        orders.insert(rows);
        std::sort(rows.begin(), rows.end());
        EXPECT_EQ(rows, (std::vector<int>{1, 2, 4})) << "a shuffle is a permutation";
    }
    dialog.accept();
    Album stored(AlbumKindAudio);
    stored.Open("Mix", 0);
    EXPECT_EQ(stored.program(), album.program());
    EXPECT_EQ(stored.programCount(), 3);
}

TEST_F(PlayerFrameTest, ThePlayListDialogDecidesWhetherTheProgramIsPlayed)
{
    ComponentRecord& r = app->settings().components[ComponentAudio];
    player->album().Close();
    for (const char* s : {"a.mp3", "b.mp3", "c.mp3"})
        player->album().AddSong(homePath(s));
    r.playMode = PlayMethodRandom;
    // Each answer: what the user does in the dialog before OK (or Cancel).
    auto answer = [](std::function<void(ProgramDialog&)> act) {
        QTimer::singleShot(0, [act] {
            auto* dialog = qobject_cast<ProgramDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            act(*dialog);
        });
    };
    answer([](ProgramDialog& d) {
        d.songList()->item(2)->setSelected(true);
        d.addSelected();
        d.accept();
    });
    player->sendMessage(WM_COMMAND, 5120, 0);
    EXPECT_EQ(player->album().program(), (std::vector<int>{3}));
    EXPECT_EQ(r.playMode, PlayMethodProgram) << "a program was made: it is played";

    answer([](ProgramDialog& d) { d.reject(); });
    r.playMode = PlayMethodThisTrackOnly;
    player->sendMessage(WM_COMMAND, 5120, 0);
    EXPECT_EQ(r.playMode, PlayMethodThisTrackOnly) << "Cancel changes nothing";

    answer([](ProgramDialog& d) {
        d.programList()->item(0)->setSelected(true);
        d.deleteSelected();
        d.accept();
    });
    player->sendMessage(WM_COMMAND, 5120, 0);
    EXPECT_EQ(player->album().programCount(), 0);
    EXPECT_EQ(r.playMode, PlayMethodNormal) << "no program left: normal order";
}

TEST_F(PlayerFrameTest, TheStartAlbumIsTheNamedOneTheRecentOneOrDefault)
{
    // A first start: the demo songs are in "Default" and that is what the player shows.
    EXPECT_EQ(player->album().key(), "Default");
    const QStringList demo =
        QDir(QString::fromStdString(paths::demoDir())).entryList({"*.wav", "*.mp3"}, QDir::Files);
    ASSERT_EQ(demo.size(), 2) << paths::demoDir();
    EXPECT_EQ(player->album().songCount(), 2);

    for (const char* name : {"Trip", "Mix"}) {
        Album album(AlbumKindAudio);
        album.Open(name, 0);
        album.AddSong(homePath(std::string(name) + ".mp3"));
        ASSERT_TRUE(album.Save());
    }
    auto restart = [&] {
        window.reset();
        window = std::make_unique<MainController>(*app);
        player = static_cast<AudioPlayer*>(window->component(ComponentAudio));
        return player->album().key();
    };
    EXPECT_EQ(restart(), "Mix") << "the album used last";
    app->cmdInfo.startMode = StartModeAudio;
    app->cmdInfo.fileName = "Trip";
    EXPECT_EQ(restart(), "Trip") << "an album named on the command line";
    app->cmdInfo.fileName = homePath("solo.wav");
    EXPECT_EQ(restart(), "");
    ASSERT_EQ(player->album().songCount(), 1) << "a file of its own makes a one-song album";
    EXPECT_EQ(player->album().GetSong(1)->title, homePath("solo.wav"));
    app->cmdInfo.fileName =
        writeFile("l.m3u", writeFile("b.mp3", "x") + "\n" + writeFile("a.mp3", "x"));
    EXPECT_EQ(restart(), "");
    ASSERT_EQ(player->album().songCount(), 2) << "a play list's songs, in its order";
    EXPECT_EQ(player->album().GetSong(1)->title, homePath("b.mp3"));

    app->cmdInfo.startMode = StartModeNone;
    app->cmdInfo.fileName.clear();
    Album gone(AlbumKindAudio);
    gone.Open("Trip", 0);
    ASSERT_TRUE(gone.Save()); // the recent album now
    ASSERT_TRUE(gone.DeleteAlbum());
    EXPECT_EQ(restart(), "Default") << "a recent album that was deleted";
}

using DemoAlbumTest = KolvoHomeTest;

TEST_F(DemoAlbumTest, IsSeededOnAFirstStartOnly)
{
    const std::string demo = homePath("demo");
    QDir().mkpath(QString::fromStdString(demo));
    for (const char* f : {"b song.wav", "a song.mp3", "a song.txt", "cover.jpg"})
        QFile(QString::fromStdString(demo + "/" + f)).open(QIODevice::WriteOnly);
    EXPECT_FALSE(AudioPlayer::SeedDefaultAlbum("")) << "no demo was built";
    ASSERT_TRUE(AudioPlayer::SeedDefaultAlbum(demo));
    Album album(AlbumKindAudio);
    ASSERT_TRUE(album.LoadForReading("Default"));
    ASSERT_EQ(album.songCount(), 2) << "the two songs; lyrics and pictures are not songs";
    EXPECT_EQ(album.GetSong(1)->title, demo + "/a song.mp3");
    EXPECT_EQ(album.GetSong(2)->title, demo + "/b song.wav");

    // Once there is an album database, the user's albums are left alone.
    QFile(QString::fromStdString(demo + "/c song.wav")).open(QIODevice::WriteOnly);
    EXPECT_FALSE(AudioPlayer::SeedDefaultAlbum(demo));
    album.LoadForReading("Default");
    EXPECT_EQ(album.songCount(), 2);
}
