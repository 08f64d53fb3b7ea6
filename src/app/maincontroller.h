#pragma once
// The main window: a borderless strip 500 pixels wide, a 50-pixel control strip on top and
// the component panels stacked under it.

#include "platform/wnd.h"

#include <QRect>

class PlayerApp;

constexpr int kMainWidth = 500;
constexpr int kStripHeight = 50;
constexpr UINT kMainTimerId = 300;
constexpr int kMainTimerPeriod = 500;

class MainController : public Wnd
{
    Q_OBJECT
public:
    explicit MainController(PlayerApp& app);
    ~MainController() override;

    // The saved rectangle limited to the work area; the centred default at the top of the
    // screen when less than 20 pixels of it would show in either direction.
    static QRect initialRect(const QRect& saved, const QRect& workArea);

    // Runs the destruction sequence once (saves the rectangle) and ends the program.
    void destroyWindow();

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    LRESULT onCopyData(const COPYDATASTRUCT* cds);
    void layOut();
    void saveRect();
    void bringToFront();

    PlayerApp& m_app;
    bool m_destroyed = false;
    bool m_shownOnce = false;
};
