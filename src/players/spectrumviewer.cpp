#include "players/spectrumviewer.h"

#include "engines/samplingservice.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "players/spectrumdisplay.h"
#include "ui/buttons.h"
#include "ui/pixelfont.h"
#include "ui/skin.h"
#include "ui/skinbutton.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kSection = "RemoteSpectrum";
constexpr UINT kTitleText = 39440;       // "Kolvo Spectrum Viewer"
constexpr UINT kAlwaysOnTopText = 39441; // "Always on &Top"
constexpr int kNotPlaced = -32768;
constexpr int kMenuGlyph = 57;

struct SizeInfo
{
    QRect display; // left, top, right, bottom as designed (right and bottom outside)
    QSize window;
};
constexpr std::array<SizeInfo, SpectrumViewer::kSizes> kSizeTable{{
    {QRect(QPoint(5, 19), QPoint(148, 43)), QSize(159, 68)},
    {QRect(QPoint(5, 19), QPoint(228, 67)), QSize(239, 92)},
    {QRect(QPoint(5, 19), QPoint(346, 114)), QSize(357, 139)},
    {QRect(QPoint(5, 19), QPoint(228, 114)), QSize(239, 139)},
}};

const SizeInfo& sizeInfo(int size)
{
    return kSizeTable[static_cast<size_t>(size >= 0 && size < SpectrumViewer::kSizes ? size : 1)];
}

ButtonDescriptor menuButtonAt(int x)
{
    return {cmd::Menu, 0,  skin::kPanelBackground, kMenuGlyph,       0, 0, x, 3,
            13,        13, skin::kFace13Up,        skin::kFace13Down};
}

// The frequencies marked under the display, and the band each sits on (the sampling bands are
// geometric from 50 Hz to 16 kHz).
struct Mark
{
    const char* text;
    double hz;
};
constexpr std::array<Mark, 5> kMarks{
    {{"50", 50}, {"200", 200}, {"1K", 1000}, {"4K", 4000}, {"16K", 16000}}};

} // namespace

SpectrumViewer::SpectrumViewer(PlayerHost& host, HWND notify, engines::SpectrumService* service)
    : Wnd(nullptr, Qt::Tool | Qt::FramelessWindowHint)
    , m_host(host)
    , m_notify(notify)
    , m_service(service)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(LoadQString(kTitleText));
    setWindowIcon(Skin::instance().WindowIcon(skin::res::kRemoteIcon));
    setCursor(Qt::ArrowCursor);
    const AppSettings& s = host.settings();
    m_size = s.spectrumSize >= 0 && s.spectrumSize < kSizes ? s.spectrumSize : 1;
    if (s.spectrumAlwaysOnTop)
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setFixedSize(windowSize(m_size));
    m_menuButton = new SkinButton(menuButtonAt(width() - 18), this);
    buildDisplay();

    const Profile profile;
    const QPoint saved(profile.GetProfileInt(kSection, "Left", kNotPlaced),
                       profile.GetProfileInt(kSection, "Top", kNotPlaced));
    move(placeOnWorkArea(saved, QWidget::size(), DesktopWorkArea()));
}

SpectrumViewer::~SpectrumViewer()
{
    savePosition();
    // The display unregisters as it goes, before anything it draws with.
    delete m_display;
    m_display = nullptr;
}

QSize SpectrumViewer::windowSize(int size)
{
    return sizeInfo(size).window;
}

QRect SpectrumViewer::displayRect(int size)
{
    return sizeInfo(size).display;
}

QPoint SpectrumViewer::placeOnWorkArea(QPoint saved, QSize size, const QRect& area)
{
    if (saved.x() == kNotPlaced || saved.y() == kNotPlaced)
        saved =
            QPoint(area.right() + 1 - size.width() - kDefaultMargin, area.top() + kDefaultMargin);
    const int x =
        std::clamp(saved.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    const int y =
        std::clamp(saved.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    return {x, y};
}

void SpectrumViewer::buildDisplay()
{
    AppSettings& s = m_host.settings();
    m_display =
        new SpectrumDisplay(kSlot, displayRect(m_size), this, 5207, s.spectrumMode, m_service);
    m_display->setModeListener([this](int mode) { m_host.settings().spectrumMode = mode; });
    m_display->Enable(true);
    m_display->show();
}

void SpectrumViewer::savePosition() const
{
    Profile profile;
    profile.WriteProfileInt(kSection, "Left", x());
    profile.WriteProfileInt(kSection, "Top", y());
    profile.sync();
}

void SpectrumViewer::SetSize(int size)
{
    if (size < 0 || size >= kSizes)
        return;
    savePosition();
    m_size = size;
    m_host.settings().spectrumSize = size;
    delete m_display;
    m_display = nullptr;
    setFixedSize(windowSize(size));
    m_menuButton->move(width() - 18, 3);
    buildDisplay();
    update();
}

void SpectrumViewer::SetAlwaysOnTop(bool onTop)
{
    m_host.settings().spectrumAlwaysOnTop = onTop ? 1 : 0;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (visible)
        show();
}

void SpectrumViewer::SetTitle(const QString& title)
{
    m_title = title;
    setWindowTitle(title.isEmpty() ? LoadQString(kTitleText) : title);
    update(QRect(0, 0, width(), 18));
}

void SpectrumViewer::Close()
{
    if (m_closing)
        return;
    m_closing = true;
    m_host.settings().spectrumEnabled = 0;
    if (m_notify)
        Wnd::postTo(m_notify, UM_SPECTRUM_VIEWER_CLOSED, 0, 0);
    hide();
    deleteLater();
}

QAction* SpectrumViewer::popUpMenu(QMenu& menu, const QPoint& globalPos)
{
    return menu.exec(globalPos);
}

void SpectrumViewer::showMenu()
{
    QMenu menu(this);
    auto* sizes = new QActionGroup(&menu);
    for (int size = 0; size < kSizes; ++size) {
        QAction* a = menu.addAction(LoadQString(static_cast<UINT>(cmd::FirstSpectrumSize + size)));
        a->setCheckable(true);
        a->setChecked(size == m_size);
        a->setData(cmd::FirstSpectrumSize + size);
        sizes->addAction(a);
    }
    menu.addSeparator();
    QMenu* modes = menu.addMenu(LoadQString(5177));
    m_display->addModeActions(*modes);
    menu.addSeparator();
    QAction* top = menu.addAction(LoadQString(kAlwaysOnTopText));
    top->setCheckable(true);
    top->setChecked(m_host.settings().spectrumAlwaysOnTop != 0);
    top->setData(static_cast<int>(kAlwaysOnTopText));
    menu.addSeparator();
    menu.addAction(LoadQString(cmd::Close))->setData(cmd::Close);

    const QPoint at = m_menuButton->mapToGlobal(QPoint(0, m_menuButton->height()));
    const QAction* chosen = popUpMenu(menu, at);
    if (!chosen)
        return;
    if (chosen->parent() == modes)
        m_display->chooseModeAction(chosen);
    else if (chosen->data().toInt() == static_cast<int>(kAlwaysOnTopText))
        SetAlwaysOnTop(!m_host.settings().spectrumAlwaysOnTop);
    else
        sendMessage(WM_COMMAND, static_cast<WPARAM>(chosen->data().toInt()), 0);
}

void SpectrumViewer::onCommand(int id)
{
    if (id == cmd::Menu)
        showMenu();
    else if (id == cmd::Close)
        Close();
    else if (id >= cmd::FirstSpectrumSize && id < cmd::FirstSpectrumSize + kSizes)
        SetSize(id - cmd::FirstSpectrumSize);
}

LRESULT SpectrumViewer::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND) {
        onCommand(LOWORD(wParam));
        return 0;
    }
    return Wnd::onMessage(msg, wParam, lParam);
}

void SpectrumViewer::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && windowHandle())
        windowHandle()->startSystemMove();
    Wnd::mousePressEvent(event);
}

void SpectrumViewer::closeEvent(QCloseEvent* event)
{
    // Closed by the desktop (a window list, a shortcut): as the menu's Close.
    event->ignore();
    Close();
}

void SpectrumViewer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const Skin& skin = Skin::instance();
    const SkinBitmap& background = skin.Slot(skin::kPanelBackground);
    for (int y = 0; y < height(); y += std::max(1, background.height()))
        background.Draw(p, 0, y);
    // The panel frame: black, then light grey above and left, dark grey below and right.
    const QRect r = rect();
    p.fillRect(r.left(), r.top(), r.width(), 1, Qt::black);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, Qt::black);
    p.fillRect(r.left(), r.top(), 1, r.height(), Qt::black);
    p.fillRect(r.right(), r.top(), 1, r.height(), Qt::black);
    p.fillRect(1, 1, r.width() - 2, 1, QColor(0xC0C0C0));
    p.fillRect(1, 1, 1, r.height() - 2, QColor(0xC0C0C0));
    p.fillRect(1, r.bottom() - 1, r.width() - 2, 1, QColor(0x404040));
    p.fillRect(r.right() - 1, 1, 1, r.height() - 2, QColor(0x404040));

    const QColor ink = skin.TextColor(skin::kPanelBackground);
    QFont f = QApplication::font();
    f.setPixelSize(9);
    p.setFont(f);
    p.setPen(ink);
    const QString title = m_title.isEmpty() ? LoadQString(kTitleText) : m_title;
    p.drawText(QRect(6, 3, width() - 28, 13), Qt::AlignLeft | Qt::AlignVCenter,
               p.fontMetrics().elidedText(title, Qt::ElideRight, width() - 28));

    // The display's sunken frame and the frequency scale under it.
    const QRect d = displayRect(m_size);
    const QRect frame = d.adjusted(-1, -1, 1, 1);
    p.fillRect(frame.left(), frame.top(), frame.width(), 1, QColor(0x808080));
    p.fillRect(frame.left(), frame.top(), 1, frame.height(), QColor(0x808080));
    p.fillRect(frame.left(), frame.bottom(), frame.width(), 1, Qt::white);
    p.fillRect(frame.right(), frame.top(), 1, frame.height(), Qt::white);
    const double bandWidth = (d.width() - 2) / 20.0;
    const double step = std::log(16000.0 / 50.0) / 19;
    for (const Mark& m : kMarks) {
        const double band = std::log(m.hz / 50.0) / step;
        const int centre = d.left() + 1 + static_cast<int>((band + 0.5) * bandWidth);
        const int w = pixelfont::textWidth(m.text, pixelfont::Face::Small);
        const int x = std::clamp(centre - w / 2, d.left(), d.right() - w + 1);
        p.fillRect(centre, d.bottom() + 2, 1, 3, ink);
        pixelfont::draw(p, x, d.bottom() + 6, m.text, ink, pixelfont::Face::Small);
    }
}
