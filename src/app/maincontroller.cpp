#include "app/maincontroller.h"

#include "app/commandline.h"
#include "app/playerapp.h"
#include "app/splashwnd.h"
#include "app/trace.h"
#include "platform/placement.h"
#include "platform/profile.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <cstdlib>
#include <ctime>

namespace {

constexpr int kDefaultHeight = 100;

QIcon programIcon()
{
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x20, 0x1a, 0x10));
    p.setPen(QColor(0xc0, 0x90, 0x30));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    const int heights[] = {8, 16, 22, 12};
    for (int i = 0; i < 4; ++i)
        p.fillRect(QRectF(6 + i * 5.5, 26 - heights[i], 4, heights[i]), QColor(0xf0, 0xc8, 0x60));
    return QIcon(QPixmap::fromImage(img));
}

} // namespace

MainController::MainController(PlayerApp& app)
    : Wnd(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_app(app)
{
    setWindowTitle(QString::fromStdString(app.title));
    setWindowIcon(programIcon());
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);

    setGeometry(
        initialRect(ReadWindowRect(Profile(), "MainController", kPosXYX2Y2), DesktopWorkArea()));

    if (app.splashFlag)
        new SplashWnd(this);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    setTimer(kMainTimerId, kMainTimerPeriod);
    layOut();

    const AppSettings& s = app.settings;
    if (s.mainVisible)
        show();
    else if (s.mainTrayOnly == 0)
        showMinimized();
    // Otherwise the window starts hidden and only the tray icon stands for it.
}

MainController::~MainController() = default;

QRect MainController::initialRect(const QRect& saved, const QRect& area)
{
    const int left = (area.right() + 1 - area.left() - kMainWidth) / 2;
    return FitToWorkArea(saved, area, QRect(left, 0, kMainWidth, kDefaultHeight));
}

void MainController::layOut()
{
    // No component panel exists yet: the strip alone.
    setFixedSize(kMainWidth, kStripHeight);
}

LRESULT MainController::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COPYDATA:
        return onCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_TIMER:
        return 0;
    case WM_ENDSESSION:
        m_app.SaveSettings();
        return 0;
    default:
        return Wnd::onMessage(msg, wParam, lParam);
    }
}

LRESULT MainController::onCopyData(const COPYDATASTRUCT* cds)
{
    if (!cds || cds->dwData != kHandoverDataId)
        return 0;
    HandoverRecord record;
    if (!ParseHandoverRecord(static_cast<const std::uint8_t*>(cds->lpData), cds->cbData, record))
        return 0;
    m_app.cmdInfo.startCommands = record.startCommands;
    m_app.cmdInfo.fileName = record.fileName;
    m_app.cmdInfo.startMode = record.startMode;
    trace("handover mode=%d file=%s commands=%08x", record.startMode, record.fileName.c_str(),
          record.startCommands[0]);
    bringToFront();
    return 0;
}

void MainController::bringToFront()
{
    if (!isVisible())
        return;
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void MainController::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect strip(0, 0, width(), kStripHeight);
    // The strip's own art comes with the skin; until it is drawn this is its plain face.
    QLinearGradient g(0, 0, 0, kStripHeight);
    g.setColorAt(0, QColor(0x3a, 0x32, 0x22));
    g.setColorAt(1, QColor(0x14, 0x10, 0x0a));
    p.fillRect(strip, g);
    p.setPen(QColor(0xf0, 0xc8, 0x60));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 14, QFont::Bold));
    p.drawText(strip.adjusted(12, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Kolvo"));
    p.setPen(Qt::black);
    p.drawRect(strip.adjusted(0, 0, -1, -1));
    const QRect inner = strip.adjusted(1, 1, -2, -2);
    p.setPen(QColor(0xC0, 0xC0, 0xC0));
    p.drawLine(inner.topLeft(), inner.topRight());
    p.drawLine(inner.topLeft(), inner.bottomLeft());
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawLine(inner.bottomLeft(), inner.bottomRight());
    p.drawLine(inner.topRight(), inner.bottomRight());
}

void MainController::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && windowHandle())
        windowHandle()->startSystemMove();
    Wnd::mousePressEvent(e);
}

void MainController::showEvent(QShowEvent* e)
{
    Wnd::showEvent(e);
    if (!m_shownOnce) {
        m_shownOnce = true;
        trace("shown");
        if (qEnvironmentVariableIsSet("KOLVO_EXIT_WHEN_SHOWN"))
            QMetaObject::invokeMethod(
                this, [this] { destroyWindow(); }, Qt::QueuedConnection);
    }
}

void MainController::closeEvent(QCloseEvent* e)
{
    e->accept();
    destroyWindow();
}

void MainController::destroyWindow()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    clearTimer(kMainTimerId);
    SplashWnd::remove();
    saveRect();
    hide();
    QCoreApplication::quit();
}

void MainController::saveRect()
{
    Profile profile;
    WriteWindowRect(profile, "MainController", geometry(), kPosXYX2Y2);
    profile.sync();
}
