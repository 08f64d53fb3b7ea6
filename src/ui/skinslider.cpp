#include "ui/skinslider.h"

#include "ui/skin.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace slider {

const KindInfo& info(Kind kind)
{
    static const KindInfo volume{
        0, 32, skin::kVolumeTrack, skin::kVolumeThumb, skin::kVolumeThumbDisabled, WM_VSCROLL};
    static const KindInfo small{
        0, 16, skin::kSmallTrack, skin::kSmallThumb, skin::kSmallThumbDisabled, WM_VSCROLL};
    static const KindInfo balance{
        -8, 8, skin::kBalanceTrack, skin::kBalanceThumb, skin::kBalanceThumbDisabled, WM_HSCROLL};
    switch (kind) {
    case Kind::Volume:
        return volume;
    case Kind::SmallVertical:
        return small;
    case Kind::Balance:
        break;
    }
    return balance;
}

int clamp(Kind kind, int position)
{
    const KindInfo& s = info(kind);
    return std::clamp(position, s.minimum, s.maximum);
}

QRect thumbRect(Kind kind, int p)
{
    switch (kind) {
    case Kind::Volume:
        return QRect(5, 33 - p, 18, 24);
    case Kind::SmallVertical:
        return QRect(3, 18 - p, 12, 16);
    case Kind::Balance:
        break;
    }
    return QRect(p + 9, 3, 16, 8);
}

int stepFromClick(Kind kind, int p, QPoint click)
{
    const QRect t = thumbRect(kind, p);
    switch (kind) {
    case Kind::Volume:
        return click.y() < t.top() ? p + 8 : (click.y() > t.bottom() ? p - 8 : p);
    case Kind::SmallVertical:
        return click.y() < t.top() ? p + 4 : (click.y() > t.bottom() ? p - 4 : p);
    case Kind::Balance:
        break;
    }
    return click.x() < t.left() ? p - 4 : (click.x() > t.right() ? p + 4 : p);
}

int dragOffset(Kind kind, QPoint click, const QRect& thumb)
{
    switch (kind) {
    case Kind::Volume:
        return click.y() - thumb.top() - 12;
    case Kind::SmallVertical:
        return click.y() - thumb.top() - 8;
    case Kind::Balance:
        break;
    }
    return thumb.left() - click.x() + 8;
}

int dragPosition(Kind kind, int offset, QPoint mouse)
{
    switch (kind) {
    case Kind::Volume:
        return offset + (45 - mouse.y());
    case Kind::SmallVertical:
        return offset + (25 - mouse.y());
    case Kind::Balance:
        break;
    }
    return mouse.x() + offset - 17;
}

WPARAM scrollParam(int position, int code)
{
    return (static_cast<WPARAM>(static_cast<std::uint16_t>(position)) << 16) |
           static_cast<std::uint16_t>(code);
}

} // namespace slider

// ---- SkinSlider ----

SkinSlider::SkinSlider(slider::Kind kind, const QRect& rect, Wnd* parent, int id)
    : Wnd(parent)
    , m_kind(kind)
    , m_id(id)
{
    setGeometry(rect);
    setCursor(Qt::ArrowCursor);
    show();
}

void SkinSlider::SetPos(int position)
{
    const int p = slider::clamp(m_kind, position);
    if (p == m_pos)
        return;
    const QRect old = slider::thumbRect(m_kind, m_pos);
    m_pos = p;
    repaint(old.united(slider::thumbRect(m_kind, m_pos)));
}

void SkinSlider::paintSlider(QPainter& p, slider::Kind kind, int position, bool enabled)
{
    const Skin& skin = Skin::instance();
    const slider::KindInfo& s = slider::info(kind);
    skin.Slot(s.track).DrawTransparent(p, 0, 0);
    const QRect t = slider::thumbRect(kind, slider::clamp(kind, position));
    skin.Slot(enabled ? s.thumb : s.thumbDisabled).DrawTransparent(p, t.left(), t.top());
}

void SkinSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintSlider(p, m_kind, m_pos, isEnabled());
}

void SkinSlider::notify(int code)
{
    if (auto* parent = qobject_cast<Wnd*>(parentWidget()))
        parent->postMessage(slider::info(m_kind).message, slider::scrollParam(m_pos, code),
                            static_cast<LPARAM>(handle()));
}

void SkinSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    const QRect thumb = slider::thumbRect(m_kind, m_pos);
    if (thumb.contains(at)) {
        m_dragging = true;
        m_offset = slider::dragOffset(m_kind, at, thumb);
        return;
    }
    // Beside the thumb along its own span (steps are never 0) does nothing.
    const int next = slider::stepFromClick(m_kind, m_pos, at);
    if (next == m_pos)
        return;
    SetPos(next);
    notify(m_kind == slider::Kind::SmallVertical ? SB_THUMBPOSITION : SB_THUMBTRACK);
}

void SkinSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    SetPos(slider::dragPosition(m_kind, m_offset, event->position().toPoint()));
    notify(SB_THUMBTRACK);
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return;
    SetPos(slider::dragPosition(m_kind, m_offset, event->position().toPoint()));
    m_dragging = false;
    notify(SB_THUMBPOSITION);
}

// ---- PositionSlider ----

PositionSlider::PositionSlider(const QRect& rect, Wnd* parent, int id)
    : Wnd(parent)
    , m_id(id)
{
    setGeometry(rect);
    setCursor(Qt::ArrowCursor);
    setMouseTracking(true);
    show();
}

int PositionSlider::valueAt(int q, int w, int maximum)
{
    if (maximum <= 0 || w <= 0)
        return 0;
    const long long v = static_cast<long long>(q) * maximum / w;
    return static_cast<int>(std::clamp<long long>(v, 0, maximum));
}

int PositionSlider::pixelOf(int value, int w, int maximum)
{
    if (maximum <= 0 || w <= 0)
        return 0;
    return static_cast<int>(static_cast<long long>(w) * value / maximum);
}

QRect PositionSlider::thumbRect() const
{
    return QRect(m_q - 4, 0, 12, 4);
}

void PositionSlider::SetRange(int maximum)
{
    m_max = std::max(0, maximum);
    m_value = 0;
    m_q = 0;
    update();
}

void PositionSlider::SetPos(int value)
{
    const int v = std::clamp(value, 0, m_max);
    const int q = pixelOf(v, trackWidth(), m_max);
    m_value = v;
    if (q == m_q)
        return;
    // Everything left of the thumb changes colour too, so the whole line is repainted.
    m_q = q;
    repaint();
}

void PositionSlider::Enable(bool enabled)
{
    m_enabled = enabled;
    if (!enabled) {
        m_value = 0;
        m_q = 0;
        m_dragging = false;
        m_hot = false;
    }
    update();
}

void PositionSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int y = height() / 2;
    const int played = std::clamp(m_q + 2, 0, width());
    p.fillRect(0, y, played, 1, QColor(Qt::black));
    p.fillRect(played, y, width() - played, 1, QColor(0x808080));
    if (!m_enabled)
        return;
    const int image = m_dragging ? kPressed : (m_hot ? kHot : kNormal);
    Skin::instance().PositionThumbs().Draw(p, image, m_q, 0);
}

void PositionSlider::notify(int code)
{
    if (auto* parent = qobject_cast<Wnd*>(parentWidget()))
        parent->postMessage(WM_HSCROLL, slider::scrollParam(m_value, code),
                            static_cast<LPARAM>(handle()));
}

void PositionSlider::moveTo(int q)
{
    const int w = trackWidth();
    // Without a length there is nowhere to go: the thumb stays at the start with the value.
    m_q = m_max > 0 ? std::clamp(q, 0, std::max(0, w)) : 0;
    m_value = valueAt(m_q, w, m_max);
    repaint();
}

void PositionSlider::mousePressEvent(QMouseEvent* event)
{
    if (!m_enabled || event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    const QRect thumb = thumbRect();
    if (thumb.left() <= at.x() && at.x() <= thumb.right()) {
        m_dragging = true;
        m_offset = thumb.left() - at.x() + 6;
        repaint();
        return;
    }
    // A jump: the thumb goes where the mouse is, and both notifications follow at once.
    moveTo(at.x() - 3);
    notify(SB_THUMBTRACK);
    notify(SB_THUMBPOSITION);
}

void PositionSlider::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (!m_enabled)
        return;
    if (m_dragging) {
        moveTo(at.x() + m_offset - 3);
        notify(SB_THUMBTRACK);
        return;
    }
    const QRect thumb = thumbRect();
    const bool hot = thumb.left() <= at.x() && at.x() <= thumb.right();
    if (hot != m_hot) {
        m_hot = hot;
        update();
    }
}

void PositionSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    moveTo(event->position().toPoint().x() + m_offset - 3);
    m_dragging = false;
    repaint();
    notify(SB_THUMBPOSITION);
}

void PositionSlider::leaveEvent(QEvent*)
{
    if (m_hot) {
        m_hot = false;
        update();
    }
}
