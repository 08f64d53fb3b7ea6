// The LED display art: digit sets, indicator images, track-grid cells and position thumbs.
// Lit segments are amber on black with their unlit neighbours faintly visible, as on a real
// LED display.
#include "draw.h"

#include "ui/pixelfont.h"
#include "ui/skinslots.h"

#include <QLinearGradient>

#include <cmath>

namespace art {
namespace {

// Segments a-g of a seven-segment figure.
enum Seg { A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64 };
constexpr int kFigures[10] = {A | B | C | D | E | F, B | C,         A | B | D | E | G,
                              A | B | C | D | G,     B | C | F | G, A | C | D | F | G,
                              A | C | D | E | F | G, A | B | C,     A | B | C | D | E | F | G,
                              A | B | C | D | F | G};

struct SegmentBox
{
    double x, y, w, h, t;
};

QPainterPath hexH(double x, double y, double len, double t)
{
    QPainterPath p;
    p.moveTo(x, y + t / 2);
    p.lineTo(x + t / 2, y);
    p.lineTo(x + len - t / 2, y);
    p.lineTo(x + len, y + t / 2);
    p.lineTo(x + len - t / 2, y + t);
    p.lineTo(x + t / 2, y + t);
    p.closeSubpath();
    return p;
}

QPainterPath hexV(double x, double y, double len, double t)
{
    QPainterPath p;
    p.moveTo(x + t / 2, y);
    p.lineTo(x + t, y + t / 2);
    p.lineTo(x + t, y + len - t / 2);
    p.lineTo(x + t / 2, y + len);
    p.lineTo(x, y + len - t / 2);
    p.lineTo(x, y + t / 2);
    p.closeSubpath();
    return p;
}

// The path of one segment; bevelled ends where there is room for them.
QPainterPath segment(int seg, const SegmentBox& b, bool bevel)
{
    const double t = b.t;
    const double gap = bevel ? t * 0.25 : 0;
    const double ym = bevel ? b.y + (b.h - t) / 2 : std::floor(b.y + (b.h - t) / 2);
    const double hx = b.x + (bevel ? t / 2 + gap : t);
    const double hlen = b.w - (bevel ? t + 2 * gap : 2 * t);
    const double upperTop = b.y + (bevel ? t / 2 + gap : t);
    const double upperLen = ym - upperTop + (bevel ? t / 2 - gap : 0);
    const double lowerTop = ym + (bevel ? t / 2 + gap : t);
    const double lowerLen = b.y + b.h - (bevel ? t / 2 + gap : t) - lowerTop;
    auto h = [&](double y) { return bevel ? hexH(hx, y, hlen, t) : rect(hx, y, hlen, t); };
    auto v = [&](double x, double y, double len) {
        return bevel ? hexV(x, y, len, t) : rect(x, y, t, len);
    };
    switch (seg) {
    case A:
        return h(b.y);
    case D:
        return h(b.y + b.h - t);
    case G:
        return h(ym);
    case F:
        return v(b.x, upperTop, upperLen);
    case B:
        return v(b.x + b.w - t, upperTop, upperLen);
    case E:
        return v(b.x, lowerTop, lowerLen);
    case C:
        return v(b.x + b.w - t, lowerTop, lowerLen);
    }
    return {};
}

void paintSegments(QPainter& p, const SegmentBox& b, bool bevel, int litMask, int ghostMask)
{
    for (int s = A; s <= G; s <<= 1) {
        if (!((litMask | ghostMask) & s))
            continue;
        const QPainterPath path = segment(s, b, bevel);
        if (litMask & s) {
            p.setBrush(led::kLit);
            p.drawPath(path);
        } else {
            p.setBrush(led::kGhost);
            p.drawPath(path);
        }
    }
}

void paintColon(QPainter& p, const SegmentBox& b, bool lit)
{
    const double d = std::max(1.0, std::round(b.t));
    const double cx = b.x + (b.w - d) / 2;
    p.setBrush(lit ? led::kLit : led::kGhost);
    const double y1 = std::round(b.y + b.h * 0.28);
    const double y2 = std::round(b.y + b.h * 0.68);
    p.drawRect(QRectF(std::round(cx), y1, d, d));
    p.drawRect(QRectF(std::round(cx), y2, d, d));
}

// The pixel-art icons of the indicator labels, 9 x 7.
void iconPixels(QPainter& p, int x, int y, const char* const rows[7], const QColor& c)
{
    for (int r = 0; r < 7; ++r)
        for (int k = 0; rows[r][k]; ++k)
            if (rows[r][k] == '#')
                p.fillRect(x + k, y + r, 1, 1, c);
}

const char* const kIconNormal[7] = {".........", ".....#...", "......#..", "########.",
                                    "......#..", ".....#...", "........."};
const char* const kIconProgram[7] = {"##.######", ".........", "##.######", ".........",
                                     "##.######", ".........", "........."};
const char* const kIconRandom[7] = {"##.....#.", "..#...###", "...#.#..#", "....#....",
                                    "...#.#..#", "..#...###", "##.....#."};
const char* const kIconSingle[7] = {"......#.#", ".....##.#", "#####.#.#", ".....##.#",
                                    "......#.#", ".......",   "........."};
const char* const kIconRepeat[7] = {"..#......", ".#######.", "#.#.....#", "#.......#",
                                    "#.....#.#", ".#######.", "......#.."};

} // namespace

QImage renderDigits(int kind, int scale)
{
    const auto& k = skin::res::kDigitKinds[kind];
    const int n = skin::res::kDigitImageCount;
    QImage img = canvas(k.width * n, k.height, scale);
    QPainter p;
    beginPainter(p, img, scale, scale > 1 || kind <= 1);
    p.fillRect(QRectF(0, 0, k.width * n, k.height), Qt::black);
    const double thickness[4] = {3, 2, scale > 1 ? 1.5 : 1, 1};
    const bool bevel = kind <= 1 || scale > 1;
    for (int i = 0; i < n; ++i) {
        // Big figures get two dark columns between them, small ones one.
        const double w = k.width - (kind <= 1 ? 3.0 : 2.0);
        const SegmentBox b{i * k.width + 1.0, 1.0, w, k.height - 2.0, thickness[kind]};
        const int all = A | B | C | D | E | F | G;
        if (i <= 9)
            paintSegments(p, b, bevel, kFigures[i], all);
        else if (i == 10)
            paintSegments(p, b, bevel, 0, all);
        else if (i == 11 || i == 12)
            paintColon(p, b, i == 11);
        else if (i == 13)
            paintSegments(p, b, bevel, 0, G);
        else if (i == 18)
            paintSegments(p, b, bevel, G, 0);
    }
    p.end();
    return img;
}

QImage renderIndicators(int scale)
{
    namespace r = skin::res;
    const int w = r::kIndicatorWidth;
    const int h = r::kIndicatorHeight;
    QImage img = canvas(w * r::kIndicatorCount, h, scale);
    QPainter p;
    beginPainter(p, img, scale);
    const QColor dim(0x8a, 0x5c, 0x18);
    auto at = [&](int index) {
        p.restore();
        p.save();
        p.translate(index * w, 0);
        p.setClipRect(QRectF(0, 0, w, h));
    };
    p.save();
    // Play method and repeat: an icon and a word.
    struct Label
    {
        int index;
        const char* const* icon;
        const char* text;
        bool lit;
    };
    const Label labels[] = {{0, kIconNormal, "NORMAL", true}, {1, kIconProgram, "PROGRAM", true},
                            {2, kIconRandom, "RANDOM", true}, {3, kIconSingle, "SINGLE", true},
                            {4, kIconRepeat, "OFF", false},   {5, kIconRepeat, "ONE", true},
                            {6, kIconRepeat, "ALL", true}};
    for (const Label& l : labels) {
        at(l.index);
        const QColor c = l.lit ? led::kLit : dim;
        iconPixels(p, 3, 2, l.icon, c);
        pixelfont::draw(p, 15, 2, l.text, c, pixelfont::Face::Small);
    }
    // Pause (7 lit, 8 unlit) and play (9 lit, 10 unlit), in the 10-pixel spot at the left.
    for (int i : {7, 8}) {
        at(i);
        p.setBrush(i == 7 ? led::kLit : led::kGhost);
        p.drawRect(QRectF(2, 1, 2, 9));
        p.drawRect(QRectF(6, 1, 2, 9));
    }
    for (int i : {9, 10}) {
        at(i);
        p.setBrush(i == 9 ? led::kLit : led::kGhost);
        p.drawPath(triangle(2, 1, 7, 9, true));
    }
    // Recording: a red lamp where the play mark sits.
    at(27);
    p.setBrush(QColor(0x5a, 0x0c, 0x06));
    p.drawEllipse(QPointF(5, 5), 4.5, 4.5);
    p.setBrush(led::kRed);
    p.drawEllipse(QPointF(5, 5), 3.5, 3.5);
    p.setBrush(QColor(255, 200, 190, 200));
    p.drawEllipse(QPointF(4, 4), 1.2, 1.2);
    // Hover marks over the 60 x 12 spots: a lit frame, and a black one that wipes it.
    at(15);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(led::kLit, 1.0));
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 2, 2);
    at(16);
    p.setPen(QPen(Qt::black, 1.0));
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 2, 2);
    p.setPen(Qt::NoPen);
    // Viewer sizes 0-3, each plain and under the mouse, in the 10-pixel spot.
    for (int mode = 0; mode < 4; ++mode) {
        for (int hover = 0; hover < 2; ++hover) {
            at(17 + 2 * mode + hover);
            const QColor c = hover ? led::kLitCore : led::kLit;
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(hover ? c : dim, 1.0));
            p.drawRect(QRectF(0.5, 0.5, 9, 9));
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            const double s = 2 + 2 * mode; // 2, 4, 6, 8
            p.drawRect(QRectF(1 + (8 - s) / 2, 1 + (8 - s) / 2, s, s));
        }
    }
    // Sound effect: "FX" in a box, lit or unlit.
    for (int i : {25, 26}) {
        at(i);
        const QColor c = i == 25 ? led::kCyan : led::kGhost;
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(c, 1.0));
        p.drawRoundedRect(QRectF(0.5, 0.5, 19, 9), 2, 2);
        p.setPen(Qt::NoPen);
        pixelfont::draw(p, 5, 1, "FX", c, pixelfont::Face::Small);
    }
    p.restore();
    p.end();
    return img;
}

QImage renderTrackCells(int scale)
{
    const int n = skin::res::kTrackCellCount;
    QImage img = canvas(11 * n, 9, scale);
    QPainter p;
    beginPainter(p, img, scale, false);
    struct Cell
    {
        QColor fill, light, dark;
    };
    // Normal, current (lit), current (blink off), played, programmed, programmed and played,
    // cannot be played, no track.
    const Cell cells[8] = {
        {QColor(0x2a, 0x2a, 0x2e), QColor(0x44, 0x44, 0x4a), QColor(0x16, 0x16, 0x18)},
        {QColor(0x9a, 0x5c, 0x08), QColor(0xff, 0xc0, 0x50), QColor(0x5a, 0x34, 0x04)},
        {QColor(0x3e, 0x2a, 0x0c), QColor(0x7a, 0x54, 0x18), QColor(0x24, 0x18, 0x06)},
        {QColor(0x1a, 0x1a, 0x1c), QColor(0x2a, 0x2a, 0x2e), QColor(0x10, 0x10, 0x12)},
        {QColor(0x16, 0x3a, 0x5e), QColor(0x3e, 0x8c, 0xd8), QColor(0x0a, 0x1e, 0x32)},
        {QColor(0x10, 0x22, 0x36), QColor(0x24, 0x50, 0x7c), QColor(0x08, 0x12, 0x1e)},
        {QColor(0x3c, 0x12, 0x12), QColor(0x6a, 0x22, 0x22), QColor(0x20, 0x08, 0x08)},
        {QColor(0x0c, 0x0c, 0x0d), QColor(0x0c, 0x0c, 0x0d), QColor(0x0c, 0x0c, 0x0d)},
    };
    for (int i = 0; i < n; ++i) {
        const double x = i * 11;
        const Cell& c = cells[i];
        p.fillRect(QRectF(x, 0, 10, 9), c.fill);
        p.fillRect(QRectF(x, 0, 10, 1), c.light);
        p.fillRect(QRectF(x, 0, 1, 9), c.light);
        p.fillRect(QRectF(x, 8, 10, 1), c.dark);
        p.fillRect(QRectF(x + 9, 0, 1, 9), c.dark);
    }
    p.end();
    return img;
}

QImage renderPositionThumbs(int scale)
{
    QImage img = canvas(12, 4, scale);
    QPainter p;
    beginPainter(p, img, scale, false);
    // Hot, pressed, normal.
    const QColor core[3] = {QColor(0xff, 0xf0, 0xc8), led::kLit, QColor(0xd8, 0xd8, 0xdc)};
    const QColor edge[3] = {led::kLit, QColor(0x8a, 0x50, 0x08), QColor(0x70, 0x70, 0x78)};
    for (int i = 0; i < 3; ++i) {
        p.fillRect(QRectF(i * 4, 0, 4, 4), edge[i]);
        p.fillRect(QRectF(i * 4 + 1, 0, 2, 3), core[i]);
    }
    p.end();
    return img;
}

} // namespace art
