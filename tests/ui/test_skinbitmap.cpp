// Bitmap drawing: transparent drawing exact to the pixel, copies from an offset, the
// double-resolution drawing on 200 % painters, CDib stretching and BMP files.
#include "uitest.h"

#include "support/testhome.h"
#include "ui/skin.h"
#include "ui/skinbitmap.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <functional>
#include <random>

namespace {

QImage noise(int w, int h, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFF));
    return img;
}

// The image after drawing on it.
QImage painted(QImage img, const std::function<void(QPainter&)>& draw)
{
    QPainter p(&img);
    draw(p);
    p.end();
    return img;
}

QImage filled(int w, int h, QRgb colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

} // namespace

TEST(SkinBitmap, TransparentDrawingLeavesExactlyTheKeyPixelsUntouched)
{
    // A source of random colours with a scattering of the key and of colours one step from it.
    QImage src = noise(23, 17, 1);
    std::mt19937 rng(2);
    for (int i = 0; i < 120; ++i)
        src.setPixel(rng() % 23, rng() % 17, 0xFFFF00FF);
    const QRgb nearKeys[] = {0xFFFE00FF, 0xFFFF01FF, 0xFFFF00FE, 0xFF7F007F};
    for (int i = 0; i < 4; ++i)
        src.setPixel(i, 16, nearKeys[i]);
    SkinBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadFromQImage(src));

    // Partly outside the destination too, to cover clipping.
    const QImage before = noise(40, 30, 3);
    for (QPoint at : {QPoint(5, 3), QPoint(-4, -2), QPoint(20, 10)}) {
        const QImage dst =
            painted(before, [&](QPainter& p) { bitmap.DrawTransparent(p, at.x(), at.y()); });
        EXPECT_EQ(mismatch(dst,
                           [&](int x, int y) {
                               const QPoint s(x - at.x(), y - at.y());
                               return src.rect().contains(s) &&
                                              (src.pixel(s) & 0xFFFFFF) != 0xFF00FF
                                          ? src.pixel(s)
                                          : before.pixel(x, y);
                           }),
                  "");
    }
}

TEST(SkinBitmap, DrawCopiesFromTheSourceOffsetAndTwiceTheScaleGetsTheDoubleDrawing)
{
    SkinBitmap bitmap;
    const QImage src = noise(50, 40, 4);
    ASSERT_TRUE(bitmap.LoadFromQImage(src));
    const QImage dst = painted(filled(18, 18, qRgb(255, 255, 255)),
                               [&](QPainter& p) { bitmap.Draw(p, 0, 0, 30, 25); });
    EXPECT_EQ(mismatch(dst,
                       [&](int x, int y) {
                           return 30 + x < 50 && 25 + y < 40 ? src.pixel(30 + x, 25 + y)
                                                             : qRgb(255, 255, 255);
                       }),
              "");

    const QImage one = filled(4, 4, qRgb(10, 20, 30));
    QImage two = noise(8, 8, 5);
    two.setPixel(0, 0, 0xFFFF00FF);
    ASSERT_TRUE(bitmap.LoadFromQImage(one, two));
    QImage large = filled(16, 16, qRgb(0, 0, 0));
    large.setDevicePixelRatio(2);
    large = painted(large, [&](QPainter& p) { bitmap.DrawTransparent(p, 2, 3); });
    EXPECT_EQ(mismatch(large.copy(4, 6, 8, 8),
                       [&](int x, int y) { return x + y == 0 ? qRgb(0, 0, 0) : two.pixel(x, y); }),
              "");
    // At scale 1 the single drawing is used.
    const QImage small =
        painted(filled(8, 8, qRgb(0, 0, 0)), [&](QPainter& p) { bitmap.Draw(p, 1, 1); });
    EXPECT_EQ(mismatch(small,
                       [](int x, int y) {
                           return x >= 1 && x < 5 && y >= 1 && y < 5 ? qRgb(10, 20, 30)
                                                                     : qRgb(0, 0, 0);
                       }),
              "");
}

TEST(SkinBitmap, AnUndecodableDibLeavesTheBitmapEmpty)
{
    SkinBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadFromResource(skin::kSlots[9].resourceId));
    const std::vector<std::uint8_t> junk(60, 0x5A);
    EXPECT_FALSE(bitmap.LoadFromPackedDib(junk.data(), junk.size()));
    EXPECT_FALSE(bitmap.isLoaded());
    EXPECT_FALSE(bitmap.LoadFromResource(12345));
    // Drawing an empty bitmap draws nothing.
    const QImage dst = painted(filled(4, 4, qRgb(255, 0, 0)), [&](QPainter& p) {
        bitmap.Draw(p, 0, 0);
        bitmap.DrawTransparent(p, 0, 0);
    });
    EXPECT_EQ(dst, filled(4, 4, qRgb(255, 0, 0)));
}

TEST(ImageList, CellsAreCutFromTheStripAndMagentaIsClear)
{
    QImage strip = filled(30, 4, qRgb(1, 2, 3));
    for (int y = 0; y < 4; ++y)
        for (int x = 10; x < 20; ++x)
            strip.setPixel(x, y, (x + y) % 2 ? 0xFFFF00FF : qRgb(200, 100, 50));
    const ImageList list(strip, 10);
    EXPECT_EQ(list.count(), 3);
    const QImage dst = painted(filled(12, 6, qRgb(255, 255, 255)), [&](QPainter& p) {
        list.Draw(p, 1, 1, 1);
        list.Draw(p, 3, 0, 0);  // out of range: nothing
        list.Draw(p, -1, 0, 0); // nothing
    });
    EXPECT_EQ(mismatch(dst,
                       [](int x, int y) {
                           const bool inCell = x >= 1 && x < 11 && y >= 1 && y < 5;
                           return inCell && (x + 9 + y - 1) % 2 == 0 ? qRgb(200, 100, 50)
                                                                     : qRgb(255, 255, 255);
                       }),
              "");
}

class CDibTest : public KolvoHomeTest
{};

TEST_F(CDibTest, SavedBmpFilesReadInQtWithTheSamePixelsAndDepth)
{
    QImage indexed(13, 7, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 16; ++i)
        table.push_back(qRgb(i * 16, 255 - i * 16, i * 8));
    indexed.setColorTable(table);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            indexed.setPixel(x, y, (x * 3 + y) % 16);
    for (const auto& [src, bits] : {std::pair{noise(13, 7, 6), 32},
                                    {noise(13, 7, 6).convertToFormat(QImage::Format_RGB888), 24},
                                    {indexed, 8},
                                    {noise(13, 7, 6).convertToFormat(QImage::Format_RGB555), 16}}) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        CDib d;
        d.CopyFrom(src);
        EXPECT_EQ(d.bitCount(), bits);
        const std::string path = homePath("capture-" + std::to_string(bits) + ".bmp");
        ASSERT_TRUE(d.SaveBmp(path));
        const std::string bytes = readFile(path);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(std::uint8_t(bytes[28]) | std::uint8_t(bytes[29]) << 8, bits);
        const QImage back(QString::fromStdString(path));
        ASSERT_EQ(back.size(), src.size());
        const QImage expected = src.convertToFormat(QImage::Format_RGB32);
        // Qt reads five-bit channels without repeating their high bits: within 7 there.
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_LE(channelDistance(back.pixel(x, y), expected.pixel(x, y)),
                          bits == 16 ? 7 : 0)
                    << x << "," << y;
        // And our own reader takes it back with its colour table.
        CDib again;
        ASSERT_TRUE(again.LoadImage(path));
        EXPECT_EQ(again.bitCount(), bits);
        if (bits == 8) {
            EXPECT_EQ(again.colorTable().size(), 16u);
        }
    }
}

TEST_F(CDibTest, DrawStretchesToTheNearestPixelAndPalettesFallBackToHalftone)
{
    QImage src(2, 2, QImage::Format_RGB32);
    src.setPixel(0, 0, qRgb(255, 0, 0));
    src.setPixel(1, 0, qRgb(0, 255, 0));
    src.setPixel(0, 1, qRgb(0, 0, 255));
    src.setPixel(1, 1, qRgb(255, 255, 255));
    CDib d;
    d.Attach(src);
    EXPECT_EQ(d.palette().size(), 256u); // no colour table: halftone
    const QImage dst =
        painted(filled(6, 6, qRgb(0, 0, 0)), [&](QPainter& p) { d.Draw(p, QRect(1, 1, 4, 4)); });
    EXPECT_EQ(mismatch(dst,
                       [&](int x, int y) {
                           return x >= 1 && x < 5 && y >= 1 && y < 5
                                      ? src.pixel((x - 1) / 2, (y - 1) / 2)
                                      : qRgb(0, 0, 0);
                       }),
              "");
}

TEST_F(CDibTest, APackedDibIsSavedWithItsOwnLayout)
{
    const auto dibBytes = packed(pattern(9, 4, 3), 24);
    const std::string path = homePath("frame.bmp");
    ASSERT_TRUE(CDib::SaveBmp(path, dibBytes.data(), dibBytes.size()));
    const std::string file = readFile(path);
    EXPECT_EQ(file.size(), 14 + dibBytes.size());
    EXPECT_EQ(file.substr(14), bytesOf(dibBytes));
    // Nothing is written for bytes that are no bitmap, and an unwritable place is reported.
    const std::vector<std::uint8_t> junk(10, 1);
    EXPECT_FALSE(CDib::SaveBmp(homePath("junk.bmp"), junk.data(), junk.size()));
    EXPECT_FALSE(CDib::SaveBmp(homePath("no/such/folder/x.bmp"), dibBytes.data(), dibBytes.size()));
}
