// The two glyph lists drawn on button faces: 19 glyphs of 32 x 32 and 66 of 16 x 16. A glyph is
// centred on its button, so a glyph meant for 13 x 13 buttons has its middle at 7.5, one for
// 10, 18 and 26 pixel buttons at 8, and the large ones at 16 (the 60 x 14 mode buttons show only
// rows 9 to 22 of theirs).
#include "draw.h"

#include "ui/skinslots.h"

#include <QLinearGradient>
#include <QPainterPathStroker>
#include <QRadialGradient>

#include <cmath>
#include <functional>

namespace art {
namespace {

QPainterPath stroke(const QPainterPath& path, double width, Qt::PenCapStyle cap = Qt::FlatCap)
{
    QPainterPathStroker s;
    s.setWidth(width);
    s.setCapStyle(cap);
    s.setJoinStyle(Qt::MiterJoin);
    return s.createStroke(path);
}

QPainterPath line(double x1, double y1, double x2, double y2, double width,
                  Qt::PenCapStyle cap = Qt::FlatCap)
{
    QPainterPath path;
    path.moveTo(x1, y1);
    path.lineTo(x2, y2);
    return stroke(path, width, cap);
}

QPainterPath circle(double cx, double cy, double r)
{
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), r, r);
    return path;
}

QPainterPath roundRect(double x, double y, double w, double h, double r)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

QPainterPath frame(double x, double y, double w, double h, double t)
{
    QPainterPath path = rect(x, y, w, h);
    path.addRect(x + t, y + t, w - 2 * t, h - 2 * t);
    path.setFillRule(Qt::OddEvenFill);
    return path;
}

QPainterPath unite(std::initializer_list<QPainterPath> parts)
{
    QPainterPath out;
    out.setFillRule(Qt::WindingFill);
    for (const auto& p : parts)
        out = out.united(p);
    return out;
}

// ---- small glyphs ----

QPainterPath speaker(double x, double cy)
{
    QPainterPath body = rect(x, cy - 1.5, 2, 3);
    QPainterPath cone;
    cone.moveTo(x + 1.5, cy - 1.5);
    cone.lineTo(x + 4, cy - 4);
    cone.lineTo(x + 4, cy + 4);
    cone.lineTo(x + 1.5, cy + 1.5);
    cone.closeSubpath();
    return body.united(cone);
}

QPainterPath gear(double cx, double cy, double r)
{
    QPainterPath teeth;
    for (int i = 0; i < 8; ++i) {
        QTransform t;
        t.translate(cx, cy);
        t.rotate(i * 45.0);
        QPainterPath tooth = rect(-1.1, -r - 1.2, 2.2, 2.6);
        teeth = teeth.united(t.map(tooth));
    }
    QPainterPath body = circle(cx, cy, r).united(teeth);
    return body.subtracted(circle(cx, cy, r * 0.42));
}

QPainterPath clockShape(double cx, double cy, double r, double t)
{
    QPainterPath hands = line(cx, cy + 0.5, cx, cy - r * 0.62, t * 0.9, Qt::RoundCap)
                             .united(line(cx - 0.4, cy, cx + r * 0.5, cy, t * 0.9, Qt::RoundCap));
    return ring(cx, cy, r, t).united(hands);
}

QPainterPath hourglass(double cx, double top, double h)
{
    const double w = h * 0.7;
    QPainterPath path;
    path.moveTo(cx - w / 2, top);
    path.lineTo(cx + w / 2, top);
    path.lineTo(cx + 0.8, top + h / 2);
    path.lineTo(cx + w / 2, top + h);
    path.lineTo(cx - w / 2, top + h);
    path.lineTo(cx - 0.8, top + h / 2);
    path.closeSubpath();
    return path;
}

QPainterPath note(double x, double y, double scale)
{
    // A quaver: head, stem, flag.
    QPainterPath head;
    head.addEllipse(QRectF(x, y + 7 * scale, 4 * scale, 3 * scale));
    QPainterPath stem = rect(x + 3 * scale, y, 1.2 * scale, 8.5 * scale);
    QPainterPath flag;
    flag.moveTo(x + 3.5 * scale, y);
    flag.cubicTo(x + 6 * scale, y + 1.5 * scale, x + 6.5 * scale, y + 3 * scale, x + 5.5 * scale,
                 y + 5 * scale);
    flag.cubicTo(x + 5.5 * scale, y + 3.5 * scale, x + 4.5 * scale, y + 2.5 * scale,
                 x + 3.5 * scale, y + 2.4 * scale);
    flag.closeSubpath();
    return unite({head, stem, flag});
}

struct SmallGlyph
{
    std::function<QPainterPath()> shape;
    Ink ink = Ink::Dark;
    QColor lit = led::kLit;
};

std::vector<SmallGlyph> smallGlyphs()
{
    std::vector<SmallGlyph> g(skin::res::kSmallGlyphCount);
    auto set = [&g](int i, std::function<QPainterPath()> f, Ink ink = Ink::Dark,
                    QColor lit = led::kLit) {
        g[i] = {std::move(f), ink, lit};
    };
    const QColor powerRed(0xff, 0x5a, 0x30);

    auto power = [] { return powerSymbol(8, 8.5, 4.2, 1.7); };
    set(1, power, Ink::Lit, powerRed);
    set(2, power);
    auto rewind = [] { return triangle(2, 4, 6, 8, false).united(triangle(8, 4, 6, 8, false)); };
    auto forward = [] { return triangle(2, 4, 6, 8, true).united(triangle(8, 4, 6, 8, true)); };
    set(3, rewind);
    set(4, forward);
    set(5, [] { return triangleUp(4, 4, 8, 5, false).united(rect(4, 11, 8, 2)); });
    set(6, [] { return frame(2, 5, 8, 7, 1.5).united(frame(6, 2, 8, 7, 1.5)); });
    set(7, [] { return triangleUp(3, 3, 10, 6, true).united(rect(3, 11, 10, 2)); });
    set(8, [] { return rect(4, 4, 8, 8); });
    set(9, [] { return rect(3, 4, 2, 8).united(triangle(5, 4, 8, 8, false)); });
    set(10, [] { return triangle(3, 4, 8, 8, true).united(rect(11, 4, 2, 8)); });
    set(
        11, [] { return circle(8, 8, 4.5); }, Ink::Lit, led::kRed);
    set(12, [] {
        return unite({triangle(2, 4, 6, 8, true), rect(9, 4, 2, 8), rect(12, 4, 2, 8)});
    });
    set(13, [] { return rect(5, 4, 2, 8).united(rect(9, 4, 2, 8)); });
    set(14, [] { return triangle(3, 4, 7, 8, true).united(rect(11, 4, 2, 8)); });
    set(15, [] { return rect(3, 4, 2, 8).united(triangle(6, 4, 7, 8, false)); });
    set(16, [] {
        QPainterPath bend;
        bend.moveTo(12, 3.5);
        bend.lineTo(12, 9.5);
        bend.lineTo(7, 9.5);
        return stroke(bend, 2).united(triangle(3, 6.5, 4.5, 6, false));
    });
    set(17, [] { return line(4.5, 4.5, 11.5, 11.5, 2.2).united(line(11.5, 4.5, 4.5, 11.5, 2.2)); });
    set(18, [] {
        QPainterPath arrow = line(8.5, 9.5, 12, 6, 1.4).united(triangle(10, 3.5, 4, 4, true));
        return frame(2, 3, 12, 10, 1.5)
            .united(rect(4, 8, 4, 3))
            .united(arrow.intersected(rect(8, 3, 6, 7)));
    });
    set(19,
        [] { return speaker(3, 7.5).united(rect(8, 7, 5, 1.2)).united(rect(9.9, 5.1, 1.2, 5)); });
    set(20, [] { return speaker(3, 7.5).united(rect(8, 7, 5, 1.2)); });
    set(21, [] {
        QPainterPath waves;
        waves.arcMoveTo(QRectF(5, 4, 6, 8), -50);
        waves.arcTo(QRectF(5, 4, 6, 8), -50, 100);
        QPainterPath outer;
        outer.arcMoveTo(QRectF(5, 2, 9, 12), -50);
        outer.arcTo(QRectF(5, 2, 9, 12), -50, 100);
        return speaker(2, 8).united(stroke(waves, 1.2)).united(stroke(outer, 1.2));
    });
    set(22, [] {
        return speaker(2, 8)
            .united(line(9, 5.5, 13.5, 10.5, 1.4))
            .united(line(13.5, 5.5, 9, 10.5, 1.4));
    });
    set(23, [] { return triangle(5, 4, 6, 8, false); });
    set(24, [] { return triangle(5, 4, 6, 8, true); });
    auto disc13 = [] { return ring(7.5, 7.5, 4.5, 1.6).united(circle(7.5, 7.5, 1.1)); };
    set(25, disc13);
    set(26, disc13, Ink::Lit, led::kCyan);
    auto album = [] {
        // An album sleeve with its record.
        return unite({frame(2, 2, 12, 12, 1.5), ring(8, 8, 3.8, 1.4), circle(8, 8, 0.9)});
    };
    set(27, album);
    set(28, album, Ink::Disabled);
    auto edit = [] {
        QPainterPath lines = unite({rect(2, 3, 8, 1.5), rect(2, 6, 8, 1.5), rect(2, 9, 5, 1.5)});
        QPainterPath pencil;
        pencil.moveTo(13.2, 5.2);
        pencil.lineTo(14.8, 6.8);
        pencil.lineTo(9.2, 12.4);
        pencil.lineTo(7, 13.2);
        pencil.lineTo(7.6, 10.8);
        pencil.closeSubpath();
        return lines.united(pencil);
    };
    set(29, edit);
    set(30, edit, Ink::Disabled);
    auto lamp = [] { return circle(7.5, 7.5, 2.8); };
    set(31, lamp, Ink::Lit, led::kGreen);
    set(32, lamp);
    set(33, lamp, Ink::Disabled);
    set(34, [] {
        QPainterPath arc;
        const QRectF box(3.5, 3.5, 9, 9);
        arc.arcMoveTo(box, 100);
        arc.arcTo(box, 100, 270);
        return stroke(arc, 1.7).united(triangle(3, 1.5, 4, 5, false).translated(2.5, 0));
    });
    auto nextPage = [] { return triangle(5, 4, 6, 8, true); };
    auto prevPage = [] { return triangle(5, 4, 6, 8, false); };
    set(35, nextPage);
    set(36, nextPage, Ink::Disabled);
    set(37, prevPage);
    set(38, prevPage, Ink::Disabled);
    auto up = [] { return triangleUp(5, 6, 6, 4, true); };
    auto down = [] { return triangleUp(5, 6, 6, 4, false); };
    set(39, up);
    set(40, up, Ink::Disabled);
    set(41, down);
    set(42, down, Ink::Disabled);
    set(43, [] { return gear(8, 8, 3.6); });
    set(44, [] {
        QPainterPath w1, w2;
        w1.arcMoveTo(QRectF(4, 4.5, 7, 7), -55);
        w1.arcTo(QRectF(4, 4.5, 7, 7), -55, 110);
        w2.arcMoveTo(QRectF(3.5, 2, 11, 12), -55);
        w2.arcTo(QRectF(3.5, 2, 11, 12), -55, 110);
        return speaker(2, 8).united(stroke(w1, 1.3)).united(stroke(w2, 1.3));
    });
    set(45, [] {
        return unite({triangleUp(4, 2.5, 7, 3.5, true), triangleUp(4, 9.5, 7, 3.5, false),
                      rect(6.8, 6, 1.4, 3.5)});
    });
    set(
        46, [] { return powerSymbol(7.5, 8, 3.5, 1.5); }, Ink::Lit, powerRed);
    auto bars = [] { return unite({rect(3, 7, 2, 5), rect(6, 3, 2, 9), rect(9, 5, 2, 7)}); };
    set(47, bars, Ink::Lit);
    set(48, bars);
    auto quickAlbum = [] {
        return unite({frame(3, 3, 9, 9, 1.2), ring(7.5, 7.5, 2.6, 1.1), circle(7.5, 7.5, 0.6)});
    };
    set(49, quickAlbum);
    set(50, quickAlbum, Ink::Disabled);
    auto clock13 = [] { return clockShape(7.5, 7.5, 4.6, 1.3); };
    set(51, clock13, Ink::Lit);
    set(52, clock13);
    auto glass = [] { return hourglass(7.5, 3, 9); };
    set(53, glass, Ink::Lit);
    set(54, glass);
    auto att = [] {
        return speaker(2.5, 7.5)
            .united(triangleUp(8, 6, 4.5, 4, false))
            .united(rect(9.5, 3, 1.5, 3.5));
    };
    set(55, att);
    set(56, att, Ink::Lit);
    set(57, [] {
        return unite({rect(3, 3, 2, 2), rect(6, 3, 6, 2), rect(3, 6.5, 2, 2), rect(6, 6.5, 6, 2),
                      rect(3, 10, 2, 2), rect(6, 10, 6, 2)});
    });
    set(58, [] {
        QPainterPath wave;
        wave.moveTo(2.5, 8);
        wave.lineTo(4.5, 4);
        wave.lineTo(7, 11);
        wave.lineTo(9.5, 4);
        wave.lineTo(12, 11);
        wave.lineTo(13, 8);
        return stroke(wave, 1.4);
    });
    auto save = [] {
        return unite({rect(6.8, 2.5, 1.5, 4.5), triangleUp(4.5, 6.5, 6, 3.5, false),
                      rect(3, 10.5, 9, 1.5), rect(3, 8.5, 1.5, 3), rect(10.5, 8.5, 1.5, 3)});
    };
    set(59, save, Ink::Lit);
    set(60, save);
    set(61, [] {
        return unite({rect(2, 4, 7, 1.5), rect(2, 7.25, 7, 1.5), rect(2, 10.5, 7, 1.5),
                      triangle(10, 4.5, 4.5, 7, true)});
    });
    auto lyric = [] {
        return note(2, 3, 1.0)
            .united(rect(9, 5, 5, 1.4))
            .united(rect(9, 8, 5, 1.4))
            .united(rect(9, 11, 4, 1.4));
    };
    set(62, lyric, Ink::Lit);
    set(63, lyric);
    set(64, [] {
        QPainterPath stand;
        stand.arcMoveTo(QRectF(4, 3, 8, 8), 200);
        stand.arcTo(QRectF(4, 3, 8, 8), 200, 140);
        return unite({roundRect(6, 2, 4, 7, 2), stroke(stand, 1.2), rect(7.4, 11, 1.2, 2.5),
                      rect(5.5, 13, 5, 1.2)});
    });
    set(65, [] {
        return unite({rect(3.5, 3, 1, 10), rect(7.5, 3, 1, 10), rect(11.5, 3, 1, 10),
                      rect(2.5, 9, 3, 2), rect(6.5, 5, 3, 2), rect(10.5, 7, 3, 2)});
    });
    return g;
}

// ---- large glyphs ----

void paintLarge(QPainter& p, int index, int scale)
{
    const bool on = index >= 1 && index <= 14 && index % 2 == 0;
    const Ink body = Ink::Dark;
    auto litOr = [on](Ink off) { return on ? Ink::Lit : off; };
    switch (index) {
    case 1:
    case 2: { // mixer: three faders
        QPainterPath rails =
            unite({rect(8.5, 6, 1.5, 20), rect(15.25, 6, 1.5, 20), rect(22, 6, 1.5, 20)});
        paintShape(p, rails, body, scale);
        QPainterPath knobs = unite({roundRect(5.5, 17, 7.5, 4, 1), roundRect(12.25, 9, 7.5, 4, 1),
                                    roundRect(19, 13, 7.5, 4, 1)});
        paintShape(p, knobs, litOr(body), scale);
        break;
    }
    case 3:
    case 4: { // CD
        if (on) {
            QRadialGradient g(QPointF(16, 16), 12);
            g.setColorAt(0.2, QColor(0xff, 0xf0, 0xc0));
            g.setColorAt(0.55, QColor(0xff, 0xb8, 0x40));
            g.setColorAt(0.8, QColor(0x8c, 0xe0, 0xff));
            g.setColorAt(1, QColor(0xff, 0xc8, 0x60));
            p.save();
            p.setPen(QPen(QColor(0x40, 0x28, 0x08, 230), 1.0 / scale * 1.5));
            p.setBrush(g);
            p.drawPath(circle(16, 16, 11.5).subtracted(circle(16, 16, 3)));
            p.setBrush(QColor(255, 255, 255, 150));
            p.setPen(Qt::NoPen);
            QPainterPath shine;
            shine.moveTo(16, 16);
            shine.arcTo(QRectF(5, 5, 22, 22), 100, 35);
            shine.closeSubpath();
            p.drawPath(shine.subtracted(circle(16, 16, 5)));
            p.restore();
        } else {
            paintShape(p, ring(16, 16, 11.5, 2).united(ring(16, 16, 5, 1.5)), body, scale);
            paintShape(p, ring(16, 16, 8.5, 0.8), Ink::Disabled, scale);
        }
        break;
    }
    case 5:
    case 6: { // digital audio: a waveform
        const double heights[] = {4, 9, 15, 20, 13, 18, 10, 6, 11, 3};
        QPainterPath bars;
        for (int i = 0; i < 10; ++i)
            bars = bars.united(rect(4.5 + i * 2.5, 16 - heights[i] / 2, 1.6, heights[i]));
        paintShape(p, bars, litOr(body), scale);
        break;
    }
    case 7:
    case 8: { // MIDI: a keyboard
        QPainterPath outline = frame(4, 8, 24, 16, 1.5);
        QPainterPath whites;
        for (int i = 1; i < 6; ++i)
            whites = whites.united(rect(4 + i * 4, 15, 1, 8));
        QPainterPath blacks;
        for (int i : {0, 1, 3, 4})
            blacks = blacks.united(rect(6.8 + i * 4, 9.5, 2.6, 6));
        if (on) {
            p.save();
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xff, 0xf3, 0xd6));
            p.drawRect(QRectF(5.5, 9.5, 21, 13));
            p.setBrush(led::kLit);
            p.drawRect(QRectF(13, 9.5, 3, 13)); // a key held down
            p.restore();
        }
        paintShape(p, outline.united(whites), body, scale);
        paintShape(p, blacks, body, scale);
        break;
    }
    case 9:
    case 10: { // video: a film frame with a screen
        QPainterPath film = frame(4, 7, 24, 18, 1.5);
        QPainterPath holes;
        for (int i = 0; i < 6; ++i) {
            holes = holes.united(rect(6 + i * 3.6, 8.5, 1.8, 2));
            holes = holes.united(rect(6 + i * 3.6, 21.5, 1.8, 2));
        }
        paintShape(p, film.united(holes), body, scale);
        if (on) {
            p.save();
            p.setPen(Qt::NoPen);
            QLinearGradient g(0, 11.5, 0, 20.5);
            g.setColorAt(0, QColor(0x9c, 0xe8, 0xff));
            g.setColorAt(1, QColor(0x2a, 0x8c, 0xc8));
            p.setBrush(g);
            p.drawRect(QRectF(6, 11.5, 20, 9));
            p.restore();
        }
        paintShape(p, triangle(13.5, 12.5, 6, 7, true), on ? Ink::Dark : Ink::Disabled, scale);
        break;
    }
    case 11:
    case 12: { // sound effector: equalizer bars with peaks
        const double heights[] = {8, 13, 17, 12, 15, 9};
        QPainterPath bars, peaks;
        for (int i = 0; i < 6; ++i) {
            const double x = 5 + i * 4;
            bars = bars.united(rect(x, 25 - heights[i], 3, heights[i]));
            peaks = peaks.united(rect(x, 25 - heights[i] - 3, 3, 1.5));
        }
        paintShape(p, bars, litOr(body), scale);
        paintShape(p, peaks, on ? Ink::Lit : body, scale, led::kRed);
        paintShape(p, rect(4, 26, 24, 1.5), body, scale);
        break;
    }
    case 13:
    case 14: { // remote control
        QPainterPath casing =
            roundRect(10.5, 4, 11, 25, 3).subtracted(roundRect(12, 5.5, 8, 22, 2));
        QPainterPath keys;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 2; ++c)
                keys = keys.united(rect(13 + c * 3.8, 14 + r * 3.8, 2.2, 2.2));
        paintShape(p, casing, body, scale);
        paintShape(p, keys, litOr(body), scale);
        paintShape(p, circle(16, 9, 1.8), on ? Ink::Lit : body, scale, led::kRed);
        break;
    }
    case 15: // time display: a clock with an arrow round it
        paintShape(p, clockShape(16, 16, 5, 1.4), body, scale);
        paintShape(p, triangle(23, 13, 3.5, 6, true).united(triangle(5.5, 13, 3.5, 6, false)), body,
                   scale);
        break;
    case 16: { // play method: crossing arrows
        QPainterPath a, b;
        a.moveTo(7, 12.5);
        a.cubicTo(13, 12.5, 17, 19.5, 22, 19.5);
        b.moveTo(7, 19.5);
        b.cubicTo(13, 19.5, 17, 12.5, 22, 12.5);
        QPainterPath shape = stroke(a, 1.6).united(stroke(b, 1.6));
        shape = shape.united(triangle(21.5, 10, 4, 5, true)).united(triangle(21.5, 17, 4, 5, true));
        paintShape(p, shape, body, scale);
        break;
    }
    case 17: { // repeat: a loop
        QPainterPath loop;
        loop.addRoundedRect(QRectF(8.5, 12, 15, 8), 3.5, 3.5);
        QPainterPath shape = stroke(loop, 1.6).subtracted(rect(14, 18, 5, 4));
        shape = shape.united(triangle(13, 17.3, 4, 5.5, true));
        paintShape(p, shape, body, scale);
        break;
    }
    case 18: { // play list
        QPainterPath shape =
            unite({rect(9, 12, 2, 2), rect(12.5, 12, 11, 2), rect(9, 15, 2, 2),
                   rect(12.5, 15, 11, 2), rect(9, 18, 2, 2), rect(12.5, 18, 8, 2)});
        paintShape(p, shape, body, scale);
        break;
    }
    default:
        break;
    }
}

} // namespace

QImage renderSmallGlyphs(int scale)
{
    const auto glyphs = smallGlyphs();
    const int n = skin::res::kSmallGlyphCount;
    QImage img = canvas(16 * n, 16, scale);
    QPainter p;
    beginPainter(p, img, scale);
    for (int i = 0; i < n; ++i) {
        if (!glyphs[i].shape)
            continue;
        p.save();
        p.translate(16 * i, 0);
        p.setClipRect(QRectF(0, 0, 16, 16));
        paintShape(p, glyphs[i].shape(), glyphs[i].ink, scale, glyphs[i].lit);
        p.restore();
    }
    p.end();
    return img;
}

QImage renderLargeGlyphs(int scale)
{
    const int n = skin::res::kLargeGlyphCount;
    QImage img = canvas(32 * n, 32, scale);
    QPainter p;
    beginPainter(p, img, scale);
    for (int i = 1; i < n; ++i) {
        p.save();
        p.translate(32 * i, 0);
        p.setClipRect(QRectF(0, 0, 32, 32));
        paintLarge(p, i, scale);
        p.restore();
    }
    p.end();
    return img;
}

} // namespace art
