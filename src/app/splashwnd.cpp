#include "app/splashwnd.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QRadialGradient>
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
    const QSize size(400, 200);
    QImage img(size, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, size.height());
    bg.setColorAt(0, QColor(0x2a, 0x24, 0x18));
    bg.setColorAt(1, QColor(0x0c, 0x0a, 0x06));
    p.fillRect(img.rect(), bg);
    // A glow behind the name, in the gold of the default look.
    QRadialGradient glow(QPointF(200, 92), 170);
    glow.setColorAt(0, QColor(0xe8, 0xb8, 0x48, 90));
    glow.setColorAt(1, QColor(0xe8, 0xb8, 0x48, 0));
    p.fillRect(img.rect(), glow);
    // Five level bars, the program's sign.
    const int heights[] = {22, 40, 58, 34, 16};
    for (int i = 0; i < 5; ++i) {
        QLinearGradient bar(0, 120 - heights[i], 0, 120);
        bar.setColorAt(0, QColor(0xff, 0xd8, 0x70));
        bar.setColorAt(1, QColor(0xa0, 0x70, 0x20));
        p.fillRect(QRectF(40 + i * 14, 120 - heights[i], 10, heights[i]), bar);
    }
    QFont title(QStringLiteral("DejaVu Sans"), 40, QFont::Bold);
    p.setFont(title);
    p.setPen(QColor(0xf4, 0xd0, 0x80));
    p.drawText(QRect(120, 50, 260, 80), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kolvo"));
    QFont sub(QStringLiteral("DejaVu Sans"), 10);
    p.setFont(sub);
    p.setPen(QColor(0xc8, 0xb8, 0x98));
    p.drawText(QRect(0, 140, size.width(), 24), Qt::AlignHCenter,
               QStringLiteral("CD \u00b7 Audio \u00b7 MIDI \u00b7 Video"));
    p.setPen(QColor(0x60, 0x50, 0x30));
    p.drawRect(img.rect().adjusted(0, 0, -1, -1));
    return img;
}
