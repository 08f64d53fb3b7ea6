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

namespace {

constexpr std::uint32_t kUp = 0x2040C0;
constexpr std::uint32_t kDown = 0xC04020;

class Panel : public SkinPanel
{
public:
    Panel()
        : SkinPanel(skin::kPanelBackground, false)
    {}
    std::vector<Message> messages;
    int commands(int id) const
    {
        int n = 0;
        for (const Message& m : messages)
            n += (m.msg == WM_COMMAND && m.wParam == WPARAM(id)) ? 1 : 0;
        return n;
    }

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back({msg, wParam, lParam});
        return 0;
    }
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
    QImage look(SkinButton* b)
    {
        // Rendered through the panel, so that clear face pixels show its background.
        QImage panel = render(m_panel.get());
        return panel.copy(b->geometry());
    }
    std::unique_ptr<Panel> m_panel;
    std::array<std::vector<std::uint8_t>, uib::kSlotCount> m_slots;
};

const ButtonDescriptor kPlay{
    5104, 0, skin::kPanelBackground, 12, 0, 0, 376, 6, 18, 18, skin::kFace18Up, skin::kFace18Down};
const ButtonDescriptor kForward{
    5116, kButtonAutoRepeat, skin::kPanelBackground, 4, 0, 0, 416, 6, 18,
    18,   skin::kFace18Up,   skin::kFace18Down};
const ButtonDescriptor kLyric{5184, kButtonToggle,   skin::kPanelBackground, 63, 0, 62, 6, 26, 18,
                              18,   skin::kFace18Up, skin::kFace18Down};

} // namespace

namespace {

// One button of the panel layouts as designed: command, flags, glyphs (normal, disabled,
// checked), rectangle, up and down face slots.
struct Designed
{
    int id;
    std::uint32_t flags;
    int glyph, disabledGlyph, checkedGlyph;
    int x, y, width, height;
    int upFace, downFace;
};

constexpr std::uint32_t T = kButtonToggle;
constexpr std::uint32_t R = kButtonAutoRepeat;

// The row every media player carries.
const std::vector<Designed> kPlayerRow = {
    {5700, 0, 1, 0, 0, 6, 6, 18, 18, 9, 10},      {5119, 0, 7, 0, 0, 336, 6, 18, 18, 9, 10},
    {5102, 0, 8, 0, 0, 356, 6, 18, 18, 9, 10},    {5104, 0, 12, 0, 0, 376, 6, 18, 18, 9, 10},
    {5115, R, 3, 0, 0, 396, 6, 18, 18, 9, 10},    {5116, R, 4, 0, 0, 416, 6, 18, 18, 9, 10},
    {5107, 0, 9, 0, 0, 436, 6, 18, 18, 9, 10},    {5108, 0, 10, 0, 0, 456, 6, 18, 18, 9, 10},
    {5112, 0, 17, 0, 0, 40, 67, 60, 14, 17, 18},  {5117, 0, 16, 0, 0, 110, 67, 60, 14, 17, 18},
    {5118, 0, 15, 0, 0, 180, 67, 60, 14, 17, 18}, {5120, 0, 18, 0, 0, 250, 67, 60, 14, 17, 18},
    {5176, 0, 57, 0, 0, 26, 6, 13, 13, 7, 8},
};
// Album Management and Quick Album Select, as the MIDI Player has them.
const std::vector<Designed> kAlbumButtons = {{5121, 0, 27, 28, 0, 333, 32, 26, 26, 13, 14},
                                             {5156, 0, 49, 50, 0, 319, 38, 13, 13, 7, 8}};
// Fast and Slow, as the MIDI Player has them.
const std::vector<Designed> kSpeedButtons = {{5129, R, 39, 0, 0, 486, 28, 10, 10, 5, 6},
                                             {5128, R, 41, 0, 0, 486, 38, 10, 10, 5, 6}};

std::vector<Designed> joined(std::initializer_list<std::vector<Designed>> parts)
{
    std::vector<Designed> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct DesignedTable
{
    const char* name;
    const ButtonDescriptor* table;
    int background;
    std::vector<Designed> buttons;
};

std::vector<DesignedTable> designedTables()
{
    const int P = skin::kPanelBackground;
    return {
        {"CD Player", buttons::kCdPlayer, P,
         joined({kPlayerRow, {{5109, 0, 29, 30, 0, 333, 32, 26, 26, 13, 14}}})},
        {"MIDI Player", buttons::kMidiPlayer, P,
         joined({kPlayerRow,
                 kAlbumButtons,
                 kSpeedButtons,
                 {{5160, R, 39, 0, 0, 486, 48, 10, 10, 5, 6},
                  {5161, R, 41, 0, 0, 486, 58, 10, 10, 5, 6}}})},
        {"Digital Video Player", buttons::kVideoPlayer, P,
         joined({kPlayerRow,
                 kAlbumButtons,
                 kSpeedButtons,
                 {{5150, 0, 18, 0, 0, 6, 26, 18, 18, 9, 10},
                  {5179, 0, 43, 0, 0, 6, 46, 18, 18, 9, 10},
                  {5122, 0, 11, 0, 0, 476, 6, 18, 18, 9, 10},
                  {5131, R, 15, 0, 0, 416, 28, 18, 18, 9, 10},
                  {5130, R, 14, 0, 0, 436, 28, 18, 18, 9, 10},
                  {5168, T, 25, 0, 26, 340, 68, 13, 13, 7, 8}}})},
        {"Digital Audio Player", buttons::kAudioPlayer, P,
         joined({kPlayerRow,
                 kAlbumButtons,
                 {{5184, T, 63, 0, 62, 6, 26, 18, 18, 9, 10},
                  {5122, 0, 11, 0, 0, 476, 6, 18, 18, 9, 10},
                  {5178, T, 60, 0, 59, 340, 68, 13, 13, 7, 8}}})},
        {"Sound Effector",
         buttons::kSoundEffector,
         P,
         {{5700, 0, 1, 0, 0, 6, 6, 18, 18, 9, 10},
          {5640, T, 32, 33, 31, 328, 55, 13, 13, 7, 8},
          {5641, T, 32, 33, 31, 355, 55, 13, 13, 7, 8},
          {5642, T, 32, 33, 31, 382, 55, 13, 13, 7, 8},
          {5643, T, 32, 33, 31, 413, 55, 13, 13, 7, 8},
          {5163, R, 39, 40, 0, 486, 10, 10, 10, 5, 6},
          {5164, R, 41, 42, 0, 486, 20, 10, 10, 5, 6},
          {5182, R, 39, 40, 0, 486, 51, 10, 10, 5, 6},
          {5183, R, 41, 42, 0, 486, 61, 10, 10, 5, 6},
          {5165, T, 52, 0, 51, 413, 6, 13, 13, 7, 8},
          {5167, T, 54, 0, 53, 413, 20, 13, 13, 7, 8},
          {5177, 0, 58, 0, 0, 26, 6, 13, 13, 7, 8}}},
        {"Mixer",
         buttons::kMixer,
         P,
         {{5700, 0, 1, 0, 0, 6, 6, 18, 18, 9, 10},
          {5123, 0, 34, 0, 0, 6, 26, 18, 18, 9, 10},
          {5172, T, 55, 0, 56, 6, 46, 18, 18, 9, 10},
          {5143, T, 2, 0, 1, 425, 23, 20, 13, 11, 12},
          {5144, T, 2, 0, 1, 425, 43, 20, 13, 11, 12},
          {5145, T, 2, 0, 1, 425, 63, 20, 13, 11, 12},
          {5147, 0, 35, 36, 0, 390, 6, 18, 18, 9, 10},
          {5148, 0, 37, 38, 0, 390, 28, 18, 18, 9, 10},
          {6700, T, 32, 33, 31, 26, 81, 13, 13, 7, 8},
          {6701, T, 32, 33, 31, 86, 81, 13, 13, 7, 8},
          {6702, T, 32, 33, 31, 146, 81, 13, 13, 7, 8},
          {6703, T, 32, 33, 31, 206, 81, 13, 13, 7, 8},
          {6704, T, 32, 33, 31, 266, 81, 13, 13, 7, 8},
          {6705, T, 32, 33, 31, 326, 81, 13, 13, 7, 8}}},
        {"main controller",
         buttons::kMainController,
         skin::kMainBackground,
         {{5171, 0, 1, 0, 0, 6, 6, 18, 18, 9, 10},
          {5701, 0, 5, 0, 0, 6, 26, 18, 18, 9, 10},
          {5142, 0, 43, 0, 0, 26, 6, 18, 18, 9, 10},
          {5151, 0, 44, 0, 0, 26, 26, 18, 18, 9, 10},
          {5800, T, 11, 0, 12, 60, 6, 40, 40, 15, 16},
          {5801, T, 1, 0, 2, 110, 6, 40, 40, 15, 16},
          {5802, T, 3, 0, 4, 160, 6, 40, 40, 15, 16},
          {5803, T, 5, 0, 6, 210, 6, 40, 40, 15, 16},
          {5804, T, 7, 0, 8, 260, 6, 40, 40, 15, 16},
          {5805, T, 9, 0, 10, 310, 6, 40, 40, 15, 16},
          {5806, T, 13, 0, 14, 360, 6, 40, 40, 15, 16}}},
        {"remote control",
         buttons::kRemoteControl,
         skin::kRemoteBackground,
         {{5700, 0, 46, 0, 0, 6, 6, 13, 13, 7, 8},     {5136, 0, 45, 0, 0, 21, 6, 13, 13, 7, 8},
          {5157, T, 48, 0, 47, 36, 6, 13, 13, 7, 8},   {5134, R, 20, 0, 0, 51, 6, 13, 13, 7, 8},
          {5135, R, 19, 0, 0, 66, 6, 13, 13, 7, 8},    {5171, 0, 1, 0, 0, 8, 24, 18, 18, 9, 10},
          {5701, 0, 5, 0, 0, 30, 24, 18, 18, 9, 10},   {5142, 0, 43, 0, 0, 52, 24, 18, 18, 9, 10},
          {5156, 0, 49, 0, 0, 74, 24, 18, 18, 9, 10},  {5119, 0, 7, 0, 0, 8, 98, 18, 18, 9, 10},
          {5102, 0, 8, 0, 0, 30, 98, 18, 18, 9, 10},   {5104, 0, 12, 0, 0, 52, 98, 18, 18, 9, 10},
          {5122, 0, 11, 0, 0, 74, 98, 18, 18, 9, 10},  {5115, R, 3, 0, 0, 8, 118, 18, 18, 9, 10},
          {5116, R, 4, 0, 0, 30, 118, 18, 18, 9, 10},  {5107, 0, 9, 0, 0, 52, 118, 18, 18, 9, 10},
          {5108, 0, 10, 0, 0, 74, 118, 18, 18, 9, 10}, {5168, T, 25, 0, 26, 8, 138, 18, 18, 9, 10},
          {5150, 0, 18, 0, 0, 30, 138, 18, 18, 9, 10}, {5172, T, 55, 0, 56, 52, 138, 18, 18, 9, 10},
          {5120, 0, 61, 0, 0, 74, 138, 18, 18, 9, 10}, {5301, 0, 0, 0, 0, 8, 162, 18, 18, 9, 10},
          {5302, 0, 0, 0, 0, 30, 162, 18, 18, 9, 10},  {5303, 0, 0, 0, 0, 52, 162, 18, 18, 9, 10},
          {5304, 0, 0, 0, 0, 74, 162, 18, 18, 9, 10},  {5305, 0, 0, 0, 0, 8, 182, 18, 18, 9, 10},
          {5306, 0, 0, 0, 0, 30, 182, 18, 18, 9, 10},  {5307, 0, 0, 0, 0, 52, 182, 18, 18, 9, 10},
          {5308, 0, 0, 0, 0, 74, 182, 18, 18, 9, 10},  {5127, 0, 17, 0, 0, 8, 202, 18, 18, 9, 10},
          {5309, 0, 0, 0, 0, 30, 202, 18, 18, 9, 10},  {5300, 0, 0, 0, 0, 52, 202, 18, 18, 9, 10},
          {5126, 0, 16, 0, 0, 74, 202, 18, 18, 9, 10}}},
    };
}

} // namespace

// Every panel's table holds exactly the buttons of its layout, field by field: a wrong glyph,
// flag, face or coordinate is caught here rather than on screen.
TEST(ButtonTables, EachTableHoldsTheDesignedButtons)
{
    for (const DesignedTable& want : designedTables()) {
        const auto made = buttons::entries(want.table);
        EXPECT_EQ(made.size(), want.buttons.size()) << want.name;
        for (const Designed& w : want.buttons) {
            const ButtonDescriptor* d = buttons::find(want.table, w.id);
            ASSERT_NE(d, nullptr) << want.name << " lacks " << w.id;
            const auto fields = [](const ButtonDescriptor& b) {
                return std::vector<int>{static_cast<int>(b.flags),
                                        b.background,
                                        b.glyph,
                                        b.disabledGlyph,
                                        b.checkedGlyph,
                                        b.x,
                                        b.y,
                                        b.width,
                                        b.height,
                                        b.upFace,
                                        b.downFace};
            };
            const ButtonDescriptor expected{
                w.id, w.flags, want.background, w.glyph,  w.disabledGlyph, w.checkedGlyph,
                w.x,  w.y,     w.width,         w.height, w.upFace,        w.downFace};
            EXPECT_EQ(fields(*d), fields(expected)) << want.name << " " << w.id;
            // A tooltip for every button but the mixer's switches, whose text the mixer sets.
            if (w.id < 6700 || w.id > 6705) {
                EXPECT_FALSE(LoadString(w.id).empty()) << w.id;
            }
            // Within the glyph list the button's width picks.
            EXPECT_LT(d->glyph, d->width >= 30 ? 19 : 66) << w.id;
        }
    }
    // The strip's buttons are made in the designed order: the toggle of component i is 5800 + i.
    const auto strip = buttons::entries(buttons::kMainController);
    const int order[] = {5171, 5701, 5142, 5151, 5800, 5801, 5802, 5803, 5804, 5805, 5806};
    ASSERT_EQ(strip.size(), std::size(order));
    for (size_t i = 0; i < strip.size(); ++i)
        EXPECT_EQ(strip[i].commandId, order[i]) << i;
    EXPECT_EQ(buttons::find(buttons::kCdPlayer, 5999), nullptr);
}

TEST_F(Buttons, EachStateDrawsItsFaceAndShiftsThePressedGlyph)
{
    SkinButton* b = make(kPlay);
    const QImage flat = look(b);
    EXPECT_EQ(flat.pixel(2, 9) & 0xFFFFFF, kUp);
    // The magenta corners show the panel underneath.
    const QImage bg = Skin::instance().Slot(skin::kPanelBackground).image();
    EXPECT_EQ(flat.pixel(0, 0), bg.pixel(kPlay.x, kPlay.y));
    EXPECT_EQ(flat.pixel(17, 17), bg.pixel(kPlay.x + 17, kPlay.y + 17));

    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_EQ(b->drawState(), SkinButton::kPressed);
    const QImage pressed = look(b);
    EXPECT_EQ(pressed.pixel(2, 9) & 0xFFFFFF, kDown);
    const QRect up = glyphBox(flat, kUp);
    const QRect down = glyphBox(pressed, kDown);
    ASSERT_FALSE(up.isEmpty());
    EXPECT_EQ(down, up.translated(1, 1));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_EQ(b->drawState(), SkinButton::kRaised);
    EXPECT_EQ(glyphBox(look(b), kUp), up);
}

TEST_F(Buttons, CheckedAndDisabledButtonsDrawTheirOwnGlyphs)
{
    SkinButton* lyric = make(kLyric);
    ButtonDescriptor asChecked = kLyric;
    asChecked.glyph = 62;
    asChecked.commandId = 1;
    asChecked.flags = 0;
    asChecked.x = 40;
    asChecked.y = 60;
    SkinButton* reference = make(asChecked);
    EXPECT_NE(inner(lyric), inner(reference));
    lyric->SetChecked(true);
    pump();
    EXPECT_TRUE(lyric->IsChecked());
    EXPECT_EQ(inner(lyric), inner(reference));

    // Disabled with a disabled glyph, and without one (the normal glyph stays).
    ButtonDescriptor album{5121,
                           0,
                           skin::kPanelBackground,
                           63,
                           62,
                           0,
                           100,
                           30,
                           18,
                           18,
                           skin::kFace18Up,
                           skin::kFace18Down};
    SkinButton* a = make(album);
    a->setEnabled(false);
    pump();
    EXPECT_EQ(inner(a), inner(reference));
    ButtonDescriptor plain = album;
    plain.disabledGlyph = 0;
    plain.x = 130;
    SkinButton* p = make(plain);
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
    const ButtonDescriptor repeat{5112,
                                  0,
                                  skin::kPanelBackground,
                                  17,
                                  0,
                                  0,
                                  40,
                                  67,
                                  60,
                                  14,
                                  skin::kFace60Up,
                                  skin::kFace60Down};
    SkinButton* b = make(repeat);
    const QImage img = look(b);
    // The glyph sits at ((60 - 32) / 2, (14 - 32) / 2) = (14, -9): every solid pixel of the
    // large glyph 17 that falls inside shows at that offset, over the face.
    const QImage glyph =
        Skin::instance().GlyphList(true).image(17).convertToFormat(QImage::Format_ARGB32);
    int compared = 0;
    for (int y = 0; y < 14; ++y)
        for (int x = 1; x < 59; ++x) {
            if (x - 14 < 0 || x - 14 >= 32)
                continue;
            const QRgb g = glyph.pixel(x - 14, y + 9);
            const int a = qAlpha(g);
            if (a < 200)
                continue;
            auto mix = [a](int c, int face) { return (c * a + face * (255 - a)) / 255; };
            const QRgb got = img.pixel(x, y);
            ASSERT_LE(std::abs(qRed(got) - mix(qRed(g), (kUp >> 16) & 0xFF)), 2) << x << "," << y;
            ASSERT_LE(std::abs(qGreen(got) - mix(qGreen(g), (kUp >> 8) & 0xFF)), 2);
            ASSERT_LE(std::abs(qBlue(got) - mix(qBlue(g), kUp & 0xFF)), 2);
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
    QImage img = look(b);
    // Flat: the background under the button, no frame.
    EXPECT_EQ(img.pixel(0, 0), bg.pixel(kPlay.x, kPlay.y));
    EXPECT_EQ(img.pixel(17, 5), bg.pixel(kPlay.x + 17, kPlay.y + 5));
    // Raised while the mouse is over it: white top-left, grey bottom-right.
    QTest::mouseMove(b, QPoint(9, 9));
    pump();
    img = look(b);
    EXPECT_EQ(b->drawState(), SkinButton::kRaised);
    EXPECT_EQ(img.pixel(0, 5), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(5, 0), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(17, 5), qRgb(128, 128, 128));
    EXPECT_EQ(img.pixel(5, 17), qRgb(128, 128, 128));
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    img = look(b);
    EXPECT_EQ(img.pixel(0, 5), qRgb(128, 128, 128));
    EXPECT_EQ(img.pixel(17, 5), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(3, 3), bg.pixel(kPlay.x + 3, kPlay.y + 3));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(9, 9));
}

TEST_F(Buttons, AutoRepeatSendsEveryThreeHundredMillisecondsAndOnceOnRelease)
{
    SkinButton* b = make(kForward);
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
    // lParam is the button's own handle.
    ASSERT_FALSE(m_panel->messages.empty());
    EXPECT_EQ(m_panel->messages.back().lParam, static_cast<LPARAM>(b->handle()));

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
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(9, 9));
    pump();
    EXPECT_TRUE(b->IsChecked());
    EXPECT_EQ(m_panel->commands(5184), 1);

    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(9, 9));
    QTest::mouseMove(b, QPoint(-5, 9));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(-5, 9));
    pump();
    EXPECT_TRUE(b->IsChecked());
    EXPECT_EQ(m_panel->commands(5184), 1);

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
    EXPECT_FALSE(b->IsChecked());
    EXPECT_EQ(m_panel->commands(5184), 2);
}

TEST_F(Buttons, HoverRaisesAndLosingTheMouseEndsAPress)
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
}

TEST_F(Buttons, OwnerDrawnButtonsDrawThemselves)
{
    std::vector<int> states;
    auto draw = [&states](QPainter& p, int state, bool, bool, bool, const ButtonDescriptor& d) {
        states.push_back(state);
        p.fillRect(0, 0, d.width, d.height, QColor(0x00FF00));
        return true;
    };
    const ButtonDescriptor digit{5301,
                                 0,
                                 skin::kRemoteBackground,
                                 0,
                                 0,
                                 0,
                                 200,
                                 30,
                                 18,
                                 18,
                                 skin::kFace18Up,
                                 skin::kFace18Down};
    auto* b = new SkinButton(digit, m_panel.get(), draw);
    pump();
    const QImage img = look(b);
    EXPECT_EQ(img.pixel(9, 9), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 255, 0));
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
