// Pictures of the main window in the states a user sees most, saved for people to look at, and
// checked for the few things a picture must show.

#include "players/audioplayer.h"
#include "players/lyricviewer.h"
#include "playertest.h"
#include "ui/displaypanel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>

using enginetest::pump;
using enginetest::pumpUntil;
using playertest::shotDir;

namespace {

using ScreenshotTest = playertest::WindowTest<void>;

// The main window and, beside it, the lyric viewer when it shows; saved as `name`.
QImage shot(QWidget& main, LyricViewer* lyric, const char* name)
{
    const QPixmap m = main.grab();
    const QPixmap l = lyric && lyric->isVisible() ? lyric->grab() : QPixmap();
    QImage img(m.width() + (l.isNull() ? 0 : l.width() + 8), std::max(m.height(), l.height()),
               QImage::Format_RGB32);
    img.fill(QColor(0x30, 0x30, 0x30));
    QPainter p(&img);
    p.drawPixmap(0, 0, m);
    if (!l.isNull())
        p.drawPixmap(m.width() + 8, 0, l);
    p.end();
    img.save(shotDir() + "/" + name + ".png");
    return img;
}

} // namespace

TEST_F(ScreenshotTest, TheStripInItsEverydayStates)
{
    const std::string song = playertest::tone(
        homePath("music/A Very Long Title of a Song That Will Not Fit.wav"), 20, 440);
    writeFile("music/A Very Long Title of a Song That Will Not Fit.txt",
              "A long song\n\nwith lyrics that scroll\nwhile it plays on and on.\n");
    openWindow(ComponentAudio);
    auto* player = static_cast<AudioPlayer*>(window->component(ComponentAudio));
    pumpUntil([&] { return player->state() == kModeStopped; }, 2000);
    pump(200);
    const QImage stopped = shot(*window, player->lyricViewer(), "stopped");
    playPending(song);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    pumpUntil([&] { return player->positionSeconds() >= 2; }, 5000);
    DisplayPanel* panel = player->panel();
    // The parts of the display a test looks at, as they are drawn now.
    auto infoLine = [&] { return panel->grab(panel->infoArea()).toImage(); };
    auto indicators = [&] {
        return panel
            ->grab(DisplayPanel::indicatorSpot(DisplayPanel::Play) |
                   DisplayPanel::indicatorSpot(DisplayPanel::Pause))
            .toImage();
    };
    const QImage playing = shot(*window, player->lyricViewer(), "playing-with-lyric");
    const QImage lineBefore = infoLine(), playingIndicators = indicators();
    EXPECT_GT(panel->textWidth(), panel->infoArea().width()) << "the title is too long to fit";
    EXPECT_NE(player->infoText().find("A Very Long Title"), std::string::npos);
    ASSERT_NE(player->lyricViewer(), nullptr);
    EXPECT_TRUE(player->lyricViewer()->isVisible());
    EXPECT_NE(stopped, playing) << "playing must look different from stopped";
    pump(1200); // the information line scrolls on
    shot(*window, nullptr, "playing-scrolled");
    EXPECT_NE(infoLine(), lineBefore) << "the long title scrolls while it plays";
    command(cmd::Pause);
    EXPECT_EQ(player->state(), kModePaused);
    pump(300);
    shot(*window, nullptr, "paused");
    EXPECT_NE(indicators(), playingIndicators) << "paused must show in the transport indicators";
    command(cmd::Stop);
}

// The Open dialog of the Digital Audio Player, drawn by Qt's own dialog as a desktop without a
// portal shows it: the newer kinds are listed beside MP3, other files are not.
TEST_F(ScreenshotTest, TheOpenDialogListsEveryKindThePlayerTakes)
{
    setInterfaceLanguage("en");
    for (const char* name :
         {"a.ogg", "b.flac", "c.opus", "d.mp3", "e.m4a", "list.m3u", "notes.txt"})
        writeFile(std::string("music/") + name, "x");
    QFileDialog dialog(nullptr, QStringLiteral("Open"), QString::fromStdString(homePath("music")),
                       AudioPlayer::OpenFilter());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.resize(760, 440);
    dialog.show();
    auto* view = dialog.findChild<QAbstractItemView*>(QStringLiteral("treeView"));
    ASSERT_NE(view, nullptr);
    auto shown = [&] {
        QStringList names;
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            names << view->model()->index(row, 0, view->rootIndex()).data().toString();
        names.sort();
        return names;
    };
    pumpUntil([&] { return shown().size() >= 6; }, 5000);
    pump(200);
    EXPECT_EQ(shown(), QStringList({"a.ogg", "b.flac", "c.opus", "d.mp3", "e.m4a", "list.m3u"}));
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    EXPECT_TRUE(types->currentText().contains(QStringLiteral("*.flac")));
    EXPECT_TRUE(dialog.grab().save(shotDir() + QStringLiteral("/open-dialog.png")));
}
