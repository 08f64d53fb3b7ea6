// Digit displays, the track grid and the display panel: what they draw for given values, and
// what they tell the component.
#include "uitest.h"

#include "platform/strings.h"

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

// Whether the display shows exactly these images, cell by cell (the last column of a cell is
// the first of the next, and both are dark).
bool showsImages(DigitDisplay& d, const std::vector<int>& images)
{
    const QImage img = render(&d);
    const QPoint o = d.origin();
    for (size_t i = 0; i < images.size(); ++i) {
        const QImage want = cells(Skin::instance().Digits(d.kind()), {images[i]});
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
    panel->sendMessage(WM_TIMER, WPARAM(kTickTimerId), 0);
}

// Indicator images drawn one over another on black, as the panel composes them.
QImage indicators(std::vector<int> images)
{
    return cells(Skin::instance().Indicators(), std::move(images));
}

QPoint spot(DisplayPanel::Indicator which)
{
    return DisplayPanel::indicatorSpot(which).center();
}

void moveMouse(QWidget* w, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
    QCoreApplication::sendEvent(w, &move);
}

} // namespace

// What each kind of display draws for a value: figures, separators, the sign (13 minus, 18
// remaining, 14 none), unlit images, and nines for more figures than cells.
TEST(DigitDisplay, DrawsTheImageOfEachFigureSeparatorAndSign)
{
    EXPECT_EQ(DigitDisplay::TimeValue(3725), 10205); // 1:02:05
    const struct
    {
        int kind, width, height, digits;
        bool sign;
        std::vector<int> separators;
        int value;
        bool remaining, lit;
        std::vector<int> cells;
        int advance;
    } cases[] = {
        {2, 73, 12, 5, true, {4, 2}, 10205, false, true, {14, 1, 11, 0, 2, 11, 0, 5}, 9},
        {2, 73, 12, 5, true, {4, 2}, 230, true, true, {18, 0, 11, 0, 2, 11, 3, 0}, 9},
        {2, 73, 12, 5, true, {4, 2}, 230, true, false, {13, 10, 12, 10, 10, 12, 10, 10}, 9},
        {2, 73, 12, 5, true, {4, 2}, -7, false, true, {13, 0, 11, 0, 0, 11, 0, 7}, 9},
        {1, 26, 18, 2, false, {}, 123, false, true, {9, 9}, 13},
        {0, 64, 30, 3, false, {}, 407, false, true, {4, 0, 7}, 21},
        {0, 64, 30, 3, false, {}, 407, false, false, {10, 10, 10}, 21},
        {3, 37, 10, 4, true, {2}, -1234, false, true, {13, 1, 2, 11, 3, 4}, 6},
        {3, 37, 10, 4, true, {2}, 1234, true, true, {18, 1, 2, 11, 3, 4}, 6},
    };
    Recorder parent;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " value " << c.value);
        DigitDisplay d(c.kind, QRect(0, 0, c.width, c.height), &parent, 5204);
        d.SetDigits(c.digits, c.sign);
        d.SetSeparators(c.separators);
        d.SetValue(c.value, c.remaining);
        d.SetLit(c.lit);
        EXPECT_EQ(d.advance(), c.advance);
        EXPECT_EQ(d.cellImages(), c.cells);
        EXPECT_TRUE(showsImages(d, c.cells));
    }
    // The comparison itself tells images apart.
    DigitDisplay large(0, QRect(0, 0, 64, 30), &parent, 1);
    large.SetDigits(3, false);
    large.SetValue(407);
    EXPECT_FALSE(showsImages(large, {4, 0, 1}));
}

TEST(TrackGrid, ThePageOfTrackSixteenStartsAtSixteen)
{
    for (auto [track, first] : {std::pair{16, 16}, {15, 1}, {31, 31}, {0, 1}})
        EXPECT_EQ(TrackGrid::pageStart(track), first) << track;
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
    std::vector<int> shown;
    for (int track : {16, 20, 21, 22, 41})
        shown.push_back(grid.cellImage(track));
    EXPECT_EQ(shown, (std::vector<int>{TrackGrid::kCellCurrent, TrackGrid::kCellUnplayable,
                                       TrackGrid::kCellProgrammed, TrackGrid::kCellPlayed,
                                       TrackGrid::kCellEmpty}));

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

    // Paging: none after 31-45, and none before 1-15.
    std::vector<int> firsts;
    for (int page : {TrackGrid::kNextPageId, TrackGrid::kNextPageId, TrackGrid::kPreviousPageId,
                     TrackGrid::kPreviousPageId}) {
        grid.sendMessage(WM_COMMAND, WPARAM(page), 0);
        firsts.push_back(grid.firstNumber());
    }
    EXPECT_EQ(firsts, (std::vector<int>{31, 31, 16, 1}));

    // A cell past the album's end does nothing.
    grid.SetAlbum(album(3, 1));
    parent.clear();
    QTest::mouseClick(&grid, Qt::LeftButton, {}, TrackGrid::cellRect(7).center());
    pump();
    EXPECT_EQ(parent.count(UM_PLAY_SONG), 0);
}

TEST(DisplayPanel, SongOneHundredAndFiveShowsOneAndOhFive)
{
    PanelFixture f(ComponentAudio);
    f.panel->Update(album(120, 105), 10, 0, true);
    EXPECT_TRUE(showsImages(*f.panel->hundredsDisplay(), {1}));
    EXPECT_TRUE(showsImages(*f.panel->trackDisplay(), {0, 5}));
    EXPECT_TRUE(f.panel->hundredsDisplay()->isVisible());

    // Without a current song: the song count and the album's length.
    f.panel->Update(album(12, 0), 0, 0, true);
    EXPECT_EQ(f.panel->trackDisplay()->cellImages(), (std::vector<int>{1, 2}));
    EXPECT_EQ(f.panel->timeDisplay()->value(), DigitDisplay::TimeValue(4000));
}

TEST(DisplayPanel, RemainingTimeShowsTwoThirtyWithTheSignAndDarkeningDimsEverything)
{
    PanelFixture f(ComponentCd);
    EXPECT_FALSE(f.panel->hundredsDisplay()->isVisible());
    f.panel->SetState(kModePlaying);
    f.panel->Update(album(5, 2, 200), 50, 1, true);
    EXPECT_TRUE(showsImages(*f.panel->timeDisplay(), {18, 0, 11, 0, 2, 11, 3, 0}));
    // Past the end it stays at 0.
    f.panel->Update(album(5, 2, 200), 230, 1, true);
    EXPECT_EQ(f.panel->timeDisplay()->value(), 0);
    EXPECT_EQ(f.panel->positionSlider()->GetRange(), 200);

    f.panel->Update(album(5, 2), 30, 0, true);
    f.panel->SetLit(false);
    EXPECT_FALSE(f.panel->timeDisplay()->isLit() || f.panel->trackDisplay()->isLit() ||
                 f.panel->trackGrid()->isLit() || f.panel->positionSlider()->IsEnabled());
    EXPECT_EQ(f.panel->positionSlider()->GetPos(), 0);
    EXPECT_EQ(f.panel->trackGrid()->cellImage(1), TrackGrid::kCellEmpty);
}

TEST(DisplayPanel, DraggingThePositionShowsTheTimeAndSeeksOnlyOnRelease)
{
    PanelFixture f(ComponentAudio);
    f.panel->SetState(kModePlaying);
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
    PanelFixture audio(ComponentAudio);
    DisplayPanel* p = audio.panel;
    using P = DisplayPanel;
    // The play and pause images of each state; opening blinks the play image.
    const auto images = [p] {
        return std::pair{p->indicatorImage(P::Play), p->indicatorImage(P::Pause)};
    };
    p->SetState(kModePlaying);
    EXPECT_EQ(images(), std::pair(9, 8));
    p->SetState(kModePaused);
    EXPECT_EQ(images(), std::pair(10, 7));
    p->SetState(kModeRecording);
    EXPECT_EQ(p->indicatorImage(P::Play), 27);
    p->SetState(kModeOpening);
    const int first = p->indicatorImage(P::Play);
    tick(p);
    EXPECT_EQ(std::set<int>({first, p->indicatorImage(P::Play)}), std::set<int>({9, 10}));
    // The effect indicator blinks while playing with the effect engine active.
    p->SetState(kModePlaying);
    EXPECT_EQ(p->indicatorImage(P::Effect), 26);
    p->SetEffectActive(true);
    const int e1 = p->indicatorImage(P::Effect);
    tick(p);
    EXPECT_EQ(std::set<int>({e1, p->indicatorImage(P::Effect)}), std::set<int>({25, 26}));
    std::vector<int> shown;
    for (int r = 0; r < 3; ++r) {
        p->SetRepeat(r);
        shown.push_back(p->indicatorImage(P::Repeat));
    }
    for (int m = 0; m < 4; ++m) {
        p->SetPlayMethod(m);
        shown.push_back(p->indicatorImage(P::PlayMethod));
    }
    shown.push_back(p->indicatorImage(P::ViewerSize));
    EXPECT_EQ(shown, (std::vector<int>{4, 5, 6, 0, 2, 1, 3, -1})) << "repeat, method, size";

    // The hover mark comes and goes with the mouse.
    p->SetRepeat(1);
    p->SetPlayMethod(2);
    // Whether the repeat and play-method spots show their images (5 and 1) under the mark (15)
    // or under the mark's absence (16).
    const auto marks = [p](int repeatMark, int methodMark) {
        const QImage img = render(p);
        return img.copy(P::indicatorSpot(P::Repeat)) == indicators({5, repeatMark}) &&
               img.copy(P::indicatorSpot(P::PlayMethod)) == indicators({1, methodMark});
    };
    ASSERT_NE(indicators({5, 16}), indicators({5, 15})) << "the mark must show";
    EXPECT_TRUE(marks(16, 16));
    moveMouse(p, spot(P::Repeat));
    EXPECT_TRUE(marks(15, 16));
    moveMouse(p, spot(P::PlayMethod));
    EXPECT_TRUE(marks(16, 15));
    // Leaving the panel takes the mark away; elsewhere in the panel there is none either.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(p, &leave);
    EXPECT_TRUE(marks(16, 16));
    moveMouse(p, spot(P::Repeat));
    moveMouse(p, QPoint(100, 40));
    EXPECT_TRUE(marks(16, 16));

    // The CD Player does not blink while opening and has no effect indicator.
    PanelFixture cd(ComponentCd);
    cd.panel->SetState(kModeOpening);
    EXPECT_EQ(cd.panel->indicatorImage(P::Play), 10);
    tick(cd.panel);
    EXPECT_EQ(cd.panel->indicatorImage(P::Play), 10);
    EXPECT_EQ(cd.panel->indicatorImage(P::Effect), -1);

    PanelFixture video(ComponentVideo);
    video.panel->SetViewerSize(2);
    EXPECT_EQ(video.panel->indicatorImage(P::ViewerSize), 21);
    moveMouse(video.panel, spot(P::ViewerSize));
    EXPECT_EQ(video.panel->indicatorImage(P::ViewerSize), 22);

    // What is drawn is the image named: the play indicator of the playing CD Player.
    cd.panel->SetState(kModePlaying);
    const QImage drawn = render(cd.panel).copy(QRect(P::indicatorOrigin(P::Play), QSize(10, 10)));
    EXPECT_EQ(drawn, indicators({9}).copy(0, 0, 10, 10));
    EXPECT_NE(drawn, indicators({10}).copy(0, 0, 10, 10));
}

// The current track blinks on the panel's tick, in step with the indicators, and on nothing
// else: time alone changes nothing.
TEST(DisplayPanel, TheCurrentTrackBlinksOnThePanelsTick)
{
    PanelFixture f(ComponentAudio);
    TrackGrid* grid = f.panel->trackGrid();
    f.panel->Update(album(20, 3), 0, 0, true);
    EXPECT_EQ(grid->cellImage(3), TrackGrid::kCellCurrent);
    pump(700);
    EXPECT_EQ(grid->cellImage(3), TrackGrid::kCellCurrent) << "it blinks without a tick";
    tick(f.panel);
    EXPECT_EQ(grid->cellImage(3), TrackGrid::kCellCurrentBlink);
    EXPECT_EQ(grid->cellImage(4), TrackGrid::kCellNormal) << "only the current track blinks";
    const QImage blinking = render(grid);
    tick(f.panel);
    EXPECT_EQ(grid->cellImage(3), TrackGrid::kCellCurrent);
    const QRect cell = TrackGrid::cellRect(2);
    EXPECT_NE(render(grid).copy(cell), blinking.copy(cell)) << "the cell is drawn anew";

    // Dark, or with no current track, nothing blinks; lit again it starts from the plain image.
    tick(f.panel);
    f.panel->SetLit(false);
    tick(f.panel);
    f.panel->SetLit(true);
    EXPECT_EQ(grid->cellImage(3), TrackGrid::kCellCurrent);
    f.panel->Update(album(20, 0), 0, 0, true);
    tick(f.panel);
    f.panel->Update(album(20, 5), 0, 0, true);
    EXPECT_EQ(grid->cellImage(5), TrackGrid::kCellCurrent);
}

TEST(DisplayPanel, ClicksBecomeMessagesToTheComponent)
{
    PanelFixture f(ComponentVideo);
    DisplayPanel* p = f.panel;
    p->Update(album(20, 3), 0, 0, true);
    for (auto which : {DisplayPanel::Repeat, DisplayPanel::PlayMethod, DisplayPanel::ViewerSize})
        QTest::mouseClick(p, Qt::LeftButton, {}, spot(which));
    QTest::mouseClick(p->timeDisplay(), Qt::LeftButton, {}, QPoint(20, 5));
    QTest::mouseClick(p->trackDisplay(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(p->hundredsDisplay(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(p->trackGrid(), Qt::LeftButton, {}, TrackGrid::cellRect(1).center());
    pump();
    const Recorder& c = f.component;
    EXPECT_EQ(std::vector<int>({c.count(UM_CYCLE_REPEAT), c.count(UM_CYCLE_PLAY_METHOD),
                                c.count(UM_CYCLE_VIEWER_SIZE), c.count(UM_CYCLE_TIME_DISPLAY),
                                c.count(WM_COMMAND, DisplayPanel::kQuickTrackSelect),
                                c.count(UM_PLAY_SONG, 2)}),
              std::vector<int>({1, 1, 1, 1, 2, 1}));

    // The CD Player has no viewer-size spot.
    PanelFixture cd(ComponentCd);
    QTest::mouseClick(cd.panel, Qt::LeftButton, {}, spot(DisplayPanel::ViewerSize));
    pump();
    EXPECT_EQ(cd.component.count(UM_CYCLE_VIEWER_SIZE), 0);
}

TEST(DisplayPanel, TheInformationLineScrollsOnlyTextsWiderThanItsArea)
{
    PanelFixture f(ComponentMidi);
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

TEST(DigitDisplay, TheFrameIsGreyAboveAndLeftWhiteBelowAndRight)
{
    Recorder parent;
    DigitDisplay d(2, QRect(0, 0, 3 * 9 + 1 + 2, 12 + 2), &parent, 1);
    d.SetDigits(3, false);
    d.SetValue(0);
    const auto framed = [&d] {
        const QImage img = render(&d);
        const int w = img.width(), h = img.height();
        const auto rgb = [&img](int x, int y) { return img.pixel(x, y) & 0xFFFFFF; };
        for (int x = 1; x < w - 1; ++x)
            if (rgb(x, 0) != 0x808080 || rgb(x, h - 1) != 0xFFFFFF)
                return false;
        for (int y = 1; y < h - 1; ++y)
            if (rgb(0, y) != 0x808080 || rgb(w - 1, y) != 0xFFFFFF)
                return false;
        return true;
    };
    // Without a frame the figures start at the left edge; with one they move inside it whole.
    EXPECT_EQ(d.origin(), QPoint(0, 1));
    EXPECT_FALSE(framed());
    d.SetFrame(true);
    EXPECT_TRUE(framed());
    EXPECT_EQ(d.origin(), QPoint(1, 1));
    EXPECT_TRUE(showsImages(d, {0, 0, 0}));
    d.SetFrame(false);
    EXPECT_FALSE(framed());
}

TEST(DisplayPanel, TheInformationLineRepeatsItsText80PixelsOnAndStaysInItsArea)
{
    const std::string text = "Artist : Kolvo Ensemble    Album : Etudes for the Long Evenings";
    PanelFixture f(ComponentMidi);
    DisplayPanel* p = f.panel;
    p->SetInfoText(text);
    const int w = p->textWidth();
    const QRect area = p->infoArea();
    ASSERT_GT(w, area.width() - 8) << "the text must scroll";
    // The whole text, on a panel wide enough to hold it.
    PanelFixture wide(ComponentMidi);
    wide.panel->resize(w + 100, 60);
    wide.panel->SetInfoText(text);
    const QImage whole = render(wide.panel);
    const auto textAt = [&](const QImage& img, int x, int columns) {
        return img.copy(x, area.top(), columns, area.height());
    };
    const auto whiteIn = [&](const QImage& img, int x, int columns) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int c = x; c < x + columns; ++c)
                if (qGray(img.pixel(c, y)) > 128)
                    return true;
        return false;
    };

    // Unscrolled: the text starts 4 pixels into the area and is cut 4 pixels short of the
    // right edge; nothing lies left of the area down to the frame.
    const QImage start = render(p);
    EXPECT_EQ(textAt(start, area.left(), area.width()), textAt(whole, area.left(), area.width()));
    EXPECT_TRUE(whiteIn(start, area.right() - 20, 21));
    EXPECT_FALSE(whiteIn(start, area.right() + 1, 3));
    EXPECT_TRUE(whiteIn(whole, area.right() + 1, 3)) << "the cut hides text";
    EXPECT_FALSE(whiteIn(start, 1, area.left() - 1));

    // Scroll until the second copy starts near the middle of the area.
    const int middle = area.left() + area.width() / 2;
    for (int ticks = 0; area.left() + 4 - p->scrollOffset() + w + 80 > middle && ticks < 200;
         ++ticks)
        tick(p);
    const int offset = p->scrollOffset();
    ASSERT_GT(offset, 0);
    const int firstEnd = area.left() + 4 - offset + w;
    const int copyAt = firstEnd + 80;
    ASSERT_GT(copyAt, area.left());
    ASSERT_LT(copyAt, area.right());
    const QImage moved = render(p);
    // The second copy is the text's beginning again, cut at the area's end.
    EXPECT_EQ(textAt(moved, copyAt, area.right() + 1 - copyAt),
              textAt(whole, area.left() + 4, area.right() + 1 - copyAt));
    // Before it, the first copy's end (when still in view), then an empty gap.
    const int gapFrom = std::max(area.left(), firstEnd + 1);
    if (firstEnd > area.left()) {
        EXPECT_EQ(textAt(moved, area.left(), firstEnd - area.left()),
                  textAt(whole, area.left() + offset, firstEnd - area.left()));
    }
    EXPECT_FALSE(whiteIn(moved, gapFrom, copyAt - 1 - gapFrom));
    EXPECT_FALSE(whiteIn(moved, 1, area.left() - 1));
    EXPECT_FALSE(whiteIn(moved, area.right() + 1, 3));
}
