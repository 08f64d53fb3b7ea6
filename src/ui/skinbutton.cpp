#include "ui/skinbutton.h"

#include "platform/strings.h"
#include "ui/skin.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

void frame3d(QPainter& p, const QRect& r, QColor topLeft, QColor bottomRight)
{
    p.fillRect(r.left(), r.top(), r.width(), 1, topLeft);
    p.fillRect(r.left(), r.top(), 1, r.height(), topLeft);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, bottomRight);
    p.fillRect(r.right(), r.top(), 1, r.height(), bottomRight);
}

} // namespace

SkinButton::SkinButton(const ButtonDescriptor& descriptor, Wnd* parent, OwnerDraw ownerDraw)
    : Wnd(parent)
    , m_desc(descriptor)
    , m_ownerDraw(std::move(ownerDraw))
{
    setGeometry(descriptor.x, descriptor.y, descriptor.width, descriptor.height);
    setCursor(Qt::ArrowCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
    setToolTip(LoadQString(static_cast<UINT>(descriptor.commandId)));
    show();
}

void SkinButton::SetChecked(bool checked)
{
    if (!(m_desc.flags & kButtonToggle) || checked == m_checked)
        return;
    m_checked = checked;
    update();
}

void SkinButton::paintButton(QPainter& p, const ButtonDescriptor& d, int state, bool checked,
                             bool disabled)
{
    const Skin& skin = Skin::instance();
    const QRect client(0, 0, d.width, d.height);
    const SkinBitmap* up = d.upFace >= 0 ? &skin.Slot(d.upFace) : nullptr;
    const SkinBitmap* down = d.downFace >= 0 ? &skin.Slot(d.downFace) : nullptr;
    if (up && down && up->isLoaded() && down->isLoaded()) {
        (state == kPressed ? down : up)->DrawTransparent(p, 0, 0);
    } else {
        skin.Slot(d.background).Draw(p, 0, 0, d.x, d.y);
        if (state == kRaised)
            frame3d(p, client, QColor(0xFFFFFF), QColor(0x808080));
        else if (state == kPressed)
            frame3d(p, client, QColor(0x808080), QColor(0xFFFFFF));
    }

    int glyph = d.glyph;
    if (disabled && d.disabledGlyph)
        glyph = d.disabledGlyph;
    else if (!disabled && checked && d.checkedGlyph)
        glyph = d.checkedGlyph;
    if (glyph == 0)
        return;
    const ImageList& list = skin.GlyphList(d.width >= 30);
    const QSize g = list.cellSize();
    const int shift = state == kPressed ? 1 : 0;
    list.Draw(p, glyph, (d.width - g.width()) / 2 + shift, (d.height - g.height()) / 2 + shift);
}

void SkinButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const bool disabled = !isEnabled();
    if (m_ownerDraw && m_ownerDraw(p, m_state, m_checked, disabled, m_hover, m_desc))
        return;
    paintButton(p, m_desc, m_state, m_checked, disabled);
}

void SkinButton::setDrawState(int state, bool hover)
{
    m_hover = hover;
    if (state == m_state)
        return;
    m_state = state;
    update();
}

void SkinButton::notifyParent()
{
    if (auto* parent = qobject_cast<Wnd*>(parentWidget()))
        parent->postMessage(WM_COMMAND, static_cast<WPARAM>(m_desc.commandId),
                            static_cast<LPARAM>(handle()));
}

void SkinButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_mouseDown = true;
    m_tracking = 1;
    setDrawState(kPressed);
    setTimer(kRepeatTimerId, kRepeatMilliseconds);
}

void SkinButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A quick second click is a click like any other.
    mousePressEvent(event);
}

void SkinButton::mouseMoveEvent(QMouseEvent* event)
{
    const bool inside = rect().contains(event->position().toPoint());
    if (inside) {
        if (!m_mouseDown) {
            if (m_tracking == 0 || m_state != kRaised) {
                m_tracking = 1;
                setDrawState(kRaised, true);
            }
        } else if (m_tracking == 2) {
            m_tracking = 1;
            setDrawState(kPressed);
        }
        return;
    }
    if (m_mouseDown) {
        if (m_tracking == 1) {
            m_tracking = 2;
            setDrawState(kRaised);
        }
    } else if (m_tracking != 0) {
        m_tracking = 0;
        setDrawState(kFlat);
    }
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_mouseDown)
        return;
    clearTimer(kRepeatTimerId);
    m_mouseDown = false;
    if (rect().contains(event->position().toPoint())) {
        if (m_desc.flags & kButtonToggle)
            m_checked = !m_checked;
        else
            m_checked = false;
        m_tracking = 1;
        m_state = kRaised;
        m_hover = true;
        update(); // the checked glyph may have changed too
        notifyParent();
    } else {
        m_tracking = 0;
        setDrawState(kFlat);
    }
}

void SkinButton::leaveEvent(QEvent*)
{
    // Without a held button the mouse is not captured: leaving is the move outside.
    if (!m_mouseDown && m_tracking != 0) {
        m_tracking = 0;
        setDrawState(kFlat);
    }
}

void SkinButton::captureLost()
{
    if (m_tracking == 0 && !m_mouseDown)
        return;
    clearTimer(kRepeatTimerId);
    m_tracking = 0;
    m_mouseDown = false;
    setDrawState(kFlat);
}

bool SkinButton::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::UngrabMouse:
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
        captureLost();
        break;
    case QEvent::EnabledChange:
        if (!isEnabled())
            captureLost();
        update();
        break;
    default:
        break;
    }
    return Wnd::event(event);
}

LRESULT SkinButton::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER && wParam == kRepeatTimerId) {
        if (m_mouseDown && (m_desc.flags & kButtonAutoRepeat))
            notifyParent();
        return 0;
    }
    return Wnd::onMessage(msg, wParam, lParam);
}

std::vector<SkinButton*> createSkinButtons(const ButtonDescriptor* table, Wnd* parent,
                                           const SkinButton::OwnerDraw& ownerDraw)
{
    std::vector<SkinButton*> out;
    for (const ButtonDescriptor& d : buttons::entries(table))
        out.push_back(new SkinButton(d, parent, ownerDraw));
    return out;
}
