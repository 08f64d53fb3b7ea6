#pragma once
// The skin button: an owner-drawn child window made from a button descriptor. It draws its face
// (a face pair from the skin, or the panel background under it with a 3-D frame) and a glyph
// centred on it, and posts WM_COMMAND (wParam = command id, lParam = its handle) to its parent
// when it is clicked; auto-repeat buttons post one command every 300 ms while held and one
// more on release inside; toggle buttons keep a checked state.

#include "platform/wnd.h"
#include "ui/buttons.h"

#include <functional>
#include <vector>

class QPainter;

class SkinButton : public Wnd
{
    Q_OBJECT
public:
    // Draw states.
    static constexpr int kRaised = 0; // the mouse is over the button
    static constexpr int kPressed = 1;
    static constexpr int kFlat = 2; // the resting look
    static constexpr UINT kRepeatTimerId = 100;
    static constexpr int kRepeatMilliseconds = 300;

    // Called before the button draws itself; returning true means it has drawn everything.
    using OwnerDraw = std::function<bool(QPainter& painter, int state, bool checked, bool disabled,
                                         bool hover, const ButtonDescriptor&)>;

    // A visible child of parent at the descriptor's rectangle, its id the command id.
    SkinButton(const ButtonDescriptor& descriptor, Wnd* parent, OwnerDraw ownerDraw = {});

    // Repaints only when the button is a toggle button and the flag changes.
    void SetChecked(bool checked);
    bool IsChecked() const { return m_checked; }
    const ButtonDescriptor& descriptor() const { return m_desc; }
    int commandId() const { return m_desc.commandId; }
    int drawState() const { return m_state; }

    // Draws a button as it looks in a state, without a window: for the sheet and for panels
    // that paint samples.
    static void paintButton(QPainter& painter, const ButtonDescriptor& descriptor, int state,
                            bool checked, bool disabled);

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void setDrawState(int state, bool hover = false);
    void captureLost();
    void notifyParent();

    ButtonDescriptor m_desc;
    OwnerDraw m_ownerDraw;
    bool m_checked = false;
    int m_tracking = 0; // 0 idle, 1 pressed with the mouse inside, 2 held outside
    bool m_mouseDown = false;
    bool m_hover = false;
    int m_state = kFlat;
};

// Creates the buttons of a descriptor table (up to its end record) on a panel, with their
// tooltips; the panel owns them.
std::vector<SkinButton*> createSkinButtons(const ButtonDescriptor* table, Wnd* parent,
                                           const SkinButton::OwnerDraw& ownerDraw = {});
