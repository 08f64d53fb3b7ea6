#include "uitest.h"

#include "ui/skinslots.h"

#include <algorithm>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QWidget>

Recorder::Recorder(QWidget* parent)
    : Recording(parent)
{
    resize(500, 100);
}

void pump(int milliseconds)
{
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (t.elapsed() < milliseconds);
    QCoreApplication::processEvents();
}

QImage render(QWidget* widget)
{
    QImage img(widget->size(), QImage::Format_RGB32);
    img.fill(0x123456);
    widget->render(&img);
    return img;
}

std::string mismatch(const QImage& got,
                     const std::function<std::optional<QRgb>(int x, int y)>& want)
{
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            if (const auto w = want(x, y); w && got.pixel(x, y) != *w)
                return QStringLiteral("(%1, %2): %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(got.pixel(x, y), 8, 16, QLatin1Char('0'))
                    .arg(*w, 8, 16, QLatin1Char('0'))
                    .toStdString();
    return "";
}

QImage cells(const ImageList& list, std::vector<int> indices, bool onBlack)
{
    QImage img(list.cellSize(),
               onBlack ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    img.fill(onBlack ? Qt::black : Qt::transparent);
    QPainter p(&img);
    for (int index : indices)
        list.Draw(p, index, 0, 0);
    return img;
}

dib::Image solid(int w, int h, std::uint32_t rgb, bool keyedCorners)
{
    dib::Image img;
    img.width = w;
    img.height = h;
    img.pixels.assign(static_cast<size_t>(w) * h, 0xFF000000u | rgb);
    if (keyedCorners) {
        for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
            img.pixels[static_cast<size_t>(y) * w + x] = 0xFFFF00FFu;
    }
    return img;
}

dib::Image pattern(int w, int h, std::uint32_t seed)
{
    dib::Image img;
    img.width = w;
    img.height = h;
    img.pixels.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.pixels[static_cast<size_t>(y) * w + x] =
                0xFF000000u | ((x * 7 + seed) & 0xFF) << 16 | ((y * 11 + seed) & 0xFF) << 8 |
                ((x * y + seed) & 0xFF);
    return img;
}

std::vector<std::uint8_t> packed(const dib::Image& image, int bitCount)
{
    std::vector<std::uint8_t> out;
    dib::EncodeOptions o;
    o.bitCount = bitCount;
    dib::encode(image, o, out);
    return out;
}

std::uint32_t testColor(int slot)
{
    return 0x102030u + static_cast<std::uint32_t>(slot) * 0x050709u;
}

std::array<std::vector<std::uint8_t>, uib::kSlotCount> solidSlots()
{
    std::array<std::vector<std::uint8_t>, uib::kSlotCount> images;
    for (int i = 0; i < uib::kSlotCount; ++i)
        images[i] =
            packed(solid(skin::kSlots[i].width, skin::kSlots[i].height, testColor(i), i >= 3));
    return images;
}

std::string bytesOf(const std::vector<std::uint8_t>& v)
{
    return std::string(v.begin(), v.end());
}

int channelDistance(QRgb a, QRgb b)
{
    int most = 0;
    for (int shift : {16, 8, 0})
        most = std::max(most, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return most;
}

void put16(std::vector<std::uint8_t>& bytes, size_t at, std::uint16_t v)
{
    bytes[at] = static_cast<std::uint8_t>(v);
    bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& bytes, size_t at, std::uint32_t v)
{
    put16(bytes, at, static_cast<std::uint16_t>(v));
    put16(bytes, at + 2, static_cast<std::uint16_t>(v >> 16));
}

void setVersion(std::vector<std::uint8_t>& file, std::uint16_t major, std::uint16_t minor)
{
    put16(file, uib::kVersionOffset, major);
    put16(file, uib::kVersionOffset + 2, minor);
}

void setEntry(std::vector<std::uint8_t>& file, int slot, std::uint32_t offset, std::uint32_t size)
{
    put32(file, uib::kTableOffset + 8 * slot, offset);
    put32(file, uib::kTableOffset + 8 * slot + 4, size);
}

uib::Entry entryOf(const std::vector<std::uint8_t>& file, int slot)
{
    uib::Header h;
    uib::parseHeader(file.data(), file.size(), h);
    return h.entries[slot];
}
