// The slider kinds: thumb rectangles, clicks beside the thumb, dragging, the notifications, and
// the position slider's pixel arithmetic.
#include "uitest.h"

#include "support/testhome.h"
#include "ui/skin.h"
#include "ui/skinslider.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>

namespace {

struct Scroll
{
    int position;
    int code;
};

std::vector<Scroll> scrolls(const Recorder& r, UINT msg)
{
    std::vector<Scroll> out;
    for (const Message& m : r.messages)
        if (m.msg == msg)
            out.push_back({static_cast<std::int16_t>(HIWORD(m.wParam)), LOWORD(m.wParam)});
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

    // Grabbing the thumb where the table centres it and not moving keeps the position, for the
    // volume and balance kinds.
    for (int p : {0, 17, 32}) {
        const QRect t = slider::thumbRect(Kind::Volume, p);
        const QPoint at(10, t.top() + 12);
        EXPECT_EQ(slider::dragPosition(Kind::Volume, slider::dragOffset(Kind::Volume, at, t), at),
                  p);
    }
    for (int p : {-8, 0, 5}) {
        const QRect t = slider::thumbRect(Kind::Balance, p);
        const QPoint at(t.left() + 8, 6);
        EXPECT_EQ(slider::dragPosition(Kind::Balance, slider::dragOffset(Kind::Balance, at, t), at),
                  p);
    }
    // Negative positions travel as 16-bit two's complement.
    EXPECT_EQ(slider::scrollParam(-8, SB_THUMBPOSITION), WPARAM(0xFFF80004u));
    EXPECT_EQ(slider::scrollParam(32, SB_THUMBTRACK), WPARAM(0x00200005u));
}

TEST_F(Sliders, TheVolumeSliderClickedAboveAtThirtyEndsAtThirtyTwo)
{
    SkinSlider s(slider::Kind::Volume, QRect(45, 20, 26, 57), m_parent.get(), 6500);
    s.SetPos(30);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(10, 1));
    pump();
    EXPECT_EQ(s.GetPos(), 32);
    auto got = scrolls(*m_parent, WM_VSCROLL);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].position, 32);
    EXPECT_EQ(got[0].code, SB_THUMBTRACK);
    EXPECT_EQ(m_parent->messages[0].lParam, static_cast<LPARAM>(s.handle()));

    // Beside the thumb, at its own height: nothing happens.
    m_parent->clear();
    const QRect t = slider::thumbRect(slider::Kind::Volume, 32);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(1, t.center().y()));
    pump();
    EXPECT_EQ(s.GetPos(), 32);
    EXPECT_TRUE(m_parent->messages.empty());
}

TEST_F(Sliders, DraggingTheVolumeThumbTracksAndReportsOnRelease)
{
    SkinSlider s(slider::Kind::Volume, QRect(45, 20, 26, 57), m_parent.get(), 6500);
    s.SetPos(10);
    const QRect t = slider::thumbRect(slider::Kind::Volume, 10);
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(10, t.top() + 12));
    EXPECT_TRUE(s.isDragging());
    QTest::mouseMove(&s, QPoint(10, 25));
    QTest::mouseMove(&s, QPoint(10, -40)); // far above: clamped
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(10, 25));
    pump();
    const auto got = scrolls(*m_parent, WM_VSCROLL);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].position, 20);
    EXPECT_EQ(got[0].code, SB_THUMBTRACK);
    EXPECT_EQ(got[1].position, 32);
    EXPECT_EQ(got[2].position, 20);
    EXPECT_EQ(got[2].code, SB_THUMBPOSITION);
    EXPECT_FALSE(s.isDragging());
}

TEST_F(Sliders, TheBalanceSliderDraggedFarLeftReportsMinusEight)
{
    SkinSlider s(slider::Kind::Balance, QRect(41, 81, 34, 13), m_parent.get(), 6600);
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(17, 6));
    QTest::mouseMove(&s, QPoint(-200, 6));
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(-200, 6));
    pump();
    EXPECT_EQ(s.GetPos(), -8);
    const auto got = scrolls(*m_parent, WM_HSCROLL);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got.back().position, -8);
    EXPECT_EQ(got.back().code, SB_THUMBPOSITION);
    EXPECT_EQ(HIWORD(m_parent->messages.back().wParam), 0xFFF8);
}

TEST_F(Sliders, TheSmallSliderReportsAClickBesideItsThumbAsFinal)
{
    SkinSlider s(slider::Kind::SmallVertical, QRect(326, 18, 17, 35), m_parent.get(), 5650);
    s.SetPos(2);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(8, 34));
    pump();
    EXPECT_EQ(s.GetPos(), 0);
    const auto got = scrolls(*m_parent, WM_VSCROLL);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, SB_THUMBPOSITION);
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

    // A drag: offset = thumb left - click x + 6, q = mouse x + offset - 3.
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(100, 1));
    QTest::mouseMove(&s, QPoint(150, 1));
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(150, 1));
    pump();
    auto got = scrolls(*m_parent, WM_HSCROLL);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].position, 149);
    EXPECT_EQ(got[0].code, SB_THUMBTRACK);
    EXPECT_EQ(got[1].position, 149);
    EXPECT_EQ(got[1].code, SB_THUMBPOSITION);
    EXPECT_EQ(s.GetPos(), 149);

    // A click away from the thumb jumps there and reports both at once.
    m_parent->clear();
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(30, 1));
    pump();
    got = scrolls(*m_parent, WM_HSCROLL);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].position, 27);
    EXPECT_EQ(got[0].code, SB_THUMBTRACK);
    EXPECT_EQ(got[1].code, SB_THUMBPOSITION);

    // A new range puts the position back to 0; so does disabling, which also stops the mouse.
    s.SetRange(100);
    EXPECT_EQ(s.GetPos(), 0);
    s.SetPos(40);
    s.Enable(false);
    EXPECT_EQ(s.GetPos(), 0);
    m_parent->clear();
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
    got = scrolls(*m_parent, WM_HSCROLL);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].position, 0);
    EXPECT_EQ(s.GetPos(), 0);
    EXPECT_EQ(s.pixel(), 0);
}

namespace {

// Where the slider lets its parent show through (the track's keyed corners).
constexpr QRgb kBehind = 0x123456;

// What a slider of a solid test skin must look like, pixel for pixel: the track colour except
// at its keyed corners, and over it the thumb at its designed rectangle with its own corners
// letting the track through.
QImage expectedSlider(QSize trackSize, int trackSlot, const QRect& thumb, int thumbSlot)
{
    QImage img(trackSize, QImage::Format_RGB32);
    img.fill(kBehind);
    const auto corner = [](const QRect& r, int x, int y) {
        return (x == r.left() || x == r.right()) && (y == r.top() || y == r.bottom());
    };
    const QRect track(QPoint(0, 0), trackSize);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (thumb.contains(x, y) && !corner(thumb, x, y))
                img.setPixel(x, y, 0xFF000000u | testColor(thumbSlot));
            else if (!corner(track, x, y))
                img.setPixel(x, y, 0xFF000000u | testColor(trackSlot));
        }
    }
    return img;
}

// "" when both images are the same (whatever lies behind aside), else where they first differ.
std::string firstDifference(const QImage& got, const QImage& want)
{
    if (got.size() != want.size())
        return "sizes differ";
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            if ((want.pixel(x, y) & 0xFFFFFF) != kBehind &&
                (got.pixel(x, y) & 0xFFFFFF) != (want.pixel(x, y) & 0xFFFFFF))
                return QStringLiteral("(%1, %2): %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(got.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .arg(want.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .toStdString();
    return {};
}

} // namespace

TEST_F(Sliders, EveryKindDrawsTrackAndThumbPixelForPixel)
{
    writeFile("data/uib/Sliders.uib", bytesOf(uib::writeSkin("Sliders", solidSlots(), {})));
    Skin::instance().LoadSkin("Sliders.uib");
    struct Case
    {
        slider::Kind kind;
        QSize size;
        int track, thumb, thumbDisabled;
        std::vector<int> positions;
        // The designed thumb rectangle at position p.
        QRect (*thumbAt)(int p);
    };
    const std::vector<Case> cases = {
        {slider::Kind::Volume,
         {27, 58},
         skin::kVolumeTrack,
         skin::kVolumeThumb,
         skin::kVolumeThumbDisabled,
         {0, 13, 32},
         [](int p) { return QRect(QPoint(5, 33 - p), QPoint(22, 56 - p)); }},
        {slider::Kind::SmallVertical,
         {17, 35},
         skin::kSmallTrack,
         skin::kSmallThumb,
         skin::kSmallThumbDisabled,
         {0, 9, 16},
         [](int p) { return QRect(QPoint(3, 18 - p), QPoint(14, 33 - p)); }},
        {slider::Kind::Balance,
         {34, 13},
         skin::kBalanceTrack,
         skin::kBalanceThumb,
         skin::kBalanceThumbDisabled,
         {-8, 0, 3, 8},
         [](int p) { return QRect(QPoint(p + 9, 3), QPoint(p + 24, 10)); }},
    };
    for (const Case& c : cases) {
        SkinSlider s(c.kind, QRect(QPoint(0, 0), c.size), m_parent.get(), 6600);
        for (int p : c.positions) {
            s.setEnabled(true);
            s.SetPos(p);
            EXPECT_EQ(
                firstDifference(render(&s), expectedSlider(c.size, c.track, c.thumbAt(p), c.thumb)),
                "")
                << int(c.kind) << " at " << p;
            s.setEnabled(false);
            EXPECT_EQ(firstDifference(render(&s), expectedSlider(c.size, c.track, c.thumbAt(p),
                                                                 c.thumbDisabled)),
                      "")
                << int(c.kind) << " disabled at " << p;
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
    const auto thumbImage = [&thumbs](int index) {
        QImage img(thumbs.cellSize(), QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        thumbs.Draw(p, index, 0, 0);
        return img;
    };
    // The line: black up to the thumb, grey after it; the thumb's own opaque pixels over it.
    const auto check = [&](int q, int state, const char* what) {
        const QImage img = render(&s);
        const QImage thumb = thumbImage(state);
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
