#include "app/splashwnd.h"

#include "ui/skin.h"
#include "ui/skinslots.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>

namespace {

constexpr UINT kSplashTimerId = 1;
constexpr int kSplashMilliseconds = 3000;

QPointer<SplashWnd> g_splash;

} // namespace

SplashWnd::SplashWnd(QWidget* mainWindow)
    : Wnd(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_mainWindow(mainWindow)
    , m_image(splashImage())
{
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
    setFixedSize(m_image.size());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    g_splash = this;
    setTimer(kSplashTimerId, kSplashMilliseconds);
    show();
}

bool SplashWnd::isShown()
{
    return !g_splash.isNull();
}

void SplashWnd::remove()
{
    if (!g_splash)
        return;
    QWidget* main = g_splash->m_mainWindow;
    g_splash->close();
    g_splash = nullptr;
    if (main)
        main->update();
}

void SplashWnd::checkEvent(QEvent* e)
{
    if (!g_splash)
        return;
    switch (e->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
        remove();
        break;
    default:
        break;
    }
}

LRESULT SplashWnd::onMessage(UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_TIMER && wParam == kSplashTimerId)
        remove();
    return 0;
}

void SplashWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, m_image);
}

QImage SplashWnd::splashImage()
{
    return Skin::instance().Builtin(skin::res::kSplash).image();
}
