// Skin buttons: the descriptor tables, the face and glyph each state draws, and the mouse.
#include "uitest.h"

#include "platform/strings.h"
#include "support/testhome.h"
#include "ui/buttons.h"
#include "ui/skin.h"
#include "ui/skinbutton.h"
#include "ui/skinpanel.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <set>

namespace {

constexpr std::uint32_t kUp = 0x2040C0;
constexpr std::uint32_t kDown = 0xC04020;

class Panel : public Recording<SkinPanel>
{
public:
    Panel()
        : Recording(skin::kPanelBackground, false)
    {}
    int commands(int id) const { return count(WM_COMMAND, id); }
};

// The bounding box of the pixels that are neither of the face colour nor of the background.
QRect glyphBox(const QImage& img, QRgb face)
{
    QRect box;
    for (int y = 1; y < img.height() - 1; ++y)
        for (int x = 1; x < img.width() - 1; ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != (face & 0xFFFFFF))
                box |= QRect(x, y, 1, 1);
    return box;
}

class Buttons : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        auto images = solidSlots();
        images[skin::kPanelBackground] = packed(pattern(500, 100, 9));
        images[skin::kFace18Up] = packed(solid(18, 18, kUp, true));
        images[skin::kFace18Down] = packed(solid(18, 18, kDown, true));
        images[skin::kFace60Up] = packed(solid(60, 14, kUp, true));
        images[skin::kFace60Down] = packed(solid(60, 14, kDown, true));
        m_slots = images;
        load(images);
        m_panel = std::make_unique<Panel>();
        m_panel->show();
    }
    void TearDown() override
    {
        m_panel.reset();
        Skin::instance().LoadSkin(std::string());
        KolvoHomeTest::TearDown();
    }
    void load(const std::array<std::vector<std::uint8_t>, uib::kSlotCount>& images)
    {
        writeFile("data/uib/Buttons.uib", bytesOf(uib::writeSkin("Buttons", images, {})));
        Skin::instance().LoadSkin("Buttons.uib");
        ASSERT_FALSE(Skin::instance().usingBuiltin());
    }
    SkinButton* make(const ButtonDescriptor& d)
    {
        auto* b = new SkinButton(d, m_panel.get());
        pump();
        return b;
    }
    // Inside the one-pixel rim, where a solid face has no clear pixels.
    QImage inner(SkinButton* b) { return look(b).copy(1, 1, b->width() - 2, b->height() - 2); }
    // Rendered through the panel, so that clear face pixels show its background.
    QImage look(SkinButton* b) { return render(m_panel.get()).copy(b->geometry()); }
    std::unique_ptr<Panel> m_panel;
    std::array<std::vector<std::uint8_t>, uib::kSlotCount> m_slots;
};

// A button over the panel background, with the 18-pixel faces unless it says otherwise.
ButtonDescriptor button(int id, std::uint32_t flags, int glyph, int disabledGlyph, int checkedGlyph,
                        QRect r, int upFace = skin::kFace18Up)
{
    return {id,         flags,         skin::kPanelBackground,
            glyph,      disabledGlyph, checkedGlyph,
            r.x(),      r.y(),         r.width(),
            r.height(), upFace,        upFace + 1};
}

const ButtonDescriptor kPlay = button(5104, 0, 12, 0, 0, {376, 6, 18, 18});
const ButtonDescriptor kForward = button(5116, kButtonAutoRepeat, 4, 0, 0, {416, 6, 18, 18});
const ButtonDescriptor kLyric = button(5184, kButtonToggle, 63, 0, 62, {6, 26, 18, 18});

} // namespace

// What holds for every panel's table whatever its layout: the buttons lie inside their panel and
// apart from each other, each command once, a tooltip for each, a glyph the strip has, faces
// in pairs; a mistyped coordinate or id shows up as an overlap, a stray or a missing text.
TEST(ButtonTables, EveryPanelsButtonsFitApartWithTheirTexts)
{
    const struct
    {
        const char* name;
        const ButtonDescriptor* table;
        QSize panel;
    } panels[] = {
        {"CD Player", buttons::kCdPlayer, {500, 100}},
        {"Digital Audio Player", buttons::kAudioPlayer, {500, 100}},
        {"MIDI Player", buttons::kMidiPlayer, {500, 100}},
        {"Digital Video Player", buttons::kVideoPlayer, {500, 100}},
        {"Sound Effector", buttons::kSoundEffector, {500, 100}},
        {"Mixer", buttons::kMixer, {500, 100}},
        {"strip", buttons::kMainController, {500, 100}},
        {"remote control", buttons::kRemoteControl, {500, 500}},
    };
    for (const auto& panel : panels) {
        SCOPED_TRACE(panel.name);
        const auto made = buttons::entries(panel.table);
        ASSERT_FALSE(made.empty());
        std::set<int> ids;
        for (size_t i = 0; i < made.size(); ++i) {
            const ButtonDescriptor& b = made[i];
            const QRect r(b.x, b.y, b.width, b.height);
            EXPECT_TRUE(QRect(QPoint(0, 0), panel.panel).contains(r)) << b.commandId;
            EXPECT_TRUE(ids.insert(b.commandId).second) << b.commandId << " twice";
            for (size_t j = 0; j < i; ++j) {
                const ButtonDescriptor& o = made[j];
                EXPECT_FALSE(r.intersects(QRect(o.x, o.y, o.width, o.height)))
                    << b.commandId << " covers " << o.commandId;
            }
            // The mixer's switches get their texts from the mixer itself.
            if (b.commandId < 6700 || b.commandId > 6705) {
                EXPECT_FALSE(LoadString(b.commandId).empty()) << b.commandId;
            }
            EXPECT_LT(b.glyph, b.width >= 30 ? 19 : 66) << b.commandId;
            EXPECT_EQ(b.downFace, b.upFace + 1) << b.commandId;
            if (b.flags & kButtonToggle) {
                EXPECT_NE(b.checkedGlyph, 0) << b.commandId << " is a toggle without a look";
            }
        }
    }
    // The strip's buttons are made in the designed order: the toggle of component i is 5800 + i.
    std::vector<int> strip;
    for (const ButtonDescriptor& b : buttons::entries(buttons::kMainController))
        strip.push_back(b.commandId);
    EXPECT_EQ(strip,
              (std::vector{5171, 5701, 5142, 5151, 5800, 5801, 5802, 5803, 5804, 5805, 5806}));
    EXPECT_EQ(buttons::find(buttons::kCdPlayer, 5999), nullptr);
}

TEST_F(Buttons, EachStateDrawsItsFaceAndShiftsThePressedGlyph)
{
    SkinButton* b = make(kPlay);
    const QImage flat = look(b);
    // The face, and at the magenta corners the panel underneath.
    const QImage bg = Skin::instance().Slot(skin::kPanelBackground).image();
    EXPECT_EQ(std::vector({flat.pixel(2, 9) & 0xFFFFFF, flat.pixel(0, 0), flat.pixel(17, 17)}),
              std::vector({kUp, bg.pixel(kPlay.x, kPlay.y), bg.pixel(kPlay.x + 17, kPlay.y + 17)}));

    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_EQ(b->drawState(), SkinButton::kPressed);
    const QImage pressed = look(b);
    EXPECT_EQ(pressed.pixel(2, 9) & 0xFFFFFF, kDown);
    const QRect up = glyphBox(flat, kUp);
    ASSERT_FALSE(up.isEmpty());
    EXPECT_EQ(glyphBox(pressed, kDown), up.translated(1, 1));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_EQ(b->drawState(), SkinButton::kRaised);
    EXPECT_EQ(glyphBox(look(b), kUp), up);
}

TEST_F(Buttons, CheckedAndDisabledButtonsDrawTheirOwnGlyphs)
{
    SkinButton* lyric = make(kLyric);
    // A plain button showing the lyric button's checked glyph.
    SkinButton* reference = make(button(1, 0, 62, 0, 0, {40, 60, 18, 18}));
    EXPECT_NE(inner(lyric), inner(reference));
    lyric->SetChecked(true);
    pump();
    EXPECT_TRUE(lyric->IsChecked());
    EXPECT_EQ(inner(lyric), inner(reference));

    // Disabled with a disabled glyph, and without one (the normal glyph stays).
    SkinButton* a = make(button(5121, 0, 63, 62, 0, {100, 30, 18, 18}));
    a->setEnabled(false);
    pump();
    EXPECT_EQ(inner(a), inner(reference));
    SkinButton* p = make(button(5121, 0, 63, 0, 0, {130, 30, 18, 18}));
    const QImage enabled = inner(p);
    p->setEnabled(false);
    pump();
    EXPECT_EQ(inner(p), enabled);

    // SetChecked means nothing to a button that is not a toggle.
    SkinButton* play = make(kPlay);
    play->SetChecked(true);
    EXPECT_FALSE(play->IsChecked());
}

TEST_F(Buttons, WideButtonsTakeTheLargeGlyphsCentredOverTheirHeight)
{
    const QImage img = look(make(button(5112, 0, 17, 0, 0, {40, 67, 60, 14}, skin::kFace60Up)));
    // The glyph sits at ((60 - 32) / 2, (14 - 32) / 2) = (14, -9): every solid pixel of the
    // large glyph 17 that falls inside shows at that offset, over the face.
    const QImage glyph =
        Skin::instance().GlyphList(true).image(17).convertToFormat(QImage::Format_ARGB32);
    int compared = 0;
    for (int y = 0; y < 14; ++y)
        for (int x = 14; x < 46; ++x) {
            const QRgb g = glyph.pixel(x - 14, y + 9);
            const int a = qAlpha(g);
            if (a < 200)
                continue;
            const auto mix = [a](int c, int face) { return (c * a + face * (255 - a)) / 255; };
            ASSERT_LE(channelDistance(img.pixel(x, y),
                                      qRgb(mix(qRed(g), qRed(kUp)), mix(qGreen(g), qGreen(kUp)),
                                           mix(qBlue(g), qBlue(kUp)))),
                      2)
                << x << "," << y;
            ++compared;
        }
    EXPECT_GT(compared, 20);
}

TEST_F(Buttons, WithoutAFacePairTheBackgroundIsCopiedAndFramed)
{
    auto images = m_slots;
    images[skin::kFace18Up].clear(); // slot 9 absent: transport buttons have no face
    load(images);
    SkinButton* b = make(kPlay);
    const QImage bg = Skin::instance().Slot(skin::kPanelBackground).image();
    // The rim at (0, 5), (5, 0), (17, 5), (5, 17) and a point inside, in each state.
    const auto rim = [&] {
        const QImage img = look(b);
        std::vector<QRgb> got;
        for (QPoint at : {QPoint(0, 5), QPoint(5, 0), QPoint(17, 5), QPoint(5, 17), QPoint(3, 3)})
            got.push_back(img.pixel(at));
        return got;
    };
    const QRgb white = qRgb(255, 255, 255), grey = qRgb(128, 128, 128);
    const auto under = [&bg](int x, int y) { return bg.pixel(kPlay.x + x, kPlay.y + y); };
    // Flat: the background under the button, no frame.
    EXPECT_EQ(rim(), (std::vector<QRgb>{under(0, 5), under(5, 0), under(17, 5), under(5, 17),
                                        under(3, 3)}));
    // Raised while the mouse is over it: white top-left, grey bottom-right; pressed the other
    // way round.
    QTest::mouseMove(b, QPoint(9, 9));
    pump();
    EXPECT_EQ(b->drawState(), SkinButton::kRaised);
    EXPECT_EQ(rim(), (std::vector<QRgb>{white, white, grey, grey, under(3, 3)}));
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_EQ(rim(), (std::vector<QRgb>{grey, grey, white, white, under(3, 3)}));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(9, 9));
}

// Hovering raises the button; a press repeats every 300 ms and sends once more on release,
// unless released outside or cut off by the window losing the mouse.
TEST_F(Buttons, AutoRepeatSendsEveryThreeHundredMillisecondsAndOnceOnRelease)
{
    SkinButton* b = make(kForward);
    EXPECT_EQ(b->drawState(), SkinButton::kFlat);
    QTest::mouseMove(b, QPoint(5, 5));
    pump();
    EXPECT_EQ(b->drawState(), SkinButton::kRaised);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(b, &leave);
    EXPECT_EQ(b->drawState(), SkinButton::kFlat);

    // A press cut off by the window losing the mouse: flat, no more repeats, no command on
    // the release that follows.
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    QEvent ungrab(QEvent::UngrabMouse);
    QCoreApplication::sendEvent(b, &ungrab);
    EXPECT_EQ(b->drawState(), SkinButton::kFlat);
    pump(700);
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_EQ(m_panel->commands(5116), 0);
    m_panel->messages.clear();

    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    QElapsedTimer held;
    held.start();
    pump(1000);
    const qint64 ms = held.elapsed();
    const int whileHeld = m_panel->commands(5116);
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    // 300, 600, 900 ms: three; a loaded machine may deliver a late timer once instead of twice
    // (Qt does not catch up missed periods), never more than the time allows.
    EXPECT_GE(whileHeld, 2);
    EXPECT_LE(whileHeld, static_cast<int>(ms / 300));
    EXPECT_EQ(m_panel->commands(5116), whileHeld + 1);
    for (const Message& m : m_panel->messages)
        EXPECT_EQ(m.lParam, static_cast<LPARAM>(b->handle())) << "lParam is the button's handle";

    // Released outside: what was sent while held, nothing more.
    m_panel->messages.clear();
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump(700);
    QTest::mouseMove(b, QPoint(40, 40));
    pump();
    EXPECT_EQ(b->drawState(), SkinButton::kRaised);
    const int sent = m_panel->commands(5116);
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(40, 40));
    pump(400);
    EXPECT_EQ(m_panel->commands(5116), sent);
    EXPECT_GE(sent, 1);
    EXPECT_EQ(b->drawState(), SkinButton::kFlat);

    // An ordinary button held as long sends once, on release.
    SkinButton* play = make(kPlay);
    QTest::mousePress(play, Qt::LeftButton, {}, QPoint(9, 9));
    pump(700);
    EXPECT_EQ(m_panel->commands(5104), 0);
    QTest::mouseRelease(play, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_EQ(m_panel->commands(5104), 1);
}

TEST_F(Buttons, AToggleReleasedOutsideKeepsItsState)
{
    SkinButton* b = make(kLyric);
    const auto now = [&] { return std::pair(b->IsChecked(), m_panel->commands(5184)); };
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_EQ(now(), std::pair(true, 1));
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    QTest::mouseMove(b, QPoint(-5, 9));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(-5, 9));
    pump();
    EXPECT_EQ(now(), std::pair(true, 1));

    // Coming back inside before the release counts.
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    QTest::mouseMove(b, QPoint(30, 9));
    pump();
    EXPECT_EQ(b->drawState(), SkinButton::kRaised);
    QTest::mouseMove(b, QPoint(9, 9));
    pump();
    EXPECT_EQ(b->drawState(), SkinButton::kPressed);
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_EQ(now(), std::pair(false, 2));
}

TEST_F(Buttons, OwnerDrawnButtonsDrawThemselves)
{
    std::vector<int> states;
    auto draw = [&states](QPainter& p, int state, bool, bool, bool, const ButtonDescriptor& d) {
        states.push_back(state);
        p.fillRect(0, 0, d.width, d.height, QColor(0x00FF00));
        return true;
    };
    ButtonDescriptor digit = button(5301, 0, 0, 0, 0, {200, 30, 18, 18});
    digit.background = skin::kRemoteBackground;
    auto* b = new SkinButton(digit, m_panel.get(), draw);
    pump();
    QImage green(18, 18, QImage::Format_RGB32);
    green.fill(0x00FF00);
    EXPECT_EQ(look(b), green);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back(), SkinButton::kFlat);
}

TEST_F(Buttons, PanelsMakeTheirButtonsFromATable)
{
    const auto& made = m_panel->createButtons(buttons::kMidiPlayer);
    EXPECT_EQ(made.size(), buttons::entries(buttons::kMidiPlayer).size());
    SkinButton* slow = m_panel->button(5128);
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->geometry(), QRect(486, 38, 10, 10));
    EXPECT_EQ(slow->toolTip(), LoadQString(5128));
    EXPECT_EQ(m_panel->button(9999), nullptr);
    m_panel->deleteButtons();
    EXPECT_EQ(m_panel->button(5128), nullptr);
}
