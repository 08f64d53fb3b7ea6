// The built-in art: every image at its designed size (and twice that for 200 % screens), the
// image lists cut into the designed number of cells, and no cell that a panel shows left blank
// or drawn twice by mistake.
#include "uitest.h"

#include "ui/builtinart.h"
#include "ui/buttons.h"
#include "ui/skin.h"
#include "ui/skinbitmap.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QPainter>

#include <set>
#include <string>
#include <vector>

namespace {

struct ArtSize
{
    int resourceId;
    int width;
    int height;
    const char* what;
};

// The sizes every drawing other than the lists must have: the slots as skins must supply them,
// the rest from where the panels draw them.
const std::vector<ArtSize> kSizes = {
    {172, 500, 50, "main controller background"},
    {450, 500, 100, "component panel background"},
    {391, 100, 240, "remote control background"},
    {454, 8, 8, "8 x 8 face up"},
    {453, 8, 8, "8 x 8 face down"},
    {31010, 10, 10, "10 x 10 face up"},
    {31011, 10, 10, "10 x 10 face down"},
    {312, 13, 13, "13 x 13 face up"},
    {313, 13, 13, "13 x 13 face down"},
    {157, 18, 18, "transport face up"},
    {158, 18, 18, "transport face down"},
    {140, 20, 13, "20 x 13 face up"},
    {146, 20, 13, "20 x 13 face down"},
    {133, 26, 26, "26 x 26 face up"},
    {143, 26, 26, "26 x 26 face down"},
    {170, 40, 40, "component face up"},
    {169, 40, 40, "component face down"},
    {221, 60, 14, "mode face up"},
    {222, 60, 14, "mode face down"},
    {342, 27, 58, "volume track"},
    {338, 18, 24, "volume thumb"},
    {30998, 18, 24, "volume thumb disabled"},
    {341, 34, 13, "balance track"},
    {340, 16, 8, "balance thumb"},
    {30997, 16, 8, "balance thumb disabled"},
    {31020, 17, 35, "small slider track"},
    {31021, 12, 16, "small slider thumb"},
    {31022, 12, 16, "small slider thumb disabled"},
};

// The lists, each drawn as a strip of its cells side by side.
struct ListCut
{
    const char* what;
    int resourceId;
    const ImageList* list;
    int count;
    QSize cell;
};

std::vector<ListCut> lists()
{
    const Skin& s = Skin::instance();
    return {
        {"32-pixel glyphs", 246, &s.GlyphList(true), 19, {32, 32}},
        {"16-pixel glyphs", 331, &s.GlyphList(false), 66, {16, 16}},
        // 60 x 12: exactly the repeat and play-method spots they fill.
        {"indicators", 330, &s.Indicators(), 28, {60, 12}},
        // Kinds 1 and 2 fill the track (18 high) and time (12 high) displays; 0 and 3 are ours.
        {"digits kind 0", 196, &s.Digits(0), 19, {22, 30}},
        {"digits kind 1", 138, &s.Digits(1), 19, {14, 18}},
        {"digits kind 2", 199, &s.Digits(2), 19, {10, 12}},
        {"digits kind 3", 421, &s.Digits(3), 19, {7, 10}},
        {"track-grid cells", 224, &s.TrackCells(), 8, {11, 9}},
        // Hot, pressed, normal; as high as the 4-pixel thumb rectangle.
        {"position thumbs", 367, &s.PositionThumbs(), 3, {4, 4}},
        {"tray icons", 378, &s.TrayIcons(), 24, {16, 16}},
    };
}

bool blank(const QImage& img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) != 0)
                return false;
    return true;
}

} // namespace

TEST(BuiltinArt, EveryImageHasItsDesignedSizeAndADoubleDrawingListsTheirCells)
{
    std::vector<ArtSize> all = kSizes;
    for (const ListCut& l : lists()) {
        EXPECT_EQ(std::pair(l.list->count(), l.list->cellSize()), std::pair(l.count, l.cell))
            << l.what;
        all.push_back({l.resourceId, l.count * l.cell.width(), l.cell.height(), l.what});
    }
    for (const ArtSize& a : all) {
        const QImage single = builtinImage(a.resourceId, false);
        ASSERT_FALSE(single.isNull()) << a.what;
        EXPECT_EQ(single.size(), QSize(a.width, a.height)) << a.what;
        EXPECT_EQ(builtinImage(a.resourceId, true).size(), 2 * single.size()) << a.what;
    }
    // Drawn, at sizes of our choosing: the splash and the panels' emblems.
    for (int id : {173, 135, 306, 396})
        EXPECT_FALSE(builtinImage(id).isNull()) << id;
    EXPECT_TRUE(builtinImage(12345).isNull());
}

TEST(BuiltinArt, NoCellAPanelShowsIsBlankOrACopyOfAnother)
{
    // The glyphs of every button table, in the list each button draws from.
    std::set<int> large, small;
    for (const ButtonDescriptor* table :
         {buttons::kCdPlayer, buttons::kAudioPlayer, buttons::kMidiPlayer, buttons::kVideoPlayer,
          buttons::kSoundEffector, buttons::kMixer, buttons::kMainController,
          buttons::kRemoteControl}) {
        for (const ButtonDescriptor& d : buttons::entries(table)) {
            for (int glyph : {d.glyph, d.disabledGlyph, d.checkedGlyph}) {
                if (glyph != 0)
                    (d.width >= 30 ? large : small).insert(glyph);
            }
        }
    }
    // The 60-pixel mode buttons draw from the large list too.
    EXPECT_EQ(*large.rbegin(), 18);
    EXPECT_EQ(*small.rbegin(), 63);

    struct Used
    {
        const ImageList* list;
        const char* what;
        std::set<int> indices;
        std::set<int> mayBeBlank;
    };
    const Skin& s = Skin::instance();
    const std::set<int> digits = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 18};
    const std::vector<Used> used = {
        {&s.GlyphList(true), "32-pixel glyph", large, {}},
        {&s.GlyphList(false), "16-pixel glyph", small, {}},
        // The designed indices; 16 takes the hover mark away and may draw nothing.
        {&s.Indicators(),
         "indicator",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27},
         {16}},
        {&s.TrackCells(), "track-grid cell", {0, 1, 2, 3, 4, 5, 6, 7}, {}},
        {&s.PositionThumbs(), "position thumb", {0, 1, 2}, {}},
        // Sign cell 14 stands for a plain positive value and may be empty.
        {&s.Digits(0), "kind 0 digit", digits, {14}},
        {&s.Digits(1), "kind 1 digit", digits, {14}},
        {&s.Digits(2), "kind 2 digit", digits, {14}},
        {&s.Digits(3), "kind 3 digit", digits, {14}},
    };
    for (const Used& u : used) {
        std::vector<std::pair<int, QImage>> seen;
        for (int index : u.indices) {
            const QImage img = cells(*u.list, {index}, false); // what the cell adds
            if (!u.mayBeBlank.count(index)) {
                EXPECT_FALSE(blank(img)) << u.what << " " << index;
            }
            for (const auto& [other, image] : seen)
                EXPECT_NE(img, image) << u.what << " " << index << " repeats " << other;
            seen.emplace_back(index, img);
        }
    }
}

TEST(BuiltinArt, WindowIconsExistAtEverySize)
{
    for (int id : {99, 337}) {
        const QIcon icon = Skin::instance().WindowIcon(id);
        ASSERT_FALSE(icon.isNull()) << id;
        for (int size : {16, 24, 32, 48, 64, 128}) {
            const std::string name = "icon" + std::to_string(id) + "-" + std::to_string(size);
            const BuiltinBlob* blob = findBuiltinArt(name.c_str());
            ASSERT_NE(blob, nullptr) << name;
            const QImage img = QImage::fromData(blob->data, static_cast<int>(blob->size), "PNG");
            EXPECT_EQ(img.size(), QSize(size, size)) << name;
        }
        EXPECT_EQ(icon.availableSizes().size(), 6) << id;
    }
}
