#pragma once
// The free-standing spectrum viewer: a small borderless tool window of its own ("Kolvo
// Spectrum Viewer") that the remote control opens. It carries a title strip with a menu button
// (5152), a spectrum display in slot 1 of the sampling service, and a frequency scale under
// it. A press on its body drags it. Its menu offers the four sizes (33134-33137), the drawing
// modes, always-on-top and Close (33126).
//
// Settings ("RemoteSpectrum"): Size 0-3, SpectrumMode (the display's mode word), AlwaysOnTop,
// Enabled (cleared by Close), and Left/Top, saved whenever the size changes and when the
// viewer goes, and brought back onto the work area when it opens. Close tells the window it
// was given (the remote control) with UM_SPECTRUM_VIEWER_CLOSED (0x702) and deletes the viewer
// later; deleting it unregisters its display first.

#include "platform/wnd.h"
#include "players/component.h"

#include <QRect>
#include <QSize>

class QAction;
class QMenu;
class SkinButton;
class SpectrumDisplay;

namespace engines {
class SpectrumService;
}

class SpectrumViewer : public Wnd
{
    Q_OBJECT
public:
    static constexpr int kSizes = 4;
    static constexpr int kSlot = 1;
    // Where the viewer goes when it has never been placed: this far from the work area's
    // top-right corner.
    static constexpr int kDefaultMargin = 24;

    // The service defaults to the program's.
    SpectrumViewer(PlayerHost& host, HWND notify, engines::SpectrumService* service = nullptr);
    ~SpectrumViewer() override;

    // The window and display rectangle of a size (out-of-range sizes count as 1).
    static QSize windowSize(int size);
    static QRect displayRect(int size);

    int sizeIndex() const { return m_size; }
    void SetSize(int size);
    void SetAlwaysOnTop(bool onTop);
    // The remote control titles the viewer with what is playing.
    void SetTitle(const QString& title);
    QString title() const { return m_title; }
    // Command 33126.
    void Close();

    SpectrumDisplay* display() const { return m_display; }
    SkinButton* menuButton() const { return m_menuButton; }
    // Where a left / top position is placed on a work area.
    static QPoint placeOnWorkArea(QPoint saved, QSize size, const QRect& workArea);

protected:
    // Shows the menu and returns the choice (null: none). Tests replace it.
    virtual QAction* popUpMenu(QMenu& menu, const QPoint& globalPos);

    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildDisplay();
    void savePosition() const;
    void showMenu();
    void onCommand(int id);

    PlayerHost& m_host;
    HWND m_notify;
    engines::SpectrumService* m_service;
    int m_size = 1;
    QString m_title;
    SpectrumDisplay* m_display = nullptr;
    SkinButton* m_menuButton = nullptr;
    bool m_closing = false;
};
