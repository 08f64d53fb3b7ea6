#pragma once
// Wnd: a QWidget that speaks the program's numeric messages. sendMessage calls onMessage
// synchronously; postMessage queues the message on the target's thread, may be called
// from any thread, and is dropped when the target is gone by the time it is looked up.

#include "platform/messages.h"

#include <QWidget>

#include <map>

class Wnd : public QWidget
{
    Q_OBJECT
public:
    explicit Wnd(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~Wnd() override;

    HWND handle() const { return m_handle; }
    static Wnd* fromHandle(HWND handle);

    // Synchronous. From a thread other than the target's it blocks until the target's
    // thread has handled the message.
    LRESULT sendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    bool postMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    // By handle, for callers that may outlive the window (engines, workers): 0 / false when no
    // window has that handle.
    static LRESULT sendTo(HWND target, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    static bool postTo(HWND target, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

    // Timers with the program's ids: each expiry delivers WM_TIMER with wParam = id.
    // Setting an id that runs already restarts it with the new period.
    void setTimer(UINT id, int milliseconds);
    void clearTimer(UINT id);
    bool hasTimer(UINT id) const { return m_timers.count(id) != 0; }

protected:
    virtual LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    HWND m_handle = 0;
    std::map<UINT, int> m_timers; // program id -> Qt timer id
};
