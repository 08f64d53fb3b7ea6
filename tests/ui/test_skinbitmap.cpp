// Bitmap drawing: transparent drawing exact to the pixel, copies from an offset, the
// double-resolution drawing on 200 % painters, CDib stretching and BMP files.
#include "uitest.h"

#include "support/testhome.h"
#include "ui/skin.h"
#include "ui/skinbitmap.h"

#include <gtest/gtest.h>

#include <QPainter>

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
    for (QPoint at : {QPoint(5, 3), QPoint(-4, -2), QPoint(20, 10)}) {
        const QImage before = noise(40, 30, 3);
        QImage dst = before;
        {
            QPainter p(&dst);
            bitmap.DrawTransparent(p, at.x(), at.y());
        }
        for (int y = 0; y < dst.height(); ++y) {
            for (int x = 0; x < dst.width(); ++x) {
                const QPoint s(x - at.x(), y - at.y());
                QRgb expected = before.pixel(x, y);
                if (src.rect().contains(s) && (src.pixel(s) & 0xFFFFFF) != 0xFF00FF)
                    expected = src.pixel(s);
                ASSERT_EQ(dst.pixel(x, y), expected) << "at " << x << "," << y;
            }
        }
    }
}

TEST(SkinBitmap, DrawCopiesFromTheSourceOffset)
{
    SkinBitmap bitmap;
    const QImage src = noise(50, 40, 4);
    ASSERT_TRUE(bitmap.LoadFromQImage(src));
    QImage dst(18, 18, QImage::Format_RGB32);
    dst.fill(Qt::white);
    {
        QPainter p(&dst);
        bitmap.Draw(p, 0, 0, 30, 25);
    }
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 18; ++x) {
            const QRgb expected =
                (30 + x < 50 && 25 + y < 40) ? src.pixel(30 + x, 25 + y) : qRgb(255, 255, 255);
            ASSERT_EQ(dst.pixel(x, y), expected) << x << "," << y;
        }
}

TEST(SkinBitmap, PaintersAtTwiceTheScaleGetTheDoubleDrawing)
{
    SkinBitmap bitmap;
    QImage one(4, 4, QImage::Format_RGB32);
    one.fill(qRgb(10, 20, 30));
    QImage two = noise(8, 8, 5);
    two.setPixel(0, 0, 0xFFFF00FF);
    ASSERT_TRUE(bitmap.LoadFromQImage(one, two));

    QImage dst(16, 16, QImage::Format_RGB32);
    dst.setDevicePixelRatio(2);
    dst.fill(Qt::black);
    {
        QPainter p(&dst);
        bitmap.DrawTransparent(p, 2, 3);
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const QRgb expected = (x == 0 && y == 0) ? qRgb(0, 0, 0) : two.pixel(x, y);
            ASSERT_EQ(dst.pixel(4 + x, 6 + y), expected) << x << "," << y;
        }

    // At scale 1 the single drawing is used.
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(Qt::black);
    {
        QPainter p(&small);
        bitmap.Draw(p, 1, 1);
    }
    EXPECT_EQ(small.pixel(1, 1), qRgb(10, 20, 30));
    EXPECT_EQ(small.pixel(4, 4), qRgb(10, 20, 30));
    EXPECT_EQ(small.pixel(5, 5), qRgb(0, 0, 0));
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
    QImage dst(4, 4, QImage::Format_RGB32);
    dst.fill(Qt::red);
    QPainter p(&dst);
    bitmap.Draw(p, 0, 0);
    bitmap.DrawTransparent(p, 0, 0);
    p.end();
    EXPECT_EQ(dst.pixel(1, 1), qRgb(255, 0, 0));
}

TEST(ImageList, CellsAreCutFromTheStripAndMagentaIsClear)
{
    QImage strip(30, 4, QImage::Format_RGB32);
    strip.fill(qRgb(1, 2, 3));
    for (int y = 0; y < 4; ++y)
        for (int x = 10; x < 20; ++x)
            strip.setPixel(x, y, (x + y) % 2 ? 0xFFFF00FF : qRgb(200, 100, 50));
    const ImageList list(strip, 10);
    EXPECT_EQ(list.count(), 3);
    QImage dst(12, 6, QImage::Format_RGB32);
    dst.fill(Qt::white);
    QPainter p(&dst);
    list.Draw(p, 1, 1, 1);
    list.Draw(p, 3, 0, 0);  // out of range: nothing
    list.Draw(p, -1, 0, 0); // nothing
    p.end();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(dst.pixel(1 + x, 1 + y),
                      (x + 10 + y) % 2 ? qRgb(255, 255, 255) : qRgb(200, 100, 50));
    EXPECT_EQ(dst.pixel(0, 0), qRgb(255, 255, 255));
}

class CDibTest : public KolvoHomeTest
{};

TEST_F(CDibTest, SavedBmpFilesReadInQtWithTheSamePixelsAndDepth)
{
    struct Case
    {
        QImage::Format format;
        int bits;
    };
    for (const Case c : {Case{QImage::Format_RGB32, 32}, Case{QImage::Format_RGB888, 24},
                         Case{QImage::Format_Indexed8, 8}, Case{QImage::Format_RGB555, 16}}) {
        QImage src = noise(13, 7, 6);
        if (c.format == QImage::Format_Indexed8) {
            QList<QRgb> table;
            for (int i = 0; i < 16; ++i)
                table.push_back(qRgb(i * 16, 255 - i * 16, i * 8));
            QImage indexed(13, 7, QImage::Format_Indexed8);
            indexed.setColorTable(table);
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 13; ++x)
                    indexed.setPixel(x, y, (x * 3 + y) % 16);
            src = indexed;
        } else {
            src = src.convertToFormat(c.format);
        }
        CDib d;
        d.CopyFrom(src);
        EXPECT_EQ(d.bitCount(), c.bits);
        const std::string path = homePath("capture-" + std::to_string(c.bits) + ".bmp");
        ASSERT_TRUE(d.SaveBmp(path));
        const std::string bytes = readFile(path);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        const int bitCount = std::uint8_t(bytes[28]) | std::uint8_t(bytes[29]) << 8;
        EXPECT_EQ(bitCount, c.bits);
        const QImage back(QString::fromStdString(path));
        ASSERT_EQ(back.size(), src.size());
        const QImage expected = src.convertToFormat(QImage::Format_RGB32);
        // Qt reads five-bit channels without repeating their high bits: within 7 there.
        const int slack = c.bits == 16 ? 7 : 0;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                for (int shift : {16, 8, 0})
                    ASSERT_LE(std::abs(int((back.pixel(x, y) >> shift) & 0xFF) -
                                       int((expected.pixel(x, y) >> shift) & 0xFF)),
                              slack)
                        << c.bits << " bits at " << x << "," << y;
        // And our own reader takes it back with its colour table.
        CDib again;
        ASSERT_TRUE(again.LoadImage(path));
        EXPECT_EQ(again.bitCount(), c.bits);
        if (c.bits == 8) {
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
    QImage dst(6, 6, QImage::Format_RGB32);
    dst.fill(Qt::black);
    QPainter p(&dst);
    d.Draw(p, QRect(1, 1, 4, 4));
    p.end();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(dst.pixel(1 + x, 1 + y), src.pixel(x / 2, y / 2)) << x << "," << y;
    EXPECT_EQ(dst.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(dst.pixel(5, 5), qRgb(0, 0, 0));
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
