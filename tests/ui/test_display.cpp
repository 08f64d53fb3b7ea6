// Digit displays, the track grid and the display panel: what they draw for given values, and
// what they tell the component.
#include "uitest.h"

#include "ui/digitdisplay.h"
#include "ui/displaypanel.h"
#include "ui/skin.h"
#include "ui/skinslider.h"
#include "ui/trackgrid.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <set>

namespace {

// A digit image as a display draws it on its black background.
QImage digitImage(int kind, int index)
{
    const ImageList& list = Skin::instance().Digits(kind);
    QImage img(list.cellSize(), QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    list.Draw(p, index, 0, 0);
    return img;
}

// Whether the display shows exactly these images, cell by cell (the last column of a cell is
// the first of the next, and both are dark).
bool showsImages(DigitDisplay& d, const std::vector<int>& images)
{
    const QImage img = render(&d);
    const QPoint o = d.origin();
    for (size_t i = 0; i < images.size(); ++i) {
        const QImage want = digitImage(d.kind(), images[i]);
        const QImage got = img.copy(o.x() + static_cast<int>(i) * d.advance(), o.y(),
                                    want.width() - 1, want.height());
        if (got != want.copy(0, 0, want.width() - 1, want.height()))
            return false;
    }
    return true;
}

AlbumView album(int count, int current, int lengthSeconds = 200)
{
    AlbumView a;
    a.songCount = count;
    a.currentSong = current;
    a.currentSongLengthMs = lengthSeconds * 1000;
    a.totalLengthSeconds = 4000;
    return a;
}

struct PanelFixture
{
    explicit PanelFixture(int kind)
    {
        component.show();
        panel =
            new DisplayPanel(kind, QRect(QPoint(40, 4), DisplayPanel::kDefaultSize), &component);
        pump();
    }
    Recorder component;
    DisplayPanel* panel;
};

void tick(DisplayPanel* panel)
{
    panel->sendMessage(WM_TIMER, WPARAM(DisplayPanel::kTickTimerId), 0);
}

QImage indicatorImage(int index)
{
    const ImageList& list = Skin::instance().Indicators();
    QImage img(list.cellSize(), QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    list.Draw(p, index, 0, 0);
    return img;
}

} // namespace

TEST(DigitDisplay, DrawsTheImageOfEachFigureSeparatorAndSign)
{
    Recorder parent;
    DigitDisplay d(2, QRect(0, 0, 73, 12), &parent, 5204);
    d.SetDigits(5, true);
    d.SetSeparators({4, 2});
    d.SetValue(DigitDisplay::TimeValue(3725)); // 1:02:05
    EXPECT_EQ(DigitDisplay::TimeValue(3725), 10205);
    const std::vector<int> time{14, 1, 11, 0, 2, 11, 0, 5};
    EXPECT_EQ(d.cellImages(), time);
    EXPECT_TRUE(showsImages(d, time));

    // A remaining time carries sign 18.
    d.SetValue(DigitDisplay::TimeValue(150), true);
    EXPECT_EQ(d.cellImages(), (std::vector<int>{18, 0, 11, 0, 2, 11, 3, 0}));
    EXPECT_TRUE(showsImages(d, d.cellImages()));

    // Unlit: unlit figures, unlit separators, the sign forced off.
    d.SetLit(false);
    EXPECT_EQ(d.cellImages(), (std::vector<int>{13, 10, 12, 10, 10, 12, 10, 10}));
    EXPECT_TRUE(showsImages(d, d.cellImages()));
    d.SetLit(true);
    d.SetValue(-7);
    EXPECT_EQ(d.cellImages().front(), 13);

    // More figures than cells: nines rather than images of other kinds.
    DigitDisplay two(1, QRect(0, 0, 26, 18), &parent, 5203);
    two.SetDigits(2, false);
    two.SetValue(123);
    EXPECT_EQ(two.cellImages(), (std::vector<int>{9, 9}));
}

TEST(DigitDisplay, AClickTellsTheParentWhichDisplayItWas)
{
    Recorder parent;
    parent.show();
    DigitDisplay d(1, QRect(37, 12, 26, 18), &parent, 5203);
    QTest::mouseClick(&d, Qt::LeftButton, {}, QPoint(5, 5));
    pump();
    EXPECT_EQ(parent.count(UM_CONTROL_CLICK, 5203), 1);
}

TEST(TrackGrid, ThePageOfTrackSixteenStartsAtSixteen)
{
    EXPECT_EQ(TrackGrid::pageStart(16), 16);
    EXPECT_EQ(TrackGrid::pageStart(15), 1);
    EXPECT_EQ(TrackGrid::pageStart(31), 31);
    EXPECT_EQ(TrackGrid::pageStart(0), 1);
    EXPECT_EQ(TrackGrid::cellRect(0), QRect(9, 0, 11, 9));
    EXPECT_EQ(TrackGrid::cellRect(14), QRect(57, 20, 11, 9));

    Recorder parent;
    parent.show();
    TrackGrid grid(QRect(142, 4, 67, 29), &parent);
    AlbumView a = album(40, 16);
    a.tracks.resize(40);
    a.tracks[19].playable = false;
    a.tracks[20].programmed = true;
    a.tracks[21].played = true;
    grid.SetAlbum(a);
    EXPECT_EQ(grid.firstNumber(), 16);
    EXPECT_EQ(grid.cellImage(16), TrackGrid::kCellCurrent);
    EXPECT_EQ(grid.cellImage(20), TrackGrid::kCellUnplayable);
    EXPECT_EQ(grid.cellImage(21), TrackGrid::kCellProgrammed);
    EXPECT_EQ(grid.cellImage(22), TrackGrid::kCellPlayed);
    EXPECT_EQ(grid.cellImage(41), TrackGrid::kCellEmpty);

    // The number of the unplayable track is grey, the others white.
    const QImage img = render(&grid);
    auto hasColour = [&img](int cell, QRgb colour) {
        const QRect r = TrackGrid::cellRect(cell);
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (img.pixel(x, y) == colour)
                    return true;
        return false;
    };
    EXPECT_TRUE(hasColour(0, qRgb(255, 255, 255)));
    EXPECT_TRUE(hasColour(4, qRgb(128, 128, 128)));
    EXPECT_FALSE(hasColour(4, qRgb(255, 255, 255)));

    // Clicking the fifth cell asks for track 20.
    QTest::mouseClick(&grid, Qt::LeftButton, {}, TrackGrid::cellRect(4).center());
    pump();
    EXPECT_EQ(parent.count(UM_PLAY_SONG, 20), 1);

    // Paging, and the current cell blinking.
    grid.sendMessage(WM_COMMAND, WPARAM(TrackGrid::kNextPageId), 0);
    EXPECT_EQ(grid.firstNumber(), 31);
    grid.sendMessage(WM_COMMAND, WPARAM(TrackGrid::kNextPageId), 0); // no page after 31-45
    EXPECT_EQ(grid.firstNumber(), 31);
    grid.sendMessage(WM_COMMAND, WPARAM(TrackGrid::kPreviousPageId), 0);
    grid.sendMessage(WM_COMMAND, WPARAM(TrackGrid::kPreviousPageId), 0);
    EXPECT_EQ(grid.firstNumber(), 1);
    pump(TrackGrid::kBlinkMilliseconds + 100);
    EXPECT_EQ(grid.cellImage(16), TrackGrid::kCellCurrentBlink);

    // A cell past the album's end does nothing.
    grid.SetAlbum(album(3, 1));
    parent.clear();
    QTest::mouseClick(&grid, Qt::LeftButton, {}, TrackGrid::cellRect(7).center());
    pump();
    EXPECT_EQ(parent.count(UM_PLAY_SONG), 0);
}

TEST(DisplayPanel, SongOneHundredAndFiveShowsOneAndOhFive)
{
    PanelFixture f(DisplayPanel::kAudioPlayer);
    f.panel->Update(album(120, 105), 10, 0, true);
    EXPECT_EQ(f.panel->hundredsDisplay()->cellImages(), std::vector<int>{1});
    EXPECT_EQ(f.panel->trackDisplay()->cellImages(), (std::vector<int>{0, 5}));
    EXPECT_TRUE(showsImages(*f.panel->hundredsDisplay(), {1}));
    EXPECT_TRUE(showsImages(*f.panel->trackDisplay(), {0, 5}));
    EXPECT_TRUE(f.panel->hundredsDisplay()->isVisible());

    // Without a current song: the song count and the album's length.
    f.panel->Update(album(12, 0), 0, 0, true);
    EXPECT_EQ(f.panel->trackDisplay()->cellImages(), (std::vector<int>{1, 2}));
    EXPECT_EQ(f.panel->timeDisplay()->value(), DigitDisplay::TimeValue(4000));

    PanelFixture cd(DisplayPanel::kCdPlayer);
    EXPECT_FALSE(cd.panel->hundredsDisplay()->isVisible());
}

TEST(DisplayPanel, RemainingTimeShowsTwoThirtyWithTheSign)
{
    PanelFixture f(DisplayPanel::kCdPlayer);
    f.panel->SetState(DisplayPanel::kPlaying);
    f.panel->Update(album(5, 2, 200), 50, 1, true);
    const std::vector<int> want{18, 0, 11, 0, 2, 11, 3, 0};
    EXPECT_EQ(f.panel->timeDisplay()->cellImages(), want);
    EXPECT_TRUE(showsImages(*f.panel->timeDisplay(), want));
    // Past the end it stays at 0.
    f.panel->Update(album(5, 2, 200), 230, 1, true);
    EXPECT_EQ(f.panel->timeDisplay()->value(), 0);
    EXPECT_EQ(f.panel->positionSlider()->GetRange(), 200);
}

TEST(DisplayPanel, DraggingThePositionShowsTheTimeAndSeeksOnlyOnRelease)
{
    PanelFixture f(DisplayPanel::kAudioPlayer);
    f.panel->SetState(DisplayPanel::kPlaying);
    f.panel->Update(album(5, 1, 262), 100, 0, true); // one second a pixel
    PositionSlider* s = f.panel->positionSlider();
    ASSERT_EQ(s->pixel(), 100);
    QTest::mousePress(s, Qt::LeftButton, {}, QPoint(100, 1));
    QTest::mouseMove(s, QPoint(150, 1));
    pump();
    EXPECT_TRUE(f.panel->isDragging());
    EXPECT_EQ(f.panel->timeDisplay()->value(), DigitDisplay::TimeValue(149));
    // The component only heard of the move, and the next tick does not disturb the drag.
    EXPECT_EQ(f.component.count(WM_HSCROLL), 1);
    EXPECT_EQ(LOWORD(f.component.messages.back().wParam), SB_THUMBTRACK);
    f.panel->Update(album(5, 1, 262), 101, 0, true);
    EXPECT_EQ(f.panel->timeDisplay()->value(), DigitDisplay::TimeValue(149));
    EXPECT_EQ(s->GetPos(), 149);

    QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(150, 1));
    pump();
    EXPECT_FALSE(f.panel->isDragging());
    ASSERT_EQ(f.component.count(WM_HSCROLL), 2);
    EXPECT_EQ(LOWORD(f.component.messages.back().wParam), SB_THUMBPOSITION);
    EXPECT_EQ(HIWORD(f.component.messages.back().wParam), 149);

    // In remaining-time mode the dragged time counts down from the end.
    f.panel->Update(album(5, 1, 262), 100, 1, true);
    QTest::mousePress(s, Qt::LeftButton, {}, QPoint(100, 1));
    QTest::mouseMove(s, QPoint(200, 1));
    pump();
    EXPECT_EQ(f.panel->timeDisplay()->value(), DigitDisplay::TimeValue(262 - 199));
    EXPECT_TRUE(f.panel->timeDisplay()->isRemaining());
    QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(200, 1));
}

TEST(DisplayPanel, IndicatorsFollowTheStateAndSettings)
{
    PanelFixture audio(DisplayPanel::kAudioPlayer);
    DisplayPanel* p = audio.panel;
    p->SetState(DisplayPanel::kPlaying);
    EXPECT_EQ(p->indicatorImage(DisplayPanel::Play), 9);
    EXPECT_EQ(p->indicatorImage(DisplayPanel::Pause), 8);
    p->SetState(DisplayPanel::kPaused);
    EXPECT_EQ(p->indicatorImage(DisplayPanel::Play), 10);
    EXPECT_EQ(p->indicatorImage(DisplayPanel::Pause), 7);
    p->SetState(DisplayPanel::kRecording);
    EXPECT_EQ(p->indicatorImage(DisplayPanel::Play), 27);
    // Opening blinks in the players other than the CD Player.
    p->SetState(DisplayPanel::kOpening);
    const int first = p->indicatorImage(DisplayPanel::Play);
    tick(p);
    const int second = p->indicatorImage(DisplayPanel::Play);
    EXPECT_EQ(std::set<int>({first, second}), std::set<int>({9, 10}));
    // The effect indicator blinks while playing with the effect engine active.
    p->SetState(DisplayPanel::kPlaying);
    EXPECT_EQ(p->indicatorImage(DisplayPanel::Effect), 26);
    p->SetEffectActive(true);
    const int e1 = p->indicatorImage(DisplayPanel::Effect);
    tick(p);
    EXPECT_EQ(std::set<int>({e1, p->indicatorImage(DisplayPanel::Effect)}),
              std::set<int>({25, 26}));
    for (int r = 0; r < 3; ++r) {
        p->SetRepeat(r);
        EXPECT_EQ(p->indicatorImage(DisplayPanel::Repeat), 4 + r);
    }
    const int methodImages[] = {0, 2, 1, 3};
    for (int m = 0; m < 4; ++m) {
        p->SetPlayMethod(m);
        EXPECT_EQ(p->indicatorImage(DisplayPanel::PlayMethod), methodImages[m]);
    }
    EXPECT_EQ(p->indicatorImage(DisplayPanel::ViewerSize), -1);

    PanelFixture cd(DisplayPanel::kCdPlayer);
    cd.panel->SetState(DisplayPanel::kOpening);
    EXPECT_EQ(cd.panel->indicatorImage(DisplayPanel::Play), 10);
    tick(cd.panel);
    EXPECT_EQ(cd.panel->indicatorImage(DisplayPanel::Play), 10);
    EXPECT_EQ(cd.panel->indicatorImage(DisplayPanel::Effect), -1);

    PanelFixture video(DisplayPanel::kVideoPlayer);
    video.panel->SetViewerSize(2);
    EXPECT_EQ(video.panel->indicatorImage(DisplayPanel::ViewerSize), 21);
    const QPoint spot = DisplayPanel::indicatorSpot(DisplayPanel::ViewerSize).center();
    QMouseEvent move(QEvent::MouseMove, spot, video.panel->mapToGlobal(spot), Qt::NoButton,
                     Qt::NoButton, {});
    QCoreApplication::sendEvent(video.panel, &move);
    EXPECT_EQ(video.panel->indicatorImage(DisplayPanel::ViewerSize), 22);

    // What is drawn is the image named: the play indicator of the playing CD Player.
    cd.panel->SetState(DisplayPanel::kPlaying);
    const QImage img = render(cd.panel);
    const QPoint at = DisplayPanel::indicatorOrigin(DisplayPanel::Play);
    EXPECT_EQ(img.copy(at.x(), at.y(), 10, 10), indicatorImage(9).copy(0, 0, 10, 10));
    EXPECT_NE(img.copy(at.x(), at.y(), 10, 10), indicatorImage(10).copy(0, 0, 10, 10));
}

TEST(DisplayPanel, ClicksBecomeMessagesToTheComponent)
{
    PanelFixture f(DisplayPanel::kVideoPlayer);
    f.panel->Update(album(20, 3), 0, 0, true);
    QTest::mouseClick(f.panel, Qt::LeftButton, {},
                      DisplayPanel::indicatorSpot(DisplayPanel::Repeat).center());
    QTest::mouseClick(f.panel, Qt::LeftButton, {},
                      DisplayPanel::indicatorSpot(DisplayPanel::PlayMethod).center());
    QTest::mouseClick(f.panel, Qt::LeftButton, {},
                      DisplayPanel::indicatorSpot(DisplayPanel::ViewerSize).center());
    QTest::mouseClick(f.panel->timeDisplay(), Qt::LeftButton, {}, QPoint(20, 5));
    QTest::mouseClick(f.panel->trackDisplay(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(f.panel->hundredsDisplay(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(f.panel->trackGrid(), Qt::LeftButton, {}, TrackGrid::cellRect(1).center());
    pump();
    EXPECT_EQ(f.component.count(UM_CYCLE_REPEAT), 1);
    EXPECT_EQ(f.component.count(UM_CYCLE_PLAY_METHOD), 1);
    EXPECT_EQ(f.component.count(UM_CYCLE_VIEWER_SIZE), 1);
    EXPECT_EQ(f.component.count(UM_CYCLE_TIME_DISPLAY), 1);
    EXPECT_EQ(f.component.count(WM_COMMAND, DisplayPanel::kQuickTrackSelect), 2);
    EXPECT_EQ(f.component.count(UM_PLAY_SONG, 2), 1);

    // The CD Player has no viewer-size spot.
    PanelFixture cd(DisplayPanel::kCdPlayer);
    QTest::mouseClick(cd.panel, Qt::LeftButton, {},
                      DisplayPanel::indicatorSpot(DisplayPanel::ViewerSize).center());
    pump();
    EXPECT_EQ(cd.component.count(UM_CYCLE_VIEWER_SIZE), 0);
}

TEST(DisplayPanel, TheInformationLineScrollsOnlyTextsWiderThanItsArea)
{
    PanelFixture f(DisplayPanel::kMidiPlayer);
    f.panel->SetInfoText("Title : A\rB");
    EXPECT_EQ(f.panel->infoText(), "Title : A B");
    tick(f.panel);
    EXPECT_EQ(f.panel->scrollOffset(), 0);

    // A text exactly as wide as the area less 8 pixels stays; one pixel less room and it moves.
    f.panel->SetInfoText("Artist : Kolvo Ensemble        Album : Etudes");
    const int w = f.panel->textWidth();
    f.panel->resize(w + 8 + 42, 60);
    ASSERT_EQ(f.panel->infoArea().width() - 8, w);
    tick(f.panel);
    EXPECT_EQ(f.panel->scrollOffset(), 0);
    f.panel->resize(w + 8 + 41, 60);
    tick(f.panel);
    EXPECT_EQ(f.panel->scrollOffset(), 10);
    tick(f.panel);
    EXPECT_EQ(f.panel->scrollOffset(), 20);
    // Past the text and the 80-pixel gap it starts over.
    int ticks = 0;
    while (f.panel->scrollOffset() != 0 && ticks < 1000) {
        const int before = f.panel->scrollOffset();
        tick(f.panel);
        ++ticks;
        if (f.panel->scrollOffset() == 0) {
            EXPECT_GT(before + 10, w + 80);
        }
    }
    EXPECT_EQ(f.panel->scrollOffset(), 0);
    // A new text starts from the beginning; the same text again changes nothing.
    tick(f.panel);
    f.panel->SetInfoText("Artist : Kolvo Ensemble        Album : Etudes");
    EXPECT_EQ(f.panel->scrollOffset(), 10);
    f.panel->SetInfoText("Something else entirely, and long enough to scroll along");
    EXPECT_EQ(f.panel->scrollOffset(), 0);
}

TEST(DisplayPanel, DarkeningDimsTheDisplaysAndStopsThePositionSlider)
{
    PanelFixture f(DisplayPanel::kCdPlayer);
    f.panel->Update(album(5, 2), 30, 0, true);
    f.panel->SetLit(false);
    EXPECT_FALSE(f.panel->timeDisplay()->isLit());
    EXPECT_FALSE(f.panel->trackDisplay()->isLit());
    EXPECT_FALSE(f.panel->trackGrid()->isLit());
    EXPECT_FALSE(f.panel->positionSlider()->IsEnabled());
    EXPECT_EQ(f.panel->positionSlider()->GetPos(), 0);
    EXPECT_EQ(f.panel->trackGrid()->cellImage(1), TrackGrid::kCellEmpty);
}
