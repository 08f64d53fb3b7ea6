#pragma once
// A panel window drawn from a background slot (the main controller's strip, a component
// panel, the remote control), carrying the skin buttons of a descriptor table. The windows of
// the program derive from it and add their own controls and paint over the background.

#include "platform/wnd.h"
#include "ui/skinbutton.h"

#include <vector>

class SkinPanel : public Wnd
{
    Q_OBJECT
public:
    // framed: the black frame with the grey 3-D frame inside it that the main strip and the
    // component panels draw round their client area.
    SkinPanel(int backgroundSlot, bool framed, QWidget* parent = nullptr,
              Qt::WindowFlags flags = {});

    // Creates the buttons of a table (up to its end record) with their tooltips.
    const std::vector<SkinButton*>& createButtons(const ButtonDescriptor* table,
                                                  const SkinButton::OwnerDraw& ownerDraw = {});
    void deleteButtons();
    SkinButton* button(int commandId) const;
    const std::vector<SkinButton*>& buttons() const { return m_buttons; }
    int backgroundSlot() const { return m_background; }

    // The panel frame: black outside, light grey 0xC0C0C0 top-left and dark grey 0x404040
    // bottom-right inside it.
    static void paintFrame(QPainter& painter, const QRect& rect);
    // Background and frame as paintEvent draws them.
    void paintBackground(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_background;
    bool m_framed;
    std::vector<SkinButton*> m_buttons;
};
