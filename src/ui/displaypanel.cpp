#include "ui/displaypanel.h"

#include "platform/strings.h"
#include "ui/digitdisplay.h"
#include "ui/skin.h"
#include "ui/skinslider.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kHoverMark = 15;
constexpr int kHoverWipe = 16;
constexpr int kScrollStep = 10;
constexpr int kCopyGap = 80;

struct SpotInfo
{
    QPoint origin;
    QRect spot;
    UINT tooltip;
};

const SpotInfo kSpots[] = {
    {{4, 4}, {4, 4, 10, 10}, 2130},      // play
    {{4, 20}, {4, 20, 10, 14}, 2131},    // pause
    {{110, 5}, {110, 5, 20, 10}, 2127},  // sound effect
    {{18, 4}, {18, 4, 10, 10}, 5150},    // viewer size
    {{213, 4}, {213, 4, 60, 12}, 5112},  // repeat
    {{213, 20}, {213, 20, 60, 12}, 5117} // play method
};

} // namespace

DisplayPanel::DisplayPanel(int componentKind, const QRect& rect, Wnd* component)
    : Wnd(component)
    , m_kind(componentKind)
{
    setGeometry(rect);
    setCursor(Qt::ArrowCursor);
    setMouseTracking(true);
    m_font = QApplication::font();
    m_font.setPixelSize(11);

    m_track = new DigitDisplay(1, QRect(37, 12, 26, 18), this, kTrackId);
    m_track->SetDigits(2, false);
    m_hundreds = new DigitDisplay(2, QRect(22, 18, 10, 12), this, kHundredsId);
    m_hundreds->SetDigits(1, false);
    m_hundreds->setVisible(m_kind != ComponentCd);
    m_time = new DigitDisplay(2, QRect(65, 18, 73, 12), this, kTimeId);
    m_time->SetDigits(5, true);
    m_time->SetSeparators({4, 2});
    m_grid = new TrackGrid(QRect(142, 4, 67, 29), this, kGridId);
    m_slider = new PositionSlider(QRect(4, 53, 266, 3), this, kPositionId);
    m_track->setToolTip(LoadQString(kTrackId));
    m_hundreds->setToolTip(LoadQString(kHundredsId));
    m_time->setToolTip(LoadQString(kTimeId));
    m_grid->setToolTip(LoadQString(kGridId));
    m_slider->setToolTip(LoadQString(kPositionId));
    show();
}

QPoint DisplayPanel::indicatorOrigin(Indicator which)
{
    return kSpots[which].origin;
}

QRect DisplayPanel::indicatorSpot(Indicator which)
{
    return kSpots[which].spot;
}

QRect DisplayPanel::infoArea() const
{
    return QRect(38, 36, std::max(0, width() - 4 - 38), 15);
}

bool DisplayPanel::hasIndicator(Indicator which) const
{
    switch (which) {
    case Effect:
        return m_kind == ComponentAudio || m_kind == ComponentVideo;
    case ViewerSize:
        return m_kind == ComponentVideo;
    default:
        return true;
    }
}

int DisplayPanel::indicatorImage(Indicator which) const
{
    if (!hasIndicator(which))
        return -1;
    const bool odd = (m_ticks % 2) != 0;
    switch (which) {
    case Play:
        if (m_state == kModeRecording)
            return 27;
        if (m_state == kModeOpening) {
            if (m_kind == ComponentCd)
                return 10;
            return odd ? 10 : 9;
        }
        return m_state == kModePlaying ? 9 : 10;
    case Pause:
        return m_state == kModePaused ? 7 : 8;
    case Effect:
        if (m_effect && m_state == kModePlaying)
            return odd ? 26 : 25;
        return 26;
    case ViewerSize:
        return 17 + 2 * std::clamp(m_viewerSize, 0, 3) + (m_hover == ViewerSize ? 1 : 0);
    case Repeat:
        return 4 + std::clamp(m_repeat, 0, 2);
    case PlayMethod: {
        static const int images[4] = {0, 2, 1, 3}; // normal, random, program, this track
        return images[std::clamp(m_method, 0, 3)];
    }
    }
    return -1;
}

void DisplayPanel::SetState(int state)
{
    if (state == m_state)
        return;
    m_state = state;
    update(kSpots[Play].spot.united(QRect(kSpots[Play].origin, QSize(12, 12))));
    update(kSpots[Pause].spot);
    if (hasIndicator(Effect))
        update(kSpots[Effect].spot);
}

void DisplayPanel::SetRepeat(int repeat)
{
    if (repeat == m_repeat)
        return;
    m_repeat = repeat;
    update(kSpots[Repeat].spot);
}

void DisplayPanel::SetPlayMethod(int method)
{
    if (method == m_method)
        return;
    m_method = method;
    update(kSpots[PlayMethod].spot);
}

void DisplayPanel::SetViewerSize(int mode)
{
    if (mode == m_viewerSize)
        return;
    m_viewerSize = mode;
    update(kSpots[ViewerSize].spot);
}

void DisplayPanel::SetEffectActive(bool active)
{
    if (active == m_effect)
        return;
    m_effect = active;
    update(kSpots[Effect].spot);
}

void DisplayPanel::SetLit(bool lit)
{
    m_lit = lit;
    m_track->SetLit(lit);
    m_hundreds->SetLit(lit);
    m_time->SetLit(lit);
    m_grid->SetLit(lit);
    if (!lit)
        m_slider->Enable(false);
}

void DisplayPanel::SetInfoText(const std::string& text)
{
    std::string clean = text;
    std::replace(clean.begin(), clean.end(), '\r', ' ');
    if (clean == m_text)
        return;
    m_text = std::move(clean);
    m_textWidth = QFontMetrics(m_font).horizontalAdvance(QString::fromStdString(m_text));
    m_offset = 0;
    update(infoArea());
}

void DisplayPanel::showTime(int seconds, bool remaining)
{
    m_time->SetValue(DigitDisplay::TimeValue(seconds), remaining);
}

void DisplayPanel::Update(const AlbumView& album, int positionSeconds, int timeDisplayMode,
                          bool grid)
{
    const bool hasCurrent = album.currentSong > 0;
    const int number = hasCurrent ? album.currentSong : album.songCount;
    m_track->SetValue(number % 100);
    m_hundreds->SetValue(number / 100);
    m_length = hasCurrent ? album.currentSongLengthMs / 1000 : 0;
    m_timeMode = timeDisplayMode;
    if (!m_dragging) {
        if (m_slider->GetRange() != m_length)
            m_slider->SetRange(m_length);
        m_slider->SetPos(positionSeconds);
    }
    if (grid)
        m_grid->SetAlbum(album);
    if (m_dragging && m_state == kModePlaying)
        return;
    if (!hasCurrent)
        showTime(album.totalLengthSeconds, false);
    else if (timeDisplayMode == 1)
        showTime(std::max(0, m_length - positionSeconds), true);
    else
        showTime(positionSeconds, false);
}

void DisplayPanel::postToComponent(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (auto* component = qobject_cast<Wnd*>(parentWidget()))
        component->postMessage(msg, wParam, lParam);
}

LRESULT DisplayPanel::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam != kTickTimerId)
            break;
        ++m_ticks;
        if (m_textWidth > infoArea().width() - 8) {
            m_offset += kScrollStep;
            if (m_offset > m_textWidth + kCopyGap)
                m_offset = 0;
            update(infoArea());
        }
        if (m_state == kModeOpening && m_kind != ComponentCd)
            update(kSpots[Play].spot);
        if (m_effect && m_state == kModePlaying && hasIndicator(Effect))
            update(kSpots[Effect].spot);
        m_grid->sendMessage(WM_TIMER, kTickTimerId, 0);
        return 0;
    case WM_HSCROLL: {
        const int code = LOWORD(wParam);
        const int position = HIWORD(wParam);
        if (code == SB_THUMBTRACK) {
            m_dragging = true;
            if (m_timeMode == 1)
                showTime(std::max(0, m_length - position), true);
            else
                showTime(position, false);
        } else if (code == SB_THUMBPOSITION) {
            m_dragging = false;
        }
        postToComponent(WM_HSCROLL, wParam, lParam);
        return 0;
    }
    case UM_CONTROL_CLICK:
        if (wParam == static_cast<WPARAM>(kTimeId))
            postToComponent(UM_CYCLE_TIME_DISPLAY);
        else if (wParam == static_cast<WPARAM>(kTrackId) ||
                 wParam == static_cast<WPARAM>(kHundredsId))
            postToComponent(WM_COMMAND, static_cast<WPARAM>(kQuickTrackSelect));
        return 0;
    case UM_PLAY_SONG:
        postToComponent(UM_PLAY_SONG, wParam);
        return 0;
    default:
        break;
    }
    return Wnd::onMessage(msg, wParam, lParam);
}

void DisplayPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, Qt::black);
    p.fillRect(r.left(), r.top(), r.width(), 1, QColor(0x808080));
    p.fillRect(r.left(), r.top(), 1, r.height(), QColor(0x808080));
    p.fillRect(r.left(), r.bottom(), r.width(), 1, QColor(0xFFFFFF));
    p.fillRect(r.right(), r.top(), 1, r.height(), QColor(0xFFFFFF));

    const ImageList& list = Skin::instance().Indicators();
    for (Indicator which : {Play, Pause, Effect, ViewerSize, Repeat, PlayMethod}) {
        const int image = indicatorImage(which);
        if (image < 0)
            continue;
        const QPoint at = kSpots[which].origin;
        p.save();
        p.setClipRect(kSpots[which].spot.united(QRect(at, QSize(12, 12))));
        list.Draw(p, image, at.x(), at.y());
        if (which == Repeat || which == PlayMethod)
            list.Draw(p, m_hover == which ? kHoverMark : kHoverWipe, at.x(), at.y());
        p.restore();
    }

    if (m_text.empty())
        return;
    const QRect area = infoArea();
    p.setClipRect(area);
    p.setFont(m_font);
    p.setPen(Qt::white);
    const QString text = QString::fromStdString(m_text);
    const int x = area.left() + 4 - m_offset;
    const int baseline =
        area.top() +
        (area.height() + QFontMetrics(m_font).ascent() - QFontMetrics(m_font).descent()) / 2;
    p.drawText(x, baseline, text);
    if (m_textWidth > area.width() - 8)
        p.drawText(x + m_textWidth + kCopyGap, baseline, text);
}

void DisplayPanel::setHover(int spot)
{
    if (spot == m_hover)
        return;
    if (m_hover >= 0)
        update(kSpots[m_hover].spot);
    m_hover = spot;
    if (m_hover >= 0)
        update(kSpots[m_hover].spot);
}

void DisplayPanel::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    for (Indicator which : {Repeat, PlayMethod, ViewerSize}) {
        if (hasIndicator(which) && kSpots[which].spot.contains(at)) {
            setHover(which);
            return;
        }
    }
    setHover(-1);
}

void DisplayPanel::leaveEvent(QEvent*)
{
    setHover(-1);
}

void DisplayPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    if (kSpots[Repeat].spot.contains(at))
        postToComponent(UM_CYCLE_REPEAT);
    else if (kSpots[PlayMethod].spot.contains(at))
        postToComponent(UM_CYCLE_PLAY_METHOD);
    else if (hasIndicator(ViewerSize) && kSpots[ViewerSize].spot.contains(at))
        postToComponent(UM_CYCLE_VIEWER_SIZE);
}

bool DisplayPanel::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        for (Indicator which : {Play, Pause, Effect, ViewerSize, Repeat, PlayMethod}) {
            if (hasIndicator(which) && kSpots[which].spot.contains(help->pos())) {
                QToolTip::showText(help->globalPos(), LoadQString(kSpots[which].tooltip), this,
                                   kSpots[which].spot);
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return Wnd::event(event);
}
