#include "players/spectrumdisplay.h"

#include "platform/strings.h"
#include "platform/vocabulary.h"

#include <QActionGroup>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// Texts of the mode menu.
constexpr UINT kModeNames = 39400; // + drawing mode
constexpr UINT kLinearName = 39404;

// How far a peak falls per snapshot (20 a second).
constexpr int kPeakFall = 2;

const QColor kAmber(0xFF, 0xA8, 0x10);
const QColor kOrange(0xFF, 0x68, 0x10);
const QColor kRed(0xFF, 0x28, 0x18);
const QColor kUnlit(0x30, 0x20, 0x06);
const QColor kPeak(0xFF, 0xF0, 0xC8);

} // namespace

SpectrumDisplay::SpectrumDisplay(int slot, const QRect& rect, Wnd* parent, int id, int modeWord,
                                 engines::SpectrumService* service)
    : Wnd(parent)
    , m_slot(slot)
    , m_id(id)
    , m_service(service ? service : &engines::SpectrumService::instance())
    , m_mode(modeWord)
{
    setGeometry(rect);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(LoadQString(5207));
}

SpectrumDisplay::~SpectrumDisplay()
{
    // Before anything of this object goes: the worker calls registered displays under the
    // service's lock, so once this returns it cannot be inside showSpectrum.
    m_accepting = false;
    if (m_registered)
        m_service->registerDisplay(m_slot, nullptr);
}

int SpectrumDisplay::drawingModeOf(int modeWord)
{
    return std::clamp(modeWord & 0xFF, 0, kDrawingModes - 1);
}

int SpectrumDisplay::scaled(int value, int drawingMode)
{
    int v = value;
    if (drawingMode == 0)
        v /= 2;
    else if (drawingMode >= 2)
        v *= 2;
    return std::clamp(v, 0, 100);
}

void SpectrumDisplay::Enable(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    updateRegistration();
    if (!enabled) {
        takeLevels(engines::SpectrumSnapshot{});
        m_peaks.fill(0);
        update();
    }
}

void SpectrumDisplay::SetMode(int modeWord)
{
    m_mode = modeWord;
    update();
}

void SpectrumDisplay::userSetMode(int modeWord)
{
    SetMode(modeWord);
    if (m_modeListener)
        m_modeListener(modeWord);
}

void SpectrumDisplay::addModeActions(QMenu& menu) const
{
    auto* group = new QActionGroup(&menu);
    const int word = m_mode.load();
    for (int mode = 0; mode < kDrawingModes; ++mode) {
        QAction* a = menu.addAction(LoadQString(kModeNames + mode));
        a->setCheckable(true);
        a->setChecked(drawingModeOf(word) == mode);
        a->setData(mode);
        group->addAction(a);
    }
    menu.addSeparator();
    QAction* linear = menu.addAction(LoadQString(kLinearName));
    linear->setCheckable(true);
    linear->setChecked((word & kLinearFlag) != 0);
    linear->setData(kLinearFlag);
}

void SpectrumDisplay::chooseModeAction(const QAction* action)
{
    if (!action)
        return;
    const int choice = action->data().toInt();
    const int word = m_mode.load();
    if (choice == kLinearFlag)
        userSetMode(word ^ kLinearFlag);
    else if (choice >= 0 && choice < kDrawingModes)
        userSetMode((word & ~0xFF) | choice);
}

void SpectrumDisplay::updateRegistration()
{
    const bool want = m_enabled && isVisible();
    if (want == m_registered)
        return;
    m_registered = want;
    if (want) {
        // The sweep first; what the worker hands over meanwhile is not shown.
        m_animationFrame = 0;
        setTimer(kAnimationTimerId, kAnimationFrameMs);
        animate();
        m_accepting = true;
        m_service->registerDisplay(m_slot, this);
    } else {
        m_accepting = false;
        m_service->registerDisplay(m_slot, nullptr);
        if (m_animationFrame >= 0) {
            m_animationFrame = -1;
            clearTimer(kAnimationTimerId);
            m_levels.fill(0);
        }
    }
}

void SpectrumDisplay::showSpectrum(const engines::SpectrumSnapshot& snapshot)
{
    if (!m_accepting)
        return;
    {
        std::lock_guard lock(m_pendingLock);
        m_pending = snapshot;
    }
    // One waiting repaint at a time: a busy user-interface thread takes the latest snapshot.
    if (!m_takeQueued.exchange(true))
        QMetaObject::invokeMethod(
            this, [this] { takeSnapshot(); }, Qt::QueuedConnection);
}

void SpectrumDisplay::takeSnapshot()
{
    m_takeQueued = false;
    engines::SpectrumSnapshot snapshot;
    {
        std::lock_guard lock(m_pendingLock);
        snapshot = m_pending;
    }
    if (!m_registered || m_animationFrame >= 0)
        return;
    takeLevels(snapshot);
    ++m_shown;
    update();
}

void SpectrumDisplay::takeLevels(const engines::SpectrumSnapshot& snapshot)
{
    const int mode = drawingMode();
    for (int i = 0; i < kBands; ++i) {
        m_levels[i] = scaled(snapshot[i], mode);
        m_peaks[i] = std::max(m_levels[i], m_peaks[i] - kPeakFall);
    }
}

void SpectrumDisplay::animate()
{
    // A bump that runs from the left edge to the right one.
    const double pos = -3.0 + 26.0 * m_animationFrame / (kAnimationFrames - 1);
    for (int i = 0; i < kBands; ++i) {
        const double v = 1.0 - std::abs(i - pos) / 3.5;
        m_levels[i] = v > 0 ? static_cast<int>(std::lround(100 * v)) : 0;
        m_peaks[i] = 0;
    }
    if (++m_animationFrame >= kAnimationFrames) {
        m_animationFrame = -1;
        clearTimer(kAnimationTimerId);
        m_levels.fill(0);
    }
    update();
}

LRESULT SpectrumDisplay::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER && wParam == kAnimationTimerId) {
        if (m_animationFrame >= 0)
            animate();
        return 0;
    }
    return Wnd::onMessage(msg, wParam, lParam);
}

void SpectrumDisplay::showEvent(QShowEvent* event)
{
    Wnd::showEvent(event);
    updateRegistration();
}

void SpectrumDisplay::hideEvent(QHideEvent* event)
{
    Wnd::hideEvent(event);
    updateRegistration();
}

void SpectrumDisplay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int word = m_mode.load();
    userSetMode((word & ~0xFF) | ((drawingModeOf(word) + 1) % kDrawingModes));
}

void SpectrumDisplay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    paintBars(p, rect().adjusted(1, 1, -1, -1), drawingMode(), m_levels, m_peaks);
}

void SpectrumDisplay::paintBars(QPainter& p, const QRect& area, int mode,
                                const std::array<int, kBands>& levels,
                                const std::array<int, kBands>& peaks)
{
    const int h = area.height();
    if (h <= 0 || area.width() < kBands)
        return;
    const double bandWidth = area.width() / static_cast<double>(kBands);
    const auto left = [&](int i) {
        return area.left() + static_cast<int>(std::lround(i * bandWidth));
    };
    const auto topOf = [&](int level) { return area.bottom() + 1 - level * h / 100; };

    if (mode == 3) {
        QPainterPath outline;
        outline.moveTo(area.left(), area.bottom() + 1);
        for (int i = 0; i < kBands; ++i) {
            const double x = (left(i) + left(i + 1)) / 2.0;
            outline.lineTo(x, topOf(levels[i]));
        }
        outline.lineTo(area.right() + 1, area.bottom() + 1);
        outline.closeSubpath();
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = kAmber;
        fill.setAlpha(110);
        p.fillPath(outline, fill);
        p.setPen(QPen(kAmber, 1.2));
        p.drawPath(outline);
        p.restore();
        return;
    }

    if (mode == 0) {
        QLinearGradient g(0, area.bottom(), 0, area.top());
        g.setColorAt(0, QColor(0xC0, 0x60, 0x00));
        g.setColorAt(0.7, kAmber);
        g.setColorAt(1, QColor(0xFF, 0xE8, 0x80));
        for (int i = 0; i < kBands; ++i) {
            const int x = left(i), w = std::max(1, left(i + 1) - x - 1);
            const int top = topOf(levels[i]);
            if (top <= area.bottom())
                p.fillRect(QRect(x, top, w, area.bottom() + 1 - top), g);
        }
        return;
    }

    // LED bars: 2-pixel segments with a 1-pixel gap, from the bottom up.
    constexpr int kPitch = 3;
    const int segments = std::max(1, (h + 1) / kPitch);
    for (int i = 0; i < kBands; ++i) {
        const int x = left(i), w = std::max(1, left(i + 1) - x - 1);
        const int lit = (levels[i] * segments + 50) / 100;
        const int peak = mode == 2 ? (peaks[i] * segments + 50) / 100 : 0;
        for (int s = 0; s < segments; ++s) {
            const int y = area.bottom() + 1 - (s + 1) * kPitch + 1;
            const double f = static_cast<double>(s) / segments;
            QColor c = kUnlit;
            if (s < lit)
                c = f < 0.7 ? kAmber : f < 0.88 ? kOrange : kRed;
            else if (peak > 0 && s == peak - 1)
                c = kPeak;
            p.fillRect(QRect(x, std::max(y, area.top()), w, std::min(2, y + 2 - area.top())), c);
        }
    }
}
