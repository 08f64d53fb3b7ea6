// The frame's bookkeeping that needs no sound: routed queries, dropped files, the program
// dialog, settings cycling, preferences.

#include "albums/programdialog.h"
#include "app/configsheet.h"
#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "players/audioplayer.h"
#include "support/testhome.h"
#include "ui/displaypanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <set>

namespace {

class PlayerFrameTest : public KolvoHomeTest
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
        window->sendMessage(WM_TIMER, 300, 0);
    }
    void TearDown() override
    {
        window.reset();
        app.reset();
        setMessageBoxHook({});
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }
    void drop(const QStringList& files)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& f : files)
            urls << QUrl::fromLocalFile(f);
        data.setUrls(urls);
        // As a drag from the file manager arrives: it enters, then it is dropped.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(player, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(player, &event);
    }

    std::unique_ptr<PlayerApp> app;
    std::unique_ptr<MainController> window;
    AudioPlayer* player = nullptr;
};

} // namespace

TEST_F(PlayerFrameTest, DroppedFilesAndListsJoinTheAlbumOnce)
{
    const int before = player->album().songCount();
    const std::string a = writeFile("a.mp3", "x"), b = writeFile("b.wav", "x");
    const std::string list = writeFile("l.m3u", homePath("c.ogg") + "\n" + homePath("d.au") + "\n");
    drop({QString::fromStdString(a), QString::fromStdString(b), QString::fromStdString(a),
          QString::fromStdString(homePath("notes.txt")), QString::fromStdString(list)});
    EXPECT_EQ(player->album().songCount(), before + 3)
        << "twice a.mp3 is once; .txt and .ogg are not audio";
    EXPECT_NE(player->album().FindSong(homePath("d.au")), nullptr);
    // Kept in the album database, so the next start has them too.
    Album stored(AlbumKindAudio);
    stored.Open(player->album().key(), 0);
    EXPECT_EQ(stored.songCount(), before + 3);
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
    EXPECT_EQ(status.state, 525);
    EXPECT_EQ(status.songCount, 2);
    EXPECT_EQ(status.playMethod, 1);
    EXPECT_EQ(status.timeDisplay, 1);
    EXPECT_EQ(status.albumTitle, "Road Trip");
    EXPECT_EQ(status.albumArtist, "Various");

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
    EXPECT_EQ(player->button(5117)->toolTip(),
              QStringLiteral("Play Method - Current selection is [Random]"));
    player->album().setProgram({2});
    player->sendMessage(WM_COMMAND, 5117, 0);
    EXPECT_EQ(r.playMode, 2);
    EXPECT_EQ(player->panel()->indicatorImage(DisplayPanel::PlayMethod) >= 0, true);

    r.repeat = 2;
    player->sendMessage(UM_CYCLE_REPEAT, 0, 0);
    EXPECT_EQ(r.repeat, 0);
    EXPECT_EQ(player->button(5112)->toolTip(),
              QStringLiteral("Repeat - Current selection is [No repeat]"));
    player->sendMessage(WM_COMMAND, 5118, 0);
    EXPECT_EQ(r.timeMode, 1);
    EXPECT_EQ(player->button(5118)->toolTip(),
              QStringLiteral("Time Display - Current selection is [Remained Time]"));
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

TEST_F(PlayerFrameTest, PreferencesHandBackWhatWasEdited)
{
    AppSettings s = app->settings();
    s.viewTitle = 1;
    s.mp3Channel = 0;
    CConfigPropertySheet sheet(s);
    for (QCheckBox* box : sheet.findChildren<QCheckBox*>())
        if (box->text() == QStringLiteral("Song title"))
            box->setChecked(false);
    for (QComboBox* combo : sheet.findChildren<QComboBox*>())
        if (combo->count() == 4)
            combo->setCurrentIndex(3); // mono
    const AppSettings edited = sheet.edited();
    EXPECT_EQ(edited.viewTitle, 0);
    EXPECT_EQ(edited.mp3Channel, 3);
    EXPECT_EQ(edited.colorScheme, s.colorScheme) << "untouched pages change nothing";
    EXPECT_EQ(edited.timer, s.timer);
}
