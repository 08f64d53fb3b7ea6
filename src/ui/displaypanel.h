#pragma once
// The players' display panel: a black box with a 3-D frame holding the track number (units and
// tens, and hundreds), the time, the track grid, the position slider, the play, pause, effect,
// viewer-size, repeat and play-method indicators and a scrolling information line. The
// component decides what is shown; the panel tells it what the user clicked:
//   UM_PLAY_SONG (0x6C6, song) from the track grid, UM_CYCLE_REPEAT (0x6C8) and
//   UM_CYCLE_PLAY_METHOD (0x6C7) from their indicators, UM_CYCLE_VIEWER_SIZE (0x6CB, video),
//   UM_CYCLE_TIME_DISPLAY (0x6C9) from the time, WM_COMMAND 5176 from the track number, and
//   WM_HSCROLL from the position slider (the component seeks on code 4).

#include "platform/wnd.h"
#include "ui/trackgrid.h"

#include <QFont>
#include <QRect>

#include <string>

class DigitDisplay;
class PositionSlider;

class DisplayPanel : public Wnd
{
    Q_OBJECT
public:
    // Control ids.
    static constexpr int kPositionId = 5201;
    static constexpr int kTrackId = 5203;
    static constexpr int kTimeId = 5204;
    static constexpr int kGridId = 5205;
    static constexpr int kHundredsId = 5206;
    static constexpr int kQuickTrackSelect = 5176;
    // The size we propose; the component places the panel.
    static constexpr QSize kDefaultSize{276, 60};

    enum Indicator { Play, Pause, Effect, ViewerSize, Repeat, PlayMethod };

    DisplayPanel(int componentKind, const QRect& rect, Wnd* component);

    void SetState(int state);
    void SetRepeat(int repeat);
    void SetPlayMethod(int method);
    void SetViewerSize(int mode);
    void SetEffectActive(bool active);
    // Lights or darkens the three digit displays and the grid; darkening also disables the
    // position slider.
    void SetLit(bool lit);
    // CRs become blanks; a new text starts scrolling from the beginning.
    void SetInfoText(const std::string& text);
    // Track number, time, slider and grid from the album and the position.
    void Update(const AlbumView& album, int positionSeconds, int timeDisplayMode, bool grid);

    int componentKind() const { return m_kind; }
    int state() const { return m_state; }
    const std::string& infoText() const { return m_text; }
    int textWidth() const { return m_textWidth; }
    int scrollOffset() const { return m_offset; }
    bool isDragging() const { return m_dragging; }
    // The indicator image a spot shows now; -1 when the panel has no such indicator.
    int indicatorImage(Indicator which) const;
    // Where an indicator image is drawn, and the spot the mouse and tooltips use.
    static QPoint indicatorOrigin(Indicator which);
    static QRect indicatorSpot(Indicator which);
    // The information line's area.
    QRect infoArea() const;

    DigitDisplay* trackDisplay() const { return m_track; }
    DigitDisplay* hundredsDisplay() const { return m_hundreds; }
    DigitDisplay* timeDisplay() const { return m_time; }
    TrackGrid* trackGrid() const { return m_grid; }
    PositionSlider* positionSlider() const { return m_slider; }

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool hasIndicator(Indicator which) const;
    void postToComponent(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    void showTime(int seconds, bool remaining);
    void setHover(int spot);

    int m_kind;
    int m_state = kModeNotReady;
    int m_repeat = 0;
    int m_method = 0;
    int m_viewerSize = 0;
    bool m_effect = false;
    bool m_lit = true;
    std::string m_text;
    int m_textWidth = 0;
    int m_offset = 0;
    int m_length = 0;
    int m_timeMode = 0;
    bool m_dragging = false;
    int m_hover = -1; // the indicator under the mouse, or -1
    unsigned m_ticks = 0;
    QFont m_font;

    DigitDisplay* m_track = nullptr;
    DigitDisplay* m_hundreds = nullptr;
    DigitDisplay* m_time = nullptr;
    TrackGrid* m_grid = nullptr;
    PositionSlider* m_slider = nullptr;
};
