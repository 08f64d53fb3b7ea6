#include "ui/skinbitmap.h"

#include "ui/builtinart.h"

#include <QFile>
#include <QPainter>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>

QImage toQImage(const dib::Image& image)
{
    QImage out(image.width, image.height, QImage::Format_RGB32);
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(out.scanLine(y), image.pixels.data() + static_cast<size_t>(y) * image.width,
                    static_cast<size_t>(image.width) * 4);
    }
    return out;
}

QImage toQImage(dib::Image&& image)
{
    // The pixels are 0xFFRRGGBB rows without padding: a QImage can own them as they are.
    auto* pixels = new dib::Pixels(std::move(image.pixels));
    return QImage(
        reinterpret_cast<uchar*>(pixels->data()), image.width, image.height, image.width * 4,
        QImage::Format_RGB32, [](void* p) { delete static_cast<dib::Pixels*>(p); }, pixels);
}

bool prefersDoubleArt(const QPainter& painter)
{
    return std::abs(painter.deviceTransform().m11()) >= 1.5;
}

QImage builtinImage(int resourceId, bool doubled)
{
    const std::string name = std::to_string(resourceId) + (doubled ? "@2x" : "");
    const BuiltinBlob* blob = findBuiltinArt(name.c_str());
    if (!blob)
        return {};
    return QImage::fromData(blob->data, static_cast<int>(blob->size), "PNG");
}

// ---- SkinBitmap ----

bool SkinBitmap::LoadFromResource(int resourceId)
{
    const QImage img = builtinImage(resourceId, false);
    if (img.isNull()) {
        Delete();
        return false;
    }
    return LoadFromQImage(img, builtinImage(resourceId, true));
}

bool SkinBitmap::LoadFromPackedDib(const std::uint8_t* data, std::size_t size)
{
    dib::Image img;
    if (!dib::decode(data, size, img)) {
        Delete();
        return false;
    }
    return LoadFromImage(std::move(img));
}

bool SkinBitmap::LoadFromImage(const dib::Image& image, const dib::Image* doubled)
{
    return LoadFromQImage(toQImage(image), doubled ? toQImage(*doubled) : QImage());
}

bool SkinBitmap::LoadFromImage(dib::Image&& image, dib::Image* doubled)
{
    return LoadFromQImage(toQImage(std::move(image)),
                          doubled ? toQImage(std::move(*doubled)) : QImage());
}

bool SkinBitmap::LoadFromQImage(const QImage& image, const QImage& doubled)
{
    Delete();
    if (image.isNull())
        return false;
    m_image = image.convertToFormat(QImage::Format_RGB32);
    if (!doubled.isNull() && doubled.size() == image.size() * 2)
        m_double = doubled.convertToFormat(QImage::Format_RGB32);
    return true;
}

void SkinBitmap::Delete()
{
    m_image = QImage();
    m_double = QImage();
    m_masked = QImage();
    m_maskedDouble = QImage();
    m_maskKey = 0;
}

void SkinBitmap::Draw(QPainter& painter, int x, int y, int srcX, int srcY) const
{
    if (m_image.isNull())
        return;
    const QRect src = QRect(srcX, srcY, m_image.width(), m_image.height()) & m_image.rect();
    if (src.isEmpty())
        return;
    const QPoint at(x + (src.x() - srcX), y + (src.y() - srcY));
    if (!m_double.isNull() && prefersDoubleArt(painter)) {
        painter.drawImage(QRectF(at, src.size()), m_double,
                          QRectF(src.x() * 2, src.y() * 2, src.width() * 2, src.height() * 2));
        return;
    }
    painter.drawImage(at, m_image, src);
}

const QImage& SkinBitmap::maskedFor(const QImage& source, QImage& cache, QRgb key) const
{
    if (!cache.isNull())
        return cache;
    cache = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRgb rgbKey = key & 0xFFFFFF;
    for (int y = 0; y < cache.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(cache.scanLine(y));
        for (int x = 0; x < cache.width(); ++x) {
            if ((row[x] & 0xFFFFFF) == rgbKey)
                row[x] = 0;
        }
    }
    return cache;
}

void SkinBitmap::DrawTransparent(QPainter& painter, int x, int y, QRgb key) const
{
    if (m_image.isNull())
        return;
    if (m_maskKey != key) {
        m_masked = QImage();
        m_maskedDouble = QImage();
        m_maskKey = key;
    }
    // Every pixel is either fully opaque or fully clear, so source-over copies the opaque ones
    // exactly and leaves the key's pixels as they were.
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!m_double.isNull() && prefersDoubleArt(painter)) {
        painter.drawImage(QRectF(x, y, m_image.width(), m_image.height()),
                          maskedFor(m_double, m_maskedDouble, key));
    } else {
        painter.drawImage(QPoint(x, y), maskedFor(m_image, m_masked, key));
    }
    painter.restore();
}

// ---- CDib ----

namespace {

std::vector<QRgb> halftonePalette()
{
    // The usual halftone set: a 6 x 6 x 6 colour cube and a ramp of greys.
    std::vector<QRgb> pal;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                pal.push_back(qRgb(r * 51, g * 51, b * 51));
    for (int i = 1; i <= 40; ++i) {
        const int v = i * 255 / 41;
        pal.push_back(qRgb(v, v, v));
    }
    return pal;
}

int bitCountOf(const QImage& image)
{
    const int depth = image.depth();
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        if (depth <= bits)
            return bits;
    }
    return 32;
}

} // namespace

bool CDib::LoadImage(int resourceId)
{
    const QImage img = builtinImage(resourceId, false);
    if (img.isNull())
        return false;
    Attach(img);
    return true;
}

bool CDib::LoadImage(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        std::vector<std::uint8_t> packed;
        dib::Image img;
        if (!dib::packedDibFromBmpFile(bytes.data(), bytes.size(), packed) ||
            !dib::decode(packed.data(), packed.size(), img))
            return false;
        std::vector<QRgb> table;
        for (std::uint32_t c : img.colorTable)
            table.push_back(0xFF000000u | c);
        Attach(toQImage(img), table);
        m_bitCount = img.bitCount;
        return true;
    }
    QImage img;
    if (!img.loadFromData(bytes.data(), static_cast<int>(bytes.size())))
        return false;
    Attach(img);
    return true;
}

void CDib::Attach(const QImage& image, std::vector<QRgb> colorTable)
{
    m_image = image;
    m_bitCount = bitCountOf(image);
    if (colorTable.empty() && image.format() == QImage::Format_Indexed8) {
        const auto table = image.colorTable();
        colorTable.assign(table.begin(), table.end());
    }
    m_colorTable = std::move(colorTable);
    CreatePaletteFromColourTable();
}

void CDib::CreatePaletteFromColourTable()
{
    if (m_colorTable.empty()) {
        m_palette = halftonePalette();
        return;
    }
    m_palette.assign(m_colorTable.begin(),
                     m_colorTable.begin() + std::min<size_t>(m_colorTable.size(), 256));
}

void CDib::CopyFrom(const QImage& image, const std::vector<QRgb>& palette)
{
    m_image = image.copy();
    m_bitCount = bitCountOf(image);
    m_colorTable.clear();
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
        image.format() == QImage::Format_MonoLSB) {
        const auto table = image.colorTable();
        m_colorTable.assign(table.begin(), table.end());
    }
    if (!palette.empty())
        m_palette = palette;
    else
        CreatePaletteFromColourTable();
}

void CDib::Draw(QPainter& painter, const QRect& destination, const QRect& source) const
{
    if (m_image.isNull())
        return;
    const QRect src = source.isNull() ? m_image.rect() : source;
    const QRect dst = destination.isNull() ? QRect(QPoint(0, 0), src.size()) : destination;
    if (dst.size() == src.size()) {
        painter.drawImage(dst.topLeft(), m_image, src);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(dst), m_image, QRectF(src));
    painter.restore();
}

std::vector<std::uint8_t> CDib::toPackedDib() const
{
    std::vector<std::uint8_t> out;
    if (m_image.isNull())
        return out;
    const QImage rgb = m_image.convertToFormat(QImage::Format_RGB32);
    dib::Image d;
    d.width = rgb.width();
    d.height = rgb.height();
    d.pixels.resize(static_cast<size_t>(d.width) * d.height);
    for (int y = 0; y < d.height; ++y)
        std::memcpy(d.pixels.data() + static_cast<size_t>(y) * d.width, rgb.constScanLine(y),
                    static_cast<size_t>(d.width) * 4);
    dib::EncodeOptions options;
    options.bitCount = m_bitCount;
    if (m_bitCount <= 8) {
        for (QRgb c : m_colorTable)
            d.colorTable.push_back(c & 0xFFFFFF);
    }
    if (!dib::encode(d, options, out)) {
        // Colours that do not fit the table are kept rather than lost.
        d.colorTable.clear();
        options.bitCount = 24;
        dib::encode(d, options, out);
    }
    return out;
}

bool CDib::SaveBmp(const std::string& path) const
{
    const std::vector<std::uint8_t> packed = toPackedDib();
    return !packed.empty() && SaveBmp(path, packed.data(), packed.size());
}

bool CDib::SaveBmp(const std::string& path, const std::uint8_t* packedDib, std::size_t size)
{
    std::vector<std::uint8_t> file;
    if (!dib::bmpFileFromPackedDib(packedDib, size, file))
        return false;
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 written =
        f.write(reinterpret_cast<const char*>(file.data()), static_cast<qint64>(file.size()));
    return written == static_cast<qint64>(file.size()) && f.flush();
}

// ---- ImageList ----

namespace {

QImage withMagentaClear(const QImage& strip)
{
    QImage img = strip.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < img.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(row[x]) == 255 && (row[x] & 0xFFFFFF) == kTransparentKey)
                row[x] = 0;
        }
    }
    return img;
}

} // namespace

ImageList::ImageList(const QImage& strip, int cellWidth, const QImage& doubleStrip)
{
    if (strip.isNull() || cellWidth <= 0 || strip.width() < cellWidth)
        return;
    m_strip = withMagentaClear(strip);
    m_cell = cellWidth;
    m_count = strip.width() / cellWidth;
    if (!doubleStrip.isNull() && doubleStrip.size() == strip.size() * 2)
        m_double = withMagentaClear(doubleStrip);
}

void ImageList::Draw(QPainter& painter, int index, int x, int y) const
{
    if (index < 0 || index >= m_count)
        return;
    const int h = m_strip.height();
    if (!m_double.isNull() && prefersDoubleArt(painter)) {
        painter.drawImage(QRectF(x, y, m_cell, h), m_double,
                          QRectF(2 * m_cell * index, 0, 2 * m_cell, 2 * h));
        return;
    }
    painter.drawImage(QPoint(x, y), m_strip, QRect(m_cell * index, 0, m_cell, h));
}

QImage ImageList::image(int index) const
{
    if (index < 0 || index >= m_count)
        return {};
    return m_strip.copy(m_cell * index, 0, m_cell, m_strip.height());
}
