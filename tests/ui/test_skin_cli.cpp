// kolvo-cli skin: packing a folder of slot images, describing files, drawing sheets; and the
// skins the build ships.
#include "uitest.h"

#include "support/clirun.h"
#include "ui/pixelfont.h"
#include "ui/skin.h"
#include "ui/skinfile.h"
#include "ui/skinslots.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <regex>

namespace {

QString shipped(const char* name)
{
    return QStringLiteral(KOLVO_BIN_DIR "/../share/kolvo/uib/") + QLatin1String(name);
}

bool has(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

class SkinCli : public KolvoCliTest
{
protected:
    static ProcessResult cli(const QStringList& args) { return run(args, 60000); }
    QString path(const std::string& relative) const { return q(homePath(relative)); }
    QString file(const std::string& relative, const std::vector<std::uint8_t>& bytes) const
    {
        return q(writeFile(relative, bytesOf(bytes)));
    }
    // A skin file of solid slots at version 4.1, which the program refuses.
    QString laterSkin() const
    {
        auto bytes = uib::writeSkin("Later", solidSlots(), {});
        setVersion(bytes, 4, 1);
        return file("later.uib", bytes);
    }
    // The sheet of a skin file, or of the built-in look for an empty name.
    QImage sheetOf(const QString& skinFile, const std::string& out) const
    {
        const QStringList to{path(out)};
        const ProcessResult r =
            cli(QStringList{"skin", "sheet"} +
                (skinFile.isEmpty() ? QStringList{"--builtin"} : QStringList{skinFile}) + to);
        EXPECT_EQ(r.code, 0) << r.err;
        return QImage(path(out)).convertToFormat(QImage::Format_RGB32);
    }
    // A folder of slot images: BMP files of our own writing, one PNG, all solid colours.
    QString slotFolder() const
    {
        const QString dir = path("slots");
        QDir().mkpath(dir);
        for (int i = 0; i < skin::kSlotCount; ++i) {
            const auto& s = skin::kSlots[i];
            const QString name = QStringLiteral("slot%1").arg(i, 2, 10, QLatin1Char('0'));
            if (i == 5) {
                QImage img(s.width, s.height, QImage::Format_RGB32);
                img.fill(testColor(i));
                img.save(dir + "/" + name + ".png");
                continue;
            }
            std::vector<std::uint8_t> bmp;
            const auto dibBytes = packed(solid(s.width, s.height, testColor(i)), i % 2 ? 24 : 32);
            dib::bmpFileFromPackedDib(dibBytes.data(), dibBytes.size(), bmp);
            file("slots/" + name.toStdString() + ".bmp", bmp);
        }
        return dir;
    }
};

} // namespace

TEST_F(SkinCli, PackMakesAFileTheProgramUsesAndRefusesSlotsOfTheWrongSize)
{
    const QString dir = slotFolder();
    const QString out = path("data/uib/Packed.uib");
    QDir().mkpath(path("data/uib"));
    ProcessResult r = cli({"skin", "pack", dir, out, "--name", "Packed Look"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "28 of 28 slots")) << r.out;
    r = cli({"skin", "info", out});
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* line : {"name: Packed Look", "version: 4.0", "accepted"})
        EXPECT_TRUE(has(r.out, line)) << line;
    Skin::instance().LoadSkin("Packed.uib");
    EXPECT_FALSE(Skin::instance().usingBuiltin());
    for (int i : {0, 5, 9, 27})
        EXPECT_EQ(Skin::instance().Slot(i).image().pixel(1, 1) & 0xFFFFFF, testColor(i)) << i;
    Skin::instance().LoadSkin("");

    QImage wrong(20, 20, QImage::Format_RGB32);
    wrong.fill(Qt::red);
    QFile::remove(dir + "/slot09.bmp");
    wrong.save(dir + "/slot09.png");
    r = cli({"skin", "pack", dir, path("x.uib")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "20 x 20")) << r.err;
    EXPECT_FALSE(QFile::exists(path("x.uib")));
    EXPECT_EQ(cli({"skin", "pack", dir}).code, 2);
    EXPECT_EQ(cli({"skin", "pack", path("empty"), "y.uib"}).code, 1);
}

TEST_F(SkinCli, InfoSaysWhyAFileIsRefused)
{
    ProcessResult r = cli({"skin", "info", laterSkin()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "version 4.1")) << r.err;

    auto bytes = uib::writeSkin("Cut", solidSlots(), {});
    bytes.resize(uib::kHeaderSize + 100);
    r = cli({"skin", "info", file("cut.uib", bytes)});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.out, "loading stops here")) << r.out;
    EXPECT_TRUE(has(r.err, "fewer than three")) << r.err;

    EXPECT_EQ(cli({"skin", "info", q(writeFile("tiny.uib", "UIB"))}).code, 1);
    // A file that is not a skin at all: refused before its bytes are shown as a name.
    r = cli({"skin", "info", q(writeFile("noise.uib", std::string(4000, 'Z')))});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "not a skin file")) << r.err;
    EXPECT_FALSE(has(r.out, "name:") || has(r.out, "version:")) << r.out;
    EXPECT_EQ(cli({"skin", "info"}).code, 2);
    EXPECT_EQ(cli({"skin", "frobnicate"}).code, 2);
}

TEST_F(SkinCli, TheShippedSkinsAreWhole)
{
    for (const char* name : {"GoldEn.uib", "GoldKr.uib", "Nightfall.uib"}) {
        const ProcessResult r = cli({"skin", "info", shipped(name)});
        EXPECT_EQ(r.code, 0) << name << r.err;
        EXPECT_FALSE(has(r.out, "absent") || has(r.out, "WRONG SIZE")) << name;
        const std::regex doubles("double resolution");
        EXPECT_EQ(std::distance(std::sregex_iterator(r.out.begin(), r.out.end(), doubles), {}), 28)
            << name;
    }
}

TEST_F(SkinCli, SheetsAreDrawnAtEitherScale)
{
    const QString one = path("one.png"), two = path("two.png"), current = path("current.png");
    ASSERT_EQ(cli({"skin", "sheet", shipped("GoldEn.uib"), one}).code, 0);
    ASSERT_EQ(cli({"skin", "sheet", shipped("GoldEn.uib"), two, "--scale", "2"}).code, 0);
    const QImage a(one), b(two);
    ASSERT_FALSE(a.isNull());
    EXPECT_GT(std::min(a.width(), a.height()), 1000);
    EXPECT_EQ(b.size(), a.size() * 2);

    // Without a file, the skin the settings choose: the default skin of a first start, then
    // another one chosen; --builtin draws the built-in look.
    ASSERT_EQ(cli({"skin", "sheet", current}).code, 0);
    EXPECT_EQ(QImage(current), a) << "the default skin, not the built-in look";
    ASSERT_EQ(cli({"skin", "sheet", "--builtin", two}).code, 0);
    EXPECT_NE(QImage(two), a);
    writeFile("config/Quorvane System, Inc./Kolvo.conf", "[%General]\nColorScheme=Nightfall.uib\n");
    ASSERT_EQ(cli({"skin", "sheet", current}).code, 0);
    ASSERT_EQ(cli({"skin", "sheet", shipped("Nightfall.uib"), two}).code, 0);
    EXPECT_EQ(QImage(current), QImage(two)) << "the chosen skin";
    EXPECT_EQ(cli({"skin", "sheet", "--builtin", "x.uib", one}).code, 2);

    // A refused file is drawn as the built-in look with a note.
    const ProcessResult r = cli({"skin", "sheet", laterSkin(), one});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.err, "refused"));
    EXPECT_EQ(cli({"skin", "sheet", "NoSuch.uib", one}).code, 1);
    EXPECT_EQ(cli({"skin", "sheet", one, "--scale", "3"}).code, 2);
}

namespace {

// Where the sheet shows a block of one colour of this size, with its corners keyed out over the
// checkerboard of the slot list, or not keyed at all. A null rectangle when there is none.
QRect findBlock(const QImage& sheet, QSize size, QRgb colour, bool keyedCorners)
{
    const auto at = [&sheet](int x, int y) { return sheet.pixel(x, y) & 0xFFFFFF; };
    const int w = size.width(), h = size.height();
    for (int y = 1; y + h <= sheet.height(); ++y) {
        for (int x = 1; x + w <= sheet.width(); ++x) {
            if (at(x + 1, y) != colour || at(x + w - 2, y + h - 1) != colour)
                continue;
            // The block's own top-left corner, not a point inside a larger one.
            const bool checker = at(x, y) == 0x9a9a9a || at(x, y) == 0xc8c8c8;
            if (keyedCorners ? !checker : (at(x - 1, y) == colour || at(x, y - 1) == colour))
                continue;
            bool whole = true;
            for (int by = 0; by < h && whole; ++by) {
                for (int bx = 0; bx < w && whole; ++bx) {
                    const bool corner = (bx == 0 || bx == w - 1) && (by == 0 || by == h - 1);
                    whole = (at(x + bx, y + by) == colour) != (keyedCorners && corner);
                }
            }
            if (whole)
                return QRect(QPoint(x, y), size);
        }
    }
    return {};
}

// Whether the sheet shows the skin's slot n at r: every pixel the slot does not key out.
bool showsSlot(const QImage& sheet, const QRect& r, int n)
{
    const QImage slot = Skin::instance().Slot(n).image().convertToFormat(QImage::Format_RGB32);
    return slot.size() == r.size() &&
           mismatch(sheet.copy(r), [&slot](int x, int y) -> std::optional<QRgb> {
               if ((slot.pixel(x, y) & 0xFFFFFF) == 0xFF00FF)
                   return std::nullopt;
               return slot.pixel(x, y);
           }).empty();
}

} // namespace

TEST_F(SkinCli, TheSheetShowsEachSlotOfTheSkinItDraws)
{
    // A skin of solid slots, each of its own colour: the sheet shows each of them whole.
    const QImage solidSheet =
        sheetOf(file("solid.uib", uib::writeSkin("Solid", solidSlots(), {})), "solid.png");
    ASSERT_FALSE(solidSheet.isNull());
    std::array<QRect, skin::kSlotCount> places;
    for (int i = 0; i < skin::kSlotCount; ++i) {
        const auto& s = skin::kSlots[i];
        places[i] = findBlock(solidSheet, QSize(s.width, s.height), testColor(i), i >= 3);
        EXPECT_FALSE(places[i].isNull()) << "slot " << i;
    }

    // The shipped skins at the same places: their own slots, and not each other's.
    const QImage gold = sheetOf(shipped("GoldEn.uib"), "g.png");
    const QImage night = sheetOf(shipped("Nightfall.uib"), "n.png");
    ASSERT_EQ(gold.size(), night.size());
    for (auto [name, sheet] : {std::pair{"GoldEn.uib", &gold}, {"Nightfall.uib", &night}}) {
        Skin::instance().LoadSkin(shipped(name).toStdString());
        // A light skin and a dark one: labels on them need different colours.
        EXPECT_EQ(qGray(Skin::instance().Slot(1).image().pixel(250, 50)) > 110, sheet == &gold);
        for (int i = 0; i < skin::kSlotCount; ++i) {
            if (!places[i].isNull()) {
                EXPECT_TRUE(showsSlot(*sheet, places[i], i)) << name << " slot " << i;
            }
        }
        EXPECT_FALSE(showsSlot(sheet == &gold ? night : gold, places[1], 1)) << name;
    }
    Skin::instance().LoadSkin("");
    EXPECT_NE(gold.copy(places[0]), night.copy(places[0]));
    // Nothing of the solid skin is left in the built-in look's sheet.
    const QImage builtin = sheetOf(QString(), "b.png");
    EXPECT_TRUE(findBlock(builtin, places[1].size(), testColor(1), false).isNull());
}

namespace {

// Where the sheet shows text in the small pixel font in any one colour on black: the left edge
// and top of every place.
std::vector<QPoint> findPixelText(const QImage& sheet, const char* text)
{
    const int w = pixelfont::textWidth(text, pixelfont::Face::Small);
    const int h = pixelfont::glyphHeight(pixelfont::Face::Small);
    QImage mask(w, h, QImage::Format_RGB32);
    mask.fill(Qt::black);
    {
        QPainter p(&mask);
        pixelfont::draw(p, 0, 0, text, Qt::white, pixelfont::Face::Small);
    }
    QPoint first(-1, -1);
    for (int y = 0; y < h && first.x() < 0; ++y)
        for (int x = 0; x < w && first.x() < 0; ++x)
            if ((mask.pixel(x, y) & 0xFFFFFF) != 0)
                first = QPoint(x, y);
    std::vector<QPoint> places;
    for (int y = 0; y + h <= sheet.height(); ++y) {
        for (int x = 0; x + w <= sheet.width(); ++x) {
            const QRgb ink = sheet.pixel(x + first.x(), y + first.y()) & 0xFFFFFF;
            if (ink == 0)
                continue;
            bool same = true;
            for (int my = 0; my < h && same; ++my)
                for (int mx = 0; mx < w && same; ++mx) {
                    const bool dot = (mask.pixel(mx, my) & 0xFFFFFF) != 0;
                    same = (sheet.pixel(x + mx, y + my) & 0xFFFFFF) == (dot ? ink : 0u);
                }
            if (same)
                places.push_back(QPoint(x, y));
        }
    }
    return places;
}

} // namespace

// The sound effector's mock-up names its seven equalizer spots as the effector does: spot k
// chooses preset k, from Rock on the left to User on the right, spots 39 pixels apart.
TEST_F(SkinCli, TheEffectorMockUpNamesItsEqualizerSpotsInPresetOrder)
{
    const QImage sheet = sheetOf(QString(), "fx.png");
    ASSERT_FALSE(sheet.isNull());
    // Presets 0-6: Rock, Pop, Jazz, Classic, Vocal, Flat, User, as the sheet abbreviates them.
    const char* names[] = {"ROCK", "POP", "JAZZ", "CLSC", "VOCAL", "FLAT", "USER"};
    // Twice the centre of each place, to stay in whole pixels.
    std::vector<std::vector<QPoint>> centres;
    for (const char* name : names) {
        const int w = pixelfont::textWidth(name, pixelfont::Face::Small);
        std::vector<QPoint> at;
        for (const QPoint& p : findPixelText(sheet, name))
            at.push_back(QPoint(2 * p.x() + w, p.y()));
        EXPECT_FALSE(at.empty()) << name;
        centres.push_back(at);
    }
    bool inOrder = false;
    for (const QPoint& rock : centres[0]) {
        bool all = true;
        for (int k = 1; k < 7 && all; ++k)
            all = std::any_of(centres[k].begin(), centres[k].end(), [&](const QPoint& c) {
                return c.y() == rock.y() && std::abs(c.x() - (rock.x() + 2 * 39 * k)) <= 2;
            });
        inOrder = inOrder || all;
    }
    EXPECT_TRUE(inOrder) << "the labels are not in preset order, 39 pixels apart";
}
