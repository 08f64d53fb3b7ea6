#include "ui/skinpanel.h"

#include "ui/skin.h"

#include <QPainter>

SkinPanel::SkinPanel(int backgroundSlot, bool framed, QWidget* parent, Qt::WindowFlags flags)
    : Wnd(parent, flags)
    , m_background(backgroundSlot)
    , m_framed(framed)
{
    const auto& info = skin::kSlots[std::clamp(backgroundSlot, 0, skin::kSlotCount - 1)];
    resize(info.width, info.height);
}

const std::vector<SkinButton*>& SkinPanel::createButtons(const ButtonDescriptor* table,
                                                         const SkinButton::OwnerDraw& ownerDraw)
{
    for (SkinButton* b : createSkinButtons(table, this, ownerDraw))
        m_buttons.push_back(b);
    return m_buttons;
}

void SkinPanel::deleteButtons()
{
    for (SkinButton* b : m_buttons)
        delete b;
    m_buttons.clear();
}

SkinButton* SkinPanel::button(int commandId) const
{
    for (SkinButton* b : m_buttons) {
        if (b->commandId() == commandId)
            return b;
    }
    return nullptr;
}

void SkinPanel::paintFrame(QPainter& p, const QRect& r)
{
    p.fillRect(r.left(), r.top(), r.width(), 1, Qt::black);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, Qt::black);
    p.fillRect(r.left(), r.top(), 1, r.height(), Qt::black);
    p.fillRect(r.right(), r.top(), 1, r.height(), Qt::black);
    const QRect in = r.adjusted(1, 1, -1, -1);
    const QColor light(0xC0, 0xC0, 0xC0), dark(0x40, 0x40, 0x40);
    p.fillRect(in.left(), in.top(), in.width(), 1, light);
    p.fillRect(in.left(), in.top(), 1, in.height(), light);
    p.fillRect(in.left(), in.bottom(), in.width(), 1, dark);
    p.fillRect(in.right(), in.top(), 1, in.height(), dark);
}

void SkinPanel::paintBackground(QPainter& p) const
{
    Skin::instance().Slot(m_background).Draw(p, 0, 0);
    if (m_framed)
        paintFrame(p, rect());
}

void SkinPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintBackground(p);
}
