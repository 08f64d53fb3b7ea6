// The slider kinds: thumb rectangles, clicks beside the thumb, dragging, the notifications, and
// the position slider's pixel arithmetic.
#include "uitest.h"

#include "support/testhome.h"
#include "ui/skin.h"
#include "ui/skinslider.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>

#include <utility>

namespace {

using Scrolls = std::vector<std::pair<int, int>>; // position, notification code

// The scroll messages the parent got (all from `from`), which it then forgets.
Scrolls takeScrolls(Recorder& r, UINT msg, const QWidget& from)
{
    Scrolls out;
    for (const Message& m : r.messages) {
        EXPECT_EQ(m.msg, msg);
        EXPECT_EQ(m.lParam, static_cast<LPARAM>(static_cast<const Wnd&>(from).handle()));
        out.emplace_back(static_cast<std::int16_t>(HIWORD(m.wParam)), LOWORD(m.wParam));
    }
    r.clear();
    return out;
}

class Sliders : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        m_parent = std::make_unique<Recorder>();
        m_parent->show();
    }
    void TearDown() override
    {
        m_parent.reset();
        Skin::instance().LoadSkin(std::string());
        KolvoHomeTest::TearDown();
    }
    std::unique_ptr<Recorder> m_parent;
};

} // namespace

TEST(SliderArithmetic, ThumbsStepsAndDragsAsDesigned)
{
    // (The thumb rectangles are checked pixel for pixel where every kind is drawn.)
    using slider::Kind;
    EXPECT_EQ(slider::stepFromClick(Kind::Volume, 30, QPoint(10, 0)), 38);
    EXPECT_EQ(slider::clamp(Kind::Volume, 38), 32);
    EXPECT_EQ(slider::stepFromClick(Kind::Volume, 10, QPoint(10, 56)), 2);
    EXPECT_EQ(slider::stepFromClick(Kind::SmallVertical, 5, QPoint(5, 0)), 9);
    EXPECT_EQ(slider::stepFromClick(Kind::Balance, 0, QPoint(2, 5)), -4);
    EXPECT_EQ(slider::stepFromClick(Kind::Balance, 0, QPoint(30, 5)), 4);
    EXPECT_EQ(slider::clamp(Kind::Balance, -12), -8);

    // Grabbing the thumb where the table centres it and not moving keeps the position.
    for (Kind kind : {Kind::Volume, Kind::Balance})
        for (int p : kind == Kind::Volume ? std::vector{0, 17, 32} : std::vector{-8, 0, 5}) {
            const QRect t = slider::thumbRect(kind, p);
            const QPoint at =
                kind == Kind::Volume ? QPoint(10, t.top() + 12) : QPoint(t.left() + 8, 6);
            EXPECT_EQ(slider::dragPosition(kind, slider::dragOffset(kind, at, t), at), p);
        }
    // Negative positions travel as 16-bit two's complement.
    EXPECT_EQ(slider::scrollParam(-8, SB_THUMBPOSITION), WPARAM(0xFFF80004u));
    EXPECT_EQ(slider::scrollParam(32, SB_THUMBTRACK), WPARAM(0x00200005u));
}

// What the parent hears of clicks and drags on each kind, and where the thumb ends.
TEST_F(Sliders, ClicksAndDragsReportTheirPositions)
{
    using slider::Kind;
    enum Act { Press, Move, Release, Click };
    const int volumeGrip = slider::thumbRect(Kind::Volume, 10).top() + 12;
    const int besideVolume = slider::thumbRect(Kind::Volume, 32).center().y();
    const struct
    {
        const char* what;
        Kind kind;
        QRect rect;
        int start;
        std::vector<std::pair<Act, QPoint>> steps;
        Scrolls want;
        int end;
    } cases[] = {
        // clang-format off
        {"volume clicked above at 30: past the top, clamped", Kind::Volume, {45, 20, 26, 57}, 30,
         {{Click, {10, 1}}}, {{32, SB_THUMBTRACK}}, 32},
        {"volume clicked beside its thumb: nothing", Kind::Volume, {45, 20, 26, 57}, 32,
         {{Click, {1, besideVolume}}}, {}, 32},
        {"volume dragged, far above clamped, reported on release", Kind::Volume, {45, 20, 26, 57}, 10,
         {{Press, {10, volumeGrip}}, {Move, {10, 25}}, {Move, {10, -40}}, {Release, {10, 25}}},
         {{20, SB_THUMBTRACK}, {32, SB_THUMBTRACK}, {20, SB_THUMBPOSITION}}, 20},
        {"balance dragged far left", Kind::Balance, {41, 81, 34, 13}, 0,
         {{Press, {17, 6}}, {Move, {-200, 6}}, {Release, {-200, 6}}},
         {{-8, SB_THUMBTRACK}, {-8, SB_THUMBPOSITION}}, -8},
        {"small slider clicked below its thumb: final at once", Kind::SmallVertical, {326, 18, 17, 35}, 2,
         {{Click, {8, 34}}}, {{0, SB_THUMBPOSITION}}, 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SkinSlider s(c.kind, c.rect, m_parent.get(), 6500);
        s.SetPos(c.start);
        for (const auto& [act, at] : c.steps) {
            if (act == Press) {
                QTest::mousePress(&s, Qt::LeftButton, {}, at);
                EXPECT_TRUE(s.isDragging());
            } else if (act == Move) {
                QTest::mouseMove(&s, at);
            } else if (act == Release) {
                QTest::mouseRelease(&s, Qt::LeftButton, {}, at);
            } else {
                QTest::mouseClick(&s, Qt::LeftButton, {}, at);
            }
        }
        pump();
        EXPECT_FALSE(s.isDragging());
        EXPECT_EQ(s.GetPos(), c.end);
        EXPECT_EQ(takeScrolls(*m_parent, c.kind == Kind::Balance ? WM_HSCROLL : WM_VSCROLL, s),
                  c.want);
    }
}

TEST(PositionSliderArithmetic, PixelsAndValuesMapWithoutDividingByZero)
{
    EXPECT_EQ(PositionSlider::valueAt(131, 262, 524), 262);
    EXPECT_EQ(PositionSlider::valueAt(262, 262, 3600), 3600);
    EXPECT_EQ(PositionSlider::valueAt(300, 262, 100), 100); // clamped
    EXPECT_EQ(PositionSlider::pixelOf(262, 262, 524), 131);
    EXPECT_EQ(PositionSlider::valueAt(100, 262, 0), 0);
    EXPECT_EQ(PositionSlider::pixelOf(100, 262, 0), 0);
    EXPECT_EQ(PositionSlider::valueAt(5, 0, 100), 0);
}

TEST_F(Sliders, ThePositionSliderJumpsDragsAndKeepsZeroWithoutARange)
{
    PositionSlider s(QRect(4, 53, 266, 3), m_parent.get(), 5201);
    s.SetRange(262);
    s.SetPos(100);
    EXPECT_EQ(s.pixel(), 100);

    // A click away from the thumb jumps there and reports both at once.
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(30, 1));
    pump();
    EXPECT_EQ(takeScrolls(*m_parent, WM_HSCROLL, s),
              (Scrolls{{27, SB_THUMBTRACK}, {27, SB_THUMBPOSITION}}));

    // A new range puts the position back to 0; so does disabling, which also stops the mouse.
    s.SetRange(100);
    EXPECT_EQ(s.GetPos(), 0);
    s.SetPos(40);
    s.Enable(false);
    EXPECT_EQ(s.GetPos(), 0);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(200, 1));
    pump();
    EXPECT_TRUE(m_parent->messages.empty());

    // Maximum 0: everything is 0.
    s.Enable(true);
    s.SetRange(0);
    s.SetPos(50);
    EXPECT_EQ(s.GetPos(), 0);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(200, 1));
    pump();
    EXPECT_EQ(takeScrolls(*m_parent, WM_HSCROLL, s),
              (Scrolls{{0, SB_THUMBTRACK}, {0, SB_THUMBPOSITION}}));
    EXPECT_EQ(s.pixel(), 0);
}

TEST_F(Sliders, EveryKindDrawsTrackAndThumbPixelForPixel)
{
    writeFile("data/uib/Sliders.uib", bytesOf(uib::writeSkin("Sliders", solidSlots(), {})));
    Skin::instance().LoadSkin("Sliders.uib");
    // The designed thumb rectangle at position 0, and where one step moves it.
    const struct
    {
        slider::Kind kind;
        QSize size;
        int track, thumb, thumbDisabled;
        std::vector<int> positions;
        QRect thumbAt0;
        QPoint step;
    } cases[] = {
        // clang-format off
        {slider::Kind::Volume, {27, 58}, skin::kVolumeTrack, skin::kVolumeThumb,
         skin::kVolumeThumbDisabled, {0, 13, 32}, {QPoint(5, 33), QPoint(22, 56)}, {0, -1}},
        {slider::Kind::SmallVertical, {17, 35}, skin::kSmallTrack, skin::kSmallThumb,
         skin::kSmallThumbDisabled, {0, 9, 16}, {QPoint(3, 18), QPoint(14, 33)}, {0, -1}},
        {slider::Kind::Balance, {34, 13}, skin::kBalanceTrack, skin::kBalanceThumb,
         skin::kBalanceThumbDisabled, {-8, 0, 3, 8}, {QPoint(9, 3), QPoint(24, 10)}, {1, 0}},
        // clang-format on
    };
    const auto corner = [](const QRect& r, int x, int y) {
        return (x == r.left() || x == r.right()) && (y == r.top() || y == r.bottom());
    };
    for (const auto& c : cases) {
        SkinSlider s(c.kind, QRect(QPoint(0, 0), c.size), m_parent.get(), 6600);
        for (int p : c.positions) {
            // The track colour but at its keyed corners, and over it the thumb at its designed
            // rectangle, its own corners letting the track through.
            const QRect thumb = c.thumbAt0.translated(c.step * p), track(QPoint(0, 0), c.size);
            for (bool enabled : {true, false}) {
                s.setEnabled(enabled);
                s.SetPos(p);
                const int slot = enabled ? c.thumb : c.thumbDisabled;
                EXPECT_EQ(mismatch(render(&s),
                                   [&](int x, int y) -> std::optional<QRgb> {
                                       if (thumb.contains(x, y) && !corner(thumb, x, y))
                                           return 0xFF000000u | testColor(slot);
                                       if (!corner(track, x, y))
                                           return 0xFF000000u | testColor(c.track);
                                       return std::nullopt;
                                   }),
                          "")
                    << int(c.kind) << " at " << p << (enabled ? "" : ", disabled");
            }
        }
        // A disabled slider does not move, clicked far from its thumb at the end.
        const int held = s.GetPos();
        QTest::mouseClick(&s, Qt::LeftButton, {},
                          c.kind == slider::Kind::Balance
                              ? QPoint(2, c.size.height() / 2)
                              : QPoint(c.size.width() / 2, c.size.height() - 2));
        EXPECT_EQ(s.GetPos(), held) << int(c.kind);
    }
}

TEST_F(Sliders, ThePositionLineIsBlackWhenPlayedAndGreyAheadWithTheThumbOfItsState)
{
    PositionSlider s(QRect(4, 53, 266, 3), m_parent.get(), 5201);
    s.SetRange(262);
    const ImageList& thumbs = Skin::instance().PositionThumbs();
    // The line: black up to the thumb, grey after it; the thumb's own opaque pixels over it.
    const auto check = [&](int q, int state, const char* what) {
        const QImage img = render(&s);
        const QImage thumb = cells(thumbs, {state}, false);
        ASSERT_EQ(s.pixel(), q) << what;
        int opaque = 0;
        for (int x = 0; x < img.width(); ++x) {
            const bool under = x >= q && x < q + thumb.width();
            for (int y = 0; y < img.height(); ++y) {
                if (under && qAlpha(thumb.pixel(x - q, y)) == 255) {
                    ++opaque;
                    ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, thumb.pixel(x - q, y) & 0xFFFFFF)
                        << what << " thumb at " << x << "," << y;
                } else if (y == 1 && !under) {
                    ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, x < q ? 0x000000u : 0x808080u)
                        << what << " line at " << x;
                }
            }
        }
        EXPECT_GT(opaque, 0) << what;
    };
    check(0, PositionSlider::kNormal, "start");
    s.SetPos(100);
    check(100, PositionSlider::kNormal, "normal");
    QTest::mouseMove(&s, QPoint(101, 1));
    check(100, PositionSlider::kHot, "hot");
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(101, 1));
    check(100, PositionSlider::kPressed, "pressed");
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(101, 1));
    QTest::mouseMove(&s, QPoint(200, 1));
    // (Released where it was pressed, the designed drag arithmetic leaves it a pixel left.)
    check(99, PositionSlider::kNormal, "mouse gone");
    s.SetPos(262);
    check(262, PositionSlider::kNormal, "end");
}
