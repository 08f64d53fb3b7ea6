// The splash, the tray icons, the window icons and the emblems engraved on some panels.
#include "draw.h"

#include "ui/skinslots.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPathStroker>
#include <QRadialGradient>

#include <cmath>

namespace art {
namespace {

const QColor kGoldLight(0xff, 0xe6, 0x9a);
const QColor kGold(0xe0, 0xa8, 0x3c);
const QColor kGoldDark(0x7a, 0x52, 0x14);

void paintDisc(QPainter& p, QPointF c, double r)
{
    QRadialGradient g(c, r);
    g.setColorAt(0.15, QColor(0xff, 0xf4, 0xd0));
    g.setColorAt(0.5, kGold);
    g.setColorAt(0.78, QColor(0x9c, 0xdc, 0xf0));
    g.setColorAt(0.9, QColor(0xf0, 0xc0, 0x60));
    g.setColorAt(1, kGoldDark);
    QPainterPath disc;
    disc.addEllipse(c, r, r);
    QPainterPath hole;
    hole.addEllipse(c, r * 0.16, r * 0.16);
    p.save();
    p.setPen(QPen(QColor(0x2a, 0x1a, 0x04), std::max(1.0, r / 20)));
    p.setBrush(g);
    p.drawPath(disc.subtracted(hole));
    // Two glints across the surface.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 110));
    for (double start : {35.0, 215.0}) {
        QPainterPath glint;
        glint.moveTo(c);
        glint.arcTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), start, 28);
        glint.closeSubpath();
        QPainterPath inner;
        inner.addEllipse(c, r * 0.35, r * 0.35);
        p.drawPath(glint.subtracted(inner));
    }
    p.restore();
}

void engravedText(QPainter& p, const QRectF& box, const QString& text, const QFont& font, int flags)
{
    p.save();
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 170));
    p.drawText(box.translated(0, 1), flags, text);
    p.setPen(QColor(0x20, 0x20, 0x24, 220));
    p.drawText(box, flags, text);
    p.restore();
}

// The small picture of a player in a 16 x 16 box: its body in the state's colour, details in
// dark ink, all with a dark rim so that it reads on light and dark panels alike.
void paintPlayer(QPainter& p, int player, const QColor& fill, int scale)
{
    const QColor ink(0x10, 0x10, 0x12);
    const QPen rim(ink, 1.0 / scale * (scale == 1 ? 1.0 : 1.5));
    p.save();
    switch (player) {
    case 0: { // CD
        QPainterPath disc;
        disc.addEllipse(QPointF(8, 8), 6.5, 6.5);
        disc.addEllipse(QPointF(8, 8), 1.8, 1.8);
        disc.setFillRule(Qt::OddEvenFill);
        p.setPen(rim);
        p.setBrush(fill);
        p.drawPath(disc);
        break;
    }
    case 1: { // digital audio: a note
        QPainterPath note;
        note.addEllipse(QRectF(2.5, 9.5, 5.5, 4.5));
        note.addRect(QRectF(6.6, 2, 1.6, 9.5));
        QPainterPath flag;
        flag.moveTo(7.5, 2);
        flag.cubicTo(11, 3.5, 12.5, 5.5, 11.5, 8.5);
        flag.cubicTo(11, 6.5, 9.5, 5.5, 7.5, 5.2);
        flag.closeSubpath();
        p.setPen(rim);
        p.setBrush(fill);
        p.drawPath(note.united(flag));
        break;
    }
    case 2: { // MIDI: a keyboard
        p.setPen(rim);
        p.setBrush(fill);
        p.drawRect(QRectF(1.5, 3.5, 13, 9));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        for (int i = 0; i < 4; ++i)
            p.drawRect(QRectF(3.4 + i * 3, 3.5, 1.7, 5));
        for (int i = 1; i < 4; ++i)
            p.drawRect(QRectF(1.5 + i * 3.25, 9, 0.8, 3.5));
        break;
    }
    default: { // digital video: a screen
        p.setPen(rim);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(1.5, 3, 13, 10), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRect(QRectF(3.5, 5, 9, 6));
        p.setBrush(fill);
        p.drawPolygon(QPolygonF({QPointF(6.5, 6), QPointF(10.5, 8), QPointF(6.5, 10)}));
        break;
    }
    }
    p.restore();
}

} // namespace

QImage renderSplash(int scale)
{
    const int w = 400, h = 220;
    QImage img = canvas(w, h, scale);
    QPainter p;
    beginPainter(p, img, scale);
    QLinearGradient bg(0, 0, 0, h);
    bg.setColorAt(0, QColor(0x24, 0x20, 0x1a));
    bg.setColorAt(1, QColor(0x0a, 0x09, 0x08));
    p.fillRect(QRectF(0, 0, w, h), bg);
    QRadialGradient glow(QPointF(250, 70), 220);
    glow.setColorAt(0, QColor(0xe8, 0xb0, 0x40, 70));
    glow.setColorAt(1, QColor(0xe8, 0xb0, 0x40, 0));
    p.fillRect(QRectF(0, 0, w, h), glow);

    paintDisc(p, QPointF(92, 100), 58);

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(54);
    title.setBold(true);
    QPainterPath word;
    word.addText(QPointF(168, 118), title, QStringLiteral("Kolvo"));
    QLinearGradient gold(0, 70, 0, 120);
    gold.setColorAt(0, kGoldLight);
    gold.setColorAt(0.55, kGold);
    gold.setColorAt(1, kGoldDark);
    p.setPen(QPen(QColor(0x1a, 0x10, 0x02), 1.5));
    p.setBrush(gold);
    p.drawPath(word);

    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(13);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    p.setFont(sub);
    p.setPen(QColor(0xd8, 0xc4, 0x98));
    p.drawText(QRectF(168, 128, 220, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("CD \u00b7 Audio \u00b7 MIDI \u00b7 Video"));

    // A row of level bars in the LED amber of the displays.
    p.setPen(Qt::NoPen);
    const int levels[] = {3, 5, 7, 6, 8, 9, 7, 5, 6, 4, 3, 5, 4, 2, 3, 2};
    for (int i = 0; i < 16; ++i) {
        for (int k = 0; k < 9; ++k) {
            const bool lit = k < levels[i];
            QColor c = k >= 7 ? led::kRed : led::kLit;
            if (!lit)
                c = led::kGhost;
            p.setBrush(c);
            p.drawRect(QRectF(170 + i * 13, 194 - k * 4, 11, 3));
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xb0, 0x84, 0x30, 160), 1.0));
    p.drawRoundedRect(QRectF(4.5, 4.5, w - 9, h - 9), 6, 6);
    p.end();
    return opaque(img);
}

QImage renderTrayIcons(int scale)
{
    QImage img = canvas(16 * 24, 16, scale);
    QPainter p;
    beginPainter(p, img, scale);
    const QColor idle(0xd4, 0xd8, 0xde);
    const QColor dimLit(0xb0, 0x80, 0x30);
    for (int player = 0; player < 4; ++player) {
        for (int k = 0; k < 6; ++k) {
            p.save();
            p.translate((player * 6 + k) * 16, 0);
            QColor fill = idle;
            if (k == 1 || k == 2)
                fill = dimLit; // opening, waiting for a disc
            else if (k == 3 || k == 4)
                fill = led::kLit;
            else if (k == 5)
                fill = led::kLitCore;
            paintPlayer(p, player, fill, scale);
            if (k == 3) {
                // Paused: two bars in the corner.
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(0x10, 0x10, 0x12));
                p.drawRect(QRectF(9, 9, 7, 7));
                p.setBrush(Qt::white);
                p.drawRect(QRectF(10.5, 10, 1.5, 5));
                p.drawRect(QRectF(13, 10, 1.5, 5));
            } else if (k == 4 || k == 5) {
                // Playing: a play mark whose glow pulses between the two images.
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(0x10, 0x10, 0x12));
                p.drawRect(QRectF(9, 9, 7, 7));
                p.setBrush(k == 4 ? led::kGreen : QColor(0xc8, 0xff, 0xb8));
                p.drawPolygon(QPolygonF({QPointF(10.5, 10), QPointF(15, 12.5), QPointF(10.5, 15)}));
            }
            p.restore();
        }
    }
    p.end();
    return img;
}

QImage renderEmblem(int resourceId, int scale)
{
    namespace r = skin::res;
    if (resourceId == r::kCdLogo) {
        const int w = 118, h = 24;
        QImage img = canvas(w, h, scale);
        QPainter p;
        beginPainter(p, img, scale);
        // An engraved disc and the words beside it.
        QPainterPath disc;
        disc.addEllipse(QPointF(12, 12), 9.5, 9.5);
        disc.addEllipse(QPointF(12, 12), 2.5, 2.5);
        disc.setFillRule(Qt::OddEvenFill);
        QPainterPathStroker s;
        s.setWidth(1.4);
        const QPainterPath rim = s.createStroke(disc);
        paintShape(p, rim, Ink::Dark, scale);
        QPainterPath groove;
        groove.addEllipse(QPointF(12, 12), 6, 6);
        s.setWidth(0.8);
        paintShape(p, s.createStroke(groove), Ink::Disabled, scale);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(12);
        f.setBold(true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
        engravedText(p, QRectF(26, 0, w - 26, h - 1), QStringLiteral("CD PLAYER"), f,
                     Qt::AlignLeft | Qt::AlignVCenter);
        p.end();
        return keyed(img, QColor(0xa8, 0xa0, 0x90));
    }
    if (resourceId == r::kCdBadge || resourceId == r::kEffectorBadge) {
        const int w = 32, h = 32;
        QImage img = canvas(w, h, scale);
        QPainter p;
        beginPainter(p, img, scale);
        if (resourceId == r::kCdBadge) {
            QPainterPath disc;
            disc.addEllipse(QPointF(16, 16), 14, 14);
            disc.addEllipse(QPointF(16, 16), 3.5, 3.5);
            disc.setFillRule(Qt::OddEvenFill);
            p.setPen(Qt::NoPen);
            QRadialGradient g(QPointF(16, 16), 14);
            g.setColorAt(0.2, QColor(255, 255, 255, 90));
            g.setColorAt(0.7, QColor(0, 0, 0, 40));
            g.setColorAt(1, QColor(0, 0, 0, 70));
            p.setBrush(g);
            p.drawPath(disc);
            QPainterPathStroker s;
            s.setWidth(1.2);
            paintShape(p, s.createStroke(disc), Ink::Dark, scale);
        } else {
            // A dial with its scale, as on the front of an effects unit.
            for (int i = 0; i <= 10; ++i) {
                const double a = (225 - i * 27) * M_PI / 180;
                const QPointF c(16, 17);
                QPainterPath tick;
                tick.moveTo(c + QPointF(std::cos(a), -std::sin(a)) * 12.5);
                tick.lineTo(c + QPointF(std::cos(a), -std::sin(a)) * (i % 5 ? 14 : 15.5));
                QPainterPathStroker s;
                s.setWidth(i % 5 ? 1 : 1.5);
                paintShape(p, s.createStroke(tick), Ink::Dark, scale);
            }
            QPainterPath knob;
            knob.addEllipse(QPointF(16, 17), 9.5, 9.5);
            QRadialGradient g(QPointF(13, 13), 12);
            g.setColorAt(0, QColor(0x6a, 0x6e, 0x76));
            g.setColorAt(1, QColor(0x16, 0x18, 0x1c));
            p.setPen(QPen(QColor(0, 0, 0, 200), 1.0));
            p.setBrush(g);
            p.drawPath(knob);
            p.setPen(QPen(led::kLit, 2.0, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(16, 17), QPointF(21.5, 11.5));
        }
        p.end();
        return keyed(img, QColor(0xa8, 0xa0, 0x90));
    }
    return {};
}

namespace {

// The program's icon as a few filled shapes on a 32 x 32 grid, so that the window icons, the
// desktop's PNG icons and its SVG icon are one drawing.
struct IconShape
{
    QRectF rect;
    double radius;              // corner radius; 0 for a plain rectangle
    QColor top, middle, bottom; // a vertical gradient (all three equal for a flat fill)
    bool outlined;              // a one-pixel dark outline
};

std::vector<IconShape> appIconShapes()
{
    std::vector<IconShape> shapes{{QRectF(1.5, 1.5, 29, 29), 6, kGoldLight, kGold, kGoldDark, true},
                                  {QRectF(5, 5, 22, 22), 3, QColor(0x12, 0x10, 0x0c),
                                   QColor(0x12, 0x10, 0x0c), QColor(0x12, 0x10, 0x0c), true}};
    const double heights[] = {6, 11, 16, 9, 13};
    for (int i = 0; i < 5; ++i) {
        const QColor middle = QColor::fromRgbF((led::kLitCore.redF() + led::kLit.redF()) / 2,
                                               (led::kLitCore.greenF() + led::kLit.greenF()) / 2,
                                               (led::kLitCore.blueF() + led::kLit.blueF()) / 2);
        shapes.push_back({QRectF(7.5 + i * 3.6, 24 - heights[i], 2.6, heights[i]), 0, led::kLitCore,
                          middle, led::kLit, false});
    }
    return shapes;
}

const QColor kIconOutline(0x2a, 0x1a, 0x04);

} // namespace

QImage renderAppIcon(int size, bool remote)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const double px = 32.0 / size;
    if (remote) {
        QLinearGradient bezel(0, 0, 0, 32);
        bezel.setColorAt(0, kGoldLight);
        bezel.setColorAt(0.5, kGold);
        bezel.setColorAt(1, kGoldDark);
        p.setPen(QPen(kIconOutline, px));
        p.setBrush(bezel);
        p.drawRoundedRect(QRectF(8.5, 1.5, 15, 29), 4, 4);
        p.setBrush(QColor(0x12, 0x10, 0x0c));
        p.drawRoundedRect(QRectF(11, 5, 10, 7), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(led::kLit);
        p.drawRect(QRectF(12.5, 8, 2, 2.5));
        p.drawRect(QRectF(15, 6.5, 2, 4));
        p.drawRect(QRectF(17.5, 7.5, 2, 3));
        p.setBrush(kIconOutline);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 2; ++c)
                p.drawEllipse(QPointF(13 + c * 6, 17 + r * 4.5), 1.7, 1.7);
    } else {
        bool first = true;
        for (const IconShape& s : appIconShapes()) {
            // The bezel's gradient runs over the whole icon, a bar's over the bar.
            QLinearGradient g(0, first ? 0 : s.rect.top(), 0, first ? 32 : s.rect.bottom());
            first = false;
            g.setColorAt(0, s.top);
            g.setColorAt(0.5, s.middle);
            g.setColorAt(1, s.bottom);
            p.setPen(s.outlined ? QPen(kIconOutline, px) : QPen(Qt::NoPen));
            p.setBrush(g);
            if (s.radius > 0)
                p.drawRoundedRect(s.rect, s.radius, s.radius);
            else
                p.drawRect(s.rect);
        }
    }
    p.end();
    return img;
}

QByteArray appIconSvg()
{
    auto hex = [](const QColor& c) { return c.name(QColor::HexRgb).toLatin1(); };
    auto num = [](double v) { return QByteArray::number(v, 'g', 6); };
    QByteArray defs, body;
    int n = 0;
    bool first = true;
    for (const IconShape& s : appIconShapes()) {
        const QByteArray id = "g" + QByteArray::number(n++);
        const double y1 = first ? 0 : s.rect.top(), y2 = first ? 32 : s.rect.bottom();
        first = false;
        defs += "    <linearGradient id=\"" + id +
                "\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"" + num(y1) +
                "\" x2=\"0\" y2=\"" + num(y2) + "\">\n" + "      <stop offset=\"0\" stop-color=\"" +
                hex(s.top) + "\"/>\n" + "      <stop offset=\"0.5\" stop-color=\"" + hex(s.middle) +
                "\"/>\n" + "      <stop offset=\"1\" stop-color=\"" + hex(s.bottom) + "\"/>\n" +
                "    </linearGradient>\n";
        body += "  <rect x=\"" + num(s.rect.x()) + "\" y=\"" + num(s.rect.y()) + "\" width=\"" +
                num(s.rect.width()) + "\" height=\"" + num(s.rect.height()) + "\"";
        if (s.radius > 0)
            body += " rx=\"" + num(s.radius) + "\"";
        body += " fill=\"url(#" + id + ")\"";
        if (s.outlined)
            body += " stroke=\"" + hex(kIconOutline) +
                    "\" stroke-width=\"1\" vector-effect=\"non-scaling-stroke\"";
        body += "/>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!-- Kolvo's icon, written by kolvo-art from the drawing of its window icon. -->\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
           "viewBox=\"0 0 32 32\">\n  <defs>\n" +
           defs + "  </defs>\n" + body + "</svg>\n";
}

} // namespace art
