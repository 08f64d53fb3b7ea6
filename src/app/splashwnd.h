#pragma once
// The start-up splash: shown for three seconds, or until the first key or mouse press
// anywhere in the program (that press still reaches its window).

#include "platform/wnd.h"

#include <QImage>

class SplashWnd : public Wnd
{
    Q_OBJECT
public:
    explicit SplashWnd(QWidget* mainWindow);

    // Removes the splash if the event is a key or mouse press; never consumes the event.
    static void checkEvent(QEvent* e);
    static bool isShown();
    static void remove();

    static QImage splashImage();

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent*) override;

private:
    QWidget* m_mainWindow;
    QImage m_image;
};
