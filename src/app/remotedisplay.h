#pragma once
// The remote control's compact display (control 5202, 90 x 52 at (4, 43) of the remote): the
// target player's state in the same LED images as the players' display panel, made small. It
// shows the play and pause marks, the track number (units and tens, and hundreds), the repeat
// and play-method marks (their icons only), the time, and a scrolling line with the song's
// name. A number being typed on the digit buttons takes the track number's place.
//
// It tells the remote what the user clicked: UM_CYCLE_PLAY_METHOD (0x6C7), UM_CYCLE_REPEAT
// (0x6C8) and UM_CYCLE_TIME_DISPLAY (0x6C9) from their marks, UM_REMOTE_QUICK_TRACK (0x6CA)
// from the track number.

#include "platform/wnd.h"
#include "players/component.h"

#include <QFont>
#include <QRect>

class DigitDisplay;

class RemoteDisplay : public Wnd
{
    Q_OBJECT
public:
    static constexpr int kId = 5202;
    static QRect panelRect() { return QRect(4, 43, 90, 52); }
    // Parts, in the display's coordinates.
    static QRect playSpot() { return QRect(3, 3, 10, 10); }
    static QRect pauseSpot() { return QRect(3, 16, 10, 11); }
    static QRect repeatSpot() { return QRect(58, 3, 13, 12); }
    static QRect methodSpot() { return QRect(73, 3, 13, 12); }
    static QRect infoArea() { return QRect(3, 37, 84, 13); }

    explicit RemoteDisplay(Wnd* remote);

    // The component whose status is shown (2-5); the CD Player shows no hundreds.
    void SetComponent(int component);
    int component() const { return m_component; }
    // A switched-off target is shown darkened.
    void SetSwitchedOn(bool on);
    void SetStatus(const ComponentStatus& status);
    // A number being typed (shown in the track digits), or none.
    void ShowNumber(int value);
    void ClearNumber();
    // The half-second tick: scrolls the line and blinks the opening mark.
    void Tick();

    int shownTrack() const;
    int shownTime() const;
    const QString& lineText() const { return m_line; }
    int scrollOffset() const { return m_offset; }
    // The indicator images drawn now for the play, pause, repeat and play-method marks.
    int playImage() const;
    int pauseImage() const;
    int repeatImage() const;
    int methodImage() const;

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void showTrack(int number);
    void notifyRemote(UINT msg);

    int m_component = ComponentCd;
    bool m_on = true;
    ComponentStatus m_status;
    int m_number = -1; // the number being typed, or -1
    QString m_line;
    int m_lineWidth = 0;
    int m_offset = 0;
    unsigned m_ticks = 0;
    QFont m_font;
    DigitDisplay* m_track = nullptr;
    DigitDisplay* m_hundreds = nullptr;
    DigitDisplay* m_time = nullptr;
};
