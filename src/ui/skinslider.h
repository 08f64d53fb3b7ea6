#pragma once
// The skinned sliders: volume (0-32), small vertical (0-16) and balance (-8..+8) drawn from skin
// slots, and the position slider of the display panel (0..maximum, a thin line with a thumb).
// Each posts WM_VSCROLL or WM_HSCROLL to its parent with wParam = (position << 16) | code
// (code 5 while the thumb moves or after a click beside it, 4 on release) and lParam = its
// handle; negative positions travel as 16-bit two's complement.

#include "platform/wnd.h"

#include <QRect>

class QPainter;

namespace slider {

enum class Kind { Volume, SmallVertical, Balance };

struct KindInfo
{
    int minimum;
    int maximum;
    int track;
    int thumb;
    int thumbDisabled;
    UINT message;
};

const KindInfo& info(Kind kind);
int clamp(Kind kind, int position);
// The thumb rectangle for a position (not clamped).
QRect thumbRect(Kind kind, int position);
// The position after a click beside the thumb (not clamped).
int stepFromClick(Kind kind, int position, QPoint click);
// The offset kept while dragging, from the press point and the thumb rectangle then.
int dragOffset(Kind kind, QPoint click, const QRect& thumb);
// The position while dragging (not clamped).
int dragPosition(Kind kind, int offset, QPoint mouse);
// The wParam of a notification.
WPARAM scrollParam(int position, int code);

} // namespace slider

class SkinSlider : public Wnd
{
    Q_OBJECT
public:
    SkinSlider(slider::Kind kind, const QRect& rect, Wnd* parent, int id);

    // Clamps, repaints the old and new thumb at once; sends nothing.
    void SetPos(int position);
    int GetPos() const { return m_pos; }
    slider::Kind kind() const { return m_kind; }
    int id() const { return m_id; }
    bool isDragging() const { return m_dragging; }

    static void paintSlider(QPainter& painter, slider::Kind kind, int position, bool enabled);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void notify(int code);

    slider::Kind m_kind;
    int m_id;
    int m_pos = 0;
    bool m_dragging = false;
    int m_offset = 0;
};

class PositionSlider : public Wnd
{
    Q_OBJECT
public:
    // Thumb images of the image list.
    static constexpr int kHot = 0;
    static constexpr int kPressed = 1;
    static constexpr int kNormal = 2;

    PositionSlider(const QRect& rect, Wnd* parent, int id);

    // Sets the maximum and puts the position back to 0.
    void SetRange(int maximum);
    int GetRange() const { return m_max; }
    void SetPos(int value);
    int GetPos() const { return m_value; }
    // Disabling puts the position back to 0; a disabled slider ignores the mouse.
    void Enable(bool enabled);
    bool IsEnabled() const { return m_enabled; }
    int id() const { return m_id; }
    bool isDragging() const { return m_dragging; }

    // The pixel position of the thumb and its rectangle.
    int pixel() const { return m_q; }
    QRect thumbRect() const;
    // Pixel to value and back for a track of w pixels (the client width - 4); a maximum of 0
    // gives 0 without dividing.
    static int valueAt(int q, int w, int maximum);
    static int pixelOf(int value, int w, int maximum);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int trackWidth() const { return width() - 4; }
    void moveTo(int q);
    void notify(int code);

    int m_id;
    int m_max = 0;
    int m_value = 0;
    int m_q = 0;
    bool m_enabled = true;
    bool m_dragging = false;
    bool m_hot = false;
    int m_offset = 0;
};
