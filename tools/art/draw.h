#pragma once
// Shared drawing helpers of the art generator.

#include "art.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>

#include <cstdint>

namespace art {

struct Palette
{
    QColor bgTop, bgBottom;       // panel backgrounds
    QColor grainLight, grainDark; // brushed lines (with alpha)
    QColor faceTop, faceBottom;   // raised face
    QColor downTop, downBottom;   // pressed face
    QColor faceEdge;              // outline of faces and thumbs
    QColor faceShine;             // inner highlight of faces
    QColor accent;                // marks and the wordmark's line
    QColor engraveDark, engraveLight;
    QColor groove;                // slider grooves
    QColor thumbTop, thumbBottom; // slider caps
    QColor thumbMark;             // the line across a cap
};

const Palette& palette(Theme theme);

// LED colours shared by every look: the displays are not part of a skin.
namespace led {
inline const QColor kLit(0xff, 0xb0, 0x2e);
inline const QColor kLitCore(0xff, 0xe2, 0xa0);
inline const QColor kGhost(0x24, 0x16, 0x06);
inline const QColor kRed(0xff, 0x3b, 0x2f);
inline const QColor kCyan(0x5c, 0xd6, 0xff);
inline const QColor kGreen(0x7d, 0xf0, 0x6a);
} // namespace led

// A transparent canvas of w x h logical pixels at the given scale, and a painter on it that
// works in logical pixels.
QImage canvas(int w, int h, int scale);
void beginPainter(QPainter& p, QImage& image, int scale, bool antialias = true);

// Transparent pixels become magenta; partly covered edge pixels are blended with the matte
// (the colour the image will usually sit on) so that no pink fringe is left.
QImage keyed(const QImage& argb, const QColor& matte);
// All pixels opaque (RGB32).
QImage opaque(const QImage& argb);

// A small deterministic random sequence, so that generated art is the same on every build.
class Noise
{
public:
    explicit Noise(std::uint32_t seed)
        : m_state(seed * 2654435761u + 12345u)
    {}
    double next(); // in [0, 1)

private:
    std::uint32_t m_state;
};

// Brushed metal: a vertical gradient with fine horizontal grain, over the whole image.
void brushed(QPainter& p, const QRectF& area, const Palette& pal, int scale, std::uint32_t seed);
// An engraved line: dark on top, light below (horizontal) or right (vertical).
void grooveLine(QPainter& p, QPointF a, QPointF b, const Palette& pal, int scale);

// Icon styles of glyphs and emblems.
enum class Ink {
    Dark,     // engraved dark ink with a light lower edge: the resting look
    Disabled, // faded
    Lit,      // glowing colour
};
void paintShape(QPainter& p, const QPainterPath& shape, Ink ink, int scale,
                const QColor& lit = led::kLit);

// Path builders in logical pixels.
QPainterPath triangle(double x, double y, double w, double h, bool pointRight);
QPainterPath triangleUp(double x, double y, double w, double h, bool pointUp);
QPainterPath rect(double x, double y, double w, double h);
QPainterPath ring(double cx, double cy, double r, double thickness);
QPainterPath powerSymbol(double cx, double cy, double r, double thickness);

// Image makers, by family.
QImage renderSlot(int slot, int scale, Theme theme);
QImage renderLargeGlyphs(int scale);
QImage renderSmallGlyphs(int scale);
QImage renderDigits(int kind, int scale);
QImage renderIndicators(int scale);
QImage renderTrackCells(int scale);
QImage renderPositionThumbs(int scale);
QImage renderSplash(int scale);
QImage renderTrayIcons(int scale);
QImage renderEmblem(int resourceId, int scale);
QImage renderAppIcon(int size, bool remote);

} // namespace art
