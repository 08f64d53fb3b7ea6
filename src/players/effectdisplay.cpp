#include "players/effectdisplay.h"

#include "platform/strings.h"
#include "platform/vocabulary.h"
#include "players/spectrumdisplay.h"
#include "ui/pixelfont.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <array>

namespace {

constexpr int kFxSpot = 4;
constexpr int kFirstPresetSpot = 10;

constexpr std::array<const char*, 4> kRoomLabels{"HALL", "ROOM", "STAGE", "STAD"};
constexpr std::array<const char*, EffectDisplay::kPresets> kPresetLabels{
    "ROCK", "POP", "JAZZ", "CLASS", "VOCAL", "FLAT", "USER"};

const QColor kLit(0xFF, 0xB0, 0x20);
const QColor kDim(0x5C, 0x40, 0x10);
const QColor kOff(0x38, 0x30, 0x28);

} // namespace

EffectDisplay::EffectDisplay(Wnd* panel, int spectrumMode)
    : Wnd(panel)
{
    setGeometry(panelRect());
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_spectrum = new SpectrumDisplay(0, spectrumRect(), this, kSpectrumId, spectrumMode);
    m_spectrum->show();
}

void EffectDisplay::SetState(const State& state)
{
    m_state = state;
    update();
}

int EffectDisplay::spotAt(QPoint point)
{
    for (int k = 0; k < 4; ++k)
        if (reverbSpot(k).contains(point))
            return k;
    if (fxSpot().contains(point))
        return kFxSpot;
    for (int k = 0; k < kPresets; ++k)
        if (presetSpot(k).contains(point))
            return kFirstPresetSpot + k;
    return -1;
}

void EffectDisplay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    auto* panel = qobject_cast<Wnd*>(parentWidget());
    const int spot = spotAt(event->position().toPoint());
    if (!panel || spot < 0)
        return;
    if (spot < kFxSpot)
        panel->postMessage(UM_REVERB_SPOT, static_cast<WPARAM>(spot), 0);
    else if (spot == kFxSpot)
        panel->postMessage(UM_FX_SPOT, 0, 0);
    else
        panel->postMessage(UM_EQUALIZER_SPOT, static_cast<WPARAM>(spot - kFirstPresetSpot), 0);
}

bool EffectDisplay::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int spot = spotAt(help->pos());
        UINT id = 0;
        if (spot >= 0 && spot < kFxSpot)
            id = 2123 + static_cast<UINT>(spot);
        else if (spot == kFxSpot)
            id = 2114;
        else if (spot >= kFirstPresetSpot)
            id = 2140 + static_cast<UINT>(spot - kFirstPresetSpot);
        if (id)
            QToolTip::showText(help->globalPos(), LoadQString(id), this);
        else
            QToolTip::hideText();
        return true;
    }
    return Wnd::event(event);
}

void EffectDisplay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, Qt::black);
    // Sunken: dark above and to the left, light below and to the right.
    p.fillRect(r.left(), r.top(), r.width(), 1, QColor(0x808080));
    p.fillRect(r.left(), r.top(), 1, r.height(), QColor(0x808080));
    p.fillRect(r.left(), r.bottom(), r.width(), 1, QColor(0xFFFFFF));
    p.fillRect(r.right(), r.top(), 1, r.height(), QColor(0xFFFFFF));

    const State& s = m_state;
    const auto label = [&](const QRect& spot, const char* text, bool lit) {
        const QColor c = !s.switchedOn ? kOff : lit ? kLit : kDim;
        const int w = pixelfont::textWidth(text, pixelfont::Face::Small);
        const int h = pixelfont::glyphHeight(pixelfont::Face::Small);
        pixelfont::draw(p, spot.left() + (spot.width() - w + 1) / 2,
                        spot.top() + (spot.height() - h) / 2, text, c, pixelfont::Face::Small);
    };
    for (int k = 0; k < 4; ++k)
        label(reverbSpot(k), kRoomLabels[k], s.effects.reverb && s.effects.reverbMode == k);
    label(fxSpot(), "F/X", s.effects.fx != 0);
    for (int k = 0; k < kPresets; ++k)
        label(presetSpot(k), kPresetLabels[k], s.equalizerOn && s.preset == k);

    // The curve being heard, as a line through the bands' middles under the spectrum's bands:
    // 8 dB (the presets' largest step) reaches the edge of the strip, more is held there.
    const QRect area = curveArea();
    const int mid = area.top() + area.height() / 2;
    const int reach = area.height() / 2 - 1;
    const double bandWidth = area.width() / static_cast<double>(engines::kEqualizerBands);
    for (int x = area.left(); x <= area.right(); x += 2)
        p.fillRect(x, mid, 1, 1, kOff);
    QPolygon curve;
    for (int i = 0; i < engines::kEqualizerBands; ++i) {
        const int x = area.left() + static_cast<int>((i + 0.5) * bandWidth);
        const int dy = std::clamp(-s.curve[i] * reach / 8, -reach, reach);
        curve << QPoint(x, mid + dy);
    }
    p.setPen(s.switchedOn ? kLit : kOff);
    p.drawPolyline(curve);
}
