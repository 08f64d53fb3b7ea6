#pragma once
// The bitmap objects every panel is drawn from.
//
// SkinBitmap: one skin image (a slot, an emblem). Draw copies it, DrawTransparent leaves every
// pixel of the key colour (always magenta, 0xFF00FF) untouched on the destination, exactly.
// A bitmap may carry a double-resolution drawing too; painters on 200 % screens get that one.
//
// CDib: a bitmap with its own colour table, drawn stretched when asked and saved as a BMP file
// (the video player's frame capture).
//
// ImageList: a strip cut into equal cells (glyphs, digits, indicators), drawn with alpha.

#include "ui/dib.h"

#include <QImage>
#include <QRect>
#include <QRgb>

#include <cstdint>
#include <string>
#include <vector>

class QPainter;

constexpr QRgb kTransparentKey = 0xFF00FF;

class SkinBitmap
{
public:
    // The built-in image with that resource id; false when there is none.
    bool LoadFromResource(int resourceId);
    // A packed DIB in memory; false (and the bitmap left empty) when it cannot be decoded.
    bool LoadFromPackedDib(const std::uint8_t* data, std::size_t size);
    bool LoadFromImage(const dib::Image& image, const dib::Image* doubled = nullptr);
    // The same, taking over the pixels rather than copying them.
    bool LoadFromImage(dib::Image&& image, dib::Image* doubled = nullptr);
    bool LoadFromQImage(const QImage& image, const QImage& doubled = QImage());

    // Copies a rectangle of the bitmap's own size from (srcX, srcY) of the bitmap to (x, y).
    void Draw(QPainter& painter, int x, int y, int srcX = 0, int srcY = 0) const;
    // Draws the whole bitmap at (x, y), leaving the key colour's pixels transparent.
    void DrawTransparent(QPainter& painter, int x, int y, QRgb key = kTransparentKey) const;
    void Delete();

    bool isLoaded() const { return !m_image.isNull(); }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    const QImage& image() const { return m_image; }
    const QImage& doubleImage() const { return m_double; }

private:
    const QImage& maskedFor(const QImage& source, QImage& cache, QRgb key) const;

    QImage m_image;  // RGB32
    QImage m_double; // RGB32, exactly twice the size, or null
    mutable QImage m_masked;
    mutable QImage m_maskedDouble;
    mutable QRgb m_maskKey = 0;
};

class CDib
{
public:
    // A built-in image by resource id, or an image file (BMP by our reader; other formats
    // through Qt). Calls Attach.
    bool LoadImage(int resourceId);
    bool LoadImage(const std::string& path);
    // Takes the image and builds the palette from its colour table.
    void Attach(const QImage& image, std::vector<QRgb> colorTable = {});
    // Up to 256 entries of the colour table; a halftone palette when there is no table.
    void CreatePaletteFromColourTable();
    // A copy of any image, kept at the depth it comes in (rounded up to 1, 4, 8, 16, 24, 32).
    void CopyFrom(const QImage& image, const std::vector<QRgb>& palette = {});
    // Draws source onto destination; stretched (nearest pixel) when the sizes differ. Null
    // rectangles mean the whole bitmap and its own size at the origin.
    void Draw(QPainter& painter, const QRect& destination = QRect(),
              const QRect& source = QRect()) const;
    // Writes a Windows BMP file; false when it cannot be written.
    bool SaveBmp(const std::string& path) const;
    // Writes a packed DIB held in memory as a BMP file.
    static bool SaveBmp(const std::string& path, const std::uint8_t* packedDib, std::size_t size);

    bool isLoaded() const { return !m_image.isNull(); }
    int bitCount() const { return m_bitCount; }
    const QImage& image() const { return m_image; }
    const std::vector<QRgb>& colorTable() const { return m_colorTable; }
    const std::vector<QRgb>& palette() const { return m_palette; }
    // The packed DIB this bitmap would be saved as.
    std::vector<std::uint8_t> toPackedDib() const;

private:
    QImage m_image;
    int m_bitCount = 0;
    std::vector<QRgb> m_colorTable;
    std::vector<QRgb> m_palette;
};

class ImageList
{
public:
    ImageList() = default;
    // A strip of equal cells; magenta pixels become transparent. The double strip, when
    // given, is exactly twice the size and drawn on 200 % screens.
    ImageList(const QImage& strip, int cellWidth, const QImage& doubleStrip = QImage());

    bool isNull() const { return m_strip.isNull(); }
    int count() const { return m_count; }
    QSize cellSize() const { return {m_cell, m_strip.height()}; }
    // Draws cell index with its top-left corner at (x, y); nothing for an index out of range.
    void Draw(QPainter& painter, int index, int x, int y) const;
    // One cell at single size.
    QImage image(int index) const;

private:
    QImage m_strip;  // ARGB32_Premultiplied
    QImage m_double; // same, twice the size, or null
    int m_cell = 0;
    int m_count = 0;
};

// A built-in image as drawn by the art generator (with its alpha), or a null image.
QImage builtinImage(int resourceId, bool doubled = false);
// A QImage of a decoded DIB (RGB32); the second takes the pixels over without a copy.
QImage toQImage(const dib::Image& image);
QImage toQImage(dib::Image&& image);
// Whether a painter draws on a device of at least 1.5 device pixels per logical pixel.
bool prefersDoubleArt(const QPainter& painter);
