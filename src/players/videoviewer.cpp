#include "players/videoviewer.h"

#include "engines/engineapi.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "ui/buttons.h"
#include "ui/skin.h"
#include "ui/skinslots.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace {

constexpr const char* kSection = "DGVViewer";
constexpr UINT kTitleText = 39460; // "Kolvo Screen"
constexpr int kButtonRow = 38;     // the strip under the picture

// The viewer's own buttons: the designed commands' faces and tooltips, each sent on to the
// component as viewer input.
constexpr ButtonDescriptor viewerButton(int id, int x, int glyph)
{
    return {id,
            0,
            skin::kPanelBackground,
            glyph,
            0,
            0,
            x,
            0,
            18,
            18,
            skin::kFace18Up,
            skin::kFace18Down};
}
constexpr ButtonDescriptor kViewerButtons[] = {
    viewerButton(5104, 0, 12),  viewerButton(5103, 20, 13),
    viewerButton(5102, 40, 8),  viewerButton(5107, 60, 9),
    viewerButton(5108, 80, 10), {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, kNoFace, kNoFace},
};

LPARAM viewerInputOf(int commandId)
{
    switch (commandId) {
    case 5103:
        return -5;
    case 5107:
        return -4;
    case 5108:
        return -3;
    case 5102:
        return -2;
    default:
        return -1;
    }
}

} // namespace

// ---- the child ----

VideoViewerChild::VideoViewerChild(VideoViewer* viewer)
    : Wnd(viewer)
    , m_viewer(viewer)
{
    setObjectName(QStringLiteral("Kolvo DGV Viewer Child"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    engines::setVideoSurface(handle(), this);
}

VideoViewerChild::~VideoViewerChild()
{
    // After this no engine thread is inside present().
    engines::setVideoSurface(handle(), nullptr);
}

void VideoViewerChild::present(engines::FramePtr frame)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(frame);
        if (m_scheduled)
            return;
        m_scheduled = true;
    }
    // One queued call at a time: a painter that falls behind skips pictures, never queues them.
    // Posted with the lock let go: the woken painter would otherwise sleep again on it.
    QMetaObject::invokeMethod(
        this, [this] { takePending(); }, Qt::QueuedConnection);
}

void VideoViewerChild::takePending()
{
    {
        std::lock_guard lock(m_mutex);
        m_scheduled = false;
        if (!m_pending)
            return;
        m_frame = std::move(m_pending);
    }
    // Painted now, in this call: an update would post another event and come round again.
    repaint(m_movieRect.isEmpty() ? rect() : m_movieRect);
}

engines::FramePtr VideoViewerChild::frame() const
{
    std::lock_guard lock(m_mutex);
    return m_frame;
}

void VideoViewerChild::clear()
{
    {
        std::lock_guard lock(m_mutex);
        m_pending.reset();
        m_frame.reset();
    }
    update();
}

void VideoViewerChild::setMovieRect(const RECT& r)
{
    m_movieRect = QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
    update();
}

bool VideoViewerChild::showFullScreen(bool on)
{
    m_viewer->SetFullScreen(on);
    return true;
}

LRESULT VideoViewerChild::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (isEngineNotification(msg)) {
        m_viewer->OnNotification(msg, wParam, lParam);
        return 0;
    }
    return Wnd::onMessage(msg, wParam, lParam);
}

void VideoViewerChild::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect target = m_movieRect.isEmpty() ? rect() : m_movieRect;
    const engines::FramePtr shown = frame();
    if (!shown || !shown->isValid()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    // Outside the movie rectangle the child is black.
    const QRegion outside = QRegion(rect()).subtracted(target);
    for (const QRect& r : outside)
        p.fillRect(r, Qt::black);
    // The frame's own memory, painted as it is: no copy.
    const QImage image(shown->data(), shown->width(), shown->height(), shown->stride(),
                       QImage::Format_RGB32);
    // The picture is opaque: copied, not blended.
    p.setCompositionMode(QPainter::CompositionMode_Source);
    if (target.size() != image.size())
        p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, image);
    ++m_painted;
}

void VideoViewerChild::mousePressEvent(QMouseEvent* event)
{
    m_viewer->PictureClicked(event);
}

void VideoViewerChild::keyPressEvent(QKeyEvent* event)
{
    if (!m_viewer->HandleKey(event->key(), event->modifiers() & Qt::KeypadModifier))
        QWidget::keyPressEvent(event);
}

// ---- the viewer ----

VideoViewer::VideoViewer(HWND component)
    : SkinPanel(skin::kPanelBackground, true, nullptr,
                Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_component(component)
    , m_child(new VideoViewerChild(this))
{
    setObjectName(QStringLiteral("Kolvo Screen"));
    setWindowTitle(LoadQString(kTitleText));
    setWindowIcon(Skin::instance().WindowIcon(skin::res::kMainIcon));
    setFocusPolicy(Qt::StrongFocus);
    createButtons(kViewerButtons);
    const Profile profile;
    setGeometry(initialRect(ReadWindowRect(profile, kSection), DesktopWorkArea()));
    layOutChildren();
}

VideoViewer::~VideoViewer()
{
    deleteButtons();
}

QSize VideoViewer::windowSizeFor(QSize source, int sizeMode)
{
    const int scale = sizeMode == 2 ? 2 : 1;
    return QSize(source.width() * scale + kExtraWidth, source.height() * scale + kExtraHeight);
}

QRect VideoViewer::initialRect(const QRect& stored, const QRect& area)
{
    const QRect middle(area.left() + area.width() / 4, area.top() + area.height() / 4,
                       area.width() / 2, area.height() / 2);
    return FitToWorkArea(stored, area, middle);
}

void VideoViewer::layOutChildren()
{
    if (m_fullScreen) {
        m_child->setGeometry(rect());
    } else {
        m_child->setGeometry(kLeft, kTop, std::max(1, width() - kExtraWidth),
                             std::max(1, height() - kExtraHeight));
    }
    // The buttons sit in the strip under the picture, from its left edge.
    const int y = height() - kButtonRow + (kButtonRow - 18) / 2;
    int x = kLeft;
    for (SkinButton* b : buttons()) {
        b->move(x, y);
        b->setVisible(!m_fullScreen);
        x += 20;
    }
}

void VideoViewer::resizeEvent(QResizeEvent* event)
{
    SkinPanel::resizeEvent(event);
    layOutChildren();
}

void VideoViewer::FitPicture(QSize source)
{
    m_source = source;
    if (m_fullScreen || source.isEmpty() || (m_sizeMode != 1 && m_sizeMode != 2))
        return;
    resize(windowSizeFor(source, m_sizeMode));
}

void VideoViewer::SetFullScreen(bool on)
{
    if (on == m_fullScreen)
        return;
    if (on) {
        m_normalGeometry = geometry();
        m_fullScreen = true;
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        setGeometry(screen ? screen->geometry() : geometry());
        showFullScreen();
    } else {
        m_fullScreen = false;
        showNormal();
        setGeometry(m_normalGeometry);
    }
    layOutChildren();
    update();
}

void VideoViewer::Reset()
{
    m_child->clear();
    m_source = QSize();
}

void VideoViewer::SaveRect() const
{
    if (m_fullScreen)
        return;
    Profile profile;
    WriteWindowRect(profile, kSection, geometry());
}

void VideoViewer::OnNotification(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) != (m_cookie & 0xFFFF))
        return;
    Wnd::sendTo(m_component, msg, wParam, lParam);
}

void VideoViewer::SendInput(WPARAM kind, LPARAM value)
{
    Wnd::postTo(m_component, UM_VIEWER_INPUT, kind, value);
}

void VideoViewer::PictureClicked(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (!m_hotAreas.empty()) {
        const QRect picture =
            m_child->movieRect().isEmpty() ? m_child->rect() : m_child->movieRect();
        const QPoint at = event->position().toPoint() - picture.topLeft();
        if (picture.width() > 0 && picture.height() > 0) {
            const int x = at.x() * 256 / picture.width();
            const int y = at.y() * 256 / picture.height();
            for (const VcdHotArea& a : m_hotAreas) {
                if (x >= a.x1 && x <= a.x2 && y >= a.y1 && y <= a.y2) {
                    SendInput(1, a.command);
                    return;
                }
            }
        }
    }
    if (m_fullScreen) {
        // Event 3 with bit 1: the picture was clicked in full screen.
        Wnd::postTo(m_component, kNotifyDirectShow, engineNotifyWParam(m_cookie, 3), 2);
        return;
    }
    if (QWindow* w = windowHandle())
        w->startSystemMove();
}

LRESULT VideoViewer::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND) {
        SendInput(1, viewerInputOf(LOWORD(wParam)));
        return 0;
    }
    return SkinPanel::onMessage(msg, wParam, lParam);
}

void VideoViewer::paintEvent(QPaintEvent* event)
{
    SkinPanel::paintEvent(event);
    if (m_fullScreen)
        return;
    QPainter p(this);
    // The skin's panel picture under the whole frame, the frame, the title and a sunken edge
    // round the picture.
    const SkinBitmap& bg = Skin::instance().Slot(skin::kPanelBackground);
    for (int y = 0; y < height(); y += std::max(1, bg.height()))
        for (int x = 0; x < width(); x += std::max(1, bg.width()))
            if (x || y)
                bg.Draw(p, x, y);
    paintFrame(p, rect());
    QFont f = font();
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(Skin::instance().TextColor(skin::kPanelBackground));
    p.drawText(QRect(kLeft, 3, width() - 2 * kLeft, kTop - 5), Qt::AlignLeft | Qt::AlignVCenter,
               windowTitle());
    const QRect edge = m_child->geometry().adjusted(-1, -1, 1, 1);
    p.setPen(QColor(0x404040));
    p.drawLine(edge.topLeft(), edge.topRight());
    p.drawLine(edge.topLeft(), edge.bottomLeft());
    p.setPen(QColor(0xF0F0F0));
    p.drawLine(edge.bottomLeft(), edge.bottomRight());
    p.drawLine(edge.topRight(), edge.bottomRight());
}

void VideoViewer::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_fullScreen) {
        if (QWindow* w = windowHandle())
            w->startSystemMove();
    }
}

bool VideoViewer::HandleKey(int key, bool keypad)
{
    // Escape, and the digits of the main keyboard and of the keypad, as the designed key codes.
    if (key == Qt::Key_Escape) {
        SendInput(33, 0x1B);
        return true;
    }
    if (key >= Qt::Key_1 && key <= Qt::Key_9) {
        SendInput(33, (keypad ? 0x61 : 0x31) + (key - Qt::Key_1));
        return true;
    }
    return false;
}

void VideoViewer::keyPressEvent(QKeyEvent* event)
{
    if (!HandleKey(event->key(), event->modifiers() & Qt::KeypadModifier))
        SkinPanel::keyPressEvent(event);
}

void VideoViewer::closeEvent(QCloseEvent* event)
{
    // Closed by the desktop: the film stops, as Stop from the viewer's own button.
    SaveRect();
    SendInput(1, -2);
    hide();
    event->ignore();
}
