#pragma once
// The Remote Control: component 6 of the main controller, but a small free-standing tool window
// of its own (99 pixels wide, four heights) that stays on the desktop while the main window is
// minimised or hidden. It drives one target player (components 2-5) through the main
// controller's routed UM_COMMAND, whatever players exist, shows the target's status on its
// compact display, follows whichever player becomes active when its own target stays idle for
// five seconds, and takes track numbers typed on its digit buttons. It owns the program's tray
// icon with its menu and animation, the spectrum viewer it opens, and the global hot keys.
//
// It is ticked by the main controller's half-second tick (WM_TIMER 300); every time-based
// behaviour (following the active player, the number entry's time-out, the tray's blinking)
// counts those ticks, so tests drive it by sending ticks.

#include "platform/hotkeys.h"
#include "players/component.h"

#include <QPointer>
#include <QRect>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;
class RemoteDisplay;
class SpectrumViewer;

namespace engines {
class SpectrumService;
}

class RemoteControl : public ComponentWnd
{
    Q_OBJECT
public:
    static constexpr int kWidth = 99;
    static constexpr int kSizes = 4;
    static constexpr int kTrayId = 100;
    static constexpr int kIdleTicksBeforeFollowing = 10; // five seconds
    static constexpr int kNumberEntryTicks = 8;          // then the entry is dropped
    static constexpr int kIconsPerPlayer = 6;

    // The window height of a size (0-3; others count as 0).
    static int heightOf(int size);
    // Where the window goes: the saved rectangle's top-left when it overlaps the work area by
    // at least 10 pixels both ways, else the lower right of the work area.
    static QPoint initialPosition(const QRect& saved, const QRect& workArea);

    // controller: the main controller the routed messages go to. hotKeys: the desktop's key
    // registration (null makes the program's). service: the spectrum viewer's sampling service
    // (null: the program's).
    RemoteControl(PlayerHost& host, Wnd* controller, const hotkeys::Table& table,
                  std::unique_ptr<GlobalHotKeys> hotKeys = nullptr,
                  engines::SpectrumService* service = nullptr);
    ~RemoteControl() override;

    int target() const { return m_target; }
    int sizeIndex() const { return m_size; }
    bool numberActive() const { return m_numberActive; }
    int number() const { return m_number; }
    RemoteDisplay* display() const { return m_display; }
    SpectrumViewer* spectrumViewer() const;
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    QMenu* trayMenu() const { return m_trayMenu.get(); }
    // The tray icon shown now (0-23) and its tip.
    int trayIconIndex() const { return m_trayIndex; }
    QString trayTip() const { return m_trayTip; }

    // Target selection (0x6EE, menu, hot keys 5-8): an index in 2..5 becomes the target, any
    // other index makes 2 the target.
    void SelectTarget(int index);
    // Power and select (0x6EF, hot keys 0-4).
    void PowerAndSelect(int index);
    void SetSize(int size);
    void SetAlwaysOnTop(bool onTop);
    // A hot key's action, by its id.
    void OnHotKey(int id);

    // The hot keys as they were last applied: the table, and which could not be registered
    // (held by another program) or why none can be.
    const hotkeys::Table& hotKeyTable() const { return m_table; }
    const std::vector<int>& takenHotKeys() const { return m_taken; }
    QString hotKeysUnavailableReason() const;
    QString hotKeysNote() const;
    bool hotKeysApplied() const { return m_hotKeysApplied; }
    // Applies "UseHotKey" when it differs from what was applied last; with `tell`, keys another
    // program holds are named in a message box.
    void ApplyHotKeys(bool tell);

protected:
    // Shows a menu and returns the choice (null: none). Tests replace it.
    virtual QAction* popUpMenu(QMenu& menu, const QPoint& globalPos);

    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void onCommand(int id);
    void onTick();
    void showStatus(const ComponentStatus& status);
    void followActivePlayer(const ComponentStatus& status);
    void digit(int d);
    void endNumberEntry(bool play);
    void quickTrackSelect();
    void toggleSpectrum();
    void openSpectrum();
    void showWindowMenu();
    void buildTrayMenu();
    void updateTrayMenu();
    void updateVideoCdTooltips();
    void setTargetShown(int index);
    bool dialogOpen() const;
    // UM_COMMAND (argument << 16 | command) to component k through the main controller;
    // nothing while a modal dialog is open.
    LRESULT sendCommand(int component, int command, int argument = 0);
    bool isActive(int component, const ComponentStatus& status) const;
    void savePosition();

    Wnd* m_controller;
    HWND m_controllerHandle;
    hotkeys::Table m_table;
    std::unique_ptr<GlobalHotKeys> m_hotKeys;
    engines::SpectrumService* m_service;
    int m_target = ComponentCd;
    int m_size = 0;
    RemoteDisplay* m_display = nullptr;
    int m_number = 0;
    bool m_numberActive = false;
    int m_numberTicks = 0;
    int m_idleTicks = 0; // ticks the target has been seen idle in a row
    unsigned m_blink = 0;
    bool m_hotKeysApplied = false;
    std::vector<int> m_taken;
    QPointer<SpectrumViewer> m_viewer;
    QSystemTrayIcon* m_tray = nullptr;
    std::unique_ptr<QMenu> m_trayMenu;
    std::map<int, QAction*> m_trayActions;
    int m_trayIndex = -1;
    QString m_trayTip;
    ComponentStatus m_lastStatus;
};
