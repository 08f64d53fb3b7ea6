#pragma once
// A PlayerHost for component tests: settings in memory (every component switched on), a count
// of the saves, and a stand-in main controller that keeps every message posted or sent to it.

#include "platform/settings.h"
#include "platform/wnd.h"
#include "players/component.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>

#include <functional>
#include <vector>

namespace componenttest {

struct Message
{
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

class RecordingController : public Wnd
{
public:
    std::vector<Message> messages;
    // How many WM_COMMAND messages carried that command.
    int commands(int id) const
    {
        int n = 0;
        for (const Message& m : messages)
            n += m.msg == WM_COMMAND && static_cast<int>(m.wParam & 0xFFFF) == id;
        return n;
    }

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back({msg, wParam, lParam});
        return 0;
    }
};

class TestHost : public PlayerHost
{
public:
    TestHost()
    {
        for (ComponentRecord& r : m_settings.components)
            r.enable = 1;
        // The designed defaults the components rely on.
        m_settings.timer = 10000;
        m_settings.timerAction = 1;
        m_settings.reverbDepth = m_settings.chorusDepth = m_settings.wideDepth = 16;
        m_settings.equalizerEnable = 1;
    }
    AppSettings& settings() override { return m_settings; }
    void saveSettings() override { ++saves; }
    int& startMode() override { return m_startMode; }
    std::string& pendingFile() override { return m_pending; }
    bool& pendingFileIsTemporary() override { return m_temporary; }
    HWND controller() const override { return m_controller.handle(); }
    RecordingController& controllerWindow() { return m_controller; }

    int saves = 0;

private:
    AppSettings m_settings;
    int m_startMode = StartModeNone;
    std::string m_pending;
    bool m_temporary = false;
    RecordingController m_controller;
};

// Runs the event loop until done() or ms have passed; returns done().
inline bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

inline void spin(int ms)
{
    waitFor([] { return false; }, ms);
}

// A component whose menus are answered by the test: the entry whose data is `choice` (searched
// in submenus too); `entries` lists the texts the last menu offered.
template <class Base>
class ScriptedMenus : public Base
{
public:
    using Base::Base;
    int choice = -1;
    QStringList entries;

protected:
    QAction* popUpMenu(QMenu& menu, const QPoint&) override
    {
        entries.clear();
        return find(menu);
    }

private:
    QAction* find(QMenu& menu)
    {
        QAction* chosen = nullptr;
        for (QAction* a : menu.actions()) {
            if (a->isSeparator())
                continue;
            entries << a->text();
            if (a->menu()) {
                if (QAction* inner = find(*a->menu()))
                    chosen = inner;
            } else if (a->data().toInt() == choice) {
                chosen = a;
            }
        }
        return chosen;
    }
};

} // namespace componenttest
