#include "players/component.h"

#include <QMouseEvent>
#include <QWindow>

ComponentWnd::ComponentWnd(int index, PlayerHost& host, QWidget* parent, int backgroundSlot,
                           int height)
    : SkinPanel(backgroundSlot, true, parent)
    , m_index(index)
    , m_host(host)
{
    setFixedSize(500, height);
    hide();
}

LRESULT ComponentWnd::sendToComponent(int index, UINT msg, LPARAM lParam)
{
    return Wnd::sendTo(m_host.controller(), msg, static_cast<WPARAM>(index), lParam);
}

void ComponentWnd::postToController(UINT msg, WPARAM wParam, LPARAM lParam)
{
    Wnd::postTo(m_host.controller(), msg, wParam, lParam);
}

void ComponentWnd::mousePressEvent(QMouseEvent* e)
{
    // The panels' background drags the whole strip.
    if (e->button() == Qt::LeftButton && window()->windowHandle())
        window()->windowHandle()->startSystemMove();
    SkinPanel::mousePressEvent(e);
}
