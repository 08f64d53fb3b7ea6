#include "app/remotedisplay.h"

#include "platform/strings.h"
#include "players/playerframe.h"
#include "ui/digitdisplay.h"
#include "ui/skin.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kTrackId = 5203;
constexpr int kTimeId = 5204;
constexpr int kHundredsId = 5206;
constexpr int kScrollStep = 10;
constexpr int kCopyGap = 80;

} // namespace

RemoteDisplay::RemoteDisplay(Wnd* remote)
    : Wnd(remote)
{
    setGeometry(panelRect());
    setCursor(Qt::ArrowCursor);
    m_font = QApplication::font();
    m_font.setPixelSize(9);
    m_hundreds = new DigitDisplay(2, QRect(16, 9, 10, 12), this, kHundredsId);
    m_hundreds->SetDigits(1, false);
    m_track = new DigitDisplay(1, QRect(27, 3, 26, 18), this, kTrackId);
    m_track->SetDigits(2, false);
    m_time = new DigitDisplay(2, QRect(15, 23, 73, 12), this, kTimeId);
    m_time->SetDigits(5, true);
    m_time->SetSeparators({4, 2});
    m_track->setToolTip(LoadQString(kTrackId));
    m_hundreds->setToolTip(LoadQString(kTrackId));
    m_time->setToolTip(LoadQString(kTimeId));
    SetComponent(ComponentCd);
    show();
}

void RemoteDisplay::SetComponent(int component)
{
    m_component = component;
    m_hundreds->setVisible(component != ComponentCd || m_number >= 100);
    update();
}

void RemoteDisplay::SetSwitchedOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    m_track->SetLit(on || m_number >= 0);
    m_hundreds->SetLit(on || m_number >= 0);
    m_time->SetLit(on);
    update();
}

void RemoteDisplay::showTrack(int number)
{
    m_track->SetValue(number % 100);
    m_hundreds->SetValue(number / 100);
}

void RemoteDisplay::SetStatus(const ComponentStatus& status)
{
    const bool marksChanged = status.state != m_status.state || status.repeat != m_status.repeat ||
                              status.playMethod != m_status.playMethod;
    m_status = status;
    if (m_number < 0)
        showTrack(status.currentSong > 0 ? status.currentSong : status.songCount);
    if (status.currentSong > 0 && status.timeDisplay == 1)
        m_time->SetValue(
            DigitDisplay::TimeValue(std::max(0, status.lengthSeconds - status.positionSeconds)),
            true);
    else
        m_time->SetValue(DigitDisplay::TimeValue(status.positionSeconds), false);

    // The song's name while one is current, else the album's title and artist.
    QString line = QString::fromStdString(status.playingName);
    if (line.isEmpty() || status.currentSong <= 0) {
        QStringList parts;
        if (!status.albumTitle.empty())
            parts << QString::fromStdString(status.albumTitle);
        if (!status.albumArtist.empty())
            parts << QString::fromStdString(status.albumArtist);
        line = parts.join(QStringLiteral(" - "));
    }
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    if (line != m_line) {
        m_line = line;
        m_lineWidth = QFontMetrics(m_font).horizontalAdvance(m_line);
        m_offset = 0;
        update(infoArea());
    }
    if (marksChanged)
        update();
}

void RemoteDisplay::ShowNumber(int value)
{
    m_number = value;
    m_track->SetLit(true);
    m_hundreds->SetLit(true);
    m_hundreds->setVisible(true);
    showTrack(value);
}

void RemoteDisplay::ClearNumber()
{
    if (m_number < 0)
        return;
    m_number = -1;
    m_track->SetLit(m_on);
    m_hundreds->SetLit(m_on);
    m_hundreds->setVisible(m_component != ComponentCd);
    showTrack(m_status.currentSong > 0 ? m_status.currentSong : m_status.songCount);
}

void RemoteDisplay::Tick()
{
    ++m_ticks;
    if (m_lineWidth > infoArea().width() - 4) {
        m_offset += kScrollStep;
        if (m_offset > m_lineWidth + kCopyGap)
            m_offset = 0;
        update(infoArea());
    }
    if (m_status.state == kModeOpening)
        update(playSpot());
}

int RemoteDisplay::shownTrack() const
{
    return m_hundreds->value() * 100 + m_track->value();
}

int RemoteDisplay::shownTime() const
{
    return m_time->value();
}

int RemoteDisplay::playImage() const
{
    switch (m_status.state) {
    case kModeRecording:
        return 27;
    case kModePlaying:
        return 9;
    case kModeOpening:
        return m_component == ComponentCd || (m_ticks % 2) != 0 ? 10 : 9;
    default:
        return 10;
    }
}

int RemoteDisplay::pauseImage() const
{
    return m_status.state == kModePaused ? 7 : 8;
}

int RemoteDisplay::repeatImage() const
{
    return 4 + std::clamp(m_status.repeat, 0, 2);
}

int RemoteDisplay::methodImage() const
{
    static const int images[4] = {0, 2, 1, 3}; // normal, random, program, this track
    return images[std::clamp(m_status.playMethod, 0, 3)];
}

void RemoteDisplay::notifyRemote(UINT msg)
{
    if (auto* remote = qobject_cast<Wnd*>(parentWidget()))
        remote->postMessage(msg, 0, 0);
}

LRESULT RemoteDisplay::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == UM_CONTROL_CLICK) {
        if (wParam == static_cast<WPARAM>(kTimeId))
            notifyRemote(UM_CYCLE_TIME_DISPLAY);
        else if (wParam == static_cast<WPARAM>(kTrackId) ||
                 wParam == static_cast<WPARAM>(kHundredsId))
            notifyRemote(UM_REMOTE_QUICK_TRACK);
        return 0;
    }
    return Wnd::onMessage(msg, wParam, lParam);
}

void RemoteDisplay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    if (repeatSpot().contains(at))
        notifyRemote(UM_CYCLE_REPEAT);
    else if (methodSpot().contains(at))
        notifyRemote(UM_CYCLE_PLAY_METHOD);
}

bool RemoteDisplay::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QPoint at = help->pos();
        QString tip;
        if (repeatSpot().contains(at))
            tip = LoadQString(playertext::RepeatTip) +
                  LoadQString(playertext::RepeatTip + 1 + std::clamp(m_status.repeat, 0, 2));
        else if (methodSpot().contains(at))
            tip =
                LoadQString(playertext::PlayMethodTip) +
                LoadQString(playertext::PlayMethodTip + 1 + std::clamp(m_status.playMethod, 0, 3));
        else if (playSpot().contains(at))
            tip = LoadQString(2130);
        else if (pauseSpot().contains(at))
            tip = LoadQString(2131);
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return Wnd::event(event);
}

void RemoteDisplay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, Qt::black);
    p.fillRect(r.left(), r.top(), r.width(), 1, QColor(0x808080));
    p.fillRect(r.left(), r.top(), 1, r.height(), QColor(0x808080));
    p.fillRect(r.left(), r.bottom(), r.width(), 1, QColor(0xFFFFFF));
    p.fillRect(r.right(), r.top(), 1, r.height(), QColor(0xFFFFFF));

    // The marks are the left parts of the panel's 60-pixel indicator images: the play and
    // pause marks and the icons of the repeat and play-method labels.
    const ImageList& list = Skin::instance().Indicators();
    const std::pair<QRect, int> marks[] = {{playSpot(), m_on ? playImage() : 10},
                                           {pauseSpot(), m_on ? pauseImage() : 8},
                                           {repeatSpot(), repeatImage()},
                                           {methodSpot(), methodImage()}};
    for (const auto& [spot, image] : marks) {
        p.save();
        p.setClipRect(spot);
        list.Draw(p, image, spot.left(), spot.top());
        p.restore();
    }

    if (m_line.isEmpty())
        return;
    const QRect area = infoArea();
    p.setClipRect(area);
    p.setFont(m_font);
    p.setPen(m_on ? QColor(Qt::white) : QColor(0x808080));
    const QFontMetrics metrics(m_font);
    const int x = area.left() + 2 - m_offset;
    const int baseline = area.top() + (area.height() + metrics.ascent() - metrics.descent()) / 2;
    p.drawText(x, baseline, m_line);
    if (m_lineWidth > area.width() - 4)
        p.drawText(x + m_lineWidth + kCopyGap, baseline, m_line);
}
